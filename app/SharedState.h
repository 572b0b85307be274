#pragma once
// Process-wide record of five values that threads read and write directly, each
// behind its own mutex. No method holds two of the mutexes at once.

#include "app/SharedTypes.h"

#include <QMutex>

struct LightStatusReading
{
    int status = 0;
    quint64 changes = 0; // times the status has changed value
};

struct DeviceStatus
{
    int status = -1; // 1 to 3 while the device is locking
    qint64 time = 0; // seconds since the epoch
    bool valid = false;
};

class SharedState
{
public:
    // How long a lock-attempt status keeps the status poll on parameter reads.
    static constexpr qint64 StatusHoldSeconds = 5;

    static SharedState& instance();

    int vectorTimeSpan() const;
    void setVectorTimeSpan(int seconds);

    bool resyncTime() const;
    void setResyncTime(bool on);

    bool vectorRequest() const;
    void setVectorRequest(bool on);
    bool takeVectorRequest(); // returns the flag and clears it in one step

    DeviceStatus deviceStatus() const;
    void setDeviceStatus(const DeviceStatus& status);
    void clearDeviceStatus();

    // The status poll's rule: while a status of 1 to 3 is at most 5 s old the tick
    // reads the parameter block; an older one is cleared and the status is read.
    ModbusAddr statusPollRequest(qint64 nowSeconds);

    int lightStatus() const;
    void setLightStatus(int status);
    // The status with its change count, read together: a reader that saw another
    // count knows the status moved in between, even if it is back where it was.
    LightStatusReading readLightStatus() const;

    SharedState() = default; // tests make their own records
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

private:
    mutable QMutex m_vectorTimeSpanMutex;
    int m_vectorTimeSpan = 0;
    mutable QMutex m_resyncTimeMutex;
    bool m_resyncTime = true;
    mutable QMutex m_vectorRequestMutex;
    bool m_vectorRequest = false;
    mutable QMutex m_deviceStatusMutex;
    DeviceStatus m_deviceStatus;
    mutable QMutex m_lightStatusMutex;
    int m_lightStatus = 0;
    quint64 m_lightStatusChanges = 0;
};
