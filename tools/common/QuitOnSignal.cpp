#include "tools/common/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler can reach nothing but this: the write end of the installed pair.
std::atomic<int> writeEnd{-1};

void onSignal(int)
{
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(writeEnd.load(), &c, 1);
    errno = saved;
}
} // namespace

QuitOnSignal::QuitOnSignal() = default;

QuitOnSignal::~QuitOnSignal()
{
    if (m_pair[0] < 0)
        return;
    for (size_t i = 0; i < std::size(Signals); ++i)
        ::sigaction(Signals[i], &m_previous[i], nullptr);
    writeEnd = -1;
    m_notifier.reset();
    ::close(m_pair[0]);
    ::close(m_pair[1]);
}

bool QuitOnSignal::install(QString* error)
{
    if (writeEnd.load() >= 0) {
        *error = QStringLiteral("signals are already taken");
        return false;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_pair) != 0) {
        *error = QStringLiteral("socketpair failed: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        m_pair[0] = m_pair[1] = -1;
        return false;
    }
    writeEnd = m_pair[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pair[0], QSocketNotifier::Read);
    const int readEnd = m_pair[0];
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [readEnd] {
        char bytes[16];
        while (::read(readEnd, bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(Signals); ++i)
        ::sigaction(Signals[i], &action, &m_previous[i]);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}
