#pragma once
// Frames for the link tests, built field by field with the bit-wise CRC-16/MODBUS
// of tests/support/ReferenceCrc.h, independently of the program's helpers.

#include "tests/support/ReferenceCrc.h"

#include <QByteArray>
#include <QVector>

namespace ModbusTestFrames {

inline quint16 bitwiseCrc(const QByteArray& bytes)
{
    return referenceCrc16(bytes);
}

inline QByteArray withCrc(QByteArray body)
{
    return withReferenceCrc(body);
}

// Device/marker, function, two big-endian 16-bit fields, CRC.
inline QByteArray request(quint8 first, quint8 function, quint16 field1, quint16 field2,
                          bool rawMarker)
{
    QByteArray body;
    if (rawMarker)
        body.append(char(0xAB));
    body.append(char(first));
    body.append(char(function));
    body.append(char(field1 >> 8));
    body.append(char(field1 & 0xFF));
    body.append(char(field2 >> 8));
    body.append(char(field2 & 0xFF));
    return withCrc(body);
}

// Requests to device 1: read `count` registers from `first` (03), write one (06),
// write several (16).
inline QByteArray readRequest(quint16 first, quint16 count)
{
    return request(1, 0x03, first, count, false);
}

inline QByteArray writeRegister(quint16 reg, quint16 value)
{
    return request(1, 0x06, reg, value, false);
}

inline QByteArray writeRegisters(quint16 first, const QVector<quint16>& words)
{
    QByteArray body("\x01\x10", 2);
    body.append(char(first >> 8));
    body.append(char(first & 0xFF));
    body.append(char(words.size() >> 8));
    body.append(char(words.size() & 0xFF));
    body.append(char(words.size() * 2));
    for (const quint16 w : words) {
        body.append(char(w >> 8));
        body.append(char(w & 0xFF));
    }
    return withCrc(body);
}

// The raw stream request at 32000: start (function 04) or stop (06), `count` per frame.
inline QByteArray streamRequest(quint8 function, quint16 count)
{
    return request(1, function, 0x7D00, count, true);
}

// An exception reply of device 1 to `function`.
inline QByteArray exceptionReply(quint8 function, quint8 code)
{
    QByteArray body("\x01", 1);
    body.append(char(function | 0x80));
    body.append(char(code));
    return withCrc(body);
}

// True when the frame ends in the CRC of what comes before it.
inline bool hasValidCrc(const QByteArray& frame)
{
    return frame.size() >= 3 && withCrc(frame.left(frame.size() - 2)) == frame;
}

// A function-03 read reply of the given registers (device 1).
inline QByteArray readReply(const QVector<quint16>& registers)
{
    QByteArray body("\x01\x03", 2);
    body.append(char(registers.size() * 2));
    for (const quint16 r : registers) {
        body.append(char(r >> 8));
        body.append(char(r & 0xFF));
    }
    return withCrc(body);
}

// A stream frame: AB 01, three header bytes, samples LSB first, status, 02, FF FF.
inline QByteArray streamFrame(const QVector<quint32>& samples, quint8 status = 4)
{
    QByteArray frame("\xAB\x01\x04\x7D\x00", 5);
    for (const quint32 s : samples) {
        for (int i = 0; i < 4; ++i)
            frame.append(char((s >> (8 * i)) & 0xFF));
    }
    frame.append(char(status));
    frame.append(char(0x02));
    frame.append("\xFF\xFF", 2);
    return frame;
}

} // namespace ModbusTestFrames
