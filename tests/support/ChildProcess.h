#pragma once
// One program a test runs as a child process: started with its arguments, extra
// environment and working folder, its output read line by line, stopped the way
// an operator would (SIGTERM, then SIGKILL) or killed hard, held and continued.
// A child ends with the test process, so that a test that crashed leaves none
// running. Used from the thread that started it (the test's).

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

class ChildProcess
{
public:
    // Where the child's stderr goes: the test's own, kept apart for errorOutput(),
    // or merged into the lines read.
    enum class ErrorOutput
    {
        Forwarded,
        Kept,
        Merged
    };

    ChildProcess();
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Before start: set on top of the test's own environment.
    void setEnvironment(const QString& name, const QString& value);
    void setWorkingDirectory(const QString& folder);
    void setErrorOutput(ErrorOutput where);
    // The most address space the child may take: one that runs away with memory
    // then fails at once instead of filling the machine's. 0, the default, is none.
    void setMemoryLimit(qint64 bytes) { m_process.memoryLimit = bytes; }

    // False when the program could not be started within the bound.
    bool start(const QString& program, const QStringList& arguments, int timeoutMs = 10000);

    // Hands each line of output not yet handed out (without its line end) to
    // `onLine` until that returns true; false when the bound passed first or the
    // child ended with no such line.
    bool waitFor(const std::function<bool(const QByteArray& line)>& onLine, int timeoutMs);
    // The words of the first such line that begins with `word` (and has `wordCount`
    // words, when given); empty when none came.
    QList<QByteArray> waitForLine(const QByteArray& word, int timeoutMs, int wordCount = 0);
    // Everything read from the output so far, and what is there now.
    QByteArray output();
    // What the child wrote on stderr so far (ErrorOutput::Kept).
    QString errorOutput();

    void stop();          // SIGTERM; SIGKILL when it has not ended within 5 s
    void killHard();      // SIGKILL: nothing of the child runs any more
    void hold(bool held); // SIGSTOP / SIGCONT
    // Waits for the child to end by itself.
    bool waitForExit(int timeoutMs = 5000);

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

private:
    // Sets the child up, after the fork, to end with its parent.
    class Process : public QProcess
    {
    public:
        qint64 memoryLimit = 0;

    protected:
        void setupChildProcess() override;
    };

    void readAvailable();

    Process m_process;
    QProcessEnvironment m_environment;
    QByteArray m_output;
    QByteArray m_partial;      // the start of a line whose end has not come
    QList<QByteArray> m_lines; // whole lines not yet handed out
    QString m_errors;
};
