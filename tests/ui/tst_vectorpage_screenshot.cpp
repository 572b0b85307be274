// The vector page in the program's main window on a virtual X server, filled with
// the records of a turning field: PNGs of the separate and the combined plots,
// written into the build tree. The page is hidden in the program; the test shows
// it through its hidden page button.

#include "app/ParamManager.h"
#include "tests/support/Screenshots.h"
#include "tests/support/TestSandbox.h"
#include "tests/support/XvfbMain.h"
#include "tests/ui/VectorFrames.h"
#include "ui/MainWindow.h"
#include "ui/VectorModuleWidget.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QtTest>
#include <qcustomplot.h>

class TestVectorPageScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void filledPage();
};

void TestVectorPageScreenshot::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
}

void TestVectorPageScreenshot::filledPage()
{
    ParamManager hub;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));

    auto* page = window.findChild<VectorModuleWidget*>();
    QVERIFY(page);
    auto* button = window.findChild<QPushButton*>("btnVector");
    QVERIFY(!button->isVisible() && !page->isVisible());
    button->click();
    QCOMPARE(window.findChild<QStackedWidget*>("stackedWidget")->currentWidget(), page);
    QVERIFY(page->isVisible());
    QVERIFY(window.findChild<QLineEdit*>("edt_lowPass")->isVisible());

    // Twelve seconds of records, drawn as they come.
    VectorFrames frames;
    for (int i = 0; i < 12 * 111 / 4; ++i) {
        emit hub.sig_updateVectorForm(frames.next());
        page->drawNext();
    }
    auto* spectrum = page->findChild<QCustomPlot*>("vectorFFTAll");
    const QPoint at(spectrum->axisRect()->left() + spectrum->axisRect()->width() * 7 / 55,
                    spectrum->axisRect()->top() + spectrum->axisRect()->height() / 3);
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QSignalSpy spectrumDrawn(spectrum, &QCustomPlot::afterReplot);
    QApplication::sendEvent(spectrum, &move);
    QVERIFY(spectrumDrawn.wait()); // the queued replots, the spectrum's last
    const QImage shot = grabArtefact(window, "vectorpage.png");
    QCOMPARE(shot.size(), window.size());

    // Every plot shows its channel's trace.
    const char* const plots[] = {"vectorX", "vectorY", "vectorZ", "vectorS"};
    const char* const colours[] = {"#ED5E6A", "#15B6C2", "#369FED", "#AB47BC"};
    for (int c = 0; c < 4; ++c) {
        auto* plot = page->findChild<QCustomPlot*>(plots[c]);
        QCOMPARE(plot->graph(0)->dataCount(), 1111);
        const int pixels = Screenshots::colourPixels(shot, &window, plot, QColor(colours[c]));
        QVERIFY2(pixels > 200, qPrintable(QString("%1: %2 pixels").arg(plots[c]).arg(pixels)));
        QVERIFY2(Screenshots::colourPixels(shot, &window, spectrum, QColor(colours[c])) > 100,
                 colours[c]);
    }
    for (auto* edit : page->findChildren<QLineEdit*>())
        QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->text()) < edit->contentsRect().width(),
                 qPrintable(edit->objectName() + ": " + edit->text()));
    for (auto* b : page->findChildren<QPushButton*>())
        if (b->isVisible())
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) + 16 <= b->width(),
                     qPrintable(b->objectName()));

    auto* xyz = page->findChild<QCustomPlot*>("vectorXYZ");
    QSignalSpy combinedDrawn(xyz, &QCustomPlot::afterReplot);
    QTest::mouseClick(page->findChild<QPushButton*>("btn_CombinePlots"), Qt::LeftButton);
    for (int i = 0; i < 10; ++i) {
        emit hub.sig_updateVectorForm(frames.next());
        page->drawNext();
    }
    QVERIFY(!combinedDrawn.isEmpty() || combinedDrawn.wait());
    const QImage combined = grabArtefact(window, "vectorpage_combined.png");
    QVERIFY(xyz->isVisible());
    const Qt::GlobalColor pens[] = {Qt::red, Qt::green, Qt::cyan};
    for (int c = 0; c < 3; ++c)
        QVERIFY2(Screenshots::colourPixels(combined, &window, xyz, QColor(pens[c])) > 200,
                 plots[c]);
}

MAG_TEST_MAIN_XVFB(TestVectorPageScreenshot)

#include "tst_vectorpage_screenshot.moc"
