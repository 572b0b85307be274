#pragma once
// Screenshots of the tests that run under xvfb-run: the window as the operator
// sees it, kept as test artefacts, and the pixel counts that tell a drawn trace.

#include <QColor>
#include <QImage>
#include <QString>

class QWidget;

namespace Screenshots {

// Shows the window at its design size (1280 x 720) in the screen's corner and
// waits until it is exposed.
bool showAtDesignSize(QWidget& window);
// The window as the screen shows it, after a repaint, in RGB32.
QImage grab(QWidget& window);
// Writes the shot and names it on the test's output.
bool save(const QImage& shot, const QString& path);
// Pixels of the hue of `colour` (a trace, anti-aliased onto a light card) inside
// the widget's area of a shot of `window`.
int colourPixels(const QImage& shot, QWidget* window, QWidget* widget, const QColor& colour);

} // namespace Screenshots

#ifdef MAG_ARTEFACT_DIR
// Grabs the window and keeps it as the artefact `name` of this test.
inline QImage grabArtefact(QWidget& window, const QString& name)
{
    const QImage shot = Screenshots::grab(window);
    Screenshots::save(shot, QStringLiteral(MAG_ARTEFACT_DIR "/") + name);
    return shot;
}
#endif
