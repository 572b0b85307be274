// A recording process killed with SIGKILL: what it leaves is whole rows, and at
// most the last second is missing. It is killed from outside after some seconds,
// and from inside between two writes of the recorder, where a batch written in
// pieces would be cut in a row.

#include "services/RecordingFormat.h"
#include "tests/services/RecorderFixture.h"
#include "tests/support/TestMain.h"

#include <QProcess>

using namespace RecorderTest;

class TestRecorderKill : public QObject
{
    Q_OBJECT
private slots:
    void killLeavesWholeRows_data();
    void killLeavesWholeRows();
};

void TestRecorderKill::killLeavesWholeRows_data()
{
    QTest::addColumn<int>("batches");     // taken before a kill from outside
    QTest::addColumn<int>("killAtWrite"); // or: killed just before this write to a file
    QTest::newRow("after 3 s") << 3 << 0;
    QTest::newRow("after 11 s") << 11 << 0;
    QTest::newRow("after 24 s") << 24 << 0;
    // Between the writes of one second, wherever they fall.
    for (const int write : {1, 2, 3, 5, 8, 13, 21, 34})
        QTest::newRow(qPrintable(QString("before write %1").arg(write))) << 0 << write;
}

void TestRecorderKill::killLeavesWholeRows()
{
    QFETCH(int, batches);
    QFETCH(int, killAtWrite);
    const QString folder = QDir::currentPath() + "/kill/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";

    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(MAG_RECORDER_WRITER, {path, "40", QString::number(killAtWrite)});
    QVERIFY(writer.waitForStarted(10000));
    int taken = 0;
    while (taken < batches) {
        QVERIFY2(writer.canReadLine() || writer.waitForReadyRead(10000), "the writer went quiet");
        while (writer.canReadLine()) {
            const QList<QByteArray> words = writer.readLine().trimmed().split(' ');
            if (words.size() == 2 && words[0] == "written")
                taken = words[1].toInt();
        }
    }
    if (killAtWrite == 0)
        writer.kill(); // SIGKILL
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    while (writer.canReadLine()) {
        const QList<QByteArray> words = writer.readLine().trimmed().split(' ');
        if (words.size() == 2 && words[0] == "written")
            taken = words[1].toInt();
    }

    bool wellFormed = false;
    const QVector<Row> rows = readRows(RecordingFormat::mzFileName(path, 1000), &wellFormed);
    QVERIFY(wellFormed);
    // Every batch the recorder had taken is there; of the one in flight, whole rows.
    QVERIFY2(rows.size() >= 1000 * taken && rows.size() <= 1000 * (taken + 1),
             qPrintable(QString("%1 rows after %2 batches").arg(rows.size()).arg(taken)));
    const qint64 start = msOfDay("10:00:00.000", 12);
    for (int i = 0; i < rows.size(); ++i) {
        if (msOfDay(rows[i].time.constData(), 12) != start + i ||
            rows[i].value != QByteArray::number(50000.0 + i * 1e-3, 'g', 10))
            QFAIL(qPrintable(QString("row %1: %2,%3")
                                 .arg(i)
                                 .arg(QString(rows[i].time), QString(rows[i].value))));
    }
}

MAG_TEST_MAIN_CORE(TestRecorderKill)
#include "tst_recorder_kill.moc"
