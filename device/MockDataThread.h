#pragma once
// Replay of recorded values in place of the instrument: one column of numbers from
// a CSV file, sent in small batches on a timer, which the decoder takes like decoded
// stream samples. The replay repeats the data until it is stopped; a batch never
// runs across the end of the data.
//
// Threads: constructed and destroyed in the GUI thread, then lives in a thread of
// its own, where its timer runs. loadCsv, setPointsPerSend, startSendingData and
// stopSendingData may be called from any thread; handleStartTimer, handleStopTimer
// and sendNextData run in the worker's thread. The data and the index are shared
// between the two under m_dataMutex; the batch size is atomic.

#include "app/WorkerThread.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>

class QTimer;

class MockDataThread : public QObject
{
    Q_OBJECT
public:
    MockDataThread(); // no parent: it moves itself to its own thread
    ~MockDataThread() override;

    // Reads the second column of every line that has one as a number. A failed load
    // keeps the data loaded before; a successful one replaces them and the next
    // batch starts at the first new value.
    bool loadCsv(QString fileName);
    void setPointsPerSend(int n);

signals:
    void dataSent(QVector<double> data);
    void errorOccurred(QString message);
    void startTimerRequested(int intervalMs);
    void stopTimerRequested();

public slots:
    void startSendingData(int intervalMs);
    void stopSendingData();
    void handleStartTimer(int intervalMs);
    void handleStopTimer();
    void sendNextData();

private:
    QTimer* m_timer;
    QMutex m_dataMutex;
    QVector<double> m_data;
    int m_index = 0;
    std::atomic<int> m_pointsPerSend{1};

    WorkerThread m_thread; // last: started at the end of the constructor
};
