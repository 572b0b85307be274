// The Modbus client road and the upgrade write of the transport (see
// ModbusManager.h); in the transport's thread like the rest of it.

#include "device/ModbusManager.h"

#include <QDebug>
#include <QMetaEnum>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>

// ---- Modbus client ---------------------------------------------------------

void ModbusManager::ensureModbusConnected()
{
    if (modbusClient()->state() != QModbusDevice::UnconnectedState)
        return;
    if (m_port->isOpen()) {
        m_linkLost = true;
        m_port->close();
        linkClosed();
    }
    if (!modbusClient()->connectDevice())
        report(QStringLiteral("Failed to connect to serial port: ") +
               modbusClient()->errorString());
}

void ModbusManager::ensureRawPortOpen()
{
    if (m_modbusClient && m_modbusClient->state() != QModbusDevice::UnconnectedState)
        m_modbusClient->disconnectDevice();
    if (m_port->isOpen()) {
        m_port->close();
        linkClosed();
    }
    if (m_port->open(QIODevice::ReadWrite)) {
        m_reportedNotOpen = false;
        m_linkLost = false;
        ++m_openings;
    } else {
        m_linkLost = true;
        report(QStringLiteral("SerialPort  %0 open failed").arg(m_port->portName()) +
               QStringLiteral(": ") + m_port->errorString());
    }
}

QModbusReply* ModbusManager::sendReadRequest(quint16 address, quint16 count, const char* failText)
{
    ensureModbusConnected();
    m_readUnit.setStartAddress(address);
    m_readUnit.setValueCount(count);
    QModbusReply* reply = modbusClient()->sendReadRequest(m_readUnit, 1);
    if (!reply) {
        report(QLatin1String(failText) + modbusClient()->errorString());
        return nullptr;
    }
    watchReply(reply, false);
    return reply;
}

QModbusReply* ModbusManager::sendWriteRequest(quint16 address, quint16 value, const char* failText)
{
    ensureModbusConnected();
    m_writeUnit.setStartAddress(address);
    m_writeUnit.setValues({value});
    QModbusReply* reply = modbusClient()->sendWriteRequest(m_writeUnit, 1);
    if (!reply) {
        report(QLatin1String(failText) + modbusClient()->errorString());
        return nullptr;
    }
    watchReply(reply, true);
    return reply;
}

void ModbusManager::watchReply(QModbusReply* reply, bool isWrite)
{
    reply->setProperty("isWrite", isWrite);
    if (reply->isFinished()) {
        // Finished already (it never went out): handled from the event loop, once
        // the caller has taken it as its operation.
        QMetaObject::invokeMethod(
            this, [this, reply] { handleReply(reply); }, Qt::QueuedConnection);
    } else {
        connect(reply, &QModbusReply::finished, this,
                isWrite ? &ModbusManager::writeFinished : &ModbusManager::readFinished);
    }
}

void ModbusManager::slots_readModbus(quint16 address, quint16 value)
{
    sendReadRequest(address, value, "Modbus read request failed: ");
}

void ModbusManager::slots_writeModbus(quint16 address, quint16 value)
{
    sendWriteRequest(address, value, "Write request failed: ");
}

void ModbusManager::slots_readModbusData(QByteArray data)
{
    ensureRawPortOpen();
    writeRaw(QByteArray::fromHex(data), QStringLiteral("SerialPort operation failed"));
}

void ModbusManager::readFinished()
{
    handleReply(qobject_cast<QModbusReply*>(sender()));
}

void ModbusManager::writeFinished()
{
    handleReply(qobject_cast<QModbusReply*>(sender()));
}

// Writes what the reply brought to the debug output; the reply of the running
// queue operation ends that operation.
void ModbusManager::handleReply(QModbusReply* reply)
{
    if (!reply)
        return;
    const bool isWrite = reply->property("isWrite").toBool();
    const QModbusDataUnit unit = reply->result();
    if (reply->error() != QModbusDevice::NoError) {
        qDebug().noquote() << (isWrite ? "Write operation failed: " : "Modbus read request error: ")
                           << reply->errorString();
    } else {
        for (uint i = 0; i < unit.valueCount(); ++i)
            qDebug().noquote() << "Register" << unit.startAddress() + int(i) << "="
                               << unit.value(int(i));
        if (isWrite)
            qDebug() << "Write operation completed successfully";
    }
    const bool wasOperation = reply == m_operationReply;
    reply->deleteLater();
    if (wasOperation)
        processNextOperation();
}

void ModbusManager::slots_sendModbus(OperationType operation, QVariantList args)
{
    if (m_busy) {
        m_operations.append(qMakePair(operation, args));
        return;
    }
    m_busy = true;
    m_operationReply = nullptr;
    const int run = ++m_operationRun;
    bool running = false;
    switch (operation) {
    case ReadModbus:
        if (args.size() < 2)
            qDebug() << "Insufficient arguments for ReadModbus operation";
        else
            m_operationReply = sendReadRequest(quint16(args[0].toUInt()), quint16(args[1].toUInt()),
                                               "Modbus read request failed: ");
        running = m_operationReply;
        break;
    case WriteModbus:
        if (args.size() < 2)
            qDebug() << "Insufficient arguments for WriteModbus operation";
        else
            m_operationReply = sendWriteRequest(
                quint16(args[0].toUInt()), quint16(args[1].toUInt()), "Write request failed: ");
        running = m_operationReply;
        break;
    case ReadModbusData:
        if (args.size() < 1) {
            qDebug() << "Insufficient arguments for ReadModbusData operation";
        } else {
            ensureRawPortOpen();
            running = true;
            writeRaw(QByteArray::fromHex(args[0].toByteArray()),
                     QStringLiteral("SerialPort operation failed:"), [this, run](bool) {
                         if (run == m_operationRun && m_busy)
                             processNextOperation();
                     });
        }
        break;
    }
    if (!running)
        processNextOperation();
}

void ModbusManager::processNextOperation()
{
    m_operationReply = nullptr;
    ++m_operationRun;
    // From the event loop, so that a run of failing operations does not recurse.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_busy = false;
            if (!m_operations.isEmpty()) {
                const auto next = m_operations.takeFirst();
                slots_sendModbus(next.first, next.second);
            }
        },
        Qt::QueuedConnection);
}

void ModbusManager::onStateChanged(int state)
{
    qDebug() << "Modbus state changed: " << state;
    // A client that went away ends its running operation, whatever became of its reply.
    if (state == QModbusDevice::UnconnectedState && m_busy && m_operationReply) {
        disconnect(m_operationReply, nullptr, this, nullptr);
        m_operationReply->deleteLater();
        processNextOperation();
    }
}

void ModbusManager::onErrorOccurred(QModbusDevice::Error error)
{
    qDebug().noquote() << "Modbus error occurred: " +
                              QString::fromLatin1(
                                  QMetaEnum::fromType<QModbusDevice::Error>().valueToKey(error));
}

// ---- upgrade data ----------------------------------------------------------

void ModbusManager::slots_sendUpgradeData(QByteArray data)
{
    if (!m_port->isOpen()) {
        // The head of the data is enough to recognise it.
        qDebug().noquote() << "serialPort is not open " +
                                  QString::fromLatin1(data.left(32).toHex()) +
                                  QStringLiteral(" (%1 bytes)").arg(data.size());
        return;
    }
    if (m_upgrading)
        report(QStringLiteral("upgrade send error: a new upgrade replaces the running one"));
    m_upgradeData = data;
    m_upgradeOffset = 0;
    m_upgrading = true;
    sendUpgradePiece();
}

void ModbusManager::sendUpgradePiece()
{
    if (m_upgradeOffset >= m_upgradeData.size()) {
        m_upgrading = false;
        m_upgradeData.clear();
        m_upgradeTimer.stop();
        return;
    }
    const QByteArray piece = m_upgradeData.mid(m_upgradeOffset, UpgradePiece);
    const qint64 queued = m_port->isOpen() ? m_port->write(piece) : -1;
    if (queued <= 0) {
        m_upgrading = false;
        m_upgradeData.clear();
        m_upgradeTimer.stop();
        report(QStringLiteral("upgrade send error"));
        return;
    }
    m_bytesQueued += queued;
    m_upgradeOffset += int(queued);
    m_upgradePieceEnd = m_bytesQueued;
    m_upgradeTimer.start();
}
