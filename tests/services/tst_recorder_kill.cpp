// A recording process killed with SIGKILL: what it leaves is whole rows, and at
// most the last second is missing.

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
    QTest::addColumn<int>("batches"); // taken before the kill
    QTest::newRow("after 3 s") << 3;
    QTest::newRow("after 11 s") << 11;
    QTest::newRow("after 24 s") << 24;
}

void TestRecorderKill::killLeavesWholeRows()
{
    QFETCH(int, batches);
    const QString folder = QDir::currentPath() + "/kill" + QString::number(batches);
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";

    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(MAG_RECORDER_WRITER, {path, "40"});
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
    writer.kill(); // SIGKILL
    QVERIFY(writer.waitForFinished(10000));
    while (writer.canReadLine()) {
        const QList<QByteArray> words = writer.readLine().trimmed().split(' ');
        if (words.size() == 2 && words[0] == "written")
            taken = words[1].toInt();
    }

    bool wellFormed = false;
    const QVector<Row> rows = readRows(RecordingFormat::mzFileName(path, 1000), &wellFormed);
    QVERIFY(wellFormed);
    // Every batch the recorder had taken is there; the one in flight may be too.
    QVERIFY2(rows.size() == 1000 * taken || rows.size() == 1000 * (taken + 1),
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
