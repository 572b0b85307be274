#pragma once
// The filters the stream decoder and the spectrum step apply, on top of SignalFilter:
// eighth-order Butterworth sections designed once per (cut-off, type, rate) and kept,
// and the mains notch chain. A design that SignalFilter deems unusable passes the
// input through unchanged. One thread at a time (the decoder's).

#include "dsp/SignalFilter.h"

#include <QHash>
#include <QVector>

class FilterBank
{
public:
    enum Type
    {
        LowPass = SignalFilter::LowPass,
        HighPass = SignalFilter::HighPass
    };

    // Zero-phase Butterworth of x (sosfiltfilt); x unchanged when the design is unusable.
    QVector<double> butterworth(const QVector<double>& x, int cutoff, Type type, int fs);

    // notchFilterBandwidthInt(x, mainsF0, mainsBandwidth, fs), then notchFilter(y, f, fs, 50)
    // for each f of `notches` in order.
    QVector<double> notchChain(const QVector<double>& x, int mainsF0, int mainsBandwidth,
                               const QVector<int>& notches, double fs) const;

    const SignalFilter& filter() const { return m_filter; }

private:
    const SignalFilter::Sections& design(int cutoff, Type type, int fs);

    SignalFilter m_filter;
    QHash<quint64, SignalFilter::Sections> m_designs[2]; // low-pass, high-pass
};
