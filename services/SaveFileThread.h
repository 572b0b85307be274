#pragma once
// The recorder. It stamps every one-second batch of scalar samples, hands each
// full batch to the server client, appends it to the running CSV recording, rolls
// the file at the full UTC hour (1000 Hz) or at UTC midnight (other rates), ends a
// timed recording, removes recordings older than 120 days, and writes the event
// log ("MZ_Crash_" files).
//
// Time stamps: the samples are stamped one step (1000 / rate ms) after another on
// a running clock, so every row is later than the one before, and batches that
// follow each other without a break are exactly one batch span apart. The clock
// starts at the arrival time of the first batch. At a re-base (a recording starts,
// or the transport sent the instrument another request than the stream start) it
// moves to the arrival time of the batch only when that lies more than one second
// beyond the running clock: the stream was interrupted. Samples lost on the line
// leave no trace in the count, so the clock also moves to any batch's arrival
// once it has fallen more than that second behind. It never moves back.
// Rolls go by the rows' own stamps: the first row at or past the limit opens the
// new file, named after that row's time.
//
// Vector records (FID mode) share that clock, the recording path, the hourly roll,
// the countdown and the clean-up: they are gathered 50 at a time and stamped 9 ms
// apart (the instrument's record spacing); a batch of 50 goes to the server client
// and, while recording, to "<path>_FIDVector_111Hz.CSV" with the time and thirteen
// numbers per row. A record the decoder marked invalid is written and sent like
// any other; one holding a value that is not finite keeps its 9 ms slot but is
// neither written nor sent, and the records around it go to the server as runs
// of consecutive samples.
//
// A recording file that cannot be written: the rows are held in memory (up to
// MaxHeldBytes, the oldest dropped first) and tried again with the next batch,
// about once a second, so a file locked for a while loses nothing. The first
// failure of a spell writes one Logger line and emits sig_saveFailed; the spell's
// end writes one line with the count.
//
// Threads: constructed and destroyed in the GUI thread; every slot runs in the
// recorder's own thread (the hub's connections are queued), and every signal is
// emitted there. SharedState's re-base flag is read and cleared under its mutex.

#include "app/SharedTypes.h"
#include "app/WorkerThread.h"
#include "device/Instrument.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class SaveFileThread : public QObject
{
    Q_OBJECT
public:
    // Rows held while their file cannot be written.
    static constexpr qint64 MaxHeldBytes = 32 * 1024 * 1024;
    static constexpr int HeldChunkBytes = 1024 * 1024;
    // A re-base moves the clock only to an arrival this much beyond it.
    static constexpr qint64 ReanchorSlackMs = 1000;
    static constexpr qint64 CleanupPeriodSecs = 86401;
    static constexpr qint64 KeepSecs = 10368000; // 120 days
    static constexpr int VectorBatch = 50;
    static constexpr int VectorStepMs = Instrument::VectorSpacingMs;
    static constexpr int VectorRate = Instrument::VectorRate;

    SaveFileThread();
    ~SaveFileThread() override;

signals:
    void sig_saveFinished();
    void sig_SendServerData(qint64 timestamp, QVector<double> save_data, int data_frequency,
                            int intervalMs);
    void sig_SendServerVectorData(qint64 timestamp, QVector<XYZST> save_data, int data_frequency,
                                  int intervalMs);
    // A recording file could not be written: the first failure of a spell.
    void sig_saveFailed(QString filePath, QString error);

public slots:
    void slots_syncSaveParam(bool isSave, int interval, QString filePathName,
                             bool isSaveConsecutivefiles);
    void saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime);
    void slot_saveVectorB9orB12CSV(QVector<double> datas);
    void slot_saveVectorXYZS(FIDVectorNum fidVectorNum, QDateTime utcTime);
    void slot_saveCrashLog(qint64 timestamp, QString text);

private:
    struct HeldRows
    {
        QString fileName;
        QByteArray bytes;
        int rows;
    };

    // Moves the clock to `arrivalMs` when it is new or the stream was interrupted.
    bool rebase(qint64 arrivalMs);
    void setRollLimits(qint64 fromMs);
    // The shared re-base check of both roads, before a batch is stamped.
    void rebaseCheck(qint64 arrivalMs, bool requested);
    void finishBatch(int rate, int step);
    void writeMzCsv(const QString& path, int rate, int from, int to);
    void finishVectorBatch();
    void writeVectorCsv(const QString& path, int from, int to);
    void sendVectorRuns();
    // Queues rows for a file and tries to write everything held.
    void writeRows(const QString& fileName, int rows,
                   const std::function<void(QByteArray&)>& appendRows);
    void countDown();
    void cleanupCheck(qint64 arrivalMs);
    bool flushHeld();
    void dropHeld();
    // A recording ends: the held rows get one last try.
    void giveUpHeld();
    void removeOldCsvFiles(const QString& folder, qint64 cutoffMs);

    WorkerThread m_thread;
    double m_testDivisor = 6.99583;
    bool m_isSaveConsecutivefiles = false;
    bool m_save = false;
    QString m_filePathName;
    bool m_hasBase = false;
    qint64 m_baseMs = 0;
    qint64 m_offset = 0; // ms from the base to the next sample
    qint64 m_countdown = 0;
    bool m_rebaseRequest = true;
    qint64 m_lastCleanupMs = 0;
    qint64 m_nextMidnightMs = 0;
    qint64 m_nextFullHourMs = 0;

    // Samples of the batch being gathered, stamped; all of one rate.
    QVector<qint64> m_pendingStamps;
    QVector<double> m_pendingValues;
    int m_pendingRate = 0;

    // Vector records of the batch being gathered; the slot of a record with a
    // value that is not finite is kept so that the times of the others stay right.
    QVector<XYZST> m_vectorPending;
    QVector<qint64> m_vectorStamps;
    QVector<bool> m_vectorFinite;
    bool m_vectorFirstBatch = true;

    QList<HeldRows> m_held;
    qint64 m_heldBytes = 0;
    bool m_writeFailing = false;
    int m_failedWrites = 0;
    qint64 m_lostRows = 0;

    // The three-axis test writer.
    QString m_testStart;
    int m_testCalls = 0;
};
