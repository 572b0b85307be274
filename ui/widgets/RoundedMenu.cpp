#include "ui/widgets/RoundedMenu.h"

#include <QPainterPath>
#include <QRegion>

void RoundedMenu::paintEvent(QPaintEvent* event)
{
    // QMenu paints with a painter of its own, and a second painter on the widget
    // would fail; the clip therefore goes on the widget as its mask. setMask does
    // nothing when the region is unchanged, so this does not repaint in a loop.
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 6.0, 6.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
    QMenu::paintEvent(event);
}
