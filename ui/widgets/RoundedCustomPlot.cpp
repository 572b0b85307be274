#include "ui/widgets/RoundedCustomPlot.h"

RoundedCustomPlot::RoundedCustomPlot(QWidget* parent) : QCustomPlot(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("background: transparent;"));
}

void RoundedCustomPlot::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0.0, QColor(QStringLiteral("#FFFFFF")));
        gradient.setColorAt(1.0, QColor(QStringLiteral("#EDF6FF")));
        painter.setBrush(gradient);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, width(), height()), CornerRadius, CornerRadius,
                                Qt::AbsoluteSize);
    } // the base class opens its own painter on the widget
    QCustomPlot::paintEvent(event);
}

void RoundedCustomPlot::resizeEvent(QResizeEvent* event)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), CornerRadius, CornerRadius,
                        Qt::AbsoluteSize);
    const QPolygon outline = path.toFillPolygon(QTransform()).toPolygon();
    setMask(QRegion(outline, Qt::OddEvenFill));
    QCustomPlot::resizeEvent(event);
}
