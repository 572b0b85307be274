#include "tests/support/TestMain.h"
#include "ui/widgets/SampleWindow.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

class TestSampleWindow : public QObject
{
    Q_OBJECT
private slots:
    void keepsTheNewestWithTheirExtremes_data();
    void keepsTheNewestWithTheirExtremes();
    void lengthForAChartTime_data();
    void lengthForAChartTime();
};

void TestSampleWindow::keepsTheNewestWithTheirExtremes_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("length");
    QTest::newRow("noise, short window") << "noise" << 7;
    QTest::newRow("noise, long window") << "noise" << 3000;
    QTest::newRow("rising") << "rising" << 100;
    QTest::newRow("falling") << "falling" << 100;
    QTest::newRow("all equal") << "equal" << 50;
    QTest::newRow("window of one") << "noise" << 1;
}

// Batches of varying size go in, the window is trimmed after each, and now and
// then the length changes or the window is cleared: the kept samples and their
// extremes always equal those of a plain copy of the newest samples.
void TestSampleWindow::keepsTheNewestWithTheirExtremes()
{
    QFETCH(QString, shape);
    QFETCH(int, length);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> batchSize(0, 120);
    std::normal_distribution<double> noise(50000.0, 3.0);
    SampleWindow window;
    QVector<double> all;
    double next = 0;
    for (int round = 0; round < 400; ++round) {
        QVector<double> batch(batchSize(random));
        for (double& v : batch) {
            v = shape == "noise"     ? noise(random)
                : shape == "rising"  ? next++
                : shape == "falling" ? next--
                                     : 5.0;
        }
        window.append(batch);
        all += batch;
        const int kept = round % 97 == 50 ? length / 2 + 1 : length; // a shorter chart time
        window.trimTo(kept);
        if (all.size() > kept)
            all.remove(0, all.size() - kept);
        if (round == 300) {
            window.clear();
            all.clear();
        }

        QCOMPARE(window.size(), all.size());
        QVERIFY(std::equal(all.cbegin(), all.cend(), window.data()));
        if (!all.isEmpty()) {
            QCOMPARE(window.minimum(), *std::min_element(all.cbegin(), all.cend()));
            QCOMPARE(window.maximum(), *std::max_element(all.cbegin(), all.cend()));
        }
    }
}

void TestSampleWindow::lengthForAChartTime_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("length"); // -1: no length
    QTest::newRow("10 s at 1000 Hz") << 10.0 << 0.001 << 10000;
    QTest::newRow("1000 s at 1000 Hz") << 1000.0 << 0.001 << 1000000;
    QTest::newRow("2 s at 20 Hz") << 2.0 << 0.05 << 40;
    QTest::newRow("a step that does not divide is truncated") << 1.0 << 0.3 << 3;
    QTest::newRow("shorter than a step") << 1.0 << 2.0 << 0;
    QTest::newRow("no time") << 0.0 << 0.001 << 0;
    QTest::newRow("negative time") << -5.0 << 0.001 << 0;
    QTest::newRow("beyond an int") << 1000.0 << 1e-300 << std::numeric_limits<int>::max();
    QTest::newRow("zero step") << 10.0 << 0.0 << -1;
    QTest::newRow("negative step") << 10.0 << -0.001 << -1;
    QTest::newRow("NaN step") << 10.0 << nan << -1;
    QTest::newRow("infinite step") << 10.0 << inf << -1;
}

void TestSampleWindow::lengthForAChartTime()
{
    QFETCH(double, seconds);
    QFETCH(double, step);
    QFETCH(int, length);
    const std::optional<int> found = SampleWindow::lengthFor(seconds, step);
    QCOMPARE(found.has_value(), length >= 0);
    if (found)
        QCOMPARE(*found, length);
}

MAG_TEST_MAIN_CORE(TestSampleWindow)
#include "tst_samplewindow.moc"
