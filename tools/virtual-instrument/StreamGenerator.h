#pragma once
// Builds the stream frames: AB 01 04 7D 00, the samples (Larmor frequency in mHz,
// unsigned 32-bit, least significant byte first), the status byte, a frame
// counter, FF FF. 20 frames a second, so a frame carries rate / 5 sample bytes;
// below 20 Hz a sample spans two frames. Pure: no timers, no I/O.
//
// The field is about 50 000 nT with a slow drift, 50 Hz mains harmonics and
// white noise. Each sample is the mean over its gate time (1 / rate), as a
// frequency counter sees it, so the mains lines are damped at low rates.
// Out of lock the tracked frequency runs away steadily.

#include "Rng.h"

#include <QByteArray>

class StreamGenerator
{
public:
    static constexpr int FramesPerSecond = 20;
    static constexpr double GyromagneticRatio = 6.99583; // Hz per nT
    static constexpr double NoiseDensity = 0.005;        // nT/sqrt(Hz), white

    explicit StreamGenerator(quint64 seed);

    static int frameLength(int rate) { return rate / 5 + 9; }

    // Starts a new run of frames at the given rate (samples per second). The
    // signal's own clock runs only while frames are made, so a seed and the same
    // commands give the same samples however the requests are timed.
    void start(int rate);
    int rate() const { return m_rate; }

    // Out of lock the output runs away from the field, from the next sample on.
    void setLocked(bool locked);

    QByteArray nextFrame(quint8 status);

    // The field in nT at time t (s), averaged over the gate [t, t + gate).
    double fieldNt(double t, double gate);

private:
    quint32 nextSampleMilliHz();

    Rng m_rng;
    int m_rate = 1000;
    double m_sampleTime = 0.0;  // s, start of the next sample's gate
    double m_unlockedAt = -1.0; // s, < 0 while locked
    QByteArray m_pendingSampleBytes;
    quint8 m_frameCounter = 0;
};
