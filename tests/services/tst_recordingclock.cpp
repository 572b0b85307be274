// The recording clock: stamps one step after another, re-bases, rolls of the
// recording path and the clean-up clock.

#include "services/RecordingClock.h"
#include "services/RecordingFormat.h"
#include "tests/support/RecorderFixture.h"
#include "tests/support/TestMain.h"

using namespace RecorderTest;

namespace {
struct Step
{
    int count;
    int stepMs;
    QString arrival; // "HH:mm:ss.zzz" on 2025-01-01
    char event;      // before the step: 0 none, 'r' a recording starts, 'a' a re-base is asked
};

qint64 at(const QString& text)
{
    return utc(text).toMSecsSinceEpoch();
}
} // namespace

Q_DECLARE_METATYPE(QVector<Step>)

class TestRecordingClock : public QObject
{
    Q_OBJECT
private slots:
    void stamping_data();
    void stamping();
    void rolls_data();
    void rolls();
    void recordingStartCountsItsOwnLimits_data();
    void recordingStartCountsItsOwnLimits();
    void cleanupClock_data();
    void cleanupClock();
};

void TestRecordingClock::stamping_data()
{
    QTest::addColumn<QVector<Step>>("steps");
    QTest::addColumn<QStringList>("firstTimes"); // the first stamp of every step

    QTest::newRow("1 Hz from 12:00:00, a late second batch")
        << QVector<Step>{{1, 1000, "12:00:00.000", 0}, {1, 1000, "12:00:01.300", 0}}
        << QStringList{"12:00:00.000", "12:00:01.000"};
    QTest::newRow("1000 Hz from 08:15:30.250")
        << QVector<Step>{{1000, 1, "08:15:30.250", 0}, {1000, 1, "08:15:31.190", 0}}
        << QStringList{"08:15:30.250", "08:15:31.250"};
    QTest::newRow("halves of a batch go on where the first ended")
        << QVector<Step>{{500, 1, "10:00:00.000", 0}, {500, 1, "10:00:00.200", 0}}
        << QStringList{"10:00:00.000", "10:00:00.500"};
    QTest::newRow("vector records 9 ms apart, batches 450 ms apart")
        << QVector<Step>{{50, 9, "09:00:00.000", 0}, {50, 9, "09:00:00.700", 0}}
        << QStringList{"09:00:00.000", "09:00:00.450"};
    QTest::newRow("a recording start without a break keeps the clock")
        << QVector<Step>{{1000, 1, "10:00:00.000", 0}, {1000, 1, "10:00:01.300", 'r'}}
        << QStringList{"10:00:00.000", "10:00:01.000"};
    QTest::newRow("a re-base never moves the clock back")
        << QVector<Step>{{1000, 1, "10:00:00.000", 0}, {1000, 1, "10:00:00.400", 'a'}}
        << QStringList{"10:00:00.000", "10:00:01.000"};
    QTest::newRow("a batch under a second late keeps the clock")
        << QVector<Step>{{20, 50, "10:00:00.000", 0}, {20, 50, "10:00:01.900", 0}}
        << QStringList{"10:00:00.000", "10:00:01.000"};
    QTest::newRow("exactly the slack late keeps the clock")
        << QVector<Step>{{20, 50, "10:00:00.000", 0}, {20, 50, "10:00:02.000", 'a'}}
        << QStringList{"10:00:00.000", "10:00:01.000"};
    QTest::newRow("a ms beyond the slack moves it")
        << QVector<Step>{{20, 50, "10:00:00.000", 0}, {20, 50, "10:00:02.001", 0}}
        << QStringList{"10:00:00.000", "10:00:02.001"};
    QTest::newRow("samples lost on the line: the clock follows the arrivals")
        << QVector<Step>{{20, 50, "10:00:00.000", 0}, {20, 50, "10:00:05.000", 0}}
        << QStringList{"10:00:00.000", "10:00:05.000"};
}

void TestRecordingClock::stamping()
{
    QFETCH(QVector<Step>, steps);
    QFETCH(QStringList, firstTimes);
    RecordingClock clock;
    QStringList stamped;
    for (const Step& s : steps) {
        if (s.event == 'r')
            clock.requestRebase();
        const qint64 first =
            clock.stamp(at("2025-01-01 " + s.arrival), s.event == 'a', s.count, s.stepMs);
        stamped << RecordingFormat::timeText(first, true);
    }
    QCOMPARE(stamped, firstTimes);
}

void TestRecordingClock::rolls_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("start"); // the first batch
    QTest::addColumn<QStringList>("stamps");
    QTest::addColumn<QStringList>("paths"); // after each stamp's roll check

    const QString p = "C:/data/20250101_123000.CSV";
    QTest::newRow("1000 Hz: at every full hour")
        << p << 1000 << "2025-01-01 12:30:00.000"
        << QStringList{"2025-01-01 12:59:59.999", "2025-01-01 13:00:00.000",
                       "2025-01-01 13:59:59.999", "2025-01-01 14:00:00.000"}
        << QStringList{p, "C:/data/20250101_130000.CSV", "C:/data/20250101_130000.CSV",
                       "C:/data/20250101_140000.CSV"};
    QTest::newRow("20 Hz: at UTC midnight, not at the hour")
        << p << 20 << "2025-01-01 12:30:00.000"
        << QStringList{"2025-01-01 13:00:00.000", "2025-01-01 23:59:59.950",
                       "2025-01-02 00:00:00.000"}
        << QStringList{p, p, "C:/data/20250102_000000.CSV"};
    QTest::newRow("named after the row that reaches the limit")
        << p << 1000 << "2025-01-01 12:30:00.000" << QStringList{"2025-01-01 15:20:05.250"}
        << QStringList{"C:/data/20250101_152005.CSV"};
    QTest::newRow("a path without a folder never rolls")
        << "notes.CSV" << 1000 << "2025-01-01 12:30:00.000"
        << QStringList{"2025-01-01 13:00:00.000", "2025-01-02 00:00:00.000"}
        << QStringList{"notes.CSV", "notes.CSV"};
}

void TestRecordingClock::rolls()
{
    QFETCH(QString, path);
    QFETCH(int, rate);
    QFETCH(QString, start);
    QFETCH(QStringList, stamps);
    QFETCH(QStringList, paths);
    RecordingClock clock;
    clock.setPath(path);
    clock.stamp(at(start), false, rate, 1000 / rate);
    QStringList after;
    for (const QString& stamp : stamps) {
        const QString before = clock.path();
        const bool rolled = clock.roll(at(stamp), RecordingClock::rollFor(rate));
        QCOMPARE(rolled, clock.path() != before);
        after << clock.path();
    }
    QCOMPARE(after, paths);
}

// The first row of a new recording goes to the recording's own path, also when
// the clock has passed a limit without a roll (samples that were stamped but never
// written, such as the leftover of a rate change); without a recording start that
// row rolls to a path named after it. Both names are the same here.
void TestRecordingClock::recordingStartCountsItsOwnLimits_data()
{
    QTest::addColumn<bool>("pause");
    QTest::addColumn<bool>("recordingStart");
    QTest::newRow("a new recording after a pause") << true << true;
    QTest::newRow("a pause without a new recording") << true << false;
    QTest::newRow("a new recording without a break") << false << true;
    QTest::newRow("no new recording, without a break") << false << false;
}

void TestRecordingClock::recordingStartCountsItsOwnLimits()
{
    QFETCH(bool, pause);
    QFETCH(bool, recordingStart);
    RecordingClock clock;
    clock.setPath("C:/data/20250101_100000.CSV");
    clock.stamp(at("2025-01-01 10:00:00.000"), false, 20, 50);
    // Up to 12:30 without a roll check: in one leap, or stamped all the way.
    if (!pause)
        clock.stamp(at("2025-01-01 10:00:01.000"), false, 20 * 8999, 50);
    if (recordingStart) {
        clock.setPath("C:/data/20250101_123000.CSV");
        clock.requestRebase();
    }
    const qint64 first = clock.stamp(at("2025-01-01 12:30:00.000"), false, 20, 50);
    QCOMPARE(first, at("2025-01-01 12:30:00.000"));
    QCOMPARE(clock.roll(first, RecordingClock::Roll::AtFullHour), !recordingStart);
    QCOMPARE(clock.path(), QString("C:/data/20250101_123000.CSV"));
    // Either way the next limit is the hour after that row.
    QVERIFY(!clock.roll(at("2025-01-01 12:59:59.999"), RecordingClock::Roll::AtFullHour));
    QVERIFY(clock.roll(at("2025-01-01 13:00:00.000"), RecordingClock::Roll::AtFullHour));
}

void TestRecordingClock::cleanupClock_data()
{
    // Steps: 's' a batch, 'a' a batch with a re-base asked, 'r' a roll check on a
    // row at that time, 'c' the clean-up check; each at seconds after 2025-01-01 23:00.
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QList<qint64>>("seconds");
    QTest::addColumn<QString>("due"); // per 'c': 1 when due
    const qint64 period = RecordingClock::CleanupPeriodSecs;
    QTest::newRow("a day and a second after the first batch, then again a day later")
        << "sccccc" << QList<qint64>{0, 1, period - 1, period, period + 1, 2 * period} << "00101";
    QTest::newRow("an asked re-base restarts it")
        << "sacc" << QList<qint64>{0, 5000, period, 5000 + period} << "01";
    QTest::newRow("a clock that only follows the arrivals does not")
        << "ssc" << QList<qint64>{0, 5000, period} << "1";
    QTest::newRow("nor does a roll at midnight") << "src" << QList<qint64>{0, 3600, period} << "1";
}

void TestRecordingClock::cleanupClock()
{
    QFETCH(QString, kinds);
    QFETCH(QList<qint64>, seconds);
    QFETCH(QString, due);
    const qint64 start = at("2025-01-01 23:00:00.000");
    RecordingClock clock;
    clock.setPath("C:/data/20250101_230000.CSV");
    QString checks;
    for (int i = 0; i < kinds.size(); ++i) {
        const qint64 t = start + seconds[i] * 1000;
        if (kinds[i] == 's' || kinds[i] == 'a')
            clock.stamp(t, kinds[i] == 'a', 20, 50);
        else if (kinds[i] == 'r')
            QVERIFY(clock.roll(t, RecordingClock::Roll::AtMidnight));
        else
            checks += clock.cleanupDue(t) ? '1' : '0';
    }
    QCOMPARE(checks, due);
}

MAG_TEST_MAIN_CORE(TestRecordingClock)
#include "tst_recordingclock.moc"
