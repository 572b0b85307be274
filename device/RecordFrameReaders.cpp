#include "device/RecordFrameReaders.h"

#include "device/CrcUtils.h"
#include "device/VectorDecoding.h"

#include <functional>

namespace {

using Check = std::function<bool(const QByteArray&)>;
using Found = std::function<void(const QByteArray&)>;

bool crcOk(const QByteArray& frame)
{
    return checkCrc16(frame, 0, frame.size());
}

// Cuts every reply that begins with `start`, is `length` bytes long and passes
// `check` out of the buffer. A start too close to the end to hold a whole reply
// ends the search: the rest may still arrive.
bool cutReplies(QByteArray& buffer, const QByteArray& start, int length, const Check& check,
                const Found& found, RecordReaderOutput& out, bool noteIncomplete)
{
    bool any = false;
    int pos = 0;
    for (;;) {
        const int at = buffer.indexOf(start, pos);
        if (at < 0)
            break;
        if (buffer.size() - at < length) {
            if (noteIncomplete)
                out.notes << QString::fromUtf8("未发现帧尾1");
            break;
        }
        const QByteArray frame = buffer.mid(at, length);
        if (!check(frame)) {
            pos = at + 1;
            continue;
        }
        if (found)
            found(frame);
        buffer.remove(at, length);
        any = true;
        pos = at;
    }
    return any;
}

namespace Count = Instrument::Count;
namespace Fn = Instrument::Function;

QByteArray threeBytes(quint8 first, quint8 second, quint8 third)
{
    QByteArray b;
    b.append(char(first));
    b.append(char(second));
    b.append(char(third));
    return b;
}

// A read reply starts with the device, the function and its byte count.
QByteArray readReplyStart(quint16 registers)
{
    return threeBytes(Instrument::DeviceAddress, Fn::ReadHolding,
                      quint8(Instrument::readByteCount(registers)));
}

// A write echo starts with the device, the function and the register's high byte.
QByteArray writeEchoStart(quint8 function)
{
    return threeBytes(Instrument::DeviceAddress, function, Instrument::WrittenRegisterPage);
}

const QByteArray AbStart = threeBytes(Instrument::Raw::Marker, Instrument::DeviceAddress,
                                      Instrument::Raw::Start);           // AB 01 04
const QByteArray StatusStart = readReplyStart(Count::Status);            // 01 03 02
const QByteArray IdentityStart = readReplyStart(Count::IdentityBlock);   // 01 03 C8
const QByteArray WriteMultipleStart = writeEchoStart(Fn::WriteMultiple); // 01 10 9C
const QByteArray WriteSingleStart = writeEchoStart(Fn::WriteSingle);     // 01 06 9C
const QByteArray ParameterStart = readReplyStart(Count::ParameterBlock); // 01 03 F8

QString skipped(const char* road, int bytes, bool found)
{
    return QStringLiteral("%1: %2 bytes skipped %3")
        .arg(QLatin1String(road))
        .arg(bytes)
        .arg(found ? QStringLiteral("to the next frame start")
                   : QStringLiteral("without a frame start"));
}

} // namespace

// ---- frame searchers -------------------------------------------------------

bool ReplySearch::parseAbFrame(QByteArray& buffer, int streamLength, RecordReaderOutput& out)
{
    const auto tailOk = [](const QByteArray& f) {
        return quint8(f.at(f.size() - 2)) == 0xFF && quint8(f.at(f.size() - 1)) == 0xFF;
    };
    return cutReplies(buffer, AbStart, qMax(streamLength, AbStart.size() + 2), tailOk, Found(), out,
                      false);
}

bool ReplySearch::parseStatusFrame(QByteArray& buffer, RecordReaderOutput& out)
{
    return cutReplies(
        buffer, StatusStart, StatusLength, crcOk,
        [&out](const QByteArray& f) { out.replies << qMakePair(Addr40118Status, f); }, out, true);
}

bool ReplySearch::parse40000Frame(QByteArray& buffer, RecordReaderOutput& out)
{
    return cutReplies(buffer, IdentityStart, IdentityLength, crcOk, Found(), out, false);
}

bool ReplySearch::parseWriteMultipleEcho(QByteArray& buffer, RecordReaderOutput& out)
{
    return cutReplies(buffer, WriteMultipleStart, WriteEchoLength, crcOk, Found(), out, false);
}

bool ReplySearch::stripWriteEcho(QByteArray& buffer, RecordReaderOutput& out)
{
    return cutReplies(buffer, WriteSingleStart, WriteEchoLength, crcOk, Found(), out, false);
}

bool ReplySearch::parse40100Frame(QByteArray& buffer, RecordReaderOutput& out)
{
    return cutReplies(
        buffer, ParameterStart, ParameterLength, crcOk,
        [&out](const QByteArray& f) { out.replies << qMakePair(Addr40100Params, f); }, out, true);
}

bool ReplySearch::replyIncomplete(const QByteArray& buffer, int end, int streamLength)
{
    const QPair<QByteArray, int> kinds[] = {{AbStart, qMax(streamLength, AbStart.size() + 2)},
                                            {StatusStart, StatusLength},
                                            {IdentityStart, IdentityLength},
                                            {WriteMultipleStart, WriteEchoLength},
                                            {WriteSingleStart, WriteEchoLength},
                                            {ParameterStart, ParameterLength}};
    // Only a start whose reply reaches past the buffer can still become one. A
    // start that came in part is not waited for: a record ending in 01 or AB
    // would hold every frame that happens to end a read.
    for (const auto& kind : kinds) {
        const int at = buffer.indexOf(kind.first, qMax(0, buffer.size() - kind.second + 1));
        if (at >= 0 && at < end)
            return true;
    }
    return false;
}

bool ReplySearch::dispatchFrames(QByteArray& buffer, int streamLength, RecordReaderOutput& out)
{
    return parseAbFrame(buffer, streamLength, out) || parseStatusFrame(buffer, out) ||
           parse40000Frame(buffer, out) || parseWriteMultipleEcho(buffer, out) ||
           stripWriteEcho(buffer, out) || parse40100Frame(buffer, out);
}

// ---- vector frames ---------------------------------------------------------

void VectorFrameReader::restartSearch()
{
    m_buffer.clear();
    m_searching = true;
}

bool VectorFrameReader::search(int from, RecordReaderOutput& out)
{
    const char* data = m_buffer.constData();
    const int n = m_buffer.size();
    for (int i = from; i + 24 < n; ++i) {
        if (VectorDecoding::hasVectorStart(data + i, n - i)) {
            if (i > 0)
                out.faults << skipped("Vector stream", i, true);
            m_buffer.remove(0, i);
            m_searching = false;
            out.notes << QStringLiteral("find data");
            return true;
        }
    }
    // A start may begin in the last 24 bytes: keep them for the next search.
    const int drop = qMax(from, n - 24);
    if (drop > 0)
        out.faults << skipped("Vector stream", drop, false);
    m_buffer.remove(0, drop);
    out.notes << QStringLiteral("not find data:%1").arg(m_buffer.size());
    return false;
}

RecordReaderOutput VectorFrameReader::feed(const QByteArray& bytes)
{
    RecordReaderOutput out;
    m_buffer.append(bytes);
    // Replies of different kinds may have come in one read.
    while (ReplySearch::dispatchFrames(m_buffer, m_streamLength, out)) {
    }
    int from = 0;
    for (;;) {
        if (m_searching) {
            if (m_buffer.size() < SearchFrom || !search(from, out))
                break;
        }
        if (m_buffer.size() < FrameLength ||
            ReplySearch::replyIncomplete(m_buffer, FrameLength, m_streamLength))
            break;
        const char* data = m_buffer.constData();
        if (VectorDecoding::hasVectorStart(data, FrameLength) &&
            VectorDecoding::allMarkers(data, FrameLength / VectorDecoding::RecordBytes)) {
            out.frames << m_buffer.left(FrameLength);
            m_buffer.remove(0, FrameLength);
            continue;
        }
        // Misaligned: a byte was lost or added. Search again behind this start.
        out.faults << QStringLiteral("Vector stream: frame without its record markers: %1")
                          .arg(QString::fromLatin1(m_buffer.left(32).toHex(' ').toUpper()));
        m_searching = true;
        from = 1;
    }
    return out;
}

// ---- FID frames ------------------------------------------------------------

void FidFrameReader::restartSearch()
{
    m_buffer.clear();
    m_searching = true;
}

namespace {
// An FID frame starts with a marker and the high byte 00 of its first value1;
// the other records need only their markers (a negative value1 has the high
// byte FF). A marker alone does not start a frame: in a steady field a byte of
// value2 repeats in every record and may look like one.
bool fidRecordStarts(const char* data, int records)
{
    if (data[1] != 0)
        return false;
    for (int r = 0; r < records; ++r) {
        if (!VectorDecoding::isMarker(quint8(data[r * VectorDecoding::RecordBytes])))
            return false;
    }
    return true;
}
} // namespace

bool FidFrameReader::search(int from, RecordReaderOutput& out)
{
    const char* data = m_buffer.constData();
    const int n = m_buffer.size();
    for (int i = from; i + SearchFrom <= n; ++i) {
        if (fidRecordStarts(data + i, 3)) {
            if (i > 0)
                out.faults << skipped("FID stream", i, true);
            m_buffer.remove(0, i);
            m_searching = false;
            out.notes << QStringLiteral("find data");
            return true;
        }
    }
    const int drop = qMax(from, n - (SearchFrom - 1));
    if (drop > 0)
        out.faults << skipped("FID stream", drop, false);
    m_buffer.remove(0, drop);
    return false;
}

RecordReaderOutput FidFrameReader::feed(const QByteArray& bytes)
{
    RecordReaderOutput out;
    m_buffer.append(bytes);
    int from = 0;
    for (;;) {
        if (m_searching) {
            if (m_buffer.size() < SearchFrom || !search(from, out))
                break;
        }
        if (m_buffer.size() < FrameLength)
            break;
        if (fidRecordStarts(m_buffer.constData(), FrameLength / VectorDecoding::RecordBytes)) {
            out.frames << m_buffer.left(FrameLength);
            m_buffer.remove(0, FrameLength);
            continue;
        }
        out.faults << QStringLiteral("FID stream: frame without its record markers: %1")
                          .arg(QString::fromLatin1(m_buffer.left(32).toHex(' ').toUpper()));
        m_searching = true;
        from = 1;
    }
    return out;
}
