#pragma once
// Vector data as the decoder hands it to the pages: four records per frame of a
// 50 000 nT field turning about the vertical once every 20 s (inclination 60°),
// with a little noise and two tones, and the spectra of the last `span` seconds
// of each component once its window is full.

#include "app/SharedTypes.h"
#include "dsp/FilterBank.h"
#include "dsp/Spectrum.h"

#include <QRandomGenerator>
#include <QVector>

#include <cmath>

class VectorFrames
{
public:
    static constexpr double Spacing = 0.009; // s between records
    static constexpr double Field = 50000.0;

    explicit VectorFrames(int spanSeconds = 10) : m_span(spanSeconds) {}

    // The field's components of record n, noise-free.
    static void field(int n, double& x, double& y, double& z)
    {
        const double t = n * Spacing;
        const double inclination = M_PI / 3;
        const double turn = 2 * M_PI * t / 20.0;
        x = Field * std::cos(inclination) * std::cos(turn);
        y = Field * std::cos(inclination) * std::sin(turn);
        z = Field * std::sin(inclination);
    }

    FIDVectorData next()
    {
        FIDVectorData d;
        QVector<double>* const members[] = {&d.x, &d.y, &d.z, &d.s};
        for (int r = 0; r < 4; ++r, ++m_record) {
            double v[4];
            field(m_record, v[0], v[1], v[2]);
            const double t = m_record * Spacing;
            const double tones =
                0.3 * std::sin(2 * M_PI * 7.0 * t) + 0.1 * std::sin(2 * M_PI * 16.7 * t);
            for (int c = 0; c < 3; ++c)
                v[c] += tones * (c + 1) / 3.0 + noise();
            v[3] = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) + noise();
            for (int c = 0; c < 4; ++c)
                members[c]->append(v[c]);
        }
        QVector<double>* const freqs[] = {&d.xFreq, &d.yFreq, &d.zFreq, &d.sFreq};
        QVector<double>* const amps[] = {&d.xAsd, &d.yAsd, &d.zAsd, &d.sAsd};
        const int length = m_span * 111;
        for (int c = 0; c < 4; ++c) {
            m_windows[c] += *members[c];
            if (m_windows[c].size() < length)
                continue;
            m_windows[c].remove(0, m_windows[c].size() - length);
            // The decoder's spectrum step: 1 Hz high-pass, no user filters.
            Spectrum::density(m_filters, m_windows[c], 111, 1000.0 / 9.0, 0, 0, *freqs[c],
                              *amps[c]);
        }
        d.hasSpectra = m_windows[3].size() >= length;
        return d;
    }

private:
    double noise() { return 0.05 * (m_random.generateDouble() - 0.5); }

    int m_span;
    int m_record = 0;
    QVector<double> m_windows[4];
    FilterBank m_filters;
    QRandomGenerator m_random{11};
};
