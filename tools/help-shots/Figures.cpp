#include "Figures.h"

#include "Shot.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace HelpShot {

QImage lockFigure()
{
    QImage image(ImageWidth, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int cell = ImageWidth / 5;
    for (int s = 0; s <= 4; ++s) {
        const int x = s * cell + (cell - 75 - 10 - 44) / 2;
        p.drawPixmap(x, 24, QPixmap(QStringLiteral(":/battery%1.png").arg(s)));
        p.drawPixmap(x + 75 + 10, 22,
                     QPixmap(s == 4 ? QStringLiteral(":/greenlight.png")
                                    : QStringLiteral(":/yellowlight.png")));
        p.setPen(Ink);
        p.setFont(font(20, true));
        p.drawText(QRect(s * cell, 78, cell, 30), Qt::AlignCenter, QString::number(s));
    }
    return image;
}

QImage sweepFigure(const Language& lang)
{
    QImage image(ImageWidth, 240, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int left = 70, right = ImageWidth - 100, axisY = 165;
    // The photodiode signal against frequency: a dip at the resonance.
    QPainterPath curve;
    for (int x = left; x <= right; ++x) {
        const double u = (x - left) / double(right - left);
        const double y = 36 + 90 * (0.12 / ((u - 0.58) * (u - 0.58) * 60 + 0.12));
        if (x == left)
            curve.moveTo(x, y);
        else
            curve.lineTo(x, y);
    }
    p.setPen(QPen(Blue, 2.5));
    p.drawPath(curve);
    p.setFont(font(15));
    p.setPen(Ink);
    p.drawText(QRect(left + int((right - left) * 0.58) + 18, 112, 200, 24), Qt::AlignLeft,
               lang.text("resonance", "共振"));

    p.setPen(QPen(Ink, 2));
    p.drawLine(left - 30, axisY, right + 36, axisY);
    p.drawLine(right + 36, axisY, right + 26, axisY - 6);
    p.drawLine(right + 36, axisY, right + 26, axisY + 6);
    p.drawText(QRect(right + 42, axisY - 12, 80, 24), Qt::AlignLeft | Qt::AlignVCenter,
               lang.text("mHz", "毫赫兹"));
    // The sweep points.
    const int steps = 20;
    const auto xAt = [&](int i) { return left + (right - left) * i / steps; };
    p.setPen(QPen(MarkColour, 2));
    for (int i = 0; i <= steps; ++i)
        p.drawLine(xAt(i), axisY - 7, xAt(i), axisY + 7);
    p.setPen(Ink);
    p.drawText(QRect(left - 70, axisY + 12, 140, 24), Qt::AlignCenter,
               lang.text("FS Start", "起始采样频率"));
    p.drawText(QRect(right - 70, axisY + 12, 140, 24), Qt::AlignCenter,
               lang.text("FS End", "终止采样频率"));
    // One step, measured between two neighbouring points.
    const int x0 = xAt(5), x1 = xAt(6), y = axisY + 26;
    p.setPen(QPen(MarkColour, 1.5));
    p.drawLine(x0, axisY + 8, x0, y + 4);
    p.drawLine(x1, axisY + 8, x1, y + 4);
    p.drawLine(x0, y, x1, y);
    p.drawLine(x0, y, x0 + 5, y - 4);
    p.drawLine(x0, y, x0 + 5, y + 4);
    p.drawLine(x1, y, x1 - 5, y - 4);
    p.drawLine(x1, y, x1 - 5, y + 4);
    p.setPen(Ink);
    p.drawText(QRect(x0 - 70, y + 6, x1 - x0 + 140, 24), Qt::AlignCenter,
               lang.text("FS Step", "采样频率步长"));
    return image;
}

QImage recordingFigure(const Language& lang)
{
    QImage image(ImageWidth, 290, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int left = 30, right = ImageWidth - 30, axisY = 250;
    const double start = 10.38, end = 12.62; // hours of the day, UTC
    const auto xOf = [&](double h) { return left + (right - left) * (h - 10.0) / 3.0; };
    p.setFont(font(14));
    p.setPen(QPen(Ink, 1.5));
    p.drawLine(left, axisY, right, axisY);
    for (int h = 10; h <= 13; ++h) {
        const int x = int(xOf(h));
        p.drawLine(x, axisY - 5, x, axisY + 5);
        p.drawText(QRect(x - 40, axisY + 8, 80, 20), Qt::AlignCenter,
                   QStringLiteral("%1:00").arg(h));
    }
    const QString names[] = {QStringLiteral("20250301_102248_MZ_1000Hz.CSV"),
                             QStringLiteral("20250301_110000_MZ_1000Hz.CSV"),
                             QStringLiteral("20250301_120000_MZ_1000Hz.CSV")};
    double from = start;
    for (int i = 0; i < 3; ++i) {
        const double to = std::min(end, std::floor(from) + 1.0);
        const QRectF bar(xOf(from) + 1, 110, xOf(to) - xOf(from) - 2, 30);
        p.setPen(Qt::NoPen);
        p.setBrush(i % 2 ? QColor("#4293E8") : QColor("#2C7ED3"));
        p.drawRoundedRect(bar, 5, 5);
        // The first file's name stands lowest, so that no line crosses a name.
        const double y = 158 + (2 - i) * 24;
        p.setPen(QPen(Ink, 1));
        p.drawLine(QPointF(bar.left() + 6, bar.bottom()), QPointF(bar.left() + 6, y + 4));
        p.setFont(font(13));
        p.drawText(QRectF(bar.left() + 10, y - 6, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   names[i]);
        from = to;
    }
    p.setPen(Ink);
    p.setFont(font(15, true));
    p.drawText(QRectF(xOf(start) - 80, 14, 160, 22), Qt::AlignCenter, lang.text("Save", "保存"));
    p.drawText(QRectF(xOf(end) - 80, 14, 160, 22), Qt::AlignCenter, lang.text("Stop", "停止"));
    // The press lines end at the bars, so that they cross no file name.
    p.setPen(QPen(MarkColour, 2, Qt::DashLine));
    p.drawLine(QPointF(xOf(start), 40), QPointF(xOf(start), 146));
    p.drawLine(QPointF(xOf(end), 40), QPointF(xOf(end), 146));
    p.setPen(Ink);
    p.setFont(font(14));
    p.drawText(QRectF(left, 50, right - left, 22), Qt::AlignCenter,
               lang.text("1000 Hz: a new file at every full hour (UTC)",
                         "1000 Hz：每个整点（UTC）开始一个新文件"));
    p.drawText(QRectF(left, 74, right - left, 22), Qt::AlignCenter,
               lang.text("1 Hz and 20 Hz: a new file at every midnight (UTC)",
                         "1 Hz 和 20 Hz：每天零点（UTC）开始一个新文件"));
    return image;
}

QImage stackedFigure(const QVector<Captioned>& parts)
{
    constexpr int CaptionHeight = 30;
    int width = 0, height = 0;
    for (const Captioned& part : parts) {
        width = std::max(width, part.image.width());
        height += CaptionHeight + part.image.height();
    }
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    int y = 0;
    for (const Captioned& part : parts) {
        p.setPen(Ink);
        p.setFont(font(15, true));
        p.drawText(QRect(4, y, width - 8, CaptionHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   part.caption);
        y += CaptionHeight;
        p.drawImage(0, y, part.image);
        y += part.image.height();
    }
    return image;
}

} // namespace HelpShot
