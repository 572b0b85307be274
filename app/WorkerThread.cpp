#include "app/WorkerThread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

WorkerThread::~WorkerThread()
{
    stop();
}

void WorkerThread::start(QObject* worker)
{
    m_worker = worker;
    m_thread = new QThread();
    m_thread->setObjectName(worker->metaObject()->className());
    worker->moveToThread(m_thread);
    m_thread->start(QThread::InheritPriority);
}

void WorkerThread::stop()
{
    if (!m_thread)
        return;
    QThread* const caller = QThread::currentThread();
    if (m_thread->isRunning() && caller != m_thread) {
        // Runs after everything already queued to the worker.
        QObject* const worker = m_worker;
        QMetaObject::invokeMethod(
            worker, [worker, caller] { worker->moveToThread(caller); },
            Qt::BlockingQueuedConnection);
    }
    m_thread->quit();
    if (caller != m_thread)
        m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}
