#pragma once
// One-sided amplitude spectral density of a block of samples (FFTW 3, double).
//
// Any thread may call these: the FFTW planner, which is not re-entrant, is
// guarded inside.

#include <QVector>

class FilterBank;

namespace Spectrum {

// Appends, for the bins j = 0 .. N-1-N/2 of the real transform of `data`
// (no window, mean kept), the frequency j*fs/N to `freqs` and the density
// |X_j| * sqrt(2) / sqrt(N*fs) to `amps`. An empty input appends nothing.
// Every call makes a fresh FFTW_ESTIMATE plan and frees it again.
void computeFft(const QVector<double>& data, double fs, QVector<double>& freqs,
                QVector<double>& amps);

// The spectrum step: fixed 1 Hz high-pass, then the user's low-pass (lowPass > 0) and
// high-pass (highPass >= 1), all designed for `designRate`, then computeFft at `fs`.
// An empty input appends nothing.
void density(FilterBank& filters, const QVector<double>& samples, int designRate, double fs,
             int lowPass, int highPass, QVector<double>& freqs, QVector<double>& amps);

} // namespace Spectrum
