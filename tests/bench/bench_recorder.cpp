// The recorder's cost at 1000 Hz: the rows of one batch, and one whole batch
// (stamping, the server batch, the rows, one open, append and close) measured as
// CPU time of the recorder's own thread. One batch arrives a second, so the
// second figure in ms, divided by 10, is the share of one core in per cent.

#include "services/RecordingFormat.h"
#include "services/SaveFileThread.h"
#include "tests/support/TestSandbox.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>

#include <ctime>
#include <random>

namespace {
QVector<double> fieldValues(int count)
{
    std::mt19937 gen(5);
    std::normal_distribution<double> noise(0.0, 0.3);
    QVector<double> values(count);
    for (double& v : values)
        v = 50000.0 + noise(gen);
    return values;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

void BM_FormatRows1000(benchmark::State& state)
{
    const QVector<double> values = fieldValues(1000);
    QVector<qint64> stamps(1000);
    for (int i = 0; i < 1000; ++i)
        stamps[i] = 1735732800000LL + i;
    QByteArray rows;
    for (auto _ : state) {
        rows.clear();
        RecordingFormat::appendMzRows(rows, 1000, stamps.constData(), values.constData(), 1000);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["bytes"] = rows.size();
}
BENCHMARK(BM_FormatRows1000)->Unit(benchmark::kMicrosecond);

void BM_RecordOneSecondAt1000Hz(benchmark::State& state)
{
    const QString folder = QDir::currentPath() + "/bench";
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    SaveFileThread recorder;
    QMetaObject::invokeMethod(
        &recorder,
        [&] { recorder.slots_syncSaveParam(true, 0, folder + "/20250101_120000.CSV", true); },
        Qt::BlockingQueuedConnection);
    const QVector<double> values = fieldValues(1000);
    QDateTime arrival(QDate(2025, 1, 1), QTime(12, 0), Qt::UTC);
    for (auto _ : state) {
        double cpu = 0;
        QMetaObject::invokeMethod(
            &recorder,
            [&] {
                const double before = threadCpuSeconds();
                recorder.saveCSVData(values, 1000, arrival);
                cpu = threadCpuSeconds() - before;
            },
            Qt::BlockingQueuedConnection);
        state.SetIterationTime(cpu);
        arrival = arrival.addSecs(1);
    }
}
BENCHMARK(BM_RecordOneSecondAt1000Hz)->UseManualTime()->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qRegisterMetaType<QVector<double>>("QVector<double>");
    TestSandbox sandbox;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
