#include "app/SharedState.h"
#include "tests/support/TestMain.h"

class TestSharedState : public QObject
{
    Q_OBJECT
private slots:
    void initialValues();
    void statusPoll_data();
    void statusPoll();
    void vectorRequestIsOneShot();
};

void TestSharedState::initialValues()
{
    SharedState state;
    QCOMPARE(state.vectorTimeSpan(), 0);
    QCOMPARE(state.resyncTime(), true);
    QCOMPARE(state.vectorRequest(), false);
    QCOMPARE(state.deviceStatus().status, -1);
    QCOMPARE(state.deviceStatus().time, qint64(0));
    QCOMPARE(state.deviceStatus().valid, false);
    QCOMPARE(state.lightStatus(), 0);
    QCOMPARE(&SharedState::instance(), &SharedState::instance());
}

void TestSharedState::statusPoll_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<qint64>("age"); // seconds between the status and the tick
    QTest::addColumn<ModbusAddr>("request");
    QTest::addColumn<bool>("keptValid");
    QTest::newRow("nothing stored") << false << qint64(0) << Addr40118Status << false;
    QTest::newRow("same second") << true << qint64(0) << Addr40100Params << true;
    QTest::newRow("4 s old") << true << qint64(4) << Addr40100Params << true;
    QTest::newRow("5 s old") << true << qint64(5) << Addr40100Params << true;
    QTest::newRow("6 s old") << true << qint64(6) << Addr40118Status << false;
    QTest::newRow("an hour old") << true << qint64(3600) << Addr40118Status << false;
}

void TestSharedState::statusPoll()
{
    QFETCH(bool, stored);
    QFETCH(qint64, age);
    QFETCH(ModbusAddr, request);
    QFETCH(bool, keptValid);
    const qint64 t = 1700000000;
    SharedState state;
    if (stored)
        state.setDeviceStatus({2, t, true});
    if (request == Addr40100Params)
        QTest::ignoreMessage(QtDebugMsg, "status123_GetData");
    QCOMPARE(state.statusPollRequest(t + age), request);
    const DeviceStatus after = state.deviceStatus();
    QCOMPARE(after.valid, keptValid);
    QCOMPARE(after.status, keptValid ? 2 : -1);
    QCOMPARE(after.time, keptValid ? t : 0);
}

void TestSharedState::vectorRequestIsOneShot()
{
    SharedState state;
    QCOMPARE(state.takeVectorRequest(), false);
    state.setVectorRequest(true);
    QCOMPARE(state.takeVectorRequest(), true);
    QCOMPARE(state.takeVectorRequest(), false);
}

MAG_TEST_MAIN_CORE(TestSharedState)
#include "tst_sharedstate.moc"
