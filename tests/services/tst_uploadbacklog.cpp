// The upload backlog on its own: merging batches into records, the files, their
// numbering and roll, a last line cut by a kill, names held by something other
// than a plain file, and the choice of the file to upload.

#include "services/ServerBodies.h"
#include "services/UploadBacklog.h"
#include "tests/support/DebugLines.h"
#include "tests/support/FifoInPlace.h"
#include "tests/support/FileFaults.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <limits>
#include <memory>

namespace {
constexpr qint64 T = 1765000000000;
// Backlog files as (number, size).
using Files = QList<QPair<int, qint64>>;

struct Record
{
    qint64 time = 0;
    int count = 0;
    int rate = 0;
    QString type;
};

QList<Record> records(const QString& path)
{
    QList<Record> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue; // the filler of a made-up file
        const QJsonObject data = o.value("sensorData").toObject();
        Record r;
        r.time = qint64(o.value("time").toDouble());
        r.type = data.value("dataType").toString();
        r.count = data.value(r.type == "VECTOR" ? "vectors" : "values").toArray().size();
        r.rate = data.value("samplingRate").toInt();
        out << r;
    }
    return out;
}

QVector<double> values(int n)
{
    return QVector<double>(n, 50000.0);
}

QByteArray recordLine(qint64 time)
{
    return ServerBodies::scalarRecord("MZ", time, values(20), 20, 50).toUtf8();
}

// Every line of the file is a whole record (none cut, none joined to another).
bool onlyWholeRecords(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        return false;
    for (const QByteArray& line : bytes.split('\n'))
        if (!line.isEmpty() && !QJsonDocument::fromJson(line).isObject())
            return false;
    return true;
}

QList<qint64> recordTimes(const QString& path)
{
    QList<qint64> out;
    for (const Record& r : records(path))
        out << r.time;
    return out;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot be read)");
}

// A file of exactly `size` bytes (sparse), ending in a line end like a backlog file.
void makeFile(const QString& path, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
    QVERIFY(file.seek(size - 1));
    QVERIFY(file.putChar('\n'));
}
} // namespace

class TestUploadBacklog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void merge_data();
    void merge();
    void vectorBatchesMergeWhileTheyFollowEachOther();
    void rollAtExactlyTheLimit_data();
    void rollAtExactlyTheLimit();
    void ringOfSixFiles();
    void numberingAtStart_data();
    void numberingAtStart();
    void currentFileIsNeverUploaded();
    void filesTakeTurnsForUpload();
    void fullRingGetsNoSeventhFile();
    void rollSkipsTheFileInFlight();
    void unwrittenRecordsWaitForTheNextFlush();
    void unwrittenRecordsAreBounded();
    void recordAfterAnAppendCutShort_data();
    void recordAfterAnAppendCutShort();
    void lastLineMendedAtStart_data();
    void lastLineMendedAtStart();
    void numberingNeverWraps_data();
    void numberingNeverWraps();
    void namesHeldByOthersArePassedOver_data();
    void namesHeldByOthersArePassedOver();

private:
    void sixFilesWithTheLastCurrent();
    static void lastLineTable();
    QString path(int n) const { return m_backlog.filePath(n); }
    QScopedPointer<QTemporaryDir> m_dir;
    UploadBacklog m_backlog;
};

void TestUploadBacklog::init()
{
    m_dir.reset(new QTemporaryDir);
    m_backlog = UploadBacklog();
    m_backlog.setFolder(m_dir->path() + "/logs");
    m_backlog.findBacklogFileNumber(true);
}

void TestUploadBacklog::merge_data()
{
    // Batches as (time offset, values, rate); the records expected after a flush
    // as (time offset, values, rate); `before` records are written before the flush.
    QTest::addColumn<QList<QList<int>>>("batches");
    QTest::addColumn<QList<QList<int>>>("expected");
    QTest::addColumn<int>("before");
    QTest::newRow("t, +1000, +2000 merge; +2500 starts anew")
        << QList<QList<int>>{{0, 20, 20}, {1000, 20, 20}, {2000, 20, 20}, {2500, 20, 20}}
        << QList<QList<int>>{{0, 60, 20}, {2500, 20, 20}} << 1;
    QTest::newRow("two batches of 1000 are written at once")
        << QList<QList<int>>{{0, 1000, 1000}, {1000, 1000, 1000}}
        << QList<QList<int>>{{0, 2000, 1000}} << 1;
    QTest::newRow("a first batch of 2500 is written at once")
        << QList<QList<int>>{{0, 2500, 1000}} << QList<QList<int>>{{0, 2500, 1000}} << 1;
    QTest::newRow("a change of rate writes the buffer")
        << QList<QList<int>>{{0, 20, 20}, {1000, 1, 1}, {2000, 1, 1}}
        << QList<QList<int>>{{0, 20, 20}, {1000, 2, 1}} << 1;
    QTest::newRow("a batch out of order starts anew")
        << QList<QList<int>>{{5000, 20, 20}, {3000, 20, 20}, {4000, 20, 20}}
        << QList<QList<int>>{{5000, 20, 20}, {3000, 40, 20}} << 1;
}

void TestUploadBacklog::merge()
{
    QFETCH(QList<QList<int>>, batches);
    QFETCH(QList<QList<int>>, expected);
    QFETCH(int, before);
    for (const QList<int>& b : batches)
        m_backlog.bufferScalarData(T + b[0], values(b[1]), b[2], 1000 / b[2]);
    QCOMPARE(records(path(0)).size(), before);
    QVERIFY(m_backlog.saveBacklogRecord());
    QVERIFY(m_backlog.isBufferEmpty());
    const QList<Record> got = records(path(0));
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].time, T + expected[i][0]);
        QCOMPARE(got[i].count, expected[i][1]);
        QCOMPARE(got[i].rate, expected[i][2]);
        QCOMPARE(got[i].type, QString("SCALAR"));
    }
}

void TestUploadBacklog::vectorBatchesMergeWhileTheyFollowEachOther()
{
    // 50 samples 9 ms apart: the next batch starts 450 ms later.
    const QVector<XYZST> batch(50);
    m_backlog.bufferVectorData(T, batch, 111, 9);
    m_backlog.bufferVectorData(T + 450, batch, 111, 9);
    m_backlog.bufferVectorData(T + 5000, batch, 111, 9);
    m_backlog.bufferScalarData(T + 6000, values(20), 20, 50); // another kind writes the buffer
    QVERIFY(m_backlog.saveBacklogRecord());
    const QList<Record> got = records(path(0));
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[0].type, QString("VECTOR"));
    QCOMPARE(got[0].time, T);
    QCOMPARE(got[0].count, 100);
    QCOMPARE(got[0].rate, 111);
    QCOMPARE(got[1].time, T + 5000);
    QCOMPARE(got[1].count, 50);
    QCOMPARE(got[2].type, QString("SCALAR"));
}

void TestUploadBacklog::rollAtExactlyTheLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("numberAfter");
    QTest::newRow("one byte below the limit") << qint64(10485759) << 0;
    QTest::newRow("exactly 10 485 760 bytes") << qint64(10485760) << 1;
}

void TestUploadBacklog::rollAtExactlyTheLimit()
{
    QFETCH(qint64, size);
    QFETCH(int, numberAfter);
    makeFile(path(0), size);
    m_backlog.bufferScalarData(T, values(1), 1, 1000);
    QVERIFY(m_backlog.saveBacklogRecord());
    // The record at hand still lands in the full file.
    QVERIFY(QFileInfo(path(0)).size() > size);
    QCOMPARE(m_backlog.fileNumber(), numberAfter);
    m_backlog.bufferScalarData(T + 5000, values(1), 1, 1000);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(records(path(numberAfter)).last().time, T + 5000);
}

// Files 0 to 4 full and 5 not yet: records go to 5 (sparse files, no disk used).
void TestUploadBacklog::sixFilesWithTheLastCurrent()
{
    for (int n = 0; n < 5; ++n)
        makeFile(path(n), UploadBacklog::FileSizeLimit);
    makeFile(path(5), 100);
    m_backlog.findBacklogFileNumber(true);
    QCOMPARE(m_backlog.fileNumber(), 5);
    makeFile(path(5), UploadBacklog::FileSizeLimit);
}

void TestUploadBacklog::ringOfSixFiles()
{
    sixFilesWithTheLastCurrent();
    m_backlog.bufferScalarData(T, values(1), 1, 1000);
    QVERIFY(m_backlog.saveBacklogRecord()); // lands in full file 5, then rolls
    QCOMPARE(m_backlog.fileNumber(), 0);
    QVERIFY(!QFile::exists(path(0)));
    m_backlog.bufferScalarData(T + 9000, values(1), 1, 1000);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(records(path(0)).size(), 1);
    QCOMPARE(records(path(0)).first().time, T + 9000);
    QCOMPARE(m_backlog.backlogNumbers().size(), 6);
}

void TestUploadBacklog::numberingAtStart_data()
{
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addColumn<int>("number");
    QTest::newRow("no backlog file") << QList<qint64>{} << 0;
    QTest::newRow("12 MiB and 3 MiB") << QList<qint64>{12 << 20, 3 << 20} << 1;
    QTest::newRow("all full: the highest") << QList<qint64>{12 << 20, 11 << 20} << 1;
    QTest::newRow("first not full") << QList<qint64>{100, 12 << 20} << 0;
}

void TestUploadBacklog::numberingAtStart()
{
    QFETCH(QList<qint64>, sizes);
    QFETCH(int, number);
    for (int n = 0; n < sizes.size(); ++n)
        makeFile(path(n), sizes[n]);
    makeFile(m_backlog.folder() + "/ServerDataX.txt", 5); // not a backlog file
    m_backlog.findBacklogFileNumber(true);
    QCOMPARE(m_backlog.fileNumber(), number);
    m_backlog.bufferScalarData(T, values(1), 1, 1000);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(records(path(number)).last().time, T);
}

void TestUploadBacklog::currentFileIsNeverUploaded()
{
    m_backlog.bufferScalarData(T, values(20), 20, 50);
    QVERIFY(m_backlog.saveBacklogRecord());
    const QString upload = m_backlog.listBacklogFiles();
    QCOMPARE(upload, path(0));
    QVERIFY(m_backlog.fileNumber() != 0);
    m_backlog.setUploadInFlight(upload);
    // Records that arrive while the file travels go to another file...
    m_backlog.bufferScalarData(T + 1000, values(20), 20, 50);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(records(path(0)).size(), 1);
    QCOMPARE(records(path(m_backlog.fileNumber())).first().time, T + 1000);
    // ...and survive the deletion of the accepted one.
    m_backlog.clearUploadInFlight();
    QVERIFY(m_backlog.deleteUploaded(upload));
    QVERIFY(!QFile::exists(path(0)));
    QCOMPARE(m_backlog.backlogNumbers(), QList<int>{m_backlog.fileNumber()});
    // The file that records go to is never deleted as uploaded.
    QVERIFY(!m_backlog.deleteUploaded(path(m_backlog.fileNumber())));
}

void TestUploadBacklog::filesTakeTurnsForUpload()
{
    makeFile(path(0), 10);
    makeFile(path(1), 10);
    m_backlog.findBacklogFileNumber(true);
    m_backlog.findBacklogFileNumber(false); // records go to 2
    QCOMPARE(m_backlog.fileNumber(), 2);
    // File 0 is refused (stays): the next due upload takes file 1, then 0 again.
    QCOMPARE(m_backlog.listBacklogFiles(), path(0));
    QCOMPARE(m_backlog.listBacklogFiles(), path(1));
    QCOMPARE(m_backlog.listBacklogFiles(), path(0));
    QCOMPARE(m_backlog.fileNumber(), 2);
    QVERIFY(m_backlog.deleteUploaded(path(0)));
    QCOMPARE(m_backlog.listBacklogFiles(), path(1));
    QCOMPARE(m_backlog.listBacklogFiles(), path(1));
}

void TestUploadBacklog::fullRingGetsNoSeventhFile()
{
    for (int n = 0; n < 5; ++n)
        makeFile(path(n), UploadBacklog::FileSizeLimit);
    makeFile(path(5), 100);
    m_backlog.findBacklogFileNumber(true);
    QCOMPARE(m_backlog.fileNumber(), 5);
    // Every upload refused: the file records go to is passed over rather than
    // moved to a seventh file, turn after turn.
    QStringList offered;
    for (int i = 0; i < 7; ++i)
        offered << QFileInfo(m_backlog.listBacklogFiles()).fileName();
    QCOMPARE(offered, QStringList({"ServerData0.txt", "ServerData1.txt", "ServerData2.txt",
                                   "ServerData3.txt", "ServerData4.txt", "ServerData0.txt",
                                   "ServerData1.txt"}));
    QCOMPARE(m_backlog.fileNumber(), 5);
    // One accepted: with room in the ring the current file travels as well, and
    // records go to a new one.
    QVERIFY(m_backlog.deleteUploaded(path(2)));
    QCOMPARE(m_backlog.listBacklogFiles(), path(3));
    QCOMPARE(m_backlog.listBacklogFiles(), path(4));
    QCOMPARE(m_backlog.listBacklogFiles(), path(5));
    QCOMPARE(m_backlog.fileNumber(), 6);
}

void TestUploadBacklog::rollSkipsTheFileInFlight()
{
    sixFilesWithTheLastCurrent();
    m_backlog.setUploadInFlight(path(0));
    m_backlog.bufferScalarData(T, values(1), 1, 1000);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(m_backlog.fileNumber(), 1);
    QCOMPARE(QFileInfo(path(0)).size(), UploadBacklog::FileSizeLimit); // untouched
    QVERIFY(!QFile::exists(path(1)));
}

void TestUploadBacklog::unwrittenRecordsWaitForTheNextFlush()
{
    // A folder that takes no new file: no record can be written.
    ReadOnlyFolder readOnly(m_backlog.folder());
    QVERIFY(readOnly.ok());
    m_backlog.bufferScalarData(T, values(20), 20, 50);
    QVERIFY(!m_backlog.saveBacklogRecord());
    QCOMPARE(m_backlog.unwrittenCount(), 1);
    // A batch that does not continue the buffer never replaces what waits.
    m_backlog.bufferScalarData(T + 7000, values(20), 20, 50);
    m_backlog.bufferScalarData(T + 9000, values(20), 20, 50);
    QCOMPARE(m_backlog.unwrittenCount(), 2);
    readOnly.release();
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(m_backlog.unwrittenCount(), 0);
    const QList<Record> got = records(path(0));
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[0].time, T);
    QCOMPARE(got[1].time, T + 7000);
    QCOMPARE(got[2].time, T + 9000);
}

void TestUploadBacklog::unwrittenRecordsAreBounded()
{
    ReadOnlyFolder readOnly(m_backlog.folder());
    QVERIFY(readOnly.ok());
    DebugLines debug;
    // Batches of 10 000 values, each a record of about 100 kB that cannot be written.
    const int batches = 120;
    for (int i = 0; i < batches; ++i)
        m_backlog.bufferScalarData(T + i * 20000, values(10000), 1000, 1);
    const int kept = m_backlog.unwrittenCount();
    QVERIFY2(kept > 0 && kept < batches, qPrintable(QString::number(kept)));
    QVERIFY(kept * 100000 <= UploadBacklog::UnwrittenLimitBytes);
    // A spell of failures is told once at its start.
    const int failures = debug.count("Failed to open file for writing:");
    QCOMPARE(failures, 1);
    QCOMPARE(debug.count("records cannot be written, oldest dropped"), 1);
    // The newest records are the ones kept, oldest first, and all go out together.
    readOnly.release();
    QVERIFY(m_backlog.saveBacklogRecord());
    // And once at its end, with what it cost.
    QVERIFY(
        debug.said(QString("backlog: written again; %1 records were dropped").arg(batches - kept)));
    QCOMPARE(debug.count("backlog: written again after "), 1);
    const QList<Record> got = records(path(0));
    QCOMPARE(got.size(), kept);
    QCOMPARE(got.first().time, T + (batches - kept) * 20000);
    QCOMPARE(got.last().time, T + (batches - 1) * 20000);
}

// What a kill during an append can leave at the end of a backlog file, the
// records (by time offset) the file holds once its last line is mended, and its
// bytes then: no empty line where a cut record was, no CR before the line end
// (here the platform's line end is LF).
void TestUploadBacklog::lastLineTable()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<qint64>>("kept");
    QTest::addColumn<QByteArray>("mended");
    const QByteArray r0 = recordLine(T), r1 = recordLine(T + 1000);
    QTest::newRow("whole lines") << r0 + '\n' << QList<qint64>{0} << r0 + '\n';
    QTest::newRow("cut inside a record")
        << r0 + '\n' + r1.left(r1.size() / 2) << QList<qint64>{0} << r0 + '\n';
    QTest::newRow("cut just before the last brace")
        << r0 + '\n' + r1.chopped(1) << QList<qint64>{0} << r0 + '\n';
    QTest::newRow("only a cut record") << r1.left(10) << QList<qint64>{} << QByteArray();
    QTest::newRow("a whole record without its line end")
        << r0 + '\n' + r1 << QList<qint64>{0, 1000} << r0 + '\n' + r1 + '\n';
    QTest::newRow("a whole record and a CR")
        << r0 + "\r\n" + r1 + '\r' << QList<qint64>{0, 1000} << r0 + "\r\n" + r1 + '\n';
    // A long last line: the search for its start crosses several reads.
    const QByteArray big =
        ServerBodies::scalarRecord("MZ", T + 2000, values(30000), 1000, 1).toUtf8();
    QTest::newRow("a long cut record")
        << r0 + '\n' + big.left(big.size() - 5) << QList<qint64>{0} << r0 + '\n';
    QTest::newRow("a long whole record")
        << r0 + '\n' + big << QList<qint64>{0, 2000} << r0 + '\n' + big + '\n';
}

void TestUploadBacklog::recordAfterAnAppendCutShort_data()
{
    lastLineTable();
}

void TestUploadBacklog::recordAfterAnAppendCutShort()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<qint64>, kept);
    QFETCH(QByteArray, mended);
    {
        QFile file(path(0));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }
    m_backlog.bufferScalarData(T + 9000, values(20), 20, 50);
    QVERIFY(m_backlog.saveBacklogRecord());
    QVERIFY(onlyWholeRecords(path(0)));
    QList<qint64> times;
    for (const qint64 t : kept)
        times << T + t;
    QCOMPARE(recordTimes(path(0)), times << T + 9000);
    QCOMPARE(fileBytes(path(0)), mended + recordLine(T + 9000) + '\n');
}

void TestUploadBacklog::lastLineMendedAtStart_data()
{
    lastLineTable();
}

void TestUploadBacklog::lastLineMendedAtStart()
{
    // Records go to file 0 after the restart; file 1, cut by the kill, is only
    // uploaded, and goes out holding whole records.
    QFETCH(QByteArray, content);
    QFETCH(QList<qint64>, kept);
    QFETCH(QByteArray, mended);
    makeFile(path(0), 100);
    {
        QFile file(path(1));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }
    m_backlog.findBacklogFileNumber(true);
    QCOMPARE(m_backlog.fileNumber(), 0);
    QVERIFY(onlyWholeRecords(path(1)));
    QList<qint64> times;
    for (const qint64 t : kept)
        times << T + t;
    QCOMPARE(recordTimes(path(1)), times);
    QCOMPARE(fileBytes(path(1)), mended);
}

void TestUploadBacklog::numberingNeverWraps_data()
{
    // Backlog files present, the upload taken before the records
    // (-1: none), and the file the second record goes to.
    constexpr int Max = std::numeric_limits<int>::max();
    constexpr qint64 Full = UploadBacklog::FileSizeLimit;
    QTest::addColumn<Files>("files");
    QTest::addColumn<int>("upload");
    QTest::addColumn<int>("second");
    QTest::newRow("the largest number full: rolls to 0") << Files{{Max, Full}} << -1 << 0;
    QTest::newRow("the largest number full, 0 and 1 taken: rolls to 2")
        << Files{{0, Full}, {1, Full}, {Max, Full}} << -1 << 2;
    QTest::newRow("ring of six with the largest number: rolls to 0, deleting it")
        << Files{{0, Full}, {1, Full}, {2, Full}, {3, Full}, {4, Full}, {Max, Full}} << -1 << 0;
    QTest::newRow("the largest number uploaded while records go to it")
        << Files{{Max, 100}} << Max << 0;
}

void TestUploadBacklog::numberingNeverWraps()
{
    QFETCH(Files, files);
    QFETCH(int, upload);
    QFETCH(int, second);
    for (const auto& f : files)
        makeFile(path(f.first), f.second);
    m_backlog.findBacklogFileNumber(true);
    QCOMPARE(m_backlog.fileNumber(), files.last().first);

    m_backlog.bufferScalarData(T, values(20), 20, 50);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(records(path(files.last().first)).last().time, T);
    if (upload >= 0) {
        QCOMPARE(m_backlog.listBacklogFiles(), path(upload));
        m_backlog.setUploadInFlight(path(upload));
    }
    m_backlog.bufferScalarData(T + 9000, values(20), 20, 50);
    QVERIFY(m_backlog.saveBacklogRecord());
    QCOMPARE(m_backlog.fileNumber(), second);
    QCOMPARE(recordTimes(path(second)), QList<qint64>{T + 9000});
    // Both records are in files the upload finds, and the ring keeps its six.
    const QList<int> numbers = m_backlog.backlogNumbers();
    QVERIFY(numbers.contains(files.last().first));
    QVERIFY(numbers.contains(second));
    QVERIFY(numbers.size() <= UploadBacklog::RingSize);
    QCOMPARE(QDir(m_backlog.folder()).entryList({"ServerData-*"}), QStringList());
}

void TestUploadBacklog::namesHeldByOthersArePassedOver_data()
{
    // What holds the name of backlog file `held`, the backlog files present, the
    // upload taken between the two records (-1: none), and the files the first and
    // the second record go to.
    constexpr qint64 Full = UploadBacklog::FileSizeLimit;
    QTest::addColumn<QString>("holder");
    QTest::addColumn<int>("held");
    QTest::addColumn<Files>("files");
    QTest::addColumn<int>("upload");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("a FIFO, no backlog file") << "fifo" << 0 << Files{} << -1 << 1 << 1;
    QTest::newRow("a folder, no backlog file") << "folder" << 0 << Files{} << -1 << 1 << 1;
    QTest::newRow("a link to a FIFO, no backlog file") << "link" << 0 << Files{} << -1 << 1 << 1;
    QTest::newRow("a FIFO where the roll goes") << "fifo" << 1 << Files{{0, Full}} << -1 << 0 << 2;
    QTest::newRow("a FIFO where records go while the current file travels")
        << "fifo" << 1 << Files{{0, 100}} << 0 << 0 << 2;
    QTest::newRow("a FIFO where the ring of six wraps")
        << "fifo" << 0 << Files{{1, Full}, {2, Full}, {3, Full}, {4, Full}, {5, Full}, {6, Full}}
        << -1 << 6 << 7;
}

void TestUploadBacklog::namesHeldByOthersArePassedOver()
{
    QFETCH(QString, holder);
    QFETCH(int, held);
    QFETCH(Files, files);
    QFETCH(int, upload);
    QFETCH(int, first);
    QFETCH(int, second);
    for (const auto& f : files)
        makeFile(path(f.first), f.second);
    const QString heldPath = path(held);
    std::unique_ptr<FifoInPlace> fifo;
    if (holder == "folder") {
        QVERIFY(QDir().mkpath(heldPath));
    } else {
        // Should the backlog open it for writing anyway, the FIFO lets it go after the bound.
        fifo.reset(new FifoInPlace(holder == "link" ? m_dir->path() + "/elsewhere" : heldPath));
        QVERIFY(fifo->isValid());
        if (holder == "link")
            QVERIFY(QFile::link(m_dir->path() + "/elsewhere", heldPath));
    }

    DebugLines debug;
    bool firstSaved = false, secondSaved = false;
    QString offered;
    const auto run = [&] {
        m_backlog.findBacklogFileNumber(true);
        m_backlog.bufferScalarData(T, values(20), 20, 50);
        firstSaved = m_backlog.saveBacklogRecord();
        if (upload >= 0) {
            offered = m_backlog.listBacklogFiles();
            m_backlog.setUploadInFlight(offered);
        }
        m_backlog.bufferScalarData(T + 9000, values(20), 20, 50);
        secondSaved = m_backlog.saveBacklogRecord();
    };
    if (fifo)
        QVERIFY2(fifo->returnsWithin(3000, run), "blocked on the FIFO");
    else
        run();
    QVERIFY(firstSaved);
    QVERIFY(secondSaved);
    QVERIFY(recordTimes(path(first)).contains(T));
    QCOMPARE(recordTimes(path(second)).last(), T + 9000);
    if (upload >= 0)
        QCOMPARE(offered, path(upload));
    // Passed over once, said so, and left as it was.
    QCOMPARE(debug.count(QString("ServerData%1.txt is not a plain file").arg(held)), 1);
    if (fifo)
        QVERIFY(fifo->stillThere());
    if (holder == "link")
        QVERIFY(QFileInfo(heldPath).isSymLink());
    if (holder == "folder")
        QVERIFY(QFileInfo(heldPath).isDir() && QDir(heldPath).isEmpty());
    QVERIFY(!m_backlog.backlogNumbers().contains(held));
    QVERIFY(m_backlog.backlogNumbers().size() <= UploadBacklog::RingSize);
}

MAG_TEST_MAIN_CORE(TestUploadBacklog)
#include "tst_uploadbacklog.moc"
