// A recording process killed with SIGKILL: what it leaves is whole rows but for a
// piece of the one row whose write the kill cut, at most the last second is
// missing, and a recorder that appends to the file afterwards cuts that piece, so
// its rows do not join it. It is killed from outside after some seconds, from
// inside between two writes of the recorder, where a batch written in pieces that
// end elsewhere than at a row end would be cut in a row, and from inside a write,
// which the kernel ends at a page end of the file.

#include "services/RecordingFormat.h"
#include "services/RowAppender.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RecorderFixture.h"
#include "tests/support/TestMain.h"

using namespace RecorderTest;

namespace {
// Reads the writer's lines: "written <n>" and "cut <rows>".
struct WriterOutput
{
    int written = 0;
    int cutRows = -1; // rows of the write the kill cut; -1: none was cut

    void read(const QByteArray& line)
    {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2 && words[0] == "written")
            written = words[1].toInt();
        if (words.size() == 2 && words[0] == "cut")
            cutRows = words[1].toInt();
    }
};
} // namespace

class TestRecorderKill : public QObject
{
    Q_OBJECT
private slots:
    void killLeavesWholeRows_data();
    void killLeavesWholeRows();
};

void TestRecorderKill::killLeavesWholeRows_data()
{
    QTest::addColumn<int>("batches");  // taken before a kill from outside
    QTest::addColumn<QString>("kill"); // or: "--kill-before" or "--kill-inside"
    QTest::addColumn<int>("write");    // that write to a file
    QTest::newRow("after 3 s") << 3 << QString() << 0;
    QTest::newRow("after 11 s") << 11 << QString() << 0;
    QTest::newRow("after 24 s") << 24 << QString() << 0;
    // Between the writes of one second, and inside them, wherever they fall.
    for (const int write : {1, 2, 3, 5, 8, 13, 21, 34}) {
        QTest::newRow(qPrintable(QString("before write %1").arg(write)))
            << 0 << "--kill-before" << write;
        QTest::newRow(qPrintable(QString("inside write %1").arg(write)))
            << 0 << "--kill-inside" << write;
    }
}

void TestRecorderKill::killLeavesWholeRows()
{
    QFETCH(int, batches);
    QFETCH(QString, kill);
    QFETCH(int, write);
    const QString folder = QDir::currentPath() + "/kill/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";
    const QString file = RecordingFormat::mzFileName(path, 1000);

    ChildProcess writer;
    QStringList arguments{path, "40"};
    if (!kill.isEmpty())
        arguments << kill << QString::number(write);
    QVERIFY(writer.start(MAG_RECORDER_WRITER, arguments));
    WriterOutput out;
    const auto read = [&out](const QByteArray& line) { return out.read(line), false; };
    if (batches > 0) {
        QVERIFY2(
            writer.waitFor(
                [&](const QByteArray& line) { return read(line), out.written >= batches; }, 60000),
            "the writer went quiet");
        writer.killHard(); // SIGKILL
    }
    QVERIFY(writer.waitForExit(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    writer.waitFor(read, 0);
    const int taken = out.written;

    // Right after the kill: whole rows, but for a piece of one row before a page
    // end, left by a write that held that row alone.
    QFile left(file);
    QVERIFY(left.open(QIODevice::ReadOnly));
    const QByteArray bytes = left.readAll();
    left.close();
    const QByteArray piece = bytes.mid(bytes.lastIndexOf('\n') + 1);
    if (!piece.isEmpty()) {
        QVERIFY2(bytes.size() % RowAppender::PageBytes == 0,
                 qPrintable(QString("a piece of a row at %1").arg(bytes.size())));
        if (kill == "--kill-inside")
            QVERIFY2(out.cutRows == 1,
                     qPrintable(QString("the kill cut a write of %1 rows").arg(out.cutRows)));
    }

    // The recorder of a later run appends to the same file, from the second after
    // the one in flight.
    ChildProcess again;
    QVERIFY(again.start(MAG_RECORDER_WRITER,
                        {path, "10", "--from", QString::number(taken + 1), "--batches", "2"}));
    QVERIFY(again.waitForExit(30000));
    QCOMPARE(again.exitStatus(), QProcess::NormalExit);
    QCOMPARE(again.exitCode(), 0);

    bool wellFormed = false;
    const QVector<Row> rows = readRows(file, &wellFormed);
    QVERIFY2(wellFormed, "a row was cut or joined to another");
    // Every second the first run had taken is there, of the one in flight whole
    // rows, then the two seconds of the later run.
    const int later = 2000;
    const int first = rows.size() - later;
    QVERIFY2(first >= 1000 * taken && first <= 1000 * (taken + 1),
             qPrintable(QString("%1 rows after %2 batches").arg(rows.size()).arg(taken)));
    const qint64 start = msOfDay("10:00:00.000", 12);
    for (int i = 0; i < rows.size(); ++i) {
        const qint64 n = i < first ? i : 1000 * (taken + 1) + (i - first);
        if (msOfDay(rows[i].time.constData(), 12) != start + n ||
            rows[i].value != QByteArray::number(50000.0 + n * 1e-3, 'g', 10))
            QFAIL(qPrintable(QString("row %1: %2,%3")
                                 .arg(i)
                                 .arg(QString(rows[i].time), QString(rows[i].value))));
    }
}

MAG_TEST_MAIN_CORE(TestRecorderKill)
#include "tst_recorder_kill.moc"
