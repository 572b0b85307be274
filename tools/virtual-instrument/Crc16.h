#pragma once
// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF), bit by bit: the instrument
// keeps its own so that it shares no code with the program it talks to.

#include <QByteArray>
#include <QtGlobal>

namespace Crc16 {
inline quint16 compute(const char* data, int len)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < len; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

inline void append(QByteArray& frame)
{
    const quint16 crc = compute(frame.constData(), frame.size());
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
}

// True when the last two bytes are the CRC of the bytes before them, low byte first.
inline bool check(const QByteArray& frame)
{
    if (frame.size() < 3)
        return false;
    const quint16 crc = compute(frame.constData(), frame.size() - 2);
    return static_cast<quint8>(frame[frame.size() - 2]) == (crc & 0xFF) &&
           static_cast<quint8>(frame[frame.size() - 1]) == (crc >> 8);
}
} // namespace Crc16
