#pragma once
// The recorder. It stamps every one-second batch of scalar samples, hands each
// full batch to the server client, appends it to the running CSV recording, rolls
// the file at the full UTC hour (1000 Hz) or at UTC midnight (other rates), ends a
// timed recording, removes recordings older than 120 days, and writes the event
// log ("MZ_Crash_" files).
//
// Every sample is stamped on the recording clock (services/RecordingClock.h),
// which also rolls the recording path; the rows go to their files through the
// crash-safe appender (services/RowAppender.h).
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
// A recording file that cannot be written: the appender holds the rows and they
// are tried again with the next batch, about once a second, so a file locked for a
// while loses nothing. The first failure of a spell writes one Logger line and
// emits sig_saveFailed; the spell's end writes one line with the count.
//
// Threads: constructed and destroyed in the GUI thread; every slot runs in the
// recorder's own thread (the hub's connections are queued), and every signal is
// emitted there. SharedState's re-base flag is read and cleared under its mutex.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "app/WorkerThread.h"
#include "device/Instrument.h"
#include "services/RecordingClock.h"
#include "services/RowAppender.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class SaveFileThread : public QObject
{
    Q_OBJECT
public:
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
    // Reads and clears SharedState's re-base flag.
    static bool takeResyncRequest();
    // Rows [from, to) of a batch stamped `stamps`, to the path of the recording or
    // to the one a roll on the way renamed it to.
    void recordRows(const QVector<qint64>& stamps, RecordingClock::Roll roll,
                    const std::function<void(const QString& path, int from, int to)>& write);
    void finishBatch(int rate, int step);
    void writeMzCsv(const QString& path, int rate, int from, int to);
    void finishVectorBatch();
    void writeVectorCsv(const QString& path, int from, int to);
    void sendVectorRuns();
    // Follows a try of the appender in the spell of write failures; true if written.
    bool report(const RowAppender::Outcome& outcome);
    // A recording ends: the held rows get one last try.
    void giveUpHeld();
    void countDown();
    void cleanupCheck(qint64 arrivalMs);
    void removeOldCsvFiles(const QString& folder, qint64 cutoffMs);

    WorkerThread m_thread;
    double m_testDivisor = Instrument::GyromagneticRatio;
    bool m_isSaveConsecutivefiles = false;
    bool m_save = false;
    qint64 m_countdown = 0;
    RecordingClock m_clock;

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

    RowAppender m_appender;
    QByteArray m_rows;     // the rows of one file, being formatted
    qint64 m_lostRows = 0; // in the current spell of write failures
    FaultSpell m_writeFaults;

    // The three-axis test writer.
    QString m_testStart;
    int m_testCalls = 0;
};
