#pragma once
// Reads or opens a file (settings, help pages, backlog files) without ever
// waiting on it: a FIFO, a device or a socket put in its place would block a
// plain open() or read() until some other process acts, and with it the thread
// that asked, often the GUI thread. Only a regular file is read or opened. Any
// thread may call it.

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QFile;

namespace RegularFile {

enum class Status
{
    Ok,
    Missing,    // nothing of that name
    NotRegular, // a folder, FIFO, device or socket
    TooLarge,   // more than the bound given
    Unreadable, // no permission, or a read error
};

struct Contents
{
    Status status = Status::Missing;
    QByteArray bytes; // the whole file when status is Ok, else empty
};

// Why a file was not read or opened, in a few words ("not a plain file").
QString describe(Status status);

// The file's bytes when it is a regular file of at most maxBytes. The file is
// opened non-blocking and checked on the open handle, so that a FIFO swapped in
// after a check of the name cannot block.
Contents read(const QString& path, qint64 maxBytes);

// What the name itself is, found without opening it or following a link: Ok for
// a regular file of at most maxBytes, NotRegular for a link (wherever it leads),
// folder, FIFO, device or socket. For a name that another reader would open
// blindly (a lock file: a FIFO blocks it, a link to a device feeds it forever).
Status inspect(const QString& path, qint64 maxBytes);

// Opens `file` (not open yet) on the file at `path` in `mode`, as QFile::open
// does, when that is a regular file; checked on the open handle as read() does.
// Opened for writing only (WriteOnly, Append) a missing file is created; opened
// for reading too it is Missing. Ok: `file` is open. Otherwise `error`, when
// given, says why.
Status open(QFile& file, const QString& path, QIODevice::OpenMode mode, QString* error = nullptr);

} // namespace RegularFile
