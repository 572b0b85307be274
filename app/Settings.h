#pragma once
// The program's INI files ("config.ini", the server client's "server.ini"): the
// keys' defaults in one place, and readers and a writer that read a file as
// Qt's INI format reads it (comments, quotes, escapes; see IniSyntax.h) but
// take every value as plain text. Qt's own reader turns "@Variant(...)" texts
// into objects of any size, so a few bytes of a damaged file could stop the
// program at every start; these never do, and give the default for such a
// value. Only a regular file of at most 1 MiB is read: a FIFO or device in a
// file's place reads as a missing file and is never waited on. Any thread may
// call them; two writers of the same file at once are not foreseen.

#include "device/Instrument.h"

#include <QString>
#include <QVariant>

namespace Settings {

// "config.ini" in the working directory.
inline QString configPath()
{
    return QStringLiteral("config.ini");
}

// Defaults of "config.ini", by group.
namespace Defaults {
constexpr int xAxisUpper = 150;
constexpr double yAxisLower = 1e-5;
constexpr double yAxisUpper = 1.0;
constexpr int bandWidth = 15;
constexpr int isTest = 0;
constexpr int isMockData = 0;
constexpr int isFSMode = 0;
constexpr int isChinese = 0;
constexpr int baudRate = Instrument::DefaultBaudRate;
constexpr int isServer = 0;
constexpr int isExistGPS = 0;
inline QString gpsCom()
{
    return QStringLiteral("Com4");
}
} // namespace Defaults

// The value's text, or `fallback` when the key is missing, the file unreadable
// or the value serialised. A list (a comma outside quotes) reads as empty, as
// QSettings gives it.
QString readString(const QString& path, const QString& group, const QString& key,
                   const QString& fallback);
// A whole number in the int range; anything else (a fraction, text, NaN, a
// number too large) gives `fallback`.
int readInt(const QString& path, const QString& group, const QString& key, int fallback);
// A finite number; anything else gives `fallback`.
double readDouble(const QString& path, const QString& group, const QString& key, double fallback);

// Stores the value's text, escaped as Qt writes it, in the key's line (the last
// one, when the key is given twice; a comment after the value stays), or in a
// line added to the group, or in the group added at the end; every other byte
// stays as it was. The file is replaced whole or not at all. False, with a
// debug line and the file left as it was, when it could not be written, when
// what stands there is not a file it could read, or when the file would not
// read back with this text in the key and every other key as it was (a NUL in
// the text, a value without a text form, a key or group name that reads
// otherwise).
bool writeValue(const QString& path, const QString& group, const QString& key,
                const QVariant& value);

} // namespace Settings
