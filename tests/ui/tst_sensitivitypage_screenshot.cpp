// The program's main window on a virtual X server, with the virtual instrument
// streaming: writes a PNG of the sensitivity page with a real spectrum into the
// build tree and checks that both charts are drawn.

#include "app/ParamManager.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/Screenshots.h"
#include "tests/support/TestSandbox.h"
#include "tests/support/XvfbMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/CustomPlot.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>

namespace {
// Pixels of the graph's blue inside the middle of a chart's axis rectangle.
int tracePixels(const QImage& shot, QWidget* window, CustomPlot* chart)
{
    const QRect rect = chart->axisRect()->rect().translated(chart->mapTo(window, QPoint(0, 0)));
    const QRect middle = rect.adjusted(rect.width() / 20, rect.height() / 20, -rect.width() / 20,
                                       -rect.height() / 20);
    int trace = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const QRgb p = shot.pixel(x, y);
            trace += qBlue(p) - qRed(p) > 60 ? 1 : 0;
        }
    return trace;
}
} // namespace

class TestSensitivityPageScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sensitivityPageShowsTheSpectrum();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestSensitivityPageScreenshot::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "5"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
}

void TestSensitivityPageScreenshot::sensitivityPageShowsTheSpectrum()
{
    ParamManager hub;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));

    window.findChild<MainModuleForm*>()->slot_handleActionTriggered(m_port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    QTest::mouseClick(window.findChild<QPushButton*>("btnSensitivity"), Qt::LeftButton);
    QCOMPARE(window.currentPage(), 1);

    auto* page = window.findChild<SensitivityModuleForm*>();
    auto* chart1 = page->findChild<CustomPlot*>("chart1");
    auto* chart2 = page->findChild<CustomPlot*>("chart2");
    // The default FFT time: ten seconds of field values and 0.1 Hz bins.
    QTRY_COMPARE_WITH_TIMEOUT(chart1->graph(0)->dataCount(), 10000, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(chart2->graph(0)->dataCount(), 5000, 10000);
    // Draw the newest state now, so the grab does not race the queued replot.
    chart1->replot(QCustomPlot::rpImmediateRefresh);
    chart2->replot(QCustomPlot::rpImmediateRefresh);
    const QImage shot = Screenshots::grab(window);
    QVERIFY(Screenshots::save(shot, QStringLiteral(MAG_ARTEFACT_DIR "/sensitivitypage.png")));
    QCOMPARE(shot.size(), window.size());

    // Both charts are drawn, and the spectrum's line reaches across its chart.
    const int timeTrace = tracePixels(shot, &window, chart1);
    const int spectrumTrace = tracePixels(shot, &window, chart2);
    QVERIFY2(timeTrace > 500, qPrintable(QString("%1 trace pixels in chart1").arg(timeTrace)));
    QVERIFY2(spectrumTrace > 500,
             qPrintable(QString("%1 trace pixels in chart2").arg(spectrumTrace)));

    // The same page in Chinese, for the longer axis titles, chosen in the
    // language menu as the operator does.
    emit window.findChild<CustomMenu*>(QString(), Qt::FindDirectChildrenOnly)
        ->triggered(QStringLiteral("中文"), QVariant());
    chart2->replot(QCustomPlot::rpImmediateRefresh);
    QVERIFY(Screenshots::save(Screenshots::grab(window),
                              QStringLiteral(MAG_ARTEFACT_DIR "/sensitivitypage_zh.png")));
}

MAG_TEST_MAIN_XVFB(TestSensitivityPageScreenshot)

#include "tst_sensitivitypage_screenshot.moc"
