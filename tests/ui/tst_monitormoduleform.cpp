// The debug page on its own: the hub is real, no port is opened. Frames are
// checked against bytes built here with an independent CRC.

#include "app/LogTexts.h"
#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "tests/support/ReferenceCrc.h"
#include "tests/support/TestMain.h"
#include "ui/GuiPause.h"
#include "ui/MainModuleForm.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/pages/PasswordFilter.h"
#include "ui/widgets/CustomMenu.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <memory>

namespace {
QByteArray be16(quint16 v)
{
    return QByteArray(1, char(v >> 8)) + QByteArray(1, char(v & 0xFF));
}

// Function 16, two registers, the 32-bit value low word first.
QByteArray write32(quint16 reg, quint32 v)
{
    return withReferenceCrc(QByteArray("\x01\x10", 2) + be16(reg) + be16(2) + QByteArray(1, 4) +
                            be16(quint16(v & 0xFFFF)) + be16(quint16(v >> 16)));
}

QByteArray writeFloat(quint16 reg, float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, 4);
    return write32(reg, bits);
}

QByteArray writeOne(quint16 reg, quint16 v)
{
    return withReferenceCrc(QByteArray("\x01\x06", 2) + be16(reg) + be16(v));
}

QList<QByteArray> framesOf(const QSignalSpy& spy)
{
    QList<QByteArray> frames;
    for (const QList<QVariant>& call : spy)
        frames << call.at(0).toByteArray();
    return frames;
}

QStringList hex(const QList<QByteArray>& frames)
{
    QStringList texts;
    for (const QByteArray& f : frames)
        texts << f.toHex(' ').toUpper();
    return texts;
}

// Closing a password dialog opens the error box, so this runs until none is left.
void closeDialogs()
{
    for (bool open = true; open;) {
        open = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(w) && w->isVisible()) {
                w->close();
                open = true;
            }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

struct Page
{
    ParamManager hub;
    MonitorModuleForm page{&hub};
    QSignalSpy frames{&hub, &ParamManager::sig_sendCustomModbusData};
    QSignalSpy pollStarts{&hub, &ParamManager::sig_paramWorkerStart};
    QSignalSpy pollStops{&hub, &ParamManager::sig_paramWorkerStop};

    Page() { page.resize(1280, 560); }

    template <typename T> T* child(const QString& name)
    {
        T* w = page.findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    QLineEdit* edit(const QString& name) { return child<QLineEdit>(name); }

    void clearSpies()
    {
        frames.clear();
        pollStarts.clear();
        pollStops.clear();
    }

    // Enters the password through the dialog a first key opens.
    void unlock()
    {
        QTest::keyClick(edit("edt_laserTempSet"), Qt::Key_0);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QInputDialog*>(w); dialog && dialog->isVisible()) {
                dialog->setTextValue(QStringLiteral("qmvt19970315"));
                dialog->accept();
            }
        QVERIFY(page.passwordFilter()->isUnlocked());
    }

    // Types the text as the operator does and ends the entry with Return.
    void type(QLineEdit* e, const QString& text)
    {
        e->selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(e, Qt::Key_Delete);
        } else if (text.toLatin1() != text.toUtf8()) {
            QInputMethodEvent input; // as an input method enters full-width digits
            input.setCommitString(text);
            QApplication::sendEvent(e, &input);
        } else {
            QTest::keyClicks(e, text);
        }
        QTest::keyClick(e, Qt::Key_Return);
    }

    void choose(const QString& button, const QString& entry)
    {
        child<QPushButton>(button)->click();
        for (CustomMenu* menu : page.findChildren<CustomMenu*>())
            if (menu->isVisible())
                for (QPushButton* item : menu->buttons())
                    if (item->text() == entry)
                        item->click();
    }

    RefreshData block(double vcsel = 0.61, quint32 dds = 5000000)
    {
        RefreshData d;
        d.vcsel = vcsel;
        d.vcselDefault = -0.45;
        d.vaporCell = 0.78;
        d.pd = 0.862;
        d.pde = 0.0123;
        d.vcselSet = double(0.62f);
        d.vcselDefaultSet = double(0.123456791f);
        d.vaporCellSet = double(0.78f);
        d.word40100 = dds;
        return d;
    }
};
} // namespace

class TstMonitorModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void onlySetPointsAreGuarded();
    void typedWrites_data();
    void typedWrites();
    void commandFrames_data();
    void commandFrames();
    void leavingWithDebugTickedKeepsThePollStopped();
    void fillArmsNothing();
    void refreshSkipsEditsInUse_data();
    void refreshSkipsEditsInUse();
    void readBacks();
    void statusRecordGoesToTheEventLog();
    void resetRestoresDefaults();
    void language();
    void mainPageLogsTheSetValues();
};

void TstMonitorModuleForm::initTestCase()
{
    GuiPause::setScalePercent(0);
}

void TstMonitorModuleForm::cleanup()
{
    closeDialogs();
    SharedState::instance().clearDeviceStatus();
}

void TstMonitorModuleForm::onlySetPointsAreGuarded()
{
    Page p;
    p.child<QCheckBox>("chk_debug")->setChecked(true);
    for (const char* name : {"edt_laserTempSet", "edt_laserElectricSet", "edt_airTempSet"}) {
        QTest::keyClick(p.edit(name), Qt::Key_5);
        QCOMPARE(p.edit(name)->text(), QStringLiteral("0"));
        closeDialogs();
    }
    QTest::keyClick(p.edit("edt_fsStep"), Qt::Key_5);
    QCOMPARE(p.edit("edt_fsStep")->text(), QStringLiteral("10000005"));
}

void TstMonitorModuleForm::typedWrites_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QList<QByteArray>>("expected");

    const auto setPoint = [](quint16 reg, float f) {
        return QList<QByteArray>{writeFloat(reg, f), writeOne(quint16(reg - 1), 1)};
    };
    QTest::newRow("VCSEL 0.5") << "edt_laserTempSet"
                               << "0.5"
                               << "0.5" << setPoint(40122, 0.5f);
    QTest::newRow("VCSEL Default 0.25") << "edt_laserElectricSet"
                                        << "0.25"
                                        << "0.25" << setPoint(40142, 0.25f);
    QTest::newRow("Vapor Cell 0.75") << "edt_airTempSet"
                                     << "0.75"
                                     << "0.75" << setPoint(40130, 0.75f);
    QTest::newRow("above the range") << "edt_laserTempSet"
                                     << "2.5"
                                     << "1" << setPoint(40122, 1.0f);
    QTest::newRow("eight characters") << "edt_laserTempSet"
                                      << "0.123456"
                                      << "0.123456" << setPoint(40122, 0.123456f);
    QTest::newRow("nine characters, in range") << "edt_airTempSet"
                                               << "0.1234567"
                                               << "0.1234567" << setPoint(40130, 0.1234567f);
    QTest::newRow("long, above the range") << "edt_airTempSet"
                                           << "12.3456789"
                                           << "1" << setPoint(40130, 1.0f);
    QTest::newRow("full-width digits")
        << "edt_laserTempSet" << QStringLiteral("０.５") << "0.5" << setPoint(40122, 0.5f);
    QTest::newRow("zero") << "edt_laserTempSet"
                          << "0"
                          << "0" << QList<QByteArray>();
    QTest::newRow("zero point zero") << "edt_laserTempSet"
                                     << "0.000"
                                     << "0" << QList<QByteArray>();
    QTest::newRow("empty set point") << "edt_laserTempSet"
                                     << ""
                                     << "0" << QList<QByteArray>();
    QTest::newRow("lone point") << "edt_laserElectricSet"
                                << "."
                                << "0" << QList<QByteArray>();

    QTest::newRow("DDS") << "edt_ddsFreq"
                         << "123456789"
                         << "123456789" << QList<QByteArray>{write32(40100, 123456789)};
    QTest::newRow("sweep start") << "edt_fsStart"
                                 << "300000001"
                                 << "300000001" << QList<QByteArray>{write32(40106, 300000001)};
    QTest::newRow("sweep end") << "edt_fsEnd"
                               << "1399999999"
                               << "1399999999" << QList<QByteArray>{write32(40108, 1399999999)};
    QTest::newRow("sweep step 1") << "edt_fsStep"
                                  << "1"
                                  << "1" << QList<QByteArray>{write32(40110, 1)};
    QTest::newRow("empty sweep") << "edt_fsEnd"
                                 << ""
                                 << "20000000" << QList<QByteArray>{write32(40108, 20000000)};
    QTest::newRow("the top") << "edt_ddsFreq"
                             << "1400000000"
                             << "1400000000" << QList<QByteArray>{write32(40100, 1400000000)};
    QTest::newRow("ten digits above the top")
        << "edt_fsStart"
        << "9999999999"
        << "1400000000" << QList<QByteArray>{write32(40106, 1400000000)};
    QTest::newRow("eleven digits") << "edt_fsEnd"
                                   << "12345678901"
                                   << "1400000000" << QList<QByteArray>{write32(40108, 1400000000)};
    QTest::newRow("leading zeros") << "edt_fsStep"
                                   << "00000000005"
                                   << "5" << QList<QByteArray>{write32(40110, 5)};
    QTest::newRow("zero frequency") << "edt_fsEnd"
                                    << "0"
                                    << "0" << QList<QByteArray>();
}

// The page starts with its poll running, as when it is shown: a write stops the
// poll and starts it again; a refused input leaves it alone.
void TstMonitorModuleForm::typedWrites()
{
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QList<QByteArray>, expected);

    Page p;
    p.page.show();
    p.unlock();
    p.child<QCheckBox>("chk_debug")->setChecked(true);
    p.page.startParamWorker();
    p.clearSpies();

    QLineEdit* e = p.edit(edit);
    p.type(e, typed);
    QCOMPARE(e->text(), shown);
    QCOMPARE(hex(framesOf(p.frames)), hex(expected));
    QCOMPARE(p.pollStops.count(), expected.isEmpty() ? 0 : 1);
    QCOMPARE(p.pollStarts.count(), expected.isEmpty() ? 0 : 1);
    // Leaving the edit afterwards writes nothing more.
    QVERIFY(!e->isModified());
    emit e->editingFinished();
    QCOMPARE(p.frames.count(), expected.size());
}

void TstMonitorModuleForm::commandFrames_data()
{
    QTest::addColumn<bool>("debugTicked");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QList<QByteArray>>("expected");
    // Whether the instrument is still taken to be measuring afterwards: any work
    // state but 4 leaves the measurement, and the main page must wait for the lock.
    QTest::addColumn<bool>("readyAfter");

    QTest::newRow("debug mode on")
        << false << "chk_debug" << QString() << QList<QByteArray>{writeOne(40118, 99)} << false;
    QTest::newRow("debug mode off")
        << true << "chk_debug" << QString() << QList<QByteArray>{writeOne(40118, 1)} << false;
    for (int n = 1; n <= 4; ++n)
        QTest::newRow(qPrintable(QStringLiteral("work state %1").arg(n)))
            << false << "btn_changeWorkState" << QString::number(n)
            << QList<QByteArray>{writeOne(40118, quint16(n))} << (n == 4);
    QTest::newRow("work state 3 leaves debug mode first")
        << true << "btn_changeWorkState"
        << "3" << QList<QByteArray>{writeOne(40118, 1), writeOne(40118, 3)} << false;
    QTest::newRow("work mode 0") << true << "btn_changeWorkMode"
                                 << "0"
                                 << QList<QByteArray>{withReferenceCrc(
                                        QByteArray::fromHex("01109CB70001020001"))}
                                 << true;
    QTest::newRow("work mode 1") << true << "btn_changeWorkMode"
                                 << "1"
                                 << QList<QByteArray>{withReferenceCrc(
                                        QByteArray::fromHex("01109CB70001020002"))}
                                 << true;
}

void TstMonitorModuleForm::commandFrames()
{
    QFETCH(bool, debugTicked);
    QFETCH(QString, button);
    QFETCH(QString, entry);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(bool, readyAfter);

    Page p;
    p.page.show();
    auto* debug = p.child<QCheckBox>("chk_debug");
    debug->setChecked(debugTicked);
    p.page.startParamWorker();
    p.hub.setDeviceReady(true);
    p.clearSpies();

    if (button == "chk_debug") {
        debug->click();
    } else {
        p.choose(button == "btn_changeWorkState" ? "btn_workState" : "btn_workMode", entry);
        QCOMPARE(
            p.child<QPushButton>(button == "btn_changeWorkState" ? "btn_workState" : "btn_workMode")
                ->text(),
            entry);
        QVERIFY(p.frames.isEmpty()); // choosing only relabels the button
        p.child<QPushButton>(button)->click();
    }
    QCOMPARE(hex(framesOf(p.frames)), hex(expected));
    // The poll ends running, as it was.
    QVERIFY(p.pollStops.count() >= 1);
    QCOMPARE(p.pollStarts.count(), p.pollStops.count());
    const bool ddsEnabled = p.edit("edt_ddsFreq")->isEnabled();
    QCOMPARE(ddsEnabled, debug->isChecked());
    QCOMPARE(p.child<QPushButton>("btn_changeWorkMode")->isEnabled(), debug->isChecked());
    QCOMPARE(p.hub.isDeviceReady(), readyAfter);
}

// Leaving the page unticks "FS Debug", which writes 40118 = 1; the poll the
// page stopped on leaving stays stopped.
void TstMonitorModuleForm::leavingWithDebugTickedKeepsThePollStopped()
{
    Page p;
    const PageHooks hooks = p.page.pageHooks();
    hooks.enter();
    p.child<QCheckBox>("chk_debug")->setChecked(true);
    p.clearSpies();
    QSignalSpy polls(&p.hub, &ParamManager::sig_paramWorkerStart);

    hooks.leave(PageHooks::MainPage);
    QCOMPARE(hex(framesOf(p.frames)), hex({writeOne(40118, 1)}));
    QVERIFY(!p.child<QCheckBox>("chk_debug")->isChecked());
    QCOMPARE(polls.count(), 0);
    QVERIFY(p.pollStops.count() >= 1);

    // Back on the page the poll runs again and the stream flag is cleared for the
    // main page to restart its stream.
    p.hub.setStreamStarted(true);
    hooks.enter();
    QCOMPARE(polls.count(), 1);
    QVERIFY(!p.hub.isStreamStarted());
}

// Filling the set points from the instrument writes nothing, even when the
// operator then leaves the edits or presses Return in them.
void TstMonitorModuleForm::fillArmsNothing()
{
    Page p;
    p.unlock();
    p.page.slots_updateFormParam(p.block());
    QCOMPARE(p.edit("edt_laserTempSet")->text(), QStringLiteral("0.62"));
    QCOMPARE(p.edit("edt_airTempSet")->text(), QStringLiteral("0.78"));
    // The full single-precision value, not two decimals.
    QCOMPARE(p.edit("edt_laserElectricSet")->text(), QStringLiteral("0.12345679"));
    p.clearSpies();
    for (const char* name : {"edt_laserTempSet", "edt_laserElectricSet", "edt_airTempSet"}) {
        QLineEdit* e = p.edit(name);
        QVERIFY(!e->isModified());
        QTest::keyClick(e, Qt::Key_Return);
        emit e->editingFinished();
    }
    QVERIFY(p.frames.isEmpty());
    QVERIFY(p.pollStops.isEmpty());

    double vcsel, vcselDefault, vaporCell;
    p.page.getSetValues(vcsel, vcselDefault, vaporCell);
    QCOMPARE(float(vcsel), 0.62f);
    QCOMPARE(float(vcselDefault), 0.123456791f);
    QCOMPARE(float(vaporCell), 0.78f);

    // Only the first block fills the set points.
    RefreshData later = p.block();
    later.vcselSet = 0.3;
    p.page.slots_updateFormParam(later);
    QCOMPARE(p.edit("edt_laserTempSet")->text(), QStringLiteral("0.62"));
}

void TstMonitorModuleForm::refreshSkipsEditsInUse_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("use"); // "focus", "typed" or ""
    QTest::addColumn<QString>("expected");
    QTest::newRow("set point, untouched") << "edt_airTempSet"
                                          << ""
                                          << "0.78";
    QTest::newRow("set point, focused") << "edt_airTempSet"
                                        << "focus"
                                        << "0";
    QTest::newRow("set point, being typed") << "edt_airTempSet"
                                            << "typed"
                                            << "04";
    QTest::newRow("DDS, untouched") << "edt_ddsFreq"
                                    << ""
                                    << "7000000";
    QTest::newRow("DDS, focused") << "edt_ddsFreq"
                                  << "focus"
                                  << "5000000";
    QTest::newRow("DDS, being typed") << "edt_ddsFreq"
                                      << "typed"
                                      << "50000004";
}

void TstMonitorModuleForm::refreshSkipsEditsInUse()
{
    QFETCH(QString, edit);
    QFETCH(QString, use);
    QFETCH(QString, expected);

    Page p;
    p.unlock();
    p.page.show();
    QVERIFY(QTest::qWaitForWindowActive(&p.page));
    p.child<QCheckBox>("chk_debug")->setChecked(true);
    p.choose("btn_workMode", "1"); // the DDS read-back is shown in the second mode
    p.child<QPushButton>("btn_changeWorkMode")->click();
    p.child<QPushButton>("btn_workMode")->setFocus();

    QLineEdit* e = p.edit(edit);
    if (use == "focus") {
        e->setFocus();
        QTRY_VERIFY(e->hasFocus());
    } else if (use == "typed") {
        e->setFocus();
        QTRY_VERIFY(e->hasFocus());
        e->end(false);
        QTest::keyClick(e, Qt::Key_4);
    }
    p.clearSpies();
    p.page.slots_updateFormParam(p.block(0.61, 7000000));
    QCOMPARE(e->text(), expected);
    QVERIFY(p.frames.isEmpty());

    // An edit that only had the focus is filled by the next block once left.
    if (use == "focus") {
        p.child<QPushButton>("btn_workMode")->setFocus();
        QTRY_VERIFY(!e->hasFocus());
        p.page.slots_updateFormParam(p.block(0.61, 7000000));
        QCOMPARE(e->text(), edit == "edt_ddsFreq" ? QString("7000000") : QString("0.78"));
        QVERIFY(p.frames.isEmpty());
    }
}

void TstMonitorModuleForm::readBacks()
{
    Page p;
    RefreshData d = p.block(-0.2);
    d.vcselDefault = -1.234567;
    d.vaporCell = 0.000009;
    d.pd = 12.3456789;
    d.pde = 0.5;
    p.page.slots_updateFormParam(d);
    QCOMPARE(p.edit("edt_laserTemp")->text(), QStringLiteral("0"));
    QCOMPARE(p.edit("edt_laserElectric")->text(), QStringLiteral("1.23457"));
    QCOMPARE(p.edit("edt_airTemp")->text(), QStringLiteral("0"));
    QCOMPARE(p.edit("edt_pdValue")->text(), QStringLiteral("12.34568"));
    QCOMPARE(p.edit("edt_pdeValue")->text(), QStringLiteral("0.50000"));
    // A PDE of zero or below leaves the edit as it was.
    d.pde = -0.1;
    p.page.slots_updateFormParam(d);
    QCOMPARE(p.edit("edt_pdeValue")->text(), QStringLiteral("0.50000"));
    // In the first work mode the DDS edit is not a read-back.
    QCOMPARE(p.edit("edt_ddsFreq")->text(), QStringLiteral("5000000"));
    d.word40100 = 42;
    p.page.slots_updateFormParam(d);
    QCOMPARE(p.edit("edt_ddsFreq")->text(), QStringLiteral("5000000"));
}

void TstMonitorModuleForm::statusRecordGoesToTheEventLog()
{
    Page p;
    QSignalSpy log(&p.hub, &ParamManager::sig_saveCrashLog);
    p.page.slots_updateFormParam(p.block());
    QVERIFY(log.isEmpty());

    SharedState::instance().setDeviceStatus({2, 1700000123, true});
    p.page.slots_updateFormParam(p.block());
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.first().at(0).toLongLong(), 1700000123LL);
    QCOMPARE(log.first().at(1).toString(),
             QStringLiteral("battery State: 2 . ReadType: VCSEL = 0.61000 , VCSEL Default = "
                            "0.45000 , VaporCell = 0.78000 , PD = 0.86200 , PDE = 0.01230."));
    QVERIFY(!SharedState::instance().deviceStatus().valid);
    p.page.slots_updateFormParam(p.block());
    QCOMPARE(log.count(), 1);
}

void TstMonitorModuleForm::resetRestoresDefaults()
{
    Page p;
    p.page.show();
    p.page.slots_updateFormParam(p.block());
    auto* debug = p.child<QCheckBox>("chk_debug");
    debug->setChecked(true);
    p.choose("btn_workState", "3");
    p.choose("btn_workMode", "1");
    p.child<QPushButton>("btn_changeWorkMode")->click();
    p.edit("edt_fsEnd")->setText(QStringLiteral("123"));
    p.clearSpies();

    p.page.pageHooks().reset();
    QCOMPARE(p.pollStops.count(), 1);
    QVERIFY(p.frames.isEmpty());
    for (const char* name :
         {"edt_laserTemp", "edt_laserElectric", "edt_airTemp", "edt_pdValue", "edt_pdeValue",
          "edt_laserTempSet", "edt_laserElectricSet", "edt_airTempSet"})
        QCOMPARE(p.edit(name)->text(), QStringLiteral("0"));
    QCOMPARE(p.edit("edt_ddsFreq")->text(), QStringLiteral("5000000"));
    QCOMPARE(p.edit("edt_fsStart")->text(), QStringLiteral("300000000"));
    QCOMPARE(p.edit("edt_fsEnd")->text(), QStringLiteral("400000000"));
    QCOMPARE(p.edit("edt_fsStep")->text(), QStringLiteral("1000000"));
    QCOMPARE(p.child<QPushButton>("btn_workMode")->text(), QStringLiteral("0"));
    QCOMPARE(p.child<QPushButton>("btn_workState")->text(), QStringLiteral("3"));
    QVERIFY(!p.edit("edt_ddsFreq")->isEnabled());
    QVERIFY(!debug->isChecked()); // as the instrument, whose work state the reset restarted

    // The next block fills the set points again and no longer the DDS edit.
    RefreshData d = p.block();
    d.word40100 = 42;
    p.page.slots_updateFormParam(d);
    QCOMPARE(p.edit("edt_laserTempSet")->text(), QStringLiteral("0.62"));
    QCOMPARE(p.edit("edt_ddsFreq")->text(), QStringLiteral("5000000"));
}

void TstMonitorModuleForm::language()
{
    Page p;
    const QString units = p.child<QLabel>("label_18")->text();
    p.page.slot_setLanguage(1);
    QCOMPARE(p.child<QLabel>("label_14")->text(), QStringLiteral("起始采样频率"));
    QCOMPARE(p.child<QLabel>("label_4")->text(), QStringLiteral("毫伏"));
    QCOMPARE(p.child<QLabel>("label_9")->text(), QStringLiteral("毫安"));
    QCOMPARE(p.child<QLabel>("label_24")->text(), QStringLiteral("毫赫兹"));
    QCOMPARE(p.child<QCheckBox>("chk_debug")->text(), QStringLiteral("采样频率调试"));
    QCOMPARE(p.child<QPushButton>("btn_changeWorkMode")->text(), QStringLiteral("更改"));
    QCOMPARE(p.child<QLabel>("label_12")->text(), QStringLiteral("VCSEL Lock"));
    QCOMPARE(p.child<QLabel>("label_23")->text(), QStringLiteral("VCSEL Default"));
    p.page.slot_setLanguage(0);
    QCOMPARE(p.child<QLabel>("label_18")->text(), units);
    QCOMPARE(p.child<QLabel>("label_14")->text(), QStringLiteral("FS Start"));
    QCOMPARE(p.child<QCheckBox>("chk_debug")->text(), QStringLiteral("FS Debug"));
    QCOMPARE(p.child<QPushButton>("btn_changeWorkState")->text(), QStringLiteral("Change"));
}

// After connecting, the main page writes the debug page's set values into the
// event log.
void TstMonitorModuleForm::mainPageLogsTheSetValues()
{
    Page p;
    MainModuleForm main(&p.hub);
    main.setMonitorForm(&p.page);
    p.page.slots_updateFormParam(p.block());
    QSignalSpy log(&p.hub, &ParamManager::sig_saveCrashLog);
    main.slots_connected();
    QTRY_VERIFY_WITH_TIMEOUT(!log.isEmpty(), 5000);
    QCOMPARE(log.last().at(1).toString(),
             LogConnectSuccess.arg("0.6200").arg("0.1235").arg("0.7800"));
}

MAG_TEST_MAIN(TstMonitorModuleForm)
#include "tst_monitormoduleform.moc"
