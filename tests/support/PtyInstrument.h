#pragma once
// The instrument's end of a pseudo-terminal, played by the test itself; the
// transport opens the other end (`device`). Link with `util` (openpty).

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyInstrument
{
public:
    static constexpr int DefaultTimeoutMs = 10000;

    PtyInstrument()
    {
        char path[256] = {};
        if (::openpty(&m_master, &m_slave, path, nullptr, nullptr) != 0)
            return;
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        device = QString::fromLocal8Bit(path);
    }
    ~PtyInstrument()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    void write(const QByteArray& bytes)
    {
        QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }

    // Reads until the received bytes contain `what`; true when they did in time.
    bool readUntil(const QByteArray& what, int ms = DefaultTimeoutMs)
    {
        QDeadlineTimer deadline(ms);
        while (!m_received.contains(what)) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, int(deadline.remainingTime())) <= 0)
                return false;
            char buf[65536];
            const ssize_t got = ::read(m_master, buf, sizeof buf);
            if (got <= 0)
                return false;
            m_received.append(buf, int(got));
            // Keep only a tail long enough to hold `what` across reads.
            if (m_received.size() > 4096 && !m_received.contains(what))
                m_received = m_received.right(what.size());
        }
        m_received.remove(0, m_received.indexOf(what) + what.size());
        return true;
    }

    // The line speed the program set (a pseudo-terminal keeps it like a port).
    speed_t speed() const
    {
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        return ::cfgetospeed(&tio);
    }

    QString device;

private:
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_received;
};
