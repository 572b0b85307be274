#pragma once
// The sampling rates the instrument offers and everything that follows from
// one: the value written to its rate register, the time step shown, the stream
// it sends (rate, start/stop count, frame length) and the watchdog's step.
// The one place these are computed; the bottom bar, the scheduler, the
// transport, the decoder and the pages read them here.

#include <QByteArray>
#include <QVector>

namespace SamplingRates {

struct Entry
{
    int rate;         // Hz, as the operator chooses it
    quint16 written;  // value of register 40086 (1 Hz is streamed at 1000 and averaged)
    double step;      // seconds between the values shown
    int streamRate;   // samples per second the instrument sends
    int streamCount;  // count field of the stream start and stop frames
    int frameLength;  // bytes of one stream frame
    int watchdogStep; // samples the watchdog steps by; 0 when the rate table has none
};

constexpr int DefaultRate = 1000;
constexpr int FrameOverhead = 9; // AB 01, three header bytes, status, one byte, FF FF
constexpr int BytesPerSample = 4;
constexpr int FramesPerSecond = 20;

const QVector<Entry>& all();
// The entry of a rate; nullptr for a rate outside the table.
const Entry* find(int rate);
// The entry whose stream the link uses: the rate's own when the instrument was
// told to stream at it (bChange true), else the 1000 Hz default.
const Entry& streamEntry(int rate, bool bChange);
// The rate the program runs at, given the value of the instrument's rate register
// (40086, from its identity block): the program's own rate while the instrument
// streams what that rate needs (1 Hz is streamed at 1000), else the rate the
// register names; the program's rate when the register names no rate of the table.
int rateFromInstrument(int programRate, int rateRegister);
// Bytes of one stream frame at `streamRate` samples per second, never shorter
// than the header and tail.
int frameLengthFor(int streamRate);

// Write of one register at 40086 (function 16), CRC appended.
QByteArray rateFrame(const Entry& entry);
// Raw stream start (function 04) or stop (function 06) frame for a count.
QByteArray streamStartFrame(int count);
QByteArray streamStopFrame(int count);

} // namespace SamplingRates
