#pragma once
// Keeps the lines written to the debug output, from any thread, for as long as
// it lives; warnings and worse still go to the handler that was there before,
// which is back once it goes. One at a time.

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class DebugLines
{
public:
    DebugLines()
    {
        {
            QMutexLocker lock(&mutex());
            lines().clear();
        }
        previous() = qInstallMessageHandler(&DebugLines::handle);
    }
    ~DebugLines() { qInstallMessageHandler(previous()); }
    DebugLines(const DebugLines&) = delete;
    DebugLines& operator=(const DebugLines&) = delete;

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

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& msg)
    {
        if (type != QtDebugMsg) {
            if (previous())
                previous()(type, context, msg);
            return;
        }
        QMutexLocker lock(&mutex());
        lines() << msg;
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
    static QtMessageHandler& previous()
    {
        static QtMessageHandler h = nullptr;
        return h;
    }
};
