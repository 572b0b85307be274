#pragma once
// Texts of the CSV recordings: file names, time texts and rows. Pure functions,
// callable from any thread.

#include "app/SharedTypes.h"

#include <QByteArray>
#include <QString>

namespace RecordingFormat {

constexpr qint64 MsPerSecond = 1000;
constexpr qint64 MsPerHour = 3600 * MsPerSecond;
constexpr qint64 MsPerDay = 24 * MsPerHour;

// `path` without a ".CSV" (any case) that ends it; ".csv" elsewhere stays.
QString withoutCsvSuffix(const QString& path);

// "<path without .CSV>_MZ_<rate>Hz.CSV"
QString mzFileName(const QString& recordingPath, int rate);

// "<path without .CSV>_FIDVector_111Hz.CSV"
QString vectorFileName(const QString& recordingPath);

// Name of a recording that starts at `ms` (UTC): "yyyyMMdd_hhmmss".
QString fileStamp(qint64 ms);

// Start of the UTC hour, or of the UTC day, that follows the one holding `ms`.
qint64 nextFullHour(qint64 ms);
qint64 nextMidnight(qint64 ms);

// UTC time of day of `ms`: "HH:mm:ss" when withMs is false, else "HH:mm:ss.zzz".
QString timeText(qint64 ms, bool withMs);

// Appends one row per sample: the time text, ",", the value with 10 significant
// digits (as printf's %.10g) and the line end. Time texts carry milliseconds at
// every rate but 1 Hz.
void appendMzRows(QByteArray& out, int rate, const qint64* stamps, const double* values, int count);

// Appends one row per vector sample: its time text, x, y, z, s and the nine
// frequencies, each with 10 significant digits, separated by ",".
void appendVectorRows(QByteArray& out, const XYZST* samples, int count);

} // namespace RecordingFormat
