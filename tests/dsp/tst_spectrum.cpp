#include "dsp/FilterBank.h"
#include "dsp/Spectrum.h"
#include "tests/support/TestMain.h"

#include <cmath>
#include <complex>
#include <random>

namespace {

// Reference: the direct O(N^2) DFT of bin j, scaled to a one-sided density.
double naiveDensity(const QVector<double>& x, int j, double fs)
{
    const int n = x.size();
    std::complex<double> sum = 0.0;
    for (int t = 0; t < n; ++t)
        sum += x[t] * std::polar(1.0, -2.0 * M_PI * double(j) * t / n);
    return std::abs(sum) * std::sqrt(2.0 / (n * fs));
}

QVector<double> gaussianNoise(int n, double sigma, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> dist(0.0, sigma);
    QVector<double> x(n);
    for (double& v : x)
        v = dist(gen);
    return x;
}

double rms(const QVector<double>& v, int from)
{
    double sum = 0.0;
    for (int i = from; i < v.size(); ++i)
        sum += v[i] * v[i];
    return std::sqrt(sum / (v.size() - from));
}

} // namespace

class TestSpectrum : public QObject
{
    Q_OBJECT
private slots:
    void binsAndDensities_data();
    void binsAndDensities();
    void appendsToWhatIsThere();
    void whiteNoiseDensity_data();
    void whiteNoiseDensity();
    void constantVanishesAfterHighPass_data();
    void constantVanishesAfterHighPass();
    void unusableDesignPassesThrough();
};

void TestSpectrum::binsAndDensities_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("fs");
    QTest::addColumn<QVector<double>>("freqs");

    // Even N: the Nyquist bin is not emitted; odd N: up to (N-1)/2.
    QTest::newRow("N=8") << 8 << 1000.0 << QVector<double>{0, 125, 250, 375};
    QTest::newRow("N=7") << 7 << 700.0 << QVector<double>{0, 100, 200, 300};
    QTest::newRow("N=2") << 2 << 10.0 << QVector<double>{0};
    QTest::newRow("N=1") << 1 << 10.0 << QVector<double>{0};
    QTest::newRow("empty") << 0 << 1000.0 << QVector<double>{};
}

void TestSpectrum::binsAndDensities()
{
    QFETCH(int, n);
    QFETCH(double, fs);
    QFETCH(QVector<double>, freqs);

    QVector<double> x(n);
    for (int t = 0; t < n; ++t)
        x[t] = 3.0 + std::sin(0.7 * t) + 0.25 * t; // mean kept: no window, no detrend

    QVector<double> f, a;
    Spectrum::computeFft(x, fs, f, a);
    QCOMPARE(f.size(), freqs.size());
    QCOMPARE(a.size(), freqs.size());
    for (int j = 0; j < f.size(); ++j) {
        QVERIFY2(std::abs(f[j] - freqs[j]) < 1e-9, qPrintable(QString::number(f[j])));
        const double ref = naiveDensity(x, j, fs);
        QVERIFY2(std::abs(a[j] - ref) <= 1e-12 * (1.0 + ref),
                 qPrintable(QString("bin %1: %2 vs %3").arg(j).arg(a[j]).arg(ref)));
    }
}

void TestSpectrum::appendsToWhatIsThere()
{
    QVector<double> f{-1.0};
    QVector<double> a{-2.0};
    Spectrum::computeFft(QVector<double>(8, 1.0), 16.0, f, a);
    QCOMPARE(f.size(), 5);
    QCOMPARE(a.size(), 5);
    QCOMPARE(f[0], -1.0);
    QCOMPARE(a[0], -2.0);
    QCOMPARE(f[2], 2.0);
    // DC of eight ones: 8 * sqrt(2 / (8 * 16)) = 1.
    QVERIFY(std::abs(a[1] - 1.0) < 1e-12);
}

void TestSpectrum::whiteNoiseDensity_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("fs");
    QTest::addColumn<double>("sigma");

    QTest::newRow("1000 Hz, 10 s") << 10000 << 1000.0 << 2.5;
    QTest::newRow("20 Hz, 200 s") << 4000 << 20.0 << 0.4;
    QTest::newRow("odd length") << 9999 << 111.0 << 1.0;
}

void TestSpectrum::whiteNoiseDensity()
{
    QFETCH(int, n);
    QFETCH(double, fs);
    QFETCH(double, sigma);

    QVector<double> f, a;
    Spectrum::computeFft(gaussianNoise(n, sigma, 12345u), fs, f, a);
    // The mean square of |X_j|^2 * 2/(N fs) is 2 sigma^2 / fs; with thousands of bins
    // the estimate lies within a few per cent.
    const double expected = sigma * std::sqrt(2.0 / fs);
    const double got = rms(a, 1);
    QVERIFY2(std::abs(got / expected - 1.0) < 0.04,
             qPrintable(QString("%1 vs %2").arg(got).arg(expected)));
}

void TestSpectrum::constantVanishesAfterHighPass_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");

    QTest::newRow("1000 Hz") << 1000 << 10000 << 0 << 0;
    QTest::newRow("20 Hz") << 20 << 200 << 0 << 0;
    QTest::newRow("1000 Hz, user filters") << 1000 << 5000 << 100 << 5;
    QTest::newRow("first frame") << 1000 << 50 << 0 << 0;
}

void TestSpectrum::constantVanishesAfterHighPass()
{
    QFETCH(int, rate);
    QFETCH(int, n);
    QFETCH(int, lowPass);
    QFETCH(int, highPass);

    const double level = 3.5e8; // about 50 000 nT in mHz
    FilterBank filters;
    QVector<double> f, a;
    Spectrum::density(filters, QVector<double>(n, level), rate, rate, lowPass, highPass, f, a);
    QCOMPARE(a.size(), n - n / 2);
    // Unfiltered, the DC bin would be level * sqrt(2 N / fs).
    const double dc = level * std::sqrt(2.0 * n / rate);
    for (int j = 0; j < a.size(); ++j)
        QVERIFY2(a[j] < 1e-9 * dc, qPrintable(QString("bin %1: %2").arg(j).arg(a[j])));
}

void TestSpectrum::unusableDesignPassesThrough()
{
    // At 2 Hz no Butterworth can be designed: the samples go to the transform unchanged.
    const QVector<double> x = gaussianNoise(64, 1.0, 7u);
    FilterBank filters;
    QVector<double> f, a, fRef, aRef;
    Spectrum::density(filters, x, 2, 2.0, 0, 0, f, a);
    Spectrum::computeFft(x, 2.0, fRef, aRef);
    QCOMPARE(f, fRef);
    QCOMPARE(a, aRef);
}

MAG_TEST_MAIN_CORE(TestSpectrum)
#include "tst_spectrum.moc"
