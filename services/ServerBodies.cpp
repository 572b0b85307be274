#include "services/ServerBodies.h"

namespace ServerBodies {

namespace {
QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

QString fixed2(double value)
{
    return QString::number(value, 'f', 2);
}

// What QString::arg(double) gives with its defaults.
QString general6(double value)
{
    return QString::number(value, 'g', 6);
}

QString sensorBody(const QString& guid, const QString& deviceType, qint64 time,
                   const QString& dataType, const QString& valuesKey, const QString& valuesText,
                   int rate, int intervalMs)
{
    const QString in = blanks(11);
    const QString tmpl =
        QLatin1String("\n") + blanks(8) + QLatin1String("{\n") + in +
        QLatin1String("\"deviceId\": \"%1\",\n") + in + QLatin1String("\"deviceType\": \"%2\",\n") +
        in + QLatin1String("\"time\": %3,\n") + in + QLatin1String("\"sensorData\": {\n") + in +
        QLatin1String("\"dataType\": \"") + dataType + QLatin1String("\",\n") + in +
        QLatin1Char('"') + valuesKey + QLatin1String("\": %4,\n") + in +
        QLatin1String("\"samplingRate\": %5,\n") + in + QLatin1String("\"intervalMs\": %6\n") + in +
        QLatin1String("}\n") + blanks(8) + QLatin1String("}\n") + blanks(12);
    return tmpl.arg(jsonEscaped(guid), jsonEscaped(deviceType), QString::number(time), valuesText,
                    QString::number(rate), QString::number(intervalMs));
}

QString record(const QString& deviceType, qint64 time, const QString& dataType,
               const QString& valuesKey, const QString& valuesText, int rate, int intervalMs)
{
    const QString tmpl = QLatin1String("{\"deviceType\": \"%1\",\"time\": %2,\"sensorData\": "
                                       "{\"dataType\": \"") +
                         dataType + QLatin1String("\",\"") + valuesKey +
                         QLatin1String("\": %3,\"samplingRate\": %4,\"intervalMs\": %5}}");
    return tmpl.arg(jsonEscaped(deviceType), QString::number(time), valuesText,
                    QString::number(rate), QString::number(intervalMs));
}
} // namespace

QString buildScalarValuesJson(const QVector<double>& values)
{
    QString text;
    text.reserve(2 + values.size() * 11);
    text += QLatin1Char('[');
    for (int i = 0; i < values.size(); ++i) {
        if (i)
            text += QLatin1String(", ");
        text += fixed2(values.at(i));
    }
    text += QLatin1Char(']');
    return text;
}

QString buildVectorValuesJson(const QVector<XYZST>& samples)
{
    static const QString item =
        QStringLiteral("{\"sValue\":%1,\"xValue\":%2,\"yValue\":%3,\"zValue\":%4}");
    QString text;
    text += QLatin1Char('[');
    for (int i = 0; i < samples.size(); ++i) {
        if (i)
            text += QLatin1String(", ");
        const XYZST& s = samples.at(i);
        text += item.arg(fixed2(s.sValue), fixed2(s.xValue), fixed2(s.yValue), fixed2(s.zValue));
    }
    text += QLatin1Char(']');
    return text;
}

QString registerBody(const QString& deviceType)
{
    return (QLatin1String("\n") + blanks(16) + QLatin1String("{\"deviceType\": \"%1\"}\n") +
            blanks(12))
        .arg(jsonEscaped(deviceType));
}

QString heartbeatBody(const QString& guid)
{
    return (QLatin1String("\n") + blanks(12) + QLatin1String("{\"deviceGuid\": \"%1\"}\n") +
            blanks(8))
        .arg(jsonEscaped(guid));
}

QString statusBody(const QString& guid, double latitude, double longitude, double altitude)
{
    const QString tmpl =
        QLatin1String("\n") + blanks(17) + QLatin1String("{\n") + blanks(20) +
        QLatin1String("\"deviceGuid\": \"%1\",\n") + blanks(20) +
        QLatin1String("\"gpsInfo\": \"{\\\"latitude\\\": %2, \\\"longitude\\\": %3 "
                      ",\\\"altitude\\\": %4}\"\n") +
        QLatin1String("\n") + blanks(17) + QLatin1String("}\n") + blanks(16);
    return tmpl.arg(jsonEscaped(guid), general6(latitude), general6(longitude), general6(altitude));
}

QString scalarBody(const QString& guid, const QString& deviceType, qint64 time,
                   const QVector<double>& values, int rate, int intervalMs)
{
    return sensorBody(guid, deviceType, time, QStringLiteral("SCALAR"), QStringLiteral("values"),
                      buildScalarValuesJson(values), rate, intervalMs);
}

QString vectorBody(const QString& guid, const QString& deviceType, qint64 time,
                   const QVector<XYZST>& samples, int rate, int intervalMs)
{
    return sensorBody(guid, deviceType, time, QStringLiteral("VECTOR"), QStringLiteral("vectors"),
                      buildVectorValuesJson(samples), rate, intervalMs);
}

QString scalarRecord(const QString& deviceType, qint64 time, const QVector<double>& values,
                     int rate, int intervalMs)
{
    return record(deviceType, time, QStringLiteral("SCALAR"), QStringLiteral("values"),
                  buildScalarValuesJson(values), rate, intervalMs);
}

QString vectorRecord(const QString& deviceType, qint64 time, const QVector<XYZST>& samples,
                     int rate, int intervalMs)
{
    return record(deviceType, time, QStringLiteral("VECTOR"), QStringLiteral("vectors"),
                  buildVectorValuesJson(samples), rate, intervalMs);
}

QString jsonEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

bool isUsableGuid(const QString& text)
{
    // Shorter texts are words, not identifiers that are unique anywhere.
    constexpr int MinLength = 8;
    constexpr int MaxLength = 64;
    if (text.size() < MinLength || text.size() > MaxLength)
        return false;
    // The settings file reads a text that starts with "@" as a serialised value.
    if (text.startsWith(QLatin1Char('@')))
        return false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7f || u == '"' || u == '\'' || u == '\\')
            return false;
    }
    return true;
}

} // namespace ServerBodies
