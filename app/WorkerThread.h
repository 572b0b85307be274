#pragma once
// The thread a worker object runs in. A worker holds one as a member and calls
// start(this) at the end of its constructor; its destructor calls stop().
//
// stop() is called from the thread that owns the worker (the GUI thread): calls
// already queued to the worker still run, then the worker is handed back to the
// calling thread and the thread is joined, so the worker can be deleted there.

class QObject;
class QThread;

class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void start(QObject* worker);
    void stop();
    QThread* thread() const { return m_thread; }

private:
    QObject* m_worker = nullptr;
    QThread* m_thread = nullptr;
};
