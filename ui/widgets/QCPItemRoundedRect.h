#pragma once
// A rectangle item with rounded corners (radius 6 px). Whatever their position
// type, the raw coordinates of topLeft and bottomRight are read as fractions of
// the plot's first axis rectangle, so the box follows the axis rectangle when
// the widget is resized and ignores the axis ranges. GUI thread only.

#include <qcustomplot.h>

class QCPItemRoundedRect : public QCPItemRect
{
public:
    explicit QCPItemRoundedRect(QCustomPlot* parentPlot);

    static constexpr qreal CornerRadius = 6.0;

protected:
    void draw(QCPPainter* painter) override;
};
