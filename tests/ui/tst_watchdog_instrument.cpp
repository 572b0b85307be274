// The watchdog in the whole program, against the virtual instrument: a lost lock
// and a silent instrument raise the main window's box within the watchdog's own
// limits, a healthy instrument never does, also while the settings page has
// stopped the stream, and whatever cut-off the bottom bar sets.

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "services/DataCheckerThread.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/OperatorInput.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"

#include <QMessageBox>
#include <QPushButton>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

using OperatorInput::plotted;
using OperatorInput::typeInto;

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
    QTest::addColumn<QString>("cutOff"); // set once the stream runs
    QTest::addColumn<QString>("text");   // empty: no message at all
    const QString lockLoss = QStringLiteral("设备失锁中，请检查设备");
    QTest::newRow("healthy") << QStringList() << QString() << QString();
    // A high-pass leaves values near 0 nT, a low-pass of 1 Hz a smooth, slowly
    // drifting line: neither is the field the watchdog judges.
    QTest::newRow("healthy, high pass 1") << QStringList() << "edt_highPass=1" << QString();
    QTest::newRow("healthy, low pass 1") << QStringList() << "edt_lowPass=1" << QString();
    // The program streams some 7 s after the first request (lock and status
    // polls); the values run away 10 s after the instrument's lock, and its
    // status falls 10 s after that.
    QTest::newRow("lock lost") << QStringList{"--lose-lock-after", "10"} << QString() << lockLoss;
    // High-passed, the runaway is a constant near 0 nT.
    QTest::newRow("lock lost, high pass 1")
        << QStringList{"--lose-lock-after", "10"} << "edt_highPass=1" << lockLoss;
    QTest::newRow("silent") << QStringList{"--silent-after", "14"} << QString()
                            << QStringLiteral("没有数据发过来，请检查设备");
}

void TestWatchdogInstrument::boxFollowsTheInstrument()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, cutOff);
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
    qint64 lockFell = -1; // when the stream's status first left 4
    connect(&hub, &ParamManager::sig_updateProgressEx, &window, [&](int status) {
        if (status != 4 && lockFell < 0 && hub.isDeviceReady())
            lockFell = clock.elapsed();
    });
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
    if (!cutOff.isEmpty())
        QVERIFY(typeInto(&window, cutOff));

    auto* box = window.findChild<QMessageBox*>();
    if (text.isEmpty()) {
        // Two of the watchdog's 5 s checks and some 240 batches pass, and it may
        // say nothing in them.
        QTest::qWait(12000);
        QVERIFY(lastBatch > clock.elapsed() - 1000);
        QVERIFY(messages.isEmpty());
        QVERIFY(!box->isVisible());
        if (cutOff == "edt_highPass=1") {
            // Back to no cut-off: the plot starts afresh with the field itself,
            // without the high-passed values of before on its axis.
            auto* plot = window.findChild<QCustomPlot*>("mainChart");
            QVERIFY(std::abs(plotted(plot).last()) < 100.0);
            QVERIFY(typeInto(&window, "edt_highPass=0"));
            QTRY_VERIFY_WITH_TIMEOUT(!plotted(plot).isEmpty() && plotted(plot).last() > 49000.0,
                                     10000);
            const QVector<double> shown = plotted(plot);
            const auto [low, high] = std::minmax_element(shown.begin(), shown.end());
            QVERIFY2(*low > 49000.0 && *high < 51000.0,
                     qPrintable(QString("%1 to %2 nT").arg(*low).arg(*high)));
        }
        if (!cutOff.isEmpty())
            return;

        // The settings page stops the stream, the light stays at 4: that is no
        // missing data. Back on the main page the stream and the checks go on.
        window.findChild<QPushButton*>("btnConfig")->click();
        QTest::qWait(12000); // two checks, and no word of missing data

        QVERIFY(lastBatch < clock.elapsed() - 9000);
        QCOMPARE(SharedState::instance().lightStatus(), 4);
        window.findChild<QPushButton*>("btnMain")->click();
        const qint64 back = clock.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(lastBatch > back, 10000);
        QTest::qWait(6000); // a check more, that may say nothing
        QVERIFY(messages.isEmpty());
        QVERIFY(!box->isVisible());
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 40000);
    QCOMPARE(messages.first().text, text);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), text);
    const Message m = messages.first(); // more may come while the test waits
    if (fault.first() == "--lose-lock-after") {
        // Sixty rising values take three seconds of batches (behind the filter's
        // delay); the instrument's own status still reads 4 then.
        QCOMPARE(m.light, 4);
        const qint64 afterReady = m.at - ready;
        qInfo("lock-loss message %lld ms after the stream began", afterReady);
        QVERIFY2(afterReady > 3000 && afterReady < 15000, qPrintable(QString::number(afterReady)));
        // The status falls 10 s after the values began to run away: the message
        // came after their start, and within 10 s of it.
        QTRY_VERIFY_WITH_TIMEOUT(lockFell >= 0, 20000);
        const qint64 sinceRunaway = m.at - (lockFell - 10000);
        qInfo("lock-loss message %lld ms after the runaway began", sinceRunaway);
        QVERIFY2(sinceRunaway > 0 && sinceRunaway < 10000,
                 qPrintable(QString::number(sinceRunaway)));
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
