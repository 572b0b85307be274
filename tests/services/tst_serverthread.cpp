// The server client against the monitoring-server stand-in: the connection
// states, the fault modes, the backlog round trip, the status report and the
// last flush.

#include "app/RuntimePaths.h"
#include "app/Settings.h"
#include "services/ServerBodies.h"
#include "services/ServerThread.h"
#include "tests/support/BatchDriver.h"
#include "tests/support/DebugLines.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QMutex>

namespace {
const QString Guid = "5f0c2e9a-71b4-4d3e-9a6c-2b8e4f1d7c30";
constexpr qint64 T = 1765000000000;

// A transfer time-out long enough for a loaded machine, short for the tests.
ServerThread::Timing fastTiming()
{
    return FastServerTiming::uploading(200, 1500);
}

template <typename F> auto inServer(ServerThread* server, F f)
{
    decltype(f()) result{};
    QMetaObject::invokeMethod(
        server, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

QString serverIni()
{
    return RuntimePaths::logsDir() + "/server.ini";
}

// Batch times in the backlog files, in file order.
QList<qint64> backlogTimes()
{
    QList<qint64> times;
    const QDir logs(RuntimePaths::logsDir());
    for (const QString& name : logs.entryList({"ServerData*.txt"}, QDir::Files, QDir::Name)) {
        QFile file(logs.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QJsonObject data = o.value("sensorData").toObject();
            const int rate = data.value("samplingRate").toInt();
            const int n = data.value("values").toArray().size();
            for (int i = 0; rate > 0 && i < n; i += rate)
                times << qint64(o.value("time").toDouble()) + (i / rate) * 1000;
        }
    }
    return times;
}

// The client's lines about spells of failed or kept batches.
QStringList spellLines(const DebugLines& debug)
{
    QStringList spells;
    for (const QString& line : debug.all())
        for (const char* start : {"un success save", "no guid save", "data posts accepted"})
            if (line.startsWith(QLatin1String(start)))
                spells << line;
    return spells;
}

bool containsAll(const QList<qint64>& have, const QList<qint64>& wanted)
{
    for (const qint64 t : wanted)
        if (!have.contains(t))
            return false;
    return true;
}
} // namespace

class TestServerThread : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void stateTable_data();
    void stateTable();
    void guidOfAnotherForm_data();
    void guidOfAnotherForm();
    void oneLineForASpellOfFailures_data();
    void oneLineForASpellOfFailures();
    void failedPostsReachTheServerLater_data();
    void failedPostsReachTheServerLater();
    void refusedFileDoesNotBlockAnother();
    void statusReportOncePerFix();
    void vectorBatchesReachTheServer();
    void lastFlushAtShutdown_data();
    void lastFlushAtShutdown();

private:
    ServerThread* startClient(const QString& storedGuid);
    QScopedPointer<MonitorServer> m_server;
    QScopedPointer<ServerThread> m_client;
};

void TestServerThread::init()
{
    QDir(RuntimePaths::logsDir()).removeRecursively();
    QDir().mkpath(RuntimePaths::logsDir());
    m_server.reset(new MonitorServer);
    QVERIFY(m_server->start());
}

void TestServerThread::cleanup()
{
    m_client.reset();
    m_server.reset();
}

ServerThread* TestServerThread::startClient(const QString& storedGuid)
{
    if (!storedGuid.isEmpty())
        Settings::writeValue(serverIni(), "Server", "GUID", storedGuid);
    m_client.reset(new ServerThread(fastTiming()));
    return m_client.data();
}

void TestServerThread::stateTable_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("begins"); // sig_beginGPS and the timer
    const QString arbitrary(36, 'x');
    QTest::newRow("stored GUID: heartbeat, online") << Guid << "normal" << 2 << true;
    QTest::newRow("no GUID: registration, online") << ""
                                                   << "normal" << 2 << true;
    QTest::newRow("abc: idle for the run") << "abc"
                                           << "normal" << 3 << false;
    QTest::newRow("36 characters the server rejects") << arbitrary << "normal" << 3 << true;
    QTest::newRow("32 hex digits the server rejects") << "5f0c2e9a71b44d3e9a6c2b8e4f1d7c30"
                                                      << "normal" << 3 << true;
    QTest::newRow("36 characters with a blank: idle") << "5f0c2e9a-71b4-4d3e-9a6c 2b8e4f1d7c30"
                                                      << "normal" << 3 << false;
    QTest::newRow("65 characters: idle") << QString(65, 'a') << "normal" << 3 << false;
    QTest::newRow("byte-order mark before the JSON") << Guid << "bom" << 2 << true;
    QTest::newRow("success as a string") << Guid << "successstring" << 1 << true;
    QTest::newRow("message: invalid GUID") << Guid << "invalidguid" << 3 << true;
    QTest::newRow("500 with an HTML page") << Guid << "error500html" << 1 << true;
    QTest::newRow("500 with JSON") << Guid << "error500json" << 1 << true;
    QTest::newRow("no answer: transfer time-out") << Guid << "hang" << 1 << true;
    QTest::newRow("registration refused") << ""
                                          << "fail" << 0 << true;
    QTest::newRow("registration hands out no GUID") << ""
                                                    << "badguid" << 0 << true;
    QTest::newRow("server down") << ""
                                 << "down" << 0 << true;
}

void TestServerThread::stateTable()
{
    QFETCH(QString, stored);
    QFETCH(QString, mode);
    QFETCH(int, state);
    QFETCH(bool, begins);
    QVERIFY(m_server->setMode(mode));
    ServerThread* client = startClient(stored);
    QSignalSpy begin(client, &ServerThread::sig_beginGPS);
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::BlockingQueuedConnection);
    QCOMPARE(begin.count(), begins ? 1 : 0);
    // A refusal of the GUID may already have stopped the timer by now.
    if (state != 3 || !begins)
        QCOMPARE(inServer(client, [client] { return client->hasTimer(); }), begins);
    if (!begins) {
        // Nothing was posted, and nothing will be: there is no timer.
        QCOMPARE(inServer(client, [client] { return client->pendingCount(); }), 0);
        QCOMPARE(client->state(), 3);
        return;
    }
    // Two answers in, the first request's and the next tick's (a disabled client
    // sends nothing after the first).
    QTRY_VERIFY_WITH_TIMEOUT(client->repliesHandled() >= (state == 3 ? 1 : 2), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), state, 5000);
    QCOMPARE(inServer(client, [client] { return client->hasTimer(); }), state != 3);

    const QString storedNow = Settings::readString(serverIni(), "Server", "GUID", QString());
    const QJsonArray registered = m_server->state().value("registered").toArray();
    if (stored.isEmpty() && state == 2) {
        QCOMPARE(registered.size(), 1);
        QCOMPARE(storedNow, registered.at(0).toString());
    } else {
        QCOMPARE(storedNow, stored); // only a usable GUID is ever stored
    }
}

void TestServerThread::guidOfAnotherForm_data()
{
    QTest::addColumn<QString>("form");
    QTest::newRow("8-4-4-4-12") << "uuid";
    QTest::newRow("32 hex digits") << "hex32";
}

void TestServerThread::guidOfAnotherForm()
{
    // The GUID is sent back as the server handed it out, and kept for the next run.
    QFETCH(QString, form);
    m_server.reset(new MonitorServer);
    QVERIFY(m_server->start({"--guid-form", form}));
    const QString registerPath = "/api/v1/device/register";
    ServerThread* client = startClient(QString());
    BatchDriver driver(client, T, 20, 1000);
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    for (int i = 0; i < 3; ++i)
        driver.sendOne();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->scalarTimes(), driver.sent(), 10000);
    const QJsonArray registered = m_server->state().value("registered").toArray();
    QCOMPARE(registered.size(), 1);
    const QString guid = registered.at(0).toString();
    QCOMPARE(Settings::readString(serverIni(), "Server", "GUID", QString()), guid);
    QCOMPARE(m_server->state().value("devices").toObject().keys(), QStringList{guid});

    // Started again: the stored GUID is confirmed by a heartbeat, not replaced.
    m_client.reset();
    client = startClient(QString());
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    const int beats = m_server->requests("/api/v1/device/heartbeat");
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requests("/api/v1/device/heartbeat") >= beats + 2, 10000);
    QCOMPARE(client->state(), 2);
    QCOMPARE(m_server->requests(registerPath), 1);
}

// Batches come every second: a spell of failed posts, or of batches kept while
// the heartbeat goes unanswered, gets a line where it begins and one where it ends.
void TestServerThread::oneLineForASpellOfFailures_data()
{
    QTest::addColumn<QString>("refused"); // the endpoint the server refuses for a while
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("data posts refused while online")
        << "sensor/data"
        << QStringList{"un success save", "data posts accepted again after 4 failures"};
    QTest::newRow("batches kept while the heartbeat is refused")
        << "heartbeat" << QStringList{"no guid save", "no guid save: 4 batches kept"};
}

void TestServerThread::oneLineForASpellOfFailures()
{
    QFETCH(QString, refused);
    QFETCH(QStringList, lines);
    DebugLines debug;
    ServerThread* client = startClient(Guid);
    BatchDriver driver(client, T, 20, 1000);
    const bool online = refused != "heartbeat";
    if (!online)
        QVERIFY(m_server->setMode("fail", refused));
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    if (online) {
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
        QVERIFY(m_server->setMode("fail", refused));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(client->repliesHandled() >= 1, 10000);
        QCOMPARE(client->state(), 1);
    }
    for (int i = 0; i < 4; ++i)
        driver.sendOne();
    // Every answer to them is in (an upload may already have taken the kept ones).
    if (online)
        QTRY_VERIFY_WITH_TIMEOUT(m_server->requests("/api/v1/sensor/data") >= 4, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(inServer(client, [client] { return client->pendingCount(); }), 0,
                              10000);
    QCOMPARE(client->state(), online ? 2 : 1);

    QVERIFY(m_server->setMode("normal"));
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    driver.sendOne();
    QTRY_VERIFY_WITH_TIMEOUT(m_server->scalarTimes().contains(driver.sent().last()), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(spellLines(debug), lines, 5000);
}

void TestServerThread::failedPostsReachTheServerLater_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("down") << "down";
    QTest::newRow("no answer") << "hang";
    QTest::newRow("500 with an HTML page") << "error500html";
    QTest::newRow("500 with JSON") << "error500json";
    QTest::newRow("success false") << "fail";
    QTest::newRow("success as a string") << "successstring";
    QTest::newRow("invalid GUID, several replies outstanding") << "invalidguid";
}

void TestServerThread::failedPostsReachTheServerLater()
{
    QFETCH(QString, mode);
    ServerThread* client = startClient(Guid);
    BatchDriver driver(client, T, 20, 1000);
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    QVERIFY(m_server->setMode(mode));
    for (int i = 0; i < 4; ++i)
        driver.sendOne();
    // Every batch is kept, whatever the failure: on disk within a tick or two.
    QTRY_VERIFY_WITH_TIMEOUT(containsAll(backlogTimes(), driver.sent()), 15000);

    if (mode != "invalidguid") {
        // The heartbeat meets the same fault: the client waits for a confirmation.
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), 1, 10000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), 3, 5000);
        QCOMPARE(inServer(client, [client] { return client->hasTimer(); }), false);
        driver.sendOne(); // kept as well, and written at once: no tick will come
        QTRY_VERIFY_WITH_TIMEOUT(containsAll(backlogTimes(), driver.sent()), 5000);
        return;
    }
    QVERIFY(m_server->setMode("normal"));
    driver.sendOne();
    QTRY_VERIFY_WITH_TIMEOUT(containsAll(m_server->scalarTimes(), driver.sent()), 20000);
    const QJsonObject device = m_server->device();
    QCOMPARE(device.value("duplicates").toInt(), 0);
    QVERIFY(device.value("viaUpload").toInt() >= 4);
    // Uploaded files are gone; at most an empty current file is left.
    QTRY_VERIFY_WITH_TIMEOUT(backlogTimes().isEmpty(), 10000);
}

void TestServerThread::refusedFileDoesNotBlockAnother()
{
    // Two backlog files left by an earlier run; the server refuses the first.
    const QString logs = RuntimePaths::logsDir();
    for (int n = 0; n < 2; ++n) {
        QFile file(logs + QString("/ServerData%1.txt").arg(n));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ServerBodies::scalarRecord("MZ", T + n * 10000, QVector<double>(40, 1.0), 20, 50)
                       .toUtf8() +
                   '\n');
    }
    QVERIFY(m_server->setMode("normal", QString(), "ServerData0.txt"));
    ServerThread* client = startClient(Guid);
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->scalarTimes(), QList<qint64>({T + 10000, T + 11000}),
                              15000);
    QVERIFY(!QFile::exists(logs + "/ServerData1.txt"));
    // The refused file stays and is offered again.
    QTRY_VERIFY_WITH_TIMEOUT(m_server->device().value("uploads").toArray().size() >= 3, 15000);
    QVERIFY(QFile::exists(logs + "/ServerData0.txt"));
    QCOMPARE(m_server->scalarTimes(), QList<qint64>({T + 10000, T + 11000}));
    QCOMPARE(m_server->device().value("uploads").toArray().last().toObject().value("file"),
             QJsonValue("ServerData0.txt"));
}

void TestServerThread::statusReportOncePerFix()
{
    ServerThread* client = startClient(Guid);
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    const QString heartbeat = "/api/v1/device/heartbeat";
    const QString status = "/api/v1/device/status/report";
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requests(heartbeat) >= 3, 10000);
    QCOMPARE(m_server->requests(status), 0); // no fix yet: latitude 0 is never reported

    QMetaObject::invokeMethod(client, "slot_GPSData1", Q_ARG(double, 31.2304167),
                              Q_ARG(double, 121.4737), Q_ARG(double, 4.5), Q_ARG(int, 8));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->device().value("gps").toArray().size(), 1, 10000);
    const QJsonObject fix = m_server->device().value("gps").toArray().at(0).toObject();
    QCOMPARE(fix.value("latitude").toDouble(), 31.2304);
    QCOMPARE(fix.value("longitude").toDouble(), 121.474);
    QCOMPARE(fix.value("altitude").toDouble(), 4.5);
    const int beats = m_server->requests(heartbeat);
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requests(heartbeat) >= beats + 3, 10000);
    QCOMPARE(m_server->requests(status), 1);

    // A refused report keeps the fix for the next tick.
    QVERIFY(m_server->setMode("fail", "status"));
    QMetaObject::invokeMethod(client, "slot_GPSData1", Q_ARG(double, -33.5), Q_ARG(double, -70.25),
                              Q_ARG(double, 0.0), Q_ARG(int, 5));
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requests(status) >= 3, 10000);
    QVERIFY(m_server->setMode("normal"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->device().value("gps").toArray().size(), 2, 10000);
    QCOMPARE(m_server->device().value("gps").toArray().at(1).toObject().value("latitude"),
             QJsonValue(-33.5));
}

void TestServerThread::vectorBatchesReachTheServer()
{
    ServerThread* client = startClient(Guid);
    BatchDriver driver(client, T, 20, 1000);
    QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
    const QVector<XYZST> batch(50);
    emit driver.sig_SendServerVectorData(T, batch, 111, 9);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->device().value("vectorSampleTimes").toArray().size(), 50,
                              10000);
    QVERIFY(m_server->setMode("down"));
    emit driver.sig_SendServerVectorData(T + 450, batch, 111, 9);
    emit driver.sig_SendServerVectorData(T + 900, batch, 111, 9);
    QTRY_COMPARE_WITH_TIMEOUT(inServer(client,
                                       [client] {
                                           return client->backlog().bufferedVectorCount() +
                                                  client->pendingCount();
                                       }),
                              0, 10000);
    QVERIFY(m_server->setMode("normal"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->device().value("vectorSampleTimes").toArray().size(), 150,
                              20000);
    const QJsonArray times = m_server->device().value("vectorSampleTimes").toArray();
    QCOMPARE(qint64(times.last().toDouble()), T + 900 + 49 * 9);
    QCOMPARE(m_server->device().value("vectorDuplicates").toInt(), 0);
}

void TestServerThread::lastFlushAtShutdown_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("stateBefore");
    QTest::newRow("buffered while the server is down") << "down" << 1;
    QTest::newRow("post still travelling") << "hang" << 2;
}

void TestServerThread::lastFlushAtShutdown()
{
    QFETCH(QString, mode);
    QFETCH(int, stateBefore);
    ServerThread::Timing slow = fastTiming();
    slow.tickMs = 600000; // no tick writes the buffer here
    slow.transferTimeoutMs = 600000;
    Settings::writeValue(serverIni(), "Server", "GUID", Guid);
    m_client.reset(new ServerThread(slow));
    ServerThread* client = m_client.data();
    BatchDriver driver(client, T, 20, 1000);
    if (mode == "hang") {
        QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);
        QVERIFY(m_server->setMode(mode));
    } else {
        QVERIFY(m_server->setMode(mode));
        QMetaObject::invokeMethod(client, &ServerThread::slot_init, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(client->repliesHandled() >= 1, 10000);
    }
    QCOMPARE(client->state(), stateBefore);
    driver.sendOne();
    driver.sendOne();
    QCOMPARE(inServer(client, [] { return 0; }), 0); // both batches are in
    QVERIFY(backlogTimes().isEmpty());
    client->finish();
    QCOMPARE(backlogTimes(), driver.sent());
}

MAG_TEST_MAIN_CORE(TestServerThread)
#include "tst_serverthread.moc"
