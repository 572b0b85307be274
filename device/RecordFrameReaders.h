#pragma once
// Readers of the "FID" mode streams: pure classes fed the bytes read from the
// port, returning whole record frames (288-byte vector frames, 80-byte FID
// frames) and the register replies found among them. They know nothing of the
// port; ModbusManager feeds them in its thread (one thread at a time).
//
// A reader starts searching: it drops bytes until its frame start shows, then
// cuts frames of its length. A frame whose records do not all begin with a
// marker is not handed on: the reader searches again from the byte after its
// start, so a lost or extra byte costs the frames it touched and no more.

#include "app/SharedTypes.h"
#include "device/Instrument.h"
#include "device/SamplingRates.h"
#include "device/VectorDecoding.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>

struct RecordReaderOutput
{
    QList<QByteArray> frames;                     // whole record frames in arrival order
    QList<QPair<ModbusAddr, QByteArray>> replies; // register replies found in the buffer
    QStringList faults;                           // one line per dropped piece, for the log
    QStringList notes;                            // debug output only
};

// The frame searchers of the vector buffer: replies and echoes that arrive among
// the records are cut out by their length and handed on only when their CRC (for
// stream frames, their FF FF tail) is right, so that record values that happen to
// look like a reply's start or end cut nothing.
class ReplySearch
{
public:
    static constexpr int StatusLength = Instrument::ReplyLength::Status;            // 01 03 02
    static constexpr int IdentityLength = Instrument::ReplyLength::IdentityBlock;   // 01 03 C8
    static constexpr int ParameterLength = Instrument::ReplyLength::ParameterBlock; // 01 03 F8
    static constexpr int WriteEchoLength = Instrument::ReplyLength::WriteEcho;      // 01 06 / 01 10

    // One pass over `buffer`: the searchers in order, the first that finds
    // something ends the pass. True when something was cut out.
    static bool dispatchFrames(QByteArray& buffer, int streamLength, RecordReaderOutput& out);

    // Stream frames AB 01 04 ... FF FF of the stream length: removed.
    static bool parseAbFrame(QByteArray& buffer, int streamLength, RecordReaderOutput& out);
    // Status replies 01 03 02: handed on as request 2.
    static bool parseStatusFrame(QByteArray& buffer, RecordReaderOutput& out);
    // Identity blocks 01 03 C8: removed.
    static bool parse40000Frame(QByteArray& buffer, RecordReaderOutput& out);
    // Echoes of multiple-register writes 01 10 9C: removed.
    static bool parseWriteMultipleEcho(QByteArray& buffer, RecordReaderOutput& out);
    // Echoes of single-register writes 01 06 9C: removed.
    static bool stripWriteEcho(QByteArray& buffer, RecordReaderOutput& out);
    // Parameter blocks 01 03 F8: handed on as request 3.
    static bool parse40100Frame(QByteArray& buffer, RecordReaderOutput& out);

    // True when a reply start lies before `end` but the rest of that reply has
    // not arrived yet.
    static bool replyIncomplete(const QByteArray& buffer, int end, int streamLength);
};

// Vector frames: 36 records, the first four with the markers E8 EF E4 E2. The
// frame searchers run over the buffer before the records are cut; a frame that
// holds the start of a reply still arriving waits for the rest of it.
class VectorFrameReader
{
public:
    static constexpr int FrameLength = VectorDecoding::VectorFrameBytes;
    static constexpr int SearchFrom = 122; // bytes gathered before a search

    VectorFrameReader() = default;

    RecordReaderOutput feed(const QByteArray& bytes);
    // Forgets the buffer and searches again for a frame start.
    void restartSearch();
    // Stream frames (AB 01 ...) in the buffer are cut at this length.
    void setStreamLength(int length) { m_streamLength = length; }
    bool searching() const { return m_searching; }
    int buffered() const { return m_buffer.size(); }

private:
    bool search(int from, RecordReaderOutput& out);

    int m_streamLength = SamplingRates::DefaultFrameLength;
    QByteArray m_buffer;
    bool m_searching = true;
};

// FID frames: ten records of one measured frequency each, every one beginning
// with a marker. A frame starts with a marker and 00 (the frame header the
// decoder checks); the search takes such a record followed by two more records.
class FidFrameReader
{
public:
    static constexpr int FrameLength = VectorDecoding::FidFrameBytes;
    static constexpr int SearchFrom = 24;

    RecordReaderOutput feed(const QByteArray& bytes);
    void restartSearch();
    bool searching() const { return m_searching; }
    int buffered() const { return m_buffer.size(); }

private:
    bool search(int from, RecordReaderOutput& out);

    QByteArray m_buffer;
    bool m_searching = true;
};
