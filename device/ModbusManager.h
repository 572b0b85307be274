#pragma once
// Serial transport of the instrument link: owns the one raw serial port, writes
// each request frame and hands whole replies on as sig_readDataFinished. One reply
// handler at a time listens to the port, chosen by the request last sent; the
// handlers only move bytes into the frame readers (device/ReplyReaders.h,
// device/RecordFrameReaders.h).
//
// Beside the raw path: a Modbus RTU client on the same port (register reads and
// writes with an operation queue; the port is either raw or the client's), the
// record handlers of the "FID" mode (requests 11 and 12) and a chunked write of
// upgrade data. No control of the program drives these roads; the record
// handlers are reached through slots_selectBufferHandlerForTest.
//
// Threads: constructed in the GUI thread, then runs in a thread of its own; every
// slot and handler runs there (the hub's connections are queued). The destructor
// is called from the GUI thread and stops the thread first.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "app/WorkerThread.h"
#include "device/Instrument.h"
#include "device/RecordFrameReaders.h"
#include "device/ReplyReaders.h"
#include "device/SamplingRates.h"

#include <QByteArray>
#include <QList>
#include <QModbusDataUnit>
#include <QModbusDevice>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>
#include <QVariantList>
#include <functional>

class QModbusReply;
class QModbusRtuSerialMaster;

// Operations of the Modbus client's queue and their arguments.
enum OperationType
{
    ReadModbus = 0,     // register address, register count
    WriteModbus = 1,    // register address, value
    ReadModbusData = 2, // one hexadecimal text, written raw
};
Q_DECLARE_METATYPE(OperationType)

class ModbusManager : public QObject
{
    Q_OBJECT
public:
    ModbusManager();
    ~ModbusManager() override;

    // Writes QByteArray::fromHex(hexText) to the raw port.
    void writeHex(const QByteArray& hexText);
    // Disconnects the reply handlers from the port; the next request installs its own.
    void disconnectPortSignals();
    void connectFidPort();
    void log(const QString& text);

signals:
    void sig_connected();
    void sig_readDataFinished(ModbusAddr modbusAddr, QByteArray data);
    void sig_disconnect();
    // The chosen port could not be opened; reason is the port's error text.
    void sig_connectFailed(QString portName, QString reason);

public slots:
    void slots_connectDevice(QString portName, int baudRate);
    void slots_disConnectDevice();
    void slots_sendModbus(OperationType operation, QVariantList args);
    void slots_readModbus(quint16 address, quint16 value);
    void slots_writeModbus(quint16 address, quint16 value);
    void slots_readModbusData(QByteArray data);
    void slots_readData(ModbusAddr modbusAddr, QByteArray data);
    void slots_sendUpgradeData(QByteArray data);
    void slots_syncDataByteCount(int byteCount, bool bChange);
    // Test hook, not connected to any control; invoke it queued, like the other
    // slots. 11 or 12 installs the vector or the FID record handler at once, and
    // the stream start (request 7) installs it in place of the scalar stream
    // handler until another value is given.
    void slots_selectBufferHandlerForTest(ModbusAddr addr);

private slots:
    void onStateChanged(int state);
    void onErrorOccurred(QModbusDevice::Error error);
    void onSerialError(QSerialPort::SerialPortError error);
    void readFinished();
    void writeFinished();
    void readAddr40118Finished();
    void readAddr40118rFinished();
    void readAddr40100Finished();
    void readAddr40230Finished();
    void readOtherDataFinished();
    void readAddr40000Finished();
    void readVectorFIDFinished();
    void readFIDFinished();

private:
    using Handler = void (ModbusManager::*)();
    Handler streamHandler() const;
    void ensureModbusConnected();
    void ensureRawPortOpen();
    // Ends the running queue operation and starts the next one from the event loop.
    void processNextOperation();
    // The client's requests (server address 1); null when none could be sent.
    QModbusReply* sendReadRequest(quint16 address, quint16 count, const char* failText);
    QModbusReply* sendWriteRequest(quint16 address, quint16 value, const char* failText);
    void watchReply(QModbusReply* reply, bool isWrite);
    void handleReply(QModbusReply* reply);
    // Writes a frame; `done(true)` once the port has passed it, `done(false)` when
    // it could not be queued or was not written within 30 ms.
    void writeRaw(const QByteArray& frame, const QString& failText,
                  std::function<void(bool)> done = {});
    void sendUpgradePiece();
    void deliverRecords(ModbusAddr addr, const RecordReaderOutput& out, FaultSpell& faults);

    // Bytes still in the port or a reader belong to the previous kind of request.
    void discardPending();
    void switchHandler(int current, Handler handler);
    void deliver(ModbusAddr addr, const ReaderOutput& out, FaultSpell& faults);
    void handleFixed(FixedLengthReplyReader& reader, ModbusAddr addr);
    void setCurrentAddr(const ModbusAddr& addr);
    void report(const QString& text);
    void forgetUnwritten();
    // The port was closed: unwritten bytes are gone and running fault spells end.
    void linkClosed();

    int m_streamLength = SamplingRates::DefaultFrameLength;
    int m_paramLength = Instrument::ReplyLength::ParameterBlock;
    int m_40230Length = Instrument::ReplyLength::Block40230;
    int m_statusLength = Instrument::ReplyLength::Status;
    int m_identityLength = Instrument::ReplyLength::IdentityBlock;

    QSerialPort* m_port;

    QMutex m_addrMutex;
    int m_currentAddr = -1; // matches no request: the first one installs its handler

    FixedLengthReplyReader m_statusReader{m_statusLength};
    FixedLengthReplyReader m_paramReader{m_paramLength};
    FixedLengthReplyReader m_40230Reader{m_40230Length};
    FixedLengthReplyReader m_identityReader{m_identityLength};
    StreamFrameReader m_streamReader{m_streamLength};
    VectorFrameReader m_vectorReader;
    FidFrameReader m_fidReader;
    int m_streamHandlerForTest = -1; // 11 or 12: request 7 installs that record handler

    bool m_linkLost = true;         // no open link, or sig_disconnect already sent for it
    int m_openings = 0;             // successful opens, to tell a reopened port apart
    bool m_reportedNotOpen = false; // the log already says the port is closed

    // Faults that can repeat with every reply, frame or request: details on the
    // debug output, a spell's begin, count and end in the log.
    FaultSpell m_replyFaults{QStringLiteral("Reply faults")};
    FaultSpell m_streamFaults{QStringLiteral("Stream faults")};
    FaultSpell m_writeFaults{QStringLiteral("Write faults")};
    FaultSpell m_vectorFaults{QStringLiteral("Vector stream faults")};
    FaultSpell m_fidFaults{QStringLiteral("FID stream faults")};

    // The Modbus client and its operation queue: one operation at a time, the next
    // once the reply of the running one has finished or failed.
    QModbusRtuSerialMaster* modbusClient();
    QModbusRtuSerialMaster* m_modbusClient = nullptr; // see modbusClient()
    // Where both units start; every request sets its own address and count.
    static constexpr quint16 UnitStart = Instrument::Register::Block40230;
    static constexpr quint16 UnitCount = 1;
    QModbusDataUnit m_readUnit{QModbusDataUnit::HoldingRegisters, UnitStart, UnitCount};
    QModbusDataUnit m_writeUnit{QModbusDataUnit::HoldingRegisters, UnitStart, UnitCount};
    bool m_busy = false;
    QList<QPair<OperationType, QVariantList>> m_operations;
    QPointer<QModbusReply> m_operationReply;
    int m_operationRun = 0; // tells a finished operation from the one running now

    // Upgrade data goes out in pieces of at most 2048 bytes, each written within 30 s.
    static constexpr int UpgradePiece = 2048;
    static constexpr int UpgradeWaitMs = 30000;
    QByteArray m_upgradeData;
    int m_upgradeOffset = 0;
    qint64 m_upgradePieceEnd = 0;
    bool m_upgrading = false;
    QTimer m_upgradeTimer{this}; // a child: moves to the thread with the object

    // A frame counts as written once the port has passed all bytes up to its end.
    static constexpr int WriteWaitMs = 30;
    qint64 m_bytesQueued = 0;
    qint64 m_bytesWritten = 0;

    WorkerThread m_thread; // last: started at the end of the constructor
};
