// Request scheduler: exact request frames, rate adoption, the status tick rule and
// the whole-second alignment of the polls.

#include "app/SharedState.h"
#include "device/CrcUtils.h"
#include "device/ModbusWorkThread.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace ModbusTestFrames;

namespace {
// A clock that runs with the system clock, shifted so that "now" has a chosen
// millisecond within the second when the test starts.
ModbusWorkThread::Clock shiftedClock(int msecAtStart)
{
    const QDateTime real = QDateTime::currentDateTimeUtc();
    const qint64 shift = msecAtStart - real.time().msec();
    return [shift] { return QDateTime::currentDateTimeUtc().addMSecs(shift); };
}

QByteArray sentFrame(const QSignalSpy& spy, int i)
{
    return QByteArray::fromHex(spy.at(i).at(1).toByteArray());
}
} // namespace

class TestModbusWorkThread : public QObject
{
    Q_OBJECT
private slots:
    void requestFrames_data()
    {
        QTest::addColumn<int>("rate"); // 0: the table as built
        QTest::addColumn<int>("addr");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("published"); // the frame text as the protocol lists it

        QTest::newRow("0 restart")
            << 0 << 0 << request(1, 0x06, 40118, 1, false) << "01069CB6000187BC";
        QTest::newRow("1 re-track")
            << 0 << 1 << request(1, 0x06, 40118, 3, false) << "01069CB60003067D";
        QTest::newRow("2 status") << 0 << 2 << request(1, 0x03, 40118, 1, false)
                                  << "01039CB600014BBC";
        QTest::newRow("3 parameters")
            << 0 << 3 << request(1, 0x03, 40100, 124, false) << "01039CA4007C2B98";
        QTest::newRow("4 40230") << 0 << 4 << request(1, 0x03, 40230, 3, false)
                                 << "01039D260003CBAC";
        QTest::newRow("5 raw 30000")
            << 0 << 5 << request(1, 0x04, 30000, 400, true) << "AB010475300190EA24";
        QTest::newRow("6 raw 32000")
            << 0 << 6 << request(1, 0x04, 32000, 400, true) << "AB01047D000190E84B";
        QTest::newRow("7 start") << 0 << 7 << request(1, 0x04, 32000, 100, true)
                                 << "AB01047D000064E85C";
        QTest::newRow("8 stop") << 0 << 8 << request(1, 0x06, 32000, 100, true)
                                << "AB01067D000064919C";
        QTest::newRow("10 identity")
            << 0 << 10 << request(1, 0x03, 40000, 100, false) << "01039C4000646BA5";
        const QVector<QPair<int, QPair<QString, QString>>> rates = {
            {10, {"AB01047D0000012877", "AB01067D00000151B7"}},
            {20, {"AB01047D0000026876", "AB01067D00000211B6"}},
            {200, {"AB01047D000014E9B8", "AB01067D0000149078"}},
            {500, {"AB01047D0000326862", "AB01067D00003211A2"}},
            {1000, {"AB01047D000064E85C", "AB01067D000064919C"}},
        };
        for (const auto& r : rates) {
            const int rate = r.first;
            QTest::addRow("7 start %d Hz", rate)
                << rate << 7 << request(1, 0x04, 32000, quint16(rate / 10), true) << r.second.first;
            QTest::addRow("8 stop %d Hz", rate)
                << rate << 8 << request(1, 0x06, 32000, quint16(rate / 10), true)
                << r.second.second;
        }
    }
    void requestFrames()
    {
        QFETCH(int, rate);
        QFETCH(int, addr);
        QFETCH(QByteArray, expected);
        QFETCH(QString, published);

        ModbusWorkThread scheduler;
        if (rate > 0)
            scheduler.slots_syncDataByteCount(rate, true);
        QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
        scheduler.slots_sendModbusData(ModbusAddr(addr));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<ModbusAddr>(), ModbusAddr(addr));
        // Table requests travel as the frame's hexadecimal text.
        QCOMPARE(spy.at(0).at(1).toByteArray(), published.toUtf8());
        QCOMPARE(sentFrame(spy, 0), expected);
        QCOMPARE(bitwiseCrc(expected), quint16(0)); // a frame with its CRC checks to zero
        QVERIFY(checkCrc16(sentFrame(spy, 0), 0, int(expected.size())));
    }

    void rateAdoption_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("bChange");
        QTest::addColumn<int>("expectedCount");

        QTest::newRow("unknown rate falls back to the 1000 Hz stream") << 50 << true << 100;
        QTest::newRow("bChange false gives 1000 Hz") << 500 << false << 100;
        QTest::newRow("1 Hz sent as 1000 false") << 1000 << false << 100;
    }
    void rateAdoption()
    {
        QFETCH(int, rate);
        QFETCH(bool, bChange);
        QFETCH(int, expectedCount);

        ModbusWorkThread scheduler;
        scheduler.slots_syncDataByteCount(20, true);
        scheduler.slots_syncDataByteCount(rate, bChange);
        QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
        scheduler.slots_sendModbusData(AddrStartStream);
        scheduler.slots_sendModbusData(AddrStopStream);
        QCOMPARE(sentFrame(spy, 0), request(1, 0x04, 32000, quint16(expectedCount), true));
        QCOMPARE(sentFrame(spy, 1), request(1, 0x06, 32000, quint16(expectedCount), true));
    }

    void framesWithoutEntryAndCustomFrames()
    {
        ModbusWorkThread scheduler;
        QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
        for (const ModbusAddr addr : {AddrCustom, AddrVectorFid, AddrFid})
            scheduler.slots_sendModbusData(addr);
        const QByteArray custom = request(1, 0x06, 40086, 20, false);
        scheduler.slots_sendCustomModbusData(custom);
        scheduler.sendParamRead();

        QCOMPARE(spy.count(), 5);
        for (int i = 0; i < 3; ++i)
            QVERIFY(spy.at(i).at(1).toByteArray().isEmpty());
        QCOMPARE(spy.at(3).at(0).value<ModbusAddr>(), AddrCustom);
        QCOMPARE(spy.at(3).at(1).toByteArray(), custom); // binary, unchanged
        QCOMPARE(spy.at(4).at(0).value<ModbusAddr>(), Addr40100Params);
    }

    void statusTick_data()
    {
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<int>("expectedAddr");
        QTest::addColumn<bool>("recordKept");

        QTest::newRow("no status yet") << false << 0 << int(Addr40118Status) << false;
        QTest::newRow("lock status 5 s old") << true << 5 << int(Addr40100Params) << true;
        QTest::newRow("lock status 6 s old") << true << 6 << int(Addr40118Status) << false;
        QTest::newRow("clock set back") << true << -30 << int(Addr40100Params) << true;
    }
    void statusTick()
    {
        QFETCH(bool, valid);
        QFETCH(int, ageSeconds);
        QFETCH(int, expectedAddr);
        QFETCH(bool, recordKept);

        const QDateTime now = QDateTime::fromString("2026-03-01T10:00:00.250Z", Qt::ISODateWithMs);
        SharedState state;
        if (valid)
            state.setDeviceStatus({2, now.toSecsSinceEpoch() - ageSeconds, true});
        ModbusWorkThread scheduler(
            nullptr, [now] { return now; }, &state);
        QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
        scheduler.statusTick();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<ModbusAddr>(), ModbusAddr(expectedAddr));
        QCOMPARE(state.deviceStatus().valid, recordKept);
    }

    void alignmentToWholeSecond_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<int>("expectedMs");

        QTest::newRow("on the second") << "2026-03-01T10:00:00.000Z" << 1000;
        QTest::newRow("300 ms in") << "2026-03-01T10:00:00.300Z" << 700;
        QTest::newRow("last ms") << "2026-03-01T23:59:59.999Z" << 1;
    }
    void alignmentToWholeSecond()
    {
        QFETCH(QString, now);
        QFETCH(int, expectedMs);
        const QDateTime t = QDateTime::fromString(now, Qt::ISODateWithMs);
        ModbusWorkThread scheduler(nullptr, [t] { return t; });
        QCOMPARE(scheduler.msToNextSecond(), expectedMs);
    }

    void pollStartsOneIntervalAfterTheNextSecond_data()
    {
        QTest::addColumn<bool>("paramPoll");
        QTest::addColumn<int>("interval"); // 0: the scheduler's own
        QTest::newRow("status poll") << false << 100;
        QTest::newRow("parameter poll") << true << 100;
        QTest::newRow("status poll, once a second") << false << 0;
    }
    void pollStartsOneIntervalAfterTheNextSecond()
    {
        QFETCH(bool, paramPoll);
        QFETCH(int, interval);
        SharedState state;
        // 900 ms into the second: the timer starts 100 ms later, ticks one interval after that.
        ModbusWorkThread scheduler(nullptr, shiftedClock(900), &state);
        if (interval > 0)
            scheduler.setPollInterval(interval);
        const int every = interval > 0 ? interval : 1000;
        QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
        QElapsedTimer elapsed;
        elapsed.start();
        paramPoll ? scheduler.slots_paramWorkerStart() : scheduler.slots_devStatusWorkerStart();
        QVERIFY(spy.wait(5000));
        QVERIFY2(elapsed.elapsed() >= 100 + every - 50,
                 qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(spy.at(0).at(0).value<ModbusAddr>(),
                 paramPoll ? Addr40100Params : Addr40118Status);
        QVERIFY(spy.wait(5000)); // and keeps ticking
        paramPoll ? scheduler.slots_paramWorkerStop() : scheduler.slots_devStatusWorkerStop();
        const int sent = spy.count();
        QVERIFY(!spy.wait(every * 13 / 10));
        QCOMPARE(spy.count(), sent);
    }

    void stopBeforeTheSecondSendsNothing()
    {
        SharedState state;
        ModbusWorkThread scheduler(nullptr, shiftedClock(990), &state);
        scheduler.setPollInterval(100);
        QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
        scheduler.slots_devStatusWorkerStart();
        scheduler.slots_devStatusWorkerStop();
        QVERIFY(!scheduler.isStatusPollActive());
        QVERIFY(!spy.wait(10 + 130)); // past the second and the first tick
    }
};

MAG_TEST_MAIN_CORE(TestModbusWorkThread)
#include "tst_modbusworkthread.moc"
