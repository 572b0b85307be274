#include "ui/pages/MonitorModuleForm.h"

#include "app/LogTexts.h"
#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/Instrument.h"
#include "device/ModbusFrame.h"
#include "ui/GuiPause.h"
#include "ui/pages/DebugInputRules.h"
#include "ui/pages/PasswordFilter.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/MyDoubleValidator.h"
#include "ui/widgets/MyIntValidator.h"

#include "ui_MonitorModuleForm.h"

#include <QDebug>
#include <QGraphicsDropShadowEffect>

#include <cmath>

namespace {
namespace Reg = Instrument::Register;
namespace WorkState = Instrument::WorkState;
constexpr double ReadBackFloor = 0.00001;

// Read-backs with five decimals; what is below the floor shows as "0".
QString readBack(double value)
{
    return value < ReadBackFloor ? QStringLiteral("0") : QString::number(value, 'f', 5);
}

QString f5(double value)
{
    return QString::number(value, 'f', 5);
}

bool untouched(const QLineEdit* edit)
{
    return !edit->hasFocus() && !edit->isModified();
}
} // namespace

MonitorModuleForm::MonitorModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_MonitorModuleForm), paramManager(paramManager)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    initMenus();

    const QVector<QLineEdit*> setPointEdits = {ui->edt_laserTempSet, ui->edt_laserElectricSet,
                                               ui->edt_airTempSet};
    for (QLineEdit* edit : setPointEdits) {
        edit->setValidator(paramManager->getDoubleValidator());
        connect(edit, &QLineEdit::editingFinished, this, &MonitorModuleForm::slots_editingFinished);
    }
    m_passwordFilter = new PasswordFilter(this);
    for (QLineEdit* edit : {ui->edt_laserElectricSet, ui->edt_laserTempSet, ui->edt_airTempSet})
        edit->installEventFilter(m_passwordFilter);
    for (QLineEdit* edit : {ui->edt_ddsFreq, ui->edt_fsStart, ui->edt_fsEnd, ui->edt_fsStep}) {
        edit->setValidator(paramManager->getIntValidator());
        connect(edit, &QLineEdit::editingFinished, this,
                &MonitorModuleForm::slots_ddsEditingFinished);
    }
    setDebugWidgetsEnabled(false);
    initStyle();

    connect(paramManager, &ParamManager::sig_updateFormParam, this,
            &MonitorModuleForm::slots_updateFormParam);
}

MonitorModuleForm::~MonitorModuleForm()
{
    delete ui;
}

PageHooks MonitorModuleForm::pageHooks()
{
    PageHooks hooks;
    hooks.leave = [this](int) {
        stopParamWorker();
        uncheckDebug();
    };
    hooks.enter = [this] { startParamWorker(); };
    hooks.stopPolling = [this] { stopParamWorker(); };
    hooks.startPolling = [this](int) { startParamWorker(); };
    hooks.reset = [this] { resetFields(); };
    hooks.setLanguage = [this](int num) { slot_setLanguage(num); };
    return hooks;
}

// ---- parameter poll -----------------------------------------------------------

void MonitorModuleForm::startParamWorker()
{
    paramManager->setStreamStarted(false);
    emit paramManager->sig_paramWorkerStart();
    m_pollRunning = true;
}

void MonitorModuleForm::stopParamWorker()
{
    emit paramManager->sig_paramWorkerStop();
    m_pollRunning = false;
}

bool MonitorModuleForm::pausePoll()
{
    const bool wasRunning = m_pollRunning;
    stopParamWorker();
    return wasRunning;
}

void MonitorModuleForm::resumePoll(bool wasRunning)
{
    if (wasRunning)
        startParamWorker();
}

void MonitorModuleForm::send(const QByteArray& frame)
{
    emit paramManager->sig_sendCustomModbusData(frame);
}

void MonitorModuleForm::sendWorkState(quint16 state)
{
    send(ModbusFrame::writeSingle(Reg::WorkState, state));
    // Any state but 4 makes the instrument leave the measurement (debug mode, or a
    // new lock from step 1 to 3): the main page then follows the lock from the
    // status poll and starts the stream only at 4.
    if (state != WorkState::Locked)
        paramManager->setDeviceReady(false);
}

// ---- public operations ----------------------------------------------------------

void MonitorModuleForm::uncheckDebug()
{
    if (ui->chk_debug->isChecked())
        ui->chk_debug->setChecked(false);
}

void MonitorModuleForm::setDebugWidgetsEnabled(bool enabled)
{
    for (QWidget* w :
         {static_cast<QWidget*>(ui->edt_ddsFreq), static_cast<QWidget*>(ui->edt_fsStart),
          static_cast<QWidget*>(ui->edt_fsEnd), static_cast<QWidget*>(ui->edt_fsStep),
          static_cast<QWidget*>(ui->btn_workMode), static_cast<QWidget*>(ui->btn_changeWorkMode)})
        w->setEnabled(enabled);
}

void MonitorModuleForm::showReadBacksZero()
{
    for (QLineEdit* edit : {ui->edt_laserTemp, ui->edt_laserElectric, ui->edt_airTemp,
                            ui->edt_pdValue, ui->edt_pdeValue})
        edit->setText(QStringLiteral("0"));
}

void MonitorModuleForm::resetFields()
{
    stopParamWorker();
    showReadBacksZero();
    for (QLineEdit* edit : {ui->edt_laserTempSet, ui->edt_laserElectricSet, ui->edt_airTempSet})
        edit->setText(QStringLiteral("0"));
    ui->edt_ddsFreq->setText(QStringLiteral("5000000"));
    ui->edt_fsStart->setText(QStringLiteral("300000000"));
    ui->edt_fsEnd->setText(QStringLiteral("400000000"));
    ui->edt_fsStep->setText(QStringLiteral("1000000"));
    ui->btn_workMode->setText(QStringLiteral("0"));
    fillSetPoints = true;
    showDdsReadBack = false;
    setDebugWidgetsEnabled(false);
    // The reset restarts the instrument's work state, which ends its debug mode:
    // the box follows without writing anything.
    const bool blocked = ui->chk_debug->blockSignals(true);
    ui->chk_debug->setChecked(false);
    ui->chk_debug->blockSignals(blocked);
}

void MonitorModuleForm::getSetValues(double& vcsel, double& vcselDefault, double& vaporCell) const
{
    vcsel = DebugInputRules::number(ui->edt_laserTempSet->text());
    vcselDefault = DebugInputRules::number(ui->edt_laserElectricSet->text());
    vaporCell = DebugInputRules::number(ui->edt_airTempSet->text());
}

// ---- writes ------------------------------------------------------------------------

void MonitorModuleForm::slots_editingFinished()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    // Only what the operator typed is written; a fill from the instrument is not.
    if (!edit || !edit->isModified())
        return;
    const QString name = edit->objectName();
    quint16 reg = 0;
    if (name.contains(QLatin1String("edt_laserTempSet")))
        reg = Reg::VcselSet;
    else if (name.contains(QLatin1String("edt_laserElectricSet")))
        reg = Reg::VcselDefaultSet;
    else if (name.contains(QLatin1String("edt_airTempSet")))
        reg = Reg::VaporCellSet;
    else
        return;

    const DebugInputRules::SetPoint input = DebugInputRules::setPoint(edit->text());
    edit->setText(input.text);
    if (!input.send)
        return;

    const bool wasPolling = pausePoll();
    GuiPause::pause(500);
    const QByteArray valueFrame =
        ModbusFrame::writeMultiple(reg, ModbusFrame::wordsLowFirst(input.value));
    const QByteArray applyFrame = ModbusFrame::writeSingle(quint16(reg - 1), 1);
    send(valueFrame);
    qDebug() << "20251023 begin sendByte:" << valueFrame.toHex().toUpper();
    GuiPause::pause(50);
    send(applyFrame);
    qDebug() << "20251023 begin sendSetByte:" << applyFrame.toHex().toUpper();
    GuiPause::pause(500);
    resumePoll(wasPolling);
}

void MonitorModuleForm::slots_ddsEditingFinished()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (!edit || !edit->isModified())
        return;
    const QString name = edit->objectName();
    quint16 reg = 0;
    if (name.contains(QLatin1String("edt_ddsFreq")))
        reg = Reg::DdsFrequency;
    else if (name.contains(QLatin1String("edt_fsStart")))
        reg = Reg::DdsSweepStart;
    else if (name.contains(QLatin1String("edt_fsEnd")))
        reg = Reg::DdsSweepEnd;
    else if (name.contains(QLatin1String("edt_fsStep")))
        reg = Reg::DdsSweepStep;
    else
        return;

    const DebugInputRules::Frequency input = DebugInputRules::frequency(edit->text());
    edit->setText(input.text);
    if (!input.send)
        return;

    const bool wasPolling = pausePoll();
    GuiPause::pause(500);
    send(ModbusFrame::writeMultiple(reg, ModbusFrame::wordsLowFirst(input.value)));
    GuiPause::pause(500);
    resumePoll(wasPolling);
}

void MonitorModuleForm::on_chk_debug_stateChanged(int arg1)
{
    const bool on = arg1 == Qt::Checked;
    setDebugWidgetsEnabled(on);
    const bool wasPolling = pausePoll();
    GuiPause::pause(100);
    sendWorkState(on ? WorkState::DebugModeOn : WorkState::DebugModeOff);
    GuiPause::pause(100);
    resumePoll(wasPolling);
}

void MonitorModuleForm::on_btn_changeWorkState_clicked()
{
    uncheckDebug();
    const bool wasPolling = pausePoll();
    showReadBacksZero();
    GuiPause::pause(100);
    const int i = workStateList.indexOf(ui->btn_workState->text());
    if (i < 0)
        qDebug() << "未找到该状态";
    else
        sendWorkState(quint16(i + 1));
    GuiPause::pause(100);
    resumePoll(wasPolling);
}

void MonitorModuleForm::on_btn_changeWorkMode_clicked()
{
    const bool wasPolling = pausePoll();
    GuiPause::pause(100);
    const int i = workModeList.indexOf(ui->btn_workMode->text());
    if (i < 0) {
        qDebug() << "未找到该状态";
    } else {
        send(ModbusFrame::writeMultiple(Reg::WorkMode, {quint16(i + 1)}));
        showDdsReadBack = i == 1;
    }
    GuiPause::pause(100);
    resumePoll(wasPolling);
}

// ---- read-backs ------------------------------------------------------------------

void MonitorModuleForm::slots_updateFormParam(RefreshData refreshData)
{
    const double vcselDefault = std::fabs(refreshData.vcselDefault);
    ui->edt_laserTemp->setText(readBack(refreshData.vcsel));
    ui->edt_laserElectric->setText(readBack(vcselDefault));
    ui->edt_airTemp->setText(readBack(refreshData.vaporCell));
    ui->edt_pdValue->setText(readBack(refreshData.pd));
    if (refreshData.pde > 0)
        ui->edt_pdeValue->setText(readBack(refreshData.pde));

    const DeviceStatus status = SharedState::instance().deviceStatus();
    if (status.valid) {
        paramManager->saveCrashLog(LogBatteryStateEx.arg(QString::number(status.status),
                                                         f5(refreshData.vcsel), f5(vcselDefault),
                                                         f5(refreshData.vaporCell),
                                                         f5(refreshData.pd), f5(refreshData.pde)),
                                   status.time);
        SharedState::instance().clearDeviceStatus();
    }

    // What the operator is typing, or has typed and not yet sent, stays.
    if (showDdsReadBack && untouched(ui->edt_ddsFreq))
        ui->edt_ddsFreq->setText(QString::number(quint32(refreshData.word40100)));
    if (fillSetPoints) {
        const QPair<QLineEdit*, double> fills[] = {
            {ui->edt_laserTempSet, refreshData.vcselSet},
            {ui->edt_airTempSet, refreshData.vaporCellSet},
            {ui->edt_laserElectricSet, refreshData.vcselDefaultSet}};
        // An edit that only had the focus is filled by a later block.
        bool pending = false;
        for (const auto& fill : fills) {
            if (untouched(fill.first))
                fill.first->setText(DebugInputRules::readBackText(fill.second));
            else if (!fill.first->isModified())
                pending = true;
        }
        fillSetPoints = pending;
    }
}

// ---- menus, styles, language ----------------------------------------------------

void MonitorModuleForm::initMenus()
{
    const auto build = [this](const QList<QString>& items, QPushButton* button) {
        auto* menu = new CustomMenu(this);
        menu->clearActions();
        menu->setProperty("name", QStringLiteral("menu"));
        for (const QString& item : items)
            menu->addAction(item, QVariant());
        connect(menu, &CustomMenu::triggered, button,
                [button](const QString& text, const QVariant&) { button->setText(text); });
        connect(button, &QPushButton::clicked, this,
                [this, menu, button] { popUpMenu(menu, button); });
        menu->setFixedWidth(button->width());
        return menu;
    };
    workStateMenu = build(workStateList, ui->btn_workState);
    workModeMenu = build(workModeList, ui->btn_workMode);
}

void MonitorModuleForm::popUpMenu(CustomMenu* menu, QPushButton* button)
{
    menu->setFixedWidth(button->width());
    menu->adjustSize();
    menu->move(button->mapToGlobal(QPoint(0, button->height())));
    menu->show();
}

void MonitorModuleForm::initStyle()
{
    for (QWidget* card : {ui->frame, ui->frame_2}) {
        auto* shadow = new QGraphicsDropShadowEffect(card);
        shadow->setBlurRadius(16);
        shadow->setOffset(0, 9);
        shadow->setColor(QColor(185, 204, 225, 169));
        card->setGraphicsEffect(shadow);
    }
}

void MonitorModuleForm::slot_setLanguage(int num)
{
    // The read-back row labels (VCSEL, PD, ...) are the same in both languages.
    const QVector<PageTexts::Text> texts = {
        {ui->label_4, "毫伏"},
        {ui->label_6, "毫伏"},
        {ui->label_8, "毫伏"},
        {ui->label_10, "毫伏"},
        {ui->label_5, "毫安"},
        {ui->label_9, "毫安"},
        {ui->label_11, "工作状态"},
        {ui->btn_changeWorkState, "更改"},
        {ui->btn_changeWorkMode, "更改"},
        {ui->chk_debug, "采样频率调试"},
        {ui->label_13, "频率"},
        {ui->label_14, "起始采样频率"},
        {ui->label_15, "终止采样频率"},
        {ui->label_16, "采样频率步长"},
        {ui->label_17, "工作模式"},
        {ui->label_18, "毫赫兹"},
        {ui->label_19, "毫赫兹"},
        {ui->label_20, "毫赫兹"},
        {ui->label_24, "毫赫兹"},
    };
    m_texts.setLanguage(num, texts);
}
