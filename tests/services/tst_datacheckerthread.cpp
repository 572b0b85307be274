// The watchdog in its own thread, with a clock and a status record of the test's.

#include "app/SharedState.h"
#include "device/SamplingRates.h"
#include "services/DataCheckerThread.h"
#include "tests/support/DebugLines.h"
#include "tests/support/TestMain.h"

#include <atomic>
#include <memory>

namespace {
constexpr qint64 T0 = 1700000000;

// What happens between the first 59 values of a run and its 60th.
enum class Between
{
    Nothing,
    LightLeft,
    StreamRestarted
};

struct Batch
{
    int size;
    int rate;
};
} // namespace
Q_DECLARE_METATYPE(QVector<Batch>)

class TestDataCheckerThread : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void entriesPerBatch_data();
    void entriesPerBatch();
    void missingRateToldOncePerRun_data();
    void missingRateToldOncePerRun();
    void lockLoss_data();
    void lockLoss();
    void oldEntriesLeaveTheWindow_data();
    void oldEntriesLeaveTheWindow();
    void noData_data();
    void noData();
    void streamThatBringsNothing();
    void streamStoppedByTheProgram();
    void valuesOfBeforeAreForgotten_data();
    void valuesOfBeforeAreForgotten();
    void helpersOnShortRuns_data();
    void helpersOnShortRuns();
    void timerChecksInItsThread();

private:
    void send(const QVector<double>& values, int rate);
    void tick();
    void request(ModbusAddr addr);
    QVector<DataCheckSample> window();

    std::atomic<qint64> m_now{T0};
    SharedState m_state;
    std::unique_ptr<DataCheckerThread> m_checker;
    std::unique_ptr<QSignalSpy> m_messages;
};

void TestDataCheckerThread::init()
{
    m_now = T0;
    m_state.setLightStatus(4);
    // A check interval that never fires during a test: ticks are called by hand.
    m_checker =
        std::make_unique<DataCheckerThread>([this] { return m_now.load(); }, &m_state, 3600 * 1000);
    m_messages =
        std::make_unique<QSignalSpy>(m_checker.get(), &DataCheckerThread::sig_dataCheckMsg);
}

void TestDataCheckerThread::cleanup()
{
    m_messages.reset();
    m_checker.reset();
}

// Slots run in the watchdog's thread; each call returns once it has run there.
void TestDataCheckerThread::send(const QVector<double>& values, int rate)
{
    QMetaObject::invokeMethod(m_checker.get(), "slot_DataCheck", Qt::BlockingQueuedConnection,
                              Q_ARG(QVector<double>, values),
                              Q_ARG(FrequencyType, FrequencyType(rate)));
}

void TestDataCheckerThread::tick()
{
    QMetaObject::invokeMethod(m_checker.get(), "slot_onCheckData", Qt::BlockingQueuedConnection);
}

// A request the pages sent, as the hub hands it on.
void TestDataCheckerThread::request(ModbusAddr addr)
{
    QMetaObject::invokeMethod(m_checker.get(), "slot_streamRequest", Qt::BlockingQueuedConnection,
                              Q_ARG(ModbusAddr, addr));
}

QVector<DataCheckSample> TestDataCheckerThread::window()
{
    QVector<DataCheckSample> copy;
    DataCheckerThread* checker = m_checker.get();
    QMetaObject::invokeMethod(
        checker, [&copy, checker] { copy = checker->window(); }, Qt::BlockingQueuedConnection);
    return copy;
}

// The first value of a batch and every step-th after it, stamped one second apart.
void TestDataCheckerThread::entriesPerBatch_data()
{
    QTest::addColumn<QVector<Batch>>("batches");
    QTest::addColumn<int>("status");
    QTest::addColumn<QVector<qint64>>("stamps"); // seconds after T0
    QTest::addColumn<QVector<int>>("indexes");   // of the values taken, in the batches sent
    QTest::newRow("50 values at 1000 Hz")
        << QVector<Batch>{{50, 1000}} << 4 << QVector<qint64>{0} << QVector<int>{0};
    QTest::newRow("20 batches of 50 in one second")
        << QVector<Batch>(20, {50, 1000}) << 4 << QVector<qint64>(20, 0)
        << QVector<int>{0,   50,  100, 150, 200, 250, 300, 350, 400, 450,
                        500, 550, 600, 650, 700, 750, 800, 850, 900, 950};
    QTest::newRow("1000 values at 1000 Hz")
        << QVector<Batch>{{1000, 1000}} << 4 << QVector<qint64>{0} << QVector<int>{0};
    QTest::newRow("100 values at 20 Hz")
        << QVector<Batch>{{100, 20}} << 4 << QVector<qint64>{0, 1, 2, 3, 4}
        << QVector<int>{0, 20, 40, 60, 80};
    QTest::newRow("1 Hz") << QVector<Batch>{{1, 1}, {1, 1}} << 4 << QVector<qint64>{0, 0}
                          << QVector<int>{0, 1};
    QTest::newRow("status 3 records nothing")
        << QVector<Batch>{{100, 20}} << 3 << QVector<qint64>{} << QVector<int>{};
    QTest::newRow("rate missing from the table is ignored")
        << QVector<Batch>{{100, 200}, {100, 200}, {50, 10}} << 4 << QVector<qint64>{}
        << QVector<int>{};
}

void TestDataCheckerThread::entriesPerBatch()
{
    QFETCH(QVector<Batch>, batches);
    QFETCH(int, status);
    QFETCH(QVector<qint64>, stamps);
    QFETCH(QVector<int>, indexes);
    m_state.setLightStatus(status);
    QVector<double> all;
    for (const Batch& b : batches) {
        QVector<double> values(b.size);
        for (double& v : values)
            v = 50000.0 + all.size() + (&v - values.data());
        all += values;
        send(values, b.rate);
    }
    const QVector<DataCheckSample> entries = window();
    QCOMPARE(entries.size(), stamps.size());
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries[i].time, T0 + stamps[i]);
        QCOMPARE(entries[i].value, all[indexes[i]]);
    }
    QCOMPARE(m_messages->count(), 0);
}

// One debug line when batches of a rate without a step begin, not one per batch.
void TestDataCheckerThread::missingRateToldOncePerRun_data()
{
    QTest::addColumn<QVector<int>>("rates"); // of one batch of 100 values each
    QTest::addColumn<int>("lines");
    QTest::newRow("a run of one rate") << QVector<int>{200, 200, 200} << 1;
    QTest::newRow("two rates in turn") << QVector<int>{200, 10, 200} << 3;
    QTest::newRow("again after a batch with a step") << QVector<int>{200, 20, 200} << 2;
}

void TestDataCheckerThread::missingRateToldOncePerRun()
{
    QFETCH(QVector<int>, rates);
    QFETCH(int, lines);
    DebugLines debug;
    for (int rate : rates)
        send(QVector<double>(100, 50000.0), rate);
    QCOMPARE(debug.count("no step for the rate"), lines);
}

// One value per 20 Hz batch, so each value is one entry and every batch is tested.
void TestDataCheckerThread::lockLoss_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<int>("messages");
    QVector<double> rising, falling;
    for (int i = 0; i < 60; ++i) {
        rising << 50000.0 + 0.001 * i;
        falling << 50000.0 - 0.5 * i;
    }
    QVector<double> withPair = rising;
    withPair[30] = withPair[29];
    QVector<double> fallingWithPair = falling;
    fallingWithPair[30] = fallingWithPair[29];
    // The last ten of a rising run climb past 90000 nT: both criteria at the
    // 60th value, one message.
    QVector<double> risingIntoHigh = rising.mid(0, 50);
    for (int i = 0; i < 10; ++i)
        risingIntoHigh << 90001.0 + i;
    QTest::newRow("60 rising") << rising << 1;
    QTest::newRow("60 falling") << falling << 1;
    QTest::newRow("59 rising") << rising.mid(0, 59) << 0;
    QTest::newRow("one equal pair among 60") << withPair << 0;
    QTest::newRow("one equal pair among 60 falling") << fallingWithPair << 0;
    QTest::newRow("one step down, then 60 rising") << QVector<double>{60000.0} + rising << 1;
    QTest::newRow("rising into the high range") << risingIntoHigh << 1;
    QTest::newRow("ten at 95000") << QVector<double>(10, 95000.0) << 1;
    QTest::newRow("ten at 5000") << QVector<double>(10, 5000.0) << 1;
    QTest::newRow("ten at exactly 90000") << QVector<double>(10, 90000.0) << 0;
    QTest::newRow("ten at exactly 10000") << QVector<double>(10, 10000.0) << 0;
    QTest::newRow("nine at 95000") << QVector<double>(9, 95000.0) << 0;
    QTest::newRow("nine at 95000, one at 50000")
        << QVector<double>(9, 95000.0) + QVector<double>{50000.0} << 0;
    QTest::newRow("one at 50000, then ten at 95000")
        << QVector<double>{50000.0} + QVector<double>(10, 95000.0) << 1;
    QTest::newRow("half high, half low")
        << QVector<double>(5, 95000.0) + QVector<double>(5, 5000.0) << 0;
}

void TestDataCheckerThread::lockLoss()
{
    QFETCH(QVector<double>, values);
    QFETCH(int, messages);
    for (double v : values)
        send({v}, 20);
    QCOMPARE(m_messages->count(), messages);
    for (const QList<QVariant>& m : qAsConst(*m_messages))
        QCOMPARE(m.at(0).toString(), QString("设备失锁中，请检查设备"));
}

// 59 rising values, then the 60th after a pause: entries older than the window's
// 70 s no longer count.
void TestDataCheckerThread::oldEntriesLeaveTheWindow_data()
{
    QTest::addColumn<qint64>("pause");
    QTest::addColumn<int>("messages");
    QTest::newRow("60th after 69 s") << qint64(69) << 1;
    QTest::newRow("60th after 70 s") << qint64(70) << 1;
    QTest::newRow("60th after 71 s") << qint64(71) << 0;
}

void TestDataCheckerThread::oldEntriesLeaveTheWindow()
{
    QFETCH(qint64, pause);
    QFETCH(int, messages);
    for (int i = 0; i < 59; ++i)
        send({50000.0 + 0.001 * i}, 20);
    m_now += pause;
    send({50001.0}, 20);
    QCOMPARE(m_messages->count(), messages);
}

void TestDataCheckerThread::noData_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("messages"); // after two ticks
    QTest::newRow("11 s warns on each tick") << qint64(11) << 4 << 2;
    QTest::newRow("exactly 10 s does not") << qint64(10) << 4 << 0;
    QTest::newRow("status 3") << qint64(60) << 3 << 0;
}

void TestDataCheckerThread::noData()
{
    QFETCH(qint64, age);
    QFETCH(int, status);
    QFETCH(int, messages);
    tick(); // an empty window is no gap
    send({50000.0}, 20);
    m_state.setLightStatus(status);
    tick(); // sees the status before the gap: a change of it alone restarts the wait
    m_now = T0 + age;
    tick();
    tick();
    QCOMPARE(m_messages->count(), messages);
    for (const QList<QVariant>& m : qAsConst(*m_messages))
        QCOMPARE(m.at(0).toString(), QString("没有数据发过来，请检查设备"));
}

// A stream started that never brings a value is missing data too, counted from
// its start, and again from a relock; a stop ends the wait.
void TestDataCheckerThread::streamThatBringsNothing()
{
    request(AddrStartStream);
    m_now = T0 + 10;
    tick();
    QCOMPARE(m_messages->count(), 0);
    m_now = T0 + 11;
    tick();
    QCOMPARE(m_messages->count(), 1);

    m_state.setLightStatus(1);
    m_state.setLightStatus(4);
    m_now = T0 + 20;
    tick(); // the relock is seen here: a fresh ten seconds
    m_now = T0 + 30;
    tick();
    QCOMPARE(m_messages->count(), 1);
    m_now = T0 + 31;
    tick();
    QCOMPARE(m_messages->count(), 2);

    request(AddrStopStream);
    m_now = T0 + 60;
    tick();
    QCOMPARE(m_messages->count(), 2);
}

// The settings and debug pages stop the stream with the light still at 4: no
// warning then, also for batches still handed out after the stop; the next
// start arms the check again.
void TestDataCheckerThread::streamStoppedByTheProgram()
{
    send({50000.0}, 20);
    request(AddrStopStream);
    request(Addr40100Params); // read while stopped: no start
    send({50000.1}, 20);
    m_now += 60;
    tick();
    for (int i = 0; i < 60; ++i)
        send({50000.0 + i}, 20); // would look like a lost lock
    QCOMPARE(m_messages->count(), 0);

    request(AddrStartStream);
    send({50000.0}, 20);
    m_now += 11;
    tick();
    QCOMPARE(m_messages->count(), 1);
    QCOMPARE(m_messages->first().at(0).toString(), QString("没有数据发过来，请检查设备"));
}

// Values from before the light left 4, or from before the program stopped and
// started the stream again, never count again, even when the watchdog did not
// look in between.
void TestDataCheckerThread::valuesOfBeforeAreForgotten_data()
{
    QTest::addColumn<int>("between");     // Between
    QTest::addColumn<int>("gapMessages"); // at a tick 30 s on, after the same again
    QTest::newRow("nothing") << int(Between::Nothing) << 1;
    QTest::newRow("light left 4 and came back") << int(Between::LightLeft) << 0;
    // A stream that brings nothing for 30 s after its start is missing data.
    QTest::newRow("stream stopped and started again") << int(Between::StreamRestarted) << 1;
}

void TestDataCheckerThread::valuesOfBeforeAreForgotten()
{
    QFETCH(int, between);
    QFETCH(int, gapMessages);
    const bool forgets = Between(between) != Between::Nothing;
    const auto interrupt = [&] {
        if (Between(between) == Between::LightLeft) {
            m_state.setLightStatus(1);
            m_state.setLightStatus(4);
        } else if (Between(between) == Between::StreamRestarted) {
            request(AddrStopStream);
            request(AddrStartStream);
        }
    };
    for (int i = 0; i < 59; ++i)
        send({50000.0 + i}, 20);
    interrupt();
    send({50100.0}, 20); // the 60th rising value
    QCOMPARE(m_messages->count(), forgets ? 0 : 1);
    QCOMPARE(window().size(), forgets ? 1 : 60);

    m_messages->clear();
    interrupt();
    m_now = T0 + 30;
    tick();
    QCOMPARE(m_messages->count(), gapMessages);
    QCOMPARE(window().isEmpty(), forgets);
}

// The helpers on runs too short for the slots to test them.
void TestDataCheckerThread::helpersOnShortRuns_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<bool>("monotonic"); // rising and falling alike
    QTest::addColumn<bool>("outOfRange");
    QTest::newRow("empty") << QVector<double>{} << true << false;
    QTest::newRow("one in range") << QVector<double>{50000.0} << true << false;
    QTest::newRow("one above") << QVector<double>{95000.0} << true << true;
    QTest::newRow("two equal") << QVector<double>{50000.0, 50000.0} << false << false;
}

void TestDataCheckerThread::helpersOnShortRuns()
{
    QFETCH(QVector<double>, values);
    QFETCH(bool, monotonic);
    QFETCH(bool, outOfRange);
    QVector<DataCheckSample> samples;
    for (double v : values)
        samples.append({T0, v});
    QCOMPARE(DataCheckerThread::isStrictlyIncreasing(samples), monotonic);
    QCOMPARE(DataCheckerThread::isStrictlyDecreasing(samples), monotonic);
    QCOMPARE(DataCheckerThread::isStrictlyMonotonic(samples), monotonic);
    QCOMPARE(DataCheckerThread::isOutOfRange(samples), outOfRange);
}

// The program's own timer: started in the watchdog's thread, it runs the no-data check.
void TestDataCheckerThread::timerChecksInItsThread()
{
    m_checker.reset();
    m_checker = std::make_unique<DataCheckerThread>([this] { return m_now.load(); }, &m_state, 20);
    QSignalSpy messages(m_checker.get(), &DataCheckerThread::sig_dataCheckMsg);
    send({50000.0}, 20);
    m_now = T0 + 11;
    QVERIFY(messages.wait(5000));
    QCOMPARE(messages.at(0).at(0).toString(), QString("没有数据发过来，请检查设备"));
    QVERIFY(m_checker->thread() != QThread::currentThread());
    QTimer* timer = m_checker->findChild<QTimer*>();
    QVERIFY(timer);
    QCOMPARE(timer->thread(), m_checker->thread());
}

MAG_TEST_MAIN_CORE(TestDataCheckerThread)
#include "tst_datacheckerthread.moc"
