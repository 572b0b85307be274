// The debug page in the main window, test mode, driving the virtual instrument
// over a pseudo-terminal through the real hub, scheduler, transport and decoder.

#include "app/ParamManager.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

class TestDebugPageInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void setPointsAndDdsReachTheInstrument();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestDebugPageInstrument::initTestCase()
{
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "3"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
}

void TestDebugPageInstrument::setPointsAndDdsReachTheInstrument()
{
    ParamManager hub;
    hub.isTest = 1;
    MainWindow window(&hub);
    window.resize(1280, 720);
    window.show();
    QVector<RefreshData> blocks;
    connect(&hub, &ParamManager::sig_updateFormParam, &window,
            [&blocks](const RefreshData& d) { blocks << d; });

    window.findChild<MainModuleForm*>()->slot_handleActionTriggered(m_port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    window.findChild<QPushButton*>("btnMonitor")->click();
    QCOMPARE(window.currentPage(), 5);
    auto* page = window.findChild<MonitorModuleForm*>();
    auto* readBack = page->findChild<QLineEdit*>("edt_laserTemp");
    auto* setPoint = page->findChild<QLineEdit*>("edt_laserTempSet");

    // The parameter poll fills the read-backs and, once, the set points.
    QTRY_VERIFY_WITH_TIMEOUT(std::fabs(readBack->text().toDouble() - 0.62) < 0.01, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(setPoint->text(), QStringLiteral("0.62"), 10000);

    // The operator gives the password, types a set point and presses Return.
    QTest::keyClick(setPoint, Qt::Key_0);
    QInputDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QInputDialog*>(w); d && d->isVisible())
            dialog = d;
    QVERIFY(dialog);
    dialog->setTextValue(QStringLiteral("qmvt19970315"));
    dialog->accept();
    setPoint->selectAll();
    QTest::keyClicks(setPoint, QStringLiteral("0.3"));
    QTest::keyClick(setPoint, Qt::Key_Return);
    // A block asked for before the write may still wait in the queue.
    QCoreApplication::processEvents();

    // Within two parameter polls of the apply, the instrument holds the new set
    // point and the page shows its read-back on the way there (it follows with a
    // time constant of 1.5 s, so more than half the way after two polls).
    const int applied = blocks.size();
    QTRY_VERIFY_WITH_TIMEOUT(blocks.size() >= applied + 2, 10000);
    const RefreshData second = blocks.at(applied + 1);
    QCOMPARE(float(second.vcselSet), 0.3f);
    const double shown = readBack->text().toDouble();
    QVERIFY2(shown < 0.62 - 0.16 && shown > 0.29, qPrintable(readBack->text()));
    QCOMPARE(setPoint->text(), QStringLiteral("0.3"));
    // The other set points stayed as they were.
    QCOMPARE(float(second.vaporCellSet), 0.78f);

    // Debug mode, the second work mode and a DDS frequency: the page shows the
    // instrument's DDS register.
    page->findChild<QCheckBox*>("chk_debug")->click();
    page->findChild<QPushButton*>("btn_workMode")->click();
    for (CustomMenu* menu : page->findChildren<CustomMenu*>())
        if (menu->isVisible())
            for (QPushButton* item : menu->buttons())
                if (item->text() == "1")
                    item->click();
    page->findChild<QPushButton*>("btn_changeWorkMode")->click();
    auto* dds = page->findChild<QLineEdit*>("edt_ddsFreq");
    dds->selectAll();
    QTest::keyClicks(dds, QStringLiteral("7000000"));
    QTest::keyClick(dds, Qt::Key_Return);
    window.findChild<QPushButton*>("btnMonitor")->setFocus(); // the edit is no longer in use
    QCoreApplication::processEvents();
    const int written = blocks.size();
    QTRY_VERIFY_WITH_TIMEOUT(blocks.size() >= written + 2, 10000);
    QCOMPARE(quint32(blocks.at(written + 1).word40100), 7000000u);
    QCOMPARE(dds->text(), QStringLiteral("7000000"));
}

MAG_TEST_MAIN(TestDebugPageInstrument)
#include "tst_debugpage_instrument.moc"
