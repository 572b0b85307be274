#pragma once
// Decoding of the instrument's register replies into typed values: pure functions
// of the reply bytes (Modbus RTU read replies: device, function, byte count, then
// the registers high byte first, CRC). Offsets are frame offsets.
//
// The converters write a line to the Logger when their input is too short and
// return 0; they may be called from any thread.

#include "app/SharedTypes.h"

#include <QByteArray>
#include <QString>

namespace ReplyDecoding {

quint32 byteArrayToUInt32(const QByteArray& bytes); // first 4 bytes, big-endian
unsigned byteArrayToUInt(const QByteArray& bytes);  // first 2 bytes, big-endian
float byteArrayToFloat(const QByteArray& bytes);    // first 4 bytes, big-endian IEEE-754
QByteArray swapWordOrder(const QByteArray& bytes);  // [A B C D] -> [C D A B]
QByteArray reverseBytes(const QByteArray& bytes);   // [A B C D] -> [D C B A]

// 32-bit values whose first register holds the low word.
quint32 wordSwappedUInt32(const QByteArray& reply, int offset);
float wordSwappedFloat(const QByteArray& reply, int offset);

// Request 2: the status word at bytes 3-4.
int decodeStatus(const QByteArray& reply);
// Request 3: the 124 registers from 40100.
RefreshData decodeParameterBlock(const QByteArray& reply);

struct IdentityBlock
{
    bool hasSerialNumber = false;
    QString serialNumber; // register 40001 then 40000, upper-case hexadecimal
    RefreshDataEx sweep;  // registers 40064-40069
    int rateRegister = 0; // register 40086, the rate the instrument streams at; 0 if absent
};
// Request 10: the 100 registers from 40000.
IdentityBlock decodeIdentityBlock(const QByteArray& reply);

// The sampling rate the program set itself: 1 / time step, truncated; 0 when the
// step is not a positive number.
int samplingRateFromStep(double dataRate);

} // namespace ReplyDecoding
