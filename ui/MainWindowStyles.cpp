#include "ui/MainWindowStyles.h"

#include "ui/widgets/NegativeSpacingHBoxLayout.h"

#include "ui_MainWindow.h"

#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QMenu>

namespace MainWindowStyles {

namespace {
// Title-bar buttons: normal, hover and pressed background images.
QString titleButton(const QString& normal, const QString& hover, const QString& pressed)
{
    return QStringLiteral(R"(
QPushButton { background-image: url(%1); background-repeat: no-repeat; background-position: center;
  background-color: transparent; border: none; min-width: 25px; min-height: 25px; }
QPushButton:hover { background-image: url(%2); }
QPushButton:pressed { background-image: url(%3); })")
        .arg(normal, hover, pressed);
}
// A checkable page button that shows its pressed icon while checked.
void initPageButton(QPushButton* button, const QString& normalIcon, const QString& pressedIcon)
{
    button->setCheckable(true);
    button->setStyleSheet(pageButton());
    button->setIcon(QIcon(normalIcon));
    button->setIconSize(QSize(24, 24));
    QObject::connect(button, &QPushButton::toggled, button,
                     [button, normalIcon, pressedIcon](bool checked) {
                         button->setIcon(QIcon(checked ? pressedIcon : normalIcon));
                     });
}
} // namespace

void apply(Ui_MainWindow* ui)
{
    ui->mainTopWidget->setStyleSheet(topWidget());
    ui->label_title->setStyleSheet(title());
    ui->label_2->setStyleSheet(transparent());
    ui->label_3->setStyleSheet(transparent());
    ui->label_language->setStyleSheet(languageLabel());

    ui->horizontalLayout_title->setSpacing(0);
    ui->horizontalLayout_title->insertSpacing(1, 21);
    ui->horizontalLayout_topRight->setSpacing(0);
    const QPair<int, int> gaps[] = {{1, 12}, {3, 16}, {5, 38}, {7, 8}, {9, 8}};
    for (const auto& gap : gaps)
        ui->horizontalLayout_topRight->insertSpacing(gap.first, gap.second);

    ui->btn_Min->setStyleSheet(minButton());
    ui->btn_Max->setStyleSheet(maxButton(false));
    ui->btn_Close->setStyleSheet(closeButton());
    ui->btn_Language->setStyleSheet(languageButton());

    // Neighbouring page buttons overlap; the window raises the clicked one.
    auto* buttons = new NegativeSpacingHBoxLayout(ui->widget_topButtons);
    const QMargins margins = buttons->contentsMargins();
    buttons->setContentsMargins(margins.left(), 0, margins.right(), 0);
    qDebug() << "left:" << margins.left();
    buttons->setNegativeSpacing(-13);
    const struct
    {
        QPushButton* button;
        const char* icon;
    } pageButtons[] = {{ui->btnMain, "main"},          {ui->btnSensitivity, "Sensitivity"},
                       {ui->btnVector, "Sensitivity"}, {ui->btnSave, "Save"},
                       {ui->btnHelp, "help"},          {ui->btnMonitor, "debug"},
                       {ui->btnConfig, "config"}};
    for (const auto& b : pageButtons) {
        buttons->addWidget(b.button);
        initPageButton(b.button, QStringLiteral(":/%1NormalIcon.png").arg(QLatin1String(b.icon)),
                       QStringLiteral(":/%1PressIcon.png").arg(QLatin1String(b.icon)));
    }
    buttons->addStretch();
    ui->widget_topButtons->setStyleSheet(topButtons());
    ui->btnMain->setIcon(QIcon(QStringLiteral(":/mainPressIcon.png")));

    ui->stackedWidget->setStyleSheet(stack());
    ui->bottomWidget->setStyleSheet(bottomBar());
}

void applyToDataRateMenu(QMenu* menu)
{
    menu->setStyleSheet(dataRateMenu());
    menu->setAttribute(Qt::WA_StyledBackground);
    auto* shadow = new QGraphicsDropShadowEffect(menu);
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 3);
    shadow->setColor(QColor(223, 235, 248, 143));
    menu->setGraphicsEffect(shadow);
}

QString minButton()
{
    return titleButton(QStringLiteral(":/btnMinNormal.png"), QStringLiteral(":/btnMinAt.png"),
                       QStringLiteral(":/btnMinPress.png"));
}

QString maxButton(bool maximized)
{
    return maximized
               ? titleButton(QStringLiteral(":/btnMaxNormal1.png"),
                             QStringLiteral(":/btnMaxAt1.png"),
                             QStringLiteral(":/btnMaxPress1.png"))
               : titleButton(QStringLiteral(":/btnMaxNormal.png"), QStringLiteral(":/btnMaxAt.png"),
                             QStringLiteral(":/btnMaxPress.png"));
}

QString closeButton()
{
    return titleButton(QStringLiteral(":/btnCloseNormal.png"), QStringLiteral(":/btnCloseAt.png"),
                       QStringLiteral(":/btnClosePress.png"));
}

QString languageButton()
{
    return titleButton(QStringLiteral(":/btnLanguageNormal.png"),
                       QStringLiteral(":/btnLanguageAt.png"),
                       QStringLiteral(":/btnLanguagePress.png")) +
           QStringLiteral("QPushButton::menu-indicator { image: none; width: 0px; height: 0px; }");
}

QString pageButton()
{
    return QStringLiteral(R"(
QPushButton { background-image: url(:/topBtnNormal.png); background-repeat: no-repeat;
  background-position: center; background-color: transparent; border: none;
  font-family: MiSans; font-weight: 400; font-size: 20px; color: #2B3B50; }
QPushButton:checked { background-image: url(:/topBtnPress.png); color: #1667BA; })");
}

QString topWidget()
{
    return QStringLiteral(R"(
#mainTopWidget { background-image: url(:/topbackground.png); background-repeat: no-repeat;
  background-position: center; background-attachment: fixed; border: none; })");
}

QString title()
{
    return QStringLiteral("font-family: MiSans; font-size: 26px; color: #FFFFFF; margin: 0px; "
                          "padding: 0px; background: transparent;");
}

QString transparent()
{
    return QStringLiteral("background: transparent;");
}

QString topButtons()
{
    return QStringLiteral("#widget_topButtons { background: transparent; border: none; }");
}

QString languageLabel()
{
    return QStringLiteral(
        "font-family: MiSans; font-size: 18px; color: #FFFFFF; background: transparent;");
}

QString stack()
{
    return QStringLiteral("#stackedWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                          "stop:0 #F9FAFC, stop:1 #E1ECF8); }");
}

QString bottomBar()
{
    return QStringLiteral(R"(
#bottomWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #E1ECF8, stop:1 #DFEBF8); }
QPushButton#btn_clearPlot { border-radius: 22px; font-family: MiSans; font-size: 18px; color: #FFFFFF;
  padding: 10px 20px; border: none;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, stop:1 #A4B7C8); }
QPushButton#btn_clearPlot:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2A7ACD, stop:1 #4293E8); }
QPushButton#btn_clearPlot:pressed {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0557AB, stop:1 #4293E8); }
QPushButton#btn_reboot { border-radius: 22px; font-family: MiSans; font-size: 18px; color: #FFFFFF;
  padding: 10px 20px; border: none;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #C03837, stop:1 #EC5858); }
QPushButton#btn_reboot:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #A32928, stop:1 #EC5858); }
QPushButton#btn_reboot:pressed {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #890807, stop:1 #EC5858); }
QLineEdit[name="edtb"] { min-width: 76px; max-width: 76px; min-height: 44px; max-height: 44px;
  background-color: #F1F8FF; border-radius: 6px; border: 1px solid rgba(185, 198, 212, 143);
  font-family: MiSans; font-size: 18px; color: #2B3B50; }
QLineEdit[name="edtb"]:read-only, QLineEdit[name="edtb"]:disabled { color: #A4B0BE; }
QLineEdit#edt_dataRate:enabled { color: #2B3B50; }
QLabel[name="lbl"] { font-family: MiSans; font-size: 18px; color: #77818E; background: transparent; })");
}

QString dataRateMenu()
{
    return QStringLiteral(R"(
QMenu { background-color: #FFFFFF; padding: 6px; border: none; }
QMenu::item { font-family: MiSans; font-weight: 400; font-size: 16px; color: #2B3B50;
  padding: 6px 12px; background-color: transparent; }
QMenu::item:selected { color: #2C7ED3; background-color: rgba(44, 126, 211, 0.08); })");
}

} // namespace MainWindowStyles
