#pragma once
// Move and resize of a frameless window: a drag inside moves it, a drag in the
// border band resizes it, and the cursor shows the edge under the mouse. The
// window manager does the move or resize where it offers to; elsewhere the
// window follows the drag itself. The window passes its mouse events here.
// GUI thread only.

#include <QPoint>
#include <QRect>

class QMouseEvent;
class QWidget;

class FramelessFrame
{
public:
    explicit FramelessFrame(QWidget* window, int resizeMargin = 8);

    // Border region of a point in window coordinates (see WindowEdges).
    int hitTestEdge(const QPoint& pos) const;

    // Mouse moves over any child reach the window while no button is down,
    // so the cursor follows the border band everywhere.
    void trackMouse();

    void mousePress(QMouseEvent* event);
    void mouseMove(QMouseEvent* event);
    void mouseRelease();
    void leave();

private:
    void updateResizeCursor(const QPoint& pos);

    QWidget* m_window;
    int m_resizeMargin;
    bool m_pressed = false;
    QPoint m_pressGlobalPos;
    QRect m_pressGeometry;
    int m_pressRegion = 0;
};
