// The live field plot on its own: batches go in, the test runs the refresh
// ticks itself and reads the graph, the read-out boxes and the read-out signal.

#include "tests/support/SampleBatches.h"
#include "tests/support/TestMain.h"
#include "ui/widgets/LiveFieldPlot.h"

namespace {
struct Plot
{
    LiveFieldPlot plot;
    QTimer* refresh = plot.findChild<QTimer*>(QStringLiteral("refreshTimer"));
    QSignalSpy readouts{&plot, &LiveFieldPlot::sig_readoutsChanged};

    Plot()
    {
        refresh->stop(); // the test runs the ticks itself
        plot.resize(1200, 440);
    }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QMetaObject::invokeMethod(refresh, "timeout");
    }
    void feed(const QVector<double>& batch)
    {
        plot.push(batch);
        tick();
    }
    // Batches of 50, as the decoder hands them out at 1000 Hz.
    void feedRamp(double first, int batches)
    {
        for (int i = 0; i < batches; ++i)
            feed(ramp(first + i * 50, 50));
    }
    void setChartTime(int seconds, double step = 0.001)
    {
        DataParam param;
        param.chartTime = seconds;
        param.dataRate = step;
        plot.setDataParam(param);
        plot.setTimeSpan(seconds);
    }
    int points() const { return plot.graph(0)->dataCount(); }
    double firstValue() const { return plot.graph(0)->data()->constBegin()->value; }
    double lastValue() const { return (plot.graph(0)->data()->constEnd() - 1)->value; }
    double lastKey() const { return (plot.graph(0)->data()->constEnd() - 1)->key; }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (int i = 0; i < plot.itemCount(); ++i)
            if (auto* text = qobject_cast<QCPItemText*>(plot.item(i)))
                texts << text->text();
        return texts; // maximum, minimum, last
    }
    // The arguments of the latest read-out signal.
    QList<QVariant> lastReadouts() const
    {
        return readouts.isEmpty() ? QList<QVariant>() : readouts.last();
    }
};
} // namespace

class TestLiveFieldPlot : public QObject
{
    Q_OBJECT
private slots:
    void refreshTimerDrawsQueuedBatches();
    void windowFollowsTheChartTime_data();
    void windowFollowsTheChartTime();
    void shorterChartTimeTrimsAtTheNextBatch();
    void readouts_data();
    void readouts();
    void equalSamplesKeepTheAxis();
    void emptyBatchKeepsTheReadouts();
    void heldPlotKeepsFilling_data();
    void heldPlotKeepsFilling();
    void droppedBatchesNeverShow();
    void clearPlotEmptiesEverything();
    void unusableStepDrawsNothing_data();
    void unusableStepDrawsNothing();
    void batchRedrawShowsTheWholePlot();
};

void TestLiveFieldPlot::refreshTimerDrawsQueuedBatches()
{
    LiveFieldPlot plot;
    QCOMPARE(plot.xAxis->range(), QCPRange(0, 10)); // the default chart time
    QCOMPARE(plot.graph(0)->dataCount(), 0);
    plot.push(ramp(0, 50));
    plot.push(ramp(50, 50));
    QTRY_COMPARE(plot.graph(0)->dataCount(), 100);
}

void TestLiveFieldPlot::windowFollowsTheChartTime_data()
{
    QTest::addColumn<int>("chartTime");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("batches"); // of 50 rising samples from 0
    QTest::addColumn<int>("length");  // the window length the read-out tells
    QTest::addColumn<int>("points");
    QTest::newRow("1 s at 1000 Hz") << 1 << 0.001 << 30 << 1000 << 1000;
    QTest::newRow("10 s at 1000 Hz, eleven seconds in") << 10 << 0.001 << 220 << 10000 << 10000;
    QTest::newRow("2 s at 20 Hz") << 2 << 0.05 << 3 << 40 << 40;
    QTest::newRow("a step that does not divide") << 1 << 0.3 << 2 << 3 << 3;
    QTest::newRow("not yet full") << 10 << 0.001 << 2 << 10000 << 100;
}

void TestLiveFieldPlot::windowFollowsTheChartTime()
{
    QFETCH(int, chartTime);
    QFETCH(double, step);
    QFETCH(int, batches);
    QFETCH(int, length);
    QFETCH(int, points);
    Plot p;
    p.setChartTime(chartTime, step);
    p.feedRamp(0, batches);

    const int received = batches * 50;
    QCOMPARE(p.points(), points);
    QCOMPARE(p.firstValue(), double(received - points));
    QCOMPARE(p.lastValue(), double(received - 1));
    QCOMPARE(p.lastKey(), (points - 1) * step);
    QCOMPARE(p.lastReadouts().value(0).toInt(), length);
    QCOMPARE(p.plot.xAxis->range(), QCPRange(0, chartTime));
}

// The window follows a shorter chart time with the next batch; samples it
// dropped do not come back when the chart time grows again.
void TestLiveFieldPlot::shorterChartTimeTrimsAtTheNextBatch()
{
    Plot p;
    p.setChartTime(2);
    p.feedRamp(0, 40);
    QCOMPARE(p.points(), 2000);
    p.setChartTime(1);
    QCOMPARE(p.points(), 2000);
    p.feedRamp(2000, 1);
    QCOMPARE(p.points(), 1000);
    QCOMPARE(p.firstValue(), 1050.0);
    p.setChartTime(2);
    p.feedRamp(2050, 1);
    QCOMPARE(p.points(), 1050);
    QCOMPARE(p.firstValue(), 1050.0);
    QCOMPARE(p.plot.xAxis->range(), QCPRange(0, 2));
}

void TestLiveFieldPlot::readouts_data()
{
    QTest::addColumn<QVector<double>>("samples"); // fed in batches of 50
    QTest::addColumn<QStringList>("boxes");       // maximum, minimum, last
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("last");
    QTest::newRow("a window of 1000 out of 1500")
        << ramp(0, 1500) << QStringList{"1499", "500", "1499.00"} << 500.0 << 999.0 << 1499.0;
    QTest::newRow("field values: six digits in the boxes, two for the last")
        << QVector<double>{35138.7123, 35186.6789, 35179.2634}
        << QStringList{"35186.7", "35138.7", "35179.26"} << 35138.7123 << 35186.6789 - 35138.7123
        << 35179.2634;
    QTest::newRow("a spike in the middle")
        << QVector<double>{50000.0, 50012.5, 49999.75, 50000.25}
        << QStringList{"50012.5", "49999.8", "50000.25"} << 49999.75 << 12.75 << 50000.25;
}

void TestLiveFieldPlot::readouts()
{
    QFETCH(QVector<double>, samples);
    QFETCH(QStringList, boxes);
    QFETCH(double, minimum);
    QFETCH(double, range);
    QFETCH(double, last);
    Plot p;
    p.setChartTime(1);
    for (int i = 0; i < samples.size(); i += 50)
        p.feed(samples.mid(i, 50));

    QCOMPARE(p.boxTexts(), boxes);
    const QList<QVariant> readout = p.lastReadouts();
    QCOMPARE(readout.value(1).toDouble(), last);
    QCOMPARE(readout.value(2).toDouble(), range);
    // A tenth of the range above and below the window's extremes.
    QCOMPARE(p.plot.yAxis->range().lower, minimum - range / 10);
    QCOMPARE(p.plot.yAxis->range().upper, minimum + range + range / 10);
}

void TestLiveFieldPlot::equalSamplesKeepTheAxis()
{
    Plot p;
    p.feed({10.0, 20.0});
    const QCPRange before = p.plot.yAxis->range();
    p.plot.clearPlot();
    p.feed(QVector<double>(50, 48000.123));
    QCOMPARE(p.lastReadouts().value(2).toDouble(), 0.0);
    QCOMPARE(p.lastReadouts().value(1).toDouble(), 48000.123);
    QCOMPARE(p.boxTexts(), (QStringList{"48000.1", "48000.1", "48000.12"}));
    QCOMPARE(p.plot.yAxis->range(), before);
}

void TestLiveFieldPlot::emptyBatchKeepsTheReadouts()
{
    Plot p;
    const QStringList initial = p.boxTexts();
    QCOMPARE(initial, (QStringList{"35186.7", "35138.7", "35179.26"}));
    const QCPRange yBefore = p.plot.yAxis->range();
    p.tick(); // nothing queued
    p.feed({});
    QCOMPARE(p.boxTexts(), initial);
    QCOMPARE(p.readouts.count(), 0);
    QCOMPARE(p.plot.yAxis->range(), yBefore);
    QCOMPARE(p.points(), 0);

    // Nor does one after a drawn batch.
    p.feedRamp(100, 1);
    const QStringList drawn = p.boxTexts();
    p.feed({});
    QCOMPARE(p.boxTexts(), drawn);
    QCOMPARE(p.readouts.count(), 1);
    QCOMPARE(p.points(), 50);
}

void TestLiveFieldPlot::heldPlotKeepsFilling_data()
{
    QTest::addColumn<bool>("paused"); // else the page is not shown
    QTest::newRow("paused") << true;
    QTest::newRow("not active") << false;
}

// While held the window fills but nothing is drawn; the next batch after shows
// everything that came meanwhile.
void TestLiveFieldPlot::heldPlotKeepsFilling()
{
    QFETCH(bool, paused);
    Plot p;
    p.setChartTime(1);
    p.feedRamp(0, 1);
    const auto hold = [&](bool held) {
        if (paused)
            p.plot.setPaused(held);
        else
            p.plot.setActive(!held);
    };
    hold(true);
    p.feedRamp(50, 10);
    QCOMPARE(p.points(), 50);
    QCOMPARE(p.lastValue(), 49.0);
    QCOMPARE(p.readouts.count(), 1);
    QCOMPARE(p.boxTexts().last(), QString("49.00"));

    hold(false);
    p.feedRamp(550, 1);
    QCOMPARE(p.points(), 600);
    QCOMPARE(p.firstValue(), 0.0);
    QCOMPARE(p.lastValue(), 599.0);
    QCOMPARE(p.readouts.count(), 2);
}

// What the page drops (the pause button) never reaches the window.
void TestLiveFieldPlot::droppedBatchesNeverShow()
{
    Plot p;
    p.feedRamp(0, 1);
    p.plot.push(ramp(50, 50));
    p.plot.push(ramp(100, 50));
    p.plot.dropQueued();
    p.tick(2);
    QCOMPARE(p.points(), 50);
    QCOMPARE(p.lastValue(), 49.0);
    p.feedRamp(150, 1);
    QCOMPARE(p.points(), 100);
    QCOMPARE(p.plot.graph(0)->data()->at(50)->value, 150.0);
}

void TestLiveFieldPlot::clearPlotEmptiesEverything()
{
    Plot p;
    p.feedRamp(0, 1);
    p.plot.push(ramp(50, 50)); // still queued
    p.plot.clearPlot();
    QCOMPARE(p.points(), 0);
    QCOMPARE(p.boxTexts(), (QStringList{"", "", ""}));
    p.tick();
    QCOMPARE(p.points(), 0);
    p.feedRamp(500, 1);
    QCOMPARE(p.points(), 50);
    QCOMPARE(p.firstValue(), 500.0);
}

void TestLiveFieldPlot::unusableStepDrawsNothing_data()
{
    addUnusableStepRows("step");
}

// No window without a time step: the batch is passed over, and the plot draws
// again once the step is usable.
void TestLiveFieldPlot::unusableStepDrawsNothing()
{
    QFETCH(double, step);
    Plot p;
    p.setChartTime(10, step);
    p.feedRamp(0, 2);
    QCOMPARE(p.points(), 0);
    QCOMPARE(p.readouts.count(), 0);
    p.setChartTime(10);
    p.feedRamp(100, 1);
    QCOMPARE(p.points(), 50);
    QCOMPARE(p.firstValue(), 100.0);
}

// A tick redraws only what a batch changes; the picture must still be the one
// a full replot paints, and it must change with each batch.
void TestLiveFieldPlot::batchRedrawShowsTheWholePlot()
{
    Plot p;
    p.plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.plot));
    QImage before = p.plot.grab().toImage();
    const auto step = [&](const char* what) {
        QCoreApplication::processEvents();
        const QImage drawn = p.plot.grab().toImage();
        p.plot.replot(QCustomPlot::rpImmediateRefresh);
        const QImage full = p.plot.grab().toImage();
        QVERIFY2(drawn == full, what);
        QVERIFY2(drawn != before, what);
        before = drawn;
    };

    p.feedRamp(35000, 1);
    step("first batch");
    p.feedRamp(36000, 1); // the y range grows
    step("wider range");
    p.setChartTime(1); // the x range shrinks
    p.feedRamp(36050, 1);
    step("shorter chart");
    p.setChartTime(10);
    QVector<double> noise(3000);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = 35000 + (i * 7919 % 101) * 0.01; // several points per pixel column
    p.feed(noise);
    step("dense line");
    p.plot.clearPlot();
    step("cleared");
}

MAG_TEST_MAIN(TestLiveFieldPlot)
#include "tst_livefieldplot.moc"
