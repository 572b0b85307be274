#pragma once
// The sentences a GPS receiver sends once a second for a fixed position, with
// switches that make them faulty.

#include <QByteArray>
#include <QDateTime>
#include <QList>

struct NmeaOptions
{
    double latitude = 31.2304167; // degrees, negative south
    double longitude = 121.4737;  // degrees, negative west
    double altitude = 4.5;        // metres
    int satellites = 8;
    QByteArray talker = "GP";
    bool badChecksum = false;    // every checksum off by one
    bool voidFix = false;        // RMC and GLL status V, GGA fix quality 0
    bool noDecimalPoint = false; // coordinates as whole minutes without "."
    bool noGga = false;          // RMC and GLL only: no altitude, no satellites
};

class NmeaSource
{
public:
    explicit NmeaSource(const NmeaOptions& options) : m_options(options) {}

    // RMC, GGA and GLL (GGA left out with noGga) for the given UTC time, each ending
    // in CR LF.
    QList<QByteArray> sentences(const QDateTime& utc) const;

    // "$" + body + "*" + the XOR of the body's bytes in two hex digits.
    static QByteArray withChecksum(const QByteArray& body, bool corrupt = false);
    // ddmm.mmmm / dddmm.mmmm and the hemisphere letter.
    static QByteArray coordinate(double degrees, int degreeDigits, bool noDecimalPoint);

private:
    NmeaOptions m_options;
};
