// How the stand-ins end: on SIGINT, SIGTERM and SIGHUP, and with the process that
// started them, each time through their event loop, so that the link they
// published goes with them. A shell plays the parent, so that it can be killed
// while the stand-in runs on.

#include "tests/support/ChildProcess.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

namespace {
// Ended, or ended and not yet reaped by whoever took the orphan over.
bool hasEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close < 0 || close + 2 >= line.size() || line[close + 2] == 'Z' ||
           line[close + 2] == 'X';
}

// A stand-in started by a shell that prints the stand-in's process id and then
// waits for it, ending with its exit status.
class StandInUnderShell
{
public:
    StandInUnderShell() : m_portDir(QDir::tempPath() + "/magports-XXXXXX") {}
    ~StandInUnderShell()
    {
        if (m_pid > 0 && !hasEnded(m_pid))
            ::kill(pid_t(m_pid), SIGKILL);
        m_shell.killHard();
    }

    bool start(const QString& binary)
    {
        m_shell.setEnvironment("MAG_PORT_DIR", m_portDir.path());
        if (!m_shell.start("/bin/sh", {"-c", "\"$0\" & echo \"CHILD $!\"; wait \"$!\"", binary}))
            return false;
        m_shell.waitFor(
            [this](const QByteArray& line) {
                const QList<QByteArray> words = line.trimmed().split(' ');
                if (words.size() == 2 && words[0] == "CHILD")
                    m_pid = words[1].toLongLong();
                else if (words.size() == 3 && words[0] == "PORT")
                    m_link = QDir(m_portDir.path()).filePath(QString::fromLatin1(words[1]));
                return m_pid > 0 && !m_link.isEmpty();
            },
            10000);
        return m_pid > 0 && QFileInfo(m_link).isSymLink();
    }

    qint64 pid() const { return m_pid; }
    QString link() const { return m_link; }
    ChildProcess& shell() { return m_shell; }

private:
    QTemporaryDir m_portDir;
    ChildProcess m_shell;
    qint64 m_pid = 0;
    QString m_link;
};
} // namespace

class TestStandInLifetime : public QObject
{
    Q_OBJECT

private slots:
    void endsAndRemovesItsLink_data()
    {
        QTest::addColumn<QString>("binary");
        QTest::addColumn<int>("signal"); // 0: the parent is killed
        const QString tools = qEnvironmentVariable("MAG_TOOLS_DIR");
        const std::pair<const char*, QString> standIns[] = {
            {"virtual-instrument", tools + "/virtual-instrument/virtual-instrument"},
            {"gps-receiver", tools + "/gps-receiver/gps-receiver"}};
        const std::pair<const char*, int> ends[] = {
            {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}, {"parent killed", 0}};
        for (const auto& [name, binary] : standIns) {
            for (const auto& [end, signal] : ends)
                QTest::addRow("%s, %s", name, end) << binary << signal;
        }
    }

    void endsAndRemovesItsLink()
    {
        QFETCH(QString, binary);
        QFETCH(int, signal);
        StandInUnderShell standIn;
        QVERIFY(standIn.start(binary));
        if (signal == 0) {
            standIn.shell().killHard();
            QVERIFY(!standIn.shell().isRunning());
        } else {
            QCOMPARE(::kill(pid_t(standIn.pid()), signal), 0);
            // The shell ends with the stand-in's status: 0 for a quit, 128 + n
            // for a signal that killed it.
            QVERIFY(standIn.shell().waitForExit(10000));
            QCOMPARE(standIn.shell().exitCode(), 0);
        }
        QTRY_VERIFY_WITH_TIMEOUT(hasEnded(standIn.pid()), 10000);
        QVERIFY2(!QFileInfo(standIn.link()).isSymLink(), qPrintable(standIn.link()));
    }
};

MAG_TEST_MAIN_CORE(TestStandInLifetime)
#include "tst_standinlifetime.moc"
