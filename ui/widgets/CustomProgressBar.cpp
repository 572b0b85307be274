#include "ui/widgets/CustomProgressBar.h"

#include <QPainter>

CustomProgressBar::CustomProgressBar(QWidget* parent) : QWidget(parent), m_segments(m_count, false)
{
}

void CustomProgressBar::setProgress(int index, bool done)
{
    if (index < 0 || index >= m_count)
        return;
    for (int i = 0; i < m_count; ++i)
        m_segments[i] = i <= index;
    m_segments[index] = done;
    update();
}

void CustomProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(QColor("#636363"));
    painter.drawRect(QRect(QPoint(2, 2), QPoint(width() - 3, height() - 3)));
    painter.setPen(Qt::NoPen);
    const int w = (width() - (m_count + 1) * m_gap) / m_count;
    const int h = height() - 2 * m_gap;
    for (int i = 0; i < m_count; ++i) {
        painter.setBrush(m_segments[i] ? Qt::green : Qt::yellow);
        painter.drawRoundedRect(QRect(m_gap + i * (w + m_gap) + 3, m_gap + 1, w - 2, h - 2),
                                m_radius, m_radius, Qt::AbsoluteSize);
        if (!m_segments[i])
            break;
    }
}
