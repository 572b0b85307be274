#pragma once
// Geometry rules of the frameless window's border band: which region a point
// is in, the cursor shown there, and the geometry a fallback drag produces.
// Pure functions; the window applies them.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

namespace WindowEdges {

// Border regions; Inside means a drag moves the window.
enum Region
{
    Inside = 0,
    Left = 1,
    Right = 2,
    Top = 3,
    Bottom = 4,
    TopLeft = 5,
    TopRight = 6,
    BottomLeft = 7,
    BottomRight = 8,
};

// Region of point p (window coordinates) in a window of the given size with a
// border band of margin pixels.
int hitTest(const QPoint& p, const QSize& size, int margin);

// Cursor for a region; Qt::ArrowCursor for Inside (the window unsets its cursor).
Qt::CursorShape cursorShape(int region);

// Edges for QWindow::startSystemResize; empty for Inside.
Qt::Edges edges(int region);

// Geometry after a drag by delta from pressGeometry: Inside moves the whole
// rectangle, a border region moves its edges; a result narrower or lower than
// the minimum keeps the left/top edge and puts the right/bottom edge at
// left/top + minimum - 1.
QRect dragGeometry(const QRect& pressGeometry, int region, const QPoint& delta,
                   const QSize& minimum);

} // namespace WindowEdges
