#pragma once
// The program's INI files ("config.ini", the server client's "server.ini"): the
// keys' defaults in one place, and readers and a writer that take every value as
// plain text. Qt's own INI reader turns "@Variant(...)" texts into objects of any
// size, so a few bytes of a damaged file could stop the program at every start;
// these never do. Only a regular file of at most 1 MiB is read: a FIFO or device
// in a file's place reads as a missing file and is never waited on. Any thread
// may call them; two writers of the same file at once are not foreseen.

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

// The value's text, or `fallback` when the key is missing or the file unreadable.
QString readString(const QString& path, const QString& group, const QString& key,
                   const QString& fallback);
// A whole number in the int range; anything else (a fraction, text, NaN, a
// number too large) gives `fallback`.
int readInt(const QString& path, const QString& group, const QString& key, int fallback);
// A finite number; anything else gives `fallback`.
double readDouble(const QString& path, const QString& group, const QString& key, double fallback);

// Stores the value's text in the key's line (the last one, when the key is given
// twice), or in a line added to the group, or in the group added at the end;
// every other line stays as it was, byte for byte. The file is replaced whole
// or not at all. False when it could not be written, when what stands there is
// not a file it could read (it is then left alone), or when the text holds a
// line break.
bool writeValue(const QString& path, const QString& group, const QString& key,
                const QVariant& value);

} // namespace Settings
