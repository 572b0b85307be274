#include "tests/support/TestMain.h"
#include "ui/widgets/ColumnLineGraph.h"

#include <cmath>
#include <random>

namespace {
// A plot as the main page draws it: hidden axes, a thin blue line.
QImage render(QCPGraph* (*make)(QCustomPlot&), bool antialiased, const QVector<double>& values)
{
    QCustomPlot plot;
    plot.resize(1200, 400);
    QCPGraph* graph = make(plot);
    QPen pen(QColor("#1667BA"));
    pen.setWidthF(0.5);
    graph->setPen(pen);
    graph->setAntialiased(antialiased);
    QVector<double> keys(values.size());
    for (int i = 0; i < keys.size(); ++i)
        keys[i] = i * 0.001;
    graph->setData(keys, values, true);
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis})
        axis->setVisible(false);
    plot.xAxis->setRange(0, values.size() * 0.001);
    const auto [low, high] = std::minmax_element(values.cbegin(), values.cend());
    const double margin = (*high - *low) / 10;
    plot.yAxis->setRange(*low - margin, *high + margin);
    return plot.toPixmap(1200, 400).toImage().convertToFormat(QImage::Format_RGB32);
}

QCPGraph* plainGraph(QCustomPlot& plot)
{
    return plot.addGraph();
}

QCPGraph* columnGraph(QCustomPlot& plot)
{
    return new ColumnLineGraph(plot.xAxis, plot.yAxis);
}

// Mean red level over the pixels that differ from the background in either image.
double meanRed(const QImage& image, const QImage& other)
{
    const QRgb background = image.pixel(0, 0);
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background || other.pixel(x, y) != background) {
                sum += qRed(image.pixel(x, y));
                ++count;
            }
    return count ? sum / count : 0;
}
} // namespace

Q_DECLARE_METATYPE(ColumnLineGraph::Run)

class TestColumnLineGraph : public QObject
{
    Q_OBJECT
private slots:
    void columnRuns_data();
    void columnRuns();
    void looksLikeTheLine_data();
    void looksLikeTheLine();
};

void TestColumnLineGraph::columnRuns_data()
{
    using Run = ColumnLineGraph::Run;
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<QVector<Run>>("runs");
    QTest::newRow("up inside one column")
        << QVector<QPointF>{{10.25, 40.0}, {10.75, 20.5}} << QVector<Run>{{10, 20, 40, 1}};
    QTest::newRow("down and up inside one column")
        << QVector<QPointF>{{10.1, 30.0}, {10.25, 40.0}, {10.75, 20.5}}
        << QVector<Run>{{10, 20, 40, 2}};
    // From (10.5, 10) to (12.5, 30): crosses x = 11 at y = 15 and x = 12 at y = 25.
    QTest::newRow("a slope over three columns")
        << QVector<QPointF>{{10.5, 10.0}, {12.5, 30.0}}
        << QVector<Run>{{10, 10, 15, 1}, {11, 15, 25, 1}, {12, 25, 30, 1}};
    QTest::newRow("flat") << QVector<QPointF>{{3.0, 7.2}, {5.9, 7.9}}
                          << QVector<Run>{{3, 7, 7, 1}, {4, 7, 7, 1}, {5, 7, 7, 1}};
    QTest::newRow("x going back") << QVector<QPointF>{{5.0, 1.0}, {4.0, 2.0}} << QVector<Run>{};
    QTest::newRow("not a number") << QVector<QPointF>{{5.0, 1.0}, {6.0, qQNaN()}} << QVector<Run>{};
}

void TestColumnLineGraph::columnRuns()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(QVector<ColumnLineGraph::Run>, runs);
    QCOMPARE(ColumnLineGraph::columnRuns(points), runs);
}

// Dense lines are painted by columns; the picture must be the one QCustomPlot
// paints: the same pixels as its one-pixel line, about the same colour as its
// antialiased line. Sparse lines are QCustomPlot's own drawing.
void TestColumnLineGraph::looksLikeTheLine_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("count");
    QTest::newRow("noise, ten seconds") << "noise" << 10000;
    QTest::newRow("noise, a hundred seconds") << "noise" << 100000;
    QTest::newRow("slow sine, ten seconds") << "sine" << 10000;
    QTest::newRow("noise, one second (sparse)") << "noise" << 1000;
}

void TestColumnLineGraph::looksLikeTheLine()
{
    QFETCH(QString, shape);
    QFETCH(int, count);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 0.02);
    QVector<double> values(count);
    for (int i = 0; i < count; ++i)
        values[i] = shape == "noise"
                        ? 50000 + 0.05 * std::sin(i * 2 * M_PI * 50 / 1000.0) + noise(random)
                        : 50000 + std::sin(i * 2 * M_PI * 3 / count);

    const QImage columns = render(columnGraph, true, values);
    const QImage smooth = render(plainGraph, true, values);
    if (count < 2 * 1200) {
        QCOMPARE(columns, smooth);
        return;
    }
    const QImage aliased = render(plainGraph, false, values);
    const QRgb background = aliased.pixel(0, 0);
    int line = 0;
    int differing = 0;
    for (int y = 0; y < aliased.height(); ++y)
        for (int x = 0; x < aliased.width(); ++x) {
            const bool inAliased = aliased.pixel(x, y) != background;
            line += inAliased;
            differing += inAliased != (columns.pixel(x, y) != background);
        }
    // A one-pixel step of a smooth line may fall in either of two rows.
    QVERIFY2(differing <= (shape == "sine" ? line / 2 : line / 100),
             qPrintable(QString("%1 of %2 pixels differ").arg(differing).arg(line)));
    QVERIFY2(std::abs(meanRed(columns, smooth) - meanRed(smooth, columns)) < 10,
             qPrintable(QString("mean red %1, QCustomPlot's %2")
                            .arg(meanRed(columns, smooth))
                            .arg(meanRed(smooth, columns))));
}

MAG_TEST_MAIN(TestColumnLineGraph)
#include "tst_columnlinegraph.moc"
