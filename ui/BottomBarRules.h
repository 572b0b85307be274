#pragma once
// Rules of the main window's processing controls: the clamps of the cut-off and
// FFT-time edits, and the sampling-rate table with its register write.

#include <QByteArray>
#include <QString>

namespace BottomBarRules {

// Cut-off edit text: above 99999 gives "1000", below 1 gives "0".
QString clampCutOff(const QString& text);

// FFT-time edit text: above 999 gives "1000", below 2 gives "1".
QString clampFftTime(const QString& text);

// A rate the instrument offers: the rate in Hz, the value written to register
// 40086 (1 Hz is streamed at 1000 Hz and reduced by the decoder), the time
// step between samples in seconds.
struct RateEntry
{
    int rate;
    quint16 written;
    double step;
};

// The entry of a rate; nullptr for a rate outside the table.
const RateEntry* findRate(int rate);

// Write of one register at 40086 (function 16), CRC appended.
QByteArray rateFrame(const RateEntry& entry);

} // namespace BottomBarRules
