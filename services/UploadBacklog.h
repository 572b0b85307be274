#pragma once
// The upload backlog of the server client: batches that could not be posted are
// merged in memory into runs of consecutive batches and appended as JSON lines to
// "ServerData<N>.txt" in the logs folder; the client uploads those files one at
// a time and deletes each once the server accepts it.
//
// Threads: owned by ServerThread and used only in its thread; no locks.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class UploadBacklog
{
public:
    static constexpr qint64 FileSizeLimit = 10485760; // 10 MiB: the next record rolls
    static constexpr int RingSize = 6;                // files kept after a roll
    static constexpr int RecordValueLimit = 2000;     // values (or samples) per record
    static constexpr int UnwrittenLimitBytes = 8 * 1024 * 1024;

    UploadBacklog() = default;

    void setFolder(const QString& folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    void setDeviceType(const QString& type) { m_deviceType = type; }

    // Merges a batch into the buffer, writing the buffer first when the batch
    // does not continue it.
    void bufferScalarData(qint64 time, const QVector<double>& values, int rate, int interval);
    void bufferVectorData(qint64 time, const QVector<XYZST>& vectors, int rate, int interval);

    // Turns the buffer into a record and appends every record not yet written.
    // Records that cannot be written stay in memory (bounded) for the next call.
    // A file name that a FIFO, a device, a socket or a folder holds is passed over
    // and left alone. Returns true when nothing is left unwritten.
    bool saveBacklogRecord();

    // Chooses the file that records go to: at start (first) the first file that
    // is not full, after every backlog file has been made to end in a whole record;
    // on a roll the next number, deleting one file beyond the ring. Numbers never
    // wrap: past the largest int the lowest free number is taken.
    void findBacklogFileNumber(bool first);

    // The next file to upload, taking the files in turn so that a file the server
    // refuses does not hold up the others; empty when there is none. When that is
    // the file records are appended to, records go to a new file from now on, or,
    // with the ring full, another file is taken.
    QString listBacklogFiles();

    // Appends the text and a line end, on a line of its own; false when the file
    // cannot be written.
    bool writeTextFile(const QString& path, const QString& text);
    // A kill during an append leaves a last line without its line end: a record
    // that lacks only the line end gets it, a cut one is removed. Returns whether
    // the file (when it exists) now ends in a line end.
    static bool endWithWholeRecord(const QString& path);
    static bool deleteFile(const QString& path);

    // The upload of `path` is in flight: no roll reuses its number until it ends.
    void setUploadInFlight(const QString& path);
    void clearUploadInFlight() { m_inFlight = -1; }
    // Deletes a file the server accepted, unless records go to it now.
    bool deleteUploaded(const QString& path);

    QString filePath(int number) const;
    int fileNumber() const { return m_fileNumber; }
    bool isBufferEmpty() const { return m_rate == -1; }
    int bufferedScalarCount() const { return m_scalarValues.size(); }
    int bufferedVectorCount() const { return m_vectorValues.size(); }
    int unwrittenCount() const { return m_unwritten.size(); }
    // Backlog file numbers present in the folder, ascending.
    QList<int> backlogNumbers() const;

private:
    enum class Kind
    {
        None,
        Scalar,
        Vector
    };
    void startBuffer(Kind kind, qint64 time, int rate, int interval);
    void clearBuffer();
    void keepUnwritten(const QString& record);
    // A number for a new file, above the highest present while there is one.
    static int numberAfter(const QList<int>& numbers);
    // When the current number's name is held by something other than a plain
    // file, records go to a new file instead.
    void skipHeldFile();

    QString m_folder;
    QString m_deviceType = QStringLiteral("MZ");
    QString m_fileNamePattern = QStringLiteral("ServerData%1.txt");
    int m_fileNumber = 0;

    Kind m_kind = Kind::None;
    qint64 m_firstTime = -1;
    qint64 m_lastTime = -1;
    qint64 m_lastSpanMs = -1; // time a vector batch covers: samples x interval
    int m_rate = -1;
    int m_interval = -1;
    QVector<double> m_scalarValues;
    QVector<XYZST> m_vectorValues;

    QStringList m_unwritten; // records waiting for a writable file, oldest first
    qint64 m_unwrittenBytes = 0;
    // Spells on the debug output: records dropped while none can be written (one
    // fault a record), and writes that fail until one succeeds.
    FaultSpell m_droppedRecords = FaultSpell::untilSuccess(
        [](qint64 dropped) {
            return QStringLiteral("backlog: written again; %1 records were dropped").arg(dropped);
        },
        FaultSpell::EndLine(), FaultSpell::debugOutput);
    FaultSpell m_writeFailures = FaultSpell::untilSuccess(
        [](qint64 failures) {
            return QStringLiteral("backlog: written again after %1 failed writes").arg(failures);
        },
        FaultSpell::EndLine(), FaultSpell::debugOutput);

    int m_lastOffered = -1; // number of the file last handed out for upload
    int m_inFlight = -1;
};
