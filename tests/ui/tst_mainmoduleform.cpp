// The main page on its own: the hub is real, no port is opened.

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/ModbusWorkThread.h"
#include "tests/support/OperatorInput.h"
#include "tests/support/SampleBatches.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <qcustomplot.h>

namespace {
QList<int> requestsOf(const QSignalSpy& spy)
{
    QList<int> requests;
    for (const QList<QVariant>& call : spy)
        requests << call.at(0).value<ModbusAddr>();
    return requests;
}

QStringList crashLogTexts(const QSignalSpy& spy)
{
    QStringList texts;
    for (const QList<QVariant>& call : spy)
        texts << call.at(1).toString();
    return texts;
}

QMessageBox* openInfoBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

void closeInfoBoxes()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget))
            box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct Page
{
    ParamManager hub;
    MainModuleForm page{&hub};
    QTimer* refresh = page.findChild<QTimer*>(QStringLiteral("refreshTimer"));
    QCustomPlot* plot = page.findChild<QCustomPlot*>(QStringLiteral("mainChart"));

    Page()
    {
        refresh->stop(); // the test runs the ticks itself
        page.resize(1200, 500);
    }
    template <typename T> T* child(const char* name)
    {
        return page.findChild<T*>(QString::fromLatin1(name));
    }
    QString text(const char* edit) { return child<QLineEdit>(edit)->text(); }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QMetaObject::invokeMethod(refresh, "timeout");
    }
    int points() const { return plot->graph(0)->dataCount(); }
    double firstValue() const { return plot->graph(0)->data()->constBegin()->value; }
    double lastValue() const { return (plot->graph(0)->data()->constEnd() - 1)->value; }
    // The port is shown as chosen, but nothing tries to open it (whose failure
    // would open a box of its own).
    void choosePortWithoutOpening(const QString& name)
    {
        QObject::disconnect(hub.getModbusWorkThread(), &ModbusWorkThread::sig_connectDevice,
                            nullptr, nullptr);
        page.slot_handleActionTriggered(name, QVariant());
    }
    bool setChartTime(const QString& seconds)
    {
        return OperatorInput::typeInto(&page, QStringLiteral("edt_setTime"), seconds);
    }
};
} // namespace

class TestMainModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void chartTimeIsClamped_data();
    void chartTimeIsClamped();
    void valueBarShowsThePlot_data();
    void valueBarShowsThePlot();
    void batchesWaitForTheDevice();
    void plotHeldByThePage_data();
    void plotHeldByThePage();
    void statusSequenceLogs_data();
    void statusSequenceLogs();
    void statusOutsideRangeChangesNothing_data();
    void statusOutsideRangeChangesNothing();
    void linkUpChain();
    void statusFourStartsTheStreamOnce();
    void pollingFollowsTheDeviceState();
    void restartCommands_data();
    void restartCommands();
    void restartRefusedWhileSaving_data();
    void restartRefusedWhileSaving();
    void mockButtonStartsTheReplay_data();
    void mockButtonStartsTheReplay();
    void portMenuEntries_data();
    void portMenuEntries();
    void portThatCannotOpen_data();
    void portThatCannotOpen();
    void languageRoundTrip_data();
    void languageRoundTrip();
    void resetRestoresTheIdleState();
    void statusAfterTheResetIsDropped();
    void lostLinkIsReported_data();
    void lostLinkIsReported();
    void newLinkIsNotPaused();
    void silentInstrumentIsReported_data();
    void silentInstrumentIsReported();
    void identityAfterAStatusFourRestartsTheStream();
    void resetStopsEveryPoll();
};

void TestMainModuleForm::initTestCase()
{
    // No stand-in instrument of another test may answer here.
    qputenv("MAG_PORT_DIR", QDir::current().filePath("ports").toLocal8Bit());
}

void TestMainModuleForm::init()
{
    SharedState::instance().clearDeviceStatus();
}

void TestMainModuleForm::cleanup()
{
    closeInfoBoxes();
}

void TestMainModuleForm::chartTimeIsClamped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("zero") << "0"
                          << "1";
    QTest::newRow("one") << "1"
                         << "1";
    QTest::newRow("empty") << ""
                           << "1";
    QTest::newRow("not a number") << "abc"
                                  << "1";
    QTest::newRow("two") << "2"
                         << "2";
    QTest::newRow("999") << "999"
                         << "999";
    QTest::newRow("1000") << "1000"
                          << "1000";
    QTest::newRow("5000") << "5000"
                          << "1000";
    QTest::newRow("too long for an integer") << "123456789012345678901234"
                                             << "1000";
}

void TestMainModuleForm::chartTimeIsClamped()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Page p;
    QSignalSpy synced(&p.hub, &ParamManager::sig_syncDataParam);
    QVERIFY(p.setChartTime(typed));
    QCOMPARE(p.text("edt_setTime"), shown);
    QCOMPARE(p.hub.dataParam().chartTime, shown.toInt());
    QCOMPARE(synced.count(), 1);
    QCOMPARE(synced.at(0).at(0).value<DataParam>().chartTime, shown.toInt());
}

void TestMainModuleForm::valueBarShowsThePlot_data()
{
    QTest::addColumn<double>("step"); // the data rate the main window sets
    QTest::addColumn<QString>("chartTime");
    QTest::addColumn<QVector<double>>("samples"); // batches of 50
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("samplesShown");
    QTest::addColumn<QString>("mear");
    QTest::addColumn<QString>("svg");
    QTest::newRow("1 s at 1000 Hz") << 0.001 << "1" << ramp(0, 1500) << 1000 << "1000"
                                    << "1499.00"
                                    << "999";
    QTest::newRow("2 s at 20 Hz") << 0.05 << "2" << ramp(0, 150) << 40 << "40"
                                  << "149.00"
                                  << "39";
    QTest::newRow("a flat field") << 0.001 << "10" << QVector<double>(50, 48000.123) << 50
                                  << "10000"
                                  << "48000.12"
                                  << "0";
    QTest::newRow("a half rounds away from zero")
        << 0.001 << "10" << QVector<double>{35000.0, 35002.5} << 2 << "10000"
        << "35002.50"
        << "3";
}

// The chart time typed and the data rate set reach the plot; its read-outs
// come back into the value bar.
void TestMainModuleForm::valueBarShowsThePlot()
{
    QFETCH(double, step);
    QFETCH(QString, chartTime);
    QFETCH(QVector<double>, samples);
    QFETCH(int, points);
    QFETCH(QString, samplesShown);
    QFETCH(QString, mear);
    QFETCH(QString, svg);
    Page p;
    p.hub.setDeviceReady(true);
    DataParam param = p.hub.dataParam();
    param.dataRate = step;
    p.hub.setDataParam(param);
    emit p.hub.sig_syncDataParam(param);
    QVERIFY(p.setChartTime(chartTime));
    for (int i = 0; i < samples.size(); i += 50) {
        p.page.slots_updateForm(samples.mid(i, 50));
        p.tick();
    }

    QCOMPARE(p.points(), points);
    QCOMPARE(p.lastValue(), samples.last());
    QCOMPARE(p.plot->xAxis->range().upper, chartTime.toDouble());
    QCOMPARE(p.text("edt_samples"), samplesShown);
    QCOMPARE(p.text("edt_mear"), mear);
    QCOMPARE(p.text("edt_svg"), svg);
}

void TestMainModuleForm::batchesWaitForTheDevice()
{
    Page p;
    p.page.slots_updateForm(ramp(1, 50));
    p.tick();
    QCOMPARE(p.points(), 0);
    p.hub.setDeviceReady(true);
    p.page.slots_updateForm(ramp(1, 50));
    p.tick();
    QCOMPARE(p.points(), 50);
}

void TestMainModuleForm::plotHeldByThePage_data()
{
    QTest::addColumn<bool>("pauseButton"); // else another page is shown
    QTest::newRow("pause button") << true;
    QTest::newRow("page left") << false;
}

// The graph stands still while paused or hidden and catches up after; the pause
// button also drops what was queued when it was pressed.
void TestMainModuleForm::plotHeldByThePage()
{
    QFETCH(bool, pauseButton);
    Page p;
    p.hub.setDeviceReady(true);
    p.setChartTime("1");
    auto* pause = p.child<QPushButton>("btn_pause");
    p.page.slots_updateForm(ramp(0, 50));
    p.tick();

    if (pauseButton) {
        p.page.slots_updateForm(ramp(1000, 50)); // queued before the pause: dropped by it
        pause->click();
        QVERIFY(p.hub.isPaused());
        QCOMPARE(pause->text(), QString("Resume"));
    } else {
        p.page.pageHooks().leave(PageHooks::SensitivityPage);
    }
    for (int batch = 1; batch <= 10; ++batch) {
        p.page.slots_updateForm(ramp(batch * 50, 50));
        p.tick();
    }
    QCOMPARE(p.points(), 50);
    QCOMPARE(p.lastValue(), 49.0);

    if (pauseButton) {
        pause->click();
        QVERIFY(!p.hub.isPaused());
        QCOMPARE(pause->text(), QString("Pause"));
    } else {
        p.page.pageHooks().enter();
    }
    p.page.slots_updateForm(ramp(550, 50));
    p.tick();
    QCOMPARE(p.points(), 600);
    QCOMPARE(p.firstValue(), 0.0);
    QCOMPARE(p.lastValue(), 599.0);
}

void TestMainModuleForm::statusSequenceLogs_data()
{
    // The link comes up at t = 1000 s; then each status arrives at its time.
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("light");
    QTest::newRow("lock progress")
        << QList<int>{1001, 1002, 1003} << QList<int>{1, 2, 3}
        << QStringList{"battery State:1", "battery State:2", "battery State:3"} << "yellowlight";
    QTest::newRow("four twice logs one lock")
        << QList<int>{1042, 1043} << QList<int>{4, 4}
        << QStringList{"battery State:4  ConnectTime:42"} << "greenlight";
    QTest::newRow("lock lost") << QList<int>{1042, 1050} << QList<int>{4, 2}
                               << QStringList{"battery State:4  ConnectTime:42", "battery State:2"}
                               << "yellowlight";
    QTest::newRow("relock counts from the loss")
        << QList<int>{1042, 1050, 1053} << QList<int>{4, 2, 4}
        << QStringList{"battery State:4  ConnectTime:42", "battery State:2",
                       "battery State:4  ConnectTime:3"}
        << "greenlight";
    QTest::newRow("progress before the lock keeps the connect time")
        << QList<int>{1010, 1020} << QList<int>{2, 4}
        << QStringList{"battery State:2", "battery State:4  ConnectTime:20"} << "greenlight";
    // Every stream frame and every status poll repeats the status: one line a change.
    QTest::newRow("a repeated status writes one line")
        << QList<int>{1001, 1001, 1002, 1003} << QList<int>{1, 1, 1, 1}
        << QStringList{"battery State:1"} << "yellowlight";
    QTest::newRow("repeats during the lock progress")
        << QList<int>{1001, 1002, 1003, 1004, 1005, 1006} << QList<int>{1, 1, 2, 2, 3, 3}
        << QStringList{"battery State:1", "battery State:2", "battery State:3"} << "yellowlight";
    QTest::newRow("a stream unlocked for a while, then the relock")
        << QList<int>{1042, 1050, 1050, 1051, 1052, 1090, 1095} << QList<int>{4, 1, 1, 1, 1, 1, 4}
        << QStringList{"battery State:4  ConnectTime:42", "battery State:1",
                       "battery State:4  ConnectTime:45"}
        << "greenlight";
    QTest::newRow("a status that comes back after another is a change")
        << QList<int>{1001, 1002, 1003, 1004} << QList<int>{2, 3, 3, 2}
        << QStringList{"battery State:2", "battery State:3", "battery State:2"} << "yellowlight";
    QTest::newRow("status 0 after a lock")
        << QList<int>{1042, 1043, 1044, 1045} << QList<int>{4, 0, 0, 0}
        << QStringList{"battery State:4  ConnectTime:42", "battery State:0"} << "yellowlight";
}

void TestMainModuleForm::statusSequenceLogs()
{
    QFETCH(QList<int>, times);
    QFETCH(QList<int>, statuses);
    QFETCH(QStringList, lines);
    QFETCH(QString, light);
    Page p;
    qint64 now = 1000;
    p.page.setClock([&now] { return now; });
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    p.page.slots_connected();
    QVERIFY(requests.wait(5000)); // the connect time is taken with the identity request

    QSignalSpy logged(&p.hub, &ParamManager::sig_saveCrashLog);
    for (int i = 0; i < statuses.size(); ++i) {
        now = times[i];
        p.page.slots_updateProgressEx(statuses[i]);
        if (statuses[i] >= 1 && statuses[i] <= 3) {
            QCOMPARE(SharedState::instance().deviceStatus().status, statuses[i]);
            QCOMPARE(SharedState::instance().deviceStatus().time, now);
        }
    }
    QCOMPARE(crashLogTexts(logged), lines);
    QVERIFY(p.child<QFrame>("frameStatus")->styleSheet().contains(light));
    QCOMPARE(SharedState::instance().lightStatus(), statuses.last());
    p.page.updateLightStatus(0);
}

void TestMainModuleForm::statusOutsideRangeChangesNothing_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("negative") << -1;
    QTest::newRow("five") << 5;
    QTest::newRow("large") << 255;
}

void TestMainModuleForm::statusOutsideRangeChangesNothing()
{
    QFETCH(int, status);
    Page p;
    p.page.slots_updateProgressEx(2);
    const DeviceStatus before = SharedState::instance().deviceStatus();
    QSignalSpy logged(&p.hub, &ParamManager::sig_saveCrashLog);
    QSignalSpy stopped(&p.hub, &ParamManager::sig_devStatusWorkerStop);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QString("light Status wrong: %1").arg(status)));
    p.page.slots_updateProgress(status);
    QCOMPARE(logged.count(), 0);
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(SharedState::instance().lightStatus(), 2);
    QCOMPARE(SharedState::instance().deviceStatus().time, before.time);
    QVERIFY(p.child<QFrame>("frameStatus")->styleSheet().contains("yellowlight"));
    p.page.updateLightStatus(0);
}

void TestMainModuleForm::linkUpChain()
{
    Page p;
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy logged(&p.hub, &ParamManager::sig_saveCrashLog);
    QSignalSpy pollStarted(&p.hub, &ParamManager::sig_devStatusWorkerStart);

    p.page.slots_connected();
    QVERIFY(requests.isEmpty()); // the identity block follows 200 ms later
    QTRY_COMPARE_WITH_TIMEOUT(requestsOf(requests), QList<int>{Addr40000Identity}, 5000);
    QVERIFY(crashLogTexts(logged).contains("Connect Com success. SetType: VCSEL = 0.0000 , VCSEL "
                                           "Default = 0.0000 , VaporCell = 0.0000."));

    QVERIFY(p.page.isComButtonEnabled());
    p.page.slots_updateSerialNumber("23040017");
    QCOMPARE(p.text("edt_devName"), QString("VUD-23040017"));
    QVERIFY(!p.page.isComButtonEnabled());
    QCOMPARE(pollStarted.count(), 1);
    QCOMPARE(SharedState::instance().lightStatus(), 1);
    QCOMPARE(SharedState::instance().deviceStatus().status, 1);
    QVERIFY(SharedState::instance().deviceStatus().valid);
    p.page.updateLightStatus(0);
}

void TestMainModuleForm::statusFourStartsTheStreamOnce()
{
    Page p;
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy pollStopped(&p.hub, &ParamManager::sig_devStatusWorkerStop);
    p.page.slots_updateProgress(3);
    QVERIFY(requests.isEmpty());
    QVERIFY(!p.hub.isDeviceReady());
    p.page.slots_updateProgress(4);
    p.page.slots_updateProgress(4); // a reply that was already on its way
    QCOMPARE(requestsOf(requests), QList<int>{AddrStartStream});
    QCOMPARE(pollStopped.count(), 2);
    QVERIFY(p.hub.isDeviceReady());
    QVERIFY(p.hub.isStreamStarted());
    p.page.updateLightStatus(0);
}

void TestMainModuleForm::pollingFollowsTheDeviceState()
{
    Page p;
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy pollStarted(&p.hub, &ParamManager::sig_devStatusWorkerStart);
    QSignalSpy pollStopped(&p.hub, &ParamManager::sig_devStatusWorkerStop);

    p.page.startPolling();
    p.page.stopPolling();
    QCOMPARE(pollStarted.count(), 1);
    QCOMPARE(pollStopped.count(), 1);
    QVERIFY(requests.isEmpty());

    p.hub.setDeviceReady(true);
    p.page.startPolling();
    p.page.startPolling();
    p.page.stopPolling();
    QCOMPARE(requestsOf(requests), (QList<int>{AddrStartStream, AddrStopStream}));
    QVERIFY(p.hub.isStreamStarted()); // stopping keeps the flag
    QCOMPARE(pollStarted.count(), 1);
    QCOMPARE(pollStopped.count(), 1);
}

void TestMainModuleForm::restartCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("link"); // what the link did before the click
    QTest::newRow("restart") << "btn_ReStart" << int(Addr40118Restart) << 1 << "open";
    QTest::newRow("re-track") << "btn_ddsReTrack" << int(Addr40118ReTrack) << 3 << "open";
    QTest::newRow("restart, no port opened")
        << "btn_ReStart" << int(Addr40118Restart) << 1 << "never opened";
    QTest::newRow("re-track, port lost")
        << "btn_ddsReTrack" << int(Addr40118ReTrack) << 3 << "lost";
    QTest::newRow("restart after a reset")
        << "btn_ReStart" << int(Addr40118Restart) << 1 << "reset";
}

void TestMainModuleForm::restartCommands()
{
    QFETCH(QString, button);
    QFETCH(int, request);
    QFETCH(int, status);
    QFETCH(QString, link);
    Page p;
    if (link != "never opened")
        emit p.hub.sig_connected();
    if (link == "lost")
        emit p.hub.sig_disconnect();
    if (link == "reset")
        p.page.reset();
    p.hub.setDeviceReady(true);
    p.hub.setStreamStarted(true);
    p.page.slots_updateForm(ramp(0, 50));
    p.tick();
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy pollStarted(&p.hub, &ParamManager::sig_devStatusWorkerStart);

    if (link != "open")
        QTest::ignoreMessage(
            QtDebugMsg,
            qPrintable(QString("main page: no open port, request %1 not sent").arg(request)));
    p.page.findChild<QPushButton*>(button)->click();

    if (link == "open") {
        QCOMPARE(requestsOf(requests), QList<int>{request});
        QCOMPARE(pollStarted.count(), 1);
        QVERIFY(!p.hub.isDeviceReady());
        QVERIFY(!p.hub.isStreamStarted());
        QCOMPARE(SharedState::instance().lightStatus(), status);
        QCOMPARE(p.points(), 0);
    } else {
        // Nothing to restart: no write to a closed port, no lock display, no poll.
        QVERIFY(requests.isEmpty());
        QCOMPARE(pollStarted.count(), 0);
        QVERIFY(p.hub.isDeviceReady());
        QCOMPARE(SharedState::instance().lightStatus(), 0);
        QCOMPARE(p.points(), 50);
    }
    p.page.updateLightStatus(0);
}

void TestMainModuleForm::restartRefusedWhileSaving_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("restart") << "btn_ReStart"
                             << "保存磁场信息中,要重启,请先停止保存!";
    QTest::newRow("re-track") << "btn_ddsReTrack"
                              << "保存磁场信息中,要重新追踪,请先停止保存!";
}

void TestMainModuleForm::restartRefusedWhileSaving()
{
    QFETCH(QString, button);
    QFETCH(QString, message);
    Page p;
    p.hub.setDeviceReady(true);
    p.hub.setSaveParam(true, 3600, QDir::currentPath() + "/refused", false);
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy pollStarted(&p.hub, &ParamManager::sig_devStatusWorkerStart);

    p.page.findChild<QPushButton*>(button)->click();

    QMessageBox* box = openInfoBox();
    QVERIFY(box);
    QCOMPARE(box->text(), message);
    QCOMPARE(box->windowTitle(), QString("提示"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(requests.isEmpty());
    QCOMPARE(pollStarted.count(), 0);
    QVERIFY(p.hub.isDeviceReady());
}

void TestMainModuleForm::mockButtonStartsTheReplay_data()
{
    QTest::addColumn<int>("samplingRate");
    QTest::addColumn<int>("batchSize");
    QTest::newRow("20 Hz: one value per tick") << 20 << 1;
    QTest::newRow("1000 Hz: 50 values per tick") << 1000 << 50;
    QTest::newRow("1 Hz: 50 values per tick") << 1 << 50;
}

void TestMainModuleForm::mockButtonStartsTheReplay()
{
    QFETCH(int, samplingRate);
    QFETCH(int, batchSize);
    {
        QFile csv("mock.csv");
        QVERIFY(csv.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (int i = 0; i < 120; ++i)
            csv.write(QByteArray::number(i) + ",6995830\n"); // 1000 nT
    }
    const auto removeCsv = qScopeGuard([] { QFile::remove("mock.csv"); });
    Page p;
    p.hub.isMockData = 1;
    p.hub.initMockDataThread();
    p.hub.samplingRate = samplingRate;
    QSignalSpy batches(&p.hub, &ParamManager::sig_updateForm);

    p.child<QPushButton>("btn_mock")->click();
    QVERIFY(p.hub.isDeviceReady());
    QVERIFY(batches.wait(10000));
    const auto values = batches.first().at(0).value<QVector<double>>();
    QCOMPARE(values.size(), batchSize);
    QVERIFY(qAbs(values.first() - 1000.0) < 1e-9);
}

void TestMainModuleForm::portMenuEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("connects");
    QTest::newRow("virtual instrument link") << "COM12" << true;
    QString device; // a serial device of this machine, listed without a COM name
    for (const QString& name : ParamManager().availablePortNames())
        if (!name.startsWith("COM") && device.isEmpty())
            device = name;
    QTest::newRow("listed serial device") << device << true;
    QTest::newRow("refresh") << "刷新" << false;
    QTest::newRow("unknown name") << "nosuchport" << false;
    QTest::newRow("lower-case com") << "com3" << false;
}

void TestMainModuleForm::portMenuEntries()
{
    QFETCH(QString, entry);
    QFETCH(bool, connects);
    if (entry.isEmpty())
        QSKIP("this machine lists no serial device");
    Page p;
    p.hub.baudRate = 115200;
    QSignalSpy connectRequests(p.hub.getModbusWorkThread(), &ModbusWorkThread::sig_connectDevice);
    auto* menu = p.page.findChild<CustomMenu*>();
    QVERIFY(menu);
    const int entriesBefore = menu->findChildren<QPushButton*>().size();

    p.page.slot_handleActionTriggered(entry, QVariant());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(connectRequests.count(), connects ? 1 : 0);
    if (connects) {
        QCOMPARE(connectRequests.at(0).at(0).toString(), entry);
        QCOMPARE(connectRequests.at(0).at(1).toInt(), 115200);
        QCOMPARE(p.child<QPushButton>("btn_com")->text(), entry);
    } else {
        QCOMPARE(p.child<QPushButton>("btn_com")->text(), QString("select"));
    }
    // The menu always ends with the refresh entry, also after a refill.
    const QList<QPushButton*> items = menu->findChildren<QPushButton*>();
    QCOMPARE(items.size(), entriesBefore);
    QCOMPARE(items.last()->text(), QString("刷新"));
}

void TestMainModuleForm::portThatCannotOpen_data()
{
    QTest::addColumn<int>("isChinese");
    QTest::addColumn<QString>("select");
    QTest::newRow("English") << 0 << "select";
    QTest::newRow("Chinese") << 1 << "选择";
}

// The port is listed but cannot be opened (no such device here): the operator
// is told, and the button asks for a port again.
void TestMainModuleForm::portThatCannotOpen()
{
    QFETCH(int, isChinese);
    QFETCH(QString, select);
    Page p;
    p.hub.isChinese = isChinese;
    p.page.slot_setLanguage(isChinese);
    auto* com = p.child<QPushButton>("btn_com");
    QSignalSpy connected(&p.hub, &ParamManager::sig_connected);

    p.page.slot_handleActionTriggered("COM77", QVariant());
    QCOMPARE(com->text(), QString("COM77"));

    QTRY_VERIFY_WITH_TIMEOUT(openInfoBox(), 10000);
    QMessageBox* box = openInfoBox();
    QVERIFY(box->text().contains("COM77"));
    QCOMPARE(box->windowTitle(), QString("提示"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QCOMPARE(box->parent(), nullptr);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(com->text(), select);
    QVERIFY(p.page.isComButtonEnabled());
    QCOMPARE(connected.count(), 0);
}

void TestMainModuleForm::languageRoundTrip_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    QTest::newRow("restart") << "btn_ReStart"
                             << "重启"
                             << "Restart";
    QTest::newRow("re-track") << "btn_ddsReTrack"
                              << "重新追踪"
                              << "Retrack";
    QTest::newRow("mock") << "btn_mock"
                          << "墨客"
                          << "mock";
    QTest::newRow("chart") << "label_3"
                           << "图表"
                           << "Chart";
    QTest::newRow("seconds") << "label_4"
                             << "秒"
                             << "S";
    QTest::newRow("samples") << "label_5"
                             << "采样数"
                             << "Samples";
    QTest::newRow("mear") << "label_6"
                          << "测量值"
                          << "Mear";
    QTest::newRow("port button") << "btn_com"
                                 << "选择"
                                 << "select";
    QTest::newRow("pause button") << "btn_pause"
                                  << "暂停"
                                  << "Pause";
}

void TestMainModuleForm::languageRoundTrip()
{
    QFETCH(QString, widget);
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    Page p;
    auto textOf = [&] {
        QWidget* w = p.page.findChild<QWidget*>(widget);
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            return button->text();
        return qobject_cast<QLabel*>(w)->text();
    };
    p.page.slot_setLanguage(1);
    QCOMPARE(textOf(), chinese);
    p.page.slot_setLanguage(0);
    QCOMPARE(textOf(), english);
    p.page.slot_setLanguage(1);
    QCOMPARE(textOf(), chinese);
    p.page.slot_setLanguage(2);
    QCOMPARE(textOf(), english);
}

void TestMainModuleForm::resetRestoresTheIdleState()
{
    Page p;
    auto* pause = p.child<QPushButton>("btn_pause");
    auto* com = p.child<QPushButton>("btn_com");
    p.page.slot_handleActionTriggered("COM12", QVariant());
    p.page.slots_updateSerialNumber("17");
    p.setChartTime("30");
    pause->click();
    // The first language switch happens while a port is shown and the plot is paused.
    p.page.slot_setLanguage(1);
    QCOMPARE(com->text(), QString("COM12"));
    QCOMPARE(pause->text(), QString("恢复"));
    p.page.slot_setLanguage(0);
    QCOMPARE(pause->text(), QString("Resume"));

    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy synced(&p.hub, &ParamManager::sig_syncDataParam);
    p.page.reset();

    QCOMPARE(requestsOf(requests), QList<int>{Addr40118Restart});
    QCOMPARE(p.text("edt_setTime"), QString("10"));
    QCOMPARE(p.hub.dataParam().chartTime, 10);
    QCOMPARE(synced.count(), 1);
    QCOMPARE(p.text("edt_samples"), QString("0"));
    QCOMPARE(p.text("edt_mear"), QString("0"));
    QCOMPARE(p.text("edt_svg"), QString("0"));
    QCOMPARE(p.text("edt_devName"), QString());
    QCOMPARE(com->text(), QString("select"));
    QVERIFY(p.page.isComButtonEnabled());
    QCOMPARE(pause->text(), QString("Pause"));
    QVERIFY(!p.hub.isPaused());
    QCOMPARE(SharedState::instance().lightStatus(), 0);

    // One click pauses again, and the language switch now shows the idle texts.
    pause->click();
    QVERIFY(p.hub.isPaused());
    QCOMPARE(pause->text(), QString("Resume"));
    pause->click();
    p.page.slot_setLanguage(1);
    QCOMPARE(com->text(), QString("选择"));
    p.page.slot_setLanguage(0);
    QCOMPARE(com->text(), QString("select"));
}

// Frames and replies decoded before a reset arrive after it: they neither light
// the page nor write a lock line, nor start a stream; the next link-up listens again.
void TestMainModuleForm::statusAfterTheResetIsDropped()
{
    Page p;
    p.page.slots_connected();
    p.page.slots_updateProgressEx(4);
    p.page.reset();
    QSignalSpy logged(&p.hub, &ParamManager::sig_saveCrashLog);
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    p.page.slots_updateProgressEx(4);
    p.page.slots_updateProgress(4);
    QCOMPARE(SharedState::instance().lightStatus(), 0);
    QVERIFY(p.child<QFrame>("frameStatus")->styleSheet().contains("yellowlight"));
    QCOMPARE(crashLogTexts(logged), QStringList());
    QCOMPARE(requestsOf(requests), QList<int>());

    p.page.slots_connected();
    p.page.slots_updateProgressEx(2);
    QCOMPARE(SharedState::instance().lightStatus(), 2);
    p.page.updateLightStatus(0);
}

void TestMainModuleForm::lostLinkIsReported_data()
{
    QTest::addColumn<int>("isChinese");
    QTest::addColumn<QString>("select");
    QTest::newRow("English") << 0 << "select";
    QTest::newRow("Chinese") << 1 << "选择";
}

// The line goes while linked: the operator is told once, and the reset that
// follows puts the port choice back. A reset of the operator's own makes no box.
void TestMainModuleForm::lostLinkIsReported()
{
    QFETCH(int, isChinese);
    QFETCH(QString, select);
    Page p;
    p.hub.isChinese = isChinese;
    p.page.slot_setLanguage(isChinese);
    p.choosePortWithoutOpening("COM12");
    emit p.hub.sig_connected();

    emit p.hub.sig_disconnect();
    QMessageBox* box = openInfoBox();
    QVERIFY(box);
    QVERIFY(box->text().contains("COM12"));
    QCOMPARE(box->windowTitle(), QString("提示"));
    QCOMPARE(box->parent(), nullptr);
    closeInfoBoxes();
    emit p.hub.sig_disconnect(); // the dead line raises more errors
    QVERIFY(!openInfoBox());

    p.page.reset();
    QCOMPARE(p.child<QPushButton>("btn_com")->text(), select);
    emit p.hub.sig_connected();
    p.page.reset(); // the reboot button
    emit p.hub.sig_disconnect();
    QVERIFY(!openInfoBox());
}

// A pause pressed while no instrument was linked does not hide the next one.
void TestMainModuleForm::newLinkIsNotPaused()
{
    Page p;
    auto* pause = p.child<QPushButton>("btn_pause");
    pause->click();
    QCOMPARE(pause->text(), QString("Resume"));
    emit p.hub.sig_connected();
    QCOMPARE(pause->text(), QString("Pause"));
    QVERIFY(!p.hub.isPaused());
}

void TestMainModuleForm::silentInstrumentIsReported_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("told");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("status") << "status" << false;
    QTest::newRow("identity") << "identity" << false;
    QTest::newRow("line lost") << "lost" << false;
    QTest::newRow("reset") << "reset" << false;
}

// A port that opens with nothing behind it (or the wrong baud rate) would poll
// for ever behind a yellow light: once the instrument stays silent, say so.
void TestMainModuleForm::silentInstrumentIsReported()
{
    QFETCH(QString, answer);
    QFETCH(bool, told);
    Page p;
    p.page.setAnswerTimeout(100);
    p.choosePortWithoutOpening("COM12");
    emit p.hub.sig_connected();
    if (answer == "status")
        emit p.hub.sig_updateProgress(1);
    else if (answer == "identity")
        emit p.hub.sig_updateSerialNumber("24060117");
    else if (answer == "lost")
        emit p.hub.sig_disconnect();
    else if (answer == "reset")
        p.page.reset();
    closeInfoBoxes();

    if (told)
        QTRY_VERIFY(openInfoBox());
    else
        QTest::qWait(300); // no box may come in it
    QMessageBox* box = openInfoBox();
    QCOMPARE(box != nullptr, told);
    if (box)
        QVERIFY(box->text().contains("COM12"));
}

// A status reply of a poll that outlived a reset can reach the new link before
// its identity block: the stream starts, then the link-up's status poll ends it
// on the instrument, and its status 4 must start the stream again.
void TestMainModuleForm::identityAfterAStatusFourRestartsTheStream()
{
    Page p;
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    p.page.slots_updateProgress(4);
    QCOMPARE(requestsOf(requests), QList<int>{AddrStartStream});
    p.page.slots_updateSerialNumber("24060117");
    p.page.slots_updateProgress(4);
    QCOMPARE(requestsOf(requests), (QList<int>{AddrStartStream, AddrStartStream}));
    p.page.updateLightStatus(0);
}

// The reset stops the status poll also while the stream runs (a lock lost in the
// stream restarts the poll behind the light's back).
void TestMainModuleForm::resetStopsEveryPoll()
{
    Page p;
    p.hub.setDeviceReady(true);
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    QSignalSpy pollStopped(&p.hub, &ParamManager::sig_devStatusWorkerStop);
    p.page.reset();
    QVERIFY(requestsOf(requests).contains(AddrStopStream));
    QVERIFY(pollStopped.count() >= 1);
}

MAG_TEST_MAIN(TestMainModuleForm)
#include "tst_mainmoduleform.moc"
