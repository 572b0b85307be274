// help-shots --out DIR [--instrument PATH]
//
// Draws the images of the help pages into DIR: the program's main window with
// the virtual instrument streaming, in English and in Chinese, with numbered
// marks that the help texts refer to; the debug page; the two charts of the
// sensitivity page drawn from the decoder's own spectrum; and figures of the
// lock progress, the frequency sweep and the recording files. Needs a display
// (scripts/help_images.sh runs it under Xvfb).

#include "app/ParamManager.h"
#include "app/RuntimePaths.h"
#include "ui/Fonts.h"
#include "ui/GuiPause.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {
constexpr int ImageWidth = 860; // the help pages show the images at this width
const QColor MarkColour(232, 89, 12);
const QColor Ink(43, 59, 80);
const QColor Blue(22, 103, 186);

struct Language
{
    const char* suffix;
    bool chinese;
    QString text(const char* english, const char* chineseText) const
    {
        return QString::fromUtf8(chinese ? chineseText : english);
    }
};

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

QFont font(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("MiSans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A numbered mark centred on the point.
void mark(QPainter& p, const QPointF& at, int number)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(MarkColour);
    p.drawEllipse(at, 13, 13);
    p.setFont(font(16, true));
    p.drawText(QRectF(at.x() - 13, at.y() - 13, 26, 26), Qt::AlignCenter, QString::number(number));
    p.restore();
}

enum class Side
{
    Above,  // in a band above the picture, with a line down to the widget
    Below,  // in a band below it, with a line up to the widget
    Centre, // on the widget's centre
};

struct Mark
{
    QWidget* widget;
    int number;
    Side side;
};

// The region of `root` shown by `area`, scaled to the help width, with marks
// that cover nothing of it but the centre marks.
QImage shot(QWidget* root, const QRect& region, const QVector<Mark>& marks, int width = ImageWidth)
{
    constexpr int Band = 34;
    root->repaint();
    QCoreApplication::processEvents();
    const QImage full = root->screen()->grabWindow(root->winId()).toImage();
    const QImage picture = full.copy(region).scaledToWidth(width, Qt::SmoothTransformation);
    const double scale = double(width) / region.width();
    bool above = false, below = false;
    for (const Mark& m : marks) {
        above |= m.side == Side::Above;
        below |= m.side == Side::Below;
    }
    const int top = above ? Band : 0;
    QImage image(width, picture.height() + top + (below ? Band : 0), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawImage(0, top, picture);
    p.setRenderHint(QPainter::Antialiasing);
    for (const Mark& m : marks) {
        const QRectF r(QPointF(m.widget->mapTo(root, QPoint(0, 0)) - region.topLeft()) * scale,
                       QSizeF(m.widget->size()) * scale);
        const double x = qBound(14.0, r.center().x(), width - 14.0);
        QPointF at(x, top + r.center().y());
        if (m.side == Side::Above) {
            at.setY(Band / 2);
            p.setPen(QPen(MarkColour, 2));
            p.drawLine(QPointF(x, Band / 2 + 12), QPointF(x, top + std::max(0.0, r.top())));
        } else if (m.side == Side::Below) {
            at.setY(image.height() - Band / 2);
            p.setPen(QPen(MarkColour, 2));
            p.drawLine(QPointF(x, image.height() - Band / 2 - 12),
                       QPointF(x, top + std::min<double>(picture.height(), r.bottom())));
        }
        mark(p, at, m.number);
    }
    return image;
}

QRect regionOf(QWidget* root, QWidget* area)
{
    return QRect(area->mapTo(root, QPoint(0, 0)), area->size());
}

QImage shot(QWidget* root, QWidget* area, const QVector<Mark>& marks, int width = ImageWidth)
{
    return shot(root, regionOf(root, area), marks, width);
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

void styleAxes(QCustomPlot& plot)
{
    QLinearGradient background(0, 0, 0, 1);
    background.setCoordinateMode(QGradient::ObjectBoundingMode);
    background.setColorAt(0, QColor("#FFFFFF"));
    background.setColorAt(1, QColor("#EDF6FF"));
    plot.axisRect()->setBackground(QBrush(background));
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
        axis->setBasePen(QPen(QColor("#CDDBEB")));
        axis->setTickPen(QPen(QColor("#CDDBEB")));
        axis->setSubTickPen(QPen(QColor("#CDDBEB")));
        axis->setTickLength(0);
        axis->setSubTickLength(0);
        axis->grid()->setSubGridVisible(true);
        axis->setTickLabelColor(Ink);
        axis->setLabelColor(Ink);
        axis->setTickLabelFont(font(14));
        axis->setLabelFont(font(15));
    }
}

// The sensitivity page's two charts: the field samples of the last FFT window
// and their amplitude spectral density.
QImage spectrumFigure(const Language& lang, const QVector<double>& window,
                      const QVector<double>& freqs, const QVector<double>& amps, int xAxisUpper)
{
    QCustomPlot top, bottom;
    for (QCustomPlot* plot : {&top, &bottom}) {
        styleAxes(*plot);
        plot->addGraph()->setPen(QPen(Blue, 1));
    }
    QVector<double> keys(window.size());
    for (int i = 0; i < window.size(); ++i)
        keys[i] = i * 0.001;
    top.graph(0)->setData(keys, window, true);
    top.rescaleAxes();
    top.xAxis->setRange(0, 10);
    bottom.graph(0)->setData(freqs, amps);
    bottom.xAxis->setLabel(lang.text("Frequency(Hz)", "频率(Hz)"));
    bottom.yAxis->setLabel(lang.text("Sens(nT/Hz^0.5)", "灵敏度(nT/Hz^0.5)"));
    bottom.xAxis->setRange(0, xAxisUpper);
    QSharedPointer<QCPAxisTickerFixed> fixed(new QCPAxisTickerFixed);
    fixed->setTickStep(25);
    fixed->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    bottom.xAxis->setTicker(fixed);
    bottom.yAxis->setScaleType(QCPAxis::stLogarithmic);
    bottom.yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    bottom.yAxis->setNumberFormat("eb");
    bottom.yAxis->setNumberPrecision(0);
    bottom.yAxis->setRange(1e-5, 1);

    QImage image(ImageWidth, 560, QImage::Format_RGB32);
    image.fill(QColor("#F4F8FC"));
    QPainter p(&image);
    p.drawPixmap(0, 0, top.toPixmap(ImageWidth, 220));
    p.drawPixmap(0, 230, bottom.toPixmap(ImageWidth, 330));
    return image;
}

// The five lock levels of the battery icon, with the status light.
QImage lockFigure()
{
    QImage image(ImageWidth, 130, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int cell = ImageWidth / 5;
    for (int s = 0; s <= 4; ++s) {
        const int x = s * cell + (cell - 75 - 12 - 44) / 2;
        p.drawPixmap(x, 30, QPixmap(QStringLiteral(":/battery%1.png").arg(s)));
        p.drawPixmap(x + 75 + 12, 28,
                     QPixmap(s == 4 ? QStringLiteral(":/greenlight.png")
                                    : QStringLiteral(":/yellowlight.png")));
        p.setPen(Ink);
        p.setFont(font(20, true));
        p.drawText(QRect(s * cell, 84, cell, 30), Qt::AlignCenter, QString::number(s));
    }
    return image;
}

// The sweep: start, end and step on the frequency axis, and the resonance the
// instrument looks for between them.
QImage sweepFigure(const Language& lang)
{
    QImage image(ImageWidth, 250, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int left = 80, right = ImageWidth - 110, axisY = 170;
    // Photodiode signal against frequency: a dip at the resonance.
    QPainterPath curve;
    for (int x = left; x <= right; ++x) {
        const double u = (x - left) / double(right - left);
        const double y = 40 + 90 * (0.12 / ((u - 0.58) * (u - 0.58) * 60 + 0.12));
        if (x == left)
            curve.moveTo(x, y);
        else
            curve.lineTo(x, y);
    }
    p.setPen(QPen(Blue, 2.5));
    p.drawPath(curve);
    p.setFont(font(15));
    p.setPen(Ink);
    p.drawText(QRect(left + int((right - left) * 0.58) + 20, 118, 200, 24), Qt::AlignLeft,
               lang.text("resonance", "共振"));

    p.setPen(QPen(Ink, 2));
    p.drawLine(left - 30, axisY, right + 40, axisY);
    p.drawLine(right + 40, axisY, right + 30, axisY - 6);
    p.drawLine(right + 40, axisY, right + 30, axisY + 6);
    p.drawText(QRect(right + 46, axisY - 12, 120, 24), Qt::AlignLeft | Qt::AlignVCenter,
               lang.text("mHz", "毫赫兹"));
    // The sweep points.
    const int steps = 24;
    const auto xAt = [&](int i) { return left + (right - left) * i / steps; };
    p.setPen(QPen(MarkColour, 2));
    for (int i = 0; i <= steps; ++i)
        p.drawLine(xAt(i), axisY - 7, xAt(i), axisY + 7);
    p.setPen(Ink);
    p.drawText(QRect(left - 80, axisY + 12, 160, 24), Qt::AlignCenter,
               lang.text("FS Start", "起始采样频率"));
    p.drawText(QRect(right - 80, axisY + 12, 160, 24), Qt::AlignCenter,
               lang.text("FS End", "终止采样频率"));
    // One step, measured between two neighbouring points.
    const int x0 = xAt(6), x1 = xAt(7), y = axisY + 26;
    p.setPen(QPen(MarkColour, 1.5));
    p.drawLine(x0, axisY + 8, x0, y + 4);
    p.drawLine(x1, axisY + 8, x1, y + 4);
    p.drawLine(x0, y, x1, y);
    p.drawLine(x0, y, x0 + 5, y - 4);
    p.drawLine(x0, y, x0 + 5, y + 4);
    p.drawLine(x1, y, x1 - 5, y - 4);
    p.drawLine(x1, y, x1 - 5, y + 4);
    p.setPen(Ink);
    p.drawText(QRect(x0 - 80, y + 6, x1 - x0 + 160, 24), Qt::AlignCenter,
               lang.text("FS Step", "采样频率步长"));
    return image;
}

// Recording files: one per full hour at 1000 Hz, one per UTC day at the others.
QImage recordingFigure(const Language& lang)
{
    QImage image(ImageWidth, 270, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int left = 40, right = ImageWidth - 40, axisY = 230;
    const double start = 10.38, end = 13.6; // hours of the day, UTC
    const auto xOf = [&](double h) { return left + (right - left) * (h - 10.0) / 4.0; };
    p.setFont(font(14));
    p.setPen(QPen(Ink, 1.5));
    p.drawLine(left, axisY, right, axisY);
    for (int h = 10; h <= 14; ++h) {
        const int x = int(xOf(h));
        p.drawLine(x, axisY - 5, x, axisY + 5);
        p.drawText(QRect(x - 40, axisY + 8, 80, 20), Qt::AlignCenter,
                   QStringLiteral("%1:00").arg(h));
    }
    const QString names[] = {"20250301_102248_MZ_1000Hz.CSV", "20250301_110000_MZ_1000Hz.CSV",
                             "20250301_120000_MZ_1000Hz.CSV", "20250301_130000_MZ_1000Hz.CSV"};
    double from = start;
    for (int i = 0; i < 4; ++i) {
        const double to = std::min(end, std::floor(from) + 1.0);
        const QRectF bar(xOf(from) + 1, 110, xOf(to) - xOf(from) - 2, 30);
        p.setPen(Qt::NoPen);
        p.setBrush(i % 2 ? QColor("#4293E8") : QColor("#2C7ED3"));
        p.drawRoundedRect(bar, 5, 5);
        // The names stand in two rows under the bars, so that each has room.
        const double y = 150 + (i % 2) * 26;
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
    p.setPen(QPen(MarkColour, 2, Qt::DashLine));
    p.drawLine(QPointF(xOf(start), 40), QPointF(xOf(start), axisY - 6));
    p.drawLine(QPointF(xOf(end), 40), QPointF(xOf(end), axisY - 6));
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
} // namespace

int main(int argc, char** argv)
{
    registerMainMetaTypes();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    registerFontSubstitutions();

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"out", "Folder for the images.", "dir"});
    parser.addOption(
        {"instrument", "The virtual instrument.", "path",
         QCoreApplication::applicationDirPath() + "/../virtual-instrument/virtual-instrument"});
    parser.process(app);
    if (!parser.isSet("out"))
        parser.showHelp(2);
    const QString out = QDir(parser.value("out")).absolutePath();
    QDir().mkpath(out);

    // A working folder of its own, so that no config.ini or log is touched.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    RuntimePaths::setAppDir(work.path());
    qputenv("MAG_PORT_DIR", work.filePath("ports").toLocal8Bit());

    QProcess instrument;
    instrument.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    instrument.start(parser.value("instrument"), {"--lock-step-ms", "400", "--seed", "5"});
    QString port;
    waitUntil(
        [&] {
            if (instrument.canReadLine()) {
                const QList<QByteArray> words = instrument.readLine().trimmed().split(' ');
                if (words.size() == 3 && words[0] == "PORT")
                    port = QString::fromLatin1(words[1]);
            }
            return !port.isEmpty() || instrument.state() == QProcess::NotRunning;
        },
        10000);
    if (port.isEmpty()) {
        std::fprintf(stderr, "the virtual instrument did not start\n");
        return 1;
    }

    ParamManager hub;
    hub.isTest = 1;
    MainWindow window(&hub);
    window.resize(1280, 720);
    window.move(0, 0);
    window.show();
    QVector<double> lastWindow, freqs, amps;
    QObject::connect(
        &hub, &ParamManager::sig_updateFormEx, &window,
        [&](const QVector<double>& datas, const QVector<double>& f, const QVector<double>& a) {
            lastWindow += datas;
            if (lastWindow.size() > 10000)
                lastWindow.remove(0, lastWindow.size() - 10000);
            if (!f.isEmpty()) {
                freqs = f;
                amps = a;
            }
        });

    auto* mainPage = window.findChild<MainModuleForm*>();
    mainPage->slot_handleActionTriggered(port, QVariant());
    const bool streaming = waitUntil(
        [&] {
            auto* plot = mainPage->findChild<QCustomPlot*>("mainChart");
            return hub.isDeviceReady() && plot->graph(0)->dataCount() >= 10000 &&
                   !freqs.isEmpty() && lastWindow.size() >= 10000;
        },
        60000);
    if (!streaming) {
        std::fprintf(stderr, "no stream from the virtual instrument\n");
        return 1;
    }

    auto* languageMenu = window.findChild<CustomMenu*>(QString(), Qt::FindDirectChildrenOnly);
    const auto child = [&](const char* name) { return window.findChild<QWidget*>(name); };
    // Pages share object names; the main page's own are looked up in it.
    const auto onMain = [&](const char* name) { return mainPage->findChild<QWidget*>(name); };
    bool ok = true;
    const Language languages[] = {{"en", false}, {"zh", true}};
    for (const Language& lang : languages) {
        emit languageMenu->triggered(
            lang.chinese ? QStringLiteral("中文") : QStringLiteral("English"), QVariant());
        settle(300);
        const QString suffix = QString::fromLatin1(lang.suffix);
        ok &= save(shot(&window, &window,
                        {{child("widget_topButtons"), 1, Side::Above},
                         {child("btn_Language"), 2, Side::Above},
                         {child("btn_Min"), 3, Side::Above},
                         {child("stackedWidget"), 4, Side::Centre},
                         {child("bottomWidget"), 5, Side::Below}}),
                   out, "window-" + suffix + ".png");
        ok &= save(shot(&window, child("stackedWidget"),
                        {{onMain("btn_com"), 1, Side::Above},
                         {onMain("edt_devName"), 2, Side::Above},
                         {onMain("lableBattery"), 3, Side::Above},
                         {onMain("btn_ReStart"), 4, Side::Above},
                         {onMain("btn_pause"), 5, Side::Above},
                         {onMain("frameStatus"), 6, Side::Above},
                         {onMain("mainChart"), 7, Side::Centre},
                         {onMain("edt_setTime"), 8, Side::Below},
                         {onMain("edt_samples"), 9, Side::Below},
                         {onMain("edt_mear"), 10, Side::Below},
                         {onMain("edt_svg"), 11, Side::Below}}),
                   out, "mainpage-" + suffix + ".png");
        ok &= save(shot(&window, child("bottomWidget"),
                        {{child("btn_clearPlot"), 1, Side::Above},
                         {child("edt_lowPass"), 2, Side::Above},
                         {child("edt_highPass"), 3, Side::Above},
                         {child("edt_dataRate"), 4, Side::Above},
                         {child("btn_reboot"), 5, Side::Above}}),
                   out, "bottombar-" + suffix + ".png");
        ok &= save(spectrumFigure(lang, lastWindow, freqs, amps, hub.xAxisUpper), out,
                   "spectrum-" + suffix + ".png");
        ok &= save(sweepFigure(lang), out, "sweep-" + suffix + ".png");
        ok &= save(recordingFigure(lang), out, "recording-" + suffix + ".png");
    }
    ok &= save(lockFigure(), out, "lock.png");

    // The debug page, in test mode, with its read-backs and set points filled.
    GuiPause::setScalePercent(20);
    window.findChild<QPushButton*>("btnMonitor")->click();
    auto* debugPage = window.findChild<MonitorModuleForm*>();
    waitUntil([&] { return debugPage->findChild<QLineEdit*>("edt_laserTempSet")->text() != "0"; },
              10000);
    for (const Language& lang : languages) {
        emit languageMenu->triggered(
            lang.chinese ? QStringLiteral("中文") : QStringLiteral("English"), QVariant());
        settle(1500);
        const QRect cards =
            regionOf(&window, debugPage->findChild<QWidget*>("frame"))
                .united(regionOf(&window, debugPage->findChild<QWidget*>("frame_2")))
                .adjusted(-16, -12, 16, 20);
        ok &= save(shot(&window, cards, {}), out,
                   QStringLiteral("debugpage-%1.png").arg(lang.suffix));
    }
    window.findChild<QPushButton*>("btnMain")->click();
    window.close();
    instrument.terminate();
    instrument.waitForFinished(5000);
    return ok ? 0 : 1;
}
