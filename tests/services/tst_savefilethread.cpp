// The recorder: time stamps, server batches, rolls, the countdown, the clean-up,
// write failures and the event log.

#include "app/Logger.h"
#include "app/SharedState.h"
#include "services/RecordingFormat.h"
#include "tests/support/FileFaults.h"
#include "tests/support/RecorderFixture.h"
#include "tests/support/SampleBatches.h"
#include "tests/support/TestMain.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>
#include <ctime>

using namespace RecorderTest;

namespace {
const QString Day = QStringLiteral("2025-01-01 ");

struct Call
{
    int count;
    int rate;
    QString arrival; // "HH:mm:ss.zzz" on 2025-01-01
    int event;       // before the call: 0 none, 1 a recording starts, 2 a transport request
};

QStringList loggerLines()
{
    QFile file(Logger::instance()->currentFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString timeOf(qint64 ms, int rate)
{
    return RecordingFormat::timeText(ms, rate != 1);
}

// Values of the server batches, as the file writes them.
QVector<QByteArray> asRowTexts(const QList<QList<QVariant>>& batches)
{
    QVector<QByteArray> texts;
    for (const auto& batch : batches)
        for (double v : batch.at(1).value<QVector<double>>())
            texts << QByteArray::number(v, 'g', 10);
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(QVector<Call>)

class TestSaveFileThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void stamping_data();
    void stamping();
    void serverBatchOnEveryFullBatch_data();
    void serverBatchOnEveryFullBatch();
    void ratesWithoutAWholeStep_data();
    void ratesWithoutAWholeStep();
    void countdown_data();
    void countdown();
    void rollsSplitAtTheBoundary_data();
    void rollsSplitAtTheBoundary();
    void namesAndRows();
    void cleanupAfter120Days();
    void writeFailure_data();
    void writeFailure();
    void heldRowsAreCapped();
    void eventLog();
};

void TestSaveFileThread::initTestCase()
{
    // Eight hours east of UTC: local readings of UTC names and times would show.
    qputenv("TZ", "CST-8");
    tzset();
    qRegisterMetaType<QVector<double>>("QVector<double>");
}

void TestSaveFileThread::stamping_data()
{
    QTest::addColumn<QVector<Call>>("calls");
    QTest::addColumn<QStringList>("firstTimes"); // first row of every written batch
    QTest::addColumn<int>("rows");

    // The clock's own rules are tst_recordingclock's; these rows are about what
    // reaches it: the gathering of batches, a recording start, the transport's flag.
    QTest::newRow("two halves make one batch")
        << QVector<Call>{{500, 1000, "10:00:00.000", 0}, {500, 1000, "10:00:00.500", 0}}
        << QStringList{"10:00:00.000"} << 1000;
    QTest::newRow("a rate change drops the leftover")
        << QVector<Call>{{600, 1000, "10:00:00.000", 0}, {20, 20, "10:00:01.000", 0}}
        << QStringList{"10:00:00.600"} << 20;
    QTest::newRow("more than one second at once is dropped")
        << QVector<Call>{{1500, 1000, "10:00:00.000", 0}, {1000, 1000, "10:00:01.000", 0}}
        << QStringList{"10:00:01.500"} << 1000;
    QTest::newRow("a recording start past the hour keeps its own file")
        << QVector<Call>{{1000, 1000, "10:00:00.000", 0}, {1000, 1000, "12:30:00.000", 1}}
        << QStringList{"10:00:00.000", "12:30:00.000"} << 2000;
    QTest::newRow("a transport request after a pause moves the clock")
        << QVector<Call>{{1000, 1000, "10:00:00.000", 0}, {1000, 1000, "10:00:09.000", 2}}
        << QStringList{"10:00:00.000", "10:00:09.000"} << 2000;
}

void TestSaveFileThread::stamping()
{
    QFETCH(QVector<Call>, calls);
    QFETCH(QStringList, firstTimes);
    QFETCH(int, rows);

    const QString folder = QDir::currentPath() + "/stamping/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_000000.CSV";
    Recorder r;
    QSignalSpy server(&r.recorder, &SaveFileThread::sig_SendServerData);
    r.sync(true, 0, path);
    double next = 1000;
    for (const Call& call : calls) {
        if (call.event == 1)
            r.sync(true, 0, path);
        if (call.event == 2)
            SharedState::instance().setResyncTime(true);
        r.batch(ramp(next, call.count), call.rate, utc(Day + call.arrival));
        next += call.count;
    }
    QVERIFY(!SharedState::instance().resyncTime());

    const int rate = calls.last().rate;
    QCOMPARE(server.count(), firstTimes.size());
    bool wellFormed = false;
    const QVector<Row> written = readRows(RecordingFormat::mzFileName(path, rate), &wellFormed);
    QVERIFY(wellFormed);
    QCOMPARE(written.size(), rows);
    const QVector<QByteArray> values = asRowTexts(server);
    QCOMPARE(values.size(), rows);
    for (int i = 0; i < firstTimes.size(); ++i) {
        const QList<QVariant>& batch = server.at(i);
        QCOMPARE(timeOf(batch.at(0).toLongLong(), rate), firstTimes[i]);
        QCOMPARE(batch.at(2).toInt(), rate);
        QCOMPARE(batch.at(3).toInt(), 1000 / rate);
        QCOMPARE(QString(written[i * rate].time), firstTimes[i]);
    }
    for (int i = 0; i < rows; ++i) {
        QCOMPARE(written[i].value, values[i]);
        if (i > 0 && rate > 1) // each row one step after the one before, inside a batch
            QVERIFY(msOfDay(written[i].time.constData(), 12) >
                    msOfDay(written[i - 1].time.constData(), 12));
        if (i % rate != 0)
            QCOMPARE(msOfDay(written[i].time.constData(), 12) -
                         msOfDay(written[i - 1].time.constData(), 12),
                     qint64(1000 / rate));
    }
}

void TestSaveFileThread::serverBatchOnEveryFullBatch_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("interval");
    QTest::newRow("1 Hz") << 1 << 1000;
    QTest::newRow("20 Hz") << 20 << 50;
    QTest::newRow("500 Hz") << 500 << 2;
    QTest::newRow("1000 Hz") << 1000 << 1;
}

void TestSaveFileThread::serverBatchOnEveryFullBatch()
{
    QFETCH(int, rate);
    QFETCH(int, interval);
    const QString folder = QDir::currentPath() + "/server/" + QString::number(rate);
    QVERIFY(QDir().mkpath(folder));
    Recorder r;
    QSignalSpy server(&r.recorder, &SaveFileThread::sig_SendServerData);
    const QDateTime t0 = utc("2025-01-01 09:00:00.125");

    // Not recording: a batch in two calls, then a whole one.
    const int half = qMax(1, rate / 2);
    r.batch(ramp(0, half), rate, t0);
    if (half < rate) {
        QCOMPARE(server.count(), 0);
        r.batch(ramp(half, rate - half), rate, t0.addMSecs(500));
    }
    QCOMPARE(server.count(), 1);
    r.batch(ramp(rate, rate), rate, t0.addMSecs(1000));
    // Recording, then stopped again: the batches go on all the same.
    r.sync(true, 0, folder + "/20250101_090000.CSV");
    r.batch(ramp(2 * rate, rate), rate, t0.addMSecs(2000));
    r.sync(false, 0, folder + "/20250101_090000.CSV");
    r.batch(ramp(3 * rate, rate), rate, t0.addMSecs(3000));

    QCOMPARE(server.count(), 4);
    for (int i = 0; i < server.count(); ++i) {
        const QList<QVariant>& batch = server.at(i);
        QCOMPARE(batch.at(0).toLongLong(), t0.toMSecsSinceEpoch() + 1000 * i);
        QCOMPARE(batch.at(1).value<QVector<double>>(), ramp(i * rate, rate));
        QCOMPARE(batch.at(2).toInt(), rate);
        QCOMPARE(batch.at(3).toInt(), interval);
    }
    // Only the batch while recording went to the file.
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    QCOMPARE(readRows(RecordingFormat::mzFileName(folder + "/20250101_090000.CSV", rate)).size(),
             rate);
}

// The save page never sends them; a batch of such a rate is neither sent nor written.
void TestSaveFileThread::ratesWithoutAWholeStep_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("0 Hz") << 0;
    QTest::newRow("1001 Hz") << 1001;
}

void TestSaveFileThread::ratesWithoutAWholeStep()
{
    QFETCH(int, rate);
    const QString folder = QDir::currentPath() + "/nostep/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    Recorder r;
    QSignalSpy server(&r.recorder, &SaveFileThread::sig_SendServerData);
    r.sync(true, 0, folder + "/20250101_090000.CSV");
    r.batch(ramp(0, qMax(1, rate)), rate, utc("2025-01-01 09:00:00.125"));
    QCOMPARE(server.count(), 0);
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
}

void TestSaveFileThread::countdown_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("finishedAfter"); // batch count; 0: never
    QTest::newRow("3 ends after the third batch") << 3 << 3;
    QTest::newRow("1 ends after the first batch") << 1 << 1;
    QTest::newRow("0 never ends") << 0 << 0;
    QTest::newRow("negative never ends") << -2 << 0;
}

void TestSaveFileThread::countdown()
{
    QFETCH(int, interval);
    QFETCH(int, finishedAfter);
    const QString folder = QDir::currentPath() + "/countdown/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";
    Recorder r;
    QSignalSpy finished(&r.recorder, &SaveFileThread::sig_saveFinished);
    r.sync(true, interval, path);
    const QDateTime t0 = utc("2025-01-01 10:00:00.000");
    for (int i = 0; i < 6; ++i) {
        // Two calls a batch: only whole batches count.
        r.batch(ramp(20 * i, 10), 20, t0.addMSecs(1000 * i));
        r.batch(ramp(20 * i + 10, 10), 20, t0.addMSecs(1000 * i + 500));
        QCOMPARE(finished.count(), finishedAfter > 0 && i + 1 >= finishedAfter ? 1 : 0);
    }
    const int written = finishedAfter > 0 ? finishedAfter : 6;
    QCOMPARE(readRows(RecordingFormat::mzFileName(path, 20)).size(), 20 * written);
}

void TestSaveFileThread::rollsSplitAtTheBoundary_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("boundary");
    QTest::addColumn<QString>("secondFile");
    QTest::newRow("one hour at 1000 Hz")
        << 1000 << "2025-01-01 12:30:00.250" << 3600 << "2025-01-01 13:00:00.000"
        << "20250101_130000_MZ_1000Hz.CSV";
    QTest::newRow("20 Hz across UTC midnight")
        << 20 << "2025-01-01 23:59:50.020" << 20 << "2025-01-02 00:00:00.000"
        << "20250102_000000_MZ_20Hz.CSV";
}

void TestSaveFileThread::rollsSplitAtTheBoundary()
{
    QFETCH(int, rate);
    QFETCH(QString, start);
    QFETCH(int, seconds);
    QFETCH(QString, boundary);
    QFETCH(QString, secondFile);

    const QString folder = QDir::currentPath() + "/rolls/" + QString::number(rate);
    QVERIFY(QDir().mkpath(folder));
    const QDateTime t0 = utc(start);
    const QString path = folder + "/" + t0.toString("yyyyMMdd_hhmmss") + ".CSV";
    Recorder r;
    r.sync(true, 0, path);
    // Arrivals wander by up to a few hundred ms; a transport request in the
    // middle re-bases without a break.
    QRandomGenerator jitter(7);
    QVector<double> values(rate);
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < rate; ++i)
            values[i] = 50000.0 + (s * rate + i) * 1e-3;
        if (s == seconds / 3)
            SharedState::instance().setResyncTime(true);
        const int wander = s == 0 ? 0 : jitter.bounded(-200, 300);
        r.batch(values, rate, t0.addMSecs(1000LL * s + wander));
    }

    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files,
             QStringList({RecordingFormat::mzFileName(path, rate).section('/', -1), secondFile}));
    const qint64 dayStart = QDateTime(t0.date(), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const qint64 boundaryMs = utc(boundary).toMSecsSinceEpoch();
    const qint64 step = 1000 / rate;
    qint64 previous = t0.toMSecsSinceEpoch() - step;
    qint64 total = 0;
    for (int f = 0; f < files.size(); ++f) {
        bool wellFormed = false;
        const QVector<Row> rows = readRows(folder + "/" + files[f], &wellFormed);
        QVERIFY(wellFormed);
        QVERIFY(!rows.isEmpty());
        for (const Row& row : rows) {
            // Times of day are read back on the day they belong to.
            qint64 ms = dayStart + msOfDay(row.time.constData(), row.time.size());
            while (ms <= previous - RecordingFormat::MsPerDay / 2)
                ms += RecordingFormat::MsPerDay;
            if (ms != previous + step)
                QFAIL(qPrintable(QString("row %1 (%2) is not one step after the one before")
                                     .arg(total)
                                     .arg(QString(row.time))));
            if ((f == 0) != (ms < boundaryMs))
                QFAIL(qPrintable(QString("row %1 is in the wrong file").arg(QString(row.time))));
            if (row.value != QByteArray::number(50000.0 + total * 1e-3, 'g', 10))
                QFAIL(qPrintable("row " + row.time + " has the value " + row.value));
            previous = ms;
            ++total;
        }
    }
    QCOMPARE(total, qint64(seconds) * rate);
}

void TestSaveFileThread::namesAndRows()
{
    using namespace RecordingFormat;
    QCOMPARE(mzFileName("C:/data/20250101_120000.CSV", 1000),
             QString("C:/data/20250101_120000_MZ_1000Hz.CSV"));
    QCOMPARE(mzFileName("C:/run.csv.d/20250101_120000.csv", 20),
             QString("C:/run.csv.d/20250101_120000_MZ_20Hz.CSV"));
    QCOMPARE(mzFileName("x/notes", 1), QString("x/notes_MZ_1Hz.CSV"));

    // Values as printf's %.10g, times as UTC times of day.
    const double values[] = {50123.456789012, -0.000012345678901, 1e21, 0.1, 65535.0, -7.25e-300};
    const qint64 stamps[] = {0, 999, 86399999, 86400000 + 61001, 1735689600000LL, 1};
    QByteArray rows;
    appendMzRows(rows, 1000, stamps, values, 6);
    const QList<QByteArray> lines = rows.split('\n');
    QCOMPARE(lines.size(), 7);
    const char* times[] = {"00:00:00.000", "00:00:00.999", "23:59:59.999",
                           "00:01:01.001", "00:00:00.000", "00:00:00.001"};
    for (int i = 0; i < 6; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%s,%.10g", times[i], values[i]);
        QCOMPARE(lines[i], QByteArray(expected));
    }
    QByteArray oneHz;
    appendMzRows(oneHz, 1, stamps + 2, values, 1);
    QCOMPARE(oneHz, QByteArray("23:59:59,50123.45679\n"));

    // A folder whose name holds ".csv" keeps it.
    const QString folder = QDir::currentPath() + "/run.csv.d";
    QVERIFY(QDir().mkpath(folder));
    Recorder r;
    r.sync(true, 0, folder + "/20250101_120000.CSV");
    r.batch(ramp(0, 20), 20, utc("2025-01-01 12:00:01.000"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"20250101_120000_MZ_20Hz.CSV"});
}

void TestSaveFileThread::cleanupAfter120Days()
{
    const QString folder = QDir::currentPath() + "/cleanup";
    QVERIFY(QDir().mkpath(folder));
    const QDateTime start = utc("2025-06-01 00:00:00.000");
    const QDateTime dayLater = start.addSecs(RecordingClock::CleanupPeriodSecs);
    const QDateTime cutoff = dayLater.addSecs(-SaveFileThread::KeepSecs);
    const auto name = [](const QDateTime& t, const QString& rest) {
        return t.toString("yyyyMMdd_hhmmss") + rest;
    };
    const QStringList removed = {"20240101_000000_MZ_1000Hz.CSV", "20240101_000000_mz_20hz.csv",
                                 name(cutoff.addSecs(-3600), "_MZ_20Hz.CSV")};
    // The last one is only an hour short of 120 days, read as UTC.
    const QStringList kept = {"notes.CSV", "20240101_000000.txt", "2024010_000000_MZ_1Hz.CSV",
                              name(cutoff.addSecs(3600), "_MZ_1000Hz.CSV")};
    for (const QString& file : removed + kept) {
        QFile f(folder + "/" + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    Recorder r;
    r.sync(true, 0, folder + "/" + name(start, ".CSV"));
    r.batch(ramp(0, 20), 20, start);
    // Not yet a day; the clock follows the late arrival into the next day's file.
    const QDateTime nextDay = dayLater.addSecs(-1);
    r.batch(ramp(0, 20), 20, nextDay);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), removed.size() + kept.size() + 2);
    r.batch(ramp(0, 20), 20, dayLater);
    QStringList left = QDir(folder).entryList(QDir::Files);
    left.removeAll(RecordingFormat::mzFileName(name(start, ".CSV"), 20));
    left.removeAll(RecordingFormat::mzFileName(name(nextDay, ".CSV"), 20));
    QStringList expected = kept;
    left.sort();
    expected.sort();
    QCOMPARE(left, expected);
}

void TestSaveFileThread::writeFailure_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("end"); // while failing: "stop", "timed", or none
    QTest::newRow("read-only folder") << "read-only"
                                      << "";
    QTest::newRow("folder removed mid-recording") << "removed"
                                                  << "";
    QTest::newRow("disk full") << "full"
                               << "";
    QTest::newRow("folder removed, then stopped") << "removed"
                                                  << "stop";
    QTest::newRow("disk full, then the timed end") << "full"
                                                   << "timed";
}

void TestSaveFileThread::writeFailure()
{
    QFETCH(QString, fault);
    QFETCH(QString, end);
    const QString folder = QDir::currentPath() + "/failure/" + QTest::currentDataTag();
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";
    const QString file = RecordingFormat::mzFileName(path, 1000);
    const QDateTime t0 = utc("2025-01-01 10:00:00.000");
    const int logBefore = loggerLines().size();

    Recorder r;
    QSignalSpy failed(&r.recorder, &SaveFileThread::sig_saveFailed);
    r.sync(true, end == "timed" ? 4 : 0, path);
    WriteFault writeFault(fault, folder, file);
    if (writeFault.beforeFirstRows())
        QVERIFY(writeFault.start());
    r.batch(ramp(0, 1000), 1000, t0);
    if (!writeFault.beforeFirstRows())
        QVERIFY(writeFault.start());
    for (int s = 1; s <= 3; ++s)
        r.batch(ramp(1000 * s, 1000), 1000, t0.addSecs(s));

    // One report for the spell, and no half row in what is there.
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), file);
    QStringList spell = loggerLines().mid(logBefore);
    QCOMPARE(spell.size(), end == "timed" ? 2 : 1); // the timed end came with the third
    QVERIFY2(spell[0].contains("Failed to"), qPrintable(spell[0]));
    bool wellFormed = false;
    QCOMPARE(readRows(file, &wellFormed).size(),
             fault == "read-only" || fault == "removed" ? 0 : 1000);
    QVERIFY(wellFormed || !QFileInfo::exists(file));

    // A read-only folder refuses the first second already.
    const int failures = fault == "read-only" ? 4 : 3;
    if (!end.isEmpty()) {
        if (end == "stop")
            r.sync(false, 0, path); // one last try
        spell = loggerLines().mid(logBefore);
        QCOMPARE(spell.size(), 2);
        QVERIFY2(spell[1].contains(
                     QString("after %1 failed writes, 3000 rows not written").arg(failures + 1)),
                 qPrintable(spell[1]));
        // Nothing is held any more.
        QVERIFY(writeFault.end());
        r.batch(ramp(4000, 1000), 1000, t0.addSecs(4));
        QCOMPARE(readRows(file).size(), fault == "removed" ? 0 : 1000);
        return;
    }

    // The fault goes away: the held rows and the new batch land in order.
    QVERIFY(writeFault.end());
    r.batch(ramp(4000, 1000), 1000, t0.addSecs(4));
    QCOMPARE(failed.count(), 1);
    const QVector<Row> rows = readRows(file, &wellFormed);
    QVERIFY(wellFormed);
    const int first = fault == "removed" ? 1000 : 0; // the first second went with its folder
    QCOMPARE(rows.size(), 5000 - first);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i].value, QByteArray::number(first + i));
    spell = loggerLines().mid(logBefore);
    QCOMPARE(spell.size(), 2);
    QVERIFY2(spell[1].contains(QString("after %1 failed writes, 0 rows lost").arg(failures)),
             qPrintable(spell[1]));
}

// A file that keeps failing for longer than the held rows may cover: the oldest
// rows go, the newest land in order once the file can be written, and the log
// counts what was lost.
void TestSaveFileThread::heldRowsAreCapped()
{
    const QString folder = QDir::currentPath() + "/failure/capped";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/20250101_100000.CSV";
    const QString file = RecordingFormat::mzFileName(path, 1000);
    const QDateTime t0 = utc("2025-01-01 10:00:00.000");
    const int logBefore = loggerLines().size();

    Recorder r;
    r.sync(true, 0, path);
    ReadOnlyFolder readOnly(folder);
    QVERIFY(readOnly.ok());
    // About 21 bytes a row: 2000 s at 1000 Hz are well beyond the cap.
    const int seconds = 2000;
    for (int s = 0; s < seconds; ++s)
        r.batch(ramp(1000.0 * s, 1000), 1000, t0.addSecs(s));
    readOnly.release();
    r.batch(ramp(1000.0 * seconds, 1000), 1000, t0.addSecs(seconds));

    bool wellFormed = false;
    const QVector<Row> rows = readRows(file, &wellFormed);
    QVERIFY(wellFormed);
    qint64 bytes = 0;
    for (const Row& row : rows)
        bytes += row.time.size() + row.value.size() + 2;
    QVERIFY2(bytes <= RowAppender::MaxHeldBytes + 25000,
             qPrintable(QString("%1 bytes were held").arg(bytes)));
    QVERIFY2(rows.size() > 1000000, qPrintable(QString("only %1 rows kept").arg(rows.size())));
    // The newest rows, without a gap, up to the batch that found the file writable.
    const qint64 total = qint64(seconds + 1) * 1000;
    const qint64 first = total - rows.size();
    for (int i = 0; i < rows.size(); i += 997)
        QCOMPARE(rows[i].value, QByteArray::number(first + i));
    QCOMPARE(rows.last().value, QByteArray::number(total - 1));
    const QStringList spell = loggerLines().mid(logBefore);
    QCOMPARE(spell.size(), 2);
    QVERIFY2(spell[1].contains(QString("%1 rows lost").arg(first)), qPrintable(spell[1]));
}

void TestSaveFileThread::eventLog()
{
    QVERIFY(!QDir("logs").exists() || QDir("logs").removeRecursively());
    Recorder r;
    // 20:00 UTC is 04:00 of the next local day, eight hours east.
    const qint64 t = utc("2025-01-01 20:00:00.000").toSecsSinceEpoch();
    r.event(t, QStringLiteral("灯状态 4"));
    r.event(t + 59, QStringLiteral("second event"));
    QFile file("logs/MZ_Crash_2025_01_02.dmp");
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QString("04:00:00  灯状态 4\n04:00:59  second event\n"));
}

MAG_TEST_MAIN_CORE(TestSaveFileThread)
#include "tst_savefilethread.moc"
