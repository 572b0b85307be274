// Build-time renderer of the image sources: an SVG to a PNG at its own size,
// or an SVG to a multi-size Windows icon (PNG-compressed entries).
//   svg2png <in.svg> <out.png>
//   svg2png --ico <in.svg> <out.ico> <size>...

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>
#include <QtEndian>

#include <cstdio>

namespace {

QImage render(QSvgRenderer& renderer, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image;
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void putLe16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void putLe32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// ICONDIR, one ICONDIRENTRY per size, then the PNG data of each entry.
QByteArray iconFile(QSvgRenderer& renderer, const QList<int>& sizes)
{
    QList<QByteArray> images;
    for (int s : sizes)
        images << pngBytes(render(renderer, QSize(s, s)));
    QByteArray out;
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, quint16(sizes.size()));
    quint32 offset = quint32(6 + 16 * sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        const int s = sizes.at(i);
        out.append(char(s >= 256 ? 0 : s));
        out.append(char(s >= 256 ? 0 : s));
        out.append(char(0)); // no palette
        out.append(char(0));
        putLe16(out, 1);  // colour planes
        putLe16(out, 32); // bits per pixel
        putLe32(out, quint32(images.at(i).size()));
        putLe32(out, offset);
        offset += quint32(images.at(i).size());
    }
    for (const QByteArray& png : images)
        out.append(png);
    return out;
}

int fail(const QString& text)
{
    QTextStream(stderr) << "svg2png: " << text << '\n';
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // Without a session there is no runtime folder; that is of no concern here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith(QLatin1String("QStandardPaths:")))
            QTextStream(stderr) << (type == QtDebugMsg ? "" : "svg2png: ") << text << '\n';
    });
    // Text in the sources needs the font database, which needs a platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);

    const bool ico = !args.isEmpty() && args.first() == QLatin1String("--ico");
    if (ico)
        args.removeFirst();
    if (args.size() < 2 || (ico && args.size() < 3) || (!ico && args.size() != 2))
        return fail(QStringLiteral(
            "usage: svg2png <in.svg> <out.png> | --ico <in.svg> <out.ico> <size>..."));

    QSvgRenderer renderer(args.at(0));
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(args.at(0)));

    QByteArray data;
    if (ico) {
        QList<int> sizes;
        for (const QString& s : args.mid(2)) {
            bool ok = false;
            const int v = s.toInt(&ok);
            if (!ok || v < 1 || v > 256)
                return fail(QStringLiteral("bad icon size %1").arg(s));
            sizes << v;
        }
        data = iconFile(renderer, sizes);
    } else {
        data = pngBytes(render(renderer, renderer.defaultSize()));
    }

    QFile out(args.at(1));
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
        return fail(QStringLiteral("cannot write %1").arg(args.at(1)));
    return 0;
}
