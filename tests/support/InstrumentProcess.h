#pragma once
// Runs the virtual instrument as a child process on a private port folder and
// reads the name it publishes ("PORT COM<n> /dev/pts/<k>").

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

class InstrumentProcess
{
public:
    InstrumentProcess() : m_portDir(QDir::tempPath() + "/magports-XXXXXX")
    {
        // The program under test lists the same folder (device/SerialPortNames).
        qputenv("MAG_PORT_DIR", m_portDir.path().toLocal8Bit());
    }

    ~InstrumentProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    static QString binary()
    {
        return qEnvironmentVariable("MAG_TOOLS_DIR") + "/virtual-instrument/virtual-instrument";
    }

    // Starts the instrument and returns the published port name, or an empty
    // text when it did not come up within the bound.
    QString start(const QStringList& arguments, int timeoutMs = 10000)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MAG_PORT_DIR", m_portDir.path());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(binary(), arguments);
        if (!m_process.waitForStarted(timeoutMs))
            return QString();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            while (m_process.canReadLine()) {
                const QList<QByteArray> words = m_process.readLine().trimmed().split(' ');
                if (words.size() == 3 && words[0] == "PORT")
                    return QString::fromLatin1(words[1]);
            }
            if (m_process.state() == QProcess::NotRunning)
                return QString();
            m_process.waitForReadyRead(200);
        }
        return QString();
    }

    QString portDir() const { return m_portDir.path(); }

private:
    QTemporaryDir m_portDir;
    QProcess m_process;
};
