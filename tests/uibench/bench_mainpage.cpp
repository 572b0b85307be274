// The main page under load: the cost of one refresh tick (pop, trim, redraw)
// at the default chart time and at the largest one, and the whole program's
// CPU time per second with the virtual instrument streaming at 1000 Hz.

#include "app/Allocator.h"
#include "app/ParamManager.h"
#include "app/SharedTypes.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/OperatorInput.h"
#include "tests/support/TestSandbox.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <qcustomplot.h>

#include <cmath>
#include <random>
#include <sys/resource.h>

namespace {
// About 50 000 nT with noise, in batches of 50 as the decoder hands them out.
class FieldSource
{
public:
    QVector<double> next(int count)
    {
        QVector<double> values(count);
        for (double& v : values)
            v = 50000.0 + 0.05 * std::sin(m_t++ * 2 * M_PI * 50 / 1000.0) + m_noise(m_gen);
        return values;
    }

private:
    std::mt19937 m_gen{3};
    std::normal_distribution<double> m_noise{0.0, 0.02};
    double m_t = 0;
};

void setChartTime(MainModuleForm& page, int seconds)
{
    OperatorInput::typeInto(&page, QStringLiteral("edt_setTime"), QString::number(seconds));
}

// CPU time of the whole process, or of the calling (GUI) thread alone.
double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

// Lets the page draw what its last tick asked for, as the event loop would.
void drawPending()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

// Runs the event loop for a while without spinning.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

// One refresh tick with a new 50-sample batch, alone or with the painting it
// asks for (run at once, as the event loop would run it).
static void BM_MainPageRefresh(benchmark::State& state)
{
    const int chartTime = int(state.range(0));
    ParamManager hub;
    MainModuleForm page(&hub);
    page.resize(1240, 520);
    page.show();
    auto* refresh = page.findChild<QTimer*>("refreshTimer");
    auto* plot = page.findChild<QCustomPlot*>("mainChart");
    refresh->stop();
    hub.setDeviceReady(true);
    setChartTime(page, chartTime);

    FieldSource field;
    const int window = int(chartTime / hub.dataParam().dataRate);
    for (int filled = 0; filled < window; filled += 50000) { // fill the window first
        page.slots_updateForm(field.next(50000));
        QMetaObject::invokeMethod(refresh, "timeout");
    }
    drawPending();
    for (auto _ : state) {
        page.slots_updateForm(field.next(50));
        QMetaObject::invokeMethod(refresh, "timeout");
        if (state.range(1))
            drawPending();
    }
    state.counters["points"] = plot->graph(0)->dataCount();
}
BENCHMARK(BM_MainPageRefresh)
    ->ArgNames({"chart_s", "redraw"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The program (hub, workers, main window with the main page shown) linked to
// the virtual instrument; CPU time of the whole process, and of the GUI thread
// alone, per second of wall time.
static void BM_ProgramCpuLoad(benchmark::State& state)
{
    const int chartTime = int(state.range(0));
    InstrumentProcess instrument;
    const QString port = instrument.start({"--lock-step-ms", "200"});
    if (port.isEmpty()) {
        state.SkipWithError("the virtual instrument did not start");
        return;
    }
    ParamManager hub;
    MainWindow window(&hub);
    window.resize(1280, 720);
    window.show();
    auto* page = window.findChild<MainModuleForm*>();
    auto* plot = page->findChild<QCustomPlot*>("mainChart");
    page->slot_handleActionTriggered(port, QVariant());
    QElapsedTimer waited;
    waited.start();
    while (!hub.isDeviceReady() && waited.elapsed() < 30000)
        spin(100);
    if (!hub.isDeviceReady()) {
        state.SkipWithError("the instrument did not lock");
        return;
    }
    setChartTime(*page, chartTime);
    if (chartTime > 10) { // fill the large window at once, as after a long run
        FieldSource field;
        for (int filled = 0; filled < chartTime * 1000; filled += 50000)
            page->slots_updateForm(field.next(50000));
    }
    // Into the steady state: with the notch filter on (as the program starts) the
    // first filtered second leaves after 3 s, and the 10 s spectrum window is full
    // 10 s later.
    spin(15000);

    for (auto _ : state) {
        const double cpuStart = cpuSeconds();
        const double guiStart = cpuSeconds(RUSAGE_THREAD);
        QElapsedTimer wall;
        wall.start();
        spin(10000);
        const double seconds = wall.elapsed() / 1000.0;
        state.SetIterationTime(seconds);
        state.counters["cpu_percent"] = 100.0 * (cpuSeconds() - cpuStart) / seconds;
        state.counters["gui_thread_percent"] =
            100.0 * (cpuSeconds(RUSAGE_THREAD) - guiStart) / seconds;
    }
    state.counters["points"] = plot->graph(0)->dataCount();
}
BENCHMARK(BM_ProgramCpuLoad)
    ->Arg(10)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    Allocator::keepLargeBlocksInProcess(); // as the program's main does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("MAG_TOOLS_DIR"))
        qputenv("MAG_TOOLS_DIR", MAG_TOOLS_BUILD_DIR);
    registerMainMetaTypes();
    QApplication app(argc, argv);
    TestSandbox sandbox;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
