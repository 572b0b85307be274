#pragma once
// Cuts the bytes from the line into requests: raw frames (AB 01 ..., 9 bytes) and
// Modbus RTU frames, both with a valid CRC. Known functions are cut by their
// length; a frame of another function ends at the silence after it (flush()).
// A byte that starts no valid frame is dropped. Pure: fed bytes, returns frames.

#include <QByteArray>
#include <QVector>

class RequestSplitter
{
public:
    enum class Kind
    {
        Modbus,
        Raw
    };
    struct Frame
    {
        Kind kind;
        QByteArray bytes;
    };

    QVector<Frame> feed(const QByteArray& bytes);
    // The line fell silent: what is left is one frame or garbage.
    QVector<Frame> flush();

    bool isEmpty() const { return m_buffer.isEmpty(); }
    QByteArray takeDropped(); // bytes dropped since the last call

private:
    static constexpr int MaxFrame = 256;

    void parse(QVector<Frame>& frames);

    QByteArray m_buffer;
    QByteArray m_dropped;
};
