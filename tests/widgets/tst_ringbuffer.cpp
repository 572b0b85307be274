#include "tests/support/TestMain.h"
#include "ui/widgets/RingBuffer.h"

#include <QSharedPointer>
#include <QThread>
#include <atomic>

class TestRingBuffer : public QObject
{
    Q_OBJECT
private slots:
    void pushBeyondCapacity_data();
    void pushBeyondCapacity();
    void popOfEmptyGivesDefault();
    void clearForgetsItems();
    void keepsOrderAcrossWrap();
    void popReleasesTheItem();
    void concurrentPushPopKeepsOrderAndCount();
};

void TestRingBuffer::pushBeyondCapacity_data()
{
    QTest::addColumn<int>("pushed");
    QTest::addColumn<int>("kept");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("one below full") << 254 << 254;
    QTest::newRow("exactly full") << 255 << 255;
    QTest::newRow("one too many") << 256 << 255;
    QTest::newRow("300") << 300 << 255;
}

void TestRingBuffer::pushBeyondCapacity()
{
    QFETCH(int, pushed);
    QFETCH(int, kept);
    RingBuffer<QVector<double>> queue(256);
    for (int i = 0; i < pushed; ++i)
        queue.push({double(i)});
    for (int i = 0; i < kept; ++i)
        QCOMPARE(queue.pop(), QVector<double>{double(i)}); // the first ones stay, oldest first
    QVERIFY(queue.pop().isEmpty());
    QVERIFY(queue.pop().isEmpty());
}

void TestRingBuffer::popOfEmptyGivesDefault()
{
    RingBuffer<QVector<double>> queue(256);
    QVERIFY(queue.pop().isEmpty());
    // Head and tail are untouched: the full capacity is still there, in order.
    for (int i = 0; i < 300; ++i)
        queue.push({double(i)});
    for (int i = 0; i < 255; ++i)
        QCOMPARE(queue.pop().value(0, -1), double(i));
    QVERIFY(queue.pop().isEmpty());
}

void TestRingBuffer::clearForgetsItems()
{
    RingBuffer<QVector<double>> queue(256);
    queue.push({1.0});
    queue.push({2.0});
    queue.clear();
    QVERIFY(queue.pop().isEmpty());
    // After a clear the whole capacity is free again.
    for (int i = 0; i < 255; ++i)
        queue.push({double(i)});
    queue.push({999.0});
    for (int i = 0; i < 255; ++i)
        QCOMPARE(queue.pop().value(0, -1), double(i));
    QVERIFY(queue.pop().isEmpty());
}

void TestRingBuffer::keepsOrderAcrossWrap()
{
    // Head and tail pass slot 255 several times; a depth of 200 keeps it filling.
    RingBuffer<int> queue(256);
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 10; ++round) {
        while (next - expected < 200)
            queue.push(++next);
        for (int i = 0; i < 150; ++i)
            QCOMPARE(queue.pop(), ++expected);
    }
    while (expected < next)
        QCOMPARE(queue.pop(), ++expected);
    QCOMPARE(queue.pop(), 0);
}

void TestRingBuffer::popReleasesTheItem()
{
    RingBuffer<QSharedPointer<int>> queue(256);
    QWeakPointer<int> watch;
    {
        auto item = QSharedPointer<int>::create(7);
        watch = item;
        queue.push(item);
    }
    QVERIFY(!watch.isNull());
    QCOMPARE(*queue.pop(), 7);
    QVERIFY2(watch.isNull(), "the queue kept a reference after the pop");
}

void TestRingBuffer::concurrentPushPopKeepsOrderAndCount()
{
    constexpr int Total = 200000;
    constexpr int MaxInFlight = 200; // below 255, so no push is ever dropped
    RingBuffer<int> queue(256);
    std::atomic<int> consumed{0};
    std::atomic<bool> outOfOrder{false};

    QScopedPointer<QThread> producer(QThread::create([&] {
        for (int i = 1; i <= Total; ++i) {
            while (i - consumed.load() > MaxInFlight && !outOfOrder)
                QThread::yieldCurrentThread();
            if (outOfOrder)
                return;
            queue.push(i);
        }
    }));
    QScopedPointer<QThread> consumer(QThread::create([&] {
        int last = 0;
        while (last < Total) {
            const int item = queue.pop();
            if (item == 0) {
                QThread::yieldCurrentThread();
                continue;
            }
            if (item != last + 1) {
                outOfOrder = true;
                return;
            }
            last = item;
            consumed.store(last);
        }
    }));
    producer->start();
    consumer->start();
    QVERIFY(producer->wait(60000));
    QVERIFY(consumer->wait(60000));
    QVERIFY(!outOfOrder);
    QCOMPARE(consumed.load(), Total);
    QCOMPARE(queue.pop(), 0);
}

MAG_TEST_MAIN_CORE(TestRingBuffer)
#include "tst_ringbuffer.moc"
