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

#ifdef Q_OS_UNIX
namespace {
// Closes the descriptor on every way out.
struct Descriptor
{
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};
} // namespace

Contents read(const QString& path, qint64 maxBytes)
{
    Contents result;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO without a writer returns at once instead of
    // waiting for one; O_NOCTTY: a terminal put here does not become ours.
    Descriptor file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        result.status = errno == ENOENT || errno == ENOTDIR ? Status::Missing : Status::Unreadable;
        return result;
    }
    struct stat info = {};
    if (::fstat(file.fd, &info) != 0) {
        result.status = Status::Unreadable;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.status = Status::NotRegular;
        return result;
    }
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
        return errno == ENOENT || errno == ENOTDIR ? Status::Missing : Status::Unreadable;
    if (!S_ISREG(info.st_mode))
        return Status::NotRegular;
    return info.st_size > maxBytes ? Status::TooLarge : Status::Ok;
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
#endif

} // namespace RegularFile
