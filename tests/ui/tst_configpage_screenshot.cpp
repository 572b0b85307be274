// The settings page in the program's main window on a virtual X server, filled
// from the virtual instrument's identity block: writes PNGs into the build tree
// and checks that every control is inside the window and that no text is clipped.

#include "app/ParamManager.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/Screenshots.h"
#include "tests/support/TestSandbox.h"
#include "tests/support/XvfbMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/pages/ConfigModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

class TestConfigPageScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsPage_data();
    void settingsPage();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestConfigPageScreenshot::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--start-status", "4"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
}

void TestConfigPageScreenshot::settingsPage_data()
{
    QTest::addColumn<int>("chinese");
    QTest::newRow("English") << 0;
    QTest::newRow("Chinese") << 1;
}

void TestConfigPageScreenshot::settingsPage()
{
    QFETCH(int, chinese);
    ParamManager hub;
    hub.isChinese = chinese;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));

    QSignalSpy identity(&hub, &ParamManager::sig_updateFormParamEx);
    window.findChild<MainModuleForm*>()->slot_handleActionTriggered(m_port, QVariant());
    QVERIFY(identity.count() == 1 || identity.wait(10000));
    QTest::mouseClick(window.findChild<QPushButton*>("btnConfig"), Qt::LeftButton);
    auto* page = window.findChild<ConfigModuleForm*>();
    QTRY_VERIFY(page->isVisible());
    QCOMPARE(page->findChild<QLineEdit*>("edt_fsStart")->text(), QString("300000000"));

    // Texts fit their widgets; every control lies inside the page.
    const QRect pageRect = page->rect();
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisible() || qobject_cast<CustomMenu*>(w->window()) || w->window() != &window)
            continue;
        const QRect inPage(w->mapTo(page, QPoint(0, 0)), w->size());
        QVERIFY2(pageRect.contains(inPage), qPrintable(w->objectName()));
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            text = edit->text();
        if (text.isEmpty())
            continue;
        const int needed =
            w->fontMetrics().horizontalAdvance(text) + (qobject_cast<QCheckBox*>(w) ? 34 : 0);
        QVERIFY2(needed <= w->width(), qPrintable(QString("%1: \"%2\" needs %3 px, has %4")
                                                      .arg(w->objectName(), text)
                                                      .arg(needed)
                                                      .arg(w->width())));
    }

    const QString name = chinese ? "settingspage_zh" : "settingspage";
    const QImage shot = Screenshots::grab(window);
    QVERIFY(Screenshots::save(shot, QStringLiteral(MAG_ARTEFACT_DIR "/%1.png").arg(name)));

    // The baud-rate menu open under its button.
    auto* baud = page->findChild<QPushButton*>("btn_baudRate");
    QTest::mouseClick(baud, Qt::LeftButton);
    CustomMenu* menu = nullptr;
    for (CustomMenu* m : page->findChildren<CustomMenu*>())
        if (m->isVisible())
            menu = m;
    QVERIFY(menu);
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    menu->repaint();
    QCOMPARE(menu->pos(), baud->mapToGlobal(QPoint(0, baud->height())));
    const QImage menuShot = window.screen()->grabWindow(0, 0, 0, 1280, 720).toImage();
    QVERIFY(menuShot.save(QStringLiteral(MAG_ARTEFACT_DIR "/%1_menu.png").arg(name)));
    menu->close();
}

MAG_TEST_MAIN_XVFB(TestConfigPageScreenshot)

#include "tst_configpage_screenshot.moc"
