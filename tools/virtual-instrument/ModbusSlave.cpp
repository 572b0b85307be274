#include "ModbusSlave.h"

#include "Crc16.h"
#include "InstrumentModel.h"

namespace {
quint16 word(const QByteArray& b, int at)
{
    return static_cast<quint16>((static_cast<quint8>(b[at]) << 8) | static_cast<quint8>(b[at + 1]));
}

void appendWord(QByteArray& b, quint16 w)
{
    b.append(static_cast<char>(w >> 8));
    b.append(static_cast<char>(w & 0xFF));
}
} // namespace

ModbusSlave::Request ModbusSlave::describe(const QByteArray& frame)
{
    Request r;
    if (frame.size() < 4)
        return r;
    r.address = static_cast<quint8>(frame[0]);
    r.function = static_cast<quint8>(frame[1]);
    if ((r.function == 0x03 || r.function == 0x06 || r.function == 0x10) && frame.size() >= 8) {
        // Register numbers stand on the wire as they are: 0x9CB6 is 40118.
        r.firstRegister = word(frame, 2);
        r.registerCount = r.function == 0x06 ? 1 : word(frame, 4);
    }
    return r;
}

QByteArray ModbusSlave::exceptionReply(quint8 function, quint8 code)
{
    QByteArray reply;
    reply.append(static_cast<char>(Address));
    reply.append(static_cast<char>(function | 0x80));
    reply.append(static_cast<char>(code));
    Crc16::append(reply);
    return reply;
}

QByteArray ModbusSlave::handle(const QByteArray& frame)
{
    const Request r = describe(frame);
    QByteArray reply;
    reply.append(static_cast<char>(Address));
    reply.append(static_cast<char>(r.function));
    switch (r.function) {
    case 0x03: {
        const quint8 error = m_model.checkRead(r.firstRegister, r.registerCount);
        if (error != ModbusException::None)
            return exceptionReply(r.function, error);
        const QVector<quint16> values = m_model.read(r.firstRegister, r.registerCount);
        reply.append(static_cast<char>(values.size() * 2));
        for (quint16 v : values)
            appendWord(reply, v);
        break;
    }
    case 0x06: {
        const quint8 error = m_model.write(r.firstRegister, {word(frame, 4)});
        if (error != ModbusException::None)
            return exceptionReply(r.function, error);
        return frame; // the echo of the request
    }
    case 0x10: {
        const int count = r.registerCount;
        const int byteCount = static_cast<quint8>(frame[6]);
        if (count < 1 || count > 123 || byteCount != 2 * count || frame.size() != 9 + byteCount)
            return exceptionReply(r.function, ModbusException::IllegalValue);
        QVector<quint16> values;
        for (int i = 0; i < count; ++i)
            values.append(word(frame, 7 + 2 * i));
        const quint8 error = m_model.write(r.firstRegister, values);
        if (error != ModbusException::None)
            return exceptionReply(r.function, error);
        appendWord(reply, static_cast<quint16>(r.firstRegister));
        appendWord(reply, static_cast<quint16>(count));
        break;
    }
    default:
        return exceptionReply(r.function, ModbusException::IllegalFunction);
    }
    Crc16::append(reply);
    return reply;
}
