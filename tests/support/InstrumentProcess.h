#pragma once
// Runs the virtual instrument as a child process and reads the line it publishes
// ("PORT COM<n> /dev/pts/<k>"). Each launcher has a port folder of its own unless
// it is given one (several instruments in one folder). The folder is also set as
// $MAG_PORT_DIR of this process, so that the program under test lists it.

#include "tests/support/ChildProcess.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

class InstrumentProcess
{
public:
    InstrumentProcess()
        : m_ownDir(std::make_unique<QTemporaryDir>(QDir::tempPath() + "/magports-XXXXXX")),
          m_portDir(m_ownDir->path())
    {
        qputenv("MAG_PORT_DIR", m_portDir.toLocal8Bit());
    }

    explicit InstrumentProcess(const QString& portDir) : m_portDir(portDir)
    {
        qputenv("MAG_PORT_DIR", m_portDir.toLocal8Bit());
    }

    static QString binary()
    {
        return qEnvironmentVariable("MAG_TOOLS_DIR") + "/virtual-instrument/virtual-instrument";
    }

    // Before start: keep what the instrument writes on stderr (its --verbose trace,
    // its complaints) for errorOutput() instead of passing it on to the test's.
    void keepErrorOutput() { m_process.setErrorOutput(ChildProcess::ErrorOutput::Kept); }

    // Starts the instrument and returns the published port name, or an empty
    // text when it did not come up within the bound.
    QString start(const QStringList& arguments, int timeoutMs = 10000)
    {
        m_process.setEnvironment("MAG_PORT_DIR", m_portDir);
        if (!m_process.start(binary(), arguments, timeoutMs))
            return QString();
        const QList<QByteArray> words = m_process.waitForLine("PORT", timeoutMs, 3);
        if (words.isEmpty())
            return QString();
        m_portName = QString::fromLatin1(words[1]);
        m_device = QString::fromLatin1(words[2]);
        return m_portName;
    }

    // Ends the instrument the way an operator would (SIGTERM), killing it only
    // when it does not end.
    void stop() { m_process.stop(); }

    // Waits for the instrument to end by itself (a fault switch, a refused start).
    bool waitForExit(int timeoutMs = 5000) { return m_process.waitForExit(timeoutMs); }
    bool isRunning() const { return m_process.isRunning(); }
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

    QString portName() const { return m_portName; }
    QString device() const { return m_device; } // the pseudo-terminal behind the name
    QString portDir() const { return m_portDir; }

    // Everything the instrument wrote on stderr so far (see keepErrorOutput).
    QString errorOutput() { return m_process.errorOutput(); }

private:
    std::unique_ptr<QTemporaryDir> m_ownDir;
    QString m_portDir;
    ChildProcess m_process;
    QString m_portName;
    QString m_device;
};
