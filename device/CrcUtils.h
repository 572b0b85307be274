#pragma once
// CRC-16/MODBUS and small byte utilities shared by every frame builder
// (device/ModbusFrame.h builds the request frames).
// A range that does not lie inside the data is treated as empty.

#include <QByteArray>
#include <QList>
#include <QVector>

constexpr int Crc16Failure = int(0xFFFFFFFF); // no valid CRC equals it

// CRC of bytes [start, start + len); Crc16Failure when len <= 0.
int crc16Modbus(const char* data, int start, int len);
int crc16Modbus(const QByteArray& data, int start, int len);

// Appends the CRC of frame bytes [start, start + len), low byte first; FF FF when
// the range is empty.
void appendCrc16(QByteArray& frame, int start, int len);
// Appends the CRC of the whole frame.
void appendCrc16(QByteArray& frame);

// True when the last two bytes of [start, start + len) are the CRC of the bytes
// before them, low byte first.
bool checkCrc16(const char* data, int start, int len);
bool checkCrc16(const QByteArray& data, int start, int len);

// Sum of the bytes of the range modulo 256; 0 when len <= 0.
int checksum8(const char* data, int start, int len);
int checksum8(const QByteArray& data, int start, int len);

// Consecutive full pieces of `size` bytes; a shorter remainder is not returned.
QVector<QByteArray> splitByteArrayBySize(const QByteArray& data, int size);
// Pieces each ending with the separator it was cut at, then the rest.
QList<QByteArray> splitByteArrayBySeparator(const QByteArray& data, const QByteArray& separator);
