#pragma once
// Screenshots of the program's window with numbered marks, as the help pages
// show them. GUI thread only.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

class QPainter;
class QWidget;

namespace HelpShot {

// The help browser is 690 px wide at the window's smallest size (1024 x 600),
// and it shows an image larger by the screen's logical DPI over 96 (101 DPI on
// Xvfb): wider images would make the topics scroll sideways there.
constexpr int ImageWidth = 640;

extern const QColor MarkColour;
extern const QColor Ink;
extern const QColor Blue;

QFont font(int pixels, bool bold = false);

// Where a mark stands, relative to what it points at.
enum class Side
{
    Above, // in a band above the picture, with a line down to the target
    Below, // in a band below the picture, with a line up to the target
    Right, // just right of the target, on its middle (next to a text)
    On,    // on the target, at `at` (fractions of its width and height)
};

struct Mark
{
    QRectF target; // in the coordinates of the shot's root widget
    int number;
    Side side;
    QPointF at{0.5, 0.5};
};

// A widget's rectangle in the coordinates of `root`.
QRectF rectOf(const QWidget* root, const QWidget* widget);
// The part of a label, button or check box that its text (with icon or
// indicator) takes, from its left edge.
QRectF textRectOf(const QWidget* root, const QWidget* widget);

// One numbered mark centred on `at`.
void drawMark(QPainter& p, const QPointF& at, int number);

// The region of `root`'s window as shown on screen, scaled down to at most
// `width` pixels (never up), with the marks.
QImage shot(QWidget* root, const QRect& region, const QVector<Mark>& marks, int width = ImageWidth);

// Writes the PNG and prints its path; false when it cannot be written.
bool save(const QImage& image, const QString& dir, const QString& name);

} // namespace HelpShot
