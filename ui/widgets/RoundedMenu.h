#pragma once
// QMenu with rounded corners: the widget is masked to a rounded rectangle, so the
// corners stay transparent whatever the style paints. GUI thread only.

#include <QMenu>

class RoundedMenu : public QMenu
{
public:
    using QMenu::QMenu;

protected:
    void paintEvent(QPaintEvent* event) override;
};
