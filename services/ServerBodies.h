#pragma once
// The texts the monitoring-server client sends: request bodies and the lines of
// the upload backlog. Pure functions, callable from any thread.
//
// Every template is filled in one call, so a "%1" inside a value is never
// substituted again; text values are escaped for JSON (an ordinary GUID or
// device type comes out unchanged).

#include "app/SharedTypes.h"

#include <QString>
#include <QVector>

namespace ServerBodies {

// "[", each value with two decimals, separated by ", ", "]"; "[]" when empty.
QString buildScalarValuesJson(const QVector<double>& values);
// "[", one {"sValue":..,"xValue":..,"yValue":..,"zValue":..} per sample, "]".
QString buildVectorValuesJson(const QVector<XYZST>& samples);

QString registerBody(const QString& deviceType);
QString heartbeatBody(const QString& guid);
QString statusBody(const QString& guid, double latitude, double longitude, double altitude);
QString scalarBody(const QString& guid, const QString& deviceType, qint64 time,
                   const QVector<double>& values, int rate, int intervalMs);
QString vectorBody(const QString& guid, const QString& deviceType, qint64 time,
                   const QVector<XYZST>& samples, int rate, int intervalMs);

// One backlog line (without its line end). Vector records mirror the vector body:
// the samples follow each other at intervalMs from `time`.
QString scalarRecord(const QString& deviceType, qint64 time, const QVector<double>& values,
                     int rate, int intervalMs);
QString vectorRecord(const QString& deviceType, qint64 time, const QVector<XYZST>& samples,
                     int rate, int intervalMs);

// The text between the quotes of a JSON string.
QString jsonEscaped(const QString& text);
// Whether a GUID from the server (or read back from "server.ini") can be kept and
// sent back: 8 to 64 printable ASCII characters without blanks, quotes or
// backslashes, not starting with "@". The server's own form is not assumed; this
// only refuses what cannot be one (a word such as "success", an HTML page, control
// characters) or would not survive the JSON bodies and the settings file.
bool isUsableGuid(const QString& text);

} // namespace ServerBodies
