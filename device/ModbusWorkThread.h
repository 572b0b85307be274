#pragma once
// Request scheduler of the instrument link: the request table (one ready frame per
// ModbusAddr, as hexadecimal text, built once from device/Instrument.h), the status
// poll and the parameter poll, both aligned to whole UTC seconds.
//
// Threads: a plain QObject, child of the hub; it lives in the GUI thread and every
// slot, timer and signal runs there. Requests leave as sig_readData, which the hub
// connects queued to the transport's thread.

#include "app/SharedTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class SharedState;

class ModbusWorkThread : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // current time, UTC

    // The program uses the system clock and SharedState::instance(); tests give
    // their own.
    explicit ModbusWorkThread(QObject* parent = nullptr, Clock clock = Clock(),
                              SharedState* state = nullptr);

    // Sends request 3 (parameter block).
    void sendParamRead();
    // One status poll tick (the status timer's timeout): request 2, or request 3
    // while a lock-attempt status is at most 5 s old.
    void statusTick();
    void readDeviceParams();

    // The frame text the table holds for a selector (empty when it has none).
    QString requestText(ModbusAddr addr) const { return m_requestTable.value(addr); }
    bool isStatusPollActive() const { return m_statusPollActive; }
    bool isParamPollActive() const { return m_paramPollActive; }
    // Milliseconds until the next whole UTC second, by the clock.
    int msToNextSecond() const;
    // Both polls tick once a second; tests shorten that. Takes effect at the
    // next start of a poll.
    void setPollInterval(int ms)
    {
        m_statusInterval = ms;
        m_paramInterval = ms;
    }

signals:
    void sig_connectDevice(QString portName, int baudRate);
    void sig_disConnectDevice();
    void sig_readModbus(quint16 address, quint16 value);
    void sig_writeModbus(quint16 address, quint16 value);
    void sig_readModbusData(QByteArray data);
    void sig_readData(ModbusAddr modbusAddr, QByteArray data);
    void sig_connected();
    void sig_disconnect();

public slots:
    void slots_devStatusWorkerStart();
    void slots_ddsWorkerStart();
    void slots_paramWorkerStart();
    void slots_devStatusWorkerStop();
    void slots_ddsWorkerStop();
    void slots_paramWorkerStop();
    void slots_sendModbusData(ModbusAddr modbusAddr);
    void slots_sendCustomModbusData(QByteArray data);
    void slots_syncDataByteCount(int byteCount, bool bChange);

private:
    void startAligned(bool& activeFlag, QTimer* aligner);
    static void stopPoll(bool& activeFlag, QTimer* aligner, QTimer* timer);
    QDateTime now() const;

    int m_statusInterval = 1000;
    int m_paramInterval = 1000;

    QMap<ModbusAddr, QString> m_requestTable;

    bool m_statusPollActive = false;
    bool m_paramPollActive = false;

    QTimer* m_statusTimer;
    QTimer* m_ddsTimer; // never started
    QTimer* m_paramTimer;
    // Single shots that start the poll timers at the next whole second.
    QTimer* m_statusAligner;
    QTimer* m_paramAligner;

    Clock m_clock;
    SharedState* m_state;
};
