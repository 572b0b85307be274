// The recorder's vector road: batches of 50 records stamped 9 ms apart, the rows
// of the vector file, invalid and non-finite records, the hourly roll, the
// countdown, and the batches reaching the monitoring-server stand-in through the hub.

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "device/VectorDecoding.h"
#include "services/RecordingFormat.h"
#include "services/ServerThread.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/RecorderFixture.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"

#include <cmath>
#include <cstdio>
#include <limits>

using namespace RecorderTest;

namespace {
// A field of 50 000 nT turning once every 1000 records, and nine frequencies
// near the Larmor frequency.
FIDVectorNum turningRecord(int n)
{
    const double a = 2 * M_PI * n / 1000.0;
    FIDVectorNum r;
    r.x = 30000.0 * std::cos(a);
    r.y = 30000.0 * std::sin(a);
    r.z = 40000.0 + n * 1e-4;
    r.s = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    for (int k = 0; k < 9; ++k)
        r.f[k] = 349791.5 + 0.0123456789 * k + n;
    r.valid = true;
    return r;
}

QString utcText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString("HH:mm:ss.zzz");
}

// The row the file must hold for a record stamped at ms: printf's %.10g.
QByteArray expectedRow(const FIDVectorNum& r, qint64 ms)
{
    QByteArray row = utcText(ms).toLatin1();
    char number[40];
    for (const double v : {r.x, r.y, r.z, r.s}) {
        std::snprintf(number, sizeof number, ",%.10g", v);
        row += number;
    }
    for (const double v : r.f) {
        std::snprintf(number, sizeof number, ",%.10g", v);
        row += number;
    }
    return row;
}

QByteArray expectedRow(int n, qint64 ms)
{
    return expectedRow(turningRecord(n), ms);
}

// Record n as the decoder makes it when the x axis gives no field (a negative
// radicand): x is 0 and the record is marked invalid, every value is finite.
FIDVectorNum failedDivisionRecord(int n)
{
    FIDVectorNum measured = turningRecord(n);
    measured.f[0] = measured.f[2] = 1000.0;
    return VectorDecoding::vectorRecord(measured.f).num;
}

QList<QByteArray> lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    if (!all.endsWith('\n'))
        return {"(no line end at the end)"};
    QList<QByteArray> out = all.split('\n');
    out.removeLast();
    return out;
}

// Feeds records first..first+count-1, the i-th arriving at arrival + 9 i ms.
void feed(Recorder& r, int first, int count, const QDateTime& arrival)
{
    for (int i = 0; i < count; ++i)
        r.vector(turningRecord(first + i), arrival.addMSecs(9 * i));
}
} // namespace

class TestVectorRecording : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void batchesOfFifty();
    void recordsLeftOut_data();
    void recordsLeftOut();
    void lostRecordsAndPauses_data();
    void lostRecordsAndPauses();
    void hourlyRoll();
    void countdownAndLostFolder();
    void throughTheHubToTheServer();
};

void TestVectorRecording::initTestCase()
{
    qRegisterMetaType<QVector<XYZST>>("QVector<XYZST>");
    QCOMPARE(RecordingFormat::vectorFileName("C:/data/20250101_120000.csv"),
             QString("C:/data/20250101_120000_FIDVector_111Hz.CSV"));
    QCOMPARE(RecordingFormat::vectorFileName("C:/data/20250101_120000.CSV"),
             QString("C:/data/20250101_120000_FIDVector_111Hz.CSV"));
}

void TestVectorRecording::batchesOfFifty()
{
    const QString folder = QDir::currentPath() + "/fifty";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_090000.CSV";
    const QString file = RecordingFormat::vectorFileName(path);
    Recorder r;
    QSignalSpy server(&r.recorder, &SaveFileThread::sig_SendServerVectorData);
    QSignalSpy finished(&r.recorder, &SaveFileThread::sig_saveFinished);
    r.sync(true, 5, path);

    // 49 records: nothing yet.
    const QDateTime t0 = utc("2025-01-01 09:00:00.000");
    feed(r, 0, 49, t0.addMSecs(-441));
    QCOMPARE(server.count(), 0);
    QVERIFY(!QFileInfo::exists(file));
    // The 50th completes the batch; it is stamped from its arrival, 9 ms apart.
    feed(r, 49, 1, t0);
    QCOMPARE(server.count(), 1);
    // The next batches are stamped on, whatever their arrival within a second.
    feed(r, 50, 50, t0.addMSecs(300));
    feed(r, 100, 50, t0.addMSecs(1300));
    QCOMPARE(server.count(), 3);
    QCOMPARE(finished.count(), 0);

    const qint64 base = t0.toMSecsSinceEpoch();
    for (int b = 0; b < 3; ++b) {
        const QList<QVariant>& batch = server.at(b);
        QCOMPARE(batch.at(0).toLongLong(), base + 450 * b);
        const QVector<XYZST> samples = batch.at(1).value<QVector<XYZST>>();
        QCOMPARE(samples.size(), 50);
        QCOMPARE(batch.at(2).toInt(), 111);
        QCOMPARE(batch.at(3).toInt(), 9);
        for (int i = 0; i < 50; ++i) {
            const FIDVectorNum r = turningRecord(50 * b + i);
            QCOMPARE(samples[i].time, utcText(base + 450 * b + 9 * i));
            QCOMPARE(samples[i].xValue, r.x);
            QCOMPARE(samples[i].sValue, r.s);
            QCOMPARE(samples[i].f[8], r.f[8]);
        }
    }
    QCOMPARE(server.at(0).at(1).value<QVector<XYZST>>().last().time, QString("09:00:00.441"));

    const QList<QByteArray> rows = lines(file);
    QCOMPARE(rows.size(), 150);
    for (int n = 0; n < 150; ++n) {
        QCOMPARE(rows[n].count(','), 13);
        QCOMPARE(rows[n], expectedRow(n, base + 9 * n));
    }
}

void TestVectorRecording::recordsLeftOut_data()
{
    QTest::addColumn<QList<int>>("bad");       // records of the batch that are changed
    QTest::addColumn<QString>("how");          // "flag", "division", "nan" or "inf"
    QTest::addColumn<bool>("kept");            // the changed records are recorded all the same
    QTest::addColumn<QList<int>>("runStarts"); // first record of every server batch
    QList<int> all;
    for (int i = 0; i < 50; ++i)
        all << i;
    // Invalid records are recorded like valid ones: they hold the raw frequencies.
    QTest::newRow("marked invalid") << QList<int>{0, 17, 18, 49} << "flag" << true << QList<int>{0};
    QTest::newRow("a failed division") << QList<int>{5, 30} << "division" << true << QList<int>{0};
    QTest::newRow("all marked invalid") << all << "flag" << true << QList<int>{0};
    // A value that is not finite would make the row unreadable: it keeps its slot only.
    QTest::newRow("x not a number") << QList<int>{25} << "nan" << false << QList<int>{0, 26};
    QTest::newRow("an infinite frequency") << QList<int>{3} << "inf" << false << QList<int>{0, 4};
    QTest::newRow("none finite") << all << "nan" << false << QList<int>{};
}

void TestVectorRecording::recordsLeftOut()
{
    QFETCH(QList<int>, bad);
    QFETCH(QString, how);
    QFETCH(bool, kept);
    QFETCH(QList<int>, runStarts);
    const QString folder = QDir::currentPath() + "/invalid/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_090000.CSV";
    QVector<FIDVectorNum> records;
    for (int n = 0; n < 50; ++n) {
        FIDVectorNum record = turningRecord(n);
        if (bad.contains(n)) {
            if (how == "flag")
                record.valid = false;
            else if (how == "division")
                record = failedDivisionRecord(n);
            else if (how == "nan")
                record.x = std::numeric_limits<double>::quiet_NaN();
            else
                record.f[5] = std::numeric_limits<double>::infinity();
        }
        records << record;
    }
    if (how == "division") {
        // Only the x axis failed: the other axes and the frequencies are as measured.
        const FIDVectorNum& d = records[bad.first()];
        QVERIFY(!d.valid);
        QCOMPARE(d.x, 0.0);
        QVERIFY(d.y != 0.0 && d.z != 0.0 && std::isfinite(d.s));
    }

    Recorder r;
    QSignalSpy server(&r.recorder, &SaveFileThread::sig_SendServerVectorData);
    r.sync(true, 0, path);
    const QDateTime t0 = utc("2025-01-01 09:00:00.000");
    for (int n = 0; n < 50; ++n)
        r.vector(records[n], t0.addMSecs(9 * n - 441));

    const auto recorded = [&](int n) { return kept || !bad.contains(n); };
    const qint64 base = t0.toMSecsSinceEpoch();
    QCOMPARE(server.count(), runStarts.size());
    QList<int> sent;
    for (int i = 0; i < server.count(); ++i) {
        QCOMPARE(server.at(i).at(0).toLongLong(), base + 9 * runStarts[i]);
        const QVector<XYZST> samples = server.at(i).at(1).value<QVector<XYZST>>();
        for (int k = 0; k < samples.size(); ++k) {
            const int n = runStarts[i] + k;
            QVERIFY2(n < 50 && recorded(n), qPrintable(QString("record %1 sent").arg(n)));
            QCOMPARE(samples[k].time, utcText(base + 9 * n));
            QCOMPARE(samples[k].xValue, records[n].x);
            QCOMPARE(samples[k].f[5], records[n].f[5]);
            sent << n;
        }
    }
    QList<int> expected;
    for (int n = 0; n < 50; ++n)
        if (recorded(n))
            expected << n;
    QCOMPARE(sent, expected);

    const QList<QByteArray> rows = lines(RecordingFormat::vectorFileName(path));
    QCOMPARE(rows.size(), expected.size());
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], expectedRow(records[expected[i]], base + 9 * expected[i]));

    // The next batch goes on 450 ms later.
    feed(r, 50, 50, t0.addMSecs(450));
    QCOMPARE(server.last().at(0).toLongLong(), base + 450);
}

void TestVectorRecording::lostRecordsAndPauses_data()
{
    QTest::addColumn<int>("lateMs");          // the third batch's arrival beyond its stamps
    QTest::addColumn<bool>("followsArrival"); // the third batch is stamped from it
    QTest::newRow("a few frames lost") << 900 << false;
    QTest::newRow("many frames lost") << 1200 << true;
    QTest::newRow("the stream paused a minute") << 60000 << true;
}

// The count of records is the clock; when the line loses frames or the stream
// pauses, the stamps must not stay behind for good.
void TestVectorRecording::lostRecordsAndPauses()
{
    QFETCH(int, lateMs);
    QFETCH(bool, followsArrival);
    const QString folder = QDir::currentPath() + "/late/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_090000.CSV";
    Recorder r;
    QSignalSpy server(&r.recorder, &SaveFileThread::sig_SendServerVectorData);
    r.sync(true, 0, path);
    const QDateTime t0 = utc("2025-01-01 09:00:00.000");
    feed(r, 0, 50, t0.addMSecs(-441));
    feed(r, 50, 50, t0.addMSecs(450 - 441));
    const QDateTime late = t0.addMSecs(900 + lateMs);
    feed(r, 100, 50, late.addMSecs(-441));
    feed(r, 150, 50, late.addMSecs(450 - 441));

    const qint64 base = t0.toMSecsSinceEpoch();
    const qint64 third = followsArrival ? late.toMSecsSinceEpoch() : base + 900;
    QCOMPARE(server.count(), 4);
    QCOMPARE(server.at(1).at(0).toLongLong(), base + 450);
    QCOMPARE(server.at(2).at(0).toLongLong(), third);
    QCOMPARE(server.at(3).at(0).toLongLong(), third + 450);
    const QList<QByteArray> rows = lines(RecordingFormat::vectorFileName(path));
    QCOMPARE(rows.size(), 200);
    QCOMPARE(rows[99], expectedRow(99, base + 9 * 99));
    QCOMPARE(rows[100], expectedRow(100, third));
    QCOMPARE(rows[199], expectedRow(199, third + 9 * 99));
}

void TestVectorRecording::hourlyRoll()
{
    const QString folder = QDir::currentPath() + "/roll";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_095958.CSV";
    Recorder r;
    r.sync(true, 0, path);
    // Stamps from 09:59:58.200 on: record 200 is stamped 10:00:00.000.
    const QDateTime t0 = utc("2025-01-01 09:59:58.200");
    for (int b = 0; b < 6; ++b)
        feed(r, 50 * b, 50, t0.addMSecs(450 * b - 441));

    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files, QStringList({"20250101_095958_FIDVector_111Hz.CSV",
                                 "20250101_100000_FIDVector_111Hz.CSV"}));
    const QList<QByteArray> before = lines(folder + "/" + files[0]);
    const QList<QByteArray> after = lines(folder + "/" + files[1]);
    QCOMPARE(before.size(), 200);
    QCOMPARE(after.size(), 100);
    const qint64 base = t0.toMSecsSinceEpoch();
    QCOMPARE(before.last(), expectedRow(199, base + 9 * 199));
    QVERIFY(before.last().startsWith("09:59:59.991"));
    QCOMPARE(after.first(), expectedRow(200, base + 9 * 200));
    QVERIFY(after.first().startsWith("10:00:00.000"));
}

void TestVectorRecording::countdownAndLostFolder()
{
    const QString folder = QDir::currentPath() + "/countdown";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";
    const QString file = RecordingFormat::vectorFileName(path);
    Recorder r;
    QSignalSpy finished(&r.recorder, &SaveFileThread::sig_saveFinished);
    QSignalSpy failed(&r.recorder, &SaveFileThread::sig_saveFailed);
    r.sync(true, 3, path);
    const QDateTime t0 = utc("2025-01-01 10:00:01.000");
    feed(r, 0, 50, t0);
    // The folder goes away for one batch: its rows are held, not lost.
    QVERIFY(QDir(folder).removeRecursively());
    feed(r, 50, 50, t0.addMSecs(450));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), file);
    QVERIFY(QDir().mkpath(folder));
    feed(r, 100, 49, t0.addMSecs(900));
    QCOMPARE(finished.count(), 0);
    feed(r, 149, 1, t0.addMSecs(900 + 49 * 9)); // the third batch ends the recording
    QCOMPARE(finished.count(), 1);
    feed(r, 150, 50, t0.addMSecs(1350));
    QCOMPARE(finished.count(), 1);

    // The first batch went with its folder; the held second and the third landed.
    const QList<QByteArray> rows = lines(file);
    QCOMPARE(rows.size(), 100);
    const qint64 base = t0.toMSecsSinceEpoch() + 441;
    for (int i = 0; i < 100; ++i)
        QCOMPARE(rows[i], expectedRow(50 + i, base + 9 * (50 + i)));
}

void TestVectorRecording::throughTheHubToTheServer()
{
    MonitorServer standIn;
    QVERIFY(standIn.start());
    QVERIFY(FastServerTiming::enableForHubs(FastServerTiming::ticking(200, 5000)));
    const QString folder = QDir::currentPath() + "/hub";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";

    ParamManager hub;
    ServerThread* client = hub.getServerThread();
    QVERIFY(client);
    emit hub.sig_initServer();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 15000);
    hub.setSaveParam(true, 0, path, true);

    // The decoder's records, as it emits them, each with the time it was made;
    // now and then one whose x axis gave no field, which goes on like the others.
    ModbusDataHandler* decoder = hub.getModbusDataHandler();
    const QDateTime t0 = QDateTime::currentDateTimeUtc();
    const auto record = [](int n) {
        return n % 7 == 3 ? failedDivisionRecord(n) : turningRecord(n);
    };
    for (int n = 0; n < 150; ++n)
        emit decoder->sig_saveVectorXYZS(record(n), t0.addMSecs(9 * n));

    QTRY_COMPARE_WITH_TIMEOUT(standIn.device().value("vectorSampleTimes").toArray().size(), 150,
                              15000);
    const QJsonArray times = standIn.device().value("vectorSampleTimes").toArray();
    QCOMPARE(standIn.device().value("vectorDuplicates").toInt(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(lines(RecordingFormat::vectorFileName(path)).size(), 150, 5000);
    const QList<QByteArray> rows = lines(RecordingFormat::vectorFileName(path));
    for (int n = 0; n < 150; ++n) {
        const qint64 ms = qint64(times[n].toDouble());
        QCOMPARE(ms - qint64(times[0].toDouble()), qint64(9 * n));
        QCOMPARE(rows[n], expectedRow(record(n), ms));
    }
    hub.shutdown();
}

MAG_TEST_MAIN_CORE(TestVectorRecording)
#include "tst_vectorrecording.moc"
