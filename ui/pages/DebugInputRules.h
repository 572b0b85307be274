#pragma once
// What the debug page makes of the operator's input: the clamps of the set-point
// and frequency edits, and how a read-back is written into an edit. Pure
// functions: the page decides before it stops any poll.

#include <QString>
#include <QtGlobal>

namespace DebugInputRules {

// Set points lie in (0, 1]: above is written as 1; zero, below or no number is
// refused. The text is what the edit then shows: the single-precision value
// that is written, in the fewest decimals that give it back.
struct SetPoint
{
    QString text;
    bool send = false;
    float value = 0.0f;
};
SetPoint setPoint(const QString& text);

// DDS and sweep frequencies in mHz, read as 64-bit numbers before the clamp:
// an empty edit writes 20000000, 1400000000 and above write 1400000000, below
// 1 is refused and shows "0".
struct Frequency
{
    QString text;
    bool send = false;
    quint32 value = 0;
};
Frequency frequency(const QString& text);

// A single-precision read-back in the fewest decimals that give it back, so
// that the edit holds exactly what the instrument holds.
QString readBackText(double value);

// The number in an edit; 0.0 when it holds none. Any Unicode decimal digit
// counts, as the validators let them through.
double number(const QString& text);

} // namespace DebugInputRules
