#include "device/ModbusWorkThread.h"

#include "app/SharedState.h"
#include "device/Instrument.h"
#include "device/ModbusFrame.h"
#include "device/SamplingRates.h"

#include <QDebug>
#include <QTimer>

namespace {
// The table holds each frame as the transport expects it: upper-case hexadecimal text.
QString hexText(const QByteArray& frame)
{
    return QString::fromLatin1(frame.toHex().toUpper());
}
} // namespace

ModbusWorkThread::ModbusWorkThread(QObject* parent, Clock clock, SharedState* state)
    : QObject(parent), m_clock(std::move(clock)), m_state(state ? state : &SharedState::instance())
{
    namespace Reg = Instrument::Register;
    namespace Count = Instrument::Count;
    namespace Raw = Instrument::Raw;
    const auto put = [this](ModbusAddr addr, const QByteArray& frame) {
        m_requestTable[addr] = hexText(frame);
    };
    put(Addr40118Restart, ModbusFrame::writeSingle(Reg::WorkState, Instrument::WorkState::Restart));
    put(Addr40118ReTrack, ModbusFrame::writeSingle(Reg::WorkState, Instrument::WorkState::ReTrack));
    put(Addr40118Status, ModbusFrame::read(Reg::WorkState, Count::Status));
    put(Addr40100Params, ModbusFrame::read(Reg::ParameterBlock, Count::ParameterBlock));
    put(Addr40230, ModbusFrame::read(Reg::Block40230, Count::Block40230));
    put(AddrRaw30000, ModbusFrame::raw(Raw::Start, Raw::OtherField, Raw::ReadCount));
    put(AddrStreamData, ModbusFrame::raw(Raw::Start, Raw::StreamField, Raw::ReadCount));
    put(Addr40000Identity, ModbusFrame::read(Reg::IdentityBlock, Count::IdentityBlock));
    slots_syncDataByteCount(SamplingRates::DefaultRate, false);

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
    const int count = SamplingRates::streamEntry(byteCount, bChange).streamCount();
    m_requestTable[AddrStartStream] = hexText(SamplingRates::streamStartFrame(count));
    m_requestTable[AddrStopStream] = hexText(SamplingRates::streamStopFrame(count));
}
