#pragma once
// Whole scalar stream frames from the pieces the transport hands on:
// AB 01 ... samples ... status, x, FF FF, `frameLength()` bytes in all.
// A piece that starts with a good header is kept until a piece with a good
// tail completes it. Pure: no port, no signals; one thread at a time.

#include "device/SamplingRates.h"

#include <QByteArray>

class ScalarFrameAssembler
{
public:
    enum class Verdict
    {
        Accepted,   // `frame` now holds one whole frame
        Kept,       // the start of a frame, kept for the next piece
        Dropped,    // not a frame; nothing to report
        TooLong,    // "data error1"
        JoinFailed, // "data error2": kept start plus this piece is not one frame
        BadFrame,   // "data error3": full length, wrong header or tail; restart the stream
    };

    explicit ScalarFrameAssembler(int frameLength = SamplingRates::DefaultFrameLength)
        : m_frameLength(frameLength)
    {
    }

    void setFrameLength(int length) { m_frameLength = length; }
    int frameLength() const { return m_frameLength; }
    const QByteArray& partialFrame() const { return m_partial; }
    void clear() { m_partial.clear(); }

    // On Accepted `frame` is replaced by the whole frame (it may be the joined one).
    Verdict assemble(QByteArray& frame);

private:
    int m_frameLength;
    QByteArray m_partial;
};
