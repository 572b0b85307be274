#include "FidGenerator.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double BaseField = 50000.0;        // nT
constexpr double DeclinationPeriodS = 600.0; // one turn
constexpr double InclinationDeg = 60.0;
constexpr double InclinationSwingDeg = 5.0;
constexpr double InclinationPeriodS = 170.0;
constexpr double StrengthSwing = 2.0; // nT
constexpr double StrengthPeriodS = 37.0;
constexpr double CountScale = 2.62144e14;
constexpr int Value1 = 250; // value1 - 10 periods counted

double norm(double x, double y, double z)
{
    return std::sqrt(x * x + y * y + z * z);
}
} // namespace

FidGenerator::FidGenerator(quint64 seed) : m_rng(seed ^ 0xF1DF1DF1DULL) {}

void FidGenerator::start(int fidRate)
{
    m_fidRate = std::max(1, fidRate);
    m_vectorIndex = 0;
    m_fidIndex = 0;
}

void FidGenerator::field(double t, double& x, double& y, double& z)
{
    const double strength = BaseField + StrengthSwing * std::sin(2.0 * M_PI * t / StrengthPeriodS);
    const double inclination =
        (InclinationDeg + InclinationSwingDeg * std::sin(2.0 * M_PI * t / InclinationPeriodS)) *
        M_PI / 180.0;
    const double declination = 2.0 * M_PI * t / DeclinationPeriodS;
    x = strength * std::cos(inclination) * std::cos(declination);
    y = strength * std::cos(inclination) * std::sin(declination);
    z = strength * std::sin(inclination);
}

FidGenerator::Truth FidGenerator::noisyField(double t, double bandwidth)
{
    Truth truth;
    field(t, truth.x, truth.y, truth.z);
    // White noise of one-sided density d over the record's bandwidth.
    const double rms = NoiseDensity * std::sqrt(bandwidth);
    truth.x += rms * m_rng.gaussian();
    truth.y += rms * m_rng.gaussian();
    truth.z += rms * m_rng.gaussian();
    truth.s = norm(truth.x, truth.y, truth.z);
    return truth;
}

QByteArray FidGenerator::record(quint8 marker, double hz)
{
    const quint64 value2 = static_cast<quint64>(std::llround((Value1 - 10.0) * CountScale / hz));
    QByteArray r;
    r.append(static_cast<char>(marker));
    r.append(static_cast<char>((Value1 >> 8) & 0xFF));
    r.append(static_cast<char>(Value1 & 0xFF));
    for (int shift = 32; shift >= 0; shift -= 8)
        r.append(static_cast<char>((value2 >> shift) & 0xFF));
    return r;
}

void FidGenerator::zeroValue2(QByteArray& frame, int recordIndex)
{
    for (int i = 3; i < 8; ++i)
        frame[recordIndex * 8 + i] = 0;
}

QByteArray FidGenerator::nextVectorFrame(QVector<Truth>& truths)
{
    // The first four markers open the frame; the others never repeat that pattern.
    static const quint8 Opening[4] = {0xE8, 0xEF, 0xE4, 0xE2};
    QByteArray frame;
    frame.reserve(288);
    int recordInFrame = 0;
    for (int v = 0; v < VectorRecordsPerFrame; ++v) {
        const double t = m_vectorIndex * VectorSpacingS;
        Truth truth = noisyField(t, 0.5 / VectorSpacingS);
        truth.index = m_vectorIndex++;
        truths.append(truth);
        const double b[3] = {truth.x, truth.y, truth.z};
        for (int axis = 0; axis < 3; ++axis) {
            double plus[3] = {b[0], b[1], b[2]};
            double minus[3] = {b[0], b[1], b[2]};
            plus[axis] += BiasNt;
            minus[axis] -= BiasNt;
            const double f[3] = {GyromagneticRatio * norm(plus[0], plus[1], plus[2]),
                                 GyromagneticRatio * truth.s,
                                 GyromagneticRatio * norm(minus[0], minus[1], minus[2])};
            for (double hz : f) {
                const quint8 marker = recordInFrame < 4   ? Opening[recordInFrame]
                                      : recordInFrame % 2 ? 0xE1
                                                          : 0xE0;
                frame.append(record(marker, hz));
                ++recordInFrame;
            }
        }
    }
    return frame;
}

QByteArray FidGenerator::nextFidFrame(QVector<Truth>& truths)
{
    QByteArray frame;
    frame.reserve(80);
    for (int r = 0; r < FidRecordsPerFrame; ++r) {
        const double t = double(m_fidIndex) / m_fidRate;
        Truth truth = noisyField(t, 0.5 * m_fidRate);
        truth.index = m_fidIndex++;
        truths.append(truth);
        frame.append(record(r == 0 ? 0xE0 : 0xE1, GyromagneticRatio * truth.s));
    }
    return frame;
}
