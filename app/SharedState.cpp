#include "app/SharedState.h"

#include <QDebug>
#include <QMutexLocker>

SharedState& SharedState::instance()
{
    static SharedState state;
    return state;
}

int SharedState::vectorTimeSpan() const
{
    QMutexLocker lock(&m_vectorTimeSpanMutex);
    return m_vectorTimeSpan;
}

void SharedState::setVectorTimeSpan(int seconds)
{
    QMutexLocker lock(&m_vectorTimeSpanMutex);
    m_vectorTimeSpan = seconds;
}

bool SharedState::resyncTime() const
{
    QMutexLocker lock(&m_resyncTimeMutex);
    return m_resyncTime;
}

void SharedState::setResyncTime(bool on)
{
    QMutexLocker lock(&m_resyncTimeMutex);
    m_resyncTime = on;
}

bool SharedState::vectorRequest() const
{
    QMutexLocker lock(&m_vectorRequestMutex);
    return m_vectorRequest;
}

void SharedState::setVectorRequest(bool on)
{
    QMutexLocker lock(&m_vectorRequestMutex);
    m_vectorRequest = on;
}

bool SharedState::takeVectorRequest()
{
    QMutexLocker lock(&m_vectorRequestMutex);
    const bool was = m_vectorRequest;
    m_vectorRequest = false;
    return was;
}

DeviceStatus SharedState::deviceStatus() const
{
    QMutexLocker lock(&m_deviceStatusMutex);
    return m_deviceStatus;
}

void SharedState::setDeviceStatus(const DeviceStatus& status)
{
    QMutexLocker lock(&m_deviceStatusMutex);
    m_deviceStatus = status;
}

void SharedState::clearDeviceStatus()
{
    QMutexLocker lock(&m_deviceStatusMutex);
    m_deviceStatus = DeviceStatus();
}

ModbusAddr SharedState::statusPollRequest(qint64 nowSeconds)
{
    QMutexLocker lock(&m_deviceStatusMutex);
    if (!m_deviceStatus.valid)
        return Addr40118Status;
    if (nowSeconds - m_deviceStatus.time > StatusHoldSeconds) {
        m_deviceStatus = DeviceStatus();
        return Addr40118Status;
    }
    qDebug() << "status123_GetData";
    return Addr40100Params;
}

int SharedState::lightStatus() const
{
    QMutexLocker lock(&m_lightStatusMutex);
    return m_lightStatus;
}

void SharedState::setLightStatus(int status)
{
    QMutexLocker lock(&m_lightStatusMutex);
    if (status != m_lightStatus)
        ++m_lightStatusChanges;
    m_lightStatus = status;
}

LightStatusReading SharedState::readLightStatus() const
{
    QMutexLocker lock(&m_lightStatusMutex);
    return {m_lightStatus, m_lightStatusChanges};
}
