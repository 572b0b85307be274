#pragma once
// The user's low-pass and high-pass, zero-phase, over a continuous stream of batches.
//
// A forward-backward Butterworth filter needs samples on both sides of every value it
// gives. Filtering each batch alone (50 samples, or one at 20 Hz) leaves every batch
// with edges of its own: the output becomes a staircase. Here the filter keeps the raw
// samples of the recent past (the context) and holds back the newest ones (the
// lookahead); each batch is filtered together with them (sosfiltfilt of the eighth-order
// design, low-pass first, then high-pass) and the oldest held samples, which now have
// enough samples on both sides, leave as a batch of the size that came in. Away from
// the ends the result is that of sosfiltfilt over the whole record.
//
// Both lengths follow the settling length of the design: the samples its slowest pole
// takes to decay to SettlingResidue (about 7.5 periods of the cut-off well below the
// Nyquist frequency; the two lengths added when both cut-offs are set). The lookahead
// is the delay the filter adds: it is bounded to MaxLookaheadSeconds (and rounded up to
// whole batches); the context costs no delay and is bounded to MaxContextSeconds. Both
// are at least the filter's padding. At the start nothing leaves until the lookahead is
// full; the first values then have the start of the stream as their left edge, exactly
// as in the whole record.
//
// With both cut-offs 0 (or a design that cannot be used at that rate) every batch
// passes at once, unchanged. configure() with other settings, and reset(), start
// afresh: nothing from before is mixed into what follows.
//
// One thread at a time (the decoder's); not a QObject, no signals.

#include "dsp/SignalFilter.h"

#include <QVector>

class ZeroPhaseStreamFilter
{
public:
    static constexpr double SettlingResidue = 1e-4;
    static constexpr double MaxLookaheadSeconds = 2.0;
    static constexpr double MaxContextSeconds = 10.0;

    // Cut-offs in Hz (0 = off) at the rate fs in Hz. Settings that differ from the
    // current ones start afresh; the same settings again keep the stream going.
    void configure(int lowPass, int highPass, int fs);
    // Forgets the context and the held samples.
    void reset();

    // The next raw batch in; out the filtered batch of the same size whose samples now
    // have the lookahead behind them, or an empty vector while the lookahead fills.
    // Passes the batch through unchanged when no filter is active.
    QVector<double> push(const QVector<double>& batch);

    bool isActive() const { return !m_lowPass.isEmpty() || !m_highPass.isEmpty(); }
    // Samples of context kept before the held ones, and the samples held back, as
    // configured (0 when no filter is active).
    int contextLength() const { return m_context; }
    int lookaheadLength() const { return m_lookahead; }
    // Samples held back now.
    int heldSamples() const { return m_held; }

    // The lookahead of one filter alone (cut-off in Hz, SignalFilter::LowPass or
    // HighPass, rate fs in Hz): its settling length bounded as above; 0 when the design
    // cannot be used.
    static int settlingLength(int cutoff, int type, int fs);

    // Low-pass then high-pass, each zero-phase, over x as one record: what the stream
    // approaches away from its ends.
    QVector<double> filterRecord(const QVector<double>& x) const;

private:
    SignalFilter m_filter;
    SignalFilter::Sections m_lowPass;  // empty: off
    SignalFilter::Sections m_highPass; // empty: off
    int m_lowCutoff = 0;
    int m_highCutoff = 0;
    int m_fs = 0;
    int m_context = 0;
    int m_lookahead = 0;
    QVector<double> m_samples; // raw: context, then the held samples
    int m_held = 0;
};
