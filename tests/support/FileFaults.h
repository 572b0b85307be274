#pragma once
// Faults of the file system for tests of writers: a folder that cannot be written,
// a full disk, and the faults a recording meets by name; and a bound on memory
// for tests of readers that once read a device to its (missing) end. Each holds
// while the object lives or until it is released.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Makes a folder unwritable for the test, also for root (immutable flag).
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString& path) : m_path(path.toLocal8Bit())
    {
        if (geteuid() != 0) {
            m_ok = chmod(m_path.constData(), 0555) == 0;
            return;
        }
        setImmutable(true);
    }
    ~ReadOnlyFolder() { release(); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    void release()
    {
        if (!m_ok)
            return;
        if (geteuid() != 0)
            chmod(m_path.constData(), 0755);
        else
            setImmutable(false);
        m_ok = false;
    }
    bool ok() const { return m_ok; }

private:
    void setImmutable(bool on)
    {
        const int fd = open(m_path.constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        m_ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        m_ok = m_ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            close(fd);
    }
    QByteArray m_path;
    bool m_ok = false;
};

// Limits the size of every file the process writes: a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, RLIM_INFINITY};
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { release(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    void release()
    {
        rlimit none{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &none);
    }
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

// Limits the address space of the process to what it holds now and `extra`
// bytes more: code that reads without end (/dev/zero) fails at once, instead of
// taking the machine's memory, should the fault it guards against come back.
class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit(rlim_t extra)
    {
        m_ok = getrlimit(RLIMIT_AS, &m_before) == 0;
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            m_ok = m_ok && std::fscanf(statm, "%ld", &pages) == 1;
            std::fclose(statm);
        } else {
            m_ok = false;
        }
        const rlimit limit{rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + extra,
                           m_before.rlim_max};
        m_ok = m_ok && setrlimit(RLIMIT_AS, &limit) == 0;
    }
    ~AddressSpaceLimit()
    {
        if (m_ok)
            setrlimit(RLIMIT_AS, &m_before);
    }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

    bool ok() const { return m_ok; }

private:
    rlimit m_before{};
    bool m_ok = false;
};

// A fault a writer meets, by name: "read-only" (the folder takes no new file),
// "removed" (the folder goes away) or "full" (the disk takes 3000 more bytes).
class WriteFault
{
public:
    WriteFault(const QString& kind, const QString& folder, const QString& file)
        : m_kind(kind), m_folder(folder), m_file(file)
    {
    }

    // A read-only folder refuses the first rows already; the others come after them.
    bool beforeFirstRows() const { return m_kind == "read-only"; }

    bool start()
    {
        if (m_kind == "read-only") {
            m_readOnly.reset(new ReadOnlyFolder(m_folder));
            return m_readOnly->ok();
        }
        if (m_kind == "removed")
            return QDir(m_folder).removeRecursively();
        if (m_kind != "full")
            return false;
        m_full.reset(new FileSizeLimit(QFileInfo(m_file).size() + 3000));
        return m_full->ok();
    }

    // The fault goes away: the folder is there and takes files again.
    bool end()
    {
        if (m_readOnly)
            m_readOnly->release();
        if (m_full)
            m_full->release();
        return QDir().mkpath(m_folder);
    }

private:
    QString m_kind;
    QString m_folder;
    QString m_file;
    std::unique_ptr<ReadOnlyFolder> m_readOnly;
    std::unique_ptr<FileSizeLimit> m_full;
};
