#include "dsp/FilterBank.h"

#include <vector>

namespace {
constexpr double NotchQ = 50.0;
constexpr int MaxKeptDesigns = 64; // the cut-offs come from edits; keep the cache bounded
} // namespace

const SignalFilter::Sections& FilterBank::design(int cutoff, Type type, int fs)
{
    QHash<quint64, SignalFilter::Sections>& designs = m_designs[type == HighPass ? 1 : 0];
    const quint64 key = (quint64(quint32(cutoff)) << 32) | quint64(quint32(fs));
    auto it = designs.constFind(key);
    if (it != designs.constEnd())
        return it.value();
    if (designs.size() >= MaxKeptDesigns)
        designs.clear();
    return designs.insert(key, m_filter.butter(cutoff, type, fs)).value();
}

QVector<double> FilterBank::butterworth(const QVector<double>& x, int cutoff, Type type, int fs)
{
    // sosfiltfilt passes x through for an empty (unusable) design and short inputs.
    return m_filter.sosfiltfilt(x, design(cutoff, type, fs));
}

QVector<double> FilterBank::notchChain(const QVector<double>& x, int mainsF0, int mainsBandwidth,
                                       const QVector<int>& notches, double fs) const
{
    std::vector<double> y(x.constBegin(), x.constEnd());
    y = m_filter.notchFilterBandwidthInt(y, mainsF0, mainsBandwidth, fs);
    for (const int f : notches)
        y = m_filter.notchFilter(y, f, fs, NotchQ);
    return QVector<double>(y.begin(), y.end());
}
