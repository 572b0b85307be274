#pragma once
// A plot drawn on a rounded card (radius 11 px) with a white to light-blue
// vertical gradient; the widget is masked to the card. GUI thread only.

#include <qcustomplot.h>

class RoundedCustomPlot : public QCustomPlot
{
public:
    explicit RoundedCustomPlot(QWidget* parent = nullptr);

    static constexpr qreal CornerRadius = 11.0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
