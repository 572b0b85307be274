#pragma once
// A plot with a crosshair read-out: a right-button press marks the point under
// the mouse with two red lines and shows its coordinates; the release hides the
// lines and leaves the coordinates. GUI thread only.

#include <qcustomplot.h>

class CustomPlot : public QCustomPlot
{
    Q_OBJECT
public:
    explicit CustomPlot(QWidget* parent = nullptr);

    void hideCrosshair();
    void hideCrosshairLines();
    void setCrosshair(double x, double y);
    void setCrosshairLabels(double x, double y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QCPItemLine* m_hLine;
    QCPItemLine* m_vLine;
    QCPItemText* m_xLabel;
    QCPItemText* m_yLabel;
};
