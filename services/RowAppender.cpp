#include "services/RowAppender.h"

#include "services/LastLine.h"

#include <QFile>

namespace {

// A file that does not end with a line end holds the start of a row that a
// killed program left behind, or a run of NUL bytes of any length that a power
// loss left: everything after the last line end goes, so that the next rows do
// not join it. Only that tail is read, from the end back in blocks; a file
// without any line end holds no whole row and is emptied.
void dropPartialRow(QFile& file)
{
    const qint64 size = file.size();
    char last = '\n';
    if (size == 0 || !file.seek(size - 1) || !file.getChar(&last) || last == '\n')
        return;
    // A tail that cannot be read is left as it is rather than cut blind.
    const qint64 keep = LastLine::start(file);
    if (keep >= 0)
        file.resize(keep);
}

// Returns the bytes written.
qint64 writeByPages(QFile& file, qint64 at, const QByteArray& bytes)
{
    qint64 done = 0;
    for (const qint64 length : RowAppender::pageWrites(at, bytes)) {
        const qint64 written = file.write(bytes.constData() + done, length);
        if (written != length)
            return done + qMax<qint64>(written, 0);
        done += length;
    }
    return done;
}

// Appends the bytes by whole rows. A short write is cut back to the old end, so
// that a full disk leaves no half row behind.
RowAppender::Outcome appendToFile(const QString& fileName, const QByteArray& bytes)
{
    RowAppender::Outcome result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        result.written = false;
        result.fileName = fileName;
        result.error = file.errorString();
        result.logLine = QStringLiteral("Failed to open file for writing:") + result.error;
        return result;
    }
    dropPartialRow(file);
    const qint64 before = file.size();
    const qint64 written = writeByPages(file, before, bytes);
    if (written != bytes.size()) {
        result.written = false;
        // A short write sets no error of its own.
        result.error = file.error() != QFileDevice::NoError
                           ? file.errorString()
                           : QStringLiteral("only %1 of %2 bytes written (disk full?)")
                                 .arg(qMax<qint64>(written, 0))
                                 .arg(bytes.size());
        file.resize(before);
    }
    file.close();
    if (result.written && file.error() != QFileDevice::NoError) {
        result.written = false;
        result.error = file.errorString();
    }
    if (!result.written) {
        result.fileName = fileName;
        result.logLine = QStringLiteral("Failed to write file %1:%2").arg(fileName, result.error);
    }
    return result;
}

} // namespace

RowAppender::RowAppender(qint64 maxHeldBytes, int chunkBytes)
    : m_maxHeldBytes(maxHeldBytes), m_chunkBytes(chunkBytes)
{
}

QVector<qint64> RowAppender::pageWrites(qint64 at, const QByteArray& rows)
{
    QVector<qint64> lengths;
    const qint64 size = rows.size();
    qint64 done = 0;
    while (done < size) {
        qint64 length = qMin(PageBytes - (at + done) % PageBytes, size - done);
        if (done + length < size) {
            const int lastEnd = rows.lastIndexOf('\n', int(done + length - 1));
            if (lastEnd >= done) {
                length = lastEnd + 1 - done;
            } else {
                const int rowEnd = rows.indexOf('\n', int(done + length));
                length = (rowEnd < 0 ? size : rowEnd + 1) - done;
            }
        }
        lengths.append(length);
        done += length;
    }
    return lengths;
}

RowAppender::Outcome RowAppender::append(const QString& fileName, const QByteArray& rows,
                                         int rowCount)
{
    if (m_held.isEmpty() || m_held.last().fileName != fileName ||
        m_held.last().bytes.size() >= m_chunkBytes)
        m_held.append({fileName, QByteArray(), 0});
    HeldRows& held = m_held.last();
    held.bytes += rows;
    held.rows += rowCount;
    m_heldBytes += rows.size();
    return flush();
}

RowAppender::Outcome RowAppender::flush()
{
    while (!m_held.isEmpty()) {
        const HeldRows& rows = m_held.first();
        Outcome outcome = appendToFile(rows.fileName, rows.bytes);
        if (!outcome.written) {
            while (m_heldBytes > m_maxHeldBytes && m_held.size() > 1) {
                outcome.droppedRows += m_held.first().rows;
                m_heldBytes -= m_held.first().bytes.size();
                m_held.removeFirst();
            }
            return outcome;
        }
        m_heldBytes -= rows.bytes.size();
        m_held.removeFirst();
    }
    return Outcome();
}

qint64 RowAppender::dropHeld()
{
    qint64 rows = 0;
    for (const HeldRows& held : qAsConst(m_held))
        rows += held.rows;
    m_held.clear();
    m_heldBytes = 0;
    return rows;
}
