#include "device/ModbusFrame.h"

#include "device/CrcUtils.h"
#include "device/Instrument.h"

#include <cstring>

namespace ModbusFrame {
namespace {
void appendWord(QByteArray& frame, quint16 word)
{
    frame.append(char(word >> 8));
    frame.append(char(word & 0xFF));
}

// `start`, the function, two 16-bit fields and the CRC.
QByteArray twoFieldFrame(QByteArray start, quint8 function, quint16 first, quint16 second)
{
    start.append(char(function));
    appendWord(start, first);
    appendWord(start, second);
    appendCrc16(start);
    return start;
}

QByteArray device()
{
    return QByteArray(1, char(Instrument::DeviceAddress));
}
} // namespace

QByteArray read(quint16 reg, quint16 count)
{
    return twoFieldFrame(device(), Instrument::Function::ReadHolding, reg, count);
}

QByteArray writeSingle(quint16 reg, quint16 value)
{
    return twoFieldFrame(device(), Instrument::Function::WriteSingle, reg, value);
}

QByteArray writeMultiple(quint16 reg, const QVector<quint16>& values)
{
    QByteArray frame = device();
    frame.append(char(Instrument::Function::WriteMultiple));
    appendWord(frame, reg);
    appendWord(frame, quint16(values.size()));
    frame.append(char(values.size() * 2));
    for (quint16 v : values)
        appendWord(frame, v);
    appendCrc16(frame);
    return frame;
}

QByteArray raw(quint8 function, quint16 field, quint16 value)
{
    return twoFieldFrame(char(Instrument::Raw::Marker) + device(), function, field, value);
}

QVector<quint16> wordsLowFirst(quint32 value)
{
    return {quint16(value & 0xFFFF), quint16(value >> 16)};
}

QVector<quint16> wordsLowFirst(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return wordsLowFirst(bits);
}
} // namespace ModbusFrame
