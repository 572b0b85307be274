// The save page in the program's main window on a virtual X server, with the
// virtual instrument streaming: PNGs of the page idle, recording, with the box of
// a recording that cannot be written, and in Chinese, written into the build tree.

#include "app/ParamManager.h"
#include "services/SaveModuleForm.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/Screenshots.h"
#include "tests/support/TestSandbox.h"
#include "tests/support/XvfbMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/widgets/CustomMenu.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextEdit>

class TestSavePageScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void idleAndRecording();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestSavePageScreenshot::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "29"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
}

void TestSavePageScreenshot::idleAndRecording()
{
    ParamManager hub;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));

    auto* mainPage = window.findChild<MainModuleForm*>();
    auto* page = window.findChild<SaveModuleForm*>();
    QVERIFY(mainPage && page);
    mainPage->slot_handleActionTriggered(m_port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);

    QTest::mouseClick(window.findChild<QPushButton*>("btnSave"), Qt::LeftButton);
    QCOMPARE(window.findChild<QStackedWidget*>("stackedWidget")->currentWidget(), page);
    const QImage idle = grabArtefact(window, "savepage_idle.png");
    QCOMPARE(idle.size(), window.size());

    // Every text of the page fits its widget.
    for (auto* edit : page->findChildren<QLineEdit*>())
        if (edit->isVisible())
            QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->text()) <
                         edit->contentsRect().width(),
                     qPrintable(edit->objectName() + ": " + edit->text()));
    for (auto* button : page->findChildren<QAbstractButton*>())
        if (button->isVisible() && !button->text().isEmpty())
            QVERIFY2(button->sizeHint().width() <= button->width(),
                     qPrintable(button->objectName()));

    auto* panel = page->findChild<QTextEdit*>("textEdit_console");
    page->findChild<QTextEdit*>("textEdit")->setPlainText("Cell at 95 °C, sensor north of the hut");
    QTest::mouseClick(page->findChild<QPushButton*>("btn_Save"), Qt::LeftButton);
    QVERIFY(hub.isSaving());
    QTRY_VERIFY_WITH_TIMEOUT(panel->document()->lineCount() > 200, 15000);
    const QImage recording = grabArtefact(window, "savepage_recording.png");

    // The panel shows values: dark text pixels inside it.
    const QRect box(panel->mapTo(&window, QPoint(0, 0)), panel->size());
    int text = 0;
    for (int y = box.top() + 10; y < box.bottom() - 10; ++y)
        for (int x = box.left() + 10; x < box.right() - 10; ++x)
            text += qGray(recording.pixel(x, y)) < 120 ? 1 : 0;
    QVERIFY2(text > 500, qPrintable(QString("%1 text pixels in the panel").arg(text)));
    QCOMPARE(page->findChild<QPushButton*>("btn_Save")->text(), QString("Saving"));

    // The folder goes away under the recording: one box tells the operator.
    QVERIFY(QDir(page->findChild<QLineEdit*>("edt_filePath")->text()).removeRecursively());
    QMessageBox* failureBox = nullptr;
    const auto shownBox = [&failureBox] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                failureBox = b;
        return failureBox != nullptr;
    };
    QTRY_VERIFY_WITH_TIMEOUT(shownBox(), 10000);
    QVERIFY(QTest::qWaitForWindowExposed(failureBox));
    failureBox->repaint();
    QCoreApplication::processEvents();
    const QString failurePath = QStringLiteral(MAG_ARTEFACT_DIR "/savepage_write_failure.png");
    // The screen where the window is: the box is a window of its own.
    const QRect frame = window.frameGeometry();
    QVERIFY(window.screen()
                ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                .save(failurePath));
    qInfo("screenshot: %s", qPrintable(failurePath));
    QVERIFY2(failureBox->text().contains("_MZ_1000Hz.CSV"), qPrintable(failureBox->text()));
    failureBox->close();

    QTest::mouseClick(page->findChild<QPushButton*>("btn_Save"), Qt::LeftButton);
    QVERIFY(!hub.isSaving());

    // The language menu's choice, as the operator makes it.
    emit window.findChild<CustomMenu*>(QString(), Qt::FindDirectChildrenOnly)
        ->triggered(QStringLiteral("中文"), QVariant());
    QCOMPARE(page->findChild<QPushButton*>("btn_Save")->text(), QString("保存"));
    grabArtefact(window, "savepage_chinese.png");
    for (auto* button : page->findChildren<QAbstractButton*>())
        if (button->isVisible() && !button->text().isEmpty())
            QVERIFY2(button->sizeHint().width() <= button->width(),
                     qPrintable(button->objectName()));
}

MAG_TEST_MAIN_XVFB(TestSavePageScreenshot)

#include "tst_savepage_screenshot.moc"
