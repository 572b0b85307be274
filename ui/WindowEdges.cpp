#include "ui/WindowEdges.h"

namespace WindowEdges {

int hitTest(const QPoint& p, const QSize& size, int margin)
{
    const bool left = p.x() < margin;
    const bool top = p.y() < margin;
    const bool right = p.x() > size.width() - margin;
    const bool bottom = p.y() > size.height() - margin;
    if (left && top)
        return TopLeft;
    if (right && top)
        return TopRight;
    if (left && bottom)
        return BottomLeft;
    if (right && bottom)
        return BottomRight;
    if (top)
        return Top;
    if (bottom)
        return Bottom;
    if (left)
        return Left;
    if (right)
        return Right;
    return Inside;
}

Qt::CursorShape cursorShape(int region)
{
    switch (region) {
    case Left:
    case Right:
        return Qt::SizeHorCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case TopLeft:
    case BottomRight:
        return Qt::SizeFDiagCursor;
    case TopRight:
    case BottomLeft:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

Qt::Edges edges(int region)
{
    switch (region) {
    case Left:
        return Qt::LeftEdge;
    case Right:
        return Qt::RightEdge;
    case Top:
        return Qt::TopEdge;
    case Bottom:
        return Qt::BottomEdge;
    case TopLeft:
        return Qt::TopEdge | Qt::LeftEdge;
    case TopRight:
        return Qt::TopEdge | Qt::RightEdge;
    case BottomLeft:
        return Qt::BottomEdge | Qt::LeftEdge;
    case BottomRight:
        return Qt::BottomEdge | Qt::RightEdge;
    default:
        return {};
    }
}

QRect dragGeometry(const QRect& pressGeometry, int region, const QPoint& delta,
                   const QSize& minimum)
{
    QRect r = pressGeometry;
    if (region == Inside) {
        r.moveTopLeft(pressGeometry.topLeft() + delta);
        return r;
    }
    const Qt::Edges e = edges(region);
    if (e & Qt::LeftEdge)
        r.setLeft(pressGeometry.left() + delta.x());
    if (e & Qt::RightEdge)
        r.setRight(pressGeometry.right() + delta.x());
    if (e & Qt::TopEdge)
        r.setTop(pressGeometry.top() + delta.y());
    if (e & Qt::BottomEdge)
        r.setBottom(pressGeometry.bottom() + delta.y());
    if (r.width() < minimum.width())
        r.setRight(r.left() + minimum.width() - 1);
    if (r.height() < minimum.height())
        r.setBottom(r.top() + minimum.height() - 1);
    return r;
}

} // namespace WindowEdges
