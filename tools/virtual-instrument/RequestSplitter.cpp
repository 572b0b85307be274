#include "RequestSplitter.h"

#include "Crc16.h"

namespace {
constexpr quint8 RawStart = 0xAB;
constexpr int RawLength = 9;

// Length of a request of this function, 0 when it needs more bytes to tell,
// -1 when the function's requests have no fixed layout.
int requestLength(const QByteArray& b)
{
    if (b.size() < 2)
        return 0;
    const quint8 function = static_cast<quint8>(b[1]);
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        return 8;
    case 0x0F:
    case 0x10:
        return b.size() < 7 ? 0 : 9 + static_cast<quint8>(b[6]);
    default:
        return -1;
    }
}
} // namespace

QVector<RequestSplitter::Frame> RequestSplitter::feed(const QByteArray& bytes)
{
    m_buffer.append(bytes);
    QVector<Frame> frames;
    parse(frames);
    return frames;
}

void RequestSplitter::parse(QVector<Frame>& frames)
{
    while (!m_buffer.isEmpty()) {
        const bool raw = static_cast<quint8>(m_buffer[0]) == RawStart;
        const int length = raw ? RawLength : requestLength(m_buffer);
        if (length < 0 || length == 0 || m_buffer.size() < length) {
            if (m_buffer.size() > MaxFrame) { // never a frame: drop it all
                m_dropped.append(m_buffer);
                m_buffer.clear();
            }
            break;
        }
        const QByteArray candidate = m_buffer.left(length);
        if (Crc16::check(candidate)) {
            frames.append({raw ? Kind::Raw : Kind::Modbus, candidate});
            m_buffer.remove(0, length);
        } else {
            m_dropped.append(m_buffer[0]);
            m_buffer.remove(0, 1);
        }
    }
}

QVector<RequestSplitter::Frame> RequestSplitter::flush()
{
    // Whatever is left waited in vain for more bytes: either it is one frame of a
    // function without a fixed layout, or its first byte was noise.
    QVector<Frame> frames;
    while (!m_buffer.isEmpty()) {
        if (m_buffer.size() >= 4 && static_cast<quint8>(m_buffer[0]) != RawStart &&
            Crc16::check(m_buffer)) {
            frames.append({Kind::Modbus, m_buffer});
            m_buffer.clear();
            break;
        }
        m_dropped.append(m_buffer[0]);
        m_buffer.remove(0, 1);
        parse(frames);
    }
    return frames;
}

QByteArray RequestSplitter::takeDropped()
{
    QByteArray dropped;
    dropped.swap(m_dropped);
    return dropped;
}
