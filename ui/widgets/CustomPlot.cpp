#include "ui/widgets/CustomPlot.h"

namespace {
QCPItemLine* makeLine(QCustomPlot* plot)
{
    auto* line = new QCPItemLine(plot);
    line->setPen(QPen(QColor(Qt::red), 1, Qt::SolidLine));
    line->setVisible(false);
    return line;
}

QCPItemText* makeLabel(QCustomPlot* plot, double x, double y)
{
    auto* label = new QCPItemText(plot);
    label->position->setType(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(x, y);
    label->setFont(QFont(QStringLiteral("MiSans"), 12));
    label->setBrush(Qt::NoBrush);
    label->setColor(QColor(Qt::blue));
    label->setVisible(false);
    return label;
}
} // namespace

CustomPlot::CustomPlot(QWidget* parent)
    : QCustomPlot(parent), m_hLine(makeLine(this)), m_vLine(makeLine(this)),
      m_xLabel(makeLabel(this, 0.05, 0.9)), m_yLabel(makeLabel(this, 0.2, 0.9))
{
}

void CustomPlot::hideCrosshair()
{
    m_hLine->setVisible(false);
    m_vLine->setVisible(false);
    m_xLabel->setVisible(false);
    m_yLabel->setVisible(false);
    replot(QCustomPlot::rpRefreshHint);
}

void CustomPlot::hideCrosshairLines()
{
    m_hLine->setVisible(false);
    m_vLine->setVisible(false);
    replot(QCustomPlot::rpRefreshHint);
}

void CustomPlot::setCrosshair(double x, double y)
{
    const QCPRange keys = xAxis->range();
    const QCPRange values = yAxis->range();
    m_hLine->start->setCoords(keys.lower, y);
    m_hLine->end->setCoords(keys.upper, y);
    m_vLine->start->setCoords(x, values.lower);
    m_vLine->end->setCoords(x, values.upper);
}

void CustomPlot::setCrosshairLabels(double x, double y)
{
    m_xLabel->setText(QStringLiteral("x: ") + QString::number(x, 'g', 6));
    m_yLabel->setText(QStringLiteral("y: ") + QString::number(y, 'f', 10));
}

void CustomPlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && graphCount() > 0) {
        const double x = xAxis->pixelToCoord(event->pos().x());
        const double y = yAxis->pixelToCoord(event->pos().y());
        hideCrosshair();
        setCrosshair(x, y);
        setCrosshairLabels(x, y);
        m_hLine->setVisible(true);
        m_vLine->setVisible(true);
        m_xLabel->setVisible(true);
        m_yLabel->setVisible(true);
        replot(QCustomPlot::rpRefreshHint);
    }
    QCustomPlot::mousePressEvent(event);
}

void CustomPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        hideCrosshairLines();
    QCustomPlot::mouseReleaseEvent(event);
}
