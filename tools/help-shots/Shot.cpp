#include "Shot.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace HelpShot {

const QColor MarkColour(232, 89, 12);
const QColor Ink(43, 59, 80);
const QColor Blue(22, 103, 186);

namespace {
constexpr int Radius = 13;
constexpr int Band = 34; // height of the bands above and below a picture
} // namespace

QFont font(int pixels, bool bold)
{
    QFont f(QStringLiteral("MiSans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QRectF rectOf(const QWidget* root, const QWidget* widget)
{
    return QRectF(widget->mapTo(root, QPoint(0, 0)), QSizeF(widget->size()));
}

QRectF textRectOf(const QWidget* root, const QWidget* widget)
{
    QRectF r = rectOf(root, widget);
    int width = widget->sizeHint().width();
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        width = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin() +
                label->contentsMargins().left() + label->contentsMargins().right();
    r.setWidth(std::min<qreal>(r.width(), width));
    return r;
}

void drawMark(QPainter& p, const QPointF& at, int number)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(MarkColour);
    p.drawEllipse(at, Radius, Radius);
    p.setFont(font(16, true));
    p.drawText(QRectF(at.x() - Radius, at.y() - Radius, 2 * Radius, 2 * Radius), Qt::AlignCenter,
               QString::number(number));
    p.restore();
}

QImage shot(QWidget* root, const QRect& region, const QVector<Mark>& marks, int width)
{
    // No text cursor blinking in an edit of the picture.
    if (QWidget* focus = QApplication::focusWidget())
        focus->clearFocus();
    root->repaint();
    QCoreApplication::processEvents();
    const QImage full = root->screen()->grabWindow(root->winId()).toImage();
    const double scale = std::min(1.0, double(width) / region.width());
    const QImage picture = scale < 1.0
                               ? full.copy(region).scaledToWidth(int(region.width() * scale + 0.5),
                                                                 Qt::SmoothTransformation)
                               : full.copy(region);
    const bool above = std::any_of(marks.begin(), marks.end(),
                                   [](const Mark& m) { return m.side == Side::Above; });
    const bool below = std::any_of(marks.begin(), marks.end(),
                                   [](const Mark& m) { return m.side == Side::Below; });
    const int top = above ? Band : 0;
    QImage image(picture.width(), picture.height() + top + (below ? Band : 0),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawImage(0, top, picture);
    p.setRenderHint(QPainter::Antialiasing);
    const double right = picture.width() - Radius - 1.0;
    for (const Mark& m : marks) {
        const QRectF r((m.target.topLeft() - QPointF(region.topLeft())) * scale,
                       m.target.size() * scale);
        const double x = qBound<double>(Radius + 1.0, r.center().x(), right);
        QPointF at;
        switch (m.side) {
        case Side::Above:
            at = QPointF(x, Band / 2.0);
            p.setPen(QPen(MarkColour, 2));
            p.drawLine(QPointF(x, at.y() + Radius - 1), QPointF(x, top + std::max(0.0, r.top())));
            break;
        case Side::Below:
            at = QPointF(x, image.height() - Band / 2.0);
            p.setPen(QPen(MarkColour, 2));
            p.drawLine(QPointF(x, at.y() - Radius + 1),
                       QPointF(x, top + std::min<double>(picture.height(), r.bottom())));
            break;
        case Side::Right:
            at = QPointF(std::min(right, r.right() + 8 + Radius), top + r.center().y());
            break;
        case Side::On:
            at = QPointF(qBound<double>(Radius + 1.0, r.left() + m.at.x() * r.width(), right),
                         top + r.top() + m.at.y() * r.height());
            break;
        }
        drawMark(p, at, m.number);
    }
    return image;
}

bool save(const QImage& image, const QString& dir, const QString& name)
{
    const QString path = QDir(dir).filePath(name);
    if (!image.convertToFormat(QImage::Format_RGB32).save(path, "PNG", 0)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace HelpShot
