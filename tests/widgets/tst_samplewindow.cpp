#include "tests/support/TestMain.h"
#include "ui/widgets/SampleWindow.h"

#include <algorithm>
#include <random>

class TestSampleWindow : public QObject
{
    Q_OBJECT
private slots:
    void keepsTheNewestWithTheirExtremes_data();
    void keepsTheNewestWithTheirExtremes();
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

MAG_TEST_MAIN_CORE(TestSampleWindow)
#include "tst_samplewindow.moc"
