#pragma once
// Rules of the main window's processing controls: the clamps of the cut-off and
// FFT-time edits.

#include <QByteArray>
#include <QString>

namespace BottomBarRules {

// Cut-off edit text: above 99999 gives "1000", below 1 gives "0".
QString clampCutOff(const QString& text);

// FFT-time edit text: above 999 gives "1000", below 2 gives "1".
QString clampFftTime(const QString& text);

} // namespace BottomBarRules
