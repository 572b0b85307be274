#include "ui/pages/CustomTextBrowser.h"

#include "ui/pages/HelpResources.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

CustomTextBrowser::CustomTextBrowser(QWidget* parent) : QTextBrowser(parent) {}

QVariant CustomTextBrowser::loadResource(int type, const QUrl& name)
{
    return HelpResources::load(type, name, m_resourceFolder);
}

// The base class paints with a painter of its own, which does not take the
// hints of one opened here; so the document is drawn here, as the base class
// draws it, with the hints set (scaled images come out smooth).
void CustomTextBrowser::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);

    const int dx = isRightToLeft()
                       ? horizontalScrollBar()->maximum() - horizontalScrollBar()->value()
                       : horizontalScrollBar()->value();
    const int dy = verticalScrollBar()->value();
    painter.translate(-dx, -dy);
    const QRect area = event->rect().translated(dx, dy);
    painter.setClipRect(area);

    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = area;
    context.palette = palette();
    context.palette.setCurrentColorGroup(hasFocus() ? QPalette::Active : QPalette::Inactive);
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = cursor;
        selection.format.setBackground(context.palette.brush(QPalette::Highlight));
        selection.format.setForeground(context.palette.brush(QPalette::HighlightedText));
        context.selections.append(selection);
    }
    for (const ExtraSelection& extra : extraSelections())
        context.selections.append({extra.cursor, extra.format});
    if (textInteractionFlags() & Qt::TextSelectableByKeyboard && hasFocus())
        context.cursorPosition = cursor.position();
    document()->documentLayout()->draw(&painter, context);
}
