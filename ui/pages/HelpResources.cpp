#include "ui/pages/HelpResources.h"

#include "app/RegularFile.h"

#include <QBuffer>
#include <QDebug>
#include <QFileInfo>
#include <QImageReader>
#include <QTextDocument>

namespace HelpResources {

namespace {
// Resolved as Qt resolves a source of a page shown with setHtml: a file URL or
// a path, a relative one against the working directory. Other schemes (qrc,
// http, data) name no file of the help folder: empty.
QString localPath(const QUrl& name)
{
    if (name.scheme() == QLatin1String("file"))
        return name.toLocalFile();
    if (!name.scheme().isEmpty())
        return QString();
    const QString path = name.path();
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

bool inside(const QString& path, const QString& folder)
{
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return !folder.isEmpty() && path.startsWith(folder + QLatin1Char('/'), cs);
}

QVariant refused(int type, const QUrl& name, const QString& why)
{
    qDebug().noquote() << "help:" << name.toString() << "not shown:" << why;
    if (type == QTextDocument::ImageResource)
        return missingImage();
    return QByteArray(""); // empty, but not null
}

// The image, when its header gives a size within the bound.
QImage decode(const QByteArray& bytes, QString* why)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > MaxImagePixels) {
        *why = size.isValid() ? QStringLiteral("larger than %1 pixels").arg(MaxImagePixels)
                              : QStringLiteral("not an image of known size");
        return QImage();
    }
    const QImage image = reader.read();
    if (image.isNull())
        *why = QStringLiteral("not an image");
    return image;
}
} // namespace

QVariant load(int type, const QUrl& name, const QString& folder)
{
    const QString path = localPath(name);
    if (path.isEmpty())
        return refused(type, name, QStringLiteral("not a file"));
    // Links resolved, so that none leads out of the folder.
    const QString root = QFileInfo(folder).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return refused(type, name, QStringLiteral("missing"));
    if (!inside(target, root))
        return refused(type, name, QStringLiteral("outside the help folder %1").arg(folder));

    const qint64 bound = type == QTextDocument::ImageResource ? MaxImageBytes : MaxPageBytes;
    const RegularFile::Contents file = RegularFile::read(target, bound);
    if (file.status != RegularFile::Status::Ok)
        return refused(type, name,
                       file.status == RegularFile::Status::TooLarge
                           ? QStringLiteral("larger than %1 bytes").arg(bound)
                           : RegularFile::describe(file.status));
    if (type != QTextDocument::ImageResource)
        return file.bytes;
    QString why;
    const QImage image = decode(file.bytes, &why);
    if (image.isNull())
        return refused(type, name, why);
    return image;
}

QImage missingImage()
{
    static const QImage icon = [] {
        QImage image(QStringLiteral(":/qt-project.org/styles/commonstyle/images/file-16.png"));
        if (image.isNull()) {
            // Not null either way: a null image would make Qt look for the file.
            image = QImage(16, 16, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
        }
        return image;
    }();
    return icon;
}

} // namespace HelpResources
