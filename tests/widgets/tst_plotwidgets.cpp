#include "tests/support/TestMain.h"
#include "ui/widgets/CustomPlot.h"
#include "ui/widgets/QCPItemRoundedRect.h"
#include "ui/widgets/RoundedCustomPlot.h"

namespace {
QList<QCPItemLine*> lines(QCustomPlot& plot)
{
    QList<QCPItemLine*> found;
    for (int i = 0; i < plot.itemCount(); ++i)
        if (auto* line = qobject_cast<QCPItemLine*>(plot.item(i)))
            found << line;
    return found;
}

QList<QCPItemText*> labels(QCustomPlot& plot)
{
    QList<QCPItemText*> found;
    for (int i = 0; i < plot.itemCount(); ++i)
        if (auto* text = qobject_cast<QCPItemText*>(plot.item(i)))
            found << text;
    return found;
}

int visibleCount(const QList<QCPItemLine*>& items)
{
    return int(
        std::count_if(items.begin(), items.end(), [](QCPItemLine* i) { return i->visible(); }));
}

int visibleCount(const QList<QCPItemText*>& items)
{
    return int(
        std::count_if(items.begin(), items.end(), [](QCPItemText* i) { return i->visible(); }));
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}
} // namespace

class TestPlotWidgets : public QObject
{
    Q_OBJECT
private slots:
    void crosshairLabelTexts_data();
    void crosshairLabelTexts();
    void crosshairSpansTheAxisRanges();
    void mousePress_data();
    void mousePress();
    void rightReleaseHidesLinesOnly();
    void roundedRectFollowsAxisRect();
    void roundedPlotMask_data();
    void roundedPlotMask();
};

void TestPlotWidgets::crosshairLabelTexts_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QString>("xText");
    QTest::addColumn<QString>("yText");
    QTest::newRow("six significant digits") << 1234.5678 << 1e-7 << "x: 1234.57"
                                            << "y: 0.0000001000";
    QTest::newRow("large key switches to exponent") << 12345678.0 << 2.5 << "x: 1.23457e+07"
                                                    << "y: 2.5000000000";
    QTest::newRow("negative") << -0.5 << -3.25e-3 << "x: -0.5"
                              << "y: -0.0032500000";
}

void TestPlotWidgets::crosshairLabelTexts()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QString, xText);
    QFETCH(QString, yText);
    CustomPlot plot;
    plot.setCrosshairLabels(x, y);
    QStringList texts;
    for (QCPItemText* label : labels(plot))
        texts << label->text();
    QCOMPARE(texts, (QStringList{xText, yText}));
}

void TestPlotWidgets::crosshairSpansTheAxisRanges()
{
    CustomPlot plot;
    plot.xAxis->setRange(10, 20);
    plot.yAxis->setRange(-1, 3);
    plot.setCrosshair(12.5, 0.75);
    const QList<QCPItemLine*> items = lines(plot);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]->start->coords(), QPointF(10, 0.75));
    QCOMPARE(items[0]->end->coords(), QPointF(20, 0.75));
    QCOMPARE(items[1]->start->coords(), QPointF(12.5, -1));
    QCOMPARE(items[1]->end->coords(), QPointF(12.5, 3));
}

void TestPlotWidgets::mousePress_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("withGraph");
    QTest::addColumn<bool>("shown");
    QTest::newRow("right with a graph") << int(Qt::RightButton) << true << true;
    QTest::newRow("right without graphs") << int(Qt::RightButton) << false << false;
    QTest::newRow("left with a graph") << int(Qt::LeftButton) << true << false;
}

void TestPlotWidgets::mousePress()
{
    QFETCH(int, button);
    QFETCH(bool, withGraph);
    QFETCH(bool, shown);
    CustomPlot plot;
    plot.resize(400, 300);
    if (withGraph)
        plot.addGraph();
    plot.xAxis->setRange(0, 100);
    plot.yAxis->setRange(0, 10);
    plot.replot();
    int baseClassSaw = 0; // QCustomPlot's own handler emits mousePress
    QObject::connect(&plot, &QCustomPlot::mousePress, &plot, [&](QMouseEvent*) { ++baseClassSaw; });

    const QPoint at = plot.axisRect()->center();
    QTest::mousePress(&plot, Qt::MouseButton(button), Qt::NoModifier, at);

    QCOMPARE(baseClassSaw, 1);
    QCOMPARE(visibleCount(lines(plot)), shown ? 2 : 0);
    QCOMPARE(visibleCount(labels(plot)), shown ? 2 : 0);
    if (shown) {
        const QString expectedX = "x: " + QString::number(plot.xAxis->pixelToCoord(at.x()), 'g', 6);
        QCOMPARE(labels(plot).at(0)->text(), expectedX);
        QVERIFY(qAbs(plot.xAxis->pixelToCoord(at.x()) - 50) < 1);
    }
}

void TestPlotWidgets::rightReleaseHidesLinesOnly()
{
    CustomPlot plot;
    plot.resize(400, 300);
    plot.addGraph();
    plot.replot();
    int baseClassSaw = 0;
    QObject::connect(&plot, &QCustomPlot::mouseRelease, &plot,
                     [&](QMouseEvent*) { ++baseClassSaw; });
    const QPoint at = plot.axisRect()->center();
    QTest::mousePress(&plot, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(&plot, Qt::RightButton, Qt::NoModifier, at);
    QCOMPARE(baseClassSaw, 1);
    QCOMPARE(visibleCount(lines(plot)), 0);
    QCOMPARE(visibleCount(labels(plot)), 2);
    plot.hideCrosshair();
    QCOMPARE(visibleCount(labels(plot)), 0);
}

void TestPlotWidgets::roundedRectFollowsAxisRect()
{
    QCustomPlot plot;
    plot.resize(400, 300);
    auto* box = new QCPItemRoundedRect(&plot);
    box->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
    box->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
    box->topLeft->setCoords(0, 0);
    box->bottomRight->setCoords(1, 1);
    box->setBrush(QBrush(Qt::red));
    box->setPen(Qt::NoPen);

    auto check = [&](const char* when) {
        plot.replot();
        const QImage image = plot.grab().toImage();
        const QRect area = plot.axisRect()->rect();
        const QString where = QString::fromLatin1(when);
        // Inside near every corner, past the 6 px rounding: covered.
        for (const QPoint& p : {area.topLeft() + QPoint(7, 7), area.topRight() + QPoint(-7, 7),
                                area.bottomLeft() + QPoint(7, -7),
                                area.bottomRight() + QPoint(-7, -7), area.center()})
            QVERIFY2(isRed(image.pixel(p)), qPrintable(where + ": not covered"));
        // The corner pixel itself lies outside the rounded outline.
        QVERIFY2(!isRed(image.pixel(area.topLeft() + QPoint(1, 1))),
                 qPrintable(where + ": corner not rounded"));
        // Nothing outside the axis rectangle.
        QVERIFY2(!isRed(image.pixel(area.left() - 3, area.center().y())),
                 qPrintable(where + ": spills out"));
        QVERIFY2(!isRed(image.pixel(area.center().x(), area.bottom() + 3)),
                 qPrintable(where + ": spills out"));
    };

    check("initial");
    plot.xAxis->setRange(1000, 2000);
    plot.yAxis->setRange(-50, -40);
    check("after a change of the axis ranges");
    plot.resize(600, 250);
    check("after a resize");
}

void TestPlotWidgets::roundedPlotMask_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("small") << QSize(120, 80);
    QTest::newRow("wide") << QSize(800, 200);
    QTest::newRow("tall") << QSize(150, 600);
}

void TestPlotWidgets::roundedPlotMask()
{
    QFETCH(QSize, size);
    QWidget window; // a child widget: its mask needs no window-system support
    window.resize(1000, 1000);
    RoundedCustomPlot plot;
    plot.setParent(&window);
    plot.resize(300, 300);
    window.show();
    plot.resize(size);
    QCoreApplication::processEvents();
    const QRegion mask = plot.mask();
    const int w = size.width();
    const int h = size.height();
    for (const QPoint& corner :
         {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2), QPoint(w - 2, h - 2)})
        QVERIFY2(!mask.contains(corner),
                 qPrintable(QString("corner %1,%2 visible").arg(corner.x()).arg(corner.y())));
    for (const QPoint& inside : {QPoint(w / 2, 1), QPoint(1, h / 2), QPoint(w / 2, h - 2),
                                 QPoint(w - 2, h / 2), QPoint(5, 5), QPoint(w - 6, h - 6)})
        QVERIFY2(mask.contains(inside),
                 qPrintable(QString("%1,%2 masked").arg(inside.x()).arg(inside.y())));
}

MAG_TEST_MAIN(TestPlotWidgets)
#include "tst_plotwidgets.moc"
