#pragma once
// Fixed-capacity circular queue guarded by a mutex. One slot always stays free,
// so a queue of capacity n holds at most n - 1 items; a push into a full queue
// drops the new item. Any thread may call any operation.

#include <QMutex>
#include <QMutexLocker>
#include <QVector>

template <typename T> class RingBuffer
{
public:
    explicit RingBuffer(int capacity = 256)
        : m_capacity(capacity < 2 ? 2 : capacity), m_slots(m_capacity)
    {
    }

    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    void push(const T& item)
    {
        QMutexLocker lock(&m_mutex);
        const int next = (m_tail + 1) % m_capacity;
        if (next == m_head)
            return;
        m_slots[m_tail] = item;
        m_tail = next;
    }

    // The oldest item, or a default-constructed one when the queue is empty.
    T pop()
    {
        QMutexLocker lock(&m_mutex);
        if (m_head == m_tail)
            return T();
        T item = m_slots[m_head];
        m_slots[m_head] = T(); // drop the queue's reference to the data
        m_head = (m_head + 1) % m_capacity;
        return item;
    }

    // Forgets every queued item; the slots are overwritten by later pushes.
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_head = m_tail;
    }

    int capacity() const { return m_capacity; }

private:
    const int m_capacity;
    int m_head = 0;
    int m_tail = 0;
    QVector<T> m_slots;
    mutable QMutex m_mutex;
};
