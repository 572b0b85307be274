// The crash-safe row appender: writes by pages, the cut of a partial last row,
// rows held while their file cannot be written, and the cap on them.

#include "services/RowAppender.h"
#include "tests/support/FileFaults.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// `count` rows of eight bytes, numbered from `first`.
QByteArray rowsFrom(int first, int count)
{
    QByteArray rows;
    for (int i = first; i < first + count; ++i)
        rows += QByteArray::number(i).rightJustified(7, '0') + '\n';
    return rows;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bytes the whole process has read so far (every thread, files and pipes).
qint64 bytesReadByProcess()
{
    QFile io("/proc/self/io");
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}
} // namespace

class TestRowAppender : public QObject
{
    Q_OBJECT
private slots:
    void pageWrites_data();
    void pageWrites();
    void halfRowOfAKilledRunIsCut_data();
    void halfRowOfAKilledRunIsCut();
    void cutReadsOnlyTheTail_data();
    void cutReadsOnlyTheTail();
    void heldWhileTheFileCannotBeWritten_data();
    void heldWhileTheFileCannotBeWritten();
    void heldRowsAreCapped();
};

void TestRowAppender::pageWrites_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<QByteArray>("rows");
    const QByteArray second = [] { // a second at 1000 Hz
        QByteArray rows;
        for (int i = 0; i < 1000; ++i)
            rows += "10:00:00." + QByteArray::number(i).rightJustified(3, '0') + ',' +
                    QByteArray::number(50000.0 + i * 1e-3, 'g', 10) + '\n';
        return rows;
    }();
    QTest::newRow("a second from the start of a file") << qint64(0) << second;
    QTest::newRow("from the middle of a page") << qint64(4000) << second;
    QTest::newRow("one byte before a page end") << qint64(4095) << second;
    QTest::newRow("at a page end") << qint64(8192) << second;
    QTest::newRow("rows that end at the page ends") << qint64(0) << rowsFrom(0, 2000);
    QTest::newRow("rows longer than a page")
        << qint64(100) << QByteArray(5000, 'a') + '\n' + QByteArray(9000, 'b') + '\n';
    QTest::newRow("one short row") << qint64(10) << QByteArray("12:00:00,1\n");
}

// Every write lies inside one page and ends at a row end, or holds one row alone;
// and no more writes than that: a write that ends inside a page is followed by a
// row that crosses its end.
void TestRowAppender::pageWrites()
{
    QFETCH(qint64, at);
    QFETCH(QByteArray, rows);
    const qint64 page = RowAppender::PageBytes;
    const QVector<qint64> lengths = RowAppender::pageWrites(at, rows);
    qint64 done = 0;
    for (int w = 0; w < lengths.size(); ++w) {
        const qint64 length = lengths[w];
        QVERIFY(length > 0);
        const QByteArray piece = rows.mid(int(done), int(length));
        QVERIFY2(piece.endsWith('\n'), qPrintable(QString("write %1 ends in a row").arg(w)));
        const qint64 first = at + done, last = at + done + length - 1;
        const bool insidePage = first / page == last / page;
        QVERIFY2(insidePage || piece.count('\n') == 1,
                 qPrintable(QString("write %1 (%2 bytes at %3) crosses a page end with %4 rows")
                                .arg(w)
                                .arg(length)
                                .arg(first)
                                .arg(piece.count('\n'))));
        if (insidePage && w + 1 < lengths.size() && (last + 1) % page != 0)
            QVERIFY2((last + lengths[w + 1]) / page > last / page,
                     qPrintable(QString("write %1 could have taken the next row").arg(w)));
        done += length;
    }
    QCOMPARE(done, qint64(rows.size()));
}

// A run killed in the middle of a write left the start of a row, and a power
// loss can leave a run of NUL bytes of any length at the end; the next append to
// the file cuts everything after the last line end first.
void TestRowAppender::halfRowOfAKilledRunIsCut_data()
{
    const QByteArray rows("12:00:00.000,7\n12:00:00.050,8\n");
    const QByteArray half("12:00:00.1");
    const QByteArray nuls(1 << 20, '\0');
    QTest::addColumn<QByteArray>("left"); // what the file held
    QTest::addColumn<QByteArray>("kept"); // what of it stays
    QTest::newRow("a half row") << rows + half << rows;
    QTest::newRow("whole rows") << rows << rows;
    QTest::newRow("1 MiB of NULs") << rows + nuls << rows;
    QTest::newRow("a half row, then 1 MiB of NULs") << rows + half + nuls << rows;
    // Tails around the sizes a search from the end might read at a time.
    for (const int tail : {4095, 4096, 4097, 65535, 65536, 65537})
        QTest::newRow(qPrintable(QString("%1 NULs").arg(tail)))
            << rows + QByteArray(tail, '\0') << rows;
    QTest::newRow("no line end at all") << half << QByteArray();
    QTest::newRow("NULs only") << nuls << QByteArray();
    QTest::newRow("one line end at the very start") << QByteArray("\n") + nuls << QByteArray("\n");
}

void TestRowAppender::halfRowOfAKilledRunIsCut()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, kept);
    const QString file = QDir::currentPath() + "/halfrow.CSV";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(left), qint64(left.size()));
    }
    RowAppender appender;
    const QByteArray rows = rowsFrom(100, 20);
    QVERIFY(appender.append(file, rows, 20).written);
    const QByteArray all = contents(file);
    QCOMPARE(all.size(), kept.size() + rows.size());
    QCOMPARE(all, kept + rows);
}

// A long recording with a bad end: the cut reads the tail, not the file.
void TestRowAppender::cutReadsOnlyTheTail_data()
{
    QTest::addColumn<int>("tail"); // NUL bytes after a half row
    QTest::newRow("a half row") << 0;
    QTest::newRow("a half row, then 1 MiB of NULs") << (1 << 20);
}

void TestRowAppender::cutReadsOnlyTheTail()
{
    QFETCH(int, tail);
    const QString file = QDir::currentPath() + "/longtail.CSV";
    // 256 MiB of rows, most of them a hole in the file so that the test stays small.
    constexpr qint64 Body = qint64(256) << 20;
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(f.resize(Body - 1));
        QVERIFY(f.seek(Body - 1));
        QVERIFY(f.putChar('\n'));
        QVERIFY(f.write("12:00:00.1"));
        QCOMPARE(f.write(QByteArray(tail, '\0')), qint64(tail));
    }
    RowAppender appender;
    const qint64 before = bytesReadByProcess();
    QVERIFY(before >= 0);
    QVERIFY(appender.append(file, rowsFrom(100, 20), 20).written);
    const qint64 read = bytesReadByProcess() - before;
    QVERIFY2(read < tail + (1 << 20), qPrintable(QString("%1 bytes read").arg(read)));
    // The rows before the cut are all there, and the 20 new ones.
    QCOMPARE(QFileInfo(file).size(), Body + 20 * 8);
}

void TestRowAppender::heldWhileTheFileCannotBeWritten_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("giveUp"); // rather than wait for the fault to go
    QTest::newRow("read-only folder") << "read-only" << false;
    QTest::newRow("folder removed") << "removed" << false;
    QTest::newRow("disk full") << "full" << false;
    QTest::newRow("disk full, then given up") << "full" << true;
}

void TestRowAppender::heldWhileTheFileCannotBeWritten()
{
    QFETCH(QString, fault);
    QFETCH(bool, giveUp);
    const QString folder = QDir::currentPath() + "/held/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + "/rows.CSV";
    RowAppender appender;

    WriteFault writeFault(fault, folder, file);
    const int firstKept = writeFault.beforeFirstRows() ? 0 : 1000;
    if (writeFault.beforeFirstRows())
        QVERIFY(writeFault.start());
    else
        QVERIFY(appender.append(file, rowsFrom(0, 1000), 1000).written && writeFault.start());
    for (int batch = firstKept / 1000; batch < 4; ++batch) {
        const RowAppender::Outcome outcome =
            appender.append(file, rowsFrom(1000 * batch, 1000), 1000);
        QVERIFY(!outcome.written);
        QCOMPARE(outcome.fileName, file);
        QVERIFY(!outcome.error.isEmpty());
        QCOMPARE(outcome.logLine,
                 fault == "full" ? QString("Failed to write file %1:%2").arg(file, outcome.error)
                                 : "Failed to open file for writing:" + outcome.error);
        QCOMPARE(outcome.droppedRows, qint64(0));
        QVERIFY(appender.holdsRows());
    }
    // A short write was cut back: only the rows from before the fault.
    QCOMPARE(contents(file), fault == "full" ? rowsFrom(0, 1000) : QByteArray());

    QVERIFY(writeFault.end());
    if (giveUp) {
        QCOMPARE(appender.dropHeld(), qint64(3000));
        QVERIFY(!appender.holdsRows());
        QCOMPARE(appender.heldBytes(), qint64(0));
        QVERIFY(appender.append(file, rowsFrom(4000, 1000), 1000).written);
        QCOMPARE(contents(file), rowsFrom(0, 1000) + rowsFrom(4000, 1000));
        return;
    }
    // The fault went away: the held rows and the new ones land in order.
    QVERIFY(appender.append(file, rowsFrom(4000, 1000), 1000).written);
    QVERIFY(!appender.holdsRows());
    const int first = fault == "removed" ? 1000 : 0; // the first rows went with their folder
    QCOMPARE(contents(file), rowsFrom(first, 5000 - first));
}

// A file that keeps failing for longer than the cap covers: the oldest rows go,
// each outcome counts them, and the newest land without a gap.
void TestRowAppender::heldRowsAreCapped()
{
    const QString folder = QDir::currentPath() + "/capped";
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + "/rows.CSV";
    constexpr qint64 Cap = 64 * 1024;
    constexpr int Chunk = 4096;
    constexpr int Rows = 100; // 800 bytes a try
    RowAppender appender(Cap, Chunk);
    ReadOnlyFolder readOnly(folder);
    QVERIFY(readOnly.ok());
    qint64 dropped = 0;
    const int tries = 400;
    for (int t = 0; t < tries; ++t) {
        const RowAppender::Outcome outcome = appender.append(file, rowsFrom(t * Rows, Rows), Rows);
        QVERIFY(!outcome.written);
        dropped += outcome.droppedRows;
        QVERIFY2(appender.heldBytes() <= Cap + Chunk + 8 * Rows,
                 qPrintable(QString("%1 bytes held").arg(appender.heldBytes())));
    }
    QVERIFY(dropped > 0);
    readOnly.release();
    const RowAppender::Outcome outcome = appender.append(file, rowsFrom(tries * Rows, Rows), Rows);
    QVERIFY(outcome.written);
    QCOMPARE(outcome.droppedRows, qint64(0));
    const int total = (tries + 1) * Rows;
    QCOMPARE(contents(file), rowsFrom(int(dropped), total - int(dropped)));
    // Only whole chunks go: what stays is short of the cap by less than one.
    QVERIFY(8 * (total - dropped) > Cap - Chunk - 8 * Rows);
}

MAG_TEST_MAIN_CORE(TestRowAppender)
#include "tst_rowappender.moc"
