#include "ui/widgets/NegativeSpacingHBoxLayout.h"

NegativeSpacingHBoxLayout::NegativeSpacingHBoxLayout(QWidget* parent) : QHBoxLayout(parent) {}

void NegativeSpacingHBoxLayout::setNegativeSpacing(int spacing)
{
    m_spacing = spacing;
    invalidate();
}

void NegativeSpacingHBoxLayout::setGeometry(const QRect& r)
{
    QLayout::setGeometry(r);
    if (count() == 0)
        return;
    const QMargins m = contentsMargins();
    const int h = r.height() - m.top() - m.bottom();
    int x = m.left();
    const int y = m.top();
    for (int i = 0; i < count(); ++i) {
        QLayoutItem* item = itemAt(i);
        if (!item || item->isEmpty())
            continue;
        const int w = item->sizeHint().width();
        item->setGeometry(QRect(x, y, w, h));
        x += w + m_spacing;
    }
}

QSize NegativeSpacingHBoxLayout::sizeHint() const
{
    QSize s = QBoxLayout::sizeHint();
    if (count() < 2 || m_spacing >= 0)
        return s;
    s.setWidth(qMax(0, s.width() + (count() - 1) * m_spacing));
    return s;
}
