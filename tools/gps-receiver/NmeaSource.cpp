#include "NmeaSource.h"

#include <cmath>

QByteArray NmeaSource::withChecksum(const QByteArray& body, bool corrupt)
{
    quint8 sum = 0;
    for (const char c : body)
        sum ^= static_cast<quint8>(c);
    if (corrupt)
        sum = static_cast<quint8>(sum + 1);
    return "$" + body + "*" + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + "\r\n";
}

QByteArray NmeaSource::coordinate(double degrees, int degreeDigits, bool noDecimalPoint)
{
    const double magnitude = std::fabs(degrees);
    int whole = static_cast<int>(magnitude);
    double minutes = (magnitude - whole) * 60.0;
    QByteArray minuteText;
    if (noDecimalPoint) {
        int m = static_cast<int>(std::lround(minutes));
        if (m == 60) {
            ++whole;
            m = 0;
        }
        minuteText = QByteArray::number(m).rightJustified(2, '0');
    } else {
        minuteText = QByteArray::number(minutes, 'f', 4).rightJustified(7, '0');
    }
    return QByteArray::number(whole).rightJustified(degreeDigits, '0') + minuteText;
}

QList<QByteArray> NmeaSource::sentences(const QDateTime& utc) const
{
    const NmeaOptions& o = m_options;
    const QByteArray time = utc.toString(QStringLiteral("hhmmss.00")).toLatin1();
    const QByteArray date = utc.toString(QStringLiteral("ddMMyy")).toLatin1();
    const QByteArray lat =
        coordinate(o.latitude, 2, o.noDecimalPoint) + "," + (o.latitude < 0 ? "S" : "N");
    const QByteArray lon =
        coordinate(o.longitude, 3, o.noDecimalPoint) + "," + (o.longitude < 0 ? "W" : "E");
    const QByteArray status = o.voidFix ? "V" : "A";
    const QByteArray quality = o.voidFix ? "0" : "1";
    const QByteArray sats = QByteArray::number(o.voidFix ? 0 : o.satellites).rightJustified(2, '0');
    const QByteArray alt = QByteArray::number(o.altitude, 'f', 1);

    QList<QByteArray> out;
    out << withChecksum(o.talker + "RMC," + time + "," + status + "," + lat + "," + lon +
                            ",0.0,0.0," + date + ",,," + (o.voidFix ? "N" : "A"),
                        o.badChecksum);
    if (!o.noGga)
        out << withChecksum(o.talker + "GGA," + time + "," + lat + "," + lon + "," + quality + "," +
                                sats + ",0.9," + alt + ",M,0.0,M,,",
                            o.badChecksum);
    out << withChecksum(o.talker + "GLL," + lat + "," + lon + "," + time + "," + status + "," +
                            (o.voidFix ? "N" : "A"),
                        o.badChecksum);
    return out;
}
