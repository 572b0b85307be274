#pragma once
// Sends one-second data batches to the server client as the recorder does: the
// same signals, the time of each batch 1000 ms after the last. A timer paces
// them; tests run it faster than real time.

#include "app/SharedTypes.h"
#include "services/ServerThread.h"

#include <QObject>
#include <QTimer>
#include <QVector>

class BatchDriver : public QObject
{
    Q_OBJECT
public:
    BatchDriver(ServerThread* server, qint64 firstTime, int rate, int paceMs)
        : m_next(firstTime), m_rate(rate)
    {
        // Queued into the client's thread: a batch sent before its type is known
        // would not be queued, and the connection would queue none after it. In
        // the program the hub registers it.
        qRegisterMetaType<QVector<double>>("QVector<double>");
        connect(this, &BatchDriver::sig_SendServerData, server,
                &ServerThread::slot_SendServerScalarData);
        connect(this, &BatchDriver::sig_SendServerVectorData, server,
                &ServerThread::slot_SendServerVectorData);
        m_timer.setInterval(paceMs);
        connect(&m_timer, &QTimer::timeout, this, &BatchDriver::sendOne);
    }

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    const QList<qint64>& sent() const { return m_sent; }

    void sendOne()
    {
        QVector<double> values(m_rate);
        for (int i = 0; i < m_rate; ++i)
            values[i] = 50000.0 + 0.01 * ((m_next / 1000 + i) % 997);
        m_sent << m_next;
        emit sig_SendServerData(m_next, values, m_rate, 1000 / m_rate);
        emit batchSent(m_next);
        m_next += 1000;
    }

signals:
    void sig_SendServerData(qint64 timestamp, QVector<double> save_data, int data_frequency,
                            int intervalMs);
    void sig_SendServerVectorData(qint64 timestamp, QVector<XYZST> save_data, int data_frequency,
                                  int intervalMs);
    void batchSent(qint64 time);

private:
    QTimer m_timer;
    qint64 m_next;
    int m_rate;
    QList<qint64> m_sent;
};
