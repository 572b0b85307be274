#include "app/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace RegularFile {

QString describe(Status status)
{
    switch (status) {
    case Status::Missing:
        return QStringLiteral("no such file");
    case Status::NotRegular:
        return QStringLiteral("not a plain file");
    case Status::TooLarge:
        return QStringLiteral("too large");
    default:
        return QStringLiteral("cannot be opened");
    }
}

namespace {
// Append implies writing, as it does for QFile.
QIODevice::OpenMode normalised(QIODevice::OpenMode mode)
{
    return mode & QIODevice::Append ? mode | QIODevice::WriteOnly : mode;
}
} // namespace

#ifdef Q_OS_UNIX
namespace {
// Closes the descriptor on every way out, unless it was handed on.
struct Descriptor
{
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int release()
    {
        const int handed = fd;
        fd = -1;
        return handed;
    }
};

Status statusOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return Status::Missing;
    case EISDIR: // a folder opened for writing
    case ENXIO:  // a FIFO without a reader, or a socket, opened for writing
        return Status::NotRegular;
    default:
        return Status::Unreadable;
    }
}

// A descriptor on the regular file at `name` and what fstat says of it, or -1
// and why not. O_NONBLOCK: opening a FIFO returns at once instead of waiting for
// its other end; O_NOCTTY: a terminal put here does not become ours.
int openRegular(const QByteArray& name, int flags, struct stat* info, Status* status, int* error)
{
    Descriptor file{::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666)};
    if (file.fd < 0) {
        *error = errno;
        *status = statusOf(*error);
        return -1;
    }
    if (::fstat(file.fd, info) != 0) {
        *error = errno;
        *status = Status::Unreadable;
        return -1;
    }
    if (!S_ISREG(info->st_mode)) {
        *error = 0;
        *status = Status::NotRegular;
        return -1;
    }
    *status = Status::Ok;
    return file.release();
}
} // namespace

Contents read(const QString& path, qint64 maxBytes)
{
    Contents result;
    int error = 0;
    struct stat info = {};
    Descriptor file{openRegular(QFile::encodeName(path), O_RDONLY, &info, &result.status, &error)};
    if (file.fd < 0)
        return result;
    if (info.st_size > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    // The file may grow while it is read: one byte past the bound tells.
    QByteArray bytes(static_cast<int>(qMin<qint64>(info.st_size, maxBytes) + 1), Qt::Uninitialized);
    qint64 total = 0;
    while (total <= maxBytes) {
        if (total == bytes.size())
            bytes.resize(static_cast<int>(qMin<qint64>(bytes.size() * 2, maxBytes + 1)));
        const ssize_t got = ::read(file.fd, bytes.data() + total, bytes.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.status = Status::Unreadable;
            return result;
        }
        if (got == 0)
            break;
        total += got;
    }
    if (total > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    bytes.resize(static_cast<int>(total));
    result.status = Status::Ok;
    result.bytes = bytes;
    return result;
}

Status inspect(const QString& path, qint64 maxBytes)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return statusOf(errno);
    if (!S_ISREG(info.st_mode))
        return Status::NotRegular;
    return info.st_size > maxBytes ? Status::TooLarge : Status::Ok;
}

Status open(QFile& file, const QString& path, QIODevice::OpenMode mode, QString* error)
{
    mode = normalised(mode);
    const bool reads = mode & QIODevice::ReadOnly;
    const bool writes = mode & QIODevice::WriteOnly;
    int flags = reads && writes ? O_RDWR : writes ? O_WRONLY | O_CREAT : O_RDONLY;
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    if (writes && (mode & QIODevice::Truncate))
        flags |= O_TRUNC;
    Status status = Status::Ok;
    int code = 0;
    struct stat info = {};
    Descriptor fd{openRegular(QFile::encodeName(path), flags, &info, &status, &code)};
    if (fd.fd >= 0) {
        // A regular file never waits: reads and writes behave as usual.
        ::fcntl(fd.fd, F_SETFL, ::fcntl(fd.fd, F_GETFL) & ~O_NONBLOCK);
        if (file.open(fd.fd, mode, QFileDevice::AutoCloseHandle)) {
            fd.release();
            return Status::Ok;
        }
        status = Status::Unreadable;
        code = 0;
    }
    if (error)
        *error = code != 0 ? qt_error_string(code) : describe(status);
    return status;
}
#else
// No FIFOs among the files here; the name is checked before it is opened.
Contents read(const QString& path, qint64 maxBytes)
{
    Contents result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.status = Status::Missing;
        return result;
    }
    if (!info.isFile()) {
        result.status = Status::NotRegular;
        return result;
    }
    if (info.size() > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = Status::Unreadable;
        return result;
    }
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    result.status = Status::Ok;
    result.bytes = bytes;
    return result;
}

Status inspect(const QString& path, qint64 maxBytes)
{
    const QFileInfo info(path);
    // A link whose target is gone does not exist, but it is there.
    if (info.isSymLink())
        return Status::NotRegular;
    if (!info.exists())
        return Status::Missing;
    if (!info.isFile())
        return Status::NotRegular;
    return info.size() > maxBytes ? Status::TooLarge : Status::Ok;
}

Status open(QFile& file, const QString& path, QIODevice::OpenMode mode, QString* error)
{
    mode = normalised(mode);
    const QFileInfo info(path);
    Status status = Status::Ok;
    if (!info.exists() && (mode & QIODevice::ReadOnly))
        status = Status::Missing;
    else if (info.exists() && !info.isFile())
        status = Status::NotRegular;
    if (status == Status::Ok) {
        file.setFileName(path);
        if (file.open(mode))
            return Status::Ok;
        status = Status::Unreadable;
    }
    if (error)
        *error = status == Status::Unreadable ? file.errorString() : describe(status);
    return status;
}
#endif

} // namespace RegularFile
