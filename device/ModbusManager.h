#pragma once
// Serial transport of the instrument link: owns the one raw serial port, writes
// each request frame and hands whole replies on as sig_readDataFinished. One reply
// handler at a time listens to the port, chosen by the request last sent; the
// handlers only move bytes into the frame readers (device/ReplyReaders.h).
//
// Threads: constructed in the GUI thread, then runs in a thread of its own; every
// slot and handler runs there (the hub's connections are queued). The destructor
// is called from the GUI thread and stops the thread first.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "app/WorkerThread.h"
#include "device/ReplyReaders.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSerialPort>

class ModbusManager : public QObject
{
    Q_OBJECT
public:
    ModbusManager();
    ~ModbusManager() override;

signals:
    void sig_connected();
    void sig_readDataFinished(ModbusAddr modbusAddr, QByteArray data);
    void sig_disconnect();

public slots:
    void slots_connectDevice(QString portName, int baudRate);
    void slots_disConnectDevice();
    void slots_readData(ModbusAddr modbusAddr, QByteArray data);
    void slots_syncDataByteCount(int byteCount, bool bChange);

private slots:
    void onSerialError(QSerialPort::SerialPortError error);
    void readAddr40118Finished();
    void readAddr40118rFinished();
    void readAddr40100Finished();
    void readAddr40230Finished();
    void readOtherDataFinished();
    void readAddr40000Finished();

private:
    // Bytes still in the port or a reader belong to the previous kind of request.
    void discardPending();
    void switchHandler(ModbusAddr current, void (ModbusManager::*handler)());
    void deliver(ModbusAddr addr, const ReaderOutput& out, FaultSpell& faults);
    void handleFixed(FixedLengthReplyReader& reader, ModbusAddr addr);
    void setCurrentAddr(const ModbusAddr& addr);
    void report(const QString& text);
    void forgetUnwritten();
    // The port was closed: unwritten bytes are gone and running fault spells end.
    void linkClosed();

    int m_streamLength = 209;
    int m_paramLength = 253;
    int m_40230Length = 11;
    int m_statusLength = 7;
    int m_identityLength = 205;

    QSerialPort* m_port;

    QMutex m_addrMutex;
    int m_currentAddr = -1; // matches no request: the first one installs its handler

    FixedLengthReplyReader m_statusReader{m_statusLength};
    FixedLengthReplyReader m_paramReader{m_paramLength};
    FixedLengthReplyReader m_40230Reader{m_40230Length};
    FixedLengthReplyReader m_identityReader{m_identityLength};
    StreamFrameReader m_streamReader{m_streamLength};

    bool m_linkLost = true;         // no open link, or sig_disconnect already sent for it
    int m_openings = 0;             // successful opens, to tell a reopened port apart
    bool m_reportedNotOpen = false; // the log already says the port is closed

    // Faults that can repeat with every reply, frame or request: details on the
    // debug output, a spell's begin, count and end in the log.
    FaultSpell m_replyFaults{QStringLiteral("Reply faults")};
    FaultSpell m_streamFaults{QStringLiteral("Stream faults")};
    FaultSpell m_writeFaults{QStringLiteral("Write faults")};

    // A frame counts as written once the port has passed all bytes up to its end.
    static constexpr int WriteWaitMs = 30;
    qint64 m_bytesQueued = 0;
    qint64 m_bytesWritten = 0;

    WorkerThread m_thread; // last: started at the end of the constructor
};
