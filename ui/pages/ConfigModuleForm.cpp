#include "ui/pages/ConfigModuleForm.h"

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "device/Instrument.h"
#include "device/ModbusFrame.h"
#include "device/SamplingRates.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/MyIntValidator.h"

#include "ui_ConfigModuleForm.h"

#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QMessageBox>
#include <cstddef>

namespace {
namespace Reg = Instrument::Register;
constexpr quint32 SweepEmpty = 20000000;
constexpr qint64 SweepLimit = 1400000000;
constexpr int SweepMaxLength = 10;
constexpr int FilterlessRate = Freq20Hz; // filtering and this rate exclude each other

void notFound()
{
    qDebug().noquote() << QStringLiteral("未找到该状态");
}

// A menu's choices: the instrument's values of a register, in their order.
template <std::size_t N> QStringList choicesOf(const int (&values)[N])
{
    QStringList choices;
    for (const int value : values)
        choices << QString::number(value);
    return choices;
}

QStringList samplingRateChoices()
{
    QStringList choices;
    for (const SamplingRates::Entry& e : SamplingRates::Table) {
        if (e.offeredBy(SamplingRates::SettingsPage))
            choices << QString::number(e.rate);
    }
    return choices;
}
} // namespace

ConfigModuleForm::ConfigModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_ConfigModuleForm), m_hub(paramManager),
      m_dataIntervals(choicesOf(Instrument::DataIntervals)),
      m_baudRates(choicesOf(Instrument::BaudRates)), m_samplingRates(samplingRateChoices())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);

    m_baudRateMenu = makeMenu("menu3", m_baudRates, QStringLiteral("raudRate"), ui->btn_baudRate);
    m_samplingRateMenu =
        makeMenu("menu2", m_samplingRates, QStringLiteral("samplingRate"), ui->btn_samplingRate);
    m_dataIntervalMenu =
        makeMenu("menu", m_dataIntervals, QStringLiteral("dataInterval"), ui->btn_dataInterval);

    for (QLineEdit* edit : {ui->edt_fsStart, ui->edt_fsEnd, ui->edt_fsStep}) {
        edit->setValidator(m_hub->getIntValidator());
        connect(edit, &QLineEdit::editingFinished, this, &ConfigModuleForm::slots_editingFinished);
    }
    ui->label_26->hide();
    ui->btn_changeDataInterval->hide();
    ui->btn_dataInterval->hide();
    initStyle();

    connect(m_hub, &ParamManager::sig_updateFormParamEx, this,
            &ConfigModuleForm::slots_updateFormParam);
    connect(m_hub, &ParamManager::sig_updateSamplingRate, this,
            &ConfigModuleForm::slots_updateSamplingRate);

    setFilterChecked();
}

ConfigModuleForm::~ConfigModuleForm()
{
    delete ui;
}

PageHooks ConfigModuleForm::pageHooks()
{
    PageHooks hooks;
    hooks.enter = [this] { startParamWorker(); };
    hooks.leave = [this](int) { stopParamWorker(); };
    hooks.stopPolling = [this] { stopParamWorker(); };
    hooks.startPolling = [this](int) { startParamWorker(); };
    hooks.reset = [this] { m_firstUpdate = true; };
    hooks.setLanguage = [this](int num) { slot_setLanguage(num); };
    return hooks;
}

CustomMenu* ConfigModuleForm::makeMenu(const char* styleName, const QStringList& choices,
                                       const QString& key, QPushButton* button)
{
    auto* menu = new CustomMenu(this);
    menu->setProperty("name", QString::fromLatin1(styleName));
    menu->clearActions();
    for (const QString& choice : choices)
        menu->addAction(choice, key);
    connect(menu, &CustomMenu::triggered, this, &ConfigModuleForm::slot_handleActionTriggeredNew);
    connect(button, &QPushButton::clicked, menu, [menu, button] {
        menu->adjustSize();
        menu->move(button->mapToGlobal(QPoint(0, button->height())));
        menu->show();
    });
    menu->setFixedWidth(button->width());
    return menu;
}

void ConfigModuleForm::initStyle()
{
    auto* shadow = new QGraphicsDropShadowEffect(ui->frame_3);
    shadow->setBlurRadius(16);
    shadow->setColor(QColor(185, 204, 225, 168));
    shadow->setOffset(0, 9);
    ui->frame_3->setGraphicsEffect(shadow);
}

// ---- polling --------------------------------------------------------------------

void ConfigModuleForm::startParamWorker()
{
    m_hub->setStreamStarted(false);
    emit m_hub->sig_paramWorkerStart();
}

void ConfigModuleForm::stopParamWorker()
{
    emit m_hub->sig_paramWorkerStop();
}

void ConfigModuleForm::setFilterChecked()
{
    ui->chk_filter->setChecked(true);
}

// ---- from the instrument ----------------------------------------------------------

void ConfigModuleForm::slots_updateFormParam(RefreshDataEx refreshDataEx)
{
    // Only the first identity block (after start or a reset) fills the edits;
    // later ones leave what the operator typed.
    if (!m_firstUpdate)
        return;
    ui->edt_fsStart->setText(QString::number(refreshDataEx.fsStart));
    ui->edt_fsEnd->setText(QString::number(refreshDataEx.fsEnd));
    ui->edt_fsStep->setText(QString::number(refreshDataEx.fsStep));
    m_firstUpdate = false;
}

void ConfigModuleForm::slots_updateSamplingRate(int iSamplingRate)
{
    ui->btn_samplingRate->setText(QString::number(iSamplingRate));
    // The instrument may report 20 Hz while filtering is on (it kept the rate
    // from an earlier session): filtering gives way, or neither control could
    // be changed again.
    if (iSamplingRate == FilterlessRate && ui->chk_filter->isChecked())
        ui->chk_filter->setChecked(false);
    ui->chk_filter->setEnabled(iSamplingRate != FilterlessRate);
    // The hub knows the rate the instrument streams at, and the framing follows it.
    emit m_hub->sig_changeSamplingRate(m_hub->samplingRate, false);
}

// ---- operator ---------------------------------------------------------------------

void ConfigModuleForm::slot_handleActionTriggeredNew(QString text, QVariant data)
{
    qDebug() << "enter trigger new";
    const QString key = data.toString();
    if (key == QLatin1String("raudRate"))
        ui->btn_baudRate->setText(text);
    else if (key == QLatin1String("samplingRate"))
        ui->btn_samplingRate->setText(text);
    else if (key == QLatin1String("dataInterval"))
        ui->btn_dataInterval->setText(text);
}

ConfigModuleForm::SweepEntry ConfigModuleForm::sweepEntry(const QString& text)
{
    const auto clamped = [](quint32 value) {
        return SweepEntry{true, value, QString::number(value)};
    };
    if (text.trimmed().isEmpty())
        return clamped(SweepEmpty);
    if (text.size() > SweepMaxLength)
        return clamped(quint32(SweepLimit));
    // Ten digits fit a 64-bit number: "9999999999" is too large, not invalid.
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 1)
        return {false, 0, QStringLiteral("0")};
    return clamped(quint32(qMin<qlonglong>(value, SweepLimit)));
}

QByteArray ConfigModuleForm::sweepFrame(quint16 reg, quint32 value)
{
    return ModbusFrame::writeMultiple(reg, ModbusFrame::wordsLowFirst(value));
}

void ConfigModuleForm::slots_editingFinished()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (!edit)
        return;
    quint16 reg;
    if (edit == ui->edt_fsStart)
        reg = Reg::SweepStart;
    else if (edit == ui->edt_fsEnd)
        reg = Reg::SweepEnd;
    else if (edit == ui->edt_fsStep)
        reg = Reg::SweepStep;
    else
        return;
    const SweepEntry entry = sweepEntry(edit->text());
    edit->setText(entry.shown);
    if (entry.send)
        emit m_hub->sig_sendCustomModbusData(sweepFrame(reg, entry.value));
}

void ConfigModuleForm::on_btn_changeSamplingRate_clicked()
{
    const int index = m_samplingRates.indexOf(ui->btn_samplingRate->text());
    if (index < 0) {
        notFound();
        return;
    }
    m_hub->samplingRate = m_samplingRates.at(index).toInt();
    ui->chk_filter->setEnabled(m_hub->samplingRate != FilterlessRate);
    emit m_hub->sig_changeSamplingRate(m_hub->samplingRate, true);
}

void ConfigModuleForm::on_btn_changeBaudRate_clicked()
{
    const int index = m_baudRates.indexOf(ui->btn_baudRate->text());
    if (index < 0) {
        notFound();
        return;
    }
    const int baud = m_baudRates.at(index).toInt();
    // The instrument switches its line at once and the program connects with the
    // stored rate next time: a rate that could not be stored is not sent.
    if (!Settings::writeValue(m_hub->iniPath, QStringLiteral("Com"), QStringLiteral("baudRate"),
                              baud)) {
        qDebug() << "settings page: baudRate not stored in" << m_hub->iniPath;
        auto* box = new QMessageBox;
        box->setIcon(QMessageBox::Information);
        box->setWindowIcon(window()->windowIcon());
        box->setWindowTitle(QStringLiteral("提示"));
        box->setText(QStringLiteral("无法写入 %1，波特率未更改!").arg(m_hub->iniPath));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    m_hub->baudRate = baud;
    emit m_hub->sig_sendCustomModbusData(
        ModbusFrame::writeMultiple(Reg::BaudRate, {quint16(baud / 100)}));
}

void ConfigModuleForm::on_btn_changeDataInterval_clicked()
{
    const int index = m_dataIntervals.indexOf(ui->btn_dataInterval->text());
    if (index < 0) {
        notFound();
        return;
    }
    emit m_hub->sig_sendCustomModbusData(ModbusFrame::writeMultiple(
        Reg::DataInterval, {quint16(m_dataIntervals.at(index).toInt())}));
}

void ConfigModuleForm::on_chk_filter_stateChanged(int arg1)
{
    const bool enabled = arg1 == Qt::Checked;
    emit m_hub->sig_setFilterEnabled(enabled);
    // While filtering is on the rate stays where it is.
    ui->btn_changeSamplingRate->setEnabled(!enabled);
    ui->btn_samplingRate->setEnabled(!enabled);
}

void ConfigModuleForm::slot_setLanguage(int num)
{
    const QVector<PageTexts::Text> texts = {
        {ui->label_14, "起始采样频率"},
        {ui->label_15, "终止采样频率"},
        {ui->label_16, "采样频率步长"},
        {ui->label_19, "毫赫兹"},
        {ui->label_20, "毫赫兹"},
        {ui->label_24, "毫赫兹"},
        {ui->label_27, "波特率"},
        {ui->label_28, "采样率"},
        {ui->label_26, "数据间隔"},
        {ui->btn_changeBaudRate, "更改"},
        {ui->btn_changeSamplingRate, "更改"},
        {ui->btn_changeDataInterval, "更改"},
        {ui->chk_filter, "启用滤波"},
    };
    m_texts.setLanguage(num, texts);
}
