#include "ui/MainModuleForm.h"

#include "app/LogTexts.h"
#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/Instrument.h"
#include "device/ModbusWorkThread.h"
#include "device/SamplingRates.h"
#include "ui/GuiPause.h"
#include "ui/InfoBox.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/LiveFieldPlot.h"
#include "ui/widgets/MyIntValidator.h"
#include "ui_MainModuleForm.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

int MainModuleForm::s_lastStatus = 0;

namespace {
const QString GreenLight = QStringLiteral("background-image: url(:/greenlight.png);");
const QString YellowLight = QStringLiteral("background-image: url(:/yellowlight.png);");
const QString RefreshEntry = QStringLiteral("刷新");
constexpr int AnswerTimeoutMs = 5000; // a status poll or the identity block is due within 1 s
constexpr int StatusLocked = Instrument::WorkState::Locked;

// The chart time typed by the operator, clamped to 1..1000 s. A run of digits
// too long for an integer is a very large number, not zero.
int clampedChartTime(const QString& text)
{
    const QString digits = text.trimmed();
    bool ok = false;
    qlonglong value = digits.toLongLong(&ok);
    if (!ok) {
        const bool asciiDigits =
            !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            });
        value = asciiDigits ? std::numeric_limits<qlonglong>::max() : 0;
    }
    if (value > 999)
        return 1000;
    if (value < 2)
        return 1;
    return int(value);
}

// A line edit repaints on every setText, also with the text it shows.
void setTextIfChanged(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}
} // namespace

MainModuleForm::MainModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_MainModuleForm), m_hub(paramManager),
      m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
    m_connectTime = m_clock();
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);

    connectPlot();
    initPortMenu();
    connectHub();

    ui->edt_setTime->setValidator(m_hub->getIntValidator());
    connect(ui->edt_setTime, &QLineEdit::editingFinished, this,
            &MainModuleForm::slots_lineEditIsOK);

    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setInterval(AnswerTimeoutMs);
    connect(m_answerTimer, &QTimer::timeout, this, &MainModuleForm::slots_noAnswer);

    ui->frameStatus->setStyleSheet(YellowLight);
    ui->btn_ddsReTrack->setVisible(m_hub->isFSMode == 1);
    ui->btn_mock->setVisible(m_hub->isMockData == 1);
    ui->btn_ReStart->setText(QStringLiteral("Restart"));
    ui->btn_ddsReTrack->setText(QStringLiteral("Retrack"));

    initStyle();
}

MainModuleForm::~MainModuleForm()
{
    delete ui;
}

void MainModuleForm::connectHub()
{
    connect(m_hub, &ParamManager::sig_updateForm, this, &MainModuleForm::slots_updateForm);
    connect(m_hub, &ParamManager::sig_connected, this, &MainModuleForm::slots_connected);
    connect(m_hub, &ParamManager::sig_connectFailed, this, &MainModuleForm::slots_connectFailed);
    connect(m_hub, &ParamManager::sig_disconnect, this, &MainModuleForm::slots_linkLost);
    connect(m_hub, &ParamManager::sig_updateProgress, this, &MainModuleForm::slots_updateProgress);
    connect(m_hub, &ParamManager::sig_updateProgressEx, this,
            &MainModuleForm::slots_updateProgressEx);
    connect(m_hub, &ParamManager::sig_updateSerialNumber, this,
            &MainModuleForm::slots_updateSerialNumber);
}

PageHooks MainModuleForm::pageHooks()
{
    PageHooks hooks;
    hooks.bottomBar = PageHooks::BottomBar::CutOffs;
    hooks.leave = [this](int target) {
        if (PageHooks::pollsRegisters(target))
            stopPolling();
        setActive(false);
    };
    hooks.enter = [this] {
        startPolling();
        setActive(true);
    };
    hooks.stopPolling = [this] {
        stopPolling();
        m_hub->setStreamStarted(false);
    };
    hooks.startPolling = [this](int) {
        startPolling();
        clearPlot();
    };
    hooks.clearPlot = [this] { clearPlot(); };
    // The read-outs of values filtered otherwise would stand beside the empty plot
    // until the filter's lookahead is full.
    hooks.filterChanged = [this] {
        clearPlot();
        clearReadouts();
    };
    hooks.reset = [this] { reset(); };
    hooks.setLanguage = [this](int num) { slot_setLanguage(num); };
    // The connect log line carries the debug page's set values.
    hooks.pageAdded = [this](int index, QWidget* page) {
        if (index == PageHooks::MonitorPage)
            setMonitorForm(qobject_cast<MonitorModuleForm*>(page));
    };
    return hooks;
}

// ---- public operations ------------------------------------------------------

void MainModuleForm::startPolling()
{
    if (!m_hub->isDeviceReady()) {
        emit m_hub->sig_devStatusWorkerStart();
    } else if (!m_hub->isStreamStarted()) {
        emit m_hub->sig_sendModbusData(AddrStartStream);
        m_hub->setStreamStarted(true);
    }
}

void MainModuleForm::stopPolling()
{
    if (m_hub->isDeviceReady())
        emit m_hub->sig_sendModbusData(AddrStopStream);
    else
        emit m_hub->sig_devStatusWorkerStop();
}

void MainModuleForm::setActive(bool active)
{
    ui->mainChart->setActive(active);
}

void MainModuleForm::clearPlot()
{
    ui->mainChart->clearPlot();
}

void MainModuleForm::reset()
{
    m_linkOpen = false;
    m_resetSinceLinkUp = true;
    m_answerTimer->stop();
    stopPolling();
    // Whatever ran before, no status poll outlives the reset: a reply of the old
    // poll would otherwise start the next link's stream ahead of its link-up.
    emit m_hub->sig_devStatusWorkerStop();
    clearPlot();
    loadPortMenu();
    emit m_hub->sig_sendModbusData(Addr40118Restart);

    ui->edt_setTime->setText(QStringLiteral("10"));
    // The window length follows the field, so the plot and the hub agree again.
    DataParam param = m_hub->dataParam();
    param.chartTime = 10;
    m_hub->setDataParam(param);
    emit m_hub->sig_syncDataParam(param);

    clearReadouts();
    showPortChoice();
    ui->btn_com->setEnabled(true);
    ui->edt_devName->clear();

    resume();

    // The lock attempt ends with the reset: its status is not logged with the
    // parameter block of the next link.
    SharedState::instance().clearDeviceStatus();
    updateLightStatus(0);
    QTimer::singleShot(500, this, [this] { updateLightStatus(0); });
    QTimer::singleShot(1500, this, [this] { updateLightStatus(0); });
}

void MainModuleForm::setMonitorForm(MonitorModuleForm* monitorForm)
{
    m_monitorForm = monitorForm;
}

void MainModuleForm::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool MainModuleForm::isComButtonEnabled() const
{
    return ui->btn_com->isEnabled();
}

void MainModuleForm::resizeEvent(QResizeEvent*) {}

// ---- status light and battery -----------------------------------------------

void MainModuleForm::updateLightStatus(int status)
{
    if (status < 0 || status > StatusLocked) {
        qDebug() << "light Status wrong:" << status;
        return;
    }
    const qint64 now = m_clock();

    // The stream reports its status with every frame; restyle only on a change.
    const QString light = status == StatusLocked ? GreenLight : YellowLight;
    if (ui->frameStatus->styleSheet() != light)
        ui->frameStatus->setStyleSheet(light);

    if (Instrument::WorkState::isLocking(status))
        SharedState::instance().setDeviceStatus({status, now, true});
    SharedState::instance().setLightStatus(status);

    if (m_batteryImages.isEmpty()) {
        for (int i = 0; i <= StatusLocked; ++i)
            m_batteryImages << QPixmap(QStringLiteral(":/battery%1.png").arg(i));
    }
    if (m_shownBattery != status) {
        const QPixmap& image = m_batteryImages.at(status);
        ui->lableBattery->setPixmap(image.isNull() ? image
                                                   : image.scaled(ui->lableBattery->size(),
                                                                  Qt::KeepAspectRatio,
                                                                  Qt::SmoothTransformation));
        m_shownBattery = status;
    }

    if (status != StatusLocked) {
        // Every stream frame repeats the status: the log takes its changes only.
        if (status != s_lastStatus)
            m_hub->saveCrashLog(LogBatteryState + QString::number(status));
        if (s_lastStatus == StatusLocked)
            m_connectTime = now; // the lock was lost
    } else if (s_lastStatus != StatusLocked) {
        m_hub->saveCrashLog(LogBatteryState + QString::number(StatusLocked) +
                                QStringLiteral("  ConnectTime:") +
                                QString::number(now - m_connectTime),
                            now);
    }
    s_lastStatus = status;
}

// ---- link-up -----------------------------------------------------------------

void MainModuleForm::slots_connected()
{
    m_linkOpen = true;
    m_resetSinceLinkUp = false;
    m_answerTimer->start();
    resume(); // a pause pressed while no instrument was linked would hide the new one
    m_hub->requestDeviceParams();
    QTimer::singleShot(200, this, [this] {
        // The debug page's set values; without a debug page they are its defaults.
        double vcsel = 0.0, vcselDefault = 0.0, vaporCell = 0.0;
        if (m_monitorForm)
            m_monitorForm->getSetValues(vcsel, vcselDefault, vaporCell);
        m_connectTime = m_clock();
        m_hub->saveCrashLog(LogConnectSuccess.arg(vcsel, 0, 'f', 4)
                                .arg(vcselDefault, 0, 'f', 4)
                                .arg(vaporCell, 0, 'f', 4),
                            m_connectTime);
        emit m_hub->sig_sendModbusData(Addr40000Identity);
    });
}

void MainModuleForm::slots_connectFailed(QString portName, QString reason)
{
    m_linkOpen = false;
    // A later choice may already be on its way; its own answer will tell.
    if (portName == m_chosenPort)
        showPortChoice();
    tellAboutPort(QStringLiteral("串口%1打开失败!"),
                  QStringLiteral("Cannot open the serial port %1."), portName, reason);
}

void MainModuleForm::slots_linkLost()
{
    m_answerTimer->stop();
    if (!m_linkOpen)
        return;
    m_linkOpen = false;
    // The reset road empties the page; without a word the operator would only see
    // the port button back at its choice.
    tellAboutPort(QStringLiteral("串口%1连接已断开,请检查设备和连线后重新选择串口!"),
                  QStringLiteral("The link on serial port %1 was lost. Check the instrument and "
                                 "the cable, then choose the port again."),
                  m_chosenPort);
}

void MainModuleForm::slots_noAnswer()
{
    if (!m_linkOpen)
        return;
    // The polls go on: an instrument that is still starting up answers later.
    tellAboutPort(QStringLiteral("串口%1上的仪器没有应答,请检查设备、连线和波特率!"),
                  QStringLiteral("The instrument on serial port %1 does not answer. Check the "
                                 "instrument, the cable and the baud rate."),
                  m_chosenPort);
}

void MainModuleForm::tellAboutPort(const QString& chinese, const QString& english,
                                   const QString& port, const QString& detail)
{
    const QString text = (m_hub->isChinese == 1 ? chinese : english).arg(port);
    InfoBox::open(detail.isEmpty() ? text : text + QLatin1Char('\n') + detail, windowIcon());
}

void MainModuleForm::setAnswerTimeout(int ms)
{
    m_answerTimer->setInterval(ms);
}

void MainModuleForm::showPortChoice()
{
    m_chosenPort.clear();
    showPortChoiceText(m_hub->isChinese);
}

void MainModuleForm::showPortChoiceText(int num)
{
    ui->btn_com->setText(num == 1 ? QStringLiteral("选择") : QStringLiteral("select"));
}

void MainModuleForm::slots_updateSerialNumber(QString serialNumber)
{
    m_answerTimer->stop();
    updateLightStatus(1);
    ui->edt_devName->setText(QStringLiteral("VUD-") + serialNumber);
    ui->btn_com->setEnabled(false);
    emit m_hub->sig_devStatusWorkerStart();
    // The poll's requests end a stream already running, so its next status 4
    // must start the stream again.
    m_hub->setStreamStarted(false);
}

// Replies and frames decoded before a reset may still arrive; until the next
// link-up they tell nothing of the instrument.
void MainModuleForm::slots_updateProgress(int iStatus)
{
    if (m_resetSinceLinkUp)
        return;
    m_answerTimer->stop();
    updateLightStatus(iStatus);
    if (iStatus == StatusLocked) {
        emit m_hub->sig_devStatusWorkerStop();
        m_hub->setDeviceReady(true);
        GuiPause::pause(30); // let the instrument settle before the stream request
        startPolling();
    }
}

void MainModuleForm::slots_updateProgressEx(int iStatus)
{
    if (m_resetSinceLinkUp)
        return;
    updateLightStatus(iStatus);
}

void MainModuleForm::slots_updateForm(QVector<double> datas)
{
    if (m_hub->isDeviceReady())
        ui->mainChart->push(datas);
}

// ---- port menu ---------------------------------------------------------------

void MainModuleForm::initPortMenu()
{
    m_portMenu = new CustomMenu(this);
    m_portMenu->setFixedWidth(180);
    loadPortMenu();
}

void MainModuleForm::loadPortMenu()
{
    qDebug() << "enter load Com";
    QStringList entries = m_hub->availablePortNames();
    entries << RefreshEntry;
    m_portMenu->clearActions();
    for (const QString& entry : qAsConst(entries))
        m_portMenu->addAction(entry, QVariant());
    m_portMenu->setFixedWidth(ui->btn_com->width());

    if (!m_portMenuWired) {
        m_portMenuWired = true;
        connect(m_portMenu, &CustomMenu::triggered, this,
                &MainModuleForm::slot_handleActionTriggered);
        connect(ui->btn_com, &QPushButton::clicked, this, &MainModuleForm::popUpPortMenu);
    }
}

void MainModuleForm::popUpPortMenu()
{
    m_portMenu->adjustSize();
    const QPoint origin = ui->btn_com->mapToGlobal(QPoint(0, 0));
    m_portMenu->move(origin.x(), origin.y() + ui->btn_com->height());
    m_portMenu->show();
}

bool MainModuleForm::isConnectablePort(const QString& name) const
{
    if (name.startsWith(QLatin1String("COM")))
        return true;
#ifdef Q_OS_WIN
    return false;
#else
    // Real serial devices (ttyUSB0, ttyS0, ...) carry no "COM" name here.
    return name != RefreshEntry && m_hub->availablePortNames().contains(name);
#endif
}

void MainModuleForm::slot_handleActionTriggered(QString text, QVariant data)
{
    Q_UNUSED(data)
    if (isConnectablePort(text)) {
        m_chosenPort = text;
        ui->btn_com->setText(text);
        if (ModbusWorkThread* scheduler = m_hub->getModbusWorkThread())
            emit scheduler->sig_connectDevice(text, m_hub->baudRate);
        else
            qDebug() << "main page: no instrument link to connect" << text;
    } else {
        loadPortMenu();
    }
}

// ---- commands ----------------------------------------------------------------

void MainModuleForm::restartDevice(int status, int request, const QString& refusal)
{
    if (m_hub->isSaving()) {
        InfoBox::open(refusal, windowIcon());
        return;
    }
    if (!m_linkOpen) {
        qDebug() << "main page: no open port, request" << request << "not sent";
        return;
    }
    updateLightStatus(status);
    m_hub->setDeviceReady(false);
    m_hub->setStreamStarted(false);
    emit m_hub->sig_sendModbusData(ModbusAddr(request));
    GuiPause::pause(500); // the instrument restarts its work state
    emit m_hub->sig_devStatusWorkerStart();
    clearPlot();
}

void MainModuleForm::on_btn_ReStart_clicked()
{
    restartDevice(Instrument::WorkState::Restart, Addr40118Restart,
                  QStringLiteral("保存磁场信息中,要重启,请先停止保存!"));
}

void MainModuleForm::on_btn_ddsReTrack_clicked()
{
    restartDevice(Instrument::WorkState::ReTrack, Addr40118ReTrack,
                  QStringLiteral("保存磁场信息中,要重新追踪,请先停止保存!"));
}

void MainModuleForm::updatePauseText(int num)
{
    const bool chinese = num == 1;
    if (m_paused)
        ui->btn_pause->setText(chinese ? QStringLiteral("恢复") : QStringLiteral("Resume"));
    else
        ui->btn_pause->setText(chinese ? QStringLiteral("暂停") : QStringLiteral("Pause"));
}

void MainModuleForm::setPaused(bool paused)
{
    m_paused = paused;
    updatePauseText(m_hub->isChinese);
    m_hub->setPaused(paused);
    ui->mainChart->setPaused(paused);
}

void MainModuleForm::resume()
{
    setPaused(false);
}

void MainModuleForm::on_btn_pause_clicked()
{
    setPaused(!m_paused);
    ui->mainChart->dropQueued();
}

void MainModuleForm::on_btn_mock_clicked()
{
    m_hub->setDeviceReady(true);
    // A tick replays one stream frame's samples: of the 20 Hz stream at 20 Hz, of
    // the 1000 Hz one at every other rate.
    const int streamRate =
        m_hub->samplingRate == Freq20Hz ? int(Freq20Hz) : SamplingRates::DefaultRate;
    m_hub->startMockPlayback(streamRate / SamplingRates::FramesPerSecond);
}

// ---- chart time --------------------------------------------------------------

void MainModuleForm::slots_lineEditIsOK()
{
    DataParam param = m_hub->dataParam();
    const QObject* source = sender();
    if (source && source->objectName().contains(QLatin1String("edt_setTime"))) {
        const int seconds = clampedChartTime(ui->edt_setTime->text());
        ui->edt_setTime->setText(QString::number(seconds));
        param.chartTime = seconds;
    }
    m_hub->setDataParam(param);
    emit m_hub->sig_syncDataParam(param);
}

// ---- language ----------------------------------------------------------------

void MainModuleForm::slot_setLanguage(int num)
{
    const QVector<PageTexts::Text> texts = {
        {ui->btn_ReStart, "重启"}, {ui->btn_ddsReTrack, "重新追踪"},
        {ui->btn_mock, "墨客"},    {ui->label_3, "图表"},
        {ui->label_4, "秒"},       {ui->label_5, "采样数"},
        {ui->label_6, "测量值"},
    };
    m_texts.setLanguage(num, texts);
    // The port button keeps a chosen port's name; the pause button follows the pause.
    if (m_chosenPort.isEmpty())
        showPortChoiceText(num);
    updatePauseText(num);
}

// ---- live plot ---------------------------------------------------------------

void MainModuleForm::connectPlot()
{
    LiveFieldPlot* plot = ui->mainChart;
    plot->setDataParam(m_hub->dataParam());
    connect(m_hub, &ParamManager::sig_syncDataParam, plot, &LiveFieldPlot::setDataParam);
    // The x axis follows the field as it reads, the window the chart time stored.
    plot->setTimeSpan(ui->edt_setTime->text().toInt());
    connect(ui->edt_setTime, &QLineEdit::textChanged, plot,
            [plot](const QString& text) { plot->setTimeSpan(text.toInt()); });
    connect(plot, &LiveFieldPlot::sig_readoutsChanged, this, &MainModuleForm::showReadouts);
}

void MainModuleForm::showReadouts(int windowLength, double last, double range)
{
    setTextIfChanged(ui->edt_samples, QString::number(windowLength));
    setTextIfChanged(ui->edt_mear, QString::number(last, 'f', 2));
    setTextIfChanged(ui->edt_svg, QString::number(std::llround(range)));
}

void MainModuleForm::clearReadouts()
{
    for (QLineEdit* edit : {ui->edt_samples, ui->edt_mear, ui->edt_svg})
        edit->setText(QStringLiteral("0"));
}

void MainModuleForm::initStyle()
{
    m_batteryImages.clear();
    for (int i = 0; i <= StatusLocked; ++i)
        m_batteryImages << QPixmap(QStringLiteral(":/battery%1.png").arg(i));
    updateLightStatus(0);
}
