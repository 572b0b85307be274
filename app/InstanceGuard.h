#pragma once
// One copy of the program per folder. Copies started from the same folder would
// share the files kept beside the executable (daily log, event log, upload
// backlog, the device GUID, the default recordings folder): the first copy holds
// a lock file there for its whole run, and a later one only tells the operator,
// in the language of "config.ini", and quits once the box is closed, having
// written nothing. A lock left by a killed copy is taken over: QLockFile finds
// that its process is gone. GUI thread only; made in main before anything that
// writes beside the executable.

#include <QLockFile>
#include <QString>

class InstanceGuard
{
public:
    static QString lockFileName() { return QStringLiteral("magnetometer.lock"); }

    explicit InstanceGuard(const QString& folder);

    // True when this copy may run: it holds the lock, or the folder cannot hold
    // a lock file at all (read-only: nothing of the program lands there either).
    // False when another copy holds it: the box is then open, and closing it
    // ends the event loop with exit code 1.
    bool claim();

    QString lockPath() const { return m_path; }

private:
    QString m_folder;
    QString m_path;
    QLockFile m_lock;
};
