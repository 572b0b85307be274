#include "device/ReplyReaders.h"

#include "device/CrcUtils.h"

namespace {
// Shown in log lines: enough to recognise a frame without flooding the file.
QString hexHead(const QByteArray& bytes)
{
    constexpr int Shown = 16;
    QString text = QString::fromLatin1(bytes.left(Shown).toHex(' ').toUpper());
    if (bytes.size() > Shown)
        text += QStringLiteral(" ...");
    return text;
}

const QByteArray StreamStart("\xAB\x01", 2);
} // namespace

FixedLengthReplyReader::FixedLengthReplyReader(int replyLength, quint8 function, quint8 address)
    : m_replyLength(replyLength), m_function(function), m_address(address)
{
}

QString FixedLengthReplyReader::dropAll(const QString& why)
{
    const QString line = QStringLiteral("Reply dropped (%1 bytes, expected %2): %3: %4")
                             .arg(m_buffer.size())
                             .arg(m_replyLength)
                             .arg(why, hexHead(m_buffer));
    m_buffer.clear();
    return line;
}

ReaderOutput FixedLengthReplyReader::feed(const QByteArray& bytes)
{
    ReaderOutput out;
    m_buffer.append(bytes);
    while (!m_buffer.isEmpty()) {
        const auto at = [this](int i) { return quint8(m_buffer.at(i)); };
        if (at(0) != m_address) {
            out.faults << dropAll(QStringLiteral("wrong device address"));
            break;
        }
        if (m_buffer.size() < 2)
            break;
        if (at(1) == (m_function | 0x80)) {
            // Exception reply: address, function | 0x80, code, CRC.
            if (m_buffer.size() < 5)
                break;
            const bool crcOk = checkCrc16(m_buffer, 0, 5);
            out.faults << dropAll(crcOk ? QStringLiteral("exception reply, code %1").arg(at(2))
                                        : QStringLiteral("exception reply with a bad CRC"));
            break;
        }
        if (at(1) != m_function) {
            out.faults << dropAll(QStringLiteral("wrong function"));
            break;
        }
        if (m_buffer.size() < 3)
            break;
        if (at(2) != m_replyLength - 5) {
            out.faults << dropAll(QStringLiteral("wrong byte count"));
            break;
        }
        if (m_buffer.size() < m_replyLength)
            break;
        if (!checkCrc16(m_buffer, 0, m_replyLength)) {
            out.faults << dropAll(QStringLiteral("CRC error"));
            break;
        }
        out.frames << m_buffer.left(m_replyLength);
        m_buffer.remove(0, m_replyLength);
    }
    return out;
}

void StreamFrameReader::setFrameLength(int length)
{
    if (length != m_frameLength)
        m_buffer.clear();
    m_frameLength = length;
}

ReaderOutput StreamFrameReader::feed(const QByteArray& bytes)
{
    ReaderOutput out;
    m_buffer.append(bytes);
    int skipped = 0;
    for (;;) {
        const int start = m_buffer.indexOf(StreamStart);
        if (start < 0) {
            // Keep a last AB: it may be the first byte of the next frame.
            const int keep = m_buffer.endsWith('\xAB') ? 1 : 0;
            skipped += m_buffer.size() - keep;
            m_buffer = m_buffer.right(keep);
            break;
        }
        skipped += start;
        m_buffer.remove(0, start);
        if (m_buffer.size() < m_frameLength)
            break;
        if (quint8(m_buffer.at(m_frameLength - 2)) == 0xFF &&
            quint8(m_buffer.at(m_frameLength - 1)) == 0xFF) {
            out.frames << m_buffer.left(m_frameLength);
            m_buffer.remove(0, m_frameLength);
        } else {
            // Not a frame after all: look for the next start behind this one.
            m_buffer.remove(0, 1);
            ++skipped;
        }
    }
    if (skipped > 0)
        out.faults
            << QStringLiteral("Stream: %1 bytes skipped to the next frame start").arg(skipped);
    return out;
}
