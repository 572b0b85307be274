#include "device/ModbusWorkThread.h"

#include "app/SharedState.h"
#include "device/SamplingRates.h"

#include <QDebug>
#include <QTimer>

ModbusWorkThread::ModbusWorkThread(QObject* parent, Clock clock, SharedState* state)
    : QObject(parent), m_clock(std::move(clock)), m_state(state ? state : &SharedState::instance())
{
    m_requestTable[Addr40118Restart] = m_status40118Restart;
    m_requestTable[Addr40118ReTrack] = m_status40118ReTrack;
    m_requestTable[Addr40118Status] = m_read40118;
    m_requestTable[Addr40100Params] = m_read40100;
    m_requestTable[Addr40230] = m_read40230;
    m_requestTable[AddrRaw30000] = m_raw30000;
    m_requestTable[AddrStreamData] = m_raw32000;
    m_requestTable[AddrStartStream] = m_startStream1000;
    m_requestTable[AddrStopStream] = m_stopStream1000;
    m_requestTable[Addr40000Identity] = m_read40000;

    const auto makeTimer = [this] {
        auto* timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        return timer;
    };
    m_statusTimer = makeTimer();
    m_ddsTimer = makeTimer();
    m_paramTimer = makeTimer();
    m_statusAligner = makeTimer();
    m_paramAligner = makeTimer();
    m_statusAligner->setSingleShot(true);
    m_paramAligner->setSingleShot(true);

    connect(m_statusTimer, &QTimer::timeout, this, &ModbusWorkThread::statusTick);
    connect(m_ddsTimer, &QTimer::timeout, this, [] {});
    connect(m_paramTimer, &QTimer::timeout, this, &ModbusWorkThread::sendParamRead);
    connect(m_statusAligner, &QTimer::timeout, this, [this] {
        if (m_statusPollActive)
            m_statusTimer->start(m_statusInterval);
    });
    connect(m_paramAligner, &QTimer::timeout, this, [this] {
        if (m_paramPollActive)
            m_paramTimer->start(m_paramInterval);
    });
}

QDateTime ModbusWorkThread::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

int ModbusWorkThread::msToNextSecond() const
{
    return 1000 - now().toUTC().time().msec();
}

void ModbusWorkThread::startAligned(bool& activeFlag, QTimer* aligner)
{
    activeFlag = true;
    aligner->start(msToNextSecond());
}

void ModbusWorkThread::stopPoll(bool& activeFlag, QTimer* aligner, QTimer* timer)
{
    activeFlag = false;
    aligner->stop();
    timer->stop();
}

void ModbusWorkThread::slots_devStatusWorkerStart()
{
    startAligned(m_statusPollActive, m_statusAligner);
}

void ModbusWorkThread::slots_ddsWorkerStart() {}

void ModbusWorkThread::slots_paramWorkerStart()
{
    startAligned(m_paramPollActive, m_paramAligner);
}

void ModbusWorkThread::slots_devStatusWorkerStop()
{
    stopPoll(m_statusPollActive, m_statusAligner, m_statusTimer);
}

void ModbusWorkThread::slots_ddsWorkerStop() {}

void ModbusWorkThread::slots_paramWorkerStop()
{
    stopPoll(m_paramPollActive, m_paramAligner, m_paramTimer);
}

void ModbusWorkThread::slots_sendModbusData(ModbusAddr modbusAddr)
{
    // operator[]: a selector without a frame sends an empty one.
    emit sig_readData(modbusAddr, m_requestTable[modbusAddr].toUtf8());
}

void ModbusWorkThread::slots_sendCustomModbusData(QByteArray data)
{
    emit sig_readData(AddrCustom, data);
}

void ModbusWorkThread::sendParamRead()
{
    slots_sendModbusData(Addr40100Params);
}

void ModbusWorkThread::readDeviceParams()
{
    sendParamRead();
}

void ModbusWorkThread::statusTick()
{
    const qint64 nowSeconds = now().toSecsSinceEpoch();
    const DeviceStatus status = m_state->deviceStatus();
    if (status.valid)
        qDebug() << "20251231: time sub:" << nowSeconds - status.time;
    slots_sendModbusData(m_state->statusPollRequest(nowSeconds));
}

void ModbusWorkThread::slots_syncDataByteCount(int byteCount, bool bChange)
{
    const int count = SamplingRates::streamEntry(byteCount, bChange).streamCount;
    m_requestTable[AddrStartStream] =
        QString::fromLatin1(SamplingRates::streamStartFrame(count).toHex().toUpper());
    m_requestTable[AddrStopStream] =
        QString::fromLatin1(SamplingRates::streamStopFrame(count).toHex().toUpper());
}
