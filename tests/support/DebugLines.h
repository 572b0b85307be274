#pragma once
// Keeps the lines written to the debug output, from any thread, for as long as
// it lives (and warnings too, when asked); the kinds it does not keep still go
// to the handler that was there before, which is back once it goes. One at a
// time.

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class DebugLines
{
public:
    enum Kept
    {
        DebugOnly,
        AndWarnings // warnings kept apart, see warnings()
    };

    explicit DebugLines(Kept kept = DebugOnly)
    {
        {
            QMutexLocker lock(&mutex());
            lines().clear();
            warningLines().clear();
            keepWarnings() = kept == AndWarnings;
        }
        previous() = qInstallMessageHandler(&DebugLines::handle);
    }
    ~DebugLines() { qInstallMessageHandler(previous()); }
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

    // The debug lines in the order written.
    QStringList all() const
    {
        QMutexLocker lock(&mutex());
        return lines();
    }
    // A line exactly as written.
    bool said(const QString& line) const
    {
        QMutexLocker lock(&mutex());
        return lines().contains(line);
    }
    // Lines that contain `part`.
    int count(const QString& part) const
    {
        QMutexLocker lock(&mutex());
        return lines().filter(part).size();
    }
    // Lines that begin with `start`.
    int countStarting(const QString& start) const
    {
        QMutexLocker lock(&mutex());
        int n = 0;
        for (const QString& line : lines())
            n += line.startsWith(start);
        return n;
    }
    QStringList warnings() const
    {
        QMutexLocker lock(&mutex());
        return warningLines();
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& msg)
    {
        {
            QMutexLocker lock(&mutex());
            if (type == QtDebugMsg) {
                lines() << msg;
                return;
            }
            if (type == QtWarningMsg && keepWarnings()) {
                warningLines() << msg;
                return;
            }
        }
        if (previous())
            previous()(type, context, msg);
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& lines()
    {
        static QStringList l;
        return l;
    }
    static QStringList& warningLines()
    {
        static QStringList l;
        return l;
    }
    static bool& keepWarnings()
    {
        static bool k = false;
        return k;
    }
    static QtMessageHandler& previous()
    {
        static QtMessageHandler h = nullptr;
        return h;
    }
};
