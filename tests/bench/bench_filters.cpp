// The decoder's filters: zero-phase Butterworth sections and the 13-notch mains chain.
// scripts/bench_dsp.py times the same work in SciPy under the same names.

#include "dsp/SignalFilter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// A 1000 Hz stream in mHz: about 50 000 nT with mains and a little "noise"; the same formula
// as in scripts/bench_dsp.py.
std::vector<double> streamSignal(int n)
{
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = i / 1000.0;
        x[static_cast<size_t>(i)] = 349791500.0 + 2500.0 * std::sin(2 * M_PI * 50.0 * t) +
                                    900.0 * std::sin(2 * M_PI * 150.0 * t) +
                                    40.0 * std::sin(12345.678 * i * i);
    }
    return x;
}

void BM_SosfiltfiltButter(benchmark::State& state)
{
    const SignalFilter f;
    const std::vector<double> s = streamSignal(static_cast<int>(state.range(0)));
    const QVector<double> x(s.begin(), s.end());
    const SignalFilter::Sections sos = f.butter(100, SignalFilter::LowPass, 1000);
    for (auto _ : state) {
        QVector<double> y = f.sosfiltfilt(x, sos);
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SosfiltfiltButter)->Arg(1600)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_NotchChain(benchmark::State& state)
{
    const SignalFilter f;
    const std::vector<double> x = streamSignal(static_cast<int>(state.range(0)));
    static const int kNotches[] = {50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425};
    for (auto _ : state) {
        std::vector<double> y = f.notchFilterBandwidthInt(x, 25, 10, 1000.0);
        for (int f0 : kNotches)
            y = f.notchFilter(y, f0, 1000.0, 50.0);
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_NotchChain)->Arg(1600)->Unit(benchmark::kMicrosecond);

} // namespace
