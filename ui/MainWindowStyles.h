#pragma once
// Style sheets of the main window: the design's colours and sizes.

#include <QString>

namespace MainWindowStyles {

// Title-bar buttons: %1 normal, %2 hover, %3 pressed background image.
inline QString titleButton(const QString& normal, const QString& hover, const QString& pressed)
{
    return QStringLiteral(R"(
QPushButton { background-image: url(%1); background-repeat: no-repeat; background-position: center;
  background-color: transparent; border: none; min-width: 25px; min-height: 25px; }
QPushButton:hover { background-image: url(%2); }
QPushButton:pressed { background-image: url(%3); })")
        .arg(normal, hover, pressed);
}

inline QString languageButton()
{
    return titleButton(QStringLiteral(":/btnLanguageNormal.png"),
                       QStringLiteral(":/btnLanguageAt.png"),
                       QStringLiteral(":/btnLanguagePress.png")) +
           QStringLiteral("QPushButton::menu-indicator { image: none; width: 0px; height: 0px; }");
}

inline QString pageButton()
{
    return QStringLiteral(R"(
QPushButton { background-image: url(:/topBtnNormal.png); background-repeat: no-repeat;
  background-position: center; background-color: transparent; border: none;
  font-family: MiSans; font-weight: 400; font-size: 20px; color: #2B3B50; }
QPushButton:checked { background-image: url(:/topBtnPress.png); color: #1667BA; })");
}

inline QString topWidget()
{
    return QStringLiteral(R"(
#mainTopWidget { background-image: url(:/topbackground.png); background-repeat: no-repeat;
  background-position: center; background-attachment: fixed; border: none; })");
}

inline QString title()
{
    return QStringLiteral("font-family: MiSans; font-size: 26px; color: #FFFFFF; margin: 0px; "
                          "padding: 0px; background: transparent;");
}

inline QString languageLabel()
{
    return QStringLiteral(
        "font-family: MiSans; font-size: 18px; color: #FFFFFF; background: transparent;");
}

inline QString stack()
{
    return QStringLiteral("#stackedWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                          "stop:0 #F9FAFC, stop:1 #E1ECF8); }");
}

inline QString bottomBar()
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
QLabel[name="lbl"] { font-family: MiSans; font-size: 18px; color: #77818E; background: transparent; })");
}

inline QString dataRateMenu()
{
    return QStringLiteral(R"(
QMenu { background-color: #FFFFFF; padding: 6px; border: none; }
QMenu::item { font-family: MiSans; font-weight: 400; font-size: 16px; color: #2B3B50;
  padding: 6px 12px; background-color: transparent; }
QMenu::item:selected { color: #2C7ED3; background-color: rgba(44, 126, 211, 0.08); })");
}

} // namespace MainWindowStyles
