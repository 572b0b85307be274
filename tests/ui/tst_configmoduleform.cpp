// The settings page against the hub's signals: the frames it writes (checked
// against frames built here with a bit-wise CRC), the baud rate in "config.ini",
// the filter/rate interlock, the sweep edits and the page's hooks.

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "tests/support/ReferenceCrc.h"
#include "tests/support/TestMain.h"
#include "ui/pages/ConfigModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

// 01 10, the register, 00 02 04, then the value as two big-endian words, low word first.
QByteArray sweepWrite(quint16 reg, quint32 v)
{
    QByteArray f = QByteArray::fromHex("0110");
    f += char(reg >> 8);
    f += char(reg & 0xFF);
    f += QByteArray::fromHex("000204");
    f += char((v >> 8) & 0xFF);
    f += char(v & 0xFF);
    f += char((v >> 24) & 0xFF);
    f += char((v >> 16) & 0xFF);
    return withReferenceCrc(f);
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

} // namespace

class TestConfigModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sweepFrames_data();
    void sweepFrames();
    void choiceFrames_data();
    void choiceFrames();
    void baudRateNotStoredIsNotSent();
    void filterStartsOnAndLocksTheRate();
    void rateChangeLocksTheFilter_data();
    void rateChangeLocksTheFilter();
    void reportedRateSetsTheFraming_data();
    void reportedRateSetsTheFraming();
    void sweepEditsFilledOncePerReset();
    void hooksRunTheParameterPoll();
    void language();

private:
    template <typename T> T* child(const char* name) const
    {
        T* w = page->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    // Opens the button's menu and clicks the entry with this text.
    void choose(const char* button, const QString& text);

    std::unique_ptr<ParamManager> hub;
    std::unique_ptr<QSignalSpy> filterSpy;
    std::unique_ptr<ConfigModuleForm> page;
};

void TestConfigModuleForm::init()
{
    QFile::remove(Settings::configPath());
    hub = std::make_unique<ParamManager>();
    filterSpy = std::make_unique<QSignalSpy>(hub.get(), &ParamManager::sig_setFilterEnabled);
    page = std::make_unique<ConfigModuleForm>(hub.get());
    page->resize(1000, 600);
    page->show();
    // A sweep edit that loses the focus writes its value; keep the focus away
    // from them unless a test gives it.
    page->setFocusPolicy(Qt::StrongFocus);
    page->setFocus();
}

void TestConfigModuleForm::cleanup()
{
    for (QMessageBox* box : openBoxes())
        box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    page.reset();
    filterSpy.reset();
    hub.reset();
}

void TestConfigModuleForm::choose(const char* button, const QString& text)
{
    auto* b = child<QPushButton>(button);
    b->click();
    for (CustomMenu* menu : page->findChildren<CustomMenu*>()) {
        if (!menu->isVisible())
            continue;
        QCOMPARE(menu->pos(), b->mapToGlobal(QPoint(0, b->height())));
        QCOMPARE(menu->width(), b->width());
        for (QPushButton* item : menu->buttons()) {
            if (item->text() == text) {
                item->click();
                QVERIFY(!menu->isVisible());
                return;
            }
        }
    }
    QFAIL(qPrintable(QString("no entry %1 under %2").arg(text, button)));
}

void TestConfigModuleForm::sweepFrames_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("frame"); // empty: nothing is sent

    QTest::newRow("start 20000000")
        << "edt_fsStart"
        << "20000000"
        << "20000000" << withReferenceCrc(QByteArray::fromHex("01109C800002042D000131"));
    QTest::newRow("step 1") << "edt_fsStep"
                            << "1"
                            << "1"
                            << withReferenceCrc(QByteArray::fromHex("01109C8400020400010000"));
    QTest::newRow("empty end") << "edt_fsEnd"
                               << ""
                               << "20000000" << sweepWrite(0x9C82, 20000000);
    QTest::newRow("blanks only") << "edt_fsStart"
                                 << "   "
                                 << "20000000" << sweepWrite(0x9C80, 20000000);
    QTest::newRow("11 digits") << "edt_fsEnd"
                               << "12345678901"
                               << "1400000000" << sweepWrite(0x9C82, 1400000000);
    QTest::newRow("1399999999 unchanged") << "edt_fsEnd"
                                          << "1399999999"
                                          << "1399999999" << sweepWrite(0x9C82, 1399999999);
    QTest::newRow("1400000000") << "edt_fsStart"
                                << "1400000000"
                                << "1400000000" << sweepWrite(0x9C80, 1400000000);
    QTest::newRow("ten nines are large, not invalid")
        << "edt_fsStep"
        << "9999999999"
        << "1400000000" << sweepWrite(0x9C84, 1400000000);
    QTest::newRow("leading zeros") << "edt_fsStep"
                                   << "0000000042"
                                   << "42" << sweepWrite(0x9C84, 42);
    QTest::newRow("zero") << "edt_fsStart"
                          << "0"
                          << "0" << QByteArray();
    QTest::newRow("negative") << "edt_fsStart"
                              << "-5"
                              << "0" << QByteArray();
    QTest::newRow("a word") << "edt_fsEnd"
                            << "sweep"
                            << "0" << QByteArray();
}

void TestConfigModuleForm::sweepFrames()
{
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QByteArray, frame);
    QSignalSpy sent(hub.get(), &ParamManager::sig_sendCustomModbusData);
    auto* e = page->findChild<QLineEdit*>(edit);
    e->setText(typed); // the validator keeps signs and letters from the keyboard only
    emit e->editingFinished();
    QCOMPARE(e->text(), shown);
    QCOMPARE(sent.count(), frame.isEmpty() ? 0 : 1);
    if (!frame.isEmpty())
        QCOMPARE(sent.first().at(0).toByteArray(), frame);
}

// Choosing an entry only relabels its button; the change button sends.
void TestConfigModuleForm::choiceFrames_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("choice"); // empty: the button's text is set directly
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("frame"); // empty: nothing is sent
    QTest::addColumn<int>("storedBaud");   // "Com/baudRate" afterwards, 0 when absent

    QTest::newRow("baud 115200") << "btn_baudRate"
                                 << "115200"
                                 << "115200"
                                 << "btn_changeBaudRate"
                                 << withReferenceCrc(QByteArray::fromHex("01109C930001020480"))
                                 << 115200;
    QTest::newRow("baud 921600") << "btn_baudRate"
                                 << "921600"
                                 << "921600"
                                 << "btn_changeBaudRate"
                                 << withReferenceCrc(QByteArray::fromHex("01109C930001022400"))
                                 << 921600;
    QTest::newRow("data interval 10")
        << "btn_dataInterval"
        << "10"
        << "10"
        << "btn_changeDataInterval" << withReferenceCrc(QByteArray::fromHex("01109C95000102000A"))
        << 0;
    QTest::newRow("data interval 20")
        << "btn_dataInterval"
        << "20"
        << "20"
        << "btn_changeDataInterval" << withReferenceCrc(QByteArray::fromHex("01109C950001020014"))
        << 0;
    QTest::newRow("baud not in the list") << "btn_baudRate"
                                          << ""
                                          << "57600"
                                          << "btn_changeBaudRate" << QByteArray() << 0;
}

void TestConfigModuleForm::choiceFrames()
{
    QFETCH(QString, button);
    QFETCH(QString, choice);
    QFETCH(QString, text);
    QFETCH(QString, change);
    QFETCH(QByteArray, frame);
    QFETCH(int, storedBaud);
    QSignalSpy sent(hub.get(), &ParamManager::sig_sendCustomModbusData);
    const int baudBefore = hub->baudRate;

    if (choice.isEmpty())
        page->findChild<QPushButton*>(button)->setText(text);
    else
        choose(qPrintable(button), choice);
    QCOMPARE(page->findChild<QPushButton*>(button)->text(), text);
    QCOMPARE(sent.count(), 0);
    QVERIFY(!QFile::exists(Settings::configPath()));

    if (frame.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("未找到该状态")));
    page->findChild<QPushButton*>(change)->click();
    QCOMPARE(sent.count(), frame.isEmpty() ? 0 : 1);
    if (!frame.isEmpty())
        QCOMPARE(sent.first().at(0).toByteArray(), frame);
    QCOMPARE(Settings::readInt(hub->iniPath, "Com", "baudRate", 0), storedBaud);
    QCOMPARE(hub->baudRate, storedBaud ? storedBaud : baudBefore);
}

// The instrument would change its line while the program kept connecting at the old rate.
void TestConfigModuleForm::baudRateNotStoredIsNotSent()
{
    QVERIFY(QDir().mkdir(Settings::configPath())); // a folder where the file should be
    const auto removeFolder = qScopeGuard([] { QDir().rmdir(Settings::configPath()); });
    QSignalSpy sent(hub.get(), &ParamManager::sig_sendCustomModbusData);
    choose("btn_baudRate", "115200");
    child<QPushButton>("btn_changeBaudRate")->click();
    QCOMPARE(sent.count(), 0);
    QCOMPARE(hub->baudRate, 921600);
    QTRY_COMPARE(openBoxes().size(), 1);
    QCOMPARE(openBoxes().first()->windowTitle(), QStringLiteral("提示"));
}

void TestConfigModuleForm::filterStartsOnAndLocksTheRate()
{
    QCOMPARE(filterSpy->count(), 1);
    QCOMPARE(filterSpy->first().at(0).toBool(), true);
    auto* filter = child<QCheckBox>("chk_filter");
    QVERIFY(filter->isChecked());
    QVERIFY(!child<QPushButton>("btn_samplingRate")->isEnabled());
    QVERIFY(!child<QPushButton>("btn_changeSamplingRate")->isEnabled());

    filter->click();
    QCOMPARE(filterSpy->last().at(0).toBool(), false);
    QVERIFY(child<QPushButton>("btn_samplingRate")->isEnabled());
    QVERIFY(child<QPushButton>("btn_changeSamplingRate")->isEnabled());
    filter->click();
    QCOMPARE(filterSpy->last().at(0).toBool(), true);
    QVERIFY(!child<QPushButton>("btn_changeSamplingRate")->isEnabled());
}

// The other way: at 20 Hz the filter switch cannot be used, whether the
// operator changed the rate or the instrument reported it.
void TestConfigModuleForm::rateChangeLocksTheFilter_data()
{
    QTest::addColumn<bool>("reported"); // by the identity block, else the change button
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("filterEnabled");
    QTest::newRow("changed to 20") << false << 20 << false;
    QTest::newRow("changed to 1000") << false << 1000 << true;
    QTest::newRow("reported 20") << true << 20 << false;
    QTest::newRow("reported 1000") << true << 1000 << true;
}

void TestConfigModuleForm::rateChangeLocksTheFilter()
{
    QFETCH(bool, reported);
    QFETCH(int, rate);
    QFETCH(bool, filterEnabled);
    QSignalSpy changes(hub.get(), &ParamManager::sig_changeSamplingRate);
    auto* filter = child<QCheckBox>("chk_filter");
    if (reported) {
        // Filtering is on: a reported 20 Hz turns it off, or neither the
        // filter switch nor the rate could be changed any more.
        hub->slots_updateSamplingRate(rate);
        QCOMPARE(child<QPushButton>("btn_samplingRate")->text(), QString::number(rate));
        QCOMPARE(filter->isChecked(), rate != 20);
        QCOMPARE(child<QPushButton>("btn_changeSamplingRate")->isEnabled(), rate == 20);
    } else {
        filter->click();
        choose("btn_samplingRate", QString::number(rate));
        child<QPushButton>("btn_changeSamplingRate")->click();
        QCOMPARE(hub->samplingRate, rate);
    }
    QCOMPARE(filter->isEnabled(), filterEnabled);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.first().at(0).toInt(), rate);
    QCOMPARE(changes.first().at(1).toBool(), !reported);
}

// After the local adoption (1000 Hz framing) the stream's framing follows the
// rate the instrument reported.
void TestConfigModuleForm::reportedRateSetsTheFraming_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("streamRate"); // what the hub then frames the stream at
    QTest::newRow("20 Hz") << 20 << 20;
    QTest::newRow("1000 Hz") << 1000 << 1000;
    QTest::newRow("1 Hz is streamed at 1000") << 1 << 1000;
    QTest::newRow("rate outside the table") << 7 << 1000;
}

// The reported rate becomes the hub's stream rate before the window adopts it
// (the window frames the stream by that rate).
void TestConfigModuleForm::reportedRateSetsTheFraming()
{
    QFETCH(int, rate);
    QFETCH(int, streamRate);
    QVector<QString> order;
    connect(hub.get(), &ParamManager::sig_changeSamplingRate, page.get(), [&](int r, bool b) {
        order << QString("change %1 %2 at %3").arg(r).arg(b).arg(hub->streamRate);
    });
    hub->slots_updateSamplingRate(rate);
    QCOMPARE(order, QVector<QString>{QString("change %1 0 at %2").arg(rate).arg(streamRate)});
}

void TestConfigModuleForm::sweepEditsFilledOncePerReset()
{
    auto* start = child<QLineEdit>("edt_fsStart");
    auto* end = child<QLineEdit>("edt_fsEnd");
    auto* step = child<QLineEdit>("edt_fsStep");
    emit hub->sig_updateFormParamEx({300000000, 400000000, 1000000});
    QCOMPARE(start->text(), QString("300000000"));
    QCOMPARE(end->text(), QString("400000000"));
    QCOMPARE(step->text(), QString("1000000"));

    start->setText("123"); // typed, not yet finished
    emit hub->sig_updateFormParamEx({1, 2, 3});
    QCOMPARE(start->text(), QString("123"));
    QCOMPARE(end->text(), QString("400000000"));

    page->pageHooks().reset();
    emit hub->sig_updateFormParamEx({4000000000u, 5, 6});
    QCOMPARE(start->text(), QString("4000000000"));
    QCOMPARE(step->text(), QString("6"));
}

void TestConfigModuleForm::hooksRunTheParameterPoll()
{
    const PageHooks hooks = page->pageHooks();
    QCOMPARE(hooks.bottomBar, PageHooks::BottomBar::Unchanged);
    QSignalSpy starts(hub.get(), &ParamManager::sig_paramWorkerStart);
    QSignalSpy stops(hub.get(), &ParamManager::sig_paramWorkerStop);
    hub->setStreamStarted(true);
    hooks.enter();
    QCOMPARE(starts.count(), 1);
    QVERIFY(!hub->isStreamStarted()); // the main page starts it again when shown
    hooks.leave(PageHooks::MainPage);
    QCOMPARE(stops.count(), 1);
    hooks.stopPolling();
    hooks.startPolling(20);
    QCOMPARE(stops.count(), 2);
    QCOMPARE(starts.count(), 2);
}

void TestConfigModuleForm::language()
{
    const auto texts = [this] {
        QStringList t;
        for (const char* name :
             {"label_14", "label_15", "label_16", "label_19", "label_26", "label_27", "label_28"})
            t << child<QLabel>(name)->text();
        for (const char* name : {"btn_changeBaudRate", "btn_changeSamplingRate"})
            t << child<QPushButton>(name)->text();
        t << child<QCheckBox>("chk_filter")->text();
        return t;
    };
    const QStringList english{"FS Start",      "FS End",          "FS Step",       "mHz",
                              "Data Interval", "Baud Rate",       "Sampling Rate", "Change",
                              "Change",        "Enable filtering"};
    QCOMPARE(texts(), english);
    page->slot_setLanguage(1);
    QCOMPARE(texts(), (QStringList{"起始采样频率", "终止采样频率", "采样频率步长", "毫赫兹",
                                   "数据间隔", "波特率", "采样率", "更改", "更改", "启用滤波"}));
    QCOMPARE(child<QLabel>("label_24")->text(), QStringLiteral("毫赫兹"));
    page->slot_setLanguage(0);
    QCOMPARE(texts(), english);
}

MAG_TEST_MAIN(TestConfigModuleForm)
#include "tst_configmoduleform.moc"
