// Reliability of the upload road: batches sent through an outage of the server
// (down, no answer, 500 with an HTML page) all reach it once it is back, none
// twice; a client killed during an outage loses at most the last tick's batches
// and uploads its backlog files when it starts again.

#include "app/RuntimePaths.h"
#include "services/ServerThread.h"
#include "tests/support/BatchDriver.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {
constexpr qint64 T = 1765000000000;

QList<qint64> backlogTimes(const QString& logs)
{
    QList<qint64> times;
    const QDir dir(logs);
    for (const QString& name : dir.entryList({"ServerData*.txt"}, QDir::Files)) {
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
} // namespace

class TestServerOutage : public QObject
{
    Q_OBJECT
private slots:
    void outageLosesNothing();
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

void TestServerOutage::killedDuringOutage()
{
    MonitorServer server;
    QVERIFY(server.start({"--mode", "down"}));
    const QString appDir = QDir::currentPath() + "/killed";
    const QString driverBinary = MAG_SERVER_DRIVER;
    const QStringList common{"--app-dir",
                             appDir,
                             "--rate",
                             "20",
                             "--tick-ms",
                             "300",
                             "--upload-pause-ms",
                             "300",
                             "--transfer-timeout-ms",
                             "2000"};
    const int tickMs = 300, paceMs = 50;

    ChildProcess first;
    QVERIFY(first.start(driverBinary,
                        common + QStringList{"--pace-ms", QString::number(paceMs), "--count", "-1",
                                             "--first-time", QString::number(T)}));
    QList<qint64> sent;
    const auto readSent = [&sent](const QByteArray& line) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2 && words[0] == "SENT")
            sent << words[1].toLongLong();
        return false; // every line
    };
    QVERIFY(first.waitFor([&](const QByteArray& line) { return readSent(line), sent.size() >= 60; },
                          30000));
    first.killHard(); // SIGKILL: no last flush
    QVERIFY(!first.isRunning());
    first.waitFor(readSent, 0);

    // What was on disk: everything but the batches of the last tick.
    const QList<qint64> kept = backlogTimes(appDir + "/logs");
    QVERIFY(!kept.isEmpty());
    QCOMPARE(sent.mid(0, kept.size()), kept);
    const int lost = sent.size() - kept.size();
    QVERIFY2(lost <= tickMs / paceMs + 2, qPrintable(QString("%1 batches lost").arg(lost)));

    // Started again with the server back: the files it finds are uploaded.
    QVERIFY(server.setMode("normal"));
    ChildProcess second;
    QVERIFY(second.start(driverBinary, common));
    QTRY_COMPARE_WITH_TIMEOUT(server.scalarTimes(), kept, 30000);
    QCOMPARE(server.device().value("duplicates").toInt(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(backlogTimes(appDir + "/logs").isEmpty(), 10000);
}

MAG_TEST_MAIN_CORE(TestServerOutage)
#include "tst_serveroutage.moc"
