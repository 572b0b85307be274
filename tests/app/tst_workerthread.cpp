#include "app/WorkerThread.h"
#include "tests/support/TestMain.h"

#include <QThread>

namespace {
class Worker : public QObject
{
public:
    Worker() { m_thread.start(this); }
    ~Worker() override { m_thread.stop(); }
    WorkerThread m_thread;
    QVector<QThread*> ranIn; // written in the worker's thread, read after stop()
};
} // namespace

class TestWorkerThread : public QObject
{
    Q_OBJECT
private slots:
    void stopRunsQueuedCallsThenJoins();
};

void TestWorkerThread::stopRunsQueuedCallsThenJoins()
{
    auto* worker = new Worker;
    QThread* const thread = worker->m_thread.thread();
    QVERIFY(thread && thread != QThread::currentThread());
    QCOMPARE(worker->thread(), thread);
    QPointer<QThread> watch(thread);
    for (int i = 0; i < 200; ++i) {
        QMetaObject::invokeMethod(
            worker, [worker] { worker->ranIn << QThread::currentThread(); }, Qt::QueuedConnection);
    }
    worker->m_thread.stop();

    QCOMPARE(worker->ranIn.size(), 200);
    QVERIFY(worker->ranIn.count(thread) == 200);
    QCOMPARE(worker->thread(), QThread::currentThread()); // deletable from here
    QVERIFY(watch.isNull());
    QVERIFY(worker->m_thread.thread() == nullptr);
    worker->m_thread.stop(); // a second stop is harmless
    delete worker;
}

MAG_TEST_MAIN_CORE(TestWorkerThread)
#include "tst_workerthread.moc"
