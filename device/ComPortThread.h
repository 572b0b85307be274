#pragma once
// Lists the machine's serial ports once per second while its timer runs and hands
// each listing out, newest port first (each name is put in front of the list).
//
// Threads: constructed and destroyed in the GUI thread, then lives in a thread of
// its own, where its timer runs; slots_startTimer, slots_stopTimer and
// updateComProtList run there (reach them by queued signals). The list travels
// out by a queued signal.

#include "app/WorkerThread.h"

#include <QList>
#include <QObject>
#include <QString>

class QTimer;

class ComPortThread : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultIntervalMs = 1000;

    // A worker with a parent could not move to its own thread: pass none. Tests
    // shorten the interval between listings.
    explicit ComPortThread(QObject* parent = nullptr, int intervalMs = DefaultIntervalMs);
    ~ComPortThread() override;

signals:
    void sig_setPortNamelist(QList<QString> list);

public slots:
    void slots_startTimer();
    void slots_stopTimer();
    void updateComProtList();

private:
    QTimer* m_timer;
    const int m_intervalMs;

    WorkerThread m_thread; // last: started at the end of the constructor
};
