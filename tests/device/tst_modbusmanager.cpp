// Serial transport over a pseudo-terminal that the test plays the instrument on:
// which handler cuts which reply, what a change of request kind drops, that a
// slow write is reported without tearing the link down, and that a run of damaged
// replies costs the log one line.

#include "app/Logger.h"
#include "device/ModbusManager.h"
#include "tests/support/DebugLines.h"
#include "tests/support/FidTestFrames.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/PtyInstrument.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>

#include <memory>

#include <termios.h>

using namespace FidTestFrames;
using namespace ModbusTestFrames;

namespace {
constexpr int TimeoutMs = 10000;

QString logText()
{
    QFile file(Logger::instance()->currentFilePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The table frames, as the scheduler sends them (hexadecimal text).
QByteArray requestText(ModbusAddr addr)
{
    switch (addr) {
    case Addr40118Status:
        return request(1, 0x03, 40118, 1, false).toHex();
    case Addr40100Params:
        return request(1, 0x03, 40100, 124, false).toHex();
    case Addr40230:
        return request(1, 0x03, 40230, 3, false).toHex();
    case AddrStartStream:
        return request(1, 0x04, 32000, 100, true).toHex();
    case AddrStopStream:
        return request(1, 0x06, 32000, 100, true).toHex();
    default:
        return QByteArray();
    }
}

using HandedOn = QList<QPair<int, QByteArray>>; // selector, reply

// Steps that choose a record handler through the transport's test hook.
constexpr int HookVector = -AddrVectorFid;
constexpr int HookFid = -AddrFid;

struct Step
{
    int addr;                  // request sent (a Hook value: the hook called instead)
    QList<QByteArray> replies; // written by the instrument once the request is on the line
    int handedOn;              // replies handed on so far, awaited before the next step (-1: none)
};
} // namespace
Q_DECLARE_METATYPE(QList<Step>)

class TestModbusManager : public QObject
{
    Q_OBJECT
private:
    // The link opened again at `baudRate`, in the transport's thread.
    bool connectAt(int baudRate)
    {
        QSignalSpy connected(m_transport.data(), &ModbusManager::sig_connected);
        QMetaObject::invokeMethod(m_transport.data(), "slots_connectDevice", Qt::QueuedConnection,
                                  Q_ARG(QString, m_pty.device), Q_ARG(int, baudRate));
        return connected.wait(TimeoutMs);
    }

private slots:
    void init()
    {
        QVERIFY(!m_pty.device.isEmpty());
        m_transport.reset(new ModbusManager());
        m_handedOn.clear();
        connect(m_transport.data(), &ModbusManager::sig_readDataFinished, this,
                [this](ModbusAddr addr, const QByteArray& data) {
                    m_handedOn << qMakePair(int(addr), data);
                });
        QVERIFY(connectAt(921600));
    }
    void cleanup() { m_transport.reset(); }

    void repliesByKind_data()
    {
        QTest::addColumn<int>("rate"); // sampling rate adopted first; 0: the 1000 Hz default
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<HandedOn>("expected");

        using L = QList<QByteArray>;
        using H = HandedOn;
        const QByteArray s2 = readReply({2});
        const QByteArray s4 = readReply({4});
        const QByteArray params = readReply(QVector<quint16>(124, 0x1234));
        const QVector<quint32> samples(50, 349791500u);
        const QByteArray f1 = streamFrame(samples, 4);
        const QByteArray f2 = streamFrame(samples, 3);
        const QByteArray f20Hz = streamFrame({349791500u});
        const QByteArray f200Hz = streamFrame(QVector<quint32>(10, 349791500u));

        QTest::newRow("status reply in two pieces")
            << 0 << QList<Step>{{Addr40118Status, L{s4.left(3), s4.mid(3)}, 1}} << H{{2, s4}};
        QTest::newRow("two status replies in one read")
            << 0 << QList<Step>{{Addr40118Status, L{s2 + s4}, 2}} << H{{2, s2}, {2, s4}};
        // The next request is written while the reply's first bytes wait unread.
        QTest::newRow("a poll while a reply is arriving keeps it")
            << 0
            << QList<Step>{{Addr40118Status, L{s4.left(4)}, -1}, {Addr40118Status, L{s4.mid(4)}, 1}}
            << H{{2, s4}};
        QTest::newRow("another kind drops what was left")
            << 0
            << QList<Step>{{Addr40118Status, L{s2 + s4.left(4)}, 1},
                           {Addr40100Params, L{params}, 2},
                           {Addr40118Status, L{s2}, 3}}
            << H{{2, s2}, {3, params}, {2, s2}};
        QTest::newRow("stream frames handed on as 6")
            << 0 << QList<Step>{{AddrStartStream, L{f1 + f2}, 2}} << H{{6, f1}, {6, f2}};
        QTest::newRow("stop keeps the stream handler")
            << 0 << QList<Step>{{AddrStartStream, L{f1}, 1}, {AddrStopStream, L{f2}, 2}}
            << H{{6, f1}, {6, f2}};
        QTest::newRow("a status poll ends the stream handler")
            << 0
            << QList<Step>{{AddrStartStream, L{f1 + f2.left(100)}, 1}, {Addr40118Status, L{s4}, 2}}
            << H{{6, f1}, {2, s4}};
        QTest::newRow("20 Hz frames are 13 bytes")
            << 20 << QList<Step>{{AddrStartStream, L{f20Hz + f20Hz + f20Hz}, 3}}
            << H{{6, f20Hz}, {6, f20Hz}, {6, f20Hz}};
        const QByteArray v1 = numberedVectorFrame(1);
        const QByteArray v2 = numberedVectorFrame(2);
        const QByteArray v3 = numberedVectorFrame(3);
        const QByteArray fid = fidFrame({});
        QTest::newRow("hook: the stream start installs the vector handler")
            << 0
            << QList<Step>{{HookVector, L{}, -1},
                           {AddrStartStream, L{v1 + v2}, 2},
                           {Addr40118Status, L{s4}, 3},
                           {AddrStartStream, L{v3}, 4}}
            << H{{11, v1}, {11, v2}, {2, s4}, {11, v3}};
        QTest::newRow("hook: a running stream goes to the FID handler")
            << 0
            << QList<Step>{{AddrStartStream, L{f1}, 1},
                           {HookFid, L{fid + fid}, 3},
                           {AddrStopStream, L{fid}, 4}}
            << H{{6, f1}, {12, fid}, {12, fid}, {12, fid}};
        QTest::newRow("200 Hz frames are 49 bytes")
            << 200 << QList<Step>{{AddrStartStream, L{f200Hz + f200Hz}, 2}}
            << H{{6, f200Hz}, {6, f200Hz}};
    }
    void repliesByKind()
    {
        QFETCH(int, rate);
        QFETCH(QList<Step>, steps);
        QFETCH(HandedOn, expected);

        const int logBefore = logText().size();
        if (rate > 0)
            QMetaObject::invokeMethod(m_transport.data(), "slots_syncDataByteCount",
                                      Qt::QueuedConnection, Q_ARG(int, rate), Q_ARG(bool, true));
        for (const Step& step : steps) {
            if (step.addr < 0) {
                QMetaObject::invokeMethod(m_transport.data(), "slots_selectBufferHandlerForTest",
                                          Qt::QueuedConnection,
                                          Q_ARG(ModbusAddr, ModbusAddr(-step.addr)));
                // Settled once a request queued behind it has gone out.
                send(AddrRaw30000, request(1, 0x04, 0x7530, 400, true).toHex());
                QVERIFY(m_pty.readUntil(request(1, 0x04, 0x7530, 400, true)));
            } else {
                const QByteArray text = requestText(ModbusAddr(step.addr));
                send(ModbusAddr(step.addr), text);
                // The handler is chosen before the frame is written.
                QVERIFY(m_pty.readUntil(QByteArray::fromHex(text)));
            }
            for (const QByteArray& reply : step.replies)
                m_pty.write(reply);
            // What the next request would drop must have been read by then.
            if (step.handedOn >= 0)
                QTRY_COMPARE_WITH_TIMEOUT(m_handedOn.size(), step.handedOn, TimeoutMs);
        }
        // A last 40230 read: everything handed on before it is in the list.
        const QByteArray last = readReply({7, 8, 9});
        send(Addr40230, requestText(Addr40230));
        QVERIFY(m_pty.readUntil(QByteArray::fromHex(requestText(Addr40230))));
        m_pty.write(last);
        expected << qMakePair(int(Addr40230), last);
        QTRY_VERIFY_WITH_TIMEOUT(!m_handedOn.isEmpty() && m_handedOn.last().first == Addr40230,
                                 TimeoutMs);
        QCOMPARE(m_handedOn, expected);
        // Every request went out: no write was reported as failed.
        QVERIFY(!logText().mid(logBefore).contains("SerialPort operation failed"));
    }

    // A line that takes no bytes for a while is no lost line: the write is
    // reported and the link carries on once the line drains.
    void slowWriteKeepsTheLink()
    {
        QSignalSpy lost(m_transport.data(), &ModbusManager::sig_disconnect);
        const int logBefore = logText().size();
        // Hex dumps of a quarter megabyte are no help in the test output.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        // Far more than the line holds while nobody reads it.
        send(AddrCustom, QByteArray(256 * 1024, '\0'));
        QTRY_VERIFY_WITH_TIMEOUT(logText().mid(logBefore).contains("SerialPort operation failed"),
                                 TimeoutMs);
        QLoggingCategory::setFilterRules(QString());

        const QByteArray statusRequest = request(1, 0x03, 40118, 1, false);
        send(Addr40118Status, statusRequest.toHex());
        QVERIFY(m_pty.readUntil(statusRequest));
        const QByteArray s4 = readReply({4});
        m_pty.write(s4);
        QTRY_COMPARE_WITH_TIMEOUT(m_handedOn.size(), 1, TimeoutMs);
        QCOMPARE(m_handedOn.first(), qMakePair(int(Addr40118Status), s4));
        QCOMPARE(lost.count(), 0);
    }

    // The client road's queue: one operation after the other, each once the
    // reply of the one before has come (or it could not start), at the link's
    // baud rate; a raw frame takes the port back from the client.
    void clientQueueDrains()
    {
        ModbusManager* const transport = m_transport.data();
        QVERIFY(connectAt(115200));
        // The client road hands nothing on: what it read is on the debug output.
        DebugLines debug;

        const QList<QPair<OperationType, QVariantList>> operations{
            {ReadModbus, {40118}}, // too few arguments: reported, the next one runs
            {ReadModbus, {40118, 1}},
            {WriteModbus, {40119, 2}},
            {ReadModbusData, {QByteArray("AB01067D000064919C")}},
            {ReadModbus, {40230, 3}}};
        QMetaObject::invokeMethod(
            transport,
            [transport, operations] {
                for (const auto& op : operations)
                    transport->slots_sendModbus(op.first, op.second);
            },
            Qt::QueuedConnection);

        QVERIFY(m_pty.readUntil(readRequest(40118, 1)));
        QCOMPARE(m_pty.speed(), speed_t(B115200));
        m_pty.write(readReply({4}));
        QVERIFY(m_pty.readUntil(writeRegister(40119, 2)));
        m_pty.write(writeRegister(40119, 2)); // the echo
        QVERIFY(m_pty.readUntil(streamRequest(0x06, 100)));
        QVERIFY(m_pty.readUntil(readRequest(40230, 3)));
        m_pty.write(readReply({352, 41, 1200}));
        QTRY_VERIFY_WITH_TIMEOUT(debug.said("Register 40232 = 1200"), TimeoutMs);
        QVERIFY(debug.said("Insufficient arguments for ReadModbus operation"));
        QVERIFY(debug.said("Register 40118 = 4"));
        QVERIFY(debug.said("Write operation completed successfully"));
        QVERIFY(m_handedOn.isEmpty()); // the client road hands nothing on
    }

    // A request the instrument leaves unanswered times out (the client's own
    // timers run in the transport's thread) and the queue goes on with the next.
    void unansweredClientRequestTimesOut()
    {
        ModbusManager* const transport = m_transport.data();
        QVERIFY(connectAt(115200));
        DebugLines debug;
        QMetaObject::invokeMethod(
            transport,
            [transport] {
                transport->slots_sendModbus(ReadModbus, {40118, 1});
                transport->slots_sendModbus(ReadModbus, {40230, 3});
            },
            Qt::QueuedConnection);
        QVERIFY(m_pty.readUntil(readRequest(40118, 1)));
        // Unanswered: the client's time-out and retries, then the next operation.
        QVERIFY(m_pty.readUntil(readRequest(40230, 3), 20000));
        QVERIFY(debug.count("Modbus read request error: ") >= 1);
    }

    void upgradeDataInPieces()
    {
        QByteArray data(10000, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i % 251);
        QMetaObject::invokeMethod(m_transport.data(), "slots_sendUpgradeData", Qt::QueuedConnection,
                                  Q_ARG(QByteArray, data));
        QVERIFY(m_pty.readUntil(data));
    }

    void faultRunLogsOnce_data()
    {
        QTest::addColumn<int>("addr");
        QTest::addColumn<QByteArray>("reply"); // written again and again
        QTest::addColumn<QString>("logged");

        QByteArray badCrc = readReply({4});
        badCrc[badCrc.size() - 1] = char(badCrc.at(badCrc.size() - 1) ^ 0x5A);
        QTest::newRow("every status reply with a bad CRC")
            << int(Addr40118Status) << badCrc << "Reply faults begin: Reply dropped";
        // 200 Hz frames while the transport still expects the 1000 Hz length.
        const QByteArray f200Hz = streamFrame(QVector<quint32>(10, 349791500u));
        QTest::newRow("stream frames of another length")
            << int(AddrStartStream) << f200Hz + f200Hz + f200Hz + f200Hz + f200Hz
            << "Stream faults begin: Stream:";
    }
    void faultRunLogsOnce()
    {
        QFETCH(int, addr);
        QFETCH(QByteArray, reply);
        QFETCH(QString, logged);

        const int logBefore = logText().size();
        // Reader faults on the debug output (written in the transport's thread).
        auto debug = std::make_unique<DebugLines>();
        const auto readerFaults = [&debug] {
            return debug->countStarting("Reply dropped") + debug->countStarting("Stream:");
        };
        constexpr int Faults = 20;
        const QByteArray text = requestText(ModbusAddr(addr));
        for (int sent = 0; readerFaults() < Faults; ++sent) {
            if (addr == Addr40118Status || sent == 0) {
                send(ModbusAddr(addr), text);
                QVERIFY(m_pty.readUntil(QByteArray::fromHex(text)));
            }
            // One damaged piece at a time: each is read and dropped on its own.
            const int faultsBefore = readerFaults();
            m_pty.write(reply);
            QTRY_VERIFY_WITH_TIMEOUT(readerFaults() > faultsBefore, TimeoutMs);
        }
        debug.reset();

        const QStringList lines = logText().mid(logBefore).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(logged), qPrintable(lines.first()));
        QVERIFY(m_handedOn.isEmpty());
    }

private:
    // A request as the scheduler hands it over, in the transport's thread.
    void send(ModbusAddr addr, const QByteArray& data)
    {
        QMetaObject::invokeMethod(m_transport.data(), "slots_readData", Qt::QueuedConnection,
                                  Q_ARG(ModbusAddr, addr), Q_ARG(QByteArray, data));
    }

    PtyInstrument m_pty;
    QScopedPointer<ModbusManager> m_transport;
    HandedOn m_handedOn;
};

MAG_TEST_MAIN_CORE(TestModbusManager)
#include "tst_modbusmanager.moc"
