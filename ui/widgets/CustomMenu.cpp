#include "ui/widgets/CustomMenu.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char* const ItemStyle = "QPushButton{font-family:MiSans;font-weight:400;font-size:16px;"
                              "color:#2B3B50;padding:6px 12px;background-color:transparent;"
                              "border:none;text-align:left;}"
                              "QPushButton:hover,QPushButton:focus{color:#2C7ED3;"
                              "background-color:rgba(44,126,211,0.08);}";
}

CustomMenu::CustomMenu(QWidget* parent) : QWidget(parent), m_layout(new QVBoxLayout(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    m_layout->setContentsMargins(6, 6, 6, 6);
    m_layout->setSpacing(0);
    setFixedWidth(180);
}

void CustomMenu::addAction(const QString& text, const QVariant& data)
{
    auto* button = new QPushButton(text, this);
    button->setCursor(Qt::PointingHandCursor);
    button->setProperty("actionData", data);
    button->setStyleSheet(ItemStyle);
    m_layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, &CustomMenu::onItemClicked);
    m_buttons.append(button);
}

void CustomMenu::clearActions()
{
    for (QPushButton* button : qAsConst(m_buttons)) {
        m_layout->removeWidget(button);
        // A slot of triggered may refill the menu while the clicked button is still
        // emitting: that one goes later, the others at once.
        if (button == m_emittingButton) {
            button->hide();
            button->setParent(nullptr);
            button->deleteLater();
        } else {
            delete button;
        }
    }
    m_buttons.clear();
}

void CustomMenu::onItemClicked()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button)
        return;
    const QVariant data = button->property("actionData");
    const QString text = button->text();
    QPointer<CustomMenu> self(this);
    m_emittingButton = button;
    emit triggered(text, data);
    if (!self)
        return;
    m_emittingButton = nullptr;
    close();
}

void CustomMenu::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), 6.0, 6.0, Qt::AbsoluteSize);
    painter.fillPath(path, QBrush(QColor("#FFFFFF")));
}
