#pragma once
// Frequency records and the frames of the "FID" mode, built byte by byte for the
// reader and decoder tests: a marker, value1 (signed 16-bit) and value2 (40-bit),
// both high byte first, the frequency being (value1 - 10) * 2.62144e14 / value2.

#include <QByteArray>
#include <QVector>

#include <cmath>

namespace FidTestFrames {

inline QByteArray record(quint8 marker, qint16 value1, quint64 value2)
{
    QByteArray r;
    r.append(char(marker));
    r.append(char(quint16(value1) >> 8));
    r.append(char(quint16(value1) & 0xFF));
    for (int shift = 32; shift >= 0; shift -= 8)
        r.append(char((value2 >> shift) & 0xFF));
    return r;
}

// value1 = 250, value2 chosen so that the record stands for `hz` (to 1e-11).
inline QByteArray recordFor(quint8 marker, double hz)
{
    return record(marker, 250, quint64(std::llround(240.0 * 2.62144e14 / hz)));
}

// A vector frame of 36 frequencies: markers E8 EF E4 E2, then E0 and E1 by turns.
inline QByteArray vectorFrame(const QVector<double>& hz)
{
    static const quint8 opening[4] = {0xE8, 0xEF, 0xE4, 0xE2};
    QByteArray frame;
    for (int i = 0; i < 36; ++i)
        frame += recordFor(i < 4 ? opening[i] : (i % 2 ? 0xE1 : 0xE0), hz.value(i, 350000.0 + i));
    return frame;
}

// A vector frame whose frequencies differ from frame to frame.
inline QByteArray numberedVectorFrame(int n)
{
    QVector<double> hz;
    for (int i = 0; i < 36; ++i)
        hz << 340000.0 + 100.0 * n + i;
    return vectorFrame(hz);
}

// An FID frame of ten records at the given frequencies (the first one E0).
inline QByteArray fidFrame(const QVector<double>& hz)
{
    QByteArray frame;
    for (int i = 0; i < 10; ++i)
        frame += recordFor(i == 0 ? 0xE0 : 0xE1, hz.value(i, 349790.0 + i));
    return frame;
}

// The nine frequencies that a field (x, y, z) in nT gives with a bias of +-b
// along each axis: f(+x), f(0), f(-x), f(+y), f(0), f(-y), f(+z), f(0), f(-z).
inline QVector<double> biasedFrequencies(double x, double y, double z, double b = 5000.0)
{
    const double gamma = 6.99583;
    const auto norm = [](double a, double c, double d) { return std::sqrt(a * a + c * c + d * d); };
    const double f0 = gamma * norm(x, y, z);
    return {gamma * norm(x + b, y, z), f0, gamma * norm(x - b, y, z),
            gamma * norm(x, y + b, z), f0, gamma * norm(x, y - b, z),
            gamma * norm(x, y, z + b), f0, gamma * norm(x, y, z - b)};
}

} // namespace FidTestFrames
