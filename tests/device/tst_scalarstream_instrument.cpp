// The scalar stream end to end: the virtual instrument (a child process on a
// pseudo-terminal) streams at 1000 Hz through the scheduler, the transport and the
// decoder in their threads; the decoded values and their spectrum are checked
// before and after the notch chain is switched on.

#include "device/ModbusDataHandler.h"
#include "device/ModbusManager.h"
#include "device/ModbusWorkThread.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

#include <cmath>

namespace {

constexpr int LinkTimeoutMs = 20000;

// What the pages would see, collected in the test's thread.
class Receiver : public QObject
{
    Q_OBJECT
public:
    explicit Receiver(ModbusDataHandler* handler)
    {
        connect(handler, &ModbusDataHandler::sig_updateForm, this,
                [this](const QVector<double>& values, FrequencyType rate) {
                    batches << values;
                    rates << int(rate);
                });
        connect(handler, &ModbusDataHandler::sig_updateFormEx, this,
                [this](const QVector<double>&, const QVector<double>& f, const QVector<double>& a) {
                    if (!f.isEmpty())
                        spectra << qMakePair(f, a);
                });
    }

    QList<QVector<double>> batches;
    QList<int> rates;
    QList<QPair<QVector<double>, QVector<double>>> spectra; // frequencies, densities
};

// Stands in for the hub's signals towards the decoder.
class Controls : public QObject
{
    Q_OBJECT
signals:
    void syncDataParam(DataParam data);
    void setFilterEnabled(bool on);
    void setSpectrumShown(bool shown);
};

// Density of the bin at `hz` (1 Hz bins).
double densityAt(const QPair<QVector<double>, QVector<double>>& spectrum, double hz)
{
    const QVector<double>& f = spectrum.first;
    for (int i = 0; i < f.size(); ++i)
        if (std::abs(f[i] - hz) < 1e-9)
            return spectrum.second[i];
    return -1.0;
}

double mean(const QList<QVector<double>>& batches, int from)
{
    double sum = 0.0;
    int n = 0;
    for (int i = from; i < batches.size(); ++i)
        for (const double v : batches[i]) {
            sum += v;
            ++n;
        }
    return n ? sum / n : 0.0;
}

} // namespace

class TestScalarStreamInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerHubMetaTypes(); }
    void notchChainRemovesMains();
};

void TestScalarStreamInstrument::notchChainRemovesMains()
{
    InstrumentProcess instrument;
    const QString port = instrument.start({"--start-status", "4"});
    QVERIFY2(!port.isEmpty(), "the virtual instrument did not come up");

    ModbusManager transport;
    ModbusDataHandler handler;
    ModbusWorkThread scheduler;
    Controls controls;
    connect(&scheduler, &ModbusWorkThread::sig_connectDevice, &transport,
            &ModbusManager::slots_connectDevice);
    connect(&scheduler, &ModbusWorkThread::sig_readData, &transport, &ModbusManager::slots_readData,
            Qt::QueuedConnection);
    connect(&transport, &ModbusManager::sig_readDataFinished, &handler,
            &ModbusDataHandler::slots_readDataFinished);
    connect(&controls, &Controls::syncDataParam, &handler, &ModbusDataHandler::slots_syncDataParam);
    connect(&controls, &Controls::setFilterEnabled, &handler,
            &ModbusDataHandler::slots_setFilterEnabled);
    connect(&controls, &Controls::setSpectrumShown, &handler,
            &ModbusDataHandler::slots_setSpectrumShown);
    Receiver pages(&handler);

    // A one-second spectrum window: 1 Hz bins, and the filtered road fills it quickly.
    DataParam param;
    param.fftTime = 1;
    emit controls.syncDataParam(param);
    emit controls.setSpectrumShown(true);

    QSignalSpy connected(&transport, &ModbusManager::sig_connected);
    emit scheduler.sig_connectDevice(port, 921600);
    QVERIFY(connected.wait(LinkTimeoutMs));
    scheduler.slots_sendModbusData(AddrStartStream);

    // Direct road: 50 values a frame at 1000 Hz, near the instrument's 50 000 nT.
    QTRY_VERIFY_WITH_TIMEOUT(pages.batches.size() >= 30, LinkTimeoutMs);
    QCOMPARE(pages.batches.first().size(), 50);
    QCOMPARE(pages.rates.first(), 1000);
    QVERIFY2(std::abs(mean(pages.batches, 0) - 50000.0) < 10.0,
             qPrintable(QString::number(mean(pages.batches, 0))));
    QTRY_VERIFY_WITH_TIMEOUT(!pages.spectra.isEmpty() && pages.spectra.last().first.size() == 500,
                             LinkTimeoutMs);
    const auto before = pages.spectra.last();
    const double mains = densityAt(before, 50.0);
    const double third = densityAt(before, 150.0); // not among the notches
    const double floor = densityAt(before, 137.0);
    // The instrument's 0.4 nT line at 50 Hz stands far above its noise floor.
    QVERIFY2(mains > 10 * floor, qPrintable(QString("%1 vs %2").arg(mains).arg(floor)));

    // Filtered road: after three hand-outs the window holds only notched values.
    emit controls.setFilterEnabled(true);
    const int switchedAt = pages.batches.size();
    QTRY_VERIFY_WITH_TIMEOUT(pages.batches.size() >= switchedAt + 70, LinkTimeoutMs);
    const int spectraBefore = pages.spectra.size();
    QTRY_VERIFY_WITH_TIMEOUT(pages.spectra.size() > spectraBefore, LinkTimeoutMs);
    const auto after = pages.spectra.last();
    QCOMPARE(after.first.size(), 500);

    const double mainsAfter = densityAt(after, 50.0);
    const double thirdAfter = densityAt(after, 150.0);
    // SciPy, on the same signal cut into the same 1600-sample runs, leaves 1/16 to 1/24.
    QVERIFY2(mainsAfter < mains / 8,
             qPrintable(QString("50 Hz: %1 before, %2 after").arg(mains).arg(mainsAfter)));
    QVERIFY2(thirdAfter > third / 2,
             qPrintable(QString("150 Hz: %1 before, %2 after").arg(third).arg(thirdAfter)));
    QCOMPARE(pages.batches.last().size(), 50);
    QCOMPARE(pages.rates.last(), 1000);
    QVERIFY2(std::abs(mean(pages.batches, switchedAt + 40) - 50000.0) < 10.0,
             qPrintable(QString::number(mean(pages.batches, switchedAt + 40))));
}

MAG_TEST_MAIN_CORE(TestScalarStreamInstrument)
#include "tst_scalarstream_instrument.moc"
