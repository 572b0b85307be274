#pragma once
// A FIFO in the place of a file, for readers and writers that must never wait on
// one. Should the code under test block on it anyway, a watchdog thread lets it
// go after the bound: a reader (in open() or read()) by opening the FIFO for
// writing and closing it again, so that it sees an empty file; a writer (in
// open()) by opening it for reading, taking what is written. Such a fault then
// fails the test instead of hanging it.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
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
        void (*previousPipe)(int) = SIG_ERR;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (finished.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return done; }))
                return;
            // A writer let go may still write when this end has closed again.
            previousPipe = std::signal(SIGPIPE, SIG_IGN);
            while (!done) {
                // Succeeds only while a reader has it open (or waits in open()).
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    released = true;
                    ::close(fd);
                }
                // A writer waiting in open() goes on once this end is open.
                const int reader = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
                finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; });
                if (reader >= 0) {
                    released = released || writerCame(reader);
                    ::close(reader);
                }
            }
        });
        call();
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        finished.notify_all();
        watchdog.join();
        if (previousPipe != SIG_ERR)
            std::signal(SIGPIPE, previousPipe);
        return !released;
    }

private:
    // Whether a writer opened the FIFO since `reader` was opened: it wrote, holds
    // it open, or has been and gone (POLLHUP is only told after a writer came).
    static bool writerCame(int reader)
    {
        pollfd polled{reader, POLLIN, 0};
        bool came = ::poll(&polled, 1, 0) > 0 && (polled.revents & (POLLIN | POLLHUP));
        char sink[4096];
        ssize_t got = 0;
        while ((got = ::read(reader, sink, sizeof sink)) > 0)
            came = true;
        return came || (got < 0 && errno == EAGAIN);
    }

    QByteArray m_path;
    bool m_valid = false;
};
