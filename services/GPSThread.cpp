#include "services/GPSThread.h"

#include "services/GpsReader.h"

#include <QDateTime>
#include <QDebug>
#include <QThread>

namespace {
constexpr qint64 ForwardPauseSeconds = 3600;

qint64 systemSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

GPSThread::Clock& throttleClock()
{
    static GPSThread::Clock c = systemSeconds;
    return c;
}

qint64& nextForwardTime()
{
    static qint64 next = 0;
    return next;
}
} // namespace

GPSThread::GPSThread(QString portName, QObject* parent)
    : QObject(parent), m_portName(std::move(portName))
{
    m_thread.start(this);
}

GPSThread::~GPSThread()
{
    QThread* const own = m_thread.thread();
    auto closeReader = [this] {
        delete m_reader;
        m_reader = nullptr;
    };
    if (own && own->isRunning() && QThread::currentThread() != own)
        QMetaObject::invokeMethod(this, closeReader, Qt::BlockingQueuedConnection);
    else
        closeReader();
    m_thread.stop();
}

void GPSThread::setClock(Clock c)
{
    throttleClock() = c ? std::move(c) : Clock(systemSeconds);
}

void GPSThread::resetThrottle()
{
    nextForwardTime() = 0;
}

void GPSThread::slot_begin()
{
    if (!m_reader) {
        m_reader = new GpsReader(this);
        connect(m_reader, &GpsReader::portOpened, this, &GPSThread::portOpened);
        connect(m_reader, &GpsReader::newGpsData, this, &GPSThread::slot_GPSData);
    }
    if (m_portName.isEmpty()) {
        m_reader->closePort();
        return;
    }
    m_reader->setPortConfig(m_portName, 4800);
    if (m_reader->openPort())
        qDebug() << "串口打开成功";
    else
        qDebug() << "GPS串口打开失败";
}

void GPSThread::slot_GPSData(double latitude, double longitude, double altitude, int satellites)
{
    const qint64 now = throttleClock()();
    if (now <= nextForwardTime())
        return;
    nextForwardTime() = now + ForwardPauseSeconds;
    emit newGpsData(latitude, longitude, altitude, satellites);
}
