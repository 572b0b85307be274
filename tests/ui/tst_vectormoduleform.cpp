// The vector page: plots and spectra filled from the decoder's vector data, the
// ranges (combined plot in steps of 5, spectrum in Hz on a log axis), values that
// are not finite, the measurement time, the cursor, the buttons and its place in
// the main window.

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "services/SaveModuleForm.h"
#include "tests/support/TestMain.h"
#include "tests/ui/VectorFrames.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/VectorModuleWidget.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <qcustomplot.h>

#include <cmath>
#include <limits>

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

FIDVectorData record(QVector<double> x, QVector<double> y, QVector<double> z, QVector<double> s)
{
    FIDVectorData d;
    d.x = x;
    d.y = y;
    d.z = z;
    d.s = s;
    return d;
}

QCPRange yRange(VectorModuleWidget& page, const char* plot)
{
    return page.findChild<QCustomPlot*>(plot)->yAxis->range();
}

double tickStep(VectorModuleWidget& page)
{
    return page.findChild<QCustomPlot*>("vectorXYZ")
        ->yAxis->ticker()
        .dynamicCast<QCPAxisTickerFixed>()
        ->tickStep();
}
} // namespace

class TestVectorModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void plotsAndSpectraFromRecords();
    void combinedRange_data();
    void combinedRange();
    void valuesThatAreNotFinite();
    void measurementTime_data();
    void measurementTime();
    void cursorAndButtons();
    void hiddenPageOfTheWindow();
};

void TestVectorModuleForm::plotsAndSpectraFromRecords()
{
    ParamManager hub;
    VectorModuleWidget page(&hub);
    QCOMPARE(SharedState::instance().vectorTimeSpan(), 10);

    // An empty queue: a tick changes nothing.
    const QCPRange before = yRange(page, "vectorX");
    page.drawNext();
    QCOMPARE(yRange(page, "vectorX"), before);

    // The hub's records, drawn by the page's own timer; they come in runs that
    // the queue holds.
    VectorFrames frames;
    FIDVectorData last;
    auto* sPlot = page.findChild<QCustomPlot*>("vectorS");
    const int count = 11 * 111 / 4 + 1; // eleven seconds: windows full, spectra present
    for (int i = 1; i <= count; ++i) {
        last = frames.next();
        emit hub.sig_updateVectorForm(last);
        if (i % 100 == 0 || i == count)
            QTRY_COMPARE_WITH_TIMEOUT(sPlot->graph(0)->dataCount(), std::min(4 * i, 1111), 30000);
    }
    QTRY_COMPARE(sPlot->graph(0)->data()->at(1110)->value, last.s.last()); // all drawn
    QVERIFY(last.hasSpectra);

    const char* const plots[] = {"vectorX", "vectorY", "vectorZ", "vectorS"};
    const QVector<double>* const latest[] = {&last.x, &last.y, &last.z, &last.s};
    for (int c = 0; c < 4; ++c) {
        auto* plot = page.findChild<QCustomPlot*>(plots[c]);
        QCPGraph* graph = plot->graph(0);
        QCOMPARE(graph->dataCount(), 1111);
        QCOMPARE(graph->data()->at(1110)->value, latest[c]->last());
        QCOMPARE(graph->data()->at(1110)->key, 1110 * 0.009);
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (int i = 0; i < graph->dataCount(); ++i) {
            lo = std::min(lo, graph->data()->at(i)->value);
            hi = std::max(hi, graph->data()->at(i)->value);
        }
        const double margin = (hi - lo) / 10;
        QCOMPARE(plot->yAxis->range().lower, lo - margin);
        QCOMPARE(plot->yAxis->range().upper, hi + margin);
        QCOMPARE(plot->xAxis->range(), QCPRange(0, 10));
        // Maximum, minimum and latest value.
        QStringList texts;
        for (auto* item : plot->findChildren<QCPItemText*>())
            texts << item->text();
        QVERIFY2(texts.contains(QString::number(hi, 'g', 6)), qPrintable(texts.join('|')));
        QVERIFY2(texts.contains(QString::number(lo, 'g', 6)), qPrintable(texts.join('|')));
        QVERIFY2(texts.contains(QString::number(latest[c]->last(), 'f', 2)),
                 qPrintable(texts.join('|')));
    }

    // Spectra in Hz, up to half the record rate, on a log axis widened by a factor.
    auto* spectrum = page.findChild<QCustomPlot*>("vectorFFTAll");
    const QVector<double>* const amps[] = {&last.xAsd, &last.yAsd, &last.zAsd, &last.sAsd};
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (int c = 0; c < 4; ++c) {
        int shown = 0;
        for (double a : *amps[c])
            if (a > 0) {
                ++shown;
                lo = std::min(lo, a);
                hi = std::max(hi, a);
            }
        QVERIFY(shown > 500);
        QCOMPARE(spectrum->graph(c)->dataCount(), shown);
    }
    QCOMPARE(spectrum->xAxis->range().lower, 0.0);
    QVERIFY(std::abs(spectrum->xAxis->range().upper - 500.0 / 9.0) < 1e-9);
    const QCPRange y = spectrum->yAxis->range();
    QVERIFY(y.lower > 0 && y.lower < lo && y.upper > hi);
    QVERIFY(std::abs(hi / lo - std::pow(y.upper / y.lower, 1 / 1.2)) < 1e-6 * hi / lo);

    // The combined plot: steps of 5 around X, Y and Z.
    auto* xyz = page.findChild<QCustomPlot*>("vectorXYZ");
    QCOMPARE(xyz->graph(0)->dataCount(), 1111);
    QCOMPARE(std::fmod(xyz->yAxis->range().lower, 5.0), 0.0);
    QCOMPARE(tickStep(page), 10000.0);

    page.clearPlot();
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(page.findChild<QCustomPlot*>(plots[c])->graph(0)->dataCount(), 0);
        QCOMPARE(spectrum->graph(c)->dataCount(), 0);
    }
    QCOMPARE(xyz->graph(0)->dataCount(), 0);
}

void TestVectorModuleForm::combinedRange_data()
{
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("step");
    QTest::newRow("3.2 to 7.9") << 3.2 << 7.9 << 0.0 << 10.0 << 1.0;
    QTest::newRow("below zero") << -7.9 << -3.2 << -10.0 << 0.0 << 1.0;
    QTest::newRow("across zero") << -42.0 << 17.0 << -50.0 << 25.0 << 10.0;
    QTest::newRow("a turning field") << -30000.0 << 46000.0 << -37600.0 << 53600.0 << 10000.0;
    QTest::newRow("width 9600") << 1000.0 << 9000.0 << 200.0 << 9800.0 << 1000.0;
    QTest::newRow("flat") << 50000.0 << 50000.0 << 49995.0 << 50000.0 << 1.0;
}

void TestVectorModuleForm::combinedRange()
{
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, step);
    ParamManager hub;
    VectorModuleWidget page(&hub);
    page.slots_updateVectorForm(record({minimum}, {maximum}, {minimum}, {1}));
    page.drawNext();
    QCOMPARE(yRange(page, "vectorXYZ"), QCPRange(lower, upper));
    QCOMPARE(tickStep(page), step);
}

void TestVectorModuleForm::valuesThatAreNotFinite()
{
    ParamManager hub;
    VectorModuleWidget page(&hub);
    auto draw = [&](const FIDVectorData& d) {
        page.slots_updateVectorForm(d);
        page.drawNext();
    };
    // A record whose y is not finite is left out of all four windows.
    draw(record({1, 2, 3, 4}, {10, NaN, 30, 40}, {5, 6, 7, 8}, {50, 60, 70, 80}));
    QCOMPARE(page.findChild<QCustomPlot*>("vectorX")->graph(0)->dataCount(), 3);
    QCOMPARE(page.findChild<QCustomPlot*>("vectorS")->graph(0)->dataCount(), 3);
    const QCPRange x = yRange(page, "vectorX"), s = yRange(page, "vectorS");
    const QCPRange xyz = yRange(page, "vectorXYZ");
    QVERIFY(std::isfinite(x.lower) && std::isfinite(x.upper));

    // Records with nothing finite, and hidden channels: the last ranges stay.
    const double inf = std::numeric_limits<double>::infinity();
    page.clearPlot();
    draw(record({NaN}, {inf}, {1}, {2}));
    QCOMPARE(yRange(page, "vectorX"), x);
    QCOMPARE(yRange(page, "vectorS"), s);
    QCOMPARE(yRange(page, "vectorXYZ"), xyz);
    for (const char* name : {"btn_VectorX", "btn_VectorY", "btn_VectorZ"})
        page.findChild<QPushButton*>(name)->setChecked(false);
    draw(record({900}, {1000}, {1100}, {2}));
    QCOMPARE(yRange(page, "vectorXYZ"), xyz);

    // Spectra: amplitudes that are not finite or not positive are not drawn, and
    // a spectrum with none left keeps the last range.
    FIDVectorData d = record({1}, {2}, {3}, {4});
    d.hasSpectra = true;
    d.sFreq = {0, 1, 2, 3};
    d.sAsd = {0, 0.5, NaN, 2};
    draw(d);
    auto* spectrum = page.findChild<QCustomPlot*>("vectorFFTAll");
    QCOMPARE(spectrum->graph(3)->dataCount(), 2);
    const QCPRange ranged = spectrum->yAxis->range();
    QVERIFY(ranged.lower < 0.5 && ranged.upper > 2);
    d.sAsd = {NaN, -1, 0, inf};
    draw(d);
    QCOMPARE(spectrum->graph(3)->dataCount(), 0);
    QCOMPARE(spectrum->yAxis->range(), ranged);
}

void TestVectorModuleForm::measurementTime_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("span");
    QTest::newRow("25") << "25"
                        << "25" << 25;
    QTest::newRow("0 becomes 1") << "0"
                                 << "1" << 1;
    QTest::newRow("nothing becomes 1") << ""
                                       << "1" << 1;
    QTest::newRow("61 becomes 1") << "61"
                                  << "1" << 1;
    QTest::newRow("100 cannot be typed") << "100"
                                         << "10" << 10;
    QTest::newRow("60") << "60"
                        << "60" << 60;
}

void TestVectorModuleForm::measurementTime()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, span);
    ParamManager hub;
    VectorModuleWidget page(&hub);
    QCOMPARE(SharedState::instance().vectorTimeSpan(), 10);
    auto* edit = page.findChild<QLineEdit*>("edt_MeasTime");
    QCOMPARE(edit->text(), QString("10"));
    edit->clear();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(SharedState::instance().vectorTimeSpan(), span);
}

void TestVectorModuleForm::cursorAndButtons()
{
    ParamManager hub;
    VectorModuleWidget page(&hub);
    page.resize(1280, 540);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    auto* spectrum = page.findChild<QCustomPlot*>("vectorFFTAll");
    spectrum->replot(); // lays out the axis rect
    const QRect rect = spectrum->axisRect()->rect();
    const QPoint at(rect.left() + rect.width() / 4, rect.top() + rect.height() / 2);
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(spectrum, &move);
    const double x = spectrum->xAxis->pixelToCoord(at.x());
    const double y = spectrum->yAxis->pixelToCoord(at.y());
    QCOMPARE(page.findChild<QLineEdit*>("edt_CursorHz")->text(), QString::number(x, 'f', 1));
    QCOMPARE(page.findChild<QLineEdit*>("edt_nTHz")->text(), QString::number(y, 'e', 2));
    // On the default ranges, 0 to 100 Hz and 0.01 to 10 nT/√Hz: 25 Hz, 10^-0.5 nT/√Hz.
    QVERIFY(std::abs(x - 25) < 0.5);
    QVERIFY(std::abs(std::log10(y) + 0.5) < 0.02);
    QList<QCPItemLine*> lines = spectrum->findChildren<QCPItemLine*>();
    QCOMPARE(lines.size(), 2);
    for (QCPItemLine* line : lines) {
        const QPointF a = line->start->pixelPosition(), b = line->end->pixelPosition();
        QVERIFY(std::abs(a.x() - b.x()) < 1 ? std::abs(a.x() - at.x()) < 1
                                            : std::abs(a.y() - at.y()) < 1);
    }

    auto* stack = page.findChild<QStackedWidget*>("stackedWidget1");
    QCOMPARE(stack->currentIndex(), 0);
    page.findChild<QPushButton*>("btn_CombinePlots")->click();
    QCOMPARE(stack->currentIndex(), 1);
    page.findChild<QPushButton*>("btn_FFT_Y")->click();
    QVERIFY(!spectrum->graph(1)->visible());
    // The combined plot: X, Y and Z in thin solid red, green and cyan.
    auto* xyz = page.findChild<QCustomPlot*>("vectorXYZ");
    const Qt::GlobalColor pens[] = {Qt::red, Qt::green, Qt::cyan};
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(xyz->graph(c)->name(), QString(QChar("XYZ"[c])));
        QCOMPARE(xyz->graph(c)->pen(), QPen(pens[c], 1));
    }
    page.findChild<QPushButton*>("btn_VectorZ")->click();
    QVERIFY(!xyz->graph(2)->visible());
    page.findChild<QPushButton*>("btn_CombinePlots")->click();
    QCOMPARE(stack->currentIndex(), 0);
}

void TestVectorModuleForm::hiddenPageOfTheWindow()
{
    ParamManager hub;
    MainWindow window(&hub);
    window.show();
    auto* page = window.findChild<VectorModuleWidget*>();
    QVERIFY(page);
    auto* button = window.findChild<QPushButton*>("btnVector");
    QVERIFY(!button->isVisible() && !page->isVisible());
    auto* stack = window.findChild<QStackedWidget*>("stackedWidget");
    // Among the pages, after the main page and before the save page.
    QVERIFY(stack->indexOf(window.findChild<MainModuleForm*>()) < stack->indexOf(page));
    QVERIFY(stack->indexOf(page) < stack->indexOf(window.findChild<SaveModuleForm*>()));

    // Created and connected all the same: the records are drawn.
    emit hub.sig_updateVectorForm(record({1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}));
    auto* x = page->findChild<QCustomPlot*>("vectorX");
    QTRY_COMPARE(x->graph(0)->dataCount(), 4);

    // Shown through its button, it has the cut-off edits; the window's clear
    // button clears it.
    button->click();
    QCOMPARE(stack->currentWidget(), page);
    QVERIFY(window.findChild<QLineEdit*>("edt_lowPass")->isVisible());
    QVERIFY(!window.findChild<QLineEdit*>("edt_fftTime")->isVisible());
    window.findChild<QPushButton*>("btn_clearPlot")->click();
    QCOMPARE(x->graph(0)->dataCount(), 0);
}

MAG_TEST_MAIN(TestVectorModuleForm)
#include "tst_vectormoduleform.moc"
