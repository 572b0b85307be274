// The sensitivity page on its own and in the main window: the hub is real, no
// port is opened.

#include "app/ParamManager.h"
#include "tests/support/SampleBatches.h"
#include "tests/support/TestMain.h"
#include "ui/GuiPause.h"
#include "ui/MainWindow.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/widgets/CustomPlot.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <memory>

namespace {
QList<int> requestsOf(const QSignalSpy& spy)
{
    QList<int> requests;
    for (const QList<QVariant>& call : spy)
        requests << call.at(0).value<ModbusAddr>();
    return requests;
}

struct Page
{
    ParamManager hub;
    SensitivityModuleForm page{&hub};
    QTimer* refresh = page.findChild<QTimer*>(QStringLiteral("refreshTimer"));
    CustomPlot* chart1 = page.findChild<CustomPlot*>(QStringLiteral("chart1"));
    CustomPlot* chart2 = page.findChild<CustomPlot*>(QStringLiteral("chart2"));

    Page()
    {
        refresh->stop(); // the test runs the ticks itself
        page.resize(1200, 500);
    }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QMetaObject::invokeMethod(refresh, "timeout");
    }
    void setWindow(int fftTime, double dataRate)
    {
        DataParam p = hub.dataParam();
        p.fftTime = fftTime;
        p.dataRate = dataRate;
        hub.setDataParam(p);
    }
    // A batch as the hub relays it, and a spectrum of n bins.
    void batch(const QVector<double>& values) { emit hub.sig_updateFormEx(values, {}, {}); }
    void spectrum(int n, double level = 1e-3)
    {
        emit hub.sig_updateFormEx({}, ramp(0, n), QVector<double>(n, level));
    }
    int points1() const { return chart1->graph(0)->dataCount(); }
    int points2() const { return chart2->graph(0)->dataCount(); }
    QCPRange yRange1() const { return chart1->yAxis->range(); }
};
} // namespace

class TestSensitivityModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void formOutline();
    void nothingBeforeTheDeviceIsReady();
    void windowHoldsFftTimeOverDataRate_data();
    void windowHoldsFftTimeOverDataRate();
    void emptyBatchOnEmptyHistoryKeepsTheRanges();
    void unusableStepLeavesTheChartAlone_data();
    void unusableStepLeavesTheChartAlone();
    void hiddenPageFillsTheHistoryButDrawsNothing();
    void spectrumIsDrawnWhenItArrives_data();
    void spectrumIsDrawnWhenItArrives();
    void streamRequests();
    void updateAxisForDataRate_data();
    void updateAxisForDataRate();
    void clearPlotEmptiesBothCharts();
    void language();
    void inTheMainWindow();
    void samplingRateChangeOnThePage_data();
    void samplingRateChangeOnThePage();
};

void TestSensitivityModuleForm::initTestCase()
{
    GuiPause::setScalePercent(0);
}

void TestSensitivityModuleForm::formOutline()
{
    Page p;
    QCOMPARE(p.page.objectName(), QStringLiteral("SensitivityModuleForm"));
    QVERIFY(p.chart1 && p.chart2);
    QCOMPARE(p.refresh->interval(), 30);
    QCOMPARE(p.chart2->xAxis->range(), QCPRange(0, p.hub.xAxisUpper));
    QCOMPARE(p.chart2->yAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(p.chart2->yAxis->range(), QCPRange(p.hub.yAxisLower, p.hub.yAxisUpper));
    QCOMPARE(p.chart2->xAxis->label(), QStringLiteral("Frequency(Hz)"));
    QCOMPARE(p.chart2->yAxis->label(), QStringLiteral("Sens(nT/Hz^0.5)"));
}

void TestSensitivityModuleForm::nothingBeforeTheDeviceIsReady()
{
    Page p;
    p.page.setFlag(true);
    p.batch(ramp(48000, 50));
    p.spectrum(100);
    p.tick(3);
    QCOMPARE(p.points1(), 0);
    QCOMPARE(p.points2(), 0);

    // Nothing was kept either: the first batch after the device is ready is all there is.
    p.hub.setDeviceReady(true);
    p.batch(ramp(48000, 50));
    p.tick(3);
    QCOMPARE(p.points1(), 50);
}

void TestSensitivityModuleForm::windowHoldsFftTimeOverDataRate_data()
{
    QTest::addColumn<int>("fftTime");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("batchSize");
    QTest::addColumn<int>("batches");
    QTest::addColumn<int>("held");

    QTest::newRow("10 s at 1000 Hz") << 10 << 0.001 << 50 << 240 << 10000;
    QTest::newRow("10 s at 1000 Hz, still filling") << 10 << 0.001 << 50 << 30 << 1500;
    QTest::newRow("1 s at 20 Hz") << 1 << 0.05 << 1 << 45 << 20;
    QTest::newRow("2 s at 1 Hz") << 2 << 1.0 << 1 << 5 << 2;
    QTest::newRow("1000 s at 1000 Hz, one large batch") << 1000 << 0.001 << 1200000 << 1 << 1000000;
}

void TestSensitivityModuleForm::windowHoldsFftTimeOverDataRate()
{
    QFETCH(int, fftTime);
    QFETCH(double, dataRate);
    QFETCH(int, batchSize);
    QFETCH(int, batches);
    QFETCH(int, held);

    Page p;
    p.hub.setDeviceReady(true);
    p.page.setFlag(true);
    p.setWindow(fftTime, dataRate);
    for (int b = 0; b < batches; ++b) {
        p.batch(ramp(40000 + b * batchSize, batchSize));
        p.tick();
    }
    QCOMPARE(p.points1(), held);
    // The newest values, keyed from the start of the window.
    const auto data = p.chart1->graph(0)->data();
    const double newest = 40000 + batches * batchSize - 1;
    QCOMPARE((data->constEnd() - 1)->value, newest);
    QCOMPARE(data->constBegin()->value, newest - held + 1);
    QCOMPARE(data->constBegin()->key, 0.0);
    QVERIFY(qAbs((data->constEnd() - 1)->key - (held - 1) * dataRate) < 1e-9);
    QCOMPARE(p.chart1->xAxis->range(), QCPRange(0, fftTime));
    QCOMPARE(p.yRange1(), QCPRange(newest - held + 1, newest));
}

// A spectrum alone carries an empty batch: it must not move the time window's axes.
void TestSensitivityModuleForm::emptyBatchOnEmptyHistoryKeepsTheRanges()
{
    Page p;
    p.hub.setDeviceReady(true);
    p.page.setFlag(true);
    p.batch(ramp(30000, 50));
    p.tick();
    const QCPRange before = p.yRange1();
    p.page.clearPlot();
    p.spectrum(10);
    p.batch({});
    p.tick(2);
    QCOMPARE(p.points1(), 0);
    QCOMPARE(p.yRange1(), before);
    QCOMPARE(p.points2(), 10);
}

// A time step that fits no rate gives no window length: the batch is dropped and
// the time window keeps its points and axes.
void TestSensitivityModuleForm::unusableStepLeavesTheChartAlone_data()
{
    addUnusableStepRows("dataRate");
}

void TestSensitivityModuleForm::unusableStepLeavesTheChartAlone()
{
    QFETCH(double, dataRate);
    Page p;
    p.hub.setDeviceReady(true);
    p.page.setFlag(true);
    p.batch(ramp(30000, 50));
    p.tick();
    const QCPRange yBefore = p.yRange1();
    const QCPRange xBefore = p.chart1->xAxis->range();

    p.setWindow(10, dataRate);
    p.batch(ramp(60000, 50));
    p.tick();
    QCOMPARE(p.points1(), 50);
    QCOMPARE(p.yRange1(), yBefore);
    QCOMPARE(p.chart1->xAxis->range(), xBefore);

    // A usable step again: the dropped batch is not in the window.
    p.setWindow(10, 0.001);
    p.batch(ramp(30050, 50));
    p.tick();
    QCOMPARE(p.points1(), 100);
    QCOMPARE(p.yRange1(), QCPRange(30000, 30099));
}

void TestSensitivityModuleForm::hiddenPageFillsTheHistoryButDrawsNothing()
{
    Page p;
    p.hub.setDeviceReady(true);
    p.page.setFlag(false);
    const QCPRange initial = p.yRange1();
    for (int b = 0; b < 3; ++b) {
        p.batch(ramp(45000 + b * 50, 50));
        p.tick();
    }
    p.spectrum(100);
    QCOMPARE(p.points1(), 0);
    QCOMPARE(p.points2(), 0);
    QCOMPARE(p.yRange1(), initial);

    // Shown again: the first refresh draws everything that came meanwhile.
    p.page.setFlag(true);
    p.batch(ramp(45150, 50));
    p.tick();
    QCOMPARE(p.points1(), 200);
    QCOMPARE(p.chart1->graph(0)->data()->constBegin()->value, 45000.0);
}

void TestSensitivityModuleForm::spectrumIsDrawnWhenItArrives_data()
{
    QTest::addColumn<int>("samplingRate");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("1000 Hz") << 1000 << true;
    QTest::newRow("20 Hz") << 20 << true;
    QTest::newRow("1 Hz keeps the last spectrum") << 1 << false;
}

void TestSensitivityModuleForm::spectrumIsDrawnWhenItArrives()
{
    QFETCH(int, samplingRate);
    QFETCH(bool, drawn);
    Page p;
    p.hub.setDeviceReady(true);
    p.page.setFlag(true);
    p.spectrum(500, 2e-3);
    QCOMPARE(p.points2(), 500);

    p.hub.samplingRate = samplingRate;
    p.spectrum(500, 5e-3); // same bins: the values are replaced
    p.spectrum(200, 5e-3); // other bins: the graph follows
    QCOMPARE(p.points2(), drawn ? 200 : 500);
    const auto data = p.chart2->graph(0)->data();
    QCOMPARE(data->constBegin()->value, drawn ? 5e-3 : 2e-3);
    QCOMPARE((data->constEnd() - 1)->key, drawn ? 199.0 : 499.0);
    // A spectrum adds nothing to the time window.
    p.tick();
    QCOMPARE(p.points1(), 0);
}

void TestSensitivityModuleForm::streamRequests()
{
    Page p;
    QSignalSpy requests(&p.hub, &ParamManager::sig_sendModbusData);
    p.page.startSpectrum();
    p.page.stopSpectrum();
    QCOMPARE(requestsOf(requests), QList<int>{}); // device not ready: nothing
    QVERIFY(!p.hub.isStreamStarted());

    p.hub.setDeviceReady(true);
    p.page.startSpectrum();
    p.page.startSpectrum();
    QCOMPARE(requestsOf(requests), QList<int>{AddrStartStream});
    QVERIFY(p.hub.isStreamStarted());
    p.page.stopSpectrum();
    QCOMPARE(requestsOf(requests), (QList<int>{AddrStartStream, AddrStopStream}));
    QVERIFY(p.hub.isStreamStarted()); // stopping leaves the flag
}

void TestSensitivityModuleForm::updateAxisForDataRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("tickStep");
    // Before each row the axis shows 20 Hz (0 to 10, step 2).
    QTest::newRow("1 Hz") << 1 << 1.0 << 0.2;
    QTest::newRow("20 Hz") << 20 << 10.0 << 2.0;
    QTest::newRow("1000 Hz") << 1000 << 150.0 << 25.0;
    QTest::newRow("500 Hz: unchanged") << 500 << 10.0 << 2.0;
    QTest::newRow("200 Hz: unchanged") << 200 << 10.0 << 2.0;
    QTest::newRow("10 Hz: unchanged") << 10 << 10.0 << 2.0;
    QTest::newRow("0: unchanged") << 0 << 10.0 << 2.0;
    QTest::newRow("-20: unchanged") << -20 << 10.0 << 2.0;
}

void TestSensitivityModuleForm::updateAxisForDataRate()
{
    QFETCH(int, rate);
    QFETCH(double, upper);
    QFETCH(double, tickStep);
    Page p;
    p.hub.xAxisUpper = 150;
    p.page.updateAxisForDataRate(20);
    QSignalSpy replots(p.chart2, &QCustomPlot::afterReplot);
    p.page.updateAxisForDataRate(rate);
    QCOMPARE(p.chart2->xAxis->range(), QCPRange(0, upper));
    auto ticker = p.chart2->xAxis->ticker().dynamicCast<QCPAxisTickerFixed>();
    QVERIFY(ticker);
    QCOMPARE(ticker->tickStep(), tickStep);
    QCOMPARE(ticker->scaleStrategy(), QCPAxisTickerFixed::ssNone);
    QCOMPARE(replots.count(), 1);
}

void TestSensitivityModuleForm::clearPlotEmptiesBothCharts()
{
    Page p;
    p.page.show();
    p.hub.setDeviceReady(true);
    p.page.setFlag(true);
    p.batch(ramp(45000, 50));
    p.batch(ramp(45050, 50)); // still queued at the clear
    p.tick();
    p.spectrum(100);
    // A right-button press shows the crosshair and its read-out.
    const QPoint middle = p.chart2->axisRect()->center();
    QTest::mousePress(p.chart2, Qt::RightButton, {}, middle);
    QTest::mouseRelease(p.chart2, Qt::RightButton, {}, middle);
    auto labelsShown = [&] {
        int shown = 0;
        for (int i = 0; i < p.chart2->itemCount(); ++i)
            shown += qobject_cast<QCPItemText*>(p.chart2->item(i)) && p.chart2->item(i)->visible();
        return shown;
    };
    QCOMPARE(labelsShown(), 2);

    p.page.clearPlot();
    QCOMPARE(p.points1(), 0);
    QCOMPARE(p.points2(), 0);
    QCOMPARE(labelsShown(), 0);
    p.tick(); // the queued batch is gone too
    QCOMPARE(p.points1(), 0);
}

void TestSensitivityModuleForm::language()
{
    Page p;
    p.page.slot_setLanguage(1);
    QCOMPARE(p.chart2->xAxis->label(), QStringLiteral("频率(Hz)"));
    QCOMPARE(p.chart2->yAxis->label(), QStringLiteral("灵敏度(nT/Hz^0.5)"));
    p.page.slot_setLanguage(0);
    QCOMPARE(p.chart2->xAxis->label(), QStringLiteral("Frequency(Hz)"));
    QCOMPARE(p.chart2->yAxis->label(), QStringLiteral("Sens(nT/Hz^0.5)"));
}

// The page as the window drives it: page switch, bottom bar, clear plot, reset.
void TestSensitivityModuleForm::inTheMainWindow()
{
    ParamManager hub;
    hub.isChinese = 1;
    hub.isTest = 1; // the debug page is reachable
    MainWindow window(&hub);
    auto* page = window.findChild<SensitivityModuleForm*>();
    QVERIFY(page);
    auto* chart1 = page->findChild<CustomPlot*>(QStringLiteral("chart1"));
    auto* chart2 = page->findChild<CustomPlot*>(QStringLiteral("chart2"));
    QCOMPARE(chart2->xAxis->label(), QStringLiteral("频率(Hz)"));
    hub.setDeviceReady(true);
    hub.setStreamStarted(true); // the main page started the stream
    QSignalSpy requests(&hub, &ParamManager::sig_sendModbusData);
    QSignalSpy shown(&hub, &ParamManager::sig_setSpectrumShown);
    auto shownStates = [&shown] {
        QList<bool> states;
        for (const QList<QVariant>& args : shown)
            states << args.at(0).toBool();
        return states;
    };

    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QCOMPARE(window.currentPage(), 1);
    // The decoder computes spectra while the page is shown, and only then.
    QCOMPARE(shownStates(), QList<bool>{true});
    auto* stack = window.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QCOMPARE(stack->currentWidget(), page);
    QVERIFY(!window.findChild<QLineEdit*>(QStringLiteral("edt_fftTime"))->isHidden());
    QVERIFY(window.findChild<QLineEdit*>(QStringLiteral("edt_lowPass"))->isHidden());
    QCOMPARE(requestsOf(requests), QList<int>{}); // the stream runs already

    // Batches reach the page through the hub and are drawn while it is shown.
    emit hub.sig_updateFormEx(ramp(47000, 50), {}, {});
    emit hub.sig_updateFormEx({}, ramp(0, 100), QVector<double>(100, 1e-3));
    QTRY_COMPARE_WITH_TIMEOUT(chart1->graph(0)->dataCount(), 50, 5000);
    QCOMPARE(chart2->graph(0)->dataCount(), 100);

    // The data-rate menu's choice reaches the frequency axis.
    window.changeSamplingRate(20, false);
    QCOMPARE(chart1->graph(0)->dataCount(), 0); // restarted empty
    emit hub.sig_updateFormEx({}, ramp(0, 100), QVector<double>(100, 1e-3));
    window.findChild<QPushButton*>(QStringLiteral("btn_clearPlot"))->click();
    QCOMPARE(chart2->graph(0)->dataCount(), 0);

    // Leaving for the main page keeps the stream; leaving for the debug page stops it.
    requests.clear();
    window.findChild<QPushButton*>(QStringLiteral("btnMain"))->click();
    QCOMPARE(requestsOf(requests), QList<int>{});
    QCOMPARE(shownStates(), (QList<bool>{true, false}));
    emit hub.sig_updateFormEx({}, ramp(0, 100), QVector<double>(100, 1e-3));
    QCOMPARE(chart2->graph(0)->dataCount(), 0); // hidden: not drawn
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QCOMPARE(shownStates(), (QList<bool>{true, false, true}));
    emit hub.sig_updateFormEx({}, ramp(0, 100), QVector<double>(100, 1e-3));
    QCOMPARE(chart2->graph(0)->dataCount(), 100);
    window.findChild<QPushButton*>(QStringLiteral("btnMonitor"))->click();
    QCOMPARE(window.currentPage(), 5);
    QCOMPARE(requestsOf(requests), QList<int>{AddrStopStream});
    QCOMPARE(shownStates(), (QList<bool>{true, false, true, false}));
    // Back on the page, the stream the debug page had stopped starts again.
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QCOMPARE(requestsOf(requests), (QList<int>{AddrStopStream, AddrStartStream}));

    // The reset road clears the page.
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("btn_reboot")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(chart2->graph(0)->dataCount(), 0, 5000);
    QVERIFY(!hub.isDeviceReady());
}

void TestSensitivityModuleForm::samplingRateChangeOnThePage_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("1000 Hz") << 1000 << QStringList{"request 8", "byteCount", "request 7"};
    // At 1 Hz the decoder drops the spectrum of the 1000 Hz stream.
    QTest::newRow("1 Hz") << 1 << QStringList{"request 8", "byteCount", "request 7", "reboot"};
}

void TestSensitivityModuleForm::samplingRateChangeOnThePage()
{
    QFETCH(int, rate);
    QFETCH(QStringList, steps);
    ParamManager hub;
    MainWindow window(&hub);
    hub.setDeviceReady(true);
    hub.setStreamStarted(true);
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QCOMPARE(window.currentPage(), 1);
    auto* chart1 = window.findChild<CustomPlot*>(QStringLiteral("chart1"));
    emit hub.sig_updateFormEx(ramp(47000, 50), {}, {});
    QTRY_COMPARE_WITH_TIMEOUT(chart1->graph(0)->dataCount(), 50, 5000);

    QStringList seen;
    connect(&hub, &ParamManager::sig_sendModbusData, &window,
            [&seen](ModbusAddr addr) { seen << QStringLiteral("request %1").arg(int(addr)); });
    connect(&hub, &ParamManager::sig_syncDataByteCount, &window,
            [&seen] { seen << QStringLiteral("byteCount"); });
    connect(&hub, &ParamManager::sig_reboot, &window,
            [&seen] { seen << QStringLiteral("reboot"); });

    window.changeSamplingRate(rate, false);
    QCOMPARE(seen, steps);
    QVERIFY(hub.isStreamStarted());
    QCOMPARE(chart1->graph(0)->dataCount(), 0);
}

MAG_TEST_MAIN(TestSensitivityModuleForm)
#include "tst_sensitivitymoduleform.moc"
