#pragma once
// What the program knows of the instrument, in one place: the Modbus functions it
// is sent, the registers it reads and writes, the lengths of its replies, the
// values of its work-state register, the raw requests of its stream, the speeds of
// its serial line, its data intervals, the spacing of its vector records and the
// ratio that turns its frequencies into field. The sampling rates and all that
// follows from them are in device/SamplingRates.h.
// Constants and constexpr functions only; any thread.

#include <QtGlobal>

namespace Instrument {

constexpr quint8 DeviceAddress = 1;

// The Modbus functions the program sends.
namespace Function {
constexpr quint8 ReadHolding = 0x03;
constexpr quint8 WriteSingle = 0x06;
constexpr quint8 WriteMultiple = 0x10;
} // namespace Function

constexpr double GyromagneticRatio = 6.99583; // Hz per nT

// Holding registers as the instrument numbers them; the number is also the
// address on the wire (40118 is 9C B6). 32-bit values take two registers, the
// low word first.
namespace Register {
constexpr quint16 IdentityBlock = 40000;  // first of the identity block (serial number first)
constexpr quint16 SweepStart = 40064;     // u32 mHz, the sweep the settings page sets
constexpr quint16 SweepEnd = 40066;       // u32 mHz
constexpr quint16 SweepStep = 40068;      // u32 mHz
constexpr quint16 BaudRate = 40083;       // baud / 100
constexpr quint16 DataInterval = 40085;   // one of DataIntervals
constexpr quint16 SamplingRate = 40086;   // the rate the instrument streams at, Hz
constexpr quint16 ParameterBlock = 40100; // first of the parameter block
constexpr quint16 DdsFrequency = 40100;   // u32 mHz
constexpr quint16 DdsSweepStart = 40106;  // u32 mHz, the sweep the debug page sets
constexpr quint16 DdsSweepEnd = 40108;    // u32 mHz
constexpr quint16 DdsSweepStep = 40110;   // u32 mHz
constexpr quint16 WorkState = 40118;      // written: the work state; read: the status word
constexpr quint16 WorkMode = 40119;       // 1 or 2
// Float set points; a 1 written to the register before each applies it.
constexpr quint16 VcselSet = 40122;
constexpr quint16 VaporCellSet = 40130;
constexpr quint16 VcselDefaultSet = 40142;
// Float read-backs of the parameter block.
constexpr quint16 Vcsel = 40126;
constexpr quint16 VaporCell = 40134;
constexpr quint16 VcselDefault = 40146;
constexpr quint16 Pde = 40154;
constexpr quint16 Pd = 40158;
constexpr quint16 Block40230 = 40230; // read as request 4, not decoded
} // namespace Register

// Every register the program writes, from the sweep to the last set point, has
// the high byte 9C: the instrument's write echoes start with device, function, 9C.
constexpr quint8 WrittenRegisterPage = quint8(Register::SweepStart >> 8);
static_assert(quint8((Register::VcselDefaultSet + 1) >> 8) == WrittenRegisterPage,
              "the written registers share their high byte");

// Registers of the blocks the program reads.
namespace Count {
constexpr quint16 Status = 1;
constexpr quint16 IdentityBlock = 100;
constexpr quint16 ParameterBlock = 124;
constexpr quint16 Block40230 = 3;
} // namespace Count

// A read reply: device, function, byte count, two bytes a register, CRC.
constexpr int readByteCount(int registers)
{
    return 2 * registers;
}
constexpr int readReplyLength(int registers)
{
    return 3 + readByteCount(registers) + 2;
}
// Where register `reg` stands in the read reply of the block from `first`.
constexpr int replyOffset(quint16 first, quint16 reg)
{
    return 3 + 2 * (reg - first);
}

namespace ReplyLength {
constexpr int Status = readReplyLength(Count::Status);
constexpr int IdentityBlock = readReplyLength(Count::IdentityBlock);
constexpr int ParameterBlock = readReplyLength(Count::ParameterBlock);
constexpr int Block40230 = readReplyLength(Count::Block40230);
constexpr int WriteEcho = 8; // device, function, register, value or count, CRC
} // namespace ReplyLength

// The work-state register's values. Read, it is the status word: 1 to 3 while
// the instrument locks, Locked once the stream runs.
namespace WorkState {
constexpr quint16 Restart = 1; // lock afresh from the first step
constexpr quint16 ReTrack = 3; // take up the lock again from the last step
constexpr quint16 Locked = 4;  // written: measure
constexpr quint16 DebugModeOn = 99;
constexpr quint16 DebugModeOff = 1;
constexpr bool isLocking(int status)
{
    return status >= 1 && status <= 3;
}
} // namespace WorkState

// The instrument's raw requests: AB, device, function, two big-endian fields, CRC.
namespace Raw {
constexpr quint8 Marker = 0xAB;
constexpr quint8 Start = 0x04; // start the stream; a read with the other fields
constexpr quint8 Stop = 0x06;  // stop the stream
constexpr quint16 StreamField = 0x7D00;
constexpr quint16 OtherField = 0x7530;
constexpr quint16 ReadCount = 400;
} // namespace Raw

// Speeds of the instrument's serial line; it leaves the factory at the second.
constexpr int BaudRates[] = {115200, 921600};
constexpr int DefaultBaudRate = 921600;
constexpr bool isBaudRate(int baud)
{
    for (const int b : BaudRates) {
        if (b == baud)
            return true;
    }
    return false;
}
static_assert(isBaudRate(DefaultBaudRate), "the default is one of the line speeds");

// Values of the data-interval register.
constexpr int DataIntervals[] = {10, 20};

// Vector records come one every 9 ms. Their batches carry the rate 111 (whole
// records a second); spectra take the exact 1000 / 9 Hz.
constexpr int VectorSpacingMs = 9;
constexpr double VectorSpacingS = VectorSpacingMs / 1000.0;
constexpr double VectorSampleRate = 1000.0 / VectorSpacingMs;
constexpr int VectorRate = 1000 / VectorSpacingMs;

} // namespace Instrument
