#include "ui/widgets/QCPItemRoundedRect.h"

QCPItemRoundedRect::QCPItemRoundedRect(QCustomPlot* parentPlot) : QCPItemRect(parentPlot) {}

void QCPItemRoundedRect::draw(QCPPainter* painter)
{
    QCPAxisRect* axisRect = mParentPlot->axisRect(0);
    if (!axisRect)
        return;
    const QRect area = axisRect->rect();
    const double left = area.left();
    const double top = area.top();
    const double width = area.right() - area.left() + 1;
    const double height = area.bottom() - area.top() + 1;
    const QPointF topLeftPixel(left + topLeft->key() * width, top + topLeft->value() * height);
    const QPointF bottomRightPixel(left + bottomRight->key() * width,
                                   top + bottomRight->value() * height);
    painter->setBrush(brush());
    painter->setPen(pen());
    painter->drawRoundedRect(QRectF(topLeftPixel, bottomRightPixel).normalized(), CornerRadius,
                             CornerRadius, Qt::AbsoluteSize);
}
