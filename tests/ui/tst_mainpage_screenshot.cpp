// The program's main window on a virtual X server, with the virtual instrument
// streaming: writes a PNG of the main page into the build tree and checks that
// the window shows something and that the graph is drawn.

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/Screenshots.h"
#include "tests/support/TestSandbox.h"
#include "tests/support/XvfbMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/widgets/CustomMenu.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <qcustomplot.h>

class TestMainPageScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void mainPageShowsTheLiveField();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestMainPageScreenshot::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "5"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
}

void TestMainPageScreenshot::mainPageShowsTheLiveField()
{
    ParamManager hub;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));

    auto* page = window.findChild<MainModuleForm*>();
    QVERIFY(page);
    auto* plot = page->findChild<QCustomPlot*>("mainChart");

    // The operator's road: open the port menu and pick the instrument.
    auto* com = page->findChild<QPushButton*>("btn_com");
    QTest::mouseClick(com, Qt::LeftButton);
    auto* menu = page->findChild<CustomMenu*>();
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    menu->repaint();
    QCOMPARE(menu->pos(), com->mapToGlobal(QPoint(0, com->height())));
    QStringList entries;
    QPushButton* instrumentEntry = nullptr;
    for (QPushButton* item : menu->buttons()) {
        entries << item->text();
        if (item->text() == m_port)
            instrumentEntry = item;
    }
    QVERIFY2(instrumentEntry, qPrintable(entries.join(", ")));
    QCOMPARE(entries.last(), QString("刷新"));
    // The whole screen: the menu is a window of its own.
    const QImage menuShot = window.screen()->grabWindow(0, 0, 0, 1280, 720).toImage();
    QVERIFY(Screenshots::save(menuShot, QStringLiteral(MAG_ARTEFACT_DIR "/portmenu.png")));
    QTest::mouseClick(instrumentEntry, Qt::LeftButton);
    QTRY_VERIFY(!menu->isVisible());
    QCOMPARE(com->text(), m_port);

    // A three-second chart, so that a full window takes three seconds to come.
    auto* chartTime = page->findChild<QLineEdit*>("edt_setTime");
    chartTime->setText("3");
    emit chartTime->editingFinished();
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(plot->graph(0)->dataCount() == 3000, 30000);
    // The picture as the page drew it with its latest batch.
    QCoreApplication::processEvents();

    const QImage shot = Screenshots::grab(window);
    QVERIFY(Screenshots::save(shot, QStringLiteral(MAG_ARTEFACT_DIR "/mainpage.png")));
    QCOMPARE(shot.size(), window.size());

    // Not blank: a real window has many colours and no colour covers most of it.
    QHash<QRgb, int> colours;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            ++colours[shot.pixel(x, y)];
    int commonest = 0;
    for (int count : qAsConst(colours))
        commonest = qMax(commonest, count);
    const int sampled = (shot.width() / 2) * (shot.height() / 2);
    QVERIFY2(colours.size() > 200, qPrintable(QString("only %1 colours").arg(colours.size())));
    QVERIFY2(commonest < sampled * 0.6, "one colour covers most of the window");

    // The graph is drawn: blue trace pixels in the middle of the chart, away
    // from the read-out boxes in its corners.
    const QRect chart(plot->mapTo(&window, QPoint(0, 0)), plot->size());
    const QRect middle = chart.adjusted(chart.width() / 10, chart.height() / 10,
                                        -chart.width() / 10, -chart.height() / 10);
    int trace = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const QRgb p = shot.pixel(x, y);
            trace += qBlue(p) - qRed(p) > 40 ? 1 : 0;
        }
    QVERIFY2(trace > 500, qPrintable(QString("%1 trace pixels in the chart").arg(trace)));
    QVERIFY(page->findChild<QLineEdit*>("edt_devName")->text().startsWith("VUD-"));
}

MAG_TEST_MAIN_XVFB(TestMainPageScreenshot)

#include "tst_mainpage_screenshot.moc"
