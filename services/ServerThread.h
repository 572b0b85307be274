#pragma once
// Client of the monitoring server: registers the device, keeps it online with
// heartbeats, reports the GPS position, posts every data batch, and keeps what
// cannot be posted in the upload backlog (services/UploadBacklog.h), whose files
// it uploads while online.
//
// Threads: constructed in the GUI thread, then runs in a thread of its own; every
// slot, the timer, the network manager and the backlog live there (the hub's
// connections are queued). state() may be read from any thread. finish() and the
// destructor are called from the GUI thread: the buffer is written out and posts
// still in flight go back to the backlog before the thread stops.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "app/WorkerThread.h"
#include "services/UploadBacklog.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

class ServerThread : public QObject
{
    Q_OBJECT
public:
    // Intervals of the client; tests shorten them.
    struct Timing
    {
        int tickMs = 30000;
        qint64 acceptedPauseMs = 120000;    // next upload after an accepted one
        qint64 idlePauseMs = 120000;        // next upload when nothing could be sent
        qint64 refusedPauseMs = 540000;     // after a refused upload, plus a random part
        int refusedRandomMs = 120000;       // that random part: 0 to this, exclusive
        qint64 inFlightPauseMs = 600000000; // while an upload travels
        int transferTimeoutMs = 20000;      // a request without progress this long fails
    };

    enum State
    {
        Unregistered = 0,
        Unconfirmed = 1,
        Online = 2,
        Disabled = 3
    };

    ServerThread(); // with defaultTiming()
    explicit ServerThread(const Timing& timing);

    // The intervals of clients made without their own; tests shorten them.
    static Timing defaultTiming();
    static void setDefaultTiming(const Timing& timing);
    ~ServerThread() override;

    // Scheme, host, port and path prefix of the server: $MAG_SERVER_URL when set,
    // else the address built in.
    static QString baseAddress();

    int state() const { return m_state.load(); }
    // Replies handled so far (any thread): lets a caller wait for an answer.
    int repliesHandled() const { return m_repliesHandled.load(); }

    // Writes the buffer out, returns posts in flight to the backlog, releases the
    // network and stops the thread. Called once, from the GUI thread.
    void finish();

    // Server thread only (tests reach them through a blocking queued call).
    bool hasTimer() const { return m_timer != nullptr; }
    UploadBacklog& backlog() { return m_backlog; }
    int pendingCount() const { return m_pending.size(); }

signals:
    void sig_beginGPS();

public slots:
    void slot_init();
    void finishedSlot(QNetworkReply* reply);
    void slot_SendServerScalarData(qint64 timestamp, QVector<double> save_data, int data_frequency,
                                   int intervalMs);
    void slot_SendServerVectorData(qint64 timestamp, QVector<XYZST> save_data, int data_frequency,
                                   int intervalMs);
    void handleTimeout();
    void slot_GPSData1(double latitude, double longitude, double altitude, int satellites);

private:
    struct PendingRequest
    {
        int kind = 0;
        QString filePath;
        QFile* file = nullptr;
        qint64 time = 0;
        QVector<double> scalarValues;
        QVector<XYZST> vectorValues;
        int rate = 0;
        int interval = 0;
    };
    enum Kind
    {
        KindRegister = 0,
        KindScalar = 1,
        KindVector = 2,
        KindHeartbeat = 3,
        KindStatus = 4,
        KindUpload = 5
    };

    void registerDevice();
    void sendHeartbeat();
    void reportStatus();
    void post(const QString& path, const QString& body, const PendingRequest& pending);
    void parseReply(const QString& text, const PendingRequest& pending, bool good);
    void failureStep(const PendingRequest& pending);
    void keepBatch(const PendingRequest& pending);
    void disable();
    void setState(int state);
    QDateTime scheduleNextUploadRandom();
    bool sendUnsetFile();
    bool uploadFile(const QString& path, const QString& deviceId);
    void teardown();

    Timing m_timing;
    QTimer* m_timer = nullptr;
    std::atomic<int> m_state{Unregistered};
    std::atomic<int> m_repliesHandled{0};
    QString m_guid;
    QNetworkAccessManager* m_manager = nullptr;
    QMap<QNetworkReply*, PendingRequest> m_pending;
    QString m_settingsPath;
    QString m_deviceType;
    UploadBacklog m_backlog;
    QDateTime m_nextUploadTime;
    double m_latitude = 0;
    double m_longitude = 0;
    double m_altitude = 0;
    int m_satellites = 0;
    FaultSpell m_postFailures; // data posts that failed in a row
    FaultSpell m_keptOffline;  // batches kept while not online
    bool m_finished = false;

    WorkerThread m_thread; // last: started at the end of the constructor
};
