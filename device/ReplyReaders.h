#pragma once
// Frame readers of the instrument link: pure classes fed the bytes read from the
// port, returning the whole replies they found. They know nothing of the port;
// ModbusManager feeds them in its thread (one thread at a time).

#include "device/Instrument.h"
#include "device/SamplingRates.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

struct ReaderOutput
{
    QList<QByteArray> frames; // whole, valid replies in arrival order
    QStringList faults;       // one line per dropped piece, for the log
};

// Modbus RTU read replies of one known length (device, function, byte count,
// data, CRC-16). A reply with a wrong address, function, byte count or CRC, and an
// exception reply, is not handed on: everything buffered is dropped, so a stray or
// missing byte costs one reply and the next request starts clean.
class FixedLengthReplyReader
{
public:
    FixedLengthReplyReader(int replyLength, quint8 function = Instrument::Function::ReadHolding,
                           quint8 address = Instrument::DeviceAddress);

    ReaderOutput feed(const QByteArray& bytes);
    void clear() { m_buffer.clear(); }
    int replyLength() const { return m_replyLength; }
    int buffered() const { return m_buffer.size(); }

private:
    QString dropAll(const QString& why);

    int m_replyLength;
    quint8 m_function;
    quint8 m_address;
    QByteArray m_buffer;
};

// Scalar stream frames: AB 01 ... FF FF, frameLength() bytes. Bytes that do not
// form such a frame are skipped up to the next AB 01; the buffer never holds more
// than one frame's worth of bytes that are not yet a frame.
class StreamFrameReader
{
public:
    explicit StreamFrameReader(int frameLength = SamplingRates::DefaultFrameLength)
        : m_frameLength(frameLength)
    {
    }

    ReaderOutput feed(const QByteArray& bytes);
    void setFrameLength(int length);
    int frameLength() const { return m_frameLength; }
    void clear() { m_buffer.clear(); }
    int buffered() const { return m_buffer.size(); }

private:
    int m_frameLength;
    QByteArray m_buffer;
};
