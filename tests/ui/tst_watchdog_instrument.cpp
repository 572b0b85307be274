// The watchdog in the whole program, against the virtual instrument: a lost lock
// and a silent instrument raise the main window's box within the watchdog's own
// limits, a healthy instrument never does, also while the settings page has
// stopped the stream.

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "services/DataCheckerThread.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"

#include <QMessageBox>
#include <QPushButton>

class TestWatchdogInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void boxFollowsTheInstrument_data();
    void boxFollowsTheInstrument();
};

void TestWatchdogInstrument::initTestCase()
{
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
}

void TestWatchdogInstrument::boxFollowsTheInstrument_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("text"); // empty: no message at all
    QTest::newRow("healthy") << QStringList() << QString();
    // The program streams some 7 s after the first request (lock and status
    // polls); the values run away 10 s after the instrument's lock, and its
    // status falls 10 s after that.
    QTest::newRow("lock lost") << QStringList{"--lose-lock-after", "10"}
                               << QStringLiteral("设备失锁中，请检查设备");
    QTest::newRow("silent") << QStringList{"--silent-after", "14"}
                            << QStringLiteral("没有数据发过来，请检查设备");
}

void TestWatchdogInstrument::boxFollowsTheInstrument()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, text);
    InstrumentProcess instrument;
    const QString port = instrument.start(QStringList{"--lock-step-ms", "300"} + fault);
    QVERIFY2(!port.isEmpty(), "the virtual instrument published no port");

    ParamManager hub;
    MainWindow window(&hub);
    window.resize(1280, 720);
    window.show();
    QElapsedTimer clock;
    clock.start();
    qint64 lastBatch = -1;
    connect(&hub, &ParamManager::sig_updateForm, &window, [&] { lastBatch = clock.elapsed(); });
    struct Message
    {
        QString text;
        qint64 at;
        int light; // status light when it arrived
    };
    QVector<Message> messages;
    connect(hub.getDataCheckerThread(), &DataCheckerThread::sig_dataCheckMsg, &window,
            [&](const QString& m) {
                messages.append({m, clock.elapsed(), SharedState::instance().lightStatus()});
            });

    window.findChild<MainModuleForm*>()->slot_handleActionTriggered(port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    const qint64 ready = clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(lastBatch > ready, 10000);

    auto* box = window.findChild<QMessageBox*>();
    if (text.isEmpty()) {
        // Two of the watchdog's 5 s checks and some 240 batches pass.
        QTest::qWait(12000);
        QVERIFY(lastBatch > clock.elapsed() - 1000);
        QVERIFY(messages.isEmpty());
        QVERIFY(!box->isVisible());

        // The settings page stops the stream, the light stays at 4: that is no
        // missing data. Back on the main page the stream and the checks go on.
        window.findChild<QPushButton*>("btnConfig")->click();
        QTest::qWait(12000);
        QVERIFY(lastBatch < clock.elapsed() - 9000);
        QCOMPARE(SharedState::instance().lightStatus(), 4);
        window.findChild<QPushButton*>("btnMain")->click();
        const qint64 back = clock.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(lastBatch > back, 10000);
        QTest::qWait(6000);
        QVERIFY(messages.isEmpty());
        QVERIFY(!box->isVisible());
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 40000);
    QCOMPARE(messages.first().text, text);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), text);
    const Message& m = messages.first();
    if (fault.first() == "--lose-lock-after") {
        // Sixty rising values take three seconds of batches (behind the filter's
        // delay); the instrument's own status still reads 4 then.
        QCOMPARE(m.light, 4);
        const qint64 afterReady = m.at - ready;
        qInfo("lock-loss message %lld ms after the stream began", afterReady);
        QVERIFY2(afterReady > 3000 && afterReady < 15000, qPrintable(QString::number(afterReady)));
    } else {
        // More than 10 s without data, seen by a check that runs every 5 s.
        const qint64 gap = m.at - lastBatch;
        qInfo("no-data message %lld ms after the last batch", gap);
        QVERIFY2(gap > 9000 && gap < 16500, qPrintable(QString::number(gap)));
        QCOMPARE(m.light, 4);
    }
}

MAG_TEST_MAIN(TestWatchdogInstrument)
#include "tst_watchdog_instrument.moc"
