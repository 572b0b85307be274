#include "device/ModbusManager.h"

#include "app/Logger.h"
#include "app/SharedState.h"
#include "device/SamplingRates.h"
#include "device/SerialPortNames.h"

#include <QDebug>
#include <QMetaEnum>
#include <QModbusRtuSerialMaster>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

ModbusManager::ModbusManager() : m_port(new QSerialPort(this))
{
    m_port->setParity(QSerialPort::NoParity);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    connect(m_port, &QSerialPort::errorOccurred, this, &ModbusManager::onSerialError);
    connect(m_port, &QSerialPort::bytesWritten, this, [this](qint64 bytes) {
        m_bytesWritten += bytes;
        if (m_upgrading && m_bytesWritten >= m_upgradePieceEnd)
            sendUpgradePiece();
    });

    m_upgradeTimer.setSingleShot(true);
    m_upgradeTimer.setInterval(UpgradeWaitMs);
    connect(&m_upgradeTimer, &QTimer::timeout, this, [this] {
        if (!m_upgrading)
            return;
        m_upgrading = false;
        m_upgradeData.clear();
        report(QStringLiteral("upgrade send error"));
    });
    m_thread.start(this);
}

ModbusManager::~ModbusManager()
{
    // The client's timers belong to the transport's thread: it goes there too.
    QThread* const thread = m_thread.thread();
    if (m_modbusClient && thread && thread->isRunning() && QThread::currentThread() != thread)
        QMetaObject::invokeMethod(
            this,
            [this] {
                delete m_modbusClient;
                m_modbusClient = nullptr;
            },
            Qt::BlockingQueuedConnection);
    m_thread.stop();
}

// Made in the transport's thread at its first use: the client keeps timers that
// are not its children, which a later move to another thread would leave behind
// (its requests would then never time out).
QModbusRtuSerialMaster* ModbusManager::modbusClient()
{
    if (m_modbusClient)
        return m_modbusClient;
    m_modbusClient = new QModbusRtuSerialMaster(this);
    // The client follows the link's baud rate (set when a port is chosen).
    m_modbusClient->setConnectionParameter(QModbusDevice::SerialParityParameter,
                                           QSerialPort::NoParity);
    m_modbusClient->setConnectionParameter(QModbusDevice::SerialBaudRateParameter,
                                           Instrument::DefaultBaudRate);
    m_modbusClient->setConnectionParameter(QModbusDevice::SerialDataBitsParameter,
                                           QSerialPort::Data8);
    m_modbusClient->setConnectionParameter(QModbusDevice::SerialStopBitsParameter,
                                           QSerialPort::OneStop);
    connect(m_modbusClient, &QModbusDevice::stateChanged, this,
            [this](QModbusDevice::State state) { onStateChanged(int(state)); });
    connect(m_modbusClient, &QModbusDevice::errorOccurred, this, &ModbusManager::onErrorOccurred);
    return m_modbusClient;
}

void ModbusManager::report(const QString& text)
{
    qDebug().noquote() << text;
    Logger::instance()->write(text);
}

void ModbusManager::log(const QString& text)
{
    Logger::instance()->write(text);
}

void ModbusManager::slots_connectDevice(QString portName, int baudRate)
{
    m_port->setBaudRate(baudRate, QSerialPort::AllDirections);
    const QString location = SerialPortNames::systemLocation(portName);
    const QString device = location.isEmpty() ? portName : location;
    m_port->setPortName(device);
    modbusClient()->setConnectionParameter(QModbusDevice::SerialPortNameParameter, device);
    modbusClient()->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, baudRate);
    // The port is either raw or the client's: the raw link takes it back.
    if (modbusClient()->state() != QModbusDevice::UnconnectedState)
        modbusClient()->disconnectDevice();
    if (m_port->isOpen())
        m_port->close();
    linkClosed();
    m_linkLost = true;
    m_statusReader.clear();
    m_paramReader.clear();
    m_40230Reader.clear();
    m_identityReader.clear();
    m_streamReader.clear();
    m_vectorReader.restartSearch();
    m_fidReader.restartSearch();
    if (m_port->open(QIODevice::ReadWrite)) {
        m_reportedNotOpen = false;
        m_linkLost = false;
        ++m_openings;
        qDebug() << "Connected ";
        emit sig_connected();
    } else {
        report(QStringLiteral("SerialPort  %0 open failed").arg(portName) + QStringLiteral(": ") +
               m_port->errorString());
        emit sig_connectFailed(portName, m_port->errorString());
    }
}

void ModbusManager::slots_disConnectDevice()
{
    m_linkLost = true;
    if (m_modbusClient && m_modbusClient->state() != QModbusDevice::UnconnectedState)
        m_modbusClient->disconnectDevice();
    if (m_port->isOpen())
        m_port->close();
    linkClosed();
}

void ModbusManager::setCurrentAddr(const ModbusAddr& addr)
{
    QMutexLocker lock(&m_addrMutex);
    m_currentAddr = addr;
    if (addr != AddrStartStream)
        SharedState::instance().setResyncTime(true);
}

void ModbusManager::discardPending()
{
    m_port->readAll();
    m_statusReader.clear();
    m_paramReader.clear();
    m_40230Reader.clear();
    m_identityReader.clear();
    m_streamReader.clear();
    m_vectorReader.restartSearch();
    m_fidReader.restartSearch();
}

void ModbusManager::switchHandler(int current, Handler handler)
{
    int previous;
    {
        QMutexLocker lock(&m_addrMutex);
        previous = m_currentAddr;
    }
    if (previous != current) {
        for (Handler other :
             {&ModbusManager::readAddr40118Finished, &ModbusManager::readAddr40118rFinished,
              &ModbusManager::readAddr40100Finished, &ModbusManager::readAddr40230Finished,
              &ModbusManager::readOtherDataFinished, &ModbusManager::readAddr40000Finished,
              &ModbusManager::readVectorFIDFinished, &ModbusManager::readFIDFinished}) {
            if (other != handler)
                disconnect(m_port, &QSerialPort::readyRead, this, other);
        }
        discardPending();
        setCurrentAddr(ModbusAddr(current));
    }
    connect(m_port, &QSerialPort::readyRead, this, handler, Qt::UniqueConnection);
}

ModbusManager::Handler ModbusManager::streamHandler() const
{
    switch (m_streamHandlerForTest) {
    case AddrVectorFid:
        return &ModbusManager::readVectorFIDFinished;
    case AddrFid:
        return &ModbusManager::readFIDFinished;
    default:
        return &ModbusManager::readOtherDataFinished;
    }
}

void ModbusManager::slots_selectBufferHandlerForTest(ModbusAddr addr)
{
    if (addr != AddrVectorFid && addr != AddrFid) {
        m_streamHandlerForTest = -1;
        return;
    }
    m_streamHandlerForTest = addr;
    switchHandler(addr, streamHandler());
}

void ModbusManager::disconnectPortSignals()
{
    disconnect(m_port, &QSerialPort::readyRead, this, nullptr);
    QMutexLocker lock(&m_addrMutex);
    m_currentAddr = -1;
}

void ModbusManager::connectFidPort()
{
    qDebug() << "connect Fid Port";
}

void ModbusManager::slots_readData(ModbusAddr modbusAddr, QByteArray data)
{
    // Table requests are hexadecimal text already; a page's frame is binary.
    const QString shown = QString::fromLatin1(modbusAddr == AddrCustom ? data.toHex() : data);
    if (!m_port->isOpen()) {
        const QString text = QStringLiteral("serialPort is not open ") + shown;
        qDebug().noquote() << text;
        if (!m_reportedNotOpen)
            Logger::instance()->write(text);
        m_reportedNotOpen = true;
        return;
    }
    qDebug().noquote() << "send " + shown;

    switch (modbusAddr) {
    case Addr40118Restart:
    case Addr40118ReTrack:
        switchHandler(Addr40118Restart, &ModbusManager::readAddr40118Finished);
        break;
    case AddrCustom:
        switchHandler(AddrCustom, &ModbusManager::readAddr40118Finished);
        break;
    case Addr40118Status:
        switchHandler(modbusAddr, &ModbusManager::readAddr40118rFinished);
        break;
    case Addr40100Params:
        switchHandler(modbusAddr, &ModbusManager::readAddr40100Finished);
        break;
    case Addr40230:
        switchHandler(modbusAddr, &ModbusManager::readAddr40230Finished);
        break;
    case Addr40000Identity:
        switchHandler(modbusAddr, &ModbusManager::readAddr40000Finished);
        break;
    case AddrStartStream:
        switchHandler(AddrStartStream, streamHandler());
        discardPending();
        setCurrentAddr(AddrStreamData);
        break;
    case AddrRaw30000:
    case AddrStreamData:
    case AddrStopStream:
        discardPending();
        setCurrentAddr(AddrStreamData);
        break;
    default:
        break;
    }

    writeRaw(modbusAddr == AddrCustom ? data : QByteArray::fromHex(data),
             QStringLiteral("SerialPort operation failed"));
}

void ModbusManager::writeRaw(const QByteArray& frame, const QString& failText,
                             std::function<void(bool)> done)
{
    const qint64 queued = m_port->isOpen() ? m_port->write(frame) : -1;
    if (queued != frame.size()) {
        m_writeFaults.fault(failText);
        if (done)
            done(false);
        return;
    }
    // Checked after 30 ms rather than waited for: a blocking wait reads the port
    // behind the back of its pending read notification, which then fails as a
    // read error and would tear the link down while the stream runs.
    m_bytesQueued += queued;
    const qint64 frameEnd = m_bytesQueued;
    QTimer::singleShot(WriteWaitMs, this, [this, frameEnd, failText, done] {
        const bool written = m_bytesWritten >= frameEnd;
        if (!written)
            m_writeFaults.fault(failText);
        else
            m_writeFaults.success();
        if (done)
            done(written);
    });
}

void ModbusManager::writeHex(const QByteArray& hexText)
{
    writeRaw(QByteArray::fromHex(hexText), QStringLiteral("SerialPort operation failed"));
}

void ModbusManager::forgetUnwritten()
{
    // A closed port drops what it had not written yet.
    m_bytesWritten = m_bytesQueued;
}

void ModbusManager::linkClosed()
{
    forgetUnwritten();
    if (m_upgrading) {
        m_upgrading = false;
        m_upgradeData.clear();
        m_upgradeTimer.stop();
        report(QStringLiteral("upgrade send error"));
    }
    m_replyFaults.finish();
    m_streamFaults.finish();
    m_writeFaults.finish();
    m_vectorFaults.finish();
    m_fidFaults.finish();
}

void ModbusManager::deliver(ModbusAddr addr, const ReaderOutput& out, FaultSpell& faults)
{
    for (const QString& fault : out.faults)
        faults.fault(fault);
    if (!out.frames.isEmpty())
        faults.success();
    for (const QByteArray& frame : out.frames)
        emit sig_readDataFinished(addr, frame);
}

void ModbusManager::handleFixed(FixedLengthReplyReader& reader, ModbusAddr addr)
{
    deliver(addr, reader.feed(m_port->readAll()), m_replyFaults);
}

void ModbusManager::readAddr40118Finished()
{
    const QByteArray bytes = m_port->readAll();
    if (!bytes.isEmpty())
        qDebug().noquote() << "recv " + QString::fromLatin1(bytes.toHex(' '));
}

void ModbusManager::readAddr40118rFinished()
{
    handleFixed(m_statusReader, Addr40118Status);
}

void ModbusManager::readAddr40100Finished()
{
    handleFixed(m_paramReader, Addr40100Params);
}

void ModbusManager::readAddr40230Finished()
{
    handleFixed(m_40230Reader, Addr40230);
}

void ModbusManager::readAddr40000Finished()
{
    handleFixed(m_identityReader, Addr40000Identity);
}

void ModbusManager::readOtherDataFinished()
{
    deliver(AddrStreamData, m_streamReader.feed(m_port->readAll()), m_streamFaults);
}

void ModbusManager::readVectorFIDFinished()
{
    // The vector page's one-shot request: start the search afresh.
    if (SharedState::instance().takeVectorRequest()) {
        m_vectorReader.restartSearch();
        qDebug() << "frame error modify";
    }
    deliverRecords(AddrVectorFid, m_vectorReader.feed(m_port->readAll()), m_vectorFaults);
}

void ModbusManager::readFIDFinished()
{
    deliverRecords(AddrFid, m_fidReader.feed(m_port->readAll()), m_fidFaults);
}

void ModbusManager::deliverRecords(ModbusAddr addr, const RecordReaderOutput& out,
                                   FaultSpell& faults)
{
    for (const QString& note : out.notes)
        qDebug().noquote() << note;
    for (const QString& fault : out.faults)
        faults.fault(fault);
    if (!out.frames.isEmpty())
        faults.success();
    for (const auto& reply : out.replies)
        emit sig_readDataFinished(reply.first, reply.second);
    for (const QByteArray& frame : out.frames)
        emit sig_readDataFinished(addr, frame);
}

void ModbusManager::slots_syncDataByteCount(int byteCount, bool bChange)
{
    m_streamLength = SamplingRates::streamEntry(byteCount, bChange).frameLength();
    m_streamReader.setFrameLength(m_streamLength);
    m_vectorReader.setStreamLength(m_streamLength);
}

void ModbusManager::onSerialError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    // Only an open link can be lost, and once: a failed open has its own report,
    // and a dead line keeps raising errors until the port is closed.
    if (m_linkLost)
        return;
    const QString name =
        QString::fromLatin1(QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error));
    report(QStringLiteral("Serial error: ") + name + QStringLiteral(" (") + m_port->errorString() +
           QStringLiteral(")"));
    m_linkLost = true;
    emit sig_disconnect();
    // Closed after the port's own notification has returned; a reconnect made
    // meanwhile keeps its new opening.
    const int opening = m_openings;
    QMetaObject::invokeMethod(
        this,
        [this, opening] {
            if (opening == m_openings && m_port->isOpen()) {
                m_port->close();
                linkClosed();
            }
        },
        Qt::QueuedConnection);
}
