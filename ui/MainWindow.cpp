#include "ui/MainWindow.h"

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "device/SamplingRates.h"
#include "services/DataCheckerThread.h"
#include "services/SaveModuleForm.h"
#include "ui/BottomBar.h"
#include "ui/GuiPause.h"
#include "ui/InfoBox.h"
#include "ui/LanguageMenu.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindowStyles.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/VectorModuleWidget.h"
#include "ui/pages/ConfigModuleForm.h"
#include "ui/pages/HelpModuleForm.h"
#include "ui/pages/MonitorModuleForm.h"

#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QMessageBox>
#include <QTimer>

namespace {
// By page index.
const char* const PageButtonNames[PageHooks::PageCount] = {
    "btnMain", "btnSensitivity", "btnVector", "btnSave", "btnHelp", "btnMonitor", "btnConfig"};
} // namespace

MainWindow::MainWindow(ParamManager* paramManager, QWidget* parent)
    : QMainWindow(parent), ui(new Ui_MainWindow), paramManager(paramManager)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("KORVI-V1.1"));
    initPages();
    initLineEdits();
    initMenus();
    initStyle();
    initWindow();
    initLockLossMessage();
}

MainWindow::~MainWindow()
{
    delete ui;
}

// ---- pages ------------------------------------------------------------------

void MainWindow::initPages()
{
    mainForm = new MainModuleForm(paramManager, this);
    addPage(PageHooks::MainPage, mainForm, mainForm->pageHooks());
    auto* sensitivityForm = new SensitivityModuleForm(paramManager, this);
    addPage(PageHooks::SensitivityPage, sensitivityForm, sensitivityForm->pageHooks());
    auto* vectorForm = new VectorModuleWidget(paramManager, this);
    addPage(PageHooks::VectorPage, vectorForm, vectorForm->pageHooks());
    auto* saveForm = new SaveModuleForm(paramManager, this);
    addPage(PageHooks::SavePage, saveForm, saveForm->pageHooks());
    auto* helpForm = new HelpModuleForm(paramManager, this);
    addPage(PageHooks::HelpPage, helpForm, helpForm->pageHooks());
    auto* monitorForm = new MonitorModuleForm(paramManager, this);
    addPage(PageHooks::MonitorPage, monitorForm, monitorForm->pageHooks());
    auto* configForm = new ConfigModuleForm(paramManager, this);
    addPage(PageHooks::ConfigPage, configForm, configForm->pageHooks());

    for (int i = 0; i < ui->stackedWidget->count(); ++i)
        ui->stackedWidget->widget(i)->setVisible(pageMap.value(currentPageIndex) ==
                                                 ui->stackedWidget->widget(i));
    qDebug() << (paramManager->isTest == 1 ? "isTest 1" : "isTest 0");

    ui->btnMonitor->setVisible(paramManager->isTest == 1);
    ui->btnVector->setVisible(false);
    ui->btnSensitivity->setVisible(true);
    ui->btnMain->setCheckable(true);
    ui->btnMain->setChecked(true);
    ui->btnMain->raise();

    for (QObject* child : ui->widget_topButtons->children()) {
        auto* button = qobject_cast<QAbstractButton*>(child);
        if (button && button->objectName().contains(QLatin1String("btn")))
            connect(button, &QAbstractButton::clicked, this, &MainWindow::onPageButtonClicked);
    }
    if (QWidget* page = pageMap.value(currentPageIndex))
        ui->stackedWidget->setCurrentWidget(page);

    connect(paramManager, &ParamManager::sig_changeSamplingRate, this,
            &MainWindow::changeSamplingRate);
    connect(paramManager, &ParamManager::sig_disconnect, this, [this] { scheduleReset(); });
    connect(paramManager, &ParamManager::sig_changeWorkState, this, [this] {
        callHook(PageHooks::MainPage, &PageHooks::clearPlot);
        callHook(PageHooks::SensitivityPage, &PageHooks::clearPlot);
    });
    // The filter starts afresh with another cut-off, filter switch or data rate:
    // values of two settings on one axis, or in one spectrum, would hide both.
    connect(paramManager, &ParamManager::sig_filterSettingsChanged, this, [this] {
        callHook(PageHooks::MainPage, &PageHooks::filterChanged);
        callHook(PageHooks::SensitivityPage, &PageHooks::filterChanged);
    });

    ui->lbl_fftTime->hide();
    ui->edt_fftTime->hide();
    ui->label_FFT_Unit->hide();
    ui->edt_dataRate->setText(QString::number(1.0 / paramManager->samplingRate, 'g', 6));
}

void MainWindow::addPage(int index, QWidget* page, const PageHooks& hooks)
{
    for (auto it = pageHooks.cbegin(); it != pageHooks.cend(); ++it) {
        if (it->pageAdded)
            it->pageAdded(index, page);
        if (hooks.pageAdded)
            hooks.pageAdded(it.key(), pageMap.value(it.key()));
    }
    pageMap.insert(index, page);
    pageHooks.insert(index, hooks);
    // The debug page is reachable in test mode only.
    if (index != PageHooks::MonitorPage || paramManager->isTest == 1)
        ui->stackedWidget->addWidget(page);
    else
        page->hide();
}

void MainWindow::callHook(int index, std::function<void()> PageHooks::*hook) const
{
    const auto it = pageHooks.constFind(index);
    if (it != pageHooks.constEnd() && (*it).*hook)
        ((*it).*hook)();
}

void MainWindow::callHook(int index, std::function<void(int)> PageHooks::*hook, int value) const
{
    const auto it = pageHooks.constFind(index);
    if (it != pageHooks.constEnd() && (*it).*hook)
        ((*it).*hook)(value);
}

void MainWindow::onPageButtonClicked()
{
    const QString name = sender() ? sender()->objectName() : QString();
    for (int i = 0; i < PageHooks::PageCount; ++i) {
        if (name == QLatin1String(PageButtonNames[i]))
            targetPageIndex = i;
    }
    if (targetPageIndex == currentPageIndex)
        return;

    const bool refused = paramManager->isSaving() && (targetPageIndex == PageHooks::MonitorPage ||
                                                      targetPageIndex == PageHooks::ConfigPage);
    if (refused)
        InfoBox::open(targetPageIndex == PageHooks::MonitorPage
                          ? QStringLiteral("保存磁场信息中,要切换到调试界面,请先停止保存!")
                          : QStringLiteral("保存磁场信息中,要切换到配置界面,请先停止保存!"),
                      windowIcon());
    // A refused switch, or a button whose page is not in the stack (the debug
    // page outside test mode), leaves the shown page and its button checked.
    if (refused || ui->stackedWidget->indexOf(pageMap.value(targetPageIndex)) < 0) {
        targetPageIndex = currentPageIndex;
        if (auto* button = ui->widget_topButtons->findChild<QPushButton*>(
                QLatin1String(PageButtonNames[currentPageIndex])))
            button->setChecked(true);
        return;
    }

    if (auto* button = qobject_cast<QWidget*>(sender()))
        button->raise();
    // The main page's stream (or status poll) stops on the way to a page that polls
    // registers and runs again on the way back to one it runs on under.
    const int from = currentPageIndex;
    callHook(from, &PageHooks::leave, targetPageIndex);
    if (PageHooks::pollsRegisters(targetPageIndex) &&
        (PageHooks::keepsMainStream(from) ||
         (from == PageHooks::SensitivityPage && !paramManager->isDeviceReady())))
        callHook(PageHooks::MainPage, &PageHooks::stopPolling);
    ui->stackedWidget->setCurrentWidget(pageMap.value(targetPageIndex));
    currentPageIndex = targetPageIndex;
    bottomBar->showEdits(pageHooks.value(currentPageIndex).bottomBar);
    callHook(currentPageIndex, &PageHooks::enter);
    if (PageHooks::pollsRegisters(from) && PageHooks::keepsMainStream(currentPageIndex))
        callHook(PageHooks::MainPage, &PageHooks::startPolling, paramManager->samplingRate);
}

// ---- bottom bar and sampling rate ---------------------------------------------

void MainWindow::initLineEdits()
{
    bottomBar = new BottomBar(ui, paramManager, this);
    for (QLineEdit* edit : {ui->edt_lowPass, ui->edt_highPass, ui->edt_fftTime})
        connect(edit, &QLineEdit::editingFinished, this, &MainWindow::slots_lineEditIsOK);
}

void MainWindow::slots_lineEditIsOK()
{
    bottomBar->editFinished(sender());
}

void MainWindow::initMenus()
{
    ui->edt_dataRate->installEventFilter(this);
    connect(bottomBar, &BottomBar::dataRateChosen, this, &MainWindow::showFrequencyChangeAdvice);

    languageMenu = new LanguageMenu(ui->btn_Language, ui->label_language, this);
    connect(languageMenu, &LanguageMenu::chosen, this, &MainWindow::onLanguageChosen);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    return bottomBar->dataRatePressed(watched, event) || QMainWindow::eventFilter(watched, event);
}

void MainWindow::showFrequencyChangeAdvice(const QString& text, int rate)
{
    ui->edt_dataRate->setText(text);
    changeSamplingRate(rate, false);
    if (!mainForm->isComButtonEnabled())
        InfoBox::open(QStringLiteral("修改频率后，建议等待图像稳定再保存数据，以确保数据准确!"),
                      windowIcon());
}

void MainWindow::changeSamplingRate(int rate, bool bChange)
{
    qDebug() << "TO Change samplingRate:" << rate << "," << (bChange ? "true" : "false");
    const SamplingRates::Entry* entry = SamplingRates::findSettable(rate);
    if (!entry) {
        qDebug() << "samplingRate not in the rate table, ignored:" << rate;
        return;
    }

    const int page = currentPageIndex;
    callHook(page, &PageHooks::stopPolling);
    GuiPause::pause(200);

    QByteArray frame = SamplingRates::rateFrame(*entry);
    paramManager->samplingRate = rate;

    DataParam param = paramManager->dataParam();
    param.dataRate = entry->step();
    paramManager->setDataParam(param);
    emit paramManager->sig_syncDataParam(param);
    emit paramManager->sig_setOneHz(entry->averaged());
    if (bChange)
        paramManager->streamRate = entry->streamRate; // from the next stream start
    if (!bChange && paramManager->streamRate != SamplingRates::DefaultRate)
        // Only the shown rate changes; the instrument goes on streaming at its own.
        emit paramManager->sig_syncDataByteCount(paramManager->streamRate, true);
    else if (entry->averaged())
        emit paramManager->sig_syncDataByteCount(SamplingRates::DefaultRate, false);
    else
        emit paramManager->sig_syncDataByteCount(rate, bChange);

    if (bChange) {
        emit paramManager->sig_sendCustomModbusData(frame);
        qDebug() << "------------------------------";
        qDebug() << "dataRate20250918:" << entry->step();
    }
    // The box always shows the rate now in force (the identity block also
    // lands here with rates the menu does not offer).
    bottomBar->showDataRate(entry->step(), !bChange || rate == SamplingRates::DefaultRate);
    // The spectrum's axis follows every road to a new rate (menu, settings page,
    // identity block), not only the menu.
    callHook(PageHooks::SensitivityPage, &PageHooks::dataRateChosen, rate);
    GuiPause::pause(200);

    callHook(page, &PageHooks::startPolling, rate);
}

void MainWindow::on_btn_clearPlot_clicked()
{
    QWidget* shown = ui->stackedWidget->currentWidget();
    for (const int index :
         {int(PageHooks::MainPage), int(PageHooks::SensitivityPage), int(PageHooks::VectorPage)}) {
        if (shown && pageMap.value(index) == shown)
            callHook(index, &PageHooks::clearPlot);
    }
}

void MainWindow::on_btn_reboot_clicked()
{
    scheduleReset();
}

// Runs the reset from the event loop, after the event that asked for it; asks
// that arrive before it has run are served by the same reset.
void MainWindow::scheduleReset()
{
    if (resetPending)
        return;
    resetPending = true;
    QTimer::singleShot(0, this, [this] {
        resetPending = false;
        resetDevice();
    });
}

void MainWindow::resetDevice()
{
    // The main page stops its polls before the link goes down; the others follow.
    callHook(PageHooks::MainPage, &PageHooks::reset);
    paramManager->rebootDevice();
    for (const int index : {PageHooks::MonitorPage, PageHooks::SensitivityPage, PageHooks::SavePage,
                            PageHooks::ConfigPage})
        callHook(index, &PageHooks::reset);
}

// ---- language -------------------------------------------------------------------

void MainWindow::onLanguageChosen(const QString& text)
{
    if (text != QStringLiteral("中文") && text != QLatin1String("English"))
        return;
    paramManager->isChinese = text == QLatin1String("English") ? 0 : 1;
    emit sig_ChangeLanguage(paramManager->isChinese);
    languageMenu->showLanguage(paramManager->isChinese);
    Settings::writeValue(paramManager->iniPath, QStringLiteral("Sensitivity"),
                         QStringLiteral("isChinese"), paramManager->isChinese);
}

void MainWindow::slot_setLanguage(int num)
{
    const QVector<PageTexts::Text> texts = {
        {ui->btn_clearPlot, "清除图表"}, {ui->lbl_lowPass, "低通"},
        {ui->lbl_highPass, "高通"},      {ui->lbl_fftTime, "傅立叶变换时间"},
        {ui->label_FFT_Unit, "秒"},      {ui->label, "数据速率"},
        {ui->label_DataRateUnit, "秒"},  {ui->btn_reboot, "重启"},
        {ui->btnMain, "主面板"},         {ui->btnSensitivity, "频率谱"},
        {ui->btnVector, "矢量"},         {ui->btnSave, "保存"},
        {ui->btnHelp, "帮助"},           {ui->btnMonitor, "调试"},
        {ui->btnConfig, "配置"},
    };
    pageTexts.setLanguage(num, texts);
}

// ---- window -----------------------------------------------------------------------

void MainWindow::initWindow()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    frame.trackMouse();

    connect(this, &MainWindow::sig_ChangeLanguage, this, &MainWindow::slot_setLanguage);
    for (const int index :
         {int(PageHooks::MonitorPage), int(PageHooks::SensitivityPage), int(PageHooks::ConfigPage),
          int(PageHooks::MainPage), int(PageHooks::SavePage), int(PageHooks::HelpPage)}) {
        const auto it = pageHooks.constFind(index);
        if (it != pageHooks.constEnd() && it->setLanguage)
            connect(this, &MainWindow::sig_ChangeLanguage, pageMap.value(index), it->setLanguage);
    }
    if (paramManager->isChinese == 1) {
        emit sig_ChangeLanguage(1);
        languageMenu->showLanguage(1);
    }
}

void MainWindow::initLockLossMessage()
{
    lockLossBox = new QMessageBox(this);
    lockLossBox->setWindowIcon(windowIcon());
    lockLossBox->setIcon(QMessageBox::Information);
    lockLossBox->setWindowTitle(QStringLiteral("提示"));
    lockLossBox->setText(QStringLiteral("设备处于失锁状态!"));
    // It comes back every few seconds while data are missing: it must not hold the
    // window, or the operator could not reach the pages to find out why.
    lockLossBox->setWindowModality(Qt::NonModal);
    if (DataCheckerThread* watchdog = paramManager->getDataCheckerThread())
        connect(watchdog, &DataCheckerThread::sig_dataCheckMsg, this,
                &MainWindow::showLockLossMessage);
}

void MainWindow::showLockLossMessage(const QString& text)
{
    qDebug() << "20260128data:" << text;
    lockLossBox->setText(text);
    lockLossBox->show();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    emit paramManager->sig_sendModbusData(Addr40000Identity);
    event->accept();
}

void MainWindow::initStyle()
{
    MainWindowStyles::apply(ui);
    connect(ui->btn_Min, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btn_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btn_Max, &QPushButton::clicked, this, [this] {
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        ui->btn_Max->setStyleSheet(MainWindowStyles::maxButton(isMaximized()));
    });
}
