#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "services/DataCheckerThread.h"
#include "tests/support/OperatorInput.h"
#include "tests/support/ReferenceCrc.h"
#include "tests/support/TestMain.h"
#include "ui/Fonts.h"
#include "ui/GuiPause.h"
#include "ui/MainWindow.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStackedWidget>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QByteArray withCrc(QByteArray frame)
{
    return withReferenceCrc(frame);
}

QList<QMessageBox*> openBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

void closeBoxes()
{
    for (QMessageBox* box : openBoxes())
        box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Batches of a steady field of `nT` into the decoder, as the mock road brings them.
void feedMock(ModbusDataHandler* decoder, double nT, int batches)
{
    const QVector<double> batch(50, nT * 6995.83); // mHz
    for (int i = 0; i < batches; ++i)
        QMetaObject::invokeMethod(
            decoder, [decoder, batch] { decoder->slots_revMockData(batch); }, Qt::QueuedConnection);
}

// Every value within 1 nT of `level`.
bool near(const QVector<double>& v, double level)
{
    return !v.isEmpty() &&
           std::all_of(v.begin(), v.end(), [level](double x) { return std::abs(x - level) < 1.0; });
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fontSubstitution();
    void imagesLoad_data();
    void imagesLoad();
    void init();
    void cleanup();

    void pageButtons_data();
    void pageButtons();
    void clicksThatSwitchNothing_data();
    void clicksThatSwitchNothing();
    void refusalsWhileSaving_data();
    void refusalsWhileSaving();
    void pollingPagesStopTheStream_data();
    void pollingPagesStopTheStream();
    void dragHitsMinimumSize();
    void cursorFollowsBorder();
    void bottomBar_data();
    void bottomBar();
    void changeSamplingRate_data();
    void changeSamplingRate();
    void changeSamplingRateStepOrder_data();
    void changeSamplingRateStepOrder();
    void rateOutsideTableIsIgnored();
    void shownRateKeepsTheInstrumentsFraming();
    void dataRateEditDisabledOpensNothing();
    void dataRateBoxOnlyOpensTheMenu();
    void resetRunsOnce_data();
    void resetRunsOnce();
    void resetEndsTheLockAttempt_data();
    void resetEndsTheLockAttempt();
    void language_data();
    void language();
    void lockLossBoxIsReused();
    void closeAsksForIdentity();
    void settingsPage();
    void watchdogMessageShowsInTheBox();
    void filterChangeClearsThePlot_data();
    void filterChangeClearsThePlot();
    void rateChangeOnTheSettingsPageClearsThePlot();

private:
    void makeWindow(int isTest = 0, int isChinese = 0);
    template <typename T> T* child(const char* name) const
    {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }

    std::unique_ptr<ParamManager> hub;
    std::unique_ptr<MainWindow> window;
};

void TstMainWindow::initTestCase()
{
    registerFontSubstitutions();
    // The pauses between a command's steps are skipped, except where their order is tested.
    GuiPause::setScalePercent(0);
}

// The styles name "MiSans"; it must come out in a family that has the Chinese glyphs.
void TstMainWindow::fontSubstitution()
{
    if (!QFontDatabase().families().contains(QStringLiteral("WenQuanYi Micro Hei")))
        QSKIP("fonts-wqy-microhei is not installed");
    const QFontInfo info(QFont(QStringLiteral("MiSans")));
    QCOMPARE(info.family(), QStringLiteral("WenQuanYi Micro Hei"));
    QVERIFY(QFontMetrics(QFont(QStringLiteral("MiSans"))).inFont(QChar(0x78C1))); // 磁
}

// Every image path the program names, at the size its widget expects.
void TstMainWindow::imagesLoad_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    const auto rows = [](const QStringList& names, QSize size) {
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << QStringLiteral(":/%1.png").arg(name) << size;
    };
    QStringList titleButtons;
    for (const char* b : {"Min", "Max", "Close", "Language"})
        for (const char* state : {"Normal", "At", "Press"})
            titleButtons << QStringLiteral("btn%1%2").arg(QLatin1String(b), QLatin1String(state));
    titleButtons << "btnMaxNormal1"
                 << "btnMaxAt1"
                 << "btnMaxPress1";
    rows(titleButtons, QSize(25, 25));
    QStringList pageIcons;
    for (const char* page : {"main", "Sensitivity", "Save", "help", "debug", "config"})
        pageIcons << QStringLiteral("%1NormalIcon").arg(QLatin1String(page))
                  << QStringLiteral("%1PressIcon").arg(QLatin1String(page));
    rows(pageIcons, QSize(24, 24));
    rows({"topBtnNormal", "topBtnPress"}, QSize(168, 50));
    rows({"topbackground"}, QSize(1920, 106));
    rows({"newlogo"}, QSize(162, 44));
    rows({"ball"}, QSize(20, 20));
    rows({"ClearPlot"}, QSize(17, 20));
    rows({"Reboot", "btn_restart", "btn_retrack", "btn_pause", "helpIndex", "helpMain", "helpSave"},
         QSize(20, 20));
    rows({"helpSensitivity", "floder"}, QSize(20, 17));
    rows({"helpConfig"}, QSize(20, 16));
    rows({"greenlight", "yellowlight"}, QSize(44, 44));
    rows({"battery0", "battery1", "battery2", "battery3", "battery4"}, QSize(75, 40));
    rows({"SaveCheckBoxNormal", "SaveCheckBoxCheck"}, QSize(24, 24));
    rows({"comboArrow"}, QSize(24, 14));
}

void TstMainWindow::imagesLoad()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    // Not blank: some pixel is not fully transparent.
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = qAlpha(image.pixel(x, y)) > 0;
    QVERIFY(drawn);
}

void TstMainWindow::init()
{
    hub = std::make_unique<ParamManager>();
}

void TstMainWindow::cleanup()
{
    closeBoxes();
    window.reset();
    hub.reset();
}

void TstMainWindow::makeWindow(int isTest, int isChinese)
{
    hub->isTest = isTest;
    hub->isChinese = isChinese;
    window = std::make_unique<MainWindow>(hub.get());
}

void TstMainWindow::pageButtons_data()
{
    QTest::addColumn<int>("isTest");
    QTest::newRow("normal") << 0;
    QTest::newRow("test mode") << 1;
}

void TstMainWindow::pageButtons()
{
    QFETCH(int, isTest);
    makeWindow(isTest);
    QCOMPARE(window->windowTitle(), QStringLiteral("KORVI-V1.1"));
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window->windowIcon().availableSizes().contains(QSize(32, 32)));
    QCOMPARE(child<QPushButton>("btnMonitor")->isHidden(), isTest != 1);
    QVERIFY(child<QPushButton>("btnVector")->isHidden());
    QVERIFY(!child<QPushButton>("btnSensitivity")->isHidden());
    QVERIFY(child<QPushButton>("btnMain")->isChecked());
    QCOMPARE(window->currentPage(), 0);
    auto* stack = child<QStackedWidget>("stackedWidget");
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("MainModuleForm"));
    QVERIFY(child<QLineEdit>("edt_fftTime")->isHidden());
    QVERIFY(!child<QLineEdit>("edt_lowPass")->isHidden());
    QCOMPARE(child<QLineEdit>("edt_dataRate")->text(), QStringLiteral("0.001"));
}

// None of these clicks may stop or start a poll or change the page.
void TstMainWindow::clicksThatSwitchNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("current page again") << "btnMain";
    QTest::newRow("debug page outside test mode") << "btnMonitor";
}

void TstMainWindow::clicksThatSwitchNothing()
{
    QFETCH(QString, button);
    makeWindow(0);
    QSignalSpy starts(hub.get(), &ParamManager::sig_devStatusWorkerStart);
    QSignalSpy stops(hub.get(), &ParamManager::sig_devStatusWorkerStop);
    QSignalSpy requests(hub.get(), &ParamManager::sig_sendModbusData);

    window->findChild<QPushButton*>(button)->click();

    QCOMPARE(starts.count(), 0);
    QCOMPARE(stops.count(), 0);
    QCOMPARE(requests.count(), 0);
    QCOMPARE(window->currentPage(), 0);
    QVERIFY(child<QPushButton>("btnMain")->isChecked());
    QVERIFY(openBoxes().isEmpty());
}

void TstMainWindow::refusalsWhileSaving_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("text");
    QTest::newRow("debug page") << "btnMonitor"
                                << QStringLiteral("保存磁场信息中,要切换到调试界面,请先停止保存!");
    QTest::newRow("settings page")
        << "btnConfig" << QStringLiteral("保存磁场信息中,要切换到配置界面,请先停止保存!");
    QTest::newRow("data rate") << "edt_dataRate"
                               << QStringLiteral("保存磁场信息中,要修改频率,请先停止保存!");
}

void TstMainWindow::refusalsWhileSaving()
{
    QFETCH(QString, target);
    QFETCH(QString, text);
    makeWindow(1);
    hub->setSaveParam(true, 3600, QStringLiteral("refusal"), false);

    QWidget* w = window->findChild<QWidget*>(target);
    if (auto* button = qobject_cast<QPushButton*>(w))
        button->click();
    else
        sendMouse(w, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);

    const QList<QMessageBox*> boxes = openBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->text(), text);
    QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("提示"));
    QCOMPARE(boxes.first()->parent(), nullptr);
    QCOMPARE(window->currentPage(), 0);
    QVERIFY(child<QPushButton>("btnMain")->isChecked());
}

void TstMainWindow::pollingPagesStopTheStream_data()
{
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("deviceReady");
    for (const char* via : {"btnMain", "btnSensitivity", "btnSave", "btnHelp"})
        for (const char* target : {"btnConfig", "btnMonitor"}) {
            QTest::addRow("%s to %s, streaming", via, target) << via << target << true;
            QTest::addRow("%s to %s, locking", via, target) << via << target << false;
        }
}

// The debug and settings pages poll registers, which ends the instrument's stream:
// whichever page they are reached from, the stream is stopped first (and the
// watchdog with it), or the status poll of a lock still under way.
void TstMainWindow::pollingPagesStopTheStream()
{
    QFETCH(QString, via);
    QFETCH(QString, target);
    QFETCH(bool, deviceReady);
    makeWindow(1);
    hub->setDeviceReady(deviceReady);
    hub->setStreamStarted(deviceReady);
    child<QPushButton>(via.toLatin1().constData())->click();

    QSignalSpy requests(hub.get(), &ParamManager::sig_sendModbusData);
    QSignalSpy statusStops(hub.get(), &ParamManager::sig_devStatusWorkerStop);
    QSignalSpy pollStarts(hub.get(), &ParamManager::sig_paramWorkerStart);
    child<QPushButton>(target.toLatin1().constData())->click();

    QList<int> sent;
    for (const QList<QVariant>& call : requests)
        sent << call.at(0).value<ModbusAddr>();
    QCOMPARE(sent.count(AddrStopStream), deviceReady ? 1 : 0);
    QCOMPARE(statusStops.count() >= 1, !deviceReady);
    QCOMPARE(pollStarts.count(), 1);

    // Back to a page under which the stream runs: it runs again (on the main and
    // sensitivity pages they start it themselves).
    requests.clear();
    QSignalSpy statusStarts(hub.get(), &ParamManager::sig_devStatusWorkerStart);
    child<QPushButton>("btnHelp")->click();
    sent.clear();
    for (const QList<QVariant>& call : requests)
        sent << call.at(0).value<ModbusAddr>();
    QCOMPARE(sent.count(AddrStartStream), deviceReady ? 1 : 0);
    QCOMPARE(statusStarts.count(), deviceReady ? 0 : 1);
}

void TstMainWindow::dragHitsMinimumSize()
{
    makeWindow();
    window->setGeometry(100, 100, 1280, 720);
    QCOMPARE(window->hitTestEdge(QPoint(3, 3)), 5);

    // Where the platform cannot start a system resize (offscreen), the drag
    // follows the mouse: left edge to x = 500 would leave 880 px; the window
    // keeps its minimum width from there.
    sendMouse(window.get(), QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton);
    const QPoint pressGlobal = window->mapToGlobal(QPoint(3, 3));
    QMouseEvent move(QEvent::MouseMove, QPoint(403, 13), pressGlobal + QPoint(400, 10),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QCOMPARE(window->geometry(), QRect(500, 110, window->minimumWidth(), 710));
    sendMouse(window.get(), QEvent::MouseButtonRelease, QPoint(403, 13), Qt::NoButton);

    // After the release a move only updates the cursor.
    const QRect after = window->geometry();
    sendMouse(window.get(), QEvent::MouseMove, QPoint(200, 200), Qt::NoButton);
    QCOMPARE(window->geometry(), after);
}

void TstMainWindow::cursorFollowsBorder()
{
    makeWindow();
    window->resize(1280, 720);
    sendMouse(window.get(), QEvent::MouseMove, QPoint(1276, 716), Qt::NoButton);
    QCOMPARE(window->cursor().shape(), Qt::SizeFDiagCursor);
    sendMouse(window.get(), QEvent::MouseMove, QPoint(1276, 4), Qt::NoButton);
    QCOMPARE(window->cursor().shape(), Qt::SizeBDiagCursor);
    sendMouse(window.get(), QEvent::MouseMove, QPoint(640, 4), Qt::NoButton);
    QCOMPARE(window->cursor().shape(), Qt::SizeVerCursor);
    sendMouse(window.get(), QEvent::MouseMove, QPoint(1276, 4), Qt::NoButton);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window.get(), &leave);
    QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
}

// Each step is "edit=text", finished in order on a fresh window.
void TstMainWindow::bottomBar_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("lowText");
    QTest::addColumn<QString>("highText");
    QTest::addColumn<QString>("fftText");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");
    QTest::addColumn<int>("fftTime");
    QTest::addColumn<bool>("lowReadOnly");
    QTest::addColumn<bool>("highReadOnly");

    QTest::newRow("low pass too large") << QStringList{"edt_lowPass=150000"} << "1000"
                                        << "0"
                                        << "10" << 1000 << 0 << 10 << false << true;
    QTest::newRow("low pass kept") << QStringList{"edt_lowPass=99999"} << "99999"
                                   << "0"
                                   << "10" << 99999 << 0 << 10 << false << true;
    QTest::newRow("over-long entry reads as too large")
        << QStringList{"edt_lowPass=123456789012345"} << "1000"
        << "0"
        << "10" << 1000 << 0 << 10 << false << true;
    QTest::newRow("low pass cleared frees high pass")
        << QStringList{"edt_lowPass=50", "edt_lowPass=0"} << "0"
        << "0"
        << "10" << 0 << 0 << 10 << false << false;
    QTest::newRow("empty low pass is off") << QStringList{"edt_lowPass="} << "0"
                                           << "0"
                                           << "10" << 0 << 0 << 10 << false << false;
    QTest::newRow("high pass locks low pass") << QStringList{"edt_highPass=5"} << "0"
                                              << "5"
                                              << "10" << 0 << 5 << 10 << true << false;
    QTest::newRow("high pass too large") << QStringList{"edt_highPass=100000"} << "0"
                                         << "1000"
                                         << "10" << 0 << 1000 << 10 << true << false;
    QTest::newRow("full-width digits") << QStringList{QStringLiteral("edt_highPass=１２")} << "0"
                                       << "12"
                                       << "10" << 0 << 12 << 10 << true << false;
    QTest::newRow("fft 1") << QStringList{"edt_fftTime=1"} << "0"
                           << "0"
                           << "1" << 0 << 0 << 1 << false << false;
    QTest::newRow("fft 0") << QStringList{"edt_fftTime=0"} << "0"
                           << "0"
                           << "1" << 0 << 0 << 1 << false << false;
    QTest::newRow("fft 2") << QStringList{"edt_fftTime=2"} << "0"
                           << "0"
                           << "2" << 0 << 0 << 2 << false << false;
    QTest::newRow("fft 999") << QStringList{"edt_fftTime=999"} << "0"
                             << "0"
                             << "999" << 0 << 0 << 999 << false << false;
    QTest::newRow("fft 1000") << QStringList{"edt_fftTime=1000"} << "0"
                              << "0"
                              << "1000" << 0 << 0 << 1000 << false << false;
    QTest::newRow("fft 5000") << QStringList{"edt_fftTime=5000"} << "0"
                              << "0"
                              << "1000" << 0 << 0 << 1000 << false << false;
}

void TstMainWindow::bottomBar()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, lowText);
    QFETCH(QString, highText);
    QFETCH(QString, fftText);
    QFETCH(int, lowPass);
    QFETCH(int, highPass);
    QFETCH(int, fftTime);
    QFETCH(bool, lowReadOnly);
    QFETCH(bool, highReadOnly);

    makeWindow();
    QSignalSpy synced(hub.get(), &ParamManager::sig_syncDataParam);
    for (const QString& step : steps)
        QVERIFY(OperatorInput::typeInto(window.get(), step));

    QCOMPARE(child<QLineEdit>("edt_lowPass")->text(), lowText);
    QCOMPARE(child<QLineEdit>("edt_highPass")->text(), highText);
    QCOMPARE(child<QLineEdit>("edt_fftTime")->text(), fftText);
    QCOMPARE(child<QLineEdit>("edt_lowPass")->isReadOnly(), lowReadOnly);
    QCOMPARE(child<QLineEdit>("edt_highPass")->isReadOnly(), highReadOnly);
    const DataParam p = hub->dataParam();
    QCOMPARE(p.lowPass, lowPass);
    QCOMPARE(p.highPass, highPass);
    QCOMPARE(p.fftTime, fftTime);
    QCOMPARE(synced.count(), steps.size());
    const DataParam sent = synced.last().at(0).value<DataParam>();
    QCOMPARE(sent.lowPass, lowPass);
    QCOMPARE(sent.highPass, highPass);
    QCOMPARE(sent.fftTime, fftTime);
}

void TstMainWindow::changeSamplingRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<QByteArray>("frame"); // empty: nothing sent
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("countChange");
    QTest::addColumn<bool>("editEnabled");

    const struct
    {
        int rate;
        const char* value;
        double step;
    } rows[] = {{1, "03E8", 1.0},     {10, "000A", 0.1},    {20, "0014", 0.05},
                {200, "00C8", 0.005}, {500, "01F4", 0.002}, {1000, "03E8", 0.001}};
    for (const auto& r : rows) {
        const QByteArray frame =
            withCrc(QByteArray::fromHex("01109C96000102") + QByteArray::fromHex(r.value));
        const int count = r.rate == 1 ? 1000 : r.rate;
        QTest::addRow("%d sent", r.rate)
            << r.rate << true << frame << r.step << count << (r.rate != 1) << (r.rate == 1000);
        QTest::addRow("%d local", r.rate)
            << r.rate << false << QByteArray() << r.step << count << false << true;
    }
}

void TstMainWindow::changeSamplingRate()
{
    QFETCH(int, rate);
    QFETCH(bool, bChange);
    QFETCH(QByteArray, frame);
    QFETCH(double, step);
    QFETCH(int, byteCount);
    QFETCH(bool, countChange);
    QFETCH(bool, editEnabled);

    // The golden frames of the two rows written down elsewhere, byte for byte.
    if (bChange && rate == 20)
        QCOMPARE(frame.toHex(' '), QByteArray("01 10 9c 96 00 01 02 00 14 e7 60"));
    if (bChange && rate == 1000)
        QCOMPARE(frame.toHex(' '), QByteArray("01 10 9c 96 00 01 02 03 e8 e7 d1"));

    makeWindow();
    QSignalSpy sent(hub.get(), &ParamManager::sig_sendCustomModbusData);
    QSignalSpy oneHz(hub.get(), &ParamManager::sig_setOneHz);
    QSignalSpy counts(hub.get(), &ParamManager::sig_syncDataByteCount);
    QSignalSpy params(hub.get(), &ParamManager::sig_syncDataParam);
    QSignalSpy pollStops(hub.get(), &ParamManager::sig_devStatusWorkerStop);
    QSignalSpy pollStarts(hub.get(), &ParamManager::sig_devStatusWorkerStart);

    window->changeSamplingRate(rate, bChange);

    if (frame.isEmpty()) {
        QCOMPARE(sent.count(), 0);
    } else {
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.first().at(0).toByteArray().toHex(' '), frame.toHex(' '));
    }
    QCOMPARE(oneHz.count(), 1);
    QCOMPARE(oneHz.first().at(0).toBool(), rate == 1);
    QCOMPARE(counts.count(), 1);
    QCOMPARE(counts.first().at(0).toInt(), byteCount);
    QCOMPARE(counts.first().at(1).toBool(), countChange);
    QCOMPARE(params.count(), 1);
    QCOMPARE(params.first().at(0).value<DataParam>().dataRate, step);
    QCOMPARE(hub->dataParam().dataRate, step);
    QCOMPARE(hub->samplingRate, rate);
    QCOMPARE(child<QLineEdit>("edt_dataRate")->isEnabled(), editEnabled);
    QCOMPARE(child<QLineEdit>("edt_dataRate")->text(), QString::number(step, 'g', 6));
    // The main page's status poll is stopped around the change and restarted.
    QCOMPARE(pollStops.count(), 1);
    QCOMPARE(pollStarts.count(), 1);
    // The spectrum's frequency axis fits the new rate, whichever road chose it.
    // (Rates without an axis of their own keep the one the page starts with.)
    const QCPRange spectrum = window->findChild<SensitivityModuleForm*>()
                                  ->findChild<QCustomPlot*>("chart2")
                                  ->xAxis->range();
    QCOMPARE(spectrum.upper, rate == 1 ? 1.0 : rate == 20 ? 10.0 : double(hub->xAxisUpper));
}

// The stream or the status poll stops before the pipeline adopts the rate and
// the instrument is written, and starts again only after; the plot restarts empty.
void TstMainWindow::changeSamplingRateStepOrder_data()
{
    QTest::addColumn<bool>("deviceReady");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("streaming, sent")
        << true << true
        << QStringList{"request 8", "param", "oneHz", "byteCount", "frame", "request 7"};
    QTest::newRow("streaming, local")
        << true << false << QStringList{"request 8", "param", "oneHz", "byteCount", "request 7"};
    QTest::newRow("status poll, sent")
        << false << true
        << QStringList{"poll stop", "param", "oneHz", "byteCount", "frame", "poll start"};
}

void TstMainWindow::changeSamplingRateStepOrder()
{
    QFETCH(bool, deviceReady);
    QFETCH(bool, bChange);
    QFETCH(QStringList, steps);
    makeWindow();
    auto* plot = child<QCustomPlot>("mainChart");
    if (deviceReady) {
        hub->setDeviceReady(true);
        hub->setStreamStarted(true);
        emit hub->sig_updateForm(QVector<double>(50, 48000.0), FrequencyType(1000));
        QTRY_COMPARE_WITH_TIMEOUT(plot->graph(0)->dataCount(), 50, 5000);
    }

    // With the real pauses: the instrument gets its time around the change.
    GuiPause::setScalePercent(100);
    const auto skipPauses = qScopeGuard([] { GuiPause::setScalePercent(0); });
    QStringList seen;
    QList<qint64> times;
    QElapsedTimer clock;
    clock.start();
    ParamManager* h = hub.get();
    const auto record = [&](const QString& step) {
        seen << step;
        times << clock.elapsed();
    };
    connect(h, &ParamManager::sig_sendModbusData, window.get(),
            [&](ModbusAddr addr) { record(QStringLiteral("request %1").arg(int(addr))); });
    connect(h, &ParamManager::sig_devStatusWorkerStop, window.get(),
            [&] { record(QStringLiteral("poll stop")); });
    connect(h, &ParamManager::sig_devStatusWorkerStart, window.get(),
            [&] { record(QStringLiteral("poll start")); });
    connect(h, &ParamManager::sig_syncDataParam, window.get(),
            [&] { record(QStringLiteral("param")); });
    connect(h, &ParamManager::sig_setOneHz, window.get(), [&] { record(QStringLiteral("oneHz")); });
    connect(h, &ParamManager::sig_syncDataByteCount, window.get(),
            [&] { record(QStringLiteral("byteCount")); });
    connect(h, &ParamManager::sig_sendCustomModbusData, window.get(),
            [&] { record(QStringLiteral("frame")); });

    window->changeSamplingRate(500, bChange);

    QCOMPARE(seen, steps);
    // 200 ms after the stop before the change, and after the change before the restart.
    QVERIFY2(times[1] - times[0] >= 190, qPrintable(QString::number(times[1] - times[0])));
    const int last = times.size() - 1;
    QVERIFY2(times[last] - times[last - 1] >= 190,
             qPrintable(QString::number(times[last] - times[last - 1])));
    QCOMPARE(hub->isStreamStarted(), deviceReady);
    QCOMPARE(plot->graph(0)->dataCount(), 0);
}

void TstMainWindow::rateOutsideTableIsIgnored()
{
    makeWindow();
    QSignalSpy sent(hub.get(), &ParamManager::sig_sendCustomModbusData);
    QSignalSpy counts(hub.get(), &ParamManager::sig_syncDataByteCount);
    QSignalSpy stops(hub.get(), &ParamManager::sig_devStatusWorkerStop);
    for (const int rate : {0, -20, 42, 111})
        window->changeSamplingRate(rate, true);
    QCOMPARE(sent.count(), 0);
    QCOMPARE(counts.count(), 0);
    QCOMPARE(stops.count(), 0);
    QCOMPARE(hub->samplingRate, 1000);
    QCOMPARE(hub->dataParam().dataRate, 0.001);
}

// Once the instrument streams at 20 Hz, a rate chosen only for the display (the
// data-rate menu, an identity block) keeps the stream framed at 20 Hz; a rate
// written to the instrument moves it.
void TstMainWindow::shownRateKeepsTheInstrumentsFraming()
{
    makeWindow();
    QSignalSpy counts(hub.get(), &ParamManager::sig_syncDataByteCount);
    const auto framing = [&] {
        return QPair<int, bool>(counts.last().at(0).toInt(), counts.last().at(1).toBool());
    };
    window->changeSamplingRate(20, true);
    QCOMPARE(framing(), qMakePair(20, true));
    for (const int shown : {20, 1000, 1}) {
        window->changeSamplingRate(shown, false);
        QCOMPARE(framing(), qMakePair(20, true));
    }
    window->changeSamplingRate(1000, true);
    QCOMPARE(framing(), qMakePair(1000, true));
    window->changeSamplingRate(20, false);
    QCOMPARE(framing(), qMakePair(20, false)); // the 1000 Hz defaults
    // The instrument reports its rate: the hub follows it.
    hub->slots_updateSamplingRate(20);
    window->changeSamplingRate(20, false);
    QCOMPARE(framing(), qMakePair(20, true));
}

void TstMainWindow::dataRateEditDisabledOpensNothing()
{
    makeWindow();
    window->changeSamplingRate(20, true);
    auto* edit = child<QLineEdit>("edt_dataRate");
    QVERIFY(!edit->isEnabled());
    hub->setSaveParam(true, 3600, QStringLiteral("x"), false);
    // Saving would answer an enabled edit with a box; the disabled one swallows the press.
    sendMouse(edit, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    QVERIFY(openBoxes().isEmpty());
}

// Typing changes nothing in the box; a press still opens the menu, and the box
// does not look disabled.
void TstMainWindow::dataRateBoxOnlyOpensTheMenu()
{
    makeWindow();
    window->show();
    auto* edit = child<QLineEdit>("edt_dataRate");
    edit->setFocus();
    QTest::keyClicks(edit, "abc");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("0.001"));
    edit->ensurePolished();
    QCOMPARE(edit->palette().color(QPalette::Text), QColor("#2B3B50"));

    QStringList shown;
    QTimer::singleShot(0, window.get(), [&shown] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                shown << action->text();
            menu->close();
        }
    });
    sendMouse(edit, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    QCOMPARE(shown, (QStringList{"0.001", "0.05", "1"}));
}

void TstMainWindow::resetRunsOnce_data()
{
    QTest::addColumn<int>("disconnects");
    QTest::addColumn<bool>("rebootButton");
    QTest::newRow("port lost") << 1 << false;
    QTest::newRow("reboot button") << 0 << true;
    QTest::newRow("two losses in one event") << 2 << false;
}

void TstMainWindow::resetRunsOnce()
{
    QFETCH(int, disconnects);
    QFETCH(bool, rebootButton);
    makeWindow();
    DataParam p = hub->dataParam();
    p.chartTime = 30;
    hub->setDataParam(p);

    QSignalSpy reboots(hub.get(), &ParamManager::sig_reboot);
    QSignalSpy requests(hub.get(), &ParamManager::sig_sendModbusData);
    for (int i = 0; i < disconnects; ++i)
        emit hub->sig_disconnect();
    if (rebootButton)
        QTest::mouseClick(child<QPushButton>("btn_reboot"), Qt::LeftButton);

    // Runs from the event loop, not inside the emitting call.
    QCOMPARE(reboots.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(reboots.count(), 1, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(reboots.count(), 1);
    int restarts = 0;
    for (const QList<QVariant>& args : requests)
        restarts += args.at(0).value<ModbusAddr>() == Addr40118Restart;
    QCOMPARE(restarts, 1);
    // The hub's window length follows the "10" the chart-time field shows again.
    QCOMPARE(hub->dataParam().chartTime, 10);
}

void TstMainWindow::resetEndsTheLockAttempt_data()
{
    QTest::addColumn<bool>("reboot");
    QTest::addColumn<QStringList>("logged"); // with the next parameter block
    QTest::newRow("no reset") << false
                              << QStringList{"battery State: 1 . ReadType: VCSEL = 0.00000 , "
                                             "VCSEL Default = 0.00000 , VaporCell = 0.00000 , PD "
                                             "= 0.00000 , PDE = 0.00000."};
    QTest::newRow("reboot") << true << QStringList{};
}

// The status of a lock attempt waits for the next parameter block, which writes it
// to the event log beside the read-backs. A reset ends the attempt: the block of
// the next link does not carry the status of before the reset.
void TstMainWindow::resetEndsTheLockAttempt()
{
    QFETCH(bool, reboot);
    QFETCH(QStringList, logged);
    SharedState::instance().clearDeviceStatus();
    const auto restore = qScopeGuard([] { SharedState::instance().clearDeviceStatus(); });
    makeWindow(1);
    emit hub->sig_updateProgress(1);
    QVERIFY(SharedState::instance().deviceStatus().valid);
    if (reboot) {
        QSignalSpy reboots(hub.get(), &ParamManager::sig_reboot);
        QTest::mouseClick(child<QPushButton>("btn_reboot"), Qt::LeftButton);
        QTRY_COMPARE(reboots.count(), 1);
    }

    QSignalSpy log(hub.get(), &ParamManager::sig_saveCrashLog);
    emit hub->sig_updateFormParam(RefreshData());
    QStringList texts;
    for (const QList<QVariant>& line : log)
        texts << line.at(1).toString();
    QCOMPARE(texts, logged);
}

void TstMainWindow::language_data()
{
    QTest::addColumn<int>("startChinese");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("isChinese");
    QTest::addColumn<int>("menuWidth");
    QTest::addColumn<QString>("mainText");
    QTest::addColumn<QString>("rebootText");

    QTest::newRow("start in English") << 0 << QString() << 0 << 136 << "Main"
                                      << "Reboot";
    QTest::newRow("start in Chinese")
        << 1 << QString() << 1 << 111 << QStringLiteral("主面板") << QStringLiteral("重启");
    QTest::newRow("choose Chinese") << 0 << QStringLiteral("中文") << 1 << 111
                                    << QStringLiteral("主面板") << QStringLiteral("重启");
    QTest::newRow("back to English") << 1 << "English" << 0 << 136 << "Main"
                                     << "Reboot";
}

void TstMainWindow::language()
{
    QFETCH(int, startChinese);
    QFETCH(QString, choice);
    QFETCH(int, isChinese);
    QFETCH(int, menuWidth);
    QFETCH(QString, mainText);
    QFETCH(QString, rebootText);

    makeWindow(0, startChinese);
    CustomMenu* menu = window->findChild<CustomMenu*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(menu);
    QSignalSpy broadcasts(window.get(), &MainWindow::sig_ChangeLanguage);
    if (!choice.isEmpty())
        emit menu->triggered(choice, QVariant());

    QCOMPARE(hub->isChinese, isChinese);
    QCOMPARE(menu->width(), menuWidth);
    QCOMPARE(child<QPushButton>("btnMain")->text(), mainText);
    QCOMPARE(child<QPushButton>("btn_reboot")->text(), rebootText);
    QCOMPARE(child<QLabel>("label_language")->text(),
             isChinese ? QStringLiteral("中文") : QStringLiteral("English"));
    if (!choice.isEmpty()) {
        QCOMPARE(broadcasts.count(), 1);
        QCOMPARE(broadcasts.first().at(0).toInt(), isChinese);
        QSettings ini(hub->iniPath, QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Sensitivity/isChinese")).toInt(), isChinese);
    }
    // An unknown choice changes nothing.
    emit menu->triggered(QStringLiteral("Deutsch"), QVariant());
    QCOMPARE(hub->isChinese, isChinese);
}

void TstMainWindow::lockLossBoxIsReused()
{
    makeWindow();
    window->showLockLossMessage(QStringLiteral("first"));
    window->showLockLossMessage(QStringLiteral("second"));
    const QList<QMessageBox*> boxes = window->findChildren<QMessageBox*>();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first()->isVisible());
    QCOMPARE(boxes.first()->text(), QStringLiteral("second"));
    QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("提示"));
    // It comes back every few seconds while data are missing; it must not hold the
    // page buttons.
    QCOMPARE(boxes.first()->windowModality(), Qt::NonModal);
    QVERIFY(!boxes.first()->isModal());
}

void TstMainWindow::closeAsksForIdentity()
{
    makeWindow();
    window->show();
    QSignalSpy requests(hub.get(), &ParamManager::sig_sendModbusData);
    QVERIFY(window->close());
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.first().at(0).value<ModbusAddr>(), Addr40000Identity);
}

// Filtering starts on; the settings page runs the parameter poll while shown and
// refills its sweep edits from the identity block after a reset.
void TstMainWindow::settingsPage()
{
    QSignalSpy filter(hub.get(), &ParamManager::sig_setFilterEnabled);
    makeWindow();
    QCOMPARE(filter.count(), 1);
    QCOMPARE(filter.first().at(0).toBool(), true);
    QVERIFY(child<QCheckBox>("chk_filter")->isChecked());

    QSignalSpy statusStops(hub.get(), &ParamManager::sig_devStatusWorkerStop);
    QSignalSpy paramStarts(hub.get(), &ParamManager::sig_paramWorkerStart);
    QSignalSpy paramStops(hub.get(), &ParamManager::sig_paramWorkerStop);
    child<QPushButton>("btnConfig")->click();
    QCOMPARE(window->currentPage(), int(PageHooks::ConfigPage));
    QCOMPARE(child<QStackedWidget>("stackedWidget")->currentWidget()->objectName(),
             QStringLiteral("ConfigModuleForm"));
    QCOMPARE(statusStops.count(), 1); // the main page's poll
    QCOMPARE(paramStarts.count(), 1);
    QVERIFY(!child<QLineEdit>("edt_lowPass")->isHidden());

    emit hub->sig_updateFormParamEx({11, 22, 33});
    emit hub->sig_updateFormParamEx({44, 55, 66});
    QCOMPARE(child<QLineEdit>("edt_fsEnd")->text(), QStringLiteral("22"));
    QSignalSpy reboots(hub.get(), &ParamManager::sig_reboot);
    QTest::mouseClick(child<QPushButton>("btn_reboot"), Qt::LeftButton);
    QTRY_COMPARE(reboots.count(), 1);
    emit hub->sig_updateFormParamEx({44, 55, 66});
    QCOMPARE(child<QLineEdit>("edt_fsEnd")->text(), QStringLiteral("55"));

    const int stopsBefore = paramStops.count();
    child<QPushButton>("btnMain")->click();
    QCOMPARE(paramStops.count(), stopsBefore + 1);
    QCOMPARE(window->currentPage(), int(PageHooks::MainPage));
}

void TstMainWindow::watchdogMessageShowsInTheBox()
{
    makeWindow();
    DataCheckerThread* watchdog = hub->getDataCheckerThread();
    QVERIFY(watchdog);
    emit watchdog->sig_dataCheckMsg(DataCheckerThread::noDataText());
    QMessageBox* box = window->findChild<QMessageBox*>();
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("没有数据发过来，请检查设备"));
}

void TstMainWindow::filterChangeClearsThePlot_data()
{
    QTest::addColumn<QStringList>("setup"); // before the first values
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("clears");
    QTest::addColumn<bool>("spectrum"); // one is due soon after the change
    QTest::newRow("high pass back to 0")
        << QStringList{"filter=off", "edt_highPass=1"} << "edt_highPass=0" << true << true;
    QTest::newRow("low pass set") << QStringList{"filter=off"} << "edt_lowPass=10" << true << true;
    QTest::newRow("filter switched off") << QStringList{} << "filter=off" << true << true;
    // The notch road's first spectrum waits for a whole window.
    QTest::newRow("filter switched on")
        << QStringList{"filter=off"} << "filter=on" << true << false;
    QTest::newRow("filter switched on, FFT time 2 s")
        << QStringList{"filter=off", "edt_fftTime=2"} << "filter=on" << true << true;
    QTest::newRow("the same low pass again")
        << QStringList{"filter=off"} << "edt_lowPass=0" << false << false;
    QTest::newRow("FFT time") << QStringList{"filter=off"} << "edt_fftTime=5" << false << false;
    QTest::newRow("chart time") << QStringList{"filter=off"} << "edt_setTime=20" << false << false;
    QTest::newRow("data rate") << QStringList{"filter=off"} << "rate=20" << true << false;
    QTest::newRow("data rate shown")
        << QStringList{"filter=off"} << "shown rate=20" << true << false;
}

// A change of cut-off or of the filter switch empties the main page's plot and
// its read-outs and the sensitivity page's window and spectrum, with nothing
// filtered the old way left on them, not even values still on their way when the
// change was made. The levels before and after tell them apart; the sensitivity
// page is opened after the change, as the operator would.
void TstMainWindow::filterChangeClearsThePlot()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, change);
    QFETCH(bool, clears);
    QFETCH(bool, spectrum);
    makeWindow();
    hub->setDeviceReady(true);
    hub->setStreamStarted(true);
    auto* plot = child<QCustomPlot>("mainChart");
    auto* window1 = child<QCustomPlot>("chart1");
    auto* densities = child<QCustomPlot>("chart2");
    ModbusDataHandler* decoder = hub->getModbusDataHandler();
    bool filterOn = child<QCheckBox>("chk_filter")->isChecked();
    const auto apply = [this, &filterOn](const QString& step) {
        const int eq = step.indexOf('=');
        if (step.startsWith("filter=")) {
            filterOn = step.mid(eq + 1) == "on";
            child<QCheckBox>("chk_filter")->setChecked(filterOn);
            return;
        }
        if (step.startsWith("rate=") || step.startsWith("shown rate=")) {
            // As the settings page sets it, or as the bottom bar's menu does.
            window->changeSamplingRate(step.mid(eq + 1).toInt(), step.startsWith("rate="));
            return;
        }
        QVERIFY(OperatorInput::typeInto(window.get(), step));
    };
    const auto feed = [decoder](double nT, int batches) { feedMock(decoder, nT, batches); };
    const auto values = [plot] { return OperatorInput::plotted(plot); };
    const auto range = [](const QVector<double>& v) {
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        return QString("%1 to %2 nT").arg(*low).arg(*high);
    };
    // What the main page shows once the pages have taken the change.
    QStringList readoutsAtChange;
    QObject watching;
    connect(hub.get(), &ParamManager::sig_filterSettingsChanged, &watching, [&] {
        for (const char* name : {"edt_samples", "edt_mear", "edt_svg"})
            readoutsAtChange << child<QLineEdit>(name)->text();
    });

    for (const QString& step : setup)
        apply(step);
    const double before = 45000.0;
    const double after = 50000.0;
    // Enough for the notch road's first run and a high-pass's lookahead.
    feed(before, 80);
    QTRY_VERIFY_WITH_TIMEOUT(plot->graph(0)->dataCount() >= 1000, 10000);
    // Values of the old setting still on their way, then the change.
    feed(before, 5);
    apply(change);
    feed(after, 80);
    QTRY_VERIFY_WITH_TIMEOUT(near(values().mid(values().size() - 50), after), 15000);

    const QVector<double> shown = values();
    if (clears) {
        QVERIFY2(near(shown, after), qPrintable(range(shown)));
        QCOMPARE(readoutsAtChange, (QStringList{"0", "0", "0"}));
    } else {
        QVERIFY(std::any_of(shown.begin(), shown.end(),
                            [before](double x) { return std::abs(x - before) < 1.0; }));
        QVERIFY(readoutsAtChange.isEmpty());
    }

    // The sensitivity page draws its window with the next batch (the notch road's
    // next comes of another 1000 samples).
    child<QPushButton>("btnSensitivity")->click();
    feed(after, filterOn ? 20 : 1);
    const auto windowValues = [window1] { return OperatorInput::plotted(window1); };
    QTRY_VERIFY_WITH_TIMEOUT(!windowValues().isEmpty() && near({windowValues().last()}, after),
                             10000);
    const QVector<double> inWindow = windowValues();
    if (clears)
        QVERIFY2(near(inWindow, after), qPrintable(range(inWindow)));
    else
        QVERIFY(std::any_of(inWindow.begin(), inWindow.end(),
                            [before](double x) { return std::abs(x - before) < 1.0; }));
    // A steady field has next to no density; one that stepped from one level to
    // the other within the window has much.
    if (spectrum) {
        QTRY_VERIFY_WITH_TIMEOUT(densities->graph(0)->dataCount() > 0, 10000);
        double highest = 0.0;
        const auto data = densities->graph(0)->data();
        for (auto it = data->constBegin(); it != data->constEnd(); ++it)
            if (it->key >= 2.0)
                highest = std::max(highest, it->value);
        QVERIFY2(highest < 1.0, qPrintable(QString("%1 nT/Hz^0.5").arg(highest)));
    }
}

// The settings page adopts the rate the instrument streams at (here 1000 Hz after
// 20 Hz from the menu) while the notch road still paces out 20 Hz values: none of
// them may follow the clear onto the main plot or the sensitivity window.
void TstMainWindow::rateChangeOnTheSettingsPageClearsThePlot()
{
    makeWindow();
    hub->setDeviceReady(true);
    hub->setStreamStarted(true);
    auto* plot = child<QCustomPlot>("mainChart");
    auto* window1 = child<QCustomPlot>("chart1");
    ModbusDataHandler* decoder = hub->getModbusDataHandler();
    child<QCheckBox>("chk_filter")->setChecked(true);
    const auto feed = [decoder](double nT, int batches) { feedMock(decoder, nT, batches); };
    const auto values = [plot] { return OperatorInput::plotted(plot); };
    const auto old = [](const QVector<double>& v) {
        const auto n = std::count_if(v.begin(), v.end(), [](double x) { return x < 49000.0; });
        return QString("%1 of %2 values of the old rate").arg(n).arg(v.size());
    };
    const double before = 45000.0;
    const double after = 50000.0;

    window->changeSamplingRate(20, false);
    // Three notch runs: sixty pieces, most of them still waiting once the first are drawn.
    feed(before, 100);
    QTRY_VERIFY_WITH_TIMEOUT(plot->graph(0)->dataCount() >= 10, 10000);
    child<QPushButton>("btnConfig")->click();
    hub->slots_updateSamplingRate(1000); // from the identity block
    QCOMPARE(hub->samplingRate, 1000);
    child<QPushButton>("btnMain")->click();
    feed(after, 80);
    QTRY_VERIFY_WITH_TIMEOUT(
        values().size() >= 50 && near(values().mid(values().size() - 50), after), 15000);
    QVERIFY2(near(values(), after), qPrintable(old(values())));

    child<QPushButton>("btnSensitivity")->click();
    feed(after, 20);
    const auto windowValues = [window1] { return OperatorInput::plotted(window1); };
    QTRY_VERIFY_WITH_TIMEOUT(!windowValues().isEmpty() && near({windowValues().last()}, after),
                             10000);
    QVERIFY2(near(windowValues(), after), qPrintable(old(windowValues())));
}

MAG_TEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
