// The hub's wiring, one row per connection it makes: a signal goes in at one end
// and the row sees it arrive at the other, with the real workers in their own
// threads and a pseudo-terminal where the transport needs a port. A row fails
// when its connection is missing. Worker signals are emitted in the worker's own
// thread, so that each one crosses to its receiver as it does in the program.

#include "app/Logger.h"
#include "app/ParamManager.h"
#include "app/RuntimePaths.h"
#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "device/ModbusManager.h"
#include "device/ModbusWorkThread.h"
#include "device/ScalarStreamDecoder.h"
#include "services/DataCheckerThread.h"
#include "services/SaveFileThread.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/PtyInstrument.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <functional>
#include <memory>

using namespace ModbusTestFrames;

namespace {
constexpr int TimeoutMs = 10000;
// 50 000 nT as the instrument streams it (mHz, 6.99583 Hz per nT).
constexpr double FieldMilliHertz = 349791500.0;

// Runs f in the worker's thread and returns once it has run there, after all
// that was queued to the worker before it.
void inThread(QObject* worker, std::function<void()> f)
{
    QMetaObject::invokeMethod(worker, std::move(f), Qt::BlockingQueuedConnection);
}

void settle(QObject* worker)
{
    inThread(worker, [] {});
}

// How often a worker's own signal has been seen; read in that worker's thread,
// where the spy records it.
int seen(QObject* worker, const QSignalSpy& spy)
{
    int count = 0;
    inThread(worker, [&] { count = spy.count(); });
    return count;
}

QString logText()
{
    QFile file(Logger::instance()->currentFilePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString eventLogText()
{
    QString text;
    const QDir logs(RuntimePaths::logsDir());
    for (const QString& name : logs.entryList({"MZ_Crash_*.dmp"}, QDir::Files)) {
        QFile file(logs.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

// A fresh hub with its workers; the pseudo-terminal only where a row asks for it.
class Wiring
{
public:
    ModbusManager* transport() const { return hub.getModbusManager(); }
    ModbusWorkThread* scheduler() const { return hub.getModbusWorkThread(); }
    ModbusDataHandler* decoder() const { return hub.getModbusDataHandler(); }
    SaveFileThread* recorder() const { return hub.getSaveFileThread(); }
    DataCheckerThread* watchdog() const { return hub.getDataCheckerThread(); }
    // Lives in the decoder's thread: read it there.
    ScalarStreamDecoder* stream() const { return decoder()->findChild<ScalarStreamDecoder*>(); }

    PtyInstrument& pty()
    {
        if (!m_pty)
            m_pty = std::make_unique<PtyInstrument>();
        return *m_pty;
    }

    // Opens the transport on the pseudo-terminal by its own slot, not through
    // the scheduler; true once it is open.
    bool openPort()
    {
        QSignalSpy opened(transport(), &ModbusManager::sig_connected);
        const QString device = pty().device;
        ModbusManager* const t = transport();
        inThread(t, [t, device] { t->slots_connectDevice(device, 921600); });
        return opened.count() == 1;
    }

    // Stream samples in, as the replay hands them to the decoder.
    void feed(int samples)
    {
        ModbusDataHandler* const d = decoder();
        inThread(d,
                 [d, samples] { d->slots_revMockData(QVector<double>(samples, FieldMilliHertz)); });
    }

    template <typename T> T fromStream(std::function<T(ScalarStreamDecoder*)> read)
    {
        T value{};
        ScalarStreamDecoder* const s = stream();
        inThread(decoder(), [&] { value = read(s); });
        return value;
    }

private:
    std::unique_ptr<PtyInstrument> m_pty; // first: the hub closes its port before it goes

public:
    ParamManager hub;
};

struct Row
{
    std::function<void(Wiring&)> run;
};

// The light shows 4 (the stream runs) for as long as it lives.
struct Streaming
{
    Streaming() { SharedState::instance().setLightStatus(4); }
    ~Streaming() { SharedState::instance().setLightStatus(0); }
};

using Args = QList<QVariant>;

// A worker's signal, emitted in its thread, comes out of the hub under the same
// name (or the hub's slot re-emits it), and `check` accepts what it carries.
template <typename HubSignal>
void relayRow(const char* name, std::function<QObject*(Wiring&)> worker,
              std::function<void(Wiring&)> emitIt, HubSignal hubSignal,
              std::function<bool(Wiring&, const Args&)> check)
{
    QTest::newRow(name) << Row{[=](Wiring& w) {
        QSignalSpy relayed(&w.hub, hubSignal);
        inThread(worker(w), [&] { emitIt(w); });
        QTRY_COMPARE_WITH_TIMEOUT(relayed.count(), 1, TimeoutMs);
        QVERIFY(check(w, relayed.first()));
    }};
}

// A poll of the scheduler starts and stops on the hub's signals.
void pollRows(const QString& poll, void (ParamManager::*start)(), void (ParamManager::*stop)(),
              void (ModbusWorkThread::*startPoll)(), bool (ModbusWorkThread::*active)() const)
{
    QTest::newRow(qPrintable(poll + " poll start -> scheduler")) << Row{[=](Wiring& w) {
        emit(w.hub.*start)();
        QVERIFY((w.scheduler()->*active)());
    }};
    QTest::newRow(qPrintable(poll + " poll stop -> scheduler")) << Row{[=](Wiring& w) {
        (w.scheduler()->*startPoll)();
        emit(w.hub.*stop)();
        QVERIFY(!(w.scheduler()->*active)());
    }};
}

QObject* transportOf(Wiring& w)
{
    return w.transport();
}
QObject* decoderOf(Wiring& w)
{
    return w.decoder();
}
QObject* recorderOf(Wiring& w)
{
    return w.recorder();
}
} // namespace
Q_DECLARE_METATYPE(Row)

class TestHubWiring : public QObject
{
    Q_OBJECT
private slots:
    void wiring_data();
    void wiring();
};

void TestHubWiring::wiring_data()
{
    QTest::addColumn<Row>("row");
    using P = ParamManager;

    // ---- scheduler -> transport
    QTest::newRow("scheduler connect -> transport opens the port") << Row{[](Wiring& w) {
        QSignalSpy opened(w.transport(), &ModbusManager::sig_connected);
        emit w.scheduler()->sig_connectDevice(w.pty().device, 921600);
        settle(w.transport());
        QCOMPARE(opened.count(), 1);
    }};
    QTest::newRow("scheduler disconnect -> transport closes the port") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        emit w.scheduler()->sig_disConnectDevice();
        const int logBefore = logText().size();
        ModbusManager* const t = w.transport();
        inThread(t, [t] { t->slots_readData(Addr40118Status, readRequest(40118, 1).toHex()); });
        QVERIFY(logText().mid(logBefore).contains("serialPort is not open"));
    }};
    QTest::newRow("scheduler register read -> transport's client") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        emit w.scheduler()->sig_readModbus(40118, 1);
        QVERIFY(w.pty().readUntil(readRequest(40118, 1)));
    }};
    QTest::newRow("scheduler register write -> transport's client") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        emit w.scheduler()->sig_writeModbus(40119, 2);
        QVERIFY(w.pty().readUntil(writeRegister(40119, 2)));
    }};
    QTest::newRow("scheduler client raw frame -> transport") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        emit w.scheduler()->sig_readModbusData(streamRequest(0x06, 100).toHex());
        QVERIFY(w.pty().readUntil(streamRequest(0x06, 100)));
    }};
    QTest::newRow("scheduler request -> transport writes it") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        emit w.scheduler()->sig_readData(Addr40118Status, readRequest(40118, 1).toHex());
        QVERIFY(w.pty().readUntil(readRequest(40118, 1)));
    }};

    // ---- hub -> transport
    QTest::newRow("rate -> transport cuts frames of its length") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        QSignalSpy frames(w.transport(), &ModbusManager::sig_readDataFinished);
        emit w.hub.sig_syncDataByteCount(20, true);
        ModbusManager* const t = w.transport();
        inThread(t, [t] { t->slots_readData(AddrStartStream, streamRequest(0x04, 2).toHex()); });
        QVERIFY(w.pty().readUntil(streamRequest(0x04, 2)));
        const QByteArray frame20Hz = streamFrame({quint32(FieldMilliHertz)});
        w.pty().write(frame20Hz + frame20Hz + frame20Hz); // less than one 1000 Hz frame
        QTRY_COMPARE_WITH_TIMEOUT(seen(t, frames), 3, TimeoutMs);
        QCOMPARE(frames.first().at(1).toByteArray(), frame20Hz);
    }};
    QTest::newRow("upgrade data -> transport writes it") << Row{[](Wiring& w) {
        QVERIFY(w.openPort());
        QByteArray data(3000, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i % 251);
        emit w.hub.sig_sendUpgradeData(data);
        QVERIFY(w.pty().readUntil(data));
    }};

    // ---- transport -> hub
    relayRow(
        "transport connected -> hub", transportOf,
        [](Wiring& w) { emit w.transport()->sig_connected(); }, &P::sig_connected,
        [](Wiring&, const Args&) { return true; });
    relayRow(
        "transport disconnect -> hub", transportOf,
        [](Wiring& w) { emit w.transport()->sig_disconnect(); }, &P::sig_disconnect,
        [](Wiring&, const Args&) { return true; });
    relayRow(
        "transport open failed -> hub", transportOf,
        [](Wiring& w) { emit w.transport()->sig_connectFailed("COM77", "no such port"); },
        &P::sig_connectFailed,
        [](Wiring&, const Args& a) { return a.at(0) == "COM77" && a.at(1) == "no such port"; });

    // ---- hub -> scheduler (it lives in this thread: the slots run at once)
    pollRows("status", &P::sig_devStatusWorkerStart, &P::sig_devStatusWorkerStop,
             &ModbusWorkThread::slots_devStatusWorkerStart, &ModbusWorkThread::isStatusPollActive);
    pollRows("parameter", &P::sig_paramWorkerStart, &P::sig_paramWorkerStop,
             &ModbusWorkThread::slots_paramWorkerStart, &ModbusWorkThread::isParamPollActive);
    // The DDS poll's slots do nothing: only the connection itself can be seen.
    QTest::newRow("DDS poll start -> scheduler") << Row{[](Wiring& w) {
        QVERIFY(QObject::disconnect(&w.hub, &P::sig_ddsWorkerStart, w.scheduler(),
                                    &ModbusWorkThread::slots_ddsWorkerStart));
    }};
    QTest::newRow("DDS poll stop -> scheduler") << Row{[](Wiring& w) {
        QVERIFY(QObject::disconnect(&w.hub, &P::sig_ddsWorkerStop, w.scheduler(),
                                    &ModbusWorkThread::slots_ddsWorkerStop));
    }};
    QTest::newRow("request -> scheduler sends its frame") << Row{[](Wiring& w) {
        QSignalSpy sent(w.scheduler(), &ModbusWorkThread::sig_readData);
        emit w.hub.sig_sendModbusData(Addr40118Status);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.first().at(0).value<ModbusAddr>(), Addr40118Status);
        QCOMPARE(QByteArray::fromHex(sent.first().at(1).toByteArray()), readRequest(40118, 1));
    }};
    QTest::newRow("page's own frame -> scheduler") << Row{[](Wiring& w) {
        QSignalSpy sent(w.scheduler(), &ModbusWorkThread::sig_readData);
        emit w.hub.sig_sendCustomModbusData(writeRegisters(40086, {20}));
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.first().at(0).value<ModbusAddr>(), AddrCustom);
        QCOMPARE(sent.first().at(1).toByteArray(), writeRegisters(40086, {20}));
    }};
    QTest::newRow("rate -> scheduler's stream start") << Row{[](Wiring& w) {
        emit w.hub.sig_syncDataByteCount(20, true);
        QCOMPARE(QByteArray::fromHex(w.scheduler()->requestText(AddrStartStream).toLatin1()),
                 streamRequest(0x04, 2));
    }};

    // ---- hub -> decoder
    QTest::newRow("reset -> decoder forgets the last batch") << Row{[](Wiring& w) {
        w.feed(50);
        const auto lastForm = [](ScalarStreamDecoder* s) { return s->lastForm().size(); };
        QCOMPARE(w.fromStream<int>(lastForm), 50);
        emit w.hub.sig_reboot();
        QCOMPARE(w.fromStream<int>(lastForm), 0);
    }};
    QTest::newRow("stream start -> decoder starts its filters afresh") << Row{[](Wiring& w) {
        ModbusDataHandler* const d = w.decoder();
        inThread(d, [d] { d->slots_setFilterEnabled(true); });
        w.feed(1000);
        const auto buffered = [](ScalarStreamDecoder* s) { return s->filterBufferSize(); };
        QCOMPARE(w.fromStream<int>(buffered), 1000);
        emit w.hub.sig_sendModbusData(AddrStartStream);
        QCOMPARE(w.fromStream<int>(buffered), 0);
    }};
    QTest::newRow("processing parameters -> decoder") << Row{[](Wiring& w) {
        DataParam param;
        param.lowPass = 3;
        param.fftTime = 7;
        emit w.hub.sig_syncDataParam(param);
        const DataParam got =
            w.fromStream<DataParam>([](ScalarStreamDecoder* s) { return s->dataParam(); });
        QCOMPARE(got.lowPass, 3);
        QCOMPARE(got.fftTime, 7);
    }};
    QTest::newRow("rate -> decoder's frame length") << Row{[](Wiring& w) {
        emit w.hub.sig_syncDataByteCount(20, true);
        QCOMPARE(w.fromStream<int>([](ScalarStreamDecoder* s) { return s->frameLength(); }), 13);
    }};
    QTest::newRow("one hertz -> decoder averages each second") << Row{[](Wiring& w) {
        QSignalSpy batches(w.decoder(), &ModbusDataHandler::sig_updateForm);
        emit w.hub.sig_setOneHz(true);
        w.feed(1000);
        QCOMPARE(batches.count(), 1);
        QCOMPARE(batches.first().at(1).value<FrequencyType>(), Freq1Hz);
    }};
    QTest::newRow("filter switch -> decoder gathers for its notch chain") << Row{[](Wiring& w) {
        emit w.hub.sig_setFilterEnabled(true);
        w.feed(1000);
        QCOMPARE(w.fromStream<int>([](ScalarStreamDecoder* s) { return s->filterBufferSize(); }),
                 1000);
    }};
    QTest::newRow("spectrum shown -> decoder computes spectra") << Row{[](Wiring& w) {
        QSignalSpy results(w.decoder(), &ModbusDataHandler::sig_updateFormEx);
        emit w.hub.sig_setSpectrumShown(true);
        w.feed(1000);
        const auto spectra = [&] {
            int n = 0;
            inThread(w.decoder(), [&] {
                for (const Args& a : qAsConst(results))
                    n += !a.at(1).value<QVector<double>>().isEmpty();
            });
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(spectra(), 1, TimeoutMs);
    }};
    QTest::newRow("transport reply -> decoder") << Row{[](Wiring& w) {
        QSignalSpy status(w.decoder(), &ModbusDataHandler::sig_updateProgress);
        ModbusManager* const t = w.transport();
        inThread(t, [t] { emit t->sig_readDataFinished(Addr40118Status, readReply({3})); });
        QTRY_COMPARE_WITH_TIMEOUT(seen(w.decoder(), status), 1, TimeoutMs);
        QCOMPARE(status.first().at(0).toInt(), 3);
    }};

    // ---- decoder -> hub
    relayRow(
        "decoder status -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_updateProgress(3); }, &P::sig_updateProgress,
        [](Wiring&, const Args& a) { return a.at(0).toInt() == 3; });
    relayRow(
        "decoder stream status -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_updateProgressEx(4); }, &P::sig_updateProgressEx,
        [](Wiring&, const Args& a) { return a.at(0).toInt() == 4; });
    relayRow(
        "decoder serial number -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_updateSerialNumber("24060117"); },
        &P::sig_updateSerialNumber,
        [](Wiring&, const Args& a) { return a.at(0).toString() == "24060117"; });
    relayRow(
        "decoder stream restart -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_sendModbusData(AddrStopStream); },
        &P::sig_sendModbusData,
        [](Wiring&, const Args& a) { return a.at(0).value<ModbusAddr>() == AddrStopStream; });
    relayRow(
        "decoder batch -> hub", decoderOf,
        [](Wiring& w) {
            emit w.decoder()->sig_updateForm({1.5, 2.5}, Freq20Hz);
        },
        &P::sig_updateForm,
        [](Wiring&, const Args& a) {
            return a.at(0).value<QVector<double>>() == QVector<double>{1.5, 2.5} &&
                   a.at(1).value<FrequencyType>() == Freq20Hz;
        });
    relayRow(
        "decoder measured field -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_measuredField({50000.0}, Freq1000Hz); },
        &P::sig_measuredField,
        [](Wiring&, const Args& a) {
            return a.at(0).value<QVector<double>>() == QVector<double>{50000.0} &&
                   a.at(1).value<FrequencyType>() == Freq1000Hz;
        });
    relayRow(
        "decoder filter change -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_filterSettingsChanged(); },
        &P::sig_filterSettingsChanged, [](Wiring&, const Args&) { return true; });
    relayRow(
        "decoder vector form -> hub", decoderOf,
        [](Wiring& w) {
            FIDVectorData data;
            data.s = {50000.0};
            emit w.decoder()->sig_updateVectorForm(data);
        },
        &P::sig_updateVectorForm,
        [](Wiring&, const Args& a) {
            return a.at(0).value<FIDVectorData>().s == QVector<double>{50000.0};
        });
    relayRow(
        "decoder batch and spectrum -> hub", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_updateFormEx({1.0}, {2.0}, {3.0}); },
        &P::sig_updateFormEx,
        [](Wiring&, const Args& a) {
            return a.at(0).value<QVector<double>>() == QVector<double>{1.0} &&
                   a.at(2).value<QVector<double>>() == QVector<double>{3.0};
        });
    relayRow(
        "decoder parameter block -> hub", decoderOf,
        [](Wiring& w) {
            RefreshData data;
            data.vcsel = 1.25;
            emit w.decoder()->sig_updateFormParam(data);
        },
        &P::sig_updateFormParam,
        [](Wiring&, const Args& a) { return a.at(0).value<RefreshData>().vcsel == 1.25; });
    relayRow(
        "decoder sweep block -> hub", decoderOf,
        [](Wiring& w) {
            RefreshDataEx data;
            data.fsStart = 7;
            emit w.decoder()->sig_updateFormParamEx(data);
        },
        &P::sig_updateFormParamEx,
        [](Wiring&, const Args& a) { return a.at(0).value<RefreshDataEx>().fsStart == 7u; });
    relayRow(
        "decoder rate -> hub stores it, then tells the pages", decoderOf,
        [](Wiring& w) { emit w.decoder()->sig_updateSamplingRate(20); }, &P::sig_updateSamplingRate,
        [](Wiring& w, const Args& a) { return a.at(0).toInt() == 20 && w.hub.samplingRate == 20; });
    relayRow(
        "decoder event-log line -> hub", decoderOf,
        [](Wiring& w) {
            emit w.decoder()->sig_saveCrashLog(1700000000, "wiring: from the decoder");
        },
        &P::sig_saveCrashLog,
        [](Wiring&, const Args& a) {
            return a.at(0).toLongLong() == 1700000000 && a.at(1) == "wiring: from the decoder";
        });

    // ---- hub and decoder -> recorder
    QTest::newRow("save settings -> recorder counts the recording down") << Row{[](Wiring& w) {
        QVERIFY(QDir().mkpath("wiring"));
        QSignalSpy finished(w.recorder(), &SaveFileThread::sig_saveFinished);
        w.hub.setSaveParam(true, 1, QDir::current().filePath("wiring/20260101_000000.CSV"), false);
        SaveFileThread* const r = w.recorder();
        inThread(r, [r] {
            r->saveCSVData(QVector<double>(20, 50000.0), 20, QDateTime::currentDateTimeUtc());
        });
        QCOMPARE(finished.count(), 1); // one second of a one-second recording
    }};
    QTest::newRow("second of samples -> recorder") << Row{[](Wiring& w) {
        QSignalSpy batches(w.recorder(), &SaveFileThread::sig_SendServerData);
        emit w.hub.sig_saveCSVData(QVector<double>(20, 50000.0), 20,
                                   QDateTime::currentDateTimeUtc());
        settle(w.recorder());
        QCOMPARE(batches.count(), 1);
        QCOMPARE(batches.first().at(2).toInt(), 20);
    }};
    QTest::newRow("event-log line -> recorder") << Row{[](Wiring& w) {
        const QString line = QStringLiteral("wiring: from a page");
        emit w.hub.sig_saveCrashLog(QDateTime::currentSecsSinceEpoch(), line);
        settle(w.recorder());
        QVERIFY(eventLogText().contains(line));
    }};
    QTest::newRow("decoder test values -> recorder") << Row{[](Wiring& w) {
        const QDir folder(RuntimePaths::appDir() + "/file");
        QVERIFY(folder.mkpath("."));
        for (const QString& name : folder.entryList({"B9*.CSV"}))
            QVERIFY(QFile::remove(folder.filePath(name)));
        ModbusDataHandler* const d = w.decoder();
        inThread(d, [d] { emit d->sig_saveVectorB9orB12CSV(QVector<double>(9, 1.0)); });
        settle(w.recorder());
        QCOMPARE(folder.entryList({"B9*.CSV"}).size(), 1);
    }};
    QTest::newRow("decoder vector records -> recorder") << Row{[](Wiring& w) {
        QSignalSpy batches(w.recorder(), &SaveFileThread::sig_SendServerVectorData);
        ModbusDataHandler* const d = w.decoder();
        inThread(d, [d] {
            FIDVectorNum record;
            record.s = 50000.0;
            for (int i = 0; i < SaveFileThread::VectorBatch; ++i)
                emit d->sig_saveVectorXYZS(record, QDateTime::currentDateTimeUtc());
        });
        settle(w.recorder());
        QCOMPARE(batches.count(), 1);
        QCOMPARE(batches.first().at(1).value<QVector<XYZST>>().size(), SaveFileThread::VectorBatch);
    }};

    // ---- recorder -> hub
    relayRow(
        "recording end -> hub stops saving", recorderOf,
        [](Wiring& w) {
            w.hub.setSaveParam(true, 0, QString(), false);
            emit w.recorder()->sig_saveFinished();
        },
        &P::sig_saveFinished, [](Wiring& w, const Args&) { return !w.hub.isSaving(); });

    // ---- hub -> watchdog
    QTest::newRow("measured field -> watchdog") << Row{[](Wiring& w) {
        Streaming streaming;
        emit w.hub.sig_measuredField({50000.0}, Freq20Hz);
        int entries = -1;
        DataCheckerThread* const dog = w.watchdog();
        inThread(dog, [&] { entries = dog->window().size(); });
        QCOMPARE(entries, 1);
    }};
    QTest::newRow("stream stop -> watchdog forgets its values") << Row{[](Wiring& w) {
        Streaming streaming;
        DataCheckerThread* const dog = w.watchdog();
        int entries = -1;
        inThread(dog, [&] {
            dog->slot_DataCheck({50000.0}, Freq20Hz);
            entries = dog->window().size();
        });
        QCOMPARE(entries, 1);
        emit w.hub.sig_sendModbusData(AddrStopStream);
        inThread(dog, [&] { entries = dog->window().size(); });
        QCOMPARE(entries, 0);
    }};
}

void TestHubWiring::wiring()
{
    QFETCH(Row, row);
    Wiring w;
    row.run(w);
}

MAG_TEST_MAIN_CORE(TestHubWiring)
#include "tst_hubwiring.moc"
