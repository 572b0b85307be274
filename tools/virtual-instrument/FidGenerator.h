#pragma once
// Builds the frames of the "FID" mode from a known field vector: a 50 000 nT
// field that turns slowly (one turn of its declination in 10 minutes, a slow
// swing of its inclination and of its strength), with white noise. Pure: no
// timers, no I/O.
//
// Every frame is made of 8-byte frequency records: a marker, a 16-bit count
// value1 and a 40-bit count value2 (high byte first), standing for the Larmor
// frequency (value1 - 10) * 2.62144e14 / value2 Hz.
// - Vector frames (288 bytes): 36 records, four vector records of nine, one
//   every 9 ms. For each axis the instrument measures the field with a bias of
//   +b and -b along that axis and without bias: f(+x), f(0), f(-x), f(+y), f(0),
//   f(-y), f(+z), f(0), f(-z). Markers E8 EF E4 E2 on the first four records.
// - FID frames (80 bytes): ten records of the unbiased frequency at the stream's
//   rate.

#include "Rng.h"

#include <QByteArray>
#include <QVector>

class FidGenerator
{
public:
    static constexpr double GyromagneticRatio = 6.99583; // Hz per nT
    static constexpr double BiasNt = 5000.0;             // bias field of the vector records
    static constexpr double NoiseDensity = 0.005;        // nT/sqrt(Hz), white, per component
    static constexpr int VectorRecordsPerFrame = 4;
    static constexpr double VectorSpacingS = 0.009;
    static constexpr int FidRecordsPerFrame = 10;

    // What one record stood for: the field it was computed from (nT).
    struct Truth
    {
        qint64 index = 0; // record number since the start of the run
        double x = 0, y = 0, z = 0, s = 0;
    };

    explicit FidGenerator(quint64 seed);

    // A new run: record numbers and the signal's clock from 0; `fidRate` is the
    // FID frames' records per second.
    void start(int fidRate);
    int fidRate() const { return m_fidRate; }

    // The field without noise at time t (s).
    static void field(double t, double& x, double& y, double& z);

    // The next frame and, in `truths`, what its records stand for.
    QByteArray nextVectorFrame(QVector<Truth>& truths);
    QByteArray nextFidFrame(QVector<Truth>& truths);

    // The encoding of one frequency record.
    static QByteArray record(quint8 marker, double hz);
    // Sets value2 of the record at `recordIndex` to 0 (a count that read nothing).
    static void zeroValue2(QByteArray& frame, int recordIndex);

private:
    Truth noisyField(double t, double bandwidth);

    Rng m_rng;
    int m_fidRate = 1000;
    qint64 m_vectorIndex = 0;
    qint64 m_fidIndex = 0;
};
