#include "app/Logger.h"
#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "device/ModbusWorkThread.h"
#include "device/SerialPortNames.h"
#include "services/DataCheckerThread.h"
#include "tests/support/FidTestFrames.h"
#include "tests/support/TestMain.h"
#include "ui/widgets/MyDoubleValidator.h"
#include "ui/widgets/MyIntValidator.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>

namespace {
QString logText()
{
    QFile file(Logger::instance()->currentFilePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

class TestParamManager : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void startsWithDefaults();
    void watchdogGetsTheMeasuredField();
    void watchdogJudgesTheFieldBeforeTheCutOffs_data();
    void watchdogJudgesTheFieldBeforeTheCutOffs();
    void watchdogGetsTheVectorRoad();
    void saveCrashLogStamps_data();
    void saveCrashLogStamps();
    void saveParamIsSetBeforeItTravels();
    void rebootClearsLinkFlags();
    void samplingRateSlot();
    void portNamesReversed();
    void textFiles();
    void initDefaultsRestoresOnlyItsFields();

private:
    ParamManager* hub()
    {
        if (!m_hub)
            m_hub.reset(new ParamManager);
        return m_hub.data();
    }
    QScopedPointer<ParamManager> m_hub;
};

void TestParamManager::cleanup()
{
    m_hub.reset();
}

void TestParamManager::startsWithDefaults()
{
    ParamManager* h = hub();
    QCOMPARE(h->iniPath, QString("config.ini"));
    QCOMPARE(h->xAxisUpper, 150);
    QCOMPARE(h->yAxisLower, 1e-5);
    QCOMPARE(h->yAxisUpper, 1.0);
    QCOMPARE(h->bandWidth, 15);
    QCOMPARE(h->baudRate, 921600);
    QCOMPARE(h->samplingRate, 1000);
    QCOMPARE(h->isFSMode, 0);
    QCOMPARE(h->isServer, 0);
    QCOMPARE(h->isExistGPS, 0);
    QCOMPARE(h->m_GPSCom, QString("Com4"));
    QVERIFY(!h->isSaving());
    QVERIFY(h->getSavePath().isEmpty());
    QVERIFY(!h->isDeviceReady());
    QVERIFY(!h->isPaused());
    QVERIFY(!h->isStreamStarted());
    QVERIFY(h->portNames().isEmpty());
    const DataParam p = h->dataParam();
    QCOMPARE(p.lowPass, 0);
    QCOMPARE(p.highPass, 0);
    QCOMPARE(p.dataRate, 0.001);
    QCOMPARE(p.chartTime, 10);
    QCOMPARE(p.fftTime, 10);
    QVERIFY(h->getIntValidator());
    QVERIFY(h->getDoubleValidator());
    QCOMPARE(h->getIntValidator()->parent(), h);
    QCOMPARE(h->getDoubleValidator()->parent(), h);
    // The instrument link exists from the start; the replay and the port list on demand.
    QVERIFY(h->getModbusManager());
    QVERIFY(h->getModbusDataHandler());
    QVERIFY(h->getModbusWorkThread());
    QCOMPARE(h->getModbusWorkThread()->parent(), h);
    QVERIFY(!h->getMockDataThread());
    QVERIFY(!h->getComPortThread());
}

// The watchdog is always made, runs in a thread of its own and gets every batch
// of the measured field the hub relays, once; the pages' filtered batches do not
// reach it.
void TestParamManager::watchdogGetsTheMeasuredField()
{
    ParamManager* h = hub();
    DataCheckerThread* watchdog = h->getDataCheckerThread();
    QVERIFY(watchdog);
    QVERIFY(!watchdog->parent());
    QVERIFY(watchdog->thread() != QThread::currentThread());
    SharedState::instance().setLightStatus(4);
    const auto restore = qScopeGuard([] { SharedState::instance().setLightStatus(0); });
    QSignalSpy messages(watchdog, &DataCheckerThread::sig_dataCheckMsg);
    const auto allSeen = [watchdog] {
        QMetaObject::invokeMethod(
            watchdog, [] {}, Qt::BlockingQueuedConnection);
    };
    // What a high-pass makes of a healthy field.
    for (int i = 0; i < 10; ++i)
        emit h->sig_updateForm({5.0}, Freq20Hz);
    allSeen();
    QCOMPARE(messages.count(), 0);

    for (int i = 0; i < 10; ++i)
        emit h->sig_measuredField({95000.0}, Freq20Hz);
    QVERIFY(messages.wait(5000));
    allSeen();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().at(0).toString(), DataCheckerThread::lockLossText());
}

void TestParamManager::watchdogJudgesTheFieldBeforeTheCutOffs_data()
{
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");
    QTest::addColumn<double>("slope"); // nT/s
    QTest::addColumn<bool>("lockLoss");
    // A field drifting at 0.2 nT/s under +-0.5 nT of noise: a low-pass of 1 Hz
    // leaves the drift alone, a steady rise.
    QTest::newRow("healthy, high-pass 1") << 0 << 1 << 0.2 << false;
    QTest::newRow("healthy, low-pass 1") << 1 << 0 << 0.2 << false;
    QTest::newRow("runaway, high-pass 1") << 0 << 1 << 50.0 << true;
}

// Through the decoder's thread: seven seconds of a 1000 Hz stream with a cut-off
// set as the bottom bar sets it. The pages get the filtered values; the watchdog
// judges the field.
void TestParamManager::watchdogJudgesTheFieldBeforeTheCutOffs()
{
    QFETCH(int, lowPass);
    QFETCH(int, highPass);
    QFETCH(double, slope);
    QFETCH(bool, lockLoss);

    ParamManager* h = hub();
    DataCheckerThread* watchdog = h->getDataCheckerThread();
    SharedState::instance().setLightStatus(4);
    const auto restore = qScopeGuard([] { SharedState::instance().setLightStatus(0); });
    QSignalSpy messages(watchdog, &DataCheckerThread::sig_dataCheckMsg);
    QSignalSpy measured(h, &ParamManager::sig_measuredField);
    QSignalSpy shown(h, &ParamManager::sig_updateForm);

    DataParam param = h->dataParam();
    param.lowPass = lowPass;
    param.highPass = highPass;
    h->setDataParam(param);
    emit h->sig_syncDataParam(param);

    ModbusDataHandler* decoder = h->getModbusDataHandler();
    const double mHzPerNT = 6995.83;
    quint32 state = 7;
    const int batches = 140;
    for (int b = 0; b < batches; ++b) {
        QVector<double> batch(50);
        for (int i = 0; i < 50; ++i) {
            state = state * 1664525u + 1013904223u;
            const double t = (b * 50 + i) / 1000.0;
            const double noise = (state >> 8) / double(1 << 24) - 0.5; // +-0.5 nT
            batch[i] = (50000.0 + slope * t + noise) * mHzPerNT;
        }
        QMetaObject::invokeMethod(
            decoder, [decoder, batch] { decoder->slots_revMockData(batch); }, Qt::QueuedConnection);
    }
    // Every batch decoded, relayed by the hub and judged.
    QMetaObject::invokeMethod(
        decoder, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents();
    QMetaObject::invokeMethod(
        watchdog, [] {}, Qt::BlockingQueuedConnection);
    QCOMPARE(measured.count(), batches);
    QVERIFY(shown.count() >= 60); // the rest is the filter's lookahead

    // The pages' values are filtered: a high-pass leaves next to nothing.
    const double lastShown = shown.last().at(0).value<QVector<double>>().last();
    if (highPass > 0)
        QVERIFY2(std::abs(lastShown) < 100.0, qPrintable(QString::number(lastShown)));
    if (lockLoss) {
        QVERIFY(!messages.isEmpty());
        for (const QList<QVariant>& m : messages)
            QCOMPARE(m.at(0).toString(), DataCheckerThread::lockLossText());
    } else {
        QCOMPARE(messages.count(), 0);
    }
}

// The vector road's totals are the field as measured too: each 111 Hz batch of a
// vector frame reaches the watchdog through the decoder's thread, and a field far
// outside the geomagnetic range on that road alone raises the lock-loss text.
void TestParamManager::watchdogGetsTheVectorRoad()
{
    ParamManager* h = hub();
    DataCheckerThread* watchdog = h->getDataCheckerThread();
    SharedState::instance().setLightStatus(4);
    const auto restore = qScopeGuard([] { SharedState::instance().setLightStatus(0); });
    QSignalSpy messages(watchdog, &DataCheckerThread::sig_dataCheckMsg);

    // Four records a frame, each 95 000 nT along a slowly turning direction.
    const double field = 95000.0;
    const int frames = DataCheckerThread::RangeRun + 2;
    ModbusDataHandler* decoder = h->getModbusDataHandler();
    for (int n = 0; n < frames; ++n) {
        QVector<double> hz;
        for (int r = 0; r < 4; ++r) {
            const double phi = 0.01 * (4 * n + r);
            hz += FidTestFrames::biasedFrequencies(
                field * 0.5 * std::cos(phi), field * 0.5 * std::sin(phi), field * std::sqrt(0.75));
        }
        const QByteArray frame = FidTestFrames::vectorFrame(hz);
        QMetaObject::invokeMethod(
            decoder, [decoder, frame] { decoder->slots_readDataFinished(AddrVectorFid, frame); },
            Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        decoder, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents();
    // One entry per batch (its first value: a batch holds fewer than 111).
    QVector<DataCheckSample> seen;
    QMetaObject::invokeMethod(
        watchdog, [watchdog, &seen] { seen = watchdog->window(); }, Qt::BlockingQueuedConnection);
    QCOMPARE(seen.size(), frames);
    for (const DataCheckSample& s : seen)
        QVERIFY2(std::abs(s.value - field) < 0.01, qPrintable(QString::number(s.value, 'f', 3)));
    QTRY_VERIFY(!messages.isEmpty());
    QCOMPARE(messages.first().at(0).toString(), DataCheckerThread::lockLossText());
}

void TestParamManager::saveCrashLogStamps_data()
{
    QTest::addColumn<qint64>("given");
    QTest::newRow("no time: now") << qint64(0);
    QTest::newRow("given time") << qint64(1700000000);
}

void TestParamManager::saveCrashLogStamps()
{
    QFETCH(qint64, given);
    QSignalSpy spy(hub(), &ParamManager::sig_saveCrashLog);
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    hub()->saveCrashLog(QStringLiteral("status 2"), given);
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(spy.count(), 1);
    const qint64 stamp = spy.at(0).at(0).toLongLong();
    if (given)
        QCOMPARE(stamp, given);
    else
        QVERIFY(stamp >= before && stamp <= after);
    QCOMPARE(spy.at(0).at(1).toString(), QString("status 2"));
}

void TestParamManager::saveParamIsSetBeforeItTravels()
{
    ParamManager* h = hub();
    bool savingSeen = false;
    QString pathSeen;
    connect(h, &ParamManager::sig_syncSaveParam, this, [&](bool, int, QString, bool) {
        savingSeen = h->isSaving();
        pathSeen = h->getSavePath();
    });
    QSignalSpy spy(h, &ParamManager::sig_syncSaveParam);
    h->setSaveParam(true, 3600, QStringLiteral("file/20261209_120000.CSV"), false);
    QVERIFY(savingSeen);
    QCOMPARE(pathSeen, QString("file/20261209_120000.CSV"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toInt(), 3600);
    QCOMPARE(spy.at(0).at(3).toBool(), false);

    h->clearSaving();
    QVERIFY(!h->isSaving());
    QCOMPARE(h->getSavePath(), QString("file/20261209_120000.CSV"));
}

void TestParamManager::rebootClearsLinkFlags()
{
    ParamManager* h = hub();
    h->setDeviceReady(true);
    h->setStreamStarted(true);
    h->setPaused(true);
    QSignalSpy reboot(h, &ParamManager::sig_reboot);
    h->rebootDevice();
    QCOMPARE(reboot.count(), 1);
    QVERIFY(!h->isDeviceReady());
    QVERIFY(!h->isStreamStarted());
    QVERIFY(h->isPaused());
}

void TestParamManager::samplingRateSlot()
{
    QSignalSpy spy(hub(), &ParamManager::sig_updateSamplingRate);
    hub()->slots_updateSamplingRate(20);
    QCOMPARE(hub()->samplingRate, 20);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 20);
}

void TestParamManager::portNamesReversed()
{
    QTemporaryDir ports;
    QFile target(ports.filePath("pty"));
    QVERIFY(target.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(target.fileName(), ports.filePath("COM1")));
    QVERIFY(QFile::link(target.fileName(), ports.filePath("COM2")));
    qputenv("MAG_PORT_DIR", ports.path().toUtf8());
    const QStringList names = SerialPortNames::available();
    const QStringList reversed = hub()->availablePortNames();
    qunsetenv("MAG_PORT_DIR");

    QVERIFY(names.indexOf("COM1") < names.indexOf("COM2"));
    QCOMPARE(reversed.size(), names.size());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(reversed.at(i), names.at(names.size() - 1 - i));
    QVERIFY(reversed.indexOf("COM2") < reversed.indexOf("COM1"));
}

void TestParamManager::textFiles()
{
    ParamManager* h = hub();
    const QString comments = QStringLiteral("comments.txt");
    h->writeTextFile(comments, QString::fromUtf8("探头 A\n"));
    h->writeTextFile(comments, QStringLiteral("second\n"));
    QFile file(comments);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), QString::fromUtf8("探头 A\nsecond\n"));
    file.close();

    h->appendTextLine(QStringLiteral("frames.txt"), QByteArray::fromHex("01069c"));
    QFile frames(QStringLiteral("frames.txt"));
    QVERIFY(frames.open(QIODevice::ReadOnly));
    QVERIFY(QRegularExpression(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] 01 06 9c\n$)")
                .match(QString::fromLatin1(frames.readAll()))
                .hasMatch());

    QFile numbers(QStringLiteral("numbers.txt"));
    QVERIFY(numbers.open(QIODevice::WriteOnly));
    numbers.write(" 1.5 \n\nabc\n-2\n");
    numbers.close();
    QCOMPARE(h->readTextFile(numbers.fileName()), (QVector<double>{1.5, 0, -2}));

    // Failures go to the log and leave nothing behind.
    h->writeTextFile(QStringLiteral("missing/dir/c.txt"), QStringLiteral("x"));
    h->appendTextLine(QStringLiteral("missing/dir/f.txt"), "x");
    QVERIFY(h->readTextFile(QStringLiteral("missing/n.txt")).isEmpty());
    const QString log = logText();
    QCOMPARE(log.count("Failed to open file for writing:"), 2);
    QCOMPARE(log.count("Failed to open file:"), 1);
    QVERIFY(!QFileInfo::exists("missing"));
}

void TestParamManager::initDefaultsRestoresOnlyItsFields()
{
    ParamManager* h = hub();
    h->iniPath = "other.ini";
    h->xAxisUpper = 1;
    h->bandWidth = 2;
    h->isFSMode = 1;
    h->yAxisLower = 0.5;
    h->yAxisUpper = 9;
    h->baudRate = 115200;
    h->samplingRate = 20;
    h->isChinese = 1;
    h->initDefaults();
    QCOMPARE(h->iniPath, QString("config.ini"));
    QCOMPARE(h->xAxisUpper, 150);
    QCOMPARE(h->bandWidth, 15);
    QCOMPARE(h->isFSMode, 0);
    QCOMPARE(h->yAxisLower, 1e-5);
    QCOMPARE(h->yAxisUpper, 1.0);
    QCOMPARE(h->baudRate, 921600);
    QCOMPARE(h->samplingRate, 1000);
    QCOMPARE(h->isChinese, 1);
}

MAG_TEST_MAIN_CORE(TestParamManager)
#include "tst_parammanager.moc"
