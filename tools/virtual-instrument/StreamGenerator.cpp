#include "StreamGenerator.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double BaseField = 50000.0; // nT
constexpr double RunAwayRate = 50.0;  // nT/s out of lock
constexpr double RunAwayLimit = 45000.0;

struct Line
{
    double frequency, amplitude, phase; // Hz, nT, rad
};
// Mains and its harmonics as a station near buildings sees them, odd ones stronger.
constexpr Line MainsLines[] = {{50.0, 0.40, 0.3},  {100.0, 0.08, 1.1}, {150.0, 0.20, 2.0},
                               {200.0, 0.03, 0.7}, {250.0, 0.10, 2.6}, {350.0, 0.05, 1.9},
                               {450.0, 0.02, 0.4}};

// Mean of a sin(2 pi f t + phase) over [t, t + gate).
double meanOfSine(const Line& line, double t, double gate)
{
    const double w = 2.0 * M_PI * line.frequency;
    if (gate <= 0.0)
        return line.amplitude * std::sin(w * t + line.phase);
    return line.amplitude * (std::cos(w * t + line.phase) - std::cos(w * (t + gate) + line.phase)) /
           (w * gate);
}
} // namespace

StreamGenerator::StreamGenerator(quint64 seed) : m_rng(seed) {}

void StreamGenerator::start(int rate)
{
    m_rate = std::max(1, rate);
    m_pendingSampleBytes.clear();
}

void StreamGenerator::setLocked(bool locked)
{
    if (locked)
        m_unlockedAt = -1.0;
    else if (m_unlockedAt < 0.0)
        m_unlockedAt = m_sampleTime;
}

double StreamGenerator::fieldNt(double t, double gate)
{
    // Slow drift: a few nT over tens of minutes.
    const double mid = t + gate / 2.0;
    double field = BaseField + 3.0 * std::sin(2.0 * M_PI * mid / 1200.0) +
                   1.0 * std::sin(2.0 * M_PI * mid / 170.0 + 0.8);
    for (const Line& line : MainsLines)
        field += meanOfSine(line, t, gate);
    // White noise of one-sided density d, averaged over the gate: rms d / sqrt(2 gate).
    if (gate > 0.0)
        field += NoiseDensity / std::sqrt(2.0 * gate) * m_rng.gaussian();
    if (m_unlockedAt >= 0.0)
        field += std::min(RunAwayLimit, RunAwayRate * std::max(0.0, mid - m_unlockedAt));
    return field;
}

quint32 StreamGenerator::nextSampleMilliHz()
{
    const double gate = 1.0 / m_rate;
    const double field = fieldNt(m_sampleTime, gate);
    m_sampleTime += gate;
    return static_cast<quint32>(std::llround(field * GyromagneticRatio * 1000.0));
}

QByteArray StreamGenerator::nextFrame(quint8 status)
{
    const int payload = m_rate / 5;
    while (m_pendingSampleBytes.size() < payload) {
        const quint32 v = nextSampleMilliHz();
        for (int i = 0; i < 4; ++i)
            m_pendingSampleBytes.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    QByteArray frame;
    frame.reserve(payload + 9);
    frame.append("\xAB\x01\x04\x7D\x00", 5);
    frame.append(m_pendingSampleBytes.left(payload));
    m_pendingSampleBytes.remove(0, payload);
    frame.append(static_cast<char>(status));
    frame.append(static_cast<char>(m_frameCounter++));
    frame.append("\xFF\xFF", 2);
    return frame;
}
