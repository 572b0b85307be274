#include "ui/MainWindow.h"

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "device/SamplingRates.h"
#include "services/DataCheckerThread.h"
#include "services/SaveModuleForm.h"
#include "ui/BottomBarRules.h"
#include "ui/GuiPause.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindowStyles.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/VectorModuleWidget.h"
#include "ui/WindowEdges.h"
#include "ui/pages/ConfigModuleForm.h"
#include "ui/pages/HelpModuleForm.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/widgets/CustomMenu.h"
#include "ui/widgets/MyIntValidator.h"
#include "ui/widgets/NegativeSpacingHBoxLayout.h"
#include "ui/widgets/RoundedMenu.h"

#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include <iterator>

namespace {

const char* const PageButtonNames[] = {"btnMain", "btnSensitivity", "btnVector", "btnSave",
                                       "btnHelp", "btnMonitor",     "btnConfig"};

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
    mainForm->setMonitorForm(monitorForm);
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
        callHook(PageHooks::MainPage, [](const PageHooks& h) {
            if (h.clearPlot)
                h.clearPlot();
        });
        callHook(PageHooks::SensitivityPage, [](const PageHooks& h) {
            if (h.clearPlot)
                h.clearPlot();
        });
    });

    ui->lbl_fftTime->hide();
    ui->edt_fftTime->hide();
    ui->label_FFT_Unit->hide();
    ui->edt_dataRate->setText(QString::number(1.0 / paramManager->samplingRate, 'g', 6));
}

void MainWindow::addPage(int index, QWidget* page, const PageHooks& hooks)
{
    pageMap.insert(index, page);
    pageHooks.insert(index, hooks);
    // The debug page is reachable in test mode only.
    if (index != PageHooks::MonitorPage || paramManager->isTest == 1)
        ui->stackedWidget->addWidget(page);
    else
        page->hide();
}

void MainWindow::callHook(int index, const std::function<void(const PageHooks&)>& call) const
{
    const auto it = pageHooks.constFind(index);
    if (it != pageHooks.constEnd())
        call(*it);
}

void MainWindow::onPageButtonClicked()
{
    const QString name = sender() ? sender()->objectName() : QString();
    for (int i = 0; i < int(std::size(PageButtonNames)); ++i) {
        if (name == QLatin1String(PageButtonNames[i]))
            targetPageIndex = i;
    }
    if (targetPageIndex == currentPageIndex)
        return;

    if (paramManager->isSaving() &&
        (targetPageIndex == PageHooks::MonitorPage || targetPageIndex == PageHooks::ConfigPage)) {
        showInfo(targetPageIndex == PageHooks::MonitorPage
                     ? QStringLiteral("保存磁场信息中,要切换到调试界面,请先停止保存!")
                     : QStringLiteral("保存磁场信息中,要切换到配置界面,请先停止保存!"));
        targetPageIndex = currentPageIndex;
        checkPageButton(currentPageIndex);
        return;
    }
    // A button whose page is not built, or not in the stack (the debug page
    // outside test mode), leads nowhere: the shown page stays.
    if (ui->stackedWidget->indexOf(pageMap.value(targetPageIndex)) < 0) {
        targetPageIndex = currentPageIndex;
        checkPageButton(currentPageIndex);
        return;
    }

    if (auto* button = qobject_cast<QWidget*>(sender()))
        button->raise();
    const int target = targetPageIndex;
    callHook(currentPageIndex, [target](const PageHooks& h) {
        if (h.leave)
            h.leave(target);
    });
    ui->stackedWidget->setCurrentWidget(pageMap.value(target));
    currentPageIndex = target;
    callHook(currentPageIndex, [this](const PageHooks& h) {
        showBottomBar(h.bottomBar);
        if (h.enter)
            h.enter();
    });
}

void MainWindow::checkPageButton(int index)
{
    if (auto* button =
            ui->widget_topButtons->findChild<QPushButton*>(QLatin1String(PageButtonNames[index])))
        button->setChecked(true);
}

// Main and vector pages show the cut-off edits, the sensitivity page the FFT time.
void MainWindow::showBottomBar(PageHooks::BottomBar edits)
{
    if (edits == PageHooks::BottomBar::Unchanged)
        return;
    const bool filters = edits == PageHooks::BottomBar::CutOffs;
    ui->lbl_fftTime->setVisible(!filters);
    ui->edt_fftTime->setVisible(!filters);
    ui->label_FFT_Unit->setVisible(!filters);
    ui->lbl_lowPass->setVisible(filters);
    ui->edt_lowPass->setVisible(filters);
    ui->lbl_highPass->setVisible(filters);
    ui->edt_highPass->setVisible(filters);
}

// ---- bottom bar ---------------------------------------------------------------

void MainWindow::initLineEdits()
{
    for (QLineEdit* edit : {ui->edt_lowPass, ui->edt_highPass, ui->edt_fftTime}) {
        edit->setValidator(paramManager->getIntValidator());
        connect(edit, &QLineEdit::editingFinished, this, &MainWindow::slots_lineEditIsOK);
    }
}

void MainWindow::slots_lineEditIsOK()
{
    DataParam param = paramManager->dataParam();
    const QString name = sender() ? sender()->objectName() : QString();
    if (name.contains(QLatin1String("edt_lowPass"))) {
        ui->edt_lowPass->setText(BottomBarRules::clampCutOff(ui->edt_lowPass->text()));
        param.lowPass = ui->edt_lowPass->text().toInt();
    } else if (name.contains(QLatin1String("edt_highPass"))) {
        ui->edt_highPass->setText(BottomBarRules::clampCutOff(ui->edt_highPass->text()));
        param.highPass = ui->edt_highPass->text().toInt();
    } else if (name.contains(QLatin1String("edt_fftTime"))) {
        ui->edt_fftTime->setText(BottomBarRules::clampFftTime(ui->edt_fftTime->text()));
        param.fftTime = ui->edt_fftTime->text().toInt();
    }
    // Only one of the two filters can be set at a time.
    ui->edt_highPass->setReadOnly(param.lowPass > 0);
    ui->edt_lowPass->setReadOnly(param.highPass > 0);
    paramManager->setDataParam(param);
    emit paramManager->sig_syncDataParam(param);
}

void MainWindow::initMenus()
{
    ui->edt_dataRate->installEventFilter(this);
    dataRateMenu = new RoundedMenu(this);
    for (const double step : {0.001, 0.05, 1.0}) {
        const QString text = QString::number(step, 'g', 6);
        const int rate = int(1.0 / step);
        QAction* action = dataRateMenu->addAction(text);
        connect(action, &QAction::triggered, this,
                [this, text, rate] { showFrequencyChangeAdvice(text, rate); });
    }
    dataRateMenu->setStyleSheet(MainWindowStyles::dataRateMenu());
    dataRateMenu->setAttribute(Qt::WA_StyledBackground);
    auto* shadow = new QGraphicsDropShadowEffect(dataRateMenu);
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 3);
    shadow->setColor(QColor(223, 235, 248, 143));
    dataRateMenu->setGraphicsEffect(shadow);

    languageMenu = new CustomMenu(this);
    languageMenu->addAction(QStringLiteral("中文"), QVariant());
    languageMenu->addAction(QStringLiteral("English"), QVariant());
    connect(languageMenu, &CustomMenu::triggered, this,
            [this](const QString& text, const QVariant&) { onLanguageChosen(text); });
    languageMenu->setFixedWidth(englishMenuWidth);
    connect(ui->btn_Language, &QPushButton::clicked, this, &MainWindow::popUpLanguageMenu);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit && edit->objectName() == QLatin1String("edt_dataRate")) {
            if (!edit->isEnabled())
                return true;
            if (paramManager->isSaving())
                showInfo(QStringLiteral("保存磁场信息中,要修改频率,请先停止保存!"));
            else
                dataRateMenu->exec(static_cast<QMouseEvent*>(event)->globalPos());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showFrequencyChangeAdvice(const QString& text, int rate)
{
    ui->edt_dataRate->setText(text);
    changeSamplingRate(rate, false);
    callHook(PageHooks::SensitivityPage, [rate](const PageHooks& h) {
        if (h.dataRateChosen)
            h.dataRateChosen(rate);
    });
    if (!mainForm->isComButtonEnabled())
        showInfo(QStringLiteral("修改频率后，建议等待图像稳定再保存数据，以确保数据准确!"));
}

void MainWindow::changeSamplingRate(int rate, bool bChange)
{
    qDebug() << "TO Change samplingRate:" << rate << "," << (bChange ? "true" : "false");
    const SamplingRates::Entry* entry = SamplingRates::find(rate);
    if (!entry) {
        qDebug() << "samplingRate not in the rate table, ignored:" << rate;
        return;
    }

    const int page = currentPageIndex;
    callHook(page, [](const PageHooks& h) {
        if (h.stopPolling)
            h.stopPolling();
    });
    GuiPause::pause(200);

    QByteArray frame = SamplingRates::rateFrame(*entry);
    paramManager->samplingRate = rate;

    DataParam param = paramManager->dataParam();
    param.dataRate = entry->step;
    paramManager->setDataParam(param);
    emit paramManager->sig_syncDataParam(param);
    emit paramManager->sig_setOneHz(rate == 1);
    if (rate == 1)
        emit paramManager->sig_syncDataByteCount(1000, false);
    else
        emit paramManager->sig_syncDataByteCount(rate, bChange);

    // The edit always shows the rate now in force (the identity block also
    // lands here with rates the menu does not offer).
    ui->edt_dataRate->setText(QString::number(entry->step, 'g', 6));
    if (bChange) {
        emit paramManager->sig_sendCustomModbusData(frame);
        qDebug() << "------------------------------";
        qDebug() << "dataRate20250918:" << entry->step;
        ui->edt_dataRate->setEnabled(paramManager->samplingRate == 1000);
    } else {
        ui->edt_dataRate->setEnabled(true);
    }
    GuiPause::pause(200);

    callHook(page, [rate](const PageHooks& h) {
        if (h.startPolling)
            h.startPolling(rate);
    });
}

void MainWindow::on_btn_clearPlot_clicked()
{
    QWidget* shown = ui->stackedWidget->currentWidget();
    for (const int index :
         {int(PageHooks::MainPage), int(PageHooks::SensitivityPage), int(PageHooks::VectorPage)}) {
        if (shown && pageMap.value(index) == shown)
            callHook(index, [](const PageHooks& h) {
                if (h.clearPlot)
                    h.clearPlot();
            });
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
    const auto reset = [](const PageHooks& h) {
        if (h.reset)
            h.reset();
    };
    // The main page stops its polls before the link goes down; the others follow.
    callHook(PageHooks::MainPage, reset);
    paramManager->rebootDevice();
    for (const int index : {PageHooks::MonitorPage, PageHooks::SensitivityPage, PageHooks::SavePage,
                            PageHooks::ConfigPage})
        callHook(index, reset);
}

// ---- language -------------------------------------------------------------------

void MainWindow::popUpLanguageMenu()
{
    const QPoint p = ui->btn_Language->mapToGlobal(QPoint(0, 0));
    const int bw = ui->btn_Language->width();
    languageMenu->adjustSize();
    const int m = languageMenu->sizeHint().width();
    const int x = languageMenu->width() == chineseMenuWidth ? p.x() + 2 * bw - m - m / 2
                                                            : p.x() + bw - m - m / 2;
    languageMenu->move(x, p.y() + ui->btn_Language->height());
    languageMenu->show();
}

void MainWindow::onLanguageChosen(const QString& text)
{
    if (text == QStringLiteral("中文")) {
        paramManager->isChinese = 1;
        emit sig_ChangeLanguage(1);
        ui->label_language->setText(QStringLiteral("中文"));
        languageMenu->setFixedWidth(chineseMenuWidth);
    } else if (text == QLatin1String("English")) {
        paramManager->isChinese = 0;
        emit sig_ChangeLanguage(0);
        ui->label_language->setText(QStringLiteral("English"));
        languageMenu->setFixedWidth(englishMenuWidth);
    } else {
        return;
    }
    Settings::writeValue(paramManager->iniPath, QStringLiteral("Sensitivity"),
                         QStringLiteral("isChinese"), paramManager->isChinese);
}

void MainWindow::slot_setLanguage(int num)
{
    for (const LanguageText& t : languageTexts)
        t.widget->setProperty("text", num == 1 ? t.chinese : t.english);
}

// ---- window -----------------------------------------------------------------------

void MainWindow::initWindow()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_MouseTracking);
    setMouseTrackingRecursive(this);

    const QVector<QPair<QWidget*, const char*>> texts = {
        {ui->btn_clearPlot, "清除图表"}, {ui->lbl_lowPass, "低通"},
        {ui->lbl_highPass, "高通"},      {ui->lbl_fftTime, "傅立叶变换时间"},
        {ui->label_FFT_Unit, "秒"},      {ui->label, "数据速率"},
        {ui->label_DataRateUnit, "秒"},  {ui->btn_reboot, "重启"},
        {ui->btnMain, "主面板"},         {ui->btnSensitivity, "频率谱"},
        {ui->btnVector, "矢量"},         {ui->btnSave, "保存"},
        {ui->btnHelp, "帮助"},           {ui->btnMonitor, "调试"},
        {ui->btnConfig, "配置"},
    };
    for (const auto& t : texts)
        languageTexts.append(
            {t.first, QString::fromUtf8(t.second), t.first->property("text").toString()});

    connect(this, &MainWindow::sig_ChangeLanguage, this, &MainWindow::slot_setLanguage);
    for (const int index :
         {int(PageHooks::MonitorPage), int(PageHooks::SensitivityPage), int(PageHooks::ConfigPage),
          int(PageHooks::MainPage), int(PageHooks::SavePage), int(PageHooks::HelpPage)}) {
        const auto it = pageHooks.constFind(index);
        if (it != pageHooks.constEnd() && it->setLanguage)
            connect(this, &MainWindow::sig_ChangeLanguage, pageMap.value(index), it->setLanguage);
    }
    if (paramManager->isChinese == 1) {
        ui->label_language->setText(QStringLiteral("中文"));
        emit sig_ChangeLanguage(1);
        languageMenu->setFixedWidth(chineseMenuWidth);
    }
}

void MainWindow::setMouseTrackingRecursive(QWidget* widget)
{
    widget->setAttribute(Qt::WA_MouseTracking);
    for (QObject* child : widget->children()) {
        if (auto* w = qobject_cast<QWidget*>(child))
            setMouseTrackingRecursive(w);
    }
}

void MainWindow::initLockLossMessage()
{
    lockLossBox = new QMessageBox(this);
    lockLossBox->setWindowIcon(windowIcon());
    lockLossBox->setIcon(QMessageBox::Information);
    lockLossBox->setWindowTitle(QStringLiteral("提示"));
    lockLossBox->setText(QStringLiteral("设备处于失锁状态!"));
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

void MainWindow::showInfo(const QString& text)
{
    auto* box = new QMessageBox;
    box->setIcon(QMessageBox::Information);
    box->setWindowIcon(windowIcon());
    box->setWindowTitle(QStringLiteral("提示"));
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

int MainWindow::hitTestEdge(const QPoint& pos) const
{
    return WindowEdges::hitTest(pos, size(), resizeMargin);
}

void MainWindow::updateResizeCursor(const QPoint& pos)
{
    const int region = hitTestEdge(pos);
    if (region == WindowEdges::Inside)
        unsetCursor();
    else
        setCursor(WindowEdges::cursorShape(region));
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int region = hitTestEdge(event->pos());
    // The window manager moves and resizes best where it offers to; the drag
    // below is the fallback.
    if (QWindow* handle = windowHandle()) {
        const bool started = region == WindowEdges::Inside
                                 ? handle->startSystemMove()
                                 : handle->startSystemResize(WindowEdges::edges(region));
        if (started)
            return;
    }
    isPressed = true;
    pressGlobalPos = event->globalPos();
    pressGeometry = geometry();
    pressRegion = region;
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!isPressed) {
        updateResizeCursor(event->pos());
        return;
    }
    setGeometry(WindowEdges::dragGeometry(pressGeometry, pressRegion,
                                          event->globalPos() - pressGlobalPos, minimumSize()));
}

void MainWindow::mouseReleaseEvent(QMouseEvent*)
{
    isPressed = false;
    pressRegion = 0;
}

void MainWindow::leaveEvent(QEvent*)
{
    unsetCursor();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    emit paramManager->sig_sendModbusData(Addr40000Identity);
    event->accept();
}

// ---- styles ------------------------------------------------------------------------

void MainWindow::setMaxButtonStyle()
{
    ui->btn_Max->setStyleSheet(
        isMaximized() ? MainWindowStyles::titleButton(QStringLiteral(":/btnMaxNormal1.png"),
                                                      QStringLiteral(":/btnMaxAt1.png"),
                                                      QStringLiteral(":/btnMaxPress1.png"))
                      : MainWindowStyles::titleButton(QStringLiteral(":/btnMaxNormal.png"),
                                                      QStringLiteral(":/btnMaxAt.png"),
                                                      QStringLiteral(":/btnMaxPress.png")));
}

void MainWindow::initTitleButton(QPushButton* button, const QString& normalIcon,
                                 const QString& pressedIcon)
{
    button->setCheckable(true);
    button->setStyleSheet(MainWindowStyles::pageButton());
    button->setIcon(QIcon(normalIcon));
    button->setIconSize(QSize(24, 24));
    connect(button, &QPushButton::toggled, button, [button, normalIcon, pressedIcon](bool checked) {
        button->setIcon(QIcon(checked ? pressedIcon : normalIcon));
    });
}

void MainWindow::initStyle()
{
    ui->mainTopWidget->setStyleSheet(MainWindowStyles::topWidget());
    ui->label_title->setStyleSheet(MainWindowStyles::title());
    ui->label_2->setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_3->setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_language->setStyleSheet(MainWindowStyles::languageLabel());

    ui->horizontalLayout_title->setSpacing(0);
    ui->horizontalLayout_title->insertSpacing(1, 21);
    ui->horizontalLayout_topRight->setSpacing(0);
    const QPair<int, int> gaps[] = {{1, 12}, {3, 16}, {5, 38}, {7, 8}, {9, 8}};
    for (const auto& gap : gaps)
        ui->horizontalLayout_topRight->insertSpacing(gap.first, gap.second);

    ui->btn_Min->setStyleSheet(MainWindowStyles::titleButton(QStringLiteral(":/btnMinNormal.png"),
                                                             QStringLiteral(":/btnMinAt.png"),
                                                             QStringLiteral(":/btnMinPress.png")));
    setMaxButtonStyle();
    ui->btn_Close->setStyleSheet(MainWindowStyles::titleButton(
        QStringLiteral(":/btnCloseNormal.png"), QStringLiteral(":/btnCloseAt.png"),
        QStringLiteral(":/btnClosePress.png")));
    ui->btn_Language->setStyleSheet(MainWindowStyles::languageButton());
    connect(ui->btn_Min, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btn_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btn_Max, &QPushButton::clicked, this, [this] {
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        setMaxButtonStyle();
    });

    auto* buttons = new NegativeSpacingHBoxLayout(ui->widget_topButtons);
    const QMargins margins = buttons->contentsMargins();
    buttons->setContentsMargins(margins.left(), 0, margins.right(), 0);
    qDebug() << "left:" << margins.left();
    buttons->setNegativeSpacing(-13);
    for (QPushButton* b : {ui->btnMain, ui->btnSensitivity, ui->btnVector, ui->btnSave, ui->btnHelp,
                           ui->btnMonitor, ui->btnConfig})
        buttons->addWidget(b);
    buttons->addStretch();
    ui->widget_topButtons->setStyleSheet(
        QStringLiteral("#widget_topButtons { background: transparent; border: none; }"));

    initTitleButton(ui->btnMain, QStringLiteral(":/mainNormalIcon.png"),
                    QStringLiteral(":/mainPressIcon.png"));
    initTitleButton(ui->btnSensitivity, QStringLiteral(":/SensitivityNormalIcon.png"),
                    QStringLiteral(":/SensitivityPressIcon.png"));
    initTitleButton(ui->btnVector, QStringLiteral(":/SensitivityNormalIcon.png"),
                    QStringLiteral(":/SensitivityPressIcon.png"));
    initTitleButton(ui->btnSave, QStringLiteral(":/SaveNormalIcon.png"),
                    QStringLiteral(":/SavePressIcon.png"));
    initTitleButton(ui->btnHelp, QStringLiteral(":/helpNormalIcon.png"),
                    QStringLiteral(":/helpPressIcon.png"));
    initTitleButton(ui->btnMonitor, QStringLiteral(":/debugNormalIcon.png"),
                    QStringLiteral(":/debugPressIcon.png"));
    initTitleButton(ui->btnConfig, QStringLiteral(":/configNormalIcon.png"),
                    QStringLiteral(":/configPressIcon.png"));
    ui->btnMain->setIcon(QIcon(QStringLiteral(":/mainPressIcon.png")));

    ui->stackedWidget->setStyleSheet(MainWindowStyles::stack());
    ui->bottomWidget->setStyleSheet(MainWindowStyles::bottomBar());
}
