// Reliability of the upload road: batches sent through an outage of the server
// (down, no answer, 500 with an HTML page) all reach it once it is back, none
// twice, also with a FIFO in the place of a backlog file; a client killed during
// an outage keeps what its ticks brought to disk and uploads its backlog files
// when it starts again.

#include "app/RuntimePaths.h"
#include "services/ServerThread.h"
#include "tests/support/BatchDriver.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/FifoInPlace.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <csignal>

namespace {
constexpr qint64 T = 1765000000000;

// The batch times in the backlog files (plain files only: a FIFO is not read).
QList<qint64> backlogTimes(const QString& logs)
{
    QList<qint64> times;
    const QDir dir(logs);
    for (const QString& name : dir.entryList({"ServerData*.txt"}, QDir::Files)) {
        if (!QFileInfo(dir.filePath(name)).isFile())
            continue;
        QFile file(dir.filePath(name));
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
    std::sort(times.begin(), times.end());
    return times;
}

// The options of the server client run as a child process: fast ticks and uploads.
QStringList driverOptions(const QString& appDir, int rate)
{
    return {"--app-dir",
            appDir,
            "--rate",
            QString::number(rate),
            "--tick-ms",
            "300",
            "--upload-pause-ms",
            "300",
            "--transfer-timeout-ms",
            "2000"};
}

// Takes the times of the "SENT <time>" lines into `sent`; never ends a wait itself.
std::function<bool(const QByteArray&)> sentInto(QList<qint64>* sent)
{
    return [sent](const QByteArray& line) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2 && words[0] == "SENT")
            *sent << words[1].toLongLong();
        return false;
    };
}
} // namespace

class TestServerOutage : public QObject
{
    Q_OBJECT
private slots:
    void outageLosesNothing();
    void fifoAsABacklogFileHoldsNothingUp();
    void killedDuringOutage();
};

void TestServerOutage::outageLosesNothing()
{
    MonitorServer server;
    QVERIFY(server.start());
    // A transfer time-out long enough for a loaded machine, short for the test.
    ServerThread client(FastServerTiming::uploading(300, 2000));
    // One-second batches of 1000 values, sent ten times faster than real time.
    BatchDriver driver(&client, T, 1000, 100);
    QMetaObject::invokeMethod(&client, &ServerThread::slot_init, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), 2, 10000);
    driver.start();
    const QStringList phases{"down", "hang", "error500html", "normal"};
    for (int i = 0; i < phases.size(); ++i) {
        QTRY_VERIFY_WITH_TIMEOUT(driver.sent().size() >= 20 + 30 * i, 20000);
        QVERIFY(server.setMode(phases[i]));
    }
    QTRY_VERIFY_WITH_TIMEOUT(driver.sent().size() >= 140, 20000);
    driver.stop();

    QList<qint64> sent = driver.sent();
    QTRY_COMPARE_WITH_TIMEOUT(server.scalarTimes(), sent, 40000);
    const QJsonObject device = server.device();
    QCOMPARE(device.value("duplicates").toInt(), 0);
    QVERIFY(device.value("viaUpload").toInt() >= 30); // the outage went through the backlog
    QCOMPARE(device.value("scalarValues").toInt(), 1000 * sent.size());
}

void TestServerOutage::fifoAsABacklogFileHoldsNothingUp()
{
    // A FIFO where the first backlog file goes: opened for writing, it would block
    // the client's thread for good, so that nothing more is posted and the client
    // cannot end. In a child process, so that such a fault fails the test, not hangs it.
    MonitorServer server;
    QVERIFY(server.start({"--mode", "down"}));
    const QString appDir = QDir::currentPath() + "/fifo";
    QVERIFY(QDir().mkpath(appDir + "/logs"));
    FifoInPlace fifo(appDir + "/logs/ServerData0.txt");
    QVERIFY(fifo.isValid());
    ChildProcess client;
    client.setErrorOutput(ChildProcess::ErrorOutput::Kept);
    QVERIFY(client.start(MAG_SERVER_DRIVER, driverOptions(appDir, 20) +
                                                QStringList{"--pace-ms", "100", "--count", "40",
                                                            "--first-time", QString::number(T)}));
    QList<qint64> sent;
    const auto readSent = sentInto(&sent);
    // The outage lasts until batches are in a backlog file.
    QTRY_VERIFY_WITH_TIMEOUT(!backlogTimes(appDir + "/logs").isEmpty(), 30000);
    QVERIFY(server.setMode("normal"));
    QVERIFY(client.waitFor(
        [&](const QByteArray& line) { return readSent(line), sent.size() >= 40; }, 30000));

    QTRY_COMPARE_WITH_TIMEOUT(server.scalarTimes(), sent, 60000);
    const QJsonObject device = server.device();
    QCOMPARE(device.value("duplicates").toInt(), 0);
    QVERIFY(device.value("viaUpload").toInt() > 0);
    // Asked to end, it ends; the FIFO is left as it was, and the skip is told.
    QVERIFY(::kill(pid_t(client.pid()), SIGTERM) == 0);
    QVERIFY(client.waitForExit(15000));
    QVERIFY(fifo.stillThere());
    QVERIFY(client.errorOutput().contains("ServerData0.txt is not a plain file"));
}

void TestServerOutage::killedDuringOutage()
{
    MonitorServer server;
    QVERIFY(server.start({"--mode", "down"}));
    const QString appDir = QDir::currentPath() + "/killed";
    const QString driverBinary = MAG_SERVER_DRIVER;
    // One value a batch: a record grows to its size limit only after 2000 batches,
    // so only the tick brings batches to disk here.
    const QStringList common = driverOptions(appDir, 1);

    ChildProcess first;
    QVERIFY(first.start(driverBinary, common + QStringList{"--pace-ms", "50", "--count", "-1",
                                                           "--first-time", QString::number(T)}));
    QList<qint64> sent;
    const auto readSent = sentInto(&sent);
    QVERIFY(first.waitFor([&](const QByteArray& line) { return readSent(line), sent.size() >= 60; },
                          30000));
    // The batches wait in memory for the client's tick, whose timer starts only
    // once the client's thread has set up (network, files): on a busy machine
    // long after the first batches were sent. Killed once the tick has brought
    // 60 batches to disk, while it still sends.
    QTRY_VERIFY_WITH_TIMEOUT(backlogTimes(appDir + "/logs").size() >= 60, 30000);
    first.killHard(); // SIGKILL: no last flush
    QVERIFY(!first.isRunning());
    first.waitFor(readSent, 0);

    // What was on disk: the batches in the order sent, none missing in between.
    // The last may be there without its SENT line: the driver prints it after
    // handing the batch on, and the kill can come in between.
    const QList<qint64> kept = backlogTimes(appDir + "/logs");
    QVERIFY(kept.size() >= 60);
    QVERIFY2(kept.size() <= sent.size() + 1,
             qPrintable(QString("%1 kept, %2 sent").arg(kept.size()).arg(sent.size())));
    QList<qint64> inOrder;
    for (int i = 0; i < kept.size(); ++i)
        inOrder << T + 1000 * i;
    QCOMPARE(kept, inOrder);

    // Started again with the server back: the files it finds are uploaded.
    QVERIFY(server.setMode("normal"));
    ChildProcess second;
    QVERIFY(second.start(driverBinary, common));
    QTRY_COMPARE_WITH_TIMEOUT(server.scalarTimes(), kept, 60000);
    QCOMPARE(server.device().value("duplicates").toInt(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(backlogTimes(appDir + "/logs").isEmpty(), 30000);
}

MAG_TEST_MAIN_CORE(TestServerOutage)
#include "tst_serveroutage.moc"
