#include "tests/support/Screenshots.h"

#include <QCoreApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace Screenshots {

bool showAtDesignSize(QWidget& window)
{
    window.resize(1280, 720);
    window.move(0, 0);
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

QImage grab(QWidget& window)
{
    window.repaint();
    QCoreApplication::processEvents();
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

bool save(const QImage& shot, const QString& path)
{
    if (!shot.save(path)) {
        qWarning("cannot write %s", qPrintable(path));
        return false;
    }
    qInfo("screenshot: %s", qPrintable(path));
    return true;
}

int colourPixels(const QImage& shot, QWidget* window, QWidget* widget, const QColor& colour)
{
    const QRect box(widget->mapTo(window, QPoint(0, 0)), widget->size());
    int count = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            const int hue = std::abs(c.hsvHue() - colour.hsvHue());
            count += c.hsvSaturation() > 80 && std::min(hue, 360 - hue) < 12 ? 1 : 0;
        }
    return count;
}

} // namespace Screenshots
