#include "ui/FramelessFrame.h"

#include "ui/WindowEdges.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {
void setMouseTrackingRecursive(QWidget* widget)
{
    widget->setAttribute(Qt::WA_MouseTracking);
    for (QObject* child : widget->children()) {
        if (auto* w = qobject_cast<QWidget*>(child))
            setMouseTrackingRecursive(w);
    }
}
} // namespace

FramelessFrame::FramelessFrame(QWidget* window, int resizeMargin)
    : m_window(window), m_resizeMargin(resizeMargin)
{
}

int FramelessFrame::hitTestEdge(const QPoint& pos) const
{
    return WindowEdges::hitTest(pos, m_window->size(), m_resizeMargin);
}

void FramelessFrame::trackMouse()
{
    setMouseTrackingRecursive(m_window);
}

void FramelessFrame::updateResizeCursor(const QPoint& pos)
{
    const int region = hitTestEdge(pos);
    if (region == WindowEdges::Inside)
        m_window->unsetCursor();
    else
        m_window->setCursor(WindowEdges::cursorShape(region));
}

void FramelessFrame::mousePress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int region = hitTestEdge(event->pos());
    if (QWindow* handle = m_window->windowHandle()) {
        const bool started = region == WindowEdges::Inside
                                 ? handle->startSystemMove()
                                 : handle->startSystemResize(WindowEdges::edges(region));
        if (started)
            return;
    }
    m_pressed = true;
    m_pressGlobalPos = event->globalPos();
    m_pressGeometry = m_window->geometry();
    m_pressRegion = region;
}

void FramelessFrame::mouseMove(QMouseEvent* event)
{
    if (!m_pressed) {
        updateResizeCursor(event->pos());
        return;
    }
    m_window->setGeometry(WindowEdges::dragGeometry(m_pressGeometry, m_pressRegion,
                                                    event->globalPos() - m_pressGlobalPos,
                                                    m_window->minimumSize()));
}

void FramelessFrame::mouseRelease()
{
    m_pressed = false;
    m_pressRegion = WindowEdges::Inside;
}

void FramelessFrame::leave()
{
    m_window->unsetCursor();
}
