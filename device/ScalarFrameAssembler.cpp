#include "device/ScalarFrameAssembler.h"

namespace {

bool headerOk(const QByteArray& f)
{
    return f.size() >= 2 && quint8(f[0]) == 0xAB && quint8(f[1]) == 0x01;
}

bool tailOk(const QByteArray& f)
{
    const int n = f.size();
    return n >= 2 && quint8(f[n - 2]) == 0xFF && quint8(f[n - 1]) == 0xFF;
}

} // namespace

ScalarFrameAssembler::Verdict ScalarFrameAssembler::assemble(QByteArray& frame)
{
    const int n = frame.size();
    if (n < 4)
        return Verdict::Dropped;
    if (n > m_frameLength)
        return Verdict::TooLong;
    if (n == m_frameLength)
        return headerOk(frame) && tailOk(frame) ? Verdict::Accepted : Verdict::BadFrame;
    if (headerOk(frame)) {
        m_partial = frame;
        return Verdict::Kept;
    }
    if (!tailOk(frame))
        return Verdict::Dropped;
    // The kept start stays: a later tail may complete it again.
    const QByteArray joined = m_partial + frame;
    if (joined.size() != m_frameLength)
        return Verdict::JoinFailed;
    frame = joined;
    return Verdict::Accepted;
}
