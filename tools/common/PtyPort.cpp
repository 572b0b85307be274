#include "tools/common/PtyPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int ClientCheckMs = 50;
constexpr int MaxOutgoing = 64 * 1024; // more than that waiting: the program is not reading
constexpr int FirstPortNumber = 10;
constexpr int LastPortNumber = 255;

// A link whose pseudo-terminal is gone was left by an instrument that died.
bool isStale(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymLink() && !QFileInfo::exists(info.symLinkTarget());
}
} // namespace

QString PtyPort::folder()
{
    const QString dir = qEnvironmentVariable("MAG_PORT_DIR");
    return dir.isEmpty() ? QStringLiteral("/tmp/magnetometer-ports") : dir;
}

PtyPort::PtyPort(QObject* parent) : QObject(parent)
{
    m_clientTimer.setInterval(ClientCheckMs);
    connect(&m_clientTimer, &QTimer::timeout, this, &PtyPort::checkClient);
}

PtyPort::~PtyPort()
{
    close();
}

bool PtyPort::open(const QString& dir, const QString& name, QString* error)
{
    int slave = -1;
    char path[256] = {};
    if (::openpty(&m_master, &slave, path, nullptr, nullptr) != 0) {
        *error =
            QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    // The mode stays with the terminal; without our own slave descriptor the
    // master sees a hang-up whenever no program has the line open.
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_devicePath = QString::fromLocal8Bit(path);

    if (!publish(dir, name, error)) {
        ::close(m_master);
        m_master = -1;
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyPort::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyPort::onWritable);
    checkClient();
    return true;
}

bool PtyPort::publish(const QString& dir, const QString& name, QString* error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    // Instruments started side by side take their names one at a time.
    const int dirFd =
        ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0)
        ::flock(dirFd, LOCK_EX);
    QStringList candidates;
    if (!name.isEmpty()) {
        candidates << name;
    } else {
        for (int n = FirstPortNumber; n <= LastPortNumber; ++n)
            candidates << QStringLiteral("COM%1").arg(n);
    }
    for (const QString& candidate : candidates) {
        const QString link = QDir(dir).filePath(candidate);
        if (isStale(link))
            QFile::remove(link);
        if (::symlink(QFile::encodeName(m_devicePath).constData(),
                      QFile::encodeName(link).constData()) == 0) {
            m_linkPath = link;
            m_name = candidate;
            break;
        }
    }
    if (dirFd >= 0)
        ::close(dirFd); // also releases the lock
    if (m_name.isEmpty()) {
        *error = name.isEmpty() ? QStringLiteral("no free COM name in %1").arg(dir)
                                : QStringLiteral("%1 is taken in %2").arg(name, dir);
        return false;
    }
    return true;
}

void PtyPort::close()
{
    m_clientTimer.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    // Only our own link: a name may have been taken over after a crash.
    if (!m_linkPath.isEmpty() && QFileInfo(m_linkPath).symLinkTarget() == m_devicePath)
        QFile::remove(m_linkPath);
    m_linkPath.clear();
    m_outgoing.clear();
    setClient(false);
}

void PtyPort::write(const QByteArray& bytes)
{
    if (m_master < 0 || !m_hasClient)
        return;
    if (m_outgoing.size() + bytes.size() > MaxOutgoing)
        return; // lost, like bytes of a full line buffer
    m_outgoing.append(bytes);
    onWritable();
}

void PtyPort::onWritable()
{
    while (!m_outgoing.isEmpty()) {
        const ssize_t n =
            ::write(m_master, m_outgoing.constData(), static_cast<size_t>(m_outgoing.size()));
        if (n > 0) {
            m_outgoing.remove(0, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            m_outgoing.clear(); // the program closed the line
        break;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_outgoing.isEmpty());
}

void PtyPort::onReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            emit bytesReceived(QByteArray(buffer, static_cast<int>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EIO: the last program closed the line. Wait for the next one on a timer,
        // not on the notifier, which would report the hang-up without end.
        setClient(false);
        return;
    }
}

void PtyPort::checkClient()
{
    if (m_master < 0)
        return;
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP))
        setClient(true);
    else
        setClient(false);
}

void PtyPort::setClient(bool connected)
{
    if (m_readNotifier)
        m_readNotifier->setEnabled(connected);
    if (connected)
        m_clientTimer.stop();
    else if (m_master >= 0)
        m_clientTimer.start();
    if (!connected) {
        m_outgoing.clear();
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
    }
    if (connected != m_hasClient) {
        m_hasClient = connected;
        emit clientChanged(connected);
    }
}
