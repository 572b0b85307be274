#pragma once
// What the help view loads beside a page: images, style sheets and linked
// pages, read only from inside the page's folder and only as plain files of a
// bounded size (through RegularFile, so that a FIFO cannot block the window);
// images are decoded only up to a bounded size. A source outside the folder,
// or one that is not such a file, loads as Qt shows a missing one: the
// missing-image icon, or an empty text. Qt's own loader would read whatever a
// source names, to its end: file:///dev/zero in a page took gigabytes. GUI
// thread only.

#include <QImage>
#include <QString>
#include <QUrl>
#include <QVariant>

namespace HelpResources {

// Larger pages are not shown: Qt lays out one long unbroken line, or lists
// nested in each other, in a time that grows with the square of the length
// (an unbroken line of 256 KB took 3.4 s). At this bound, well above the shipped
// pages (18 KB at most), the slowest such page shows in about a second. Style
// sheets and pages reached by a link have the same bound.
constexpr qint64 MaxPageBytes = 48 * 1024;
// The shipped images are 640 pixels wide and 140 KB at most.
constexpr qint64 MaxImageBytes = 2 * 1024 * 1024;
constexpr qint64 MaxImagePixels = 4096 * 4096;

// The resource `name` (a QTextDocument::ResourceType) as the view takes it: a
// QImage for an image, the bytes of anything else. Never a null value, which
// would make Qt read the source itself.
QVariant load(int type, const QUrl& name, const QString& folder);

// What Qt shows for an image it cannot find.
QImage missingImage();

} // namespace HelpResources
