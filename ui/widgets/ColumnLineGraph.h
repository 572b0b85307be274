#pragma once
// A graph whose dense line is painted one pixel column at a time. Where the
// line has two or more points per pixel column (QCustomPlot's adaptive
// sampling at work), its strokes are near-vertical and overlap: Qt's stroker
// would paint the same pixels several times. Here each column gets the run of
// pixels that the line's pieces inside it cover, written once with the colour
// the overlapping strokes would give. Sparser lines are drawn as QCPGraph
// draws them. GUI thread only.

#include <qcustomplot.h>

class ColumnLineGraph : public QCPGraph
{
public:
    ColumnLineGraph(QCPAxis* keyAxis, QCPAxis* valueAxis);

    // The rows top to bottom of column x that the line covers, passed once
    // or, where the line turns back inside the column, twice.
    struct Run
    {
        int x;
        int top;
        int bottom;
        int passes;
        bool operator==(const Run& o) const
        {
            return x == o.x && top == o.top && bottom == o.bottom && passes == o.passes;
        }
    };
    // One run per column of a polyline given in pixel coordinates with rising
    // x; empty when the points do not rise in x or are not finite.
    static QVector<Run> columnRuns(const QVector<QPointF>& lines);

protected:
    // Where QCPGraph would sample adaptively (two or more points per pixel
    // column), gives the same two points per column, the column's minimum and
    // maximum, in one tight pass over the data.
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const override;

private:
    mutable QImage m_runImage; // kept between draws, as large as the clip area
};
