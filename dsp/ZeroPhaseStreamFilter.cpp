#include "dsp/ZeroPhaseStreamFilter.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace {

// Samples until the slowest pole of the design has decayed to SettlingResidue: the
// length of the past and future a zero-phase output really depends on. Well below the
// Nyquist frequency this is about 7.5 periods of the cut-off; near it the poles crowd
// towards z = -1 and ring longer.
double settlingSamples(const SignalFilter::Sections& sos)
{
    double radius = 0.0;
    for (const QVector<double>& row : sos) {
        if (row.size() != 6 || row[3] == 0.0)
            continue; // sosfiltfilt passes such a design through
        // Poles of 1 + a1/a0 z^-1 + a2/a0 z^-2.
        const double a1 = row[4] / row[3];
        const double a2 = row[5] / row[3];
        const std::complex<double> root = std::sqrt(std::complex<double>(a1 * a1 - 4.0 * a2));
        radius = std::max({radius, std::abs((-a1 + root) / 2.0), std::abs((-a1 - root) / 2.0)});
    }
    if (radius <= 0.0)
        return 0.0;
    if (radius >= 1.0)
        return std::numeric_limits<double>::infinity();
    return std::log(ZeroPhaseStreamFilter::SettlingResidue) / std::log(radius);
}

int bounded(double samples, double seconds, int fs)
{
    const int n = int(std::ceil(std::min(samples, seconds * fs)));
    // A window shorter than the padding would pass through unfiltered.
    return std::max(n, SignalFilter::kSosPad);
}

} // namespace

int ZeroPhaseStreamFilter::settlingLength(int cutoff, int type, int fs)
{
    const SignalFilter::Sections sos = SignalFilter().butter(cutoff, type, fs);
    return sos.isEmpty() ? 0 : bounded(settlingSamples(sos), MaxLookaheadSeconds, fs);
}

void ZeroPhaseStreamFilter::configure(int lowPass, int highPass, int fs)
{
    lowPass = std::max(0, lowPass);
    highPass = std::max(0, highPass);
    if (lowPass == m_lowCutoff && highPass == m_highCutoff && fs == m_fs)
        return;
    m_lowCutoff = lowPass;
    m_highCutoff = highPass;
    m_fs = fs;
    m_lowPass = lowPass > 0 ? m_filter.butter(lowPass, SignalFilter::LowPass, fs)
                            : SignalFilter::Sections();
    m_highPass = highPass > 0 ? m_filter.butter(highPass, SignalFilter::HighPass, fs)
                              : SignalFilter::Sections();
    // In a cascade the settling lengths add up.
    const double settle = settlingSamples(m_lowPass) + settlingSamples(m_highPass);
    m_lookahead = isActive() ? bounded(settle, MaxLookaheadSeconds, fs) : 0;
    // The past costs no delay, only time: keep all of it that matters, within reason.
    m_context = isActive() ? bounded(settle, MaxContextSeconds, fs) : 0;
    reset();
}

void ZeroPhaseStreamFilter::reset()
{
    m_samples.clear();
    m_held = 0;
}

QVector<double> ZeroPhaseStreamFilter::filterRecord(const QVector<double>& x) const
{
    QVector<double> y = x;
    if (!m_lowPass.isEmpty())
        y = m_filter.sosfiltfilt(y, m_lowPass);
    if (!m_highPass.isEmpty())
        y = m_filter.sosfiltfilt(y, m_highPass);
    return y;
}

QVector<double> ZeroPhaseStreamFilter::push(const QVector<double>& batch)
{
    if (!isActive())
        return batch;
    const int n = batch.size();
    m_samples += batch;
    m_held += n;
    // The batch's size leaves once the lookahead stays full behind it.
    if (n == 0 || m_held - n < m_lookahead)
        return {};
    const QVector<double> y = filterRecord(m_samples);
    const QVector<double> out = y.mid(m_samples.size() - m_held, n);
    m_held -= n;
    const int keep = m_context + m_held;
    if (m_samples.size() > keep)
        m_samples.remove(0, m_samples.size() - keep);
    return out;
}
