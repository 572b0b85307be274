#pragma once
// The title bar's language choice: the menu that pops up under the language
// button, the label that names the language shown, and the menu's width for
// each language. GUI thread only.

#include <QObject>

class CustomMenu;
class QLabel;
class QPushButton;

class LanguageMenu : public QObject
{
    Q_OBJECT
public:
    // The menu is a child of the window.
    LanguageMenu(QPushButton* button, QLabel* label, QWidget* window);

    // Names the language on the label (1 Chinese, other values English) and
    // gives the menu its width for it.
    void showLanguage(int num);

signals:
    void chosen(const QString& text);

private:
    void popUp();

    QPushButton* m_button;
    QLabel* m_label;
    CustomMenu* m_menu;
    int chineseMenuWidth = 111;
    int englishMenuWidth = 136;
};
