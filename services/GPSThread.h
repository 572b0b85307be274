#pragma once
// The GPS worker: opens the receiver's port through a GpsReader once the server
// client has started, and passes on at most one fix an hour (the first at once).
//
// Threads: constructed in the GUI thread, then runs in a thread of its own; the
// slots, the reader and its port live there. The hourly throttle is process-wide
// and touched only in GPS threads. The destructor is called from the GUI thread:
// it closes the port in the GPS thread, then stops the thread.

#include "app/WorkerThread.h"

#include <QObject>
#include <QString>
#include <functional>

class GpsReader;

class GPSThread : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // seconds since the epoch

    explicit GPSThread(QString portName, QObject* parent = nullptr);
    ~GPSThread() override;

    // The throttle's clock and its state, for tests (call before any fix).
    static void setClock(Clock clock);
    static void resetThrottle();

    GpsReader* reader() const { return m_reader; } // GPS thread only

signals:
    void portOpened(bool opened);
    void newGpsData(double latitude, double longitude, double altitude, int satellites);

public slots:
    void slot_begin();
    void slot_GPSData(double latitude, double longitude, double altitude, int satellites);

private:
    GpsReader* m_reader = nullptr;
    QString m_portName;
    WorkerThread m_thread; // last: started at the end of the constructor
};
