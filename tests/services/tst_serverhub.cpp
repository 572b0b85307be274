// The hub with "isServer" 1: the server client and the GPS worker come up, the
// device registers, the GPS stand-in's position is reported, the recorder's
// batches are posted, and the shutdown writes what the client still holds.

#include "app/ParamManager.h"
#include "app/RuntimePaths.h"
#include "app/Settings.h"
#include "services/GPSThread.h"
#include "services/SaveFileThread.h"
#include "services/ServerThread.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>

class TestServerHub : public QObject
{
    Q_OBJECT
private slots:
    void serverAndGpsWithIsServer();
    void recorderBatchesReachTheServer_data();
    void recorderBatchesReachTheServer();

private:
    // The client's intervals shortened, and "isServer" 1 for the hubs made after it.
    static void serverEnabled()
    {
        QVERIFY(FastServerTiming::enableForHubs(FastServerTiming::ticking(200, 3000)));
    }
};

void TestServerHub::serverAndGpsWithIsServer()
{
    MonitorServer server;
    QVERIFY(server.start());
    GpsReceiver gps;
    QCOMPARE(gps.start({"--lat", "-33.8688", "--lon", "151.2093", "--interval-ms", "200"}),
             QString("COM4"));
    serverEnabled();

    ParamManager hub;
    QCOMPARE(hub.m_GPSCom, QString("Com4"));
    ServerThread* client = hub.getServerThread();
    QVERIFY(client);
    QVERIFY(hub.getGPSThread());
    emit hub.sig_initServer();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(server.device().value("gps").toArray().size(), 1, 15000);
    const QJsonObject fix = server.device().value("gps").toArray().at(0).toObject();
    QCOMPARE(fix.value("latitude").toDouble(), -33.8688);
    QCOMPARE(fix.value("longitude").toDouble(), 151.209);

    // The last batch, unsent while the server is down, is on disk after the shutdown.
    QVERIFY(server.setMode("down"));
    const QVector<double> values{1.0, 2.0};
    QMetaObject::invokeMethod(client, "slot_SendServerScalarData", Q_ARG(qint64, 1765000000000),
                              Q_ARG(QVector<double>, values), Q_ARG(int, 2), Q_ARG(int, 500));
    hub.shutdown();
    QVERIFY(!hub.getServerThread());
    QFile backlog(RuntimePaths::logsDir() + "/ServerData0.txt");
    QVERIFY(backlog.open(QIODevice::ReadOnly));
    QVERIFY(backlog.readAll().contains("\"time\": 1765000000000"));
}

void TestServerHub::recorderBatchesReachTheServer_data()
{
    QTest::addColumn<bool>("vector");
    QTest::newRow("scalar batch") << false;
    QTest::newRow("vector batch") << true;
}

// Once the device is online, a batch the recorder hands on is posted: the hub
// connects the recorder to the client.
void TestServerHub::recorderBatchesReachTheServer()
{
    QFETCH(bool, vector);
    MonitorServer server;
    QVERIFY(server.start());
    serverEnabled();
    ParamManager hub;
    ServerThread* client = hub.getServerThread();
    QVERIFY(client);
    emit hub.sig_initServer();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);

    // Not the time of the batch the test above leaves in the backlog, which the
    // client uploads once online.
    constexpr qint64 time = 1765000123000;
    SaveFileThread* recorder = hub.getSaveFileThread();
    QMetaObject::invokeMethod(
        recorder,
        [recorder, vector] {
            if (vector) {
                XYZST sample;
                sample.sValue = 50000.0;
                emit recorder->sig_SendServerVectorData(time, QVector<XYZST>(2, sample), 111, 9);
            } else {
                emit recorder->sig_SendServerData(time, {1.0, 2.0}, 2, 500);
            }
        },
        Qt::BlockingQueuedConnection);
    if (vector) {
        QTRY_VERIFY_WITH_TIMEOUT(
            server.device().value("vectorSampleTimes").toArray().contains(double(time + 9)), 10000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(server.scalarTimes().contains(time), 10000);
    }
    hub.shutdown();
}

MAG_TEST_MAIN_CORE(TestServerHub)
#include "tst_serverhub.moc"
