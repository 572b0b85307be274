// The settings page driving the virtual instrument over a pseudo-terminal,
// through the real hub, scheduler, transport and decoder.

#include "app/ParamManager.h"
#include "device/ModbusWorkThread.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"
#include "ui/GuiPause.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/pages/ConfigModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <cmath>
#include <memory>

namespace {
struct Batch
{
    QVector<double> values;
    int rate;
    qint64 at; // ms on the session's clock
};

// One run of the program: hub and main window, and every batch they decoded.
struct Session
{
    Session()
    {
        window.resize(1280, 720);
        window.show();
        mainPage = window.findChild<MainModuleForm*>();
        page = window.findChild<ConfigModuleForm*>();
        clock.start();
        QObject::connect(&hub, &ParamManager::sig_updateForm, &window,
                         [this](const QVector<double>& values, FrequencyType rate) {
                             batches.append({values, int(rate), clock.elapsed()});
                         });
    }
    // The newest run of batches, all of one rate, that came after `since`.
    int runOf(int rate, qint64 since) const
    {
        int n = 0;
        for (int i = batches.size() - 1; i >= 0 && batches[i].at >= since; --i) {
            if (batches[i].rate != rate)
                break;
            ++n;
        }
        return n;
    }
    template <typename T> T* child(const char* name) const
    {
        return window.findChild<T*>(QLatin1String(name));
    }

    ParamManager hub;
    MainWindow window{&hub};
    MainModuleForm* mainPage;
    ConfigModuleForm* page;
    QElapsedTimer clock;
    QVector<Batch> batches;
};

// The 20 Hz batches since `since`: one sample each (a 13-byte frame), on the
// field, twenty a second.
void check20Hz(const Session& s, qint64 since)
{
    QVector<Batch> run;
    for (const Batch& b : s.batches)
        if (b.at >= since && b.rate == 20)
            run << b;
    QVERIFY(run.size() >= 30);
    for (const Batch& b : run) {
        QCOMPARE(b.values.size(), 1);
        QVERIFY2(std::fabs(b.values.first() - 50000.0) < 20.0,
                 qPrintable(QString::number(b.values.first())));
    }
    const qint64 span = run.last().at - run[run.size() - 30].at;
    QVERIFY2(span > 1000 && span < 3000, qPrintable(QString::number(span)));
}
} // namespace

class TestConfigPageInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rateChangeTo20Hz();
    void sweepWriteWhileThePollRuns();
};

void TestConfigPageInstrument::initTestCase()
{
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
    GuiPause::setScalePercent(25);
}

// Changed on the settings page, the rate reaches the instrument; the stream that
// follows is cut into 13-byte frames and decoded at 20 Hz, also after a
// reconnect, when the identity block reports the rate again, and in a new run of
// the program that finds the instrument at 20 Hz.
void TestConfigPageInstrument::rateChangeTo20Hz()
{
    InstrumentProcess instrument;
    const QString port = instrument.start({"--lock-step-ms", "300", "--seed", "7"});
    QVERIFY2(!port.isEmpty(), "the virtual instrument published no port");

    auto s = std::make_unique<Session>();
    s->mainPage->slot_handleActionTriggered(port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(s->hub.isDeviceReady(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(s->runOf(1000, 0) >= 20, 10000);

    // Settings page: filtering off, 20 Hz chosen and changed.
    s->child<QPushButton>("btnConfig")->click();
    ConfigModuleForm* page = s->page;
    page->findChild<QCheckBox*>("chk_filter")->click();
    auto* rateButton = page->findChild<QPushButton*>("btn_samplingRate");
    QVERIFY(rateButton->isEnabled());
    rateButton->click();
    for (CustomMenu* menu : page->findChildren<CustomMenu*>())
        for (QPushButton* item : menu->buttons())
            if (menu->isVisible() && item->text() == "20")
                item->click();
    QCOMPARE(rateButton->text(), QString("20"));
    page->findChild<QPushButton*>("btn_changeSamplingRate")->click();
    QCOMPARE(s->hub.samplingRate, 20);
    QVERIFY(!page->findChild<QCheckBox*>("chk_filter")->isEnabled());
    QCOMPARE(s->child<QLineEdit>("edt_dataRate")->text(), QString("0.05"));

    // Back on the main page the stream starts again, at the instrument's new rate.
    const qint64 changed = s->clock.elapsed();
    s->child<QPushButton>("btnMain")->click();
    QTRY_VERIFY_WITH_TIMEOUT(s->runOf(20, changed) >= 40, 10000);
    check20Hz(*s, changed);

    // Reconnect: the identity block reports 20 Hz and the framing stays on it.
    QSignalSpy rateReports(&s->hub, &ParamManager::sig_updateSamplingRate);
    s->child<QPushButton>("btn_reboot")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!s->hub.isDeviceReady() && s->mainPage->isComButtonEnabled(), 5000);
    const qint64 reconnected = s->clock.elapsed();
    s->mainPage->slot_handleActionTriggered(port, QVariant());
    QVERIFY(rateReports.wait(10000));
    QCOMPARE(rateReports.first().at(0).toInt(), 20);
    QTRY_VERIFY_WITH_TIMEOUT(s->hub.isDeviceReady(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(s->runOf(20, reconnected) >= 40, 10000);
    check20Hz(*s, reconnected);
    QCOMPARE(rateButton->text(), QString("20"));

    // The data-rate menu's 0.05 changes only what is shown: the stream goes on,
    // framed at the instrument's 20 Hz.
    bool chosen = false;
    for (QMenu* menu : s->window.findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (action->text() == "0.05") {
                action->trigger();
                chosen = true;
            }
    QVERIFY(chosen);
    const qint64 shown = s->clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(s->runOf(20, shown) >= 40, 10000);
    check20Hz(*s, shown);

    // A new run starts at 1000 Hz with filtering on; the instrument still streams
    // at 20 Hz and says so in its identity block.
    s.reset();
    s = std::make_unique<Session>();
    QCOMPARE(s->hub.samplingRate, 1000);
    QVERIFY(s->child<QCheckBox>("chk_filter")->isChecked());
    s->mainPage->slot_handleActionTriggered(port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(s->hub.isDeviceReady(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(s->runOf(20, 0) >= 40, 10000);
    check20Hz(*s, 0);
    QCOMPARE(s->hub.samplingRate, 20);
    QCOMPARE(s->child<QPushButton>("btn_samplingRate")->text(), QString("20"));
    QVERIFY(!s->child<QCheckBox>("chk_filter")->isChecked());
    QCOMPARE(s->child<QLineEdit>("edt_dataRate")->text(), QString("0.05"));
}

// A write that goes out while the parameter poll runs answers with an echo the
// poll does not expect: that reply is lost at most, and no later one is shifted.
void TestConfigPageInstrument::sweepWriteWhileThePollRuns()
{
    InstrumentProcess instrument;
    const QString port = instrument.start({"--start-status", "4", "--seed", "3"});
    QVERIFY2(!port.isEmpty(), "the virtual instrument published no port");

    ParamManager hub;
    ConfigModuleForm page(&hub);
    page.show();
    QSignalSpy connected(&hub, &ParamManager::sig_connected);
    emit hub.getModbusWorkThread()->sig_connectDevice(port, hub.baudRate);
    QVERIFY(connected.wait(10000));

    QVector<RefreshData> blocks;
    connect(&hub, &ParamManager::sig_updateFormParam, &page,
            [&](const RefreshData& d) { blocks << d; });
    page.startParamWorker();
    QTRY_VERIFY_WITH_TIMEOUT(blocks.size() >= 1, 5000);

    auto* start = page.findChild<QLineEdit*>("edt_fsStart");
    quint32 last = 0;
    for (int i = 1; i <= 5; ++i) {
        const int before = blocks.size();
        QTRY_VERIFY_WITH_TIMEOUT(blocks.size() > before, 5000); // just after a poll
        last = 20000000u + 1000u * quint32(i);
        start->setText(QString::number(last));
        emit start->editingFinished();
        hub.requestDeviceParams(); // the poll's own request, right behind the write
    }
    const int afterWrites = blocks.size();
    QTRY_VERIFY_WITH_TIMEOUT(blocks.size() >= afterWrites + 3, 10000);
    page.stopParamWorker();

    // Every block decoded is the instrument's: the set points it holds from power-up.
    for (const RefreshData& d : qAsConst(blocks)) {
        QCOMPARE(float(d.vcselSet), 0.62f);
        QCOMPARE(float(d.vaporCellSet), 0.78f);
        QCOMPARE(float(d.vcselDefaultSet), 0.45f);
        QCOMPARE(d.word40100, quint64(5000000));
    }

    QSignalSpy identity(&hub, &ParamManager::sig_updateFormParamEx);
    emit hub.sig_sendModbusData(Addr40000Identity);
    QVERIFY(identity.wait(5000));
    QCOMPARE(identity.first().at(0).value<RefreshDataEx>().fsStart, last);
}

MAG_TEST_MAIN(TestConfigPageInstrument)
#include "tst_configpage_instrument.moc"
