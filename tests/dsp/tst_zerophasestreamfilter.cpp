#include "dsp/ZeroPhaseStreamFilter.h"
#include "tests/support/TestMain.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

// A field record at `fs`: 50 000 nT, a slow wander, a 0.3 Hz swing, white noise
// (rms about 0.3 nT), a 50 Hz mains line where the rate allows it. Deterministic.
QVector<double> fieldRecord(int fs, int n, quint32 seed = 7)
{
    quint32 state = seed;
    auto uniform = [&state] { // xorshift32 in [-1, 1)
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    };
    QVector<double> x(n);
    double walk = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / fs;
        walk += 0.02 * uniform();
        x[i] = 50000.0 + walk + 2.0 * std::sin(2 * M_PI * 0.3 * t) + 0.5 * uniform() +
               0.5 * uniform() + (fs >= 200 ? 0.4 * std::sin(2 * M_PI * 50.0 * t) : 0.0);
    }
    return x;
}

double largestStep(const QVector<double>& y, int from, int to)
{
    double step = 0.0;
    for (int i = from + 1; i < to; ++i)
        step = std::max(step, std::abs(y[i] - y[i - 1]));
    return step;
}

// sosfiltfilt over the whole record, low-pass first, as the program designs them.
QVector<double> wholeRecord(const QVector<double>& x, int lowPass, int highPass, int fs)
{
    const SignalFilter f;
    QVector<double> y = x;
    if (lowPass > 0)
        y = f.sosfiltfilt(y, f.butter(lowPass, SignalFilter::LowPass, fs));
    if (highPass > 0)
        y = f.sosfiltfilt(y, f.butter(highPass, SignalFilter::HighPass, fs));
    return y;
}

} // namespace

class TestZeroPhaseStreamFilter : public QObject
{
    Q_OBJECT
private slots:
    void matchesTheWholeRecord_data();
    void matchesTheWholeRecord();
    void delayFollowsTheCutoff_data();
    void delayFollowsTheCutoff();
    void offPassesBatchesAtOnce_data();
    void offPassesBatchesAtOnce();
    void changeStartsAfresh_data();
    void changeStartsAfresh();
};

void TestZeroPhaseStreamFilter::matchesTheWholeRecord_data()
{
    QTest::addColumn<int>("fs");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");
    QTest::addColumn<int>("batch");
    QTest::addColumn<double>("tolerance"); // nT, largest difference to the whole record
    QTest::addColumn<double>("stepRatio"); // largest step / the whole record's largest step

    // Where the lookahead covers the settling length the stream is the record to
    // about 1e-4 nT; where 2 s cut it short (1 Hz, or a cut-off clamped near the
    // Nyquist frequency) the future beyond 2 s is missing and the difference grows.
    QTest::newRow("1000 Hz, low-pass 10, frames of 50") << 1000 << 10 << 0 << 50 << 2e-4 << 1.01;
    QTest::newRow("1000 Hz, low-pass 100, frames of 50") << 1000 << 100 << 0 << 50 << 2e-4 << 1.01;
    QTest::newRow("1000 Hz, high-pass 10, frames of 50") << 1000 << 0 << 10 << 50 << 2e-4 << 1.01;
    QTest::newRow("1000 Hz, low-pass 5, batches of 37") << 1000 << 5 << 0 << 37 << 2e-4 << 1.01;
    QTest::newRow("1000 Hz, low-pass 1 (lookahead cut to 2 s)")
        << 1000 << 1 << 0 << 50 << 0.05 << 2.0;
    QTest::newRow("1000 Hz, both cut-offs") << 1000 << 20 << 2 << 50 << 2e-3 << 1.01;
    QTest::newRow("20 Hz, low-pass 2, single samples") << 20 << 2 << 0 << 1 << 5e-3 << 1.05;
    QTest::newRow("20 Hz, low-pass 1, single samples") << 20 << 1 << 0 << 1 << 0.03 << 1.1;
    QTest::newRow("20 Hz, high-pass 2, single samples") << 20 << 0 << 2 << 1 << 5e-3 << 1.05;
    QTest::newRow("20 Hz, low-pass 10 (clamped to 9 Hz)") << 20 << 10 << 0 << 1 << 0.03 << 1.1;
}

// Fed batch by batch, the filter hands on the whole-record result (delayed by its
// lookahead), in batches of the sizes that came in, without steps at their seams.
void TestZeroPhaseStreamFilter::matchesTheWholeRecord()
{
    QFETCH(int, fs);
    QFETCH(int, lowPass);
    QFETCH(int, highPass);
    QFETCH(int, batch);
    QFETCH(double, tolerance);
    QFETCH(double, stepRatio);

    const QVector<double> x = fieldRecord(fs, 40 * fs);
    const QVector<double> record = wholeRecord(x, lowPass, highPass, fs);

    ZeroPhaseStreamFilter filter;
    filter.configure(lowPass, highPass, fs);
    QVERIFY(filter.isActive());
    QVector<double> out;
    int fed = 0;
    bool started = false;
    for (int i = 0; i < x.size(); i += batch) {
        const QVector<double> in = x.mid(i, batch);
        fed += in.size();
        const QVector<double> y = filter.push(in);
        if (y.isEmpty()) {
            // Nothing leaves between the first batch out and the last one in.
            QVERIFY(!started);
            continue;
        }
        started = true;
        QCOMPARE(y.size(), in.size());
        out += y;
        // What is held back is the lookahead, short of less than one batch.
        QCOMPARE(filter.heldSamples(), fed - out.size());
        QVERIFY(filter.heldSamples() >= filter.lookaheadLength());
        QVERIFY(filter.heldSamples() < filter.lookaheadLength() + batch);
    }
    QVERIFY(started);

    double worst = 0.0;
    int worstAt = 0;
    for (int i = 0; i < out.size(); ++i) {
        const double d = std::abs(out[i] - record[i]);
        if (d > worst) {
            worst = d;
            worstAt = i;
        }
    }
    const double ownStep = largestStep(record, 0, out.size());
    const double step = largestStep(out, 0, out.size());
    qInfo("lookahead %d samples, largest difference %.3g nT at sample %d, largest step %.4g "
          "(the record's %.4g)",
          filter.lookaheadLength(), worst, worstAt, step, ownStep);
    QVERIFY2(worst <= tolerance, qPrintable(QString::number(worst)));
    QVERIFY2(step <= stepRatio * ownStep, qPrintable(QString("%1 vs %2").arg(step).arg(ownStep)));
}

void TestZeroPhaseStreamFilter::delayFollowsTheCutoff_data()
{
    QTest::addColumn<int>("fs");
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("lookahead"); // samples

    // The samples the slowest pole takes to decay to 1e-4 (about 7.5 periods of a
    // cut-off well below the Nyquist frequency), at most 2 s.
    QTest::newRow("1000 Hz, low-pass 1: 2 s at most") << 1000 << 1 << 0 << 2000;
    QTest::newRow("1000 Hz, low-pass 10") << 1000 << 10 << 0 << 752;
    QTest::newRow("1000 Hz, high-pass 10") << 1000 << 10 << 1 << 752;
    QTest::newRow("1000 Hz, low-pass 100") << 1000 << 100 << 0 << 80;
    QTest::newRow("20 Hz, low-pass 1: 2 s at most") << 20 << 1 << 0 << 40;
    QTest::newRow("20 Hz, low-pass 10, clamped near Nyquist: 2 s at most") << 20 << 10 << 0 << 40;
    QTest::newRow("200 Hz, low-pass 50: the padding at least") << 200 << 50 << 0 << 47;
    QTest::newRow("500 Hz, low-pass 100") << 500 << 100 << 0 << 50;
}

void TestZeroPhaseStreamFilter::delayFollowsTheCutoff()
{
    QFETCH(int, fs);
    QFETCH(int, cutoff);
    QFETCH(int, type);
    QFETCH(int, lookahead);

    QCOMPARE(ZeroPhaseStreamFilter::settlingLength(cutoff, type, fs), lookahead);
    ZeroPhaseStreamFilter filter;
    filter.configure(type == 0 ? cutoff : 0, type == 1 ? cutoff : 0, fs);
    QCOMPARE(filter.lookaheadLength(), lookahead);
    QVERIFY(filter.lookaheadLength() <= ZeroPhaseStreamFilter::MaxLookaheadSeconds * fs);
    QVERIFY(filter.contextLength() >= filter.lookaheadLength());
    // Sample by sample, the first value leaves with the sample `lookahead` after it.
    int fed = 0;
    while (filter.push({1.0}).isEmpty() && fed < 100000)
        ++fed;
    QCOMPARE(fed, lookahead);
}

void TestZeroPhaseStreamFilter::offPassesBatchesAtOnce_data()
{
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");
    QTest::addColumn<int>("fs");
    QTest::newRow("both cut-offs 0") << 0 << 0 << 1000;
    QTest::newRow("negative cut-offs") << -5 << -1 << 1000;
    QTest::newRow("rate too low for a design") << 10 << 0 << 2;
    QTest::newRow("rate 0") << 10 << 0 << 0;
}

void TestZeroPhaseStreamFilter::offPassesBatchesAtOnce()
{
    QFETCH(int, lowPass);
    QFETCH(int, highPass);
    QFETCH(int, fs);
    ZeroPhaseStreamFilter filter;
    filter.configure(lowPass, highPass, fs);
    QVERIFY(!filter.isActive());
    QCOMPARE(filter.lookaheadLength(), 0);
    const QVector<double> x = fieldRecord(1000, 120);
    for (int i = 0; i < x.size(); i += 40)
        QCOMPARE(filter.push(x.mid(i, 40)), x.mid(i, 40));
    QCOMPARE(filter.push({3.5}), QVector<double>{3.5});
    QCOMPARE(filter.heldSamples(), 0);
}

void TestZeroPhaseStreamFilter::changeStartsAfresh_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("afresh");
    QTest::addColumn<double>("level"); // what a level of 40 000 nT leaves as
    QTest::newRow("another low-pass") << "low-pass" << true << 40000.0;
    QTest::newRow("a high-pass added") << "high-pass" << true << 0.0;
    QTest::newRow("another rate") << "rate" << true << 40000.0;
    QTest::newRow("reset") << "reset" << true << 40000.0;
    QTest::newRow("the same settings again") << "same" << false << 40000.0;
}

// After a change nothing from before shows: a level fed afterwards leaves exactly.
void TestZeroPhaseStreamFilter::changeStartsAfresh()
{
    QFETCH(QString, change);
    QFETCH(bool, afresh);
    QFETCH(double, level);
    ZeroPhaseStreamFilter filter;
    filter.configure(10, 0, 1000);
    const QVector<double> before = fieldRecord(1000, 3000);
    for (int i = 0; i < before.size(); i += 50)
        filter.push(before.mid(i, 50));
    const int held = filter.heldSamples();
    QVERIFY(held >= filter.lookaheadLength());

    if (change == "low-pass")
        filter.configure(20, 0, 1000);
    else if (change == "high-pass")
        filter.configure(10, 1, 1000);
    else if (change == "rate")
        filter.configure(10, 0, 500);
    else if (change == "reset")
        filter.reset();
    else
        filter.configure(10, 0, 1000);
    QCOMPARE(filter.heldSamples(), afresh ? 0 : held);
    if (!afresh)
        return;

    QVector<double> out;
    for (int i = 0; i < 100; ++i)
        out += filter.push(QVector<double>(50, 40000.0));
    QCOMPARE(out.size(), 5000 - filter.heldSamples());
    for (const double v : out)
        QVERIFY2(std::abs(v - level) < 1e-6, qPrintable(QString::number(v - level)));
}

MAG_TEST_MAIN_CORE(TestZeroPhaseStreamFilter)
#include "tst_zerophasestreamfilter.moc"
