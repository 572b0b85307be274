#include "device/MockDataThread.h"

#include <QFile>
#include <QMutexLocker>
#include <QTextStream>
#include <QTimer>
#include <cmath>

MockDataThread::MockDataThread() : m_timer(new QTimer(this))
{
    connect(this, &MockDataThread::startTimerRequested, this, &MockDataThread::handleStartTimer);
    connect(this, &MockDataThread::stopTimerRequested, this, &MockDataThread::handleStopTimer);
    connect(m_timer, &QTimer::timeout, this, &MockDataThread::sendNextData);
    m_timer->setSingleShot(false);
    m_thread.start(this); // the timer, a child, moves with the worker
}

MockDataThread::~MockDataThread()
{
    // The timer can only be stopped in its own thread; the stop runs before the join.
    emit stopTimerRequested();
    m_thread.stop();
}

bool MockDataThread::loadCsv(QString fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        emit errorOccurred(tr("无法打开文件: %1").arg(fileName));
        return false;
    }
    QVector<double> values;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    QString line;
    while (in.readLineInto(&line)) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const QStringList parts = line.split(QLatin1Char(','));
        if (parts.size() < 2)
            continue; // no second column
        bool ok = false;
        const double value = parts.at(1).trimmed().toDouble(&ok);
        // "nan" and "inf" read as numbers but would poison the plot and the spectrum.
        if (ok && std::isfinite(value))
            values.append(value);
    }
    file.close();
    if (values.isEmpty()) {
        emit errorOccurred(tr("文件没有包含有效数据: %1").arg(fileName));
        return false;
    }
    QMutexLocker lock(&m_dataMutex);
    m_data = values;
    m_index = 0; // an index into the old data may lie past the end of the new
    return true;
}

void MockDataThread::setPointsPerSend(int n)
{
    if (n < 1) {
        emit errorOccurred(tr("每次发送点数必须大于0，保持原值 "));
        return;
    }
    m_pointsPerSend.store(n);
}

void MockDataThread::startSendingData(int intervalMs)
{
    emit startTimerRequested(intervalMs);
}

void MockDataThread::stopSendingData()
{
    emit stopTimerRequested();
}

void MockDataThread::handleStartTimer(int intervalMs)
{
    bool hasData = false;
    {
        QMutexLocker lock(&m_dataMutex);
        hasData = !m_data.isEmpty();
        if (hasData)
            m_index = 0;
    }
    if (!hasData) {
        emit errorOccurred(tr("没有数据可发送，请先加载CSV文件"));
        return;
    }
    m_timer->start(intervalMs);
}

void MockDataThread::handleStopTimer()
{
    m_timer->stop();
}

void MockDataThread::sendNextData()
{
    QVector<double> batch;
    {
        QMutexLocker lock(&m_dataMutex);
        const int size = m_data.size();
        if (size == 0)
            return;
        const int points = m_pointsPerSend.load();
        batch.reserve(qMin(points, size));
        for (int i = 0; i < points; ++i) {
            batch.append(m_data.at(m_index));
            m_index = (m_index + 1) % size;
            if (m_index == 0)
                break; // the next pass starts with the next tick
        }
    }
    emit dataSent(batch);
}
