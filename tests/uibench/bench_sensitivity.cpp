// The program streaming from the virtual instrument at 1000 Hz with the
// sensitivity page shown: how late the batches reach the main page, how often a
// spectrum arrives and is drawn, and the CPU time of the whole program, at the
// default FFT time (mains filter on and off) and at 1000 s (filter off, while the
// window fills and once it is full).
// Uses only what the window, the hub and the transport offer, so the same source
// also measures a build without the sensitivity page (its button then leads
// nowhere and the main page stays shown). Prints one table; run by hand.
//
//   bench_sensitivity [--cpu-seconds S] [--fill-seconds S] [--late-fill-seconds S]
//                     [--after-seconds S] [--label TEXT]

#include "app/Allocator.h"
#include "app/ParamManager.h"
#include "app/SharedTypes.h"
#include "device/ModbusDataHandler.h"
#include "device/ModbusManager.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/OperatorInput.h"
#include "tests/support/TestSandbox.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// What one stretch of the run saw.
struct Phase
{
    QString name;
    double seconds = 0;
    double cpu = 0;
    QVector<double> latenciesMs; // frame arrival -> batch in the GUI thread
    int spectra = 0;             // spectra that reached the GUI thread
    double longestSpectrumGap = 0;
    int redraws = -1; // spectrum chart redraws; -1 without a spectrum chart
    double longestRedrawGap = 0;
    int unmatched = 0; // batches whose values are not a frame's samples (filtered, replayed)
};

// Stamps each stream frame when the transport hands it on, and each batch,
// spectrum and spectrum redraw when the GUI thread gets it. A batch is matched to
// its frame by its first two values (the frame's first two samples, in nT) when a
// phase ends: the transport's stamp may land after the GUI's.
class Probe : public QObject
{
public:
    Probe(ParamManager* hub, QCustomPlot* spectrumChart) : m_hasChart(spectrumChart != nullptr)
    {
        m_clock.start();
        connect(
            hub->getModbusManager(), &ModbusManager::sig_readDataFinished, this,
            [this](ModbusAddr addr, const QByteArray& frame) {
                if (addr != AddrStreamData || frame.size() < 5 + 8 + 4)
                    return;
                const auto* b = reinterpret_cast<const quint8*>(frame.constData()) + 5;
                const auto sample = [b](int i) {
                    return quint64(b[4 * i]) | quint64(b[4 * i + 1]) << 8 |
                           quint64(b[4 * i + 2]) << 16 | quint64(b[4 * i + 3]) << 24;
                };
                const qint64 now = m_clock.nsecsElapsed();
                QMutexLocker lock(&m_mutex);
                m_frames.insert(sample(0) << 32 | sample(1), now);
            },
            Qt::DirectConnection);
        connect(hub, &ParamManager::sig_updateForm, this,
                [this](const QVector<double>& batch) { onBatch(batch); });
        connect(hub, &ParamManager::sig_updateFormEx, this,
                [this](const QVector<double>&, const QVector<double>& f) {
                    if (f.isEmpty() || !m_phase)
                        return;
                    const qint64 now = m_clock.nsecsElapsed();
                    ++m_phase->spectra;
                    m_phase->longestSpectrumGap =
                        std::max(m_phase->longestSpectrumGap, (now - m_lastSpectrum) * 1e-9);
                    m_lastSpectrum = now;
                });
        if (spectrumChart) {
            connect(spectrumChart, &QCustomPlot::afterReplot, this, [this] {
                if (!m_phase)
                    return;
                const qint64 now = m_clock.nsecsElapsed();
                ++m_phase->redraws;
                m_phase->longestRedrawGap =
                    std::max(m_phase->longestRedrawGap, (now - m_lastRedraw) * 1e-9);
                m_lastRedraw = now;
            });
        }
    }

    // Measures for `ms` of wall time.
    Phase measure(const QString& name, int ms)
    {
        Phase phase;
        phase.name = name;
        if (m_hasChart)
            phase.redraws = 0;
        m_batchTimes.clear();
        m_phase = &phase;
        m_lastSpectrum = m_lastRedraw = m_clock.nsecsElapsed();
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        spin(ms);
        phase.seconds = wall.elapsed() / 1000.0;
        phase.cpu = 100.0 * (cpuSeconds() - cpu0) / phase.seconds;
        m_phase = nullptr;
        // A gap still open at the end counts too.
        const qint64 now = m_clock.nsecsElapsed();
        phase.longestSpectrumGap =
            std::max(phase.longestSpectrumGap, (now - m_lastSpectrum) * 1e-9);
        if (m_hasChart)
            phase.longestRedrawGap = std::max(phase.longestRedrawGap, (now - m_lastRedraw) * 1e-9);
        // Let the transport's stamps of the last batches land, then match.
        spin(200);
        QMutexLocker lock(&m_mutex);
        for (const auto& [key, at] : m_batchTimes) {
            const auto frame = m_frames.constFind(key);
            if (frame != m_frames.constEnd())
                phase.latenciesMs << std::max<qint64>(0, at - frame.value()) * 1e-6;
            else
                ++phase.unmatched;
        }
        return phase;
    }

    int batchesSeen() const { return m_batches; }

private:
    void onBatch(const QVector<double>& batch)
    {
        ++m_batches;
        if (!m_phase || batch.size() < 2)
            return;
        const auto sample = [&batch](int i) {
            return quint64(std::llround(batch.at(i) * 6.99583 * 1000.0));
        };
        m_batchTimes.push_back({sample(0) << 32 | sample(1), m_clock.nsecsElapsed()});
    }

    QElapsedTimer m_clock;
    QMutex m_mutex;
    QHash<quint64, qint64> m_frames; // key -> stamp, the whole run; guarded by m_mutex
    std::vector<std::pair<quint64, qint64>> m_batchTimes; // GUI thread
    Phase* m_phase = nullptr;
    qint64 m_lastSpectrum = 0;
    qint64 m_lastRedraw = 0;
    const bool m_hasChart;
    int m_batches = 0;
};

void setFftTime(MainWindow& window, int seconds)
{
    OperatorInput::typeInto(&window, QStringLiteral("edt_fftTime"), QString::number(seconds));
}

void print(const QString& label, const QList<Phase>& phases)
{
    std::printf("\n%s\n", qPrintable(label));
    std::printf("%-34s %4s %6s %8s %8s %7s %7s %8s %9s %8s %s\n", "phase", "s", "cpu %", "batches",
                "mean ms", "p99 ms", "max ms", ">100 ms", "spectra/s", "max gap",
                "redraws/s (max gap)");
    for (const Phase& p : phases) {
        QVector<double> l = p.latenciesMs;
        std::sort(l.begin(), l.end());
        const double mean = l.isEmpty() ? 0 : std::accumulate(l.begin(), l.end(), 0.0) / l.size();
        const double p99 = l.isEmpty() ? 0 : l[std::min(l.size() - 1, int(l.size() * 0.99))];
        const double max = l.isEmpty() ? 0 : l.last();
        const int late = int(std::count_if(l.begin(), l.end(), [](double v) { return v > 100; }));
        const QString redraws = p.redraws < 0 ? QStringLiteral("-")
                                              : QStringLiteral("%1 (%2 s)")
                                                    .arg(p.redraws / p.seconds, 0, 'f', 1)
                                                    .arg(p.longestRedrawGap, 0, 'f', 2);
        std::printf("%-34s %4.0f %6.1f %8d %8.1f %7.1f %7.0f %8d %9.1f %7.2fs %s\n",
                    qPrintable(p.name), p.seconds, p.cpu, int(l.size()), mean, p99, max, late,
                    p.spectra / p.seconds, p.longestSpectrumGap, qPrintable(redraws));
        if (p.unmatched > 0)
            std::printf("    (%d batches not matched to a stream frame: filtered or replayed)\n",
                        p.unmatched);
    }
    std::fflush(stdout);
}

int option(const QStringList& args, const QString& name, int fallback)
{
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    Allocator::keepLargeBlocksInProcess(); // as the program's main does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("MAG_TOOLS_DIR"))
        qputenv("MAG_TOOLS_DIR", MAG_TOOLS_BUILD_DIR);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    registerMainMetaTypes();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int cpuSeconds = option(args, "--cpu-seconds", 20);
    const int fillSeconds = option(args, "--fill-seconds", 60);
    const int lateFillSeconds = option(args, "--late-fill-seconds", 100);
    const int afterSeconds = option(args, "--after-seconds", 30);
    const int i = args.indexOf("--label");
    const QString label = i >= 0 && i + 1 < args.size() ? args[i + 1] : QStringLiteral("run");
    TestSandbox sandbox;

    InstrumentProcess instrument;
    const QString port = instrument.start({"--lock-step-ms", "200"});
    if (port.isEmpty()) {
        std::fprintf(stderr, "the virtual instrument did not start\n");
        return 1;
    }
    ParamManager hub;
    MainWindow window(&hub);
    window.resize(1280, 720);
    window.show();
    window.findChild<MainModuleForm*>()->slot_handleActionTriggered(port, QVariant());
    QElapsedTimer waited;
    waited.start();
    while (!hub.isDeviceReady() && waited.elapsed() < 30000)
        spin(100);
    if (!hub.isDeviceReady()) {
        std::fprintf(stderr, "the instrument did not lock\n");
        return 1;
    }
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    const bool pageShown = window.currentPage() == 1;
    auto* spectrumChart = window.findChild<QCustomPlot*>(QStringLiteral("chart2"));
    Probe probe(&hub, pageShown ? spectrumChart : nullptr);
    QList<Phase> phases;

    // Default FFT time, the window full: first with the mains filter on, as the
    // program starts, then off (the direct road, a spectrum after every frame).
    emit hub.sig_setFilterEnabled(true);
    spin(14000);
    phases << probe.measure(QStringLiteral("FFT 10 s, filter on"), cpuSeconds * 1000);
    emit hub.sig_setFilterEnabled(false);
    spin(12000);
    phases << probe.measure(QStringLiteral("FFT 10 s, filter off"), cpuSeconds * 1000);

    // FFT 1000 s from an empty window, filter off: the transform grows every frame.
    setFftTime(window, 1000);
    emit hub.sig_reboot();
    window.findChild<QPushButton*>(QStringLiteral("btn_clearPlot"))->click();
    const int batchesAtStart = probe.batchesSeen();
    phases << probe.measure(QStringLiteral("FFT 1000 s, fill from empty"), fillSeconds * 1000);

    // The last stretch of the fill: replayed values bring the window near full
    // (as after a quarter of an hour), the stream fills the rest. The default
    // stretch, from 900 000 values on, has sizes whose fresh plan takes FFTW half
    // a second and more (904 800, 910 800, 915 200).
    const int streamed = (probe.batchesSeen() - batchesAtStart) * 50;
    const int inject = std::max(0, 1000 * 1000 - streamed - lateFillSeconds * 1000);
    QVector<double> replay(inject);
    std::mt19937 gen(5);
    std::normal_distribution<double> noise(3.5e8, 50.0);
    for (double& v : replay)
        v = noise(gen);
    QMetaObject::invokeMethod(
        hub.getModbusDataHandler(),
        [handler = hub.getModbusDataHandler(), replay] { handler->slots_revMockData(replay); },
        Qt::QueuedConnection);
    spin(3000); // the replayed batch crosses the pages once; not measured
    phases << probe.measure(QStringLiteral("FFT 1000 s, last part of the fill"),
                            (lateFillSeconds - 3) * 1000);
    phases << probe.measure(QStringLiteral("FFT 1000 s, window full"), afterSeconds * 1000);

    print(QStringLiteral("%1 (%2)").arg(label, pageShown ? QStringLiteral("sensitivity page shown")
                                                         : QStringLiteral("no sensitivity page: "
                                                                          "main page shown")),
          phases);
    return 0;
}
