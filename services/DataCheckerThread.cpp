#include "services/DataCheckerThread.h"

#include "app/SharedState.h"
#include "device/Instrument.h"
#include "device/SamplingRates.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>

DataCheckerThread::DataCheckerThread(Clock clock, SharedState* state, int checkIntervalMs)
    : m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentSecsSinceEpoch(); })),
      m_state(state ? state : &SharedState::instance()), m_checkIntervalMs(checkIntervalMs)
{
    m_seenStatusChanges = m_state->readLightStatus().changes;
    m_thread.start(this);
    // Queued to this object, now in its thread: runs there once its loop runs.
    QMetaObject::invokeMethod(this, "slot_initTimer", Qt::QueuedConnection);
}

DataCheckerThread::~DataCheckerThread()
{
    m_thread.stop();
}

QString DataCheckerThread::noDataText()
{
    return QStringLiteral("没有数据发过来，请检查设备");
}

QString DataCheckerThread::lockLossText()
{
    return QStringLiteral("设备失锁中，请检查设备");
}

void DataCheckerThread::slot_initTimer()
{
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &DataCheckerThread::slot_onCheckData);
    m_timer->start(m_checkIntervalMs);
}

int DataCheckerThread::observeStatus()
{
    const LightStatusReading light = m_state->readLightStatus();
    if (light.changes != m_seenStatusChanges) {
        m_seenStatusChanges = light.changes;
        m_window.clear();
        // A relock gives the stream its full time to come again.
        if (m_awaitedSince >= 0)
            m_awaitedSince = m_clock();
    }
    if (light.status != Instrument::WorkState::Locked)
        m_window.clear();
    return light.status;
}

void DataCheckerThread::slot_streamRequest(ModbusAddr modbusAddr)
{
    if (modbusAddr == AddrStopStream) {
        m_streamStopped = true;
        m_window.clear();
        m_awaitedSince = -1;
    } else if (modbusAddr == AddrStartStream) {
        m_streamStopped = false;
        m_awaitedSince = m_clock(); // a stream that never brings a value is missing too
    }
}

void DataCheckerThread::slot_onCheckData()
{
    if (observeStatus() != Instrument::WorkState::Locked || m_streamStopped || m_awaitedSince < 0)
        return;
    if (m_clock() - m_awaitedSince > NoDataSeconds)
        emit sig_dataCheckMsg(noDataText());
}

void DataCheckerThread::slot_DataCheck(QVector<double> datas, FrequencyType fre)
{
    // Batches still handed out after a stop are not a running stream.
    if (observeStatus() != Instrument::WorkState::Locked || m_streamStopped)
        return;
    const int step = RateMap.value(int(fre), 0);
    if (step <= 0) {
        // One line when batches of such a rate begin, not one per batch.
        if (int(fre) != m_ignoredRate)
            qDebug() << "data check: no step for the rate" << int(fre) << ", batches ignored";
        m_ignoredRate = int(fre);
        return;
    }
    m_ignoredRate = 0;

    qint64 t = m_clock();
    for (int i = 0; i < datas.size(); i += step)
        m_window.append({t++, datas.at(i)});
    if (m_window.isEmpty())
        return;
    m_awaitedSince = m_window.last().time;

    const qint64 oldest = m_window.last().time - WindowSeconds;
    int drop = 0;
    while (drop < m_window.size() && m_window.at(drop).time < oldest)
        ++drop;
    m_window.remove(0, drop);

    if (m_window.size() >= MonotonicRun &&
        isStrictlyMonotonic(m_window.mid(m_window.size() - MonotonicRun))) {
        emit sig_dataCheckMsg(lockLossText());
        return;
    }
    if (m_window.size() >= RangeRun && isOutOfRange(m_window.mid(m_window.size() - RangeRun)))
        emit sig_dataCheckMsg(lockLossText());
}

bool DataCheckerThread::isStrictlyIncreasing(const QVector<DataCheckSample>& samples)
{
    for (int i = 1; i < samples.size(); ++i) {
        if (!(samples.at(i).value > samples.at(i - 1).value))
            return false;
    }
    return true;
}

bool DataCheckerThread::isStrictlyDecreasing(const QVector<DataCheckSample>& samples)
{
    for (int i = 1; i < samples.size(); ++i) {
        if (!(samples.at(i).value < samples.at(i - 1).value))
            return false;
    }
    return true;
}

bool DataCheckerThread::isStrictlyMonotonic(const QVector<DataCheckSample>& samples)
{
    return isStrictlyIncreasing(samples) || isStrictlyDecreasing(samples);
}

bool DataCheckerThread::isOutOfRange(const QVector<DataCheckSample>& samples)
{
    if (samples.isEmpty())
        return false;
    bool allHigh = true, allLow = true;
    for (const DataCheckSample& s : samples) {
        allHigh = allHigh && s.value > RangeHigh;
        allLow = allLow && s.value < RangeLow;
    }
    return allHigh || allLow;
}
