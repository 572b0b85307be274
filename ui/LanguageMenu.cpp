#include "ui/LanguageMenu.h"

#include "ui/widgets/CustomMenu.h"

#include <QLabel>
#include <QPushButton>

LanguageMenu::LanguageMenu(QPushButton* button, QLabel* label, QWidget* window)
    : QObject(window), m_button(button), m_label(label), m_menu(new CustomMenu(window))
{
    m_menu->addAction(QStringLiteral("中文"), QVariant());
    m_menu->addAction(QStringLiteral("English"), QVariant());
    connect(m_menu, &CustomMenu::triggered, this,
            [this](const QString& text, const QVariant&) { emit chosen(text); });
    m_menu->setFixedWidth(englishMenuWidth);
    connect(m_button, &QPushButton::clicked, this, &LanguageMenu::popUp);
}

void LanguageMenu::showLanguage(int num)
{
    m_label->setText(num == 1 ? QStringLiteral("中文") : QStringLiteral("English"));
    m_menu->setFixedWidth(num == 1 ? chineseMenuWidth : englishMenuWidth);
}

// Under the button, its right part towards the window's edge.
void LanguageMenu::popUp()
{
    const QPoint p = m_button->mapToGlobal(QPoint(0, 0));
    const int bw = m_button->width();
    m_menu->adjustSize();
    const int m = m_menu->sizeHint().width();
    const int x =
        m_menu->width() == chineseMenuWidth ? p.x() + 2 * bw - m - m / 2 : p.x() + bw - m - m / 2;
    m_menu->move(x, p.y() + m_button->height());
    m_menu->show();
}
