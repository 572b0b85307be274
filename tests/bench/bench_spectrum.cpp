// The spectrum step (fixed 1 Hz high-pass + transform) and the stream decoder under load.
#include "device/ScalarStreamDecoder.h"
#include "dsp/FilterBank.h"
#include "dsp/Spectrum.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QVector>

#include <cmath>
#include <random>

namespace {

// About 50 000 nT in mHz with noise and a mains tone, as the instrument sends it.
QVector<double> fieldSamples(int n, unsigned seed = 1u)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, 50.0);
    QVector<double> x(n);
    for (int t = 0; t < n; ++t)
        x[t] = 3.5e8 + 1e4 * std::sin(2 * M_PI * 50.0 * t / 1000.0) + noise(gen);
    return x;
}

QByteArray streamFrame(const double* samples)
{
    QByteArray f;
    f.append(char(0xAB)).append(char(0x01)).append(3, '\0');
    for (int i = 0; i < 50; ++i) {
        const quint32 v = quint32(samples[i]);
        for (int k = 0; k < 4; ++k)
            f.append(char((v >> (8 * k)) & 0xFF));
    }
    f.append(char(4)).append('\0').append(char(0xFF)).append(char(0xFF));
    return f;
}

// One spectrum step as the decoder runs it after a frame at 1000 Hz: the fixed 1 Hz
// high-pass and the transform of the whole window (range(0) points).
void BM_SpectrumStep(benchmark::State& state)
{
    const QVector<double> x = fieldSamples(int(state.range(0)));
    FilterBank filters;
    for (auto _ : state) {
        QVector<double> freqs, amps;
        Spectrum::density(filters, x, 1000, 1000.0, 0, 0, freqs, amps);
        benchmark::DoNotOptimize(amps.constData());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
// 10 s and the largest FFT time the bottom bar allows (1000 s) at 1000 Hz.
BENCHMARK(BM_SpectrumStep)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One stream frame through the decoder (direct road, default settings) with the spectrum
// window already full: range(0) is the FFT time in seconds. The spectrum step runs beside
// the decoder (BM_SpectrumStep); this is what a frame costs the decoder's own thread.
void BM_DecoderFrame(benchmark::State& state)
{
    const int fftTime = int(state.range(0));
    ScalarStreamDecoder decoder;
    DataParam param;
    param.fftTime = fftTime;
    decoder.setDataParam(param);

    const QVector<double> stream = fieldSamples(1000 * fftTime + 1000, 2u);
    QVector<QByteArray> frames;
    for (int i = 0; i + 50 <= stream.size(); i += 50)
        frames.append(streamFrame(stream.constData() + i));
    // Fill the window in one batch (mock input takes the same direct road; one spectrum step).
    decoder.handleMockData(stream.mid(0, 1000 * fftTime - 50));

    int next = 0;
    for (auto _ : state) {
        decoder.handleStreamFrame(frames[next]);
        next = (next + 1) % frames.size();
    }
}
BENCHMARK(BM_DecoderFrame)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
