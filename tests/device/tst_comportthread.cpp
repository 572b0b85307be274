// The port-list worker and the hub's port-names field. Ports are pseudo-terminals
// published as "COM<n>" links in a virtual port folder of this test's own.

#include "app/ParamManager.h"
#include "device/ComPortThread.h"
#include "device/SerialPortNames.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QTimer>
#include <memory>
#include <pty.h>
#include <unistd.h>

namespace {
// A pseudo-terminal published under a port name for as long as it lives.
class VirtualPort
{
public:
    explicit VirtualPort(const QString& name)
        : m_link(QDir(SerialPortNames::virtualPortDir()).filePath(name))
    {
        char path[256] = {};
        if (::openpty(&m_master, &m_slave, path, nullptr, nullptr) == 0)
            QFile::link(QString::fromLocal8Bit(path), m_link);
    }
    ~VirtualPort()
    {
        QFile::remove(m_link);
        if (m_master >= 0) {
            ::close(m_slave);
            ::close(m_master);
        }
    }
    bool isPublished() const { return QFileInfo(m_link).isSymLink(); }

private:
    QString m_link;
    int m_master = -1;
    int m_slave = -1;
};

QStringList newestFirst(const QStringList& names)
{
    QStringList reversed;
    for (const QString& name : names)
        reversed.prepend(name);
    return reversed;
}

// Records each list as it is emitted, in the worker's thread, with the time.
struct Lister
{
    std::unique_ptr<ComPortThread> worker;
    QObject context;
    mutable QMutex mutex;
    QList<QStringList> lists;
    QList<qint64> times;
    QElapsedTimer clock;

    explicit Lister(int intervalMs = ComPortThread::DefaultIntervalMs)
        : worker(std::make_unique<ComPortThread>(nullptr, intervalMs))
    {
        clock.start();
        QObject::connect(
            worker.get(), &ComPortThread::sig_setPortNamelist, &context,
            [this](const QList<QString>& list) {
                QMutexLocker lock(&mutex);
                lists << list;
                times << clock.elapsed();
            },
            Qt::DirectConnection);
    }
    ~Lister() { worker.reset(); }
    int count() const
    {
        QMutexLocker lock(&mutex);
        return lists.size();
    }
    void call(void (ComPortThread::*slot)())
    {
        QMetaObject::invokeMethod(worker.get(), slot, Qt::BlockingQueuedConnection);
    }
};

void sync(QObject* worker)
{
    QMetaObject::invokeMethod(
        worker, [] {}, Qt::BlockingQueuedConnection);
}
} // namespace

class TestComPortThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void listIsNewestFirst_data();
    void listIsNewestFirst();
    void timerListsEveryIntervalUntilStopped();
    void hubFollowsThePortList();
};

void TestComPortThread::initTestCase()
{
    qputenv("MAG_PORT_DIR", QDir::current().filePath("ports").toLocal8Bit());
    QVERIFY(QDir::current().mkpath("ports"));
}

void TestComPortThread::listIsNewestFirst_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::newRow("no virtual port") << QStringList();
    QTest::newRow("COM1 then COM3") << QStringList{"COM1", "COM3"};
}

void TestComPortThread::listIsNewestFirst()
{
    QFETCH(QStringList, ports);
    std::vector<std::unique_ptr<VirtualPort>> published;
    for (const QString& name : ports) {
        published.push_back(std::make_unique<VirtualPort>(name));
        QVERIFY(published.back()->isPublished());
    }
    const QStringList available = SerialPortNames::available();
    QCOMPARE(available.mid(available.size() - ports.size()), ports);

    Lister l;
    l.call(&ComPortThread::updateComProtList);
    QCOMPARE(l.count(), 1);
    QCOMPARE(l.lists.first(), newestFirst(available));
    QCOMPARE(l.lists.first().mid(0, ports.size()), newestFirst(ports));
}

void TestComPortThread::timerListsEveryIntervalUntilStopped()
{
    constexpr int Interval = 100;
    Lister l(Interval);
    sync(l.worker.get());
    QCOMPARE(l.count(), 0); // the constructor does not start the timer

    l.call(&ComPortThread::slots_startTimer);
    QTRY_VERIFY_WITH_TIMEOUT(l.count() >= 5, 15000);
    {
        QMutexLocker lock(&l.mutex);
        const qint64 fourTicks = l.times[4] - l.times[0];
        // Coarse timers may fire up to 5 % early, and a listing takes a few ms.
        QVERIFY2(fourTicks >= 4 * Interval * 90 / 100 && fourTicks < 80 * Interval,
                 qPrintable(QString::number(fourTicks)));
        for (const QStringList& list : l.lists)
            QCOMPARE(list, newestFirst(SerialPortNames::available()));
    }

    l.call(&ComPortThread::slots_stopTimer);
    const int stoppedAt = l.count();
    QTest::qWait(3 * Interval); // three intervals: no list may come
    QCOMPARE(l.count(), stoppedAt);
}

void TestComPortThread::hubFollowsThePortList()
{
    ParamManager hub;
    QVERIFY(!hub.getComPortThread());
    VirtualPort com5("COM5");
    QVERIFY(com5.isPublished());

    QElapsedTimer sinceStart;
    sinceStart.start();
    hub.initComPortThread(); // starts the timer itself
    ComPortThread* const worker = hub.getComPortThread();
    QVERIFY(worker);
    QTRY_COMPARE_WITH_TIMEOUT(hub.portNames(), newestFirst(SerialPortNames::available()), 10000);
    // The hub's worker lists once a second (coarse timers may fire 5 % early).
    QVERIFY2(sinceStart.elapsed() >= 950, qPrintable(QString::number(sinceStart.elapsed())));
    QCOMPARE(hub.portNames().first(), QString("COM5"));

    {
        VirtualPort com7("COM7");
        QTRY_COMPARE_WITH_TIMEOUT(hub.portNames().first(), QString("COM7"), 10000);
        QCOMPARE(hub.portNames().at(1), QString("COM5"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!hub.portNames().contains("COM7"), 10000);
    QCOMPARE(hub.portNames().first(), QString("COM5"));

    // The stop reaches the worker: its timer no longer runs, so no list can follow.
    emit hub.sig_stopComPortThreadTimer();
    sync(worker);
    const QTimer* timer = worker->findChild<QTimer*>();
    QVERIFY(timer);
    QVERIFY(!timer->isActive());

    hub.shutdown();
    QVERIFY(!hub.getComPortThread());
}

MAG_TEST_MAIN_CORE(TestComPortThread)
#include "tst_comportthread.moc"
