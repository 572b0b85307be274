#pragma once
// Style sheets of the main window: the design's colours, sizes and images.

#include <QString>

class QMenu;
class Ui_MainWindow;

namespace MainWindowStyles {

// Gives the window's form its look: style sheets, title-bar spacing, the
// overlapping page buttons with their icons.
void apply(Ui_MainWindow* ui);
// The data-rate menu's look: style sheet and drop shadow.
void applyToDataRateMenu(QMenu* menu);

// Title bar.
QString topWidget();
QString title();
QString transparent();
QString languageLabel();
QString minButton();
QString maxButton(bool maximized);
QString closeButton();
QString languageButton();

// Page buttons and the row that holds them.
QString pageButton();
QString topButtons();

// Page stack, bottom bar and data-rate menu.
QString stack();
QString bottomBar();
QString dataRateMenu();

} // namespace MainWindowStyles
