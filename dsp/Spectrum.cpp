#include "dsp/Spectrum.h"

#include "dsp/FilterBank.h"

#include <fftw3.h>

#include <cmath>
#include <cstring>
#include <mutex>

namespace Spectrum {

namespace {
// FFTW's planner is not re-entrant; executing a plan is.
std::mutex& plannerMutex()
{
    static std::mutex mutex;
    return mutex;
}
} // namespace

void computeFft(const QVector<double>& data, double fs, QVector<double>& freqs,
                QVector<double>& amps)
{
    const int n = data.size();
    if (n <= 0 || !(fs > 0.0))
        return;

    double* in = static_cast<double*>(fftw_malloc(sizeof(double) * size_t(n)));
    fftw_complex* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * size_t(n)));
    // ESTIMATE leaves `in` untouched while planning, so it may be filled before or after.
    fftw_plan plan;
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    }
    std::memcpy(in, data.constData(), sizeof(double) * size_t(n));
    fftw_execute(plan);

    const int bins = n - n / 2;
    const double step = fs / n;
    const double scale = std::sqrt(2.0) / std::sqrt(double(n) * fs);
    const int f0 = freqs.size();
    const int a0 = amps.size();
    freqs.resize(f0 + bins);
    amps.resize(a0 + bins);
    double* f = freqs.data() + f0;
    double* a = amps.data() + a0;
    for (int j = 0; j < bins; ++j) {
        f[j] = j * step;
        const double re = out[j][0];
        const double im = out[j][1];
        a[j] = std::sqrt(re * re + im * im) * scale;
    }

    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftw_destroy_plan(plan);
    }
    fftw_free(in);
    fftw_free(out);
}

void density(FilterBank& filters, const QVector<double>& samples, int designRate, double fs,
             int lowPass, int highPass, QVector<double>& freqs, QVector<double>& amps)
{
    if (samples.isEmpty())
        return;
    QVector<double> x = filters.butterworth(samples, 1, FilterBank::HighPass, designRate);
    if (lowPass > 0)
        x = filters.butterworth(x, lowPass, FilterBank::LowPass, designRate);
    if (highPass >= 1)
        x = filters.butterworth(x, highPass, FilterBank::HighPass, designRate);
    computeFft(x, fs, freqs, amps);
}

} // namespace Spectrum
