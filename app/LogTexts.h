#pragma once
// Log and event-log texts shared by the pages and the decoder.

#include <QString>

extern const QString LogConnectSuccess;   // "Connect Com success. SetType: ..."
extern const QString LogBatteryState;     // "battery State:"
extern const QString LogBatteryStateEx;   // "battery State: %1 . ReadType: ..."
extern const QString LogNegativeRadicand; // vector decoder's square-root check
