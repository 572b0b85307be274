#include "tests/support/ChildProcess.h"

#include <QDeadlineTimer>

#include <utility>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

void ChildProcess::Process::setupChildProcess()
{
    // SIGKILL, since not every child quits on SIGTERM; the stand-ins ask for
    // SIGTERM themselves, to remove the links they published.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (memoryLimit > 0) {
        const rlimit limit{rlim_t(memoryLimit), rlim_t(memoryLimit)};
        ::setrlimit(RLIMIT_AS, &limit);
    }
}

ChildProcess::ChildProcess() : m_environment(QProcessEnvironment::systemEnvironment())
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

void ChildProcess::setEnvironment(const QString& name, const QString& value)
{
    m_environment.insert(name, value);
}

void ChildProcess::setWorkingDirectory(const QString& folder)
{
    m_process.setWorkingDirectory(folder);
}

void ChildProcess::setErrorOutput(ErrorOutput where)
{
    m_process.setProcessChannelMode(where == ErrorOutput::Forwarded
                                        ? QProcess::ForwardedErrorChannel
                                    : where == ErrorOutput::Kept ? QProcess::SeparateChannels
                                                                 : QProcess::MergedChannels);
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, int timeoutMs)
{
    m_process.setProcessEnvironment(m_environment);
    m_process.start(program, arguments);
    return m_process.waitForStarted(timeoutMs);
}

void ChildProcess::readAvailable()
{
    const QByteArray bytes = m_process.readAllStandardOutput();
    m_output += bytes;
    m_partial += bytes;
    int end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << m_partial.left(end);
        m_partial.remove(0, end + 1);
    }
    // The last line of a child that ended without a line end.
    if (!isRunning() && !m_partial.isEmpty())
        m_lines << std::exchange(m_partial, QByteArray());
}

bool ChildProcess::waitFor(const std::function<bool(const QByteArray&)>& onLine, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // A child that has ended has left all it wrote to be read.
        const bool running = isRunning();
        readAvailable();
        while (!m_lines.isEmpty()) {
            if (onLine(m_lines.takeFirst()))
                return true;
        }
        if (!running || deadline.hasExpired())
            return false;
        m_process.waitForReadyRead(int(qMin<qint64>(200, deadline.remainingTime())));
    }
}

QList<QByteArray> ChildProcess::waitForLine(const QByteArray& word, int timeoutMs, int wordCount)
{
    QList<QByteArray> found;
    waitFor(
        [&](const QByteArray& line) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words.first() != word || (wordCount > 0 && words.size() != wordCount))
                return false;
            found = words;
            return true;
        },
        timeoutMs);
    return found;
}

QByteArray ChildProcess::output()
{
    readAvailable();
    return m_output;
}

QString ChildProcess::errorOutput()
{
    m_errors += QString::fromLatin1(m_process.readAllStandardError());
    return m_errors;
}

void ChildProcess::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

void ChildProcess::killHard()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void ChildProcess::hold(bool held)
{
    if (isRunning())
        ::kill(pid_t(pid()), held ? SIGSTOP : SIGCONT);
}

bool ChildProcess::waitForExit(int timeoutMs)
{
    return !isRunning() || m_process.waitForFinished(timeoutMs);
}
