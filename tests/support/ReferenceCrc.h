#pragma once
// CRC-16/MODBUS computed bit by bit, independently of the program's helpers, for
// building and checking frames in tests.

#include <QByteArray>

inline quint16 referenceCrc16(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// The frame followed by its CRC, low byte first.
inline QByteArray withReferenceCrc(QByteArray frame)
{
    const quint16 crc = referenceCrc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}
