#pragma once
// A FIFO in the place of a file, for readers that must never wait on one. Should
// the code under test block on it anyway (in open() or read()), a watchdog
// thread lets it go after the bound: it opens the FIFO for writing and closes it
// again, so the reader sees an empty file. Such a fault then fails the test
// instead of hanging it.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class FifoInPlace
{
public:
    explicit FifoInPlace(const QString& path) : m_path(QFile::encodeName(path))
    {
        m_valid = ::mkfifo(m_path.constData(), 0600) == 0;
    }
    ~FifoInPlace() { ::unlink(m_path.constData()); }

    bool isValid() const { return m_valid; }

    // Still a FIFO (not replaced by a file).
    bool stillThere() const
    {
        struct stat info = {};
        return ::lstat(m_path.constData(), &info) == 0 && S_ISFIFO(info.st_mode);
    }

    // Runs the call; true when it returned by itself within boundMs.
    bool returnsWithin(int boundMs, const std::function<void()>& call)
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool released = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (finished.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return done; }))
                return;
            while (!done) {
                // Succeeds only while a reader has it open (or waits in open()).
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    released = true;
                    ::close(fd);
                }
                finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; });
            }
        });
        call();
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        finished.notify_all();
        watchdog.join();
        return !released;
    }

private:
    QByteArray m_path;
    bool m_valid = false;
};
