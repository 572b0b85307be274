#include "device/ComPortThread.h"

#include "device/SerialPortNames.h"

#include <QDebug>
#include <QMetaObject>
#include <QSerialPortInfo>
#include <QTimer>

ComPortThread::ComPortThread(QObject* parent, int intervalMs)
    : QObject(parent), m_timer(new QTimer(this)), m_intervalMs(intervalMs)
{
    connect(m_timer, &QTimer::timeout, this, &ComPortThread::updateComProtList);
    m_thread.start(this); // the timer, a child, moves with the worker; it is not started
}

ComPortThread::~ComPortThread()
{
    // The timer can only be stopped in its own thread; the stop runs before the join.
    QMetaObject::invokeMethod(this, &ComPortThread::slots_stopTimer, Qt::QueuedConnection);
    m_thread.stop();
}

void ComPortThread::slots_startTimer()
{
    m_timer->start(m_intervalMs);
}

void ComPortThread::slots_stopTimer()
{
    m_timer->stop();
}

void ComPortThread::updateComProtList()
{
    QList<QString> list;
    for (const QString& name : SerialPortNames::available()) {
        list.prepend(name);
        qDebug().noquote() << name << QSerialPortInfo(name).description();
    }
    emit sig_setPortNamelist(list);
}
