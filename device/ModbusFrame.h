#pragma once
// Request frames of the instrument (device 1), CRC appended: Modbus reads and
// writes, and its raw requests. Pure functions; any thread.

#include <QByteArray>
#include <QVector>

namespace ModbusFrame {
QByteArray read(quint16 reg, quint16 count);                           // function 03
QByteArray writeSingle(quint16 reg, quint16 value);                    // function 06
QByteArray writeMultiple(quint16 reg, const QVector<quint16>& values); // function 16
// The instrument's raw request: AB, device, function, two big-endian fields.
QByteArray raw(quint8 function, quint16 field, quint16 value);
// Two registers, low word first, as the instrument stores 32-bit values.
QVector<quint16> wordsLowFirst(quint32 value);
QVector<quint16> wordsLowFirst(float value);
} // namespace ModbusFrame
