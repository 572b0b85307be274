#include "device/VectorDecoding.h"

#include "device/Instrument.h"

#include <cmath>

namespace VectorDecoding {

bool isMarker(quint8 byte)
{
    switch (byte) {
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xE4:
    case 0xE8:
    case 0xEF:
        return true;
    default:
        return false;
    }
}

bool hasVectorStart(const char* bytes, int size)
{
    return size > 24 && quint8(bytes[0]) == 0xE8 && quint8(bytes[8]) == 0xEF &&
           quint8(bytes[16]) == 0xE4 && quint8(bytes[24]) == 0xE2;
}

bool allMarkers(const char* bytes, int records)
{
    for (int r = 0; r < records; ++r) {
        if (!isMarker(quint8(bytes[r * RecordBytes])))
            return false;
    }
    return true;
}

FrequencyRecord frequencyRecord(const char* bytes)
{
    const auto* b = reinterpret_cast<const quint8*>(bytes);
    FrequencyRecord r;
    r.value1 = qint16(quint16(b[1]) << 8 | b[2]);
    for (int i = 3; i < 8; ++i)
        r.value2 = r.value2 << 8 | b[i];
    r.hz = (r.value1 - 10.0) * CountScale / double(r.value2);
    return r;
}

bool checkFrameHeader(const QByteArray& frame, QString* why)
{
    if (!hasVectorStart(frame.constData(), frame.size())) {
        if (why)
            *why = QStringLiteral("wrong biaoTou");
        return false;
    }
    if (frame.size() != VectorFrameBytes) {
        if (why)
            *why = QStringLiteral("wrong size:%1 %2").arg(frame.size()).arg(VectorFrameBytes);
        return false;
    }
    return true;
}

Division safeDivide(double a, double b, double c)
{
    Division d;
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) {
        d.failure = Division::NotFinite;
        return d;
    }
    d.radicand = (b * b + c * c) / 2.0 - a * a;
    if (d.radicand <= 0.0) {
        d.failure = Division::NegativeRadicand;
        return d;
    }
    if (d.radicand < TinyRadicand) {
        d.failure = Division::TinyDenominator;
        return d;
    }
    d.value = (b * b - c * c) / (4.0 * std::sqrt(d.radicand));
    if (!std::isfinite(d.value)) {
        d.value = 0.0;
        d.failure = Division::NotFinite;
    }
    return d;
}

VectorRecord vectorRecord(const double* f)
{
    VectorRecord r;
    FIDVectorNum& n = r.num;
    for (int i = 0; i < FrequenciesPerVector; ++i) {
        const bool finite = std::isfinite(f[i]);
        r.finite = r.finite && finite;
        n.f[i] = finite ? f[i] : 0.0;
    }
    r.divisions[0] = safeDivide(f[1], f[0], f[2]);
    r.divisions[1] = safeDivide(f[4], f[3], f[5]);
    r.divisions[2] = safeDivide(f[7], f[6], f[8]);
    using Instrument::GyromagneticRatio;
    n.x = r.divisions[0].value / GyromagneticRatio;
    n.y = r.divisions[1].value / GyromagneticRatio;
    n.z = r.divisions[2].value / GyromagneticRatio;
    const double s = (f[1] + f[4] + f[7]) / (3.0 * GyromagneticRatio);
    n.s = std::isfinite(s) ? s : 0.0;
    n.valid = r.finite && r.divisions[0].ok() && r.divisions[1].ok() && r.divisions[2].ok();
    return r;
}

QVector<VectorRecord> decodeFidData(const QVector<double>& freqs)
{
    QVector<VectorRecord> records;
    if (freqs.size() != VectorsPerFrame * FrequenciesPerVector)
        return records;
    for (int v = 0; v < VectorsPerFrame; ++v)
        records.append(vectorRecord(freqs.constData() + v * FrequenciesPerVector));
    return records;
}

} // namespace VectorDecoding
