// help-shots --out DIR [--instrument PATH]
//
// Draws the images of the help pages into DIR: screenshots of the program's
// own window driving the virtual instrument, in English and in Chinese, with
// numbered marks that the help texts refer to (the window, the main page, the
// bottom bar, the sensitivity page with its spectrum and a read-out, the
// spectrum with filtering on and off, the save page idle and recording, the
// settings page and the debug page), and figures of what a screenshot cannot
// show (lock levels, the sweep, a recording split into files). The window is
// as narrow as it goes and as tall as it opens, so that the pictures keep
// their texts legible at the width the help browser has at its smallest.
// Needs a display (scripts/help_images.sh runs it under Xvfb).

#include "Figures.h"
#include "Shot.h"

#include "app/ParamManager.h"
#include "app/RuntimePaths.h"
#include "services/SaveModuleForm.h"
#include "ui/Fonts.h"
#include "ui/GuiPause.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/pages/ConfigModuleForm.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/CustomPlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace HelpShot;

namespace {
const Language Languages[] = {{"en", false}, {"zh", true}};

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

// Starts the virtual instrument and returns the port it publishes.
QString startInstrument(QProcess& instrument, const QString& path)
{
    instrument.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    instrument.start(path, {"--lock-step-ms", "400", "--seed", "5"});
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
    return port;
}

// The program's window, as narrow as it goes, linked to the instrument.
struct Program
{
    ParamManager hub;
    MainWindow* window = nullptr;

    explicit Program(bool testMode)
    {
        hub.isTest = testMode ? 1 : 0;
        window = new MainWindow(&hub);
        window->resize(window->minimumWidth(), 720);
        window->move(0, 0);
        window->show();
    }
    ~Program()
    {
        window->close();
        delete window;
    }
    bool connect(const QString& port)
    {
        window->findChild<MainModuleForm*>()->slot_handleActionTriggered(port, QVariant());
        return waitUntil([this] { return hub.isDeviceReady(); }, 30000);
    }
    // The language menu's choice, as the operator makes it.
    void chooseLanguage(const Language& lang)
    {
        auto* menu = window->findChild<CustomMenu*>(QString(), Qt::FindDirectChildrenOnly);
        emit menu->triggered(lang.chinese ? QStringLiteral("中文") : QStringLiteral("English"),
                             QVariant());
        settle(300);
    }
    void showPage(const char* button)
    {
        window->findChild<QPushButton*>(button)->click();
        settle(300);
    }
    template <typename T = QWidget> T* child(const char* name, QObject* in = nullptr) const
    {
        return (in ? in : window)->findChild<T*>(QString::fromLatin1(name));
    }
    // Rectangles in the window's coordinates, of a widget or of a named child.
    QRectF rect(const QWidget* w) const { return HelpShot::rectOf(window, w); }
    QRectF rectOf(const char* name, QObject* in = nullptr) const { return rect(child(name, in)); }
    QRectF textRectOf(const char* name, QObject* in = nullptr) const
    {
        return HelpShot::textRectOf(window, child(name, in));
    }
    QRect region(const QWidget* w) const { return rect(w).toRect(); }
    QRect regionOf(const char* name, QObject* in = nullptr) const
    {
        return region(child(name, in));
    }
};

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& at, Qt::MouseButton button)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// The visible texts of a plot's read-out, in window coordinates.
QRectF readOutRect(const Program& program, CustomPlot* plot)
{
    QRectF area;
    for (int i = 0; i < plot->itemCount(); ++i) {
        auto* text = qobject_cast<QCPItemText*>(plot->item(i));
        if (!text || !text->visible() || text->text().isEmpty())
            continue;
        const QFontMetrics metrics(text->font());
        QRectF r(QPointF(), QSizeF(metrics.horizontalAdvance(text->text()), metrics.height()));
        r.moveCenter(text->position->pixelPosition());
        area = area.united(r.translated(program.rect(plot).topLeft()));
    }
    return area;
}

bool mainWindowShots(Program& program, const QString& out)
{
    auto* mainPage = program.window->findChild<MainModuleForm*>();
    bool ok = true;
    for (const Language& lang : Languages) {
        program.chooseLanguage(lang);
        const QString suffix = QString::fromLatin1(lang.suffix);
        QWidget* window = program.window;
        ok &= save(shot(window, window->rect(),
                        {{program.rectOf("widget_topButtons"), 1, Side::Above},
                         {program.rectOf("btn_Language"), 2, Side::Above},
                         {program.rectOf("btn_Min"), 3, Side::Above},
                         {program.rectOf("stackedWidget"), 4, Side::On},
                         {program.rectOf("bottomWidget"), 5, Side::Below}}),
                   out, "window-" + suffix + ".png");
        ok &= save(shot(window, program.regionOf("stackedWidget"),
                        {{program.rectOf("btn_com", mainPage), 1, Side::Above},
                         {program.rectOf("edt_devName", mainPage), 2, Side::Above},
                         {program.rectOf("lableBattery", mainPage), 3, Side::Above},
                         {program.rectOf("btn_ReStart", mainPage), 4, Side::Above},
                         {program.rectOf("btn_pause", mainPage), 5, Side::Above},
                         {program.rectOf("frameStatus", mainPage), 6, Side::Above},
                         {program.rectOf("mainChart", mainPage), 7, Side::On},
                         {program.rectOf("edt_setTime", mainPage), 8, Side::Below},
                         {program.rectOf("edt_samples", mainPage), 9, Side::Below},
                         {program.rectOf("edt_mear", mainPage), 10, Side::Below},
                         {program.rectOf("edt_svg", mainPage), 11, Side::Below}}),
                   out, "mainpage-" + suffix + ".png");
        ok &= save(shot(window, program.regionOf("bottomWidget"),
                        {{program.rectOf("btn_clearPlot"), 1, Side::Above},
                         {program.rectOf("edt_lowPass"), 2, Side::Above},
                         {program.rectOf("edt_highPass"), 3, Side::Above},
                         {program.rectOf("edt_dataRate"), 4, Side::Above},
                         {program.rectOf("btn_reboot"), 5, Side::Above}}),
                   out, "bottombar-" + suffix + ".png");
    }
    return ok;
}

// The sensitivity page with a full window, its spectrum and a read-out; then
// the spectrum alone with filtering on (as the program starts) and off.
bool sensitivityShots(Program& program, const QString& out)
{
    program.showPage("btnSensitivity");
    auto* page = program.window->findChild<SensitivityModuleForm*>();
    auto* chart1 = program.child<CustomPlot>("chart1", page);
    auto* chart2 = program.child<CustomPlot>("chart2", page);
    const auto spectrumShown = [&] {
        return chart1->graph(0)->dataCount() == 10000 && chart2->graph(0)->dataCount() == 5000;
    };
    if (!waitUntil(spectrumShown, 40000)) {
        std::fprintf(stderr, "the sensitivity page shows no spectrum\n");
        return false;
    }
    // A right-button press on the noise floor at 60 Hz shows the read-out.
    double floor = 0.0;
    {
        QVector<double> values;
        for (auto it = chart2->graph(0)->data()->findBegin(55.0);
             it != chart2->graph(0)->data()->constEnd() && it->key < 65.0; ++it)
            values << it->value;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        floor = values.isEmpty() ? 1e-3 : values.at(values.size() / 2);
    }
    const QPoint pressAt(int(chart2->xAxis->coordToPixel(60.0)),
                         int(chart2->yAxis->coordToPixel(floor)));
    sendMouse(chart2, QEvent::MouseButtonPress, pressAt, Qt::RightButton);

    const auto spectrumChart = [&] {
        chart2->replot(QCustomPlot::rpImmediateRefresh);
        return shot(program.window, program.region(chart2), {});
    };
    bool ok = true;
    QImage filteredChart[2];
    for (int i = 0; i < 2; ++i) {
        const Language& lang = Languages[i];
        program.chooseLanguage(lang);
        chart1->replot(QCustomPlot::rpImmediateRefresh);
        chart2->replot(QCustomPlot::rpImmediateRefresh);
        const QRect region =
            program.regionOf("stackedWidget").united(program.regionOf("bottomWidget"));
        const QRectF readOut = readOutRect(program, chart2);
        ok &= save(shot(program.window, region,
                        {{program.rect(chart1), 1, Side::Above},
                         {program.rect(chart2), 2, Side::On, {0.5, 0.12}},
                         {readOut, 3, Side::Right},
                         {program.rectOf("edt_fftTime"), 4, Side::Below},
                         {program.rectOf("edt_dataRate"), 5, Side::Below},
                         {program.rectOf("btn_clearPlot"), 6, Side::Below}}),
                   out, QStringLiteral("sensitivitypage-%1.png").arg(lang.suffix));
    }
    sendMouse(chart2, QEvent::MouseButtonRelease, pressAt, Qt::RightButton);
    chart2->hideCrosshair();
    for (int i = 0; i < 2; ++i) {
        program.chooseLanguage(Languages[i]);
        filteredChart[i] = spectrumChart();
    }

    // The settings page's switch, turned as the operator turns it there.
    auto* filter = program.child<QCheckBox>("chk_filter");
    filter->setChecked(false);
    int batches = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&program.hub, &ParamManager::sig_updateForm, program.window,
                         [&batches](const QVector<double>&, FrequencyType) { ++batches; });
    // A whole window of unfiltered values: 10 s at 1000 Hz, 50 values a batch.
    if (!waitUntil([&] { return batches > 220; }, 30000)) {
        std::fprintf(stderr, "no unfiltered window after the filter was switched off\n");
        ok = false;
    }
    QObject::disconnect(counting);
    for (int i = 0; i < 2; ++i) {
        const Language& lang = Languages[i];
        program.chooseLanguage(lang);
        const QImage unfiltered = spectrumChart();
        ok &=
            save(stackedFigure({{lang.text("Enable filtering: on (as the program starts)",
                                           "启用滤波：开（程序启动时）"),
                                 filteredChart[i]},
                                {lang.text("Enable filtering: off", "启用滤波：关"), unfiltered}}),
                 out, QStringLiteral("filter-%1.png").arg(lang.suffix));
    }
    filter->setChecked(true);
    return ok;
}

bool savePageShots(Program& program, const QString& out)
{
    program.showPage("btnSave");
    auto* page = program.window->findChild<SaveModuleForm*>();
    auto* comments = program.child<QTextEdit>("textEdit", page);
    auto* panel = program.child<QTextEdit>("textEdit_console", page);
    const QRect region = program.regionOf("stackedWidget");
    const auto commentsFor = [](const Language& lang) {
        return lang.text("Sensor 2 m north of the hut, cable to the east.",
                         "传感器在小屋北侧 2 米，电缆向东。");
    };
    bool ok = true;
    for (const Language& lang : Languages) {
        program.chooseLanguage(lang);
        comments->setPlainText(commentsFor(lang));
        const QRectF openButton = program.rectOf("btnOpen", page);
        ok &= save(shot(program.window, region,
                        {{program.textRectOf("label", page), 1, Side::Right},
                         {program.textRectOf("label_2", page), 2, Side::Right},
                         {openButton, 3, Side::On, {0.5, -0.55}},
                         {program.textRectOf("label_3", page), 4, Side::Right},
                         {program.textRectOf("label_4", page), 5, Side::Right},
                         {program.rectOf("btn_Save", page), 6, Side::Below},
                         {program.rectOf("edt_saveTime", page), 7, Side::Below},
                         {program.rectOf("chk_saveFiles", page), 8, Side::Below},
                         {program.rect(panel), 9, Side::Above}}),
                   out, QStringLiteral("savepage-%1.png").arg(lang.suffix));
    }

    program.child<QPushButton>("btn_Save", page)->click();
    if (!waitUntil([&] { return panel->document()->lineCount() > 200; }, 20000)) {
        std::fprintf(stderr, "the save page shows no values while recording\n");
        ok = false;
    }
    for (const Language& lang : Languages) {
        program.chooseLanguage(lang);
        comments->setPlainText(commentsFor(lang));
        ok &= save(shot(program.window, region,
                        {{program.rectOf("btn_Save", page), 6, Side::Below},
                         {program.rect(panel), 9, Side::Above}}),
                   out, QStringLiteral("recordingpage-%1.png").arg(lang.suffix));
    }
    program.child<QPushButton>("btn_Save", page)->click();
    return ok;
}

bool settingsPageShots(Program& program, const QString& out)
{
    program.showPage("btnConfig");
    auto* page = program.window->findChild<ConfigModuleForm*>();
    bool ok = true;
    for (const Language& lang : Languages) {
        program.chooseLanguage(lang);
        const QRect card = program.regionOf("frame_3", page).adjusted(-14, -12, 14, 20);
        const QRect region(card.topLeft(), QSize(card.width() + 48, card.height()));
        ok &= save(shot(program.window, region,
                        {{program.textRectOf("label_19", page), 1, Side::Right},
                         {program.textRectOf("label_20", page), 2, Side::Right},
                         {program.textRectOf("label_24", page), 3, Side::Right},
                         {program.rectOf("btn_changeSamplingRate", page), 4, Side::Right},
                         {program.rectOf("btn_changeBaudRate", page), 5, Side::Right},
                         {program.textRectOf("chk_filter", page), 6, Side::Right}}),
                   out, QStringLiteral("settingspage-%1.png").arg(lang.suffix));
    }
    program.showPage("btnMain");
    return ok;
}

// The debug page, in test mode, with its read-backs and set points filled.
bool debugPageShots(Program& program, const QString& out)
{
    program.showPage("btnMonitor");
    auto* page = program.window->findChild<MonitorModuleForm*>();
    waitUntil([&] { return program.child<QLineEdit>("edt_laserTempSet", page)->text() != "0"; },
              10000);
    bool ok = true;
    for (const Language& lang : Languages) {
        program.chooseLanguage(lang);
        settle(1200); // a read-back or two in the new language
        const QRect cards = program.regionOf("frame", page)
                                .united(program.regionOf("frame_2", page))
                                .adjusted(-16, -12, 16, 20);
        ok &= save(shot(program.window, cards, {}), out,
                   QStringLiteral("debugpage-%1.png").arg(lang.suffix));
    }
    program.showPage("btnMain");
    return ok;
}

// Runs `shots` with the program linked to a virtual instrument of its own; the
// program goes before its instrument does.
bool withProgram(const QString& instrumentPath, bool testMode,
                 const std::function<bool(Program&)>& shots)
{
    QProcess instrument;
    const QString port = startInstrument(instrument, instrumentPath);
    bool ok = false;
    {
        Program program(testMode);
        if (port.isEmpty() || !program.connect(port))
            std::fprintf(stderr, "no link to the virtual instrument\n");
        else
            ok = shots(program);
    }
    instrument.terminate();
    instrument.waitForFinished(5000);
    return ok;
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

    // A program folder of its own, so that no config.ini, log or recording
    // lands anywhere else; the save page shows it.
    QTemporaryDir work(QDir::tempPath() + "/help-shots-XXXXXX");
    const QString programDir = work.filePath("magnetometer");
    QDir().mkpath(programDir);
    QDir::setCurrent(programDir);
    RuntimePaths::setAppDir(programDir);
    qputenv("MAG_PORT_DIR", work.filePath("ports").toLocal8Bit());
    GuiPause::setScalePercent(20);

    bool ok = true;
    for (const Language& lang : Languages) {
        const QString suffix = QString::fromLatin1(lang.suffix);
        ok &= save(sweepFigure(lang), out, "sweep-" + suffix + ".png");
        ok &= save(recordingFigure(lang), out, "recording-" + suffix + ".png");
    }
    ok &= save(lockFigure(), out, "lock.png");
    const QString instrumentPath = parser.value("instrument");
    ok &= withProgram(instrumentPath, false, [&](Program& program) {
        auto* mainChart = program.child<QCustomPlot>("mainChart");
        if (!waitUntil([&] { return mainChart->graph(0)->dataCount() >= 10000; }, 40000)) {
            std::fprintf(stderr, "no stream from the virtual instrument\n");
            return false;
        }
        bool shots = mainWindowShots(program, out);
        shots &= sensitivityShots(program, out);
        program.showPage("btnMain");
        shots &= savePageShots(program, out);
        shots &= settingsPageShots(program, out);
        return shots;
    });
    ok &= withProgram(instrumentPath, true,
                      [&](Program& program) { return debugPageShots(program, out); });
    return ok ? 0 : 1;
}
