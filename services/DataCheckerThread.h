#pragma once
// Watchdog of the scalar stream: warns when no field values have arrived for more
// than 10 s, and when the recent values show a lost lock (a long run that only
// rises or only falls, or values far outside the geomagnetic range). It judges the
// field as measured, whatever the low-pass or high-pass cut-off: the hub feeds it
// the decoder's batches from before those filters. Both checks run only while the
// status light shows 4 (the stream runs); whenever the light leaves 4 the recent
// values are forgotten, so old ones never raise a warning after the device has
// locked again. While the program itself has stopped the stream (request 8, for
// example on the settings and debug pages) nothing is checked, and the values of
// before are forgotten; the next stream start arms it again.
//
// Threads: constructed and destroyed in the GUI thread; runs in a thread of its
// own, where its timer lives and slot_DataCheck arrives queued from the hub. The
// window of recent values is touched only in that thread. sig_dataCheckMsg
// reaches the main window queued.

#include "app/SharedTypes.h"
#include "app/WorkerThread.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class QTimer;
class SharedState;

struct DataCheckSample
{
    qint64 time = 0;  // seconds since the epoch
    double value = 0; // nT
};

class DataCheckerThread : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // seconds since the epoch

    static constexpr int CheckIntervalMs = 5000;
    static constexpr qint64 NoDataSeconds = 10; // a longer gap is reported
    static constexpr qint64 WindowSeconds = 70; // entries kept behind the newest
    static constexpr int MonotonicRun = 60;
    static constexpr int RangeRun = 10;
    static constexpr double RangeLow = 10000.0; // nT
    static constexpr double RangeHigh = 90000.0;

    // The program uses the system clock, SharedState::instance() and the 5 s check;
    // tests give their own. The clock is called in the watchdog's thread.
    explicit DataCheckerThread(Clock clock = Clock(), SharedState* state = nullptr,
                               int checkIntervalMs = CheckIntervalMs);
    ~DataCheckerThread() override;

    static QString noDataText();
    static QString lockLossText();

    // The recent values, oldest first. Watchdog thread only.
    const QVector<DataCheckSample>& window() const { return m_window; }

    // They look at the values only.
    static bool isStrictlyIncreasing(const QVector<DataCheckSample>& samples);
    static bool isStrictlyDecreasing(const QVector<DataCheckSample>& samples);
    static bool isStrictlyMonotonic(const QVector<DataCheckSample>& samples);
    static bool isOutOfRange(const QVector<DataCheckSample>& samples);

signals:
    void sig_dataCheckMsg(QString text);

public slots:
    void slot_DataCheck(QVector<double> datas, FrequencyType fre);
    // Every request the pages send; only the stream's start and stop matter here.
    void slot_streamRequest(ModbusAddr modbusAddr);

private slots:
    void slot_initTimer();
    void slot_onCheckData();

private:
    // The light status; forgets the window when the status has moved since the
    // last look.
    int observeStatus();

    QTimer* m_timer = nullptr;
    QVector<DataCheckSample> m_window;
    Clock m_clock;
    SharedState* m_state;
    int m_checkIntervalMs;
    quint64 m_seenStatusChanges = 0;
    int m_ignoredRate = 0;        // rate of the batches being ignored, 0 when none
    bool m_streamStopped = false; // by the program, until its next start
    // Since when data are awaited: the newest entry, the stream's start or the
    // light's return to 4, whichever came last; -1 while nothing is awaited.
    qint64 m_awaitedSince = -1;

    WorkerThread m_thread; // last: started at the end of the constructor
};
