// The "FID" mode end to end: the virtual instrument (a child process on a
// pseudo-terminal) sends vector or FID frames computed from a known field; the
// transport's record handler, chosen through its test hook, and the decoder in
// their threads must give back what the instrument wrote to its record log,
// record by record, also when bytes are lost, records damaged and status replies
// land among the frames.

#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "device/ModbusManager.h"
#include "device/ModbusWorkThread.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/RecordLog.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

#include <algorithm>
#include <cmath>

namespace {

constexpr int LinkTimeoutMs = 20000;

using RecordLog::near;
using RecordLog::text;
using RecordLog::Truth;

// What the pages, the recorder and the server client would receive.
class Receiver : public QObject
{
    Q_OBJECT
public:
    explicit Receiver(ModbusDataHandler* handler)
    {
        connect(handler, &ModbusDataHandler::sig_saveVectorXYZS, this,
                [this](const FIDVectorNum& n, const QDateTime&) { records << n; });
        connect(handler, &ModbusDataHandler::sig_updateVectorForm, this,
                [this](const FIDVectorData& d) { forms << d; });
        connect(handler, &ModbusDataHandler::sig_updateForm, this,
                [this](const QVector<double>& values, FrequencyType rate) {
                    batches << values;
                    rates << int(rate);
                });
        connect(handler, &ModbusDataHandler::sig_updateProgress, this,
                [this](int status) { statuses << status; });
    }

    QList<FIDVectorNum> records;
    QList<FIDVectorData> forms;
    QList<QVector<double>> batches;
    QList<int> rates;
    QList<int> statuses;
};

// The transport, decoder and scheduler as the hub wires them, against the
// instrument; the transport's hook picks the record handler before the stream
// start.
class Road
{
public:
    Road() : pages(&handler)
    {
        QObject::connect(&scheduler, &ModbusWorkThread::sig_connectDevice, &transport,
                         &ModbusManager::slots_connectDevice);
        QObject::connect(&scheduler, &ModbusWorkThread::sig_readData, &transport,
                         &ModbusManager::slots_readData, Qt::QueuedConnection);
        QObject::connect(&transport, &ModbusManager::sig_readDataFinished, &handler,
                         &ModbusDataHandler::slots_readDataFinished);
    }

    bool start(const QString& port, ModbusAddr handlerFor)
    {
        QSignalSpy connected(&transport, &ModbusManager::sig_connected);
        emit scheduler.sig_connectDevice(port, 921600);
        if (!connected.wait(LinkTimeoutMs))
            return false;
        QMetaObject::invokeMethod(&transport, "slots_selectBufferHandlerForTest",
                                  Qt::QueuedConnection, Q_ARG(ModbusAddr, handlerFor));
        scheduler.slots_sendModbusData(AddrStartStream);
        return true;
    }

    ModbusManager transport;
    ModbusDataHandler handler;
    ModbusWorkThread scheduler;
    Receiver pages;
};

} // namespace

class TestVectorRoadInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerHubMetaTypes(); }
    void vectorRecords_data();
    void vectorRecords();
    void fidFrequencies();
};

void TestVectorRoadInstrument::vectorRecords_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("clean line") << QStringList();
    QTest::newRow("lost bytes, damaged records, status replies") << QStringList{
        "--lose-byte", "every:9", "--corrupt-records", "every:5", "--status-in-stream", "every:7"};
}

void TestVectorRoadInstrument::vectorRecords()
{
    QFETCH(QStringList, faults);
    const QString logPath = QDir::current().absoluteFilePath("vector-records.txt");
    InstrumentProcess instrument;
    const QString port = instrument.start(
        QStringList{"--start-status", "4", "--fid", "vector", "--record-log", logPath} + faults);
    QVERIFY2(!port.isEmpty(), "the virtual instrument did not come up");

    SharedState::instance().setVectorTimeSpan(1);
    Road road;
    QVERIFY(road.start(port, AddrVectorFid));
    const Receiver& pages = road.pages;
    // About 3 s of records at 111 a second.
    QTRY_VERIFY_WITH_TIMEOUT(pages.records.size() >= 320, LinkTimeoutMs);
    instrument.stop();
    const QVector<Truth> truths = RecordLog::read(logPath);

    // The first record is one the instrument sent; from there every record sent
    // comes back in order, none added: a frame that lost a byte is missing whole,
    // a damaged record comes back invalid and all else within 0.01 nT.
    const QList<FIDVectorNum> records = pages.records;
    const auto values = [](const FIDVectorNum& n) { return QVector<double>{n.x, n.y, n.z, n.s}; };
    int t = 0;
    while (t < truths.size() && !near(truths[t].values, values(records.first())))
        ++t;
    QVERIFY2(t < truths.size(), qPrintable(text(values(records.first()))));
    QVERIFY2(t < 8, "more than the first two frames went missing");
    int invalid = 0;
    int lost = 0;
    QVector<double> validS;
    for (const FIDVectorNum& n : records) {
        while (t < truths.size() && truths[t].lostByte) {
            ++t;
            ++lost;
        }
        QVERIFY2(t < truths.size(), "a record that the instrument did not send");
        const Truth& truth = truths[t++];
        if (truth.corrupt) {
            QVERIFY2(!n.valid, qPrintable(QString("record %1").arg(truth.index)));
            ++invalid;
            for (const double v : values(n))
                QVERIFY(std::isfinite(v));
            continue;
        }
        QVERIFY2(n.valid && near(values(n), truth.values),
                 qPrintable(QString("record %1: %2 for %3")
                                .arg(truth.index)
                                .arg(text(values(n)), text(truth.values))));
        validS << n.s;
    }

    // The vector page's members and the 111 Hz batches hold the valid records.
    QVector<double> formS;
    for (const FIDVectorData& d : pages.forms) {
        QCOMPARE(d.x.size(), d.s.size());
        formS += d.s;
    }
    QVector<double> batchS;
    for (int i = 0; i < pages.batches.size(); ++i) {
        QCOMPARE(pages.rates[i], 111);
        batchS += pages.batches[i];
    }
    QCOMPARE(formS.mid(0, validS.size()), validS);
    QCOMPARE(batchS.mid(0, validS.size()), validS);
    // One-second windows (the vector page's span) are full: spectra of all four.
    const FIDVectorData& last = pages.forms.last();
    QVERIFY(last.hasSpectra);
    for (const QVector<double>* amps : {&last.xAsd, &last.yAsd, &last.zAsd, &last.sAsd}) {
        QCOMPARE(amps->size(), 56);
        QVERIFY(std::all_of(amps->cbegin(), amps->cend(),
                            [](double a) { return std::isfinite(a) && a >= 0.0; }));
    }

    if (faults.isEmpty()) {
        QCOMPARE(invalid, 0);
        QCOMPARE(lost, 0);
        QVERIFY(pages.statuses.isEmpty());
    } else {
        QVERIFY(invalid > 0);
        QVERIFY(lost > 0);
        // The status replies among the frames reach the main page's light.
        QVERIFY(!pages.statuses.isEmpty());
        QVERIFY(std::all_of(pages.statuses.cbegin(), pages.statuses.cend(),
                            [](int s) { return s == 4; }));
    }
}

void TestVectorRoadInstrument::fidFrequencies()
{
    const QString logPath = QDir::current().absoluteFilePath("fid-records.txt");
    InstrumentProcess instrument;
    const QString port =
        instrument.start({"--start-status", "4", "--fid", "scalar", "--record-log", logPath});
    QVERIFY2(!port.isEmpty(), "the virtual instrument did not come up");

    Road road;
    QVERIFY(road.start(port, AddrFid));
    const Receiver& pages = road.pages;
    // Handed out a second at a time as pieces of 50 at 1000 Hz.
    QTRY_VERIFY_WITH_TIMEOUT(pages.batches.size() >= 50, LinkTimeoutMs);
    instrument.stop();
    const QVector<Truth> truths = RecordLog::read(logPath);

    QVector<double> values;
    for (int i = 0; i < pages.batches.size(); ++i) {
        QCOMPARE(pages.rates[i], 1000);
        QCOMPARE(pages.batches[i].size(), 50);
        values += pages.batches[i];
    }
    int t = 0;
    while (t < truths.size() && !near(truths[t].values, {values.first()}))
        ++t;
    QVERIFY2(t < 30, qPrintable(QString::number(values.first(), 'f', 4)));
    for (int i = 0; i < values.size(); ++i, ++t) {
        QVERIFY(t < truths.size());
        QVERIFY2(near(truths[t].values, {values[i]}), qPrintable(QString("value %1: %2 for %3")
                                                                     .arg(i)
                                                                     .arg(values[i], 0, 'f', 4)
                                                                     .arg(text(truths[t].values))));
    }
    QVERIFY(pages.records.isEmpty());
}

MAG_TEST_MAIN_CORE(TestVectorRoadInstrument)
#include "tst_vectorroad_instrument.moc"
