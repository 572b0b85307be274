#pragma once
// Appends rows of text to files so that a kill, a crash or a full disk leaves
// whole rows behind. Each try opens the file, cuts whatever follows its last line
// end (the start of a row a killed run left, or NUL bytes a power loss left),
// appends by pages of the file (see pageWrites), cuts a short write back to the old
// end, and closes the file: nothing stays open between tries.
//
// Rows of a file that cannot be written are held, in the order they came, and go
// first at the next try, so a file locked for a while loses nothing. Beyond the cap
// the oldest are dropped; every outcome says how many rows that cost.
//
// Threads: a plain value; its owner calls it from one thread only.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

class RowAppender
{
public:
    static constexpr qint64 MaxHeldBytes = 32 * 1024 * 1024;
    // Held rows go in chunks, so that the cap can drop the oldest of them also
    // while one file keeps failing.
    static constexpr int HeldChunkBytes = 1024 * 1024;
    static constexpr qint64 PageBytes = 4096;

    // What a try to write the held rows came to.
    struct Outcome
    {
        bool written = true;    // nothing is held any more
        QString fileName;       // the file that could not be written
        QString error;          // its error text
        QString logLine;        // the line the log gets for it
        qint64 droppedRows = 0; // held rows the cap dropped in this try
    };

    explicit RowAppender(qint64 maxHeldBytes = MaxHeldBytes, int chunkBytes = HeldChunkBytes);

    // Holds `rows` (`rowCount` whole rows) for `fileName` after what is held
    // already, then tries to write everything held.
    Outcome append(const QString& fileName, const QByteArray& rows, int rowCount);
    // Tries to write everything held, oldest first.
    Outcome flush();
    // Gives up what is held; returns the number of rows.
    qint64 dropHeld();

    bool holdsRows() const { return !m_held.isEmpty(); }
    qint64 heldBytes() const { return m_heldBytes; }

    // The lengths of the write() calls that append `rows` at file offset `at`. A
    // process killed inside write() keeps what the kernel had copied, and the kernel
    // stops between pages of the file: so each write stays inside one page and ends
    // at a row end, and only a row that crosses a page end is written across it, on
    // its own.
    static QVector<qint64> pageWrites(qint64 at, const QByteArray& rows);

private:
    struct HeldRows
    {
        QString fileName;
        QByteArray bytes;
        int rows;
    };

    qint64 m_maxHeldBytes;
    int m_chunkBytes;
    QList<HeldRows> m_held;
    qint64 m_heldBytes = 0;
};
