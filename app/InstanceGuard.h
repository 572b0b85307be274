#pragma once
// One copy of the program per folder. Copies started from the same folder would
// share the files kept beside the executable (daily log, event log, upload
// backlog, the device GUID, the default recordings folder): the first copy holds
// a lock file there for its whole run, and a later one only tells the operator,
// in the language of "config.ini", and quits once the box is closed, having
// written nothing. A lock left by a killed copy is taken over: QLockFile finds
// that its process is gone. Only a small plain file can be the lock: anything
// else of that name (a folder, a FIFO, a link, a device) is in its way, and the
// copy says so and quits in the same manner, since it cannot tell whether
// another copy runs. GUI thread only; made in main before anything that writes
// beside the executable.

#include <QLockFile>
#include <QString>

class InstanceGuard
{
public:
    static QString lockFileName() { return QStringLiteral("magnetometer.lock"); }
    // A lock holds a process number, a program and a host name (about 100
    // bytes); QLockFile reads a lock it finds whole, line by line.
    static constexpr qint64 MaxLockBytes = 4096;

    explicit InstanceGuard(const QString& folder);

    // True when this copy may run: it holds the lock, or the folder cannot hold
    // a lock file at all (read-only: nothing of the program lands there either).
    // False when another copy holds it, or something other than a lock file is
    // in its place: the box is then open, and closing it ends the event loop
    // with exit code 1.
    bool claim();

    QString lockPath() const { return m_path; }

private:
    bool lockPathIsUsable();
    void refuse(const QString& chinese, const QString& english);

    QString m_folder;
    QString m_path;
    QLockFile m_lock;
};
