// A server outage in the middle of a run, on the real road: the virtual instrument
// streams at 1000 Hz through the hub, the main page's link-up, the save page's
// one-second gathering and the recorder into the server client. Down, then no
// answer, then 500 with an HTML page: once the server is back, every batch the
// recorder emitted is on it (the outage through the backlog uploads), none twice.

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "services/SaveFileThread.h"
#include "services/SaveModuleForm.h"
#include "services/ServerThread.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"

#include <algorithm>

class TestServerOutageInstrument : public QObject
{
    Q_OBJECT
private slots:
    void outageInTheMiddleOfARun();
};

void TestServerOutageInstrument::outageInTheMiddleOfARun()
{
    MonitorServer server;
    QVERIFY(server.start());
    InstrumentProcess instrument;
    const QString port = instrument.start({"--lock-step-ms", "300", "--seed", "31"});
    QVERIFY2(!port.isEmpty(), "the virtual instrument published no port");

    // The hang phase's posts fail within the transfer time-out.
    QVERIFY(FastServerTiming::enableForHubs(FastServerTiming::uploading(500, 3000)));
    QVERIFY(Settings::writeValue(Settings::configPath(), "Server", "GPSCom", QString()));

    ParamManager hub;
    MainModuleForm mainPage(&hub);
    SaveModuleForm savePage(&hub);
    ServerThread* client = hub.getServerThread();
    QVERIFY(client);
    QList<qint64> emitted; // every batch time the recorder handed to the client
    QObject sink;          // goes first: no late batch reaches `emitted` once it is gone
    connect(hub.getSaveFileThread(), &SaveFileThread::sig_SendServerData, &sink,
            [&emitted](qint64 time) { emitted << time; });
    emit hub.sig_initServer();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 10000);

    mainPage.slot_handleActionTriggered(port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(emitted.size() >= 3, 10000);
    // Four seconds of each phase. First the data path alone fails while heartbeats
    // keep the client online, so that posts meet each fault; then the whole server
    // goes, and the client keeps the batches until it is back.
    const QList<QPair<QString, QString>> phases{{"hang", "sensor/data"},
                                                {"error500html", "sensor/data"},
                                                {"down", ""},
                                                {"hang", ""},
                                                {"error500html", ""},
                                                {"normal", ""}};
    for (const auto& phase : phases) {
        const int before = emitted.size();
        QVERIFY(server.setMode(phase.first, phase.second));
        QTRY_VERIFY_WITH_TIMEOUT(emitted.size() >= before + 4, 10000);
    }
    instrument.stop(); // the stream ends; batches still on their way are compared too

    auto sortedEmitted = [&emitted] {
        QList<qint64> times = emitted;
        std::sort(times.begin(), times.end());
        return times;
    };
    QTRY_COMPARE_WITH_TIMEOUT(server.scalarTimes(), sortedEmitted(), 30000);
    const QList<qint64> times = sortedEmitted();
    QVERIFY(std::adjacent_find(times.cbegin(), times.cend()) == times.cend());
    const QJsonObject device = server.device();
    QCOMPARE(device.value("duplicates").toInt(), 0);
    QCOMPARE(device.value("scalarValues").toInt(), 1000 * times.size());
    QVERIFY2(
        device.value("viaUpload").toInt() >= 16, // five phases of four batches
        qPrintable(QString("%1 batches through uploads").arg(device.value("viaUpload").toInt())));
}

MAG_TEST_MAIN(TestServerOutageInstrument)
#include "tst_serveroutage_instrument.moc"
