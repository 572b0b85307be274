// The instrument link end to end: the hub with its real workers, over a
// pseudo-terminal, against the virtual instrument run as a child process. A small
// stand-in plays the main page's part of the link-up (connect, parameter block,
// identity, status poll, stream start) and of the reset after a lost line.

#include "app/Logger.h"
#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/ModbusManager.h"
#include "device/ModbusWorkThread.h"
#include "tests/support/DebugLines.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>

namespace {
// Serial number registers of the virtual instrument: 40000 = 0117, 40001 = 2406.
const QString InstrumentSerial = QStringLiteral("24060117");
// Generous bound for anything the instrument does within a few poll ticks.
constexpr int LinkTimeoutMs = 20000;
// A status poll faster than the program's once a second, for tests that only
// need the link up; short enough to save seconds, long enough that a reply is
// handled before the next tick even on a busy machine.
constexpr int FastPollMs = 300;

// The main page's part of the link, reduced to what drives the instrument.
class PageStandIn : public QObject
{
    Q_OBJECT
public:
    explicit PageStandIn(ParamManager* hub) : m_hub(hub)
    {
        connect(hub, &ParamManager::sig_connected, this, [this] {
            m_hub->requestDeviceParams();
            QTimer::singleShot(200, this,
                               [this] { emit m_hub->sig_sendModbusData(Addr40000Identity); });
        });
        connect(hub, &ParamManager::sig_updateSerialNumber, this, [this](const QString& serial) {
            serialNumber = serial;
            emit m_hub->sig_devStatusWorkerStart();
        });
        connect(hub, &ParamManager::sig_updateFormParam, this, [this] { events << "P"; });
        connect(hub, &ParamManager::sig_updateProgress, this, [this](int status) {
            events << QStringLiteral("S%1").arg(status);
            if (status >= 1 && status <= 3)
                SharedState::instance().setDeviceStatus(
                    {status, QDateTime::currentSecsSinceEpoch(), true});
            if (status == 4 && !m_hub->isDeviceReady()) {
                emit m_hub->sig_devStatusWorkerStop();
                m_hub->setDeviceReady(true);
                emit m_hub->sig_sendModbusData(AddrStartStream);
                m_hub->setStreamStarted(true);
            }
        });
        connect(hub, &ParamManager::sig_updateForm, this,
                [this](const QVector<double>& values, FrequencyType rate) {
                    batches << values;
                    rates << int(rate);
                });
        connect(hub, &ParamManager::sig_disconnect, this, [this] {
            // The reset road: stop polling, close the port, reset the decoder.
            if (m_hub->isDeviceReady())
                emit m_hub->sig_sendModbusData(AddrStopStream);
            else
                emit m_hub->sig_devStatusWorkerStop();
            m_hub->rebootDevice();
        });
    }

    void connectTo(const QString& portName)
    {
        emit m_hub->getModbusWorkThread()->sig_connectDevice(portName, 921600);
    }

    QStringList events;
    QString serialNumber;
    QList<QVector<double>> batches;
    QList<int> rates;

private:
    ParamManager* m_hub;
};

QString logText()
{
    QFile file(Logger::instance()->currentFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
} // namespace

class TestModbusLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // No instrument of another test may answer here (the launchers set their own).
        qputenv("MAG_PORT_DIR", QDir::current().filePath("ports").toLocal8Bit());
    }
    void init() { SharedState::instance().clearDeviceStatus(); }

    void linkUpToStreaming()
    {
        InstrumentProcess instrument;
        instrument.keepErrorOutput(); // what it saw and sent
        QVERIFY(!instrument.start({"--verbose", "--lock-step-ms", "1500"}).isEmpty());
        ParamManager hub;
        PageStandIn page(&hub);
        QSignalSpy connected(&hub, &ParamManager::sig_connected);
        QSignalSpy progressEx(&hub, &ParamManager::sig_updateProgressEx);
        // What the transport hands the decoder, seen from this thread (queued).
        QList<QPair<int, int>> replies; // selector, length
        connect(hub.getModbusManager(), &ModbusManager::sig_readDataFinished, &page,
                [&replies](ModbusAddr addr, const QByteArray& data) {
                    replies << qMakePair(int(addr), data.size());
                });
        page.connectTo(instrument.portName());

        QVERIFY(connected.wait(LinkTimeoutMs));
        QTRY_COMPARE_WITH_TIMEOUT(page.serialNumber, InstrumentSerial, LinkTimeoutMs);
        QVERIFY(page.events.startsWith("P")); // the parameter block comes first
        QTRY_VERIFY_WITH_TIMEOUT(page.batches.size() >= 3, 3 * LinkTimeoutMs);

        // While the device locks, each status tick reads the parameter block instead.
        const QStringList& e = page.events;
        const int firstLocking = e.indexOf(QRegularExpression("S[123]"));
        QVERIFY2(firstLocking > 0, qPrintable(e.join(' ')));
        QCOMPARE(e.value(firstLocking + 1), QString("P"));
        QCOMPARE(e.mid(firstLocking + 1, 5), (QStringList{"P", "P", "P", "P", "P"}));
        QCOMPARE(e.last(), QString("S4"));
        QCOMPARE(e.count("S4"), 1); // the poll stops at 4

        QVERIFY(instrument.errorOutput().contains("RX AB 01 04 7D 00 00 64 E8 5C")); // stream start
        // Stream frames reached the decoder: 50 samples of ~50 000 nT a frame, at 1000 Hz.
        QCOMPARE(page.batches.first().size(), 50);
        QCOMPARE(page.rates.first(), 1000);
        QVERIFY2(qAbs(page.batches.last().last() - 50000.0) < 1000.0,
                 qPrintable(QString::number(page.batches.last().last())));
        QCOMPARE(replies.first(), qMakePair(int(Addr40100Params), 253));
        QVERIFY(replies.contains(qMakePair(int(Addr40000Identity), 205)));
        QVERIFY(replies.contains(qMakePair(int(Addr40118Status), 7)));
        QCOMPARE(replies.last(), qMakePair(int(AddrStreamData), 209)); // stream frames as 6
        QVERIFY(!progressEx.isEmpty());
        QCOMPARE(progressEx.last().at(0).toInt(), 4);
        hub.shutdown();
    }

    void faultyReplyIsDroppedAndLinkRecovers_data()
    {
        QTest::addColumn<QStringList>("faultArgs");
        QTest::addColumn<QString>("logged");

        // Replies count from 1: parameter block, identity block, then the first status.
        QTest::newRow("stray byte before status")
            << QStringList{"--stray-bytes", "3"} << "wrong device address";
        QTest::newRow("exception reply")
            << QStringList{"--exception-on", "40118@2"} << "exception reply, code 4";
        QTest::newRow("CRC error") << QStringList{"--bad-crc", "3"} << "CRC error";
    }
    void faultyReplyIsDroppedAndLinkRecovers()
    {
        QFETCH(QStringList, faultArgs);
        QFETCH(QString, logged);

        const int logBefore = logText().size(); // one log file for all rows
        InstrumentProcess instrument;
        QVERIFY(!instrument.start(QStringList{"--start-status", "4"} + faultArgs).isEmpty());
        ParamManager hub;
        hub.getModbusWorkThread()->setPollInterval(FastPollMs);
        PageStandIn page(&hub);
        page.connectTo(instrument.portName());

        QTRY_VERIFY_WITH_TIMEOUT(!page.batches.isEmpty(), 2 * LinkTimeoutMs);
        QCOMPARE(page.serialNumber, InstrumentSerial);
        // The damaged status reply never reached the decoder; the next poll did.
        QCOMPARE(page.events.filter(QRegularExpression("^S")).value(0), QString("S4"));
        QVERIFY2(logText().mid(logBefore).contains(logged), qPrintable(logged));
        hub.shutdown();
    }

    void lineClosedResetsOnce()
    {
        const int logBefore = logText().size();
        InstrumentProcess instrument; // closes the line 3 s after the first request
        QVERIFY(!instrument.start({"--start-status", "4", "--close-after", "3"}).isEmpty());
        ParamManager hub;
        hub.getModbusWorkThread()->setPollInterval(FastPollMs);
        PageStandIn page(&hub);
        QSignalSpy lost(&hub, &ParamManager::sig_disconnect);
        page.connectTo(instrument.portName());

        QTRY_VERIFY_WITH_TIMEOUT(!page.batches.isEmpty(), 2 * LinkTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, LinkTimeoutMs);
        QVERIFY(!hub.isDeviceReady());
        QVERIFY(!hub.isStreamStarted());

        // The port is closed: a request is reported, not written. By then the
        // transport has handled all that the dead line raised, and its reports are here.
        emit hub.sig_sendModbusData(Addr40118Status);
        QTRY_VERIFY_WITH_TIMEOUT(logText().mid(logBefore).contains("serialPort is not open"),
                                 LinkTimeoutMs);
        QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 1); // exactly once
        hub.shutdown();
    }

    // The hub's client-road signals reach the transport, whose Modbus client reads
    // and writes the instrument's registers one operation after the other, and
    // hands the port back to the raw path for raw frames and upgrade data.
    void clientRoadThroughTheHub()
    {
        InstrumentProcess instrument;
        instrument.keepErrorOutput();
        QVERIFY(!instrument.start({"--verbose", "--start-status", "4"}).isEmpty());
        ParamManager hub;
        ModbusWorkThread* const scheduler = hub.getModbusWorkThread();
        QSignalSpy connected(&hub, &ParamManager::sig_connected);
        emit scheduler->sig_connectDevice(instrument.portName(), 921600);
        QVERIFY(connected.wait(LinkTimeoutMs));
        {
            // The client road hands nothing on: what it read is on the debug output.
            DebugLines debug;
            emit scheduler->sig_readModbus(40118, 1);
            QTRY_VERIFY_WITH_TIMEOUT(debug.said("Register 40118 = 4"), LinkTimeoutMs);
            emit scheduler->sig_writeModbus(40119, 2);
            QTRY_VERIFY_WITH_TIMEOUT(debug.said("Write operation completed successfully"),
                                     LinkTimeoutMs);
            emit scheduler->sig_readModbus(40119, 1);
            QTRY_VERIFY_WITH_TIMEOUT(debug.said("Register 40119 = 2"), LinkTimeoutMs);

            // Raw frames and upgrade data go out on the raw port again.
            emit scheduler->sig_readModbusData("AB01067D000064919C");
            const QByteArray upgrade(3000, char(0x5A));
            emit hub.sig_sendUpgradeData(upgrade);
            QTRY_VERIFY_WITH_TIMEOUT(instrument.errorOutput().contains("RX AB 01 06 7D 00 00 64"),
                                     LinkTimeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(instrument.errorOutput().count("5A") >= upgrade.size(),
                                     LinkTimeoutMs);
        }

        // And the raw path carries on: a status read reaches the decoder.
        QSignalSpy progress(&hub, &ParamManager::sig_updateProgress);
        emit hub.sig_sendModbusData(Addr40118Status);
        QVERIFY(progress.wait(LinkTimeoutMs));
        QCOMPARE(progress.first().first().toInt(), 4);
        hub.shutdown();
    }

    void openFailureIsReported()
    {
        ParamManager hub;
        QSignalSpy connected(&hub, &ParamManager::sig_connected);
        QSignalSpy failed(&hub, &ParamManager::sig_connectFailed);
        emit hub.getModbusWorkThread()->sig_connectDevice("COM77", 921600);
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("SerialPort  COM77 open failed"),
                                 LinkTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, LinkTimeoutMs);
        QCOMPARE(failed.at(0).at(0).toString(), QString("COM77"));
        QVERIFY(!failed.at(0).at(1).toString().isEmpty());
        QCOMPARE(connected.count(), 0);
        hub.shutdown();
    }
};

MAG_TEST_MAIN(TestModbusLink)
#include "tst_modbuslink.moc"
