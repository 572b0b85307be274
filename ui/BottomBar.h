#pragma once
// The main window's bottom bar of processing controls: the low-pass, high-pass
// and FFT-time edits with their limits, which of them a page shows, and the
// data-rate box, which only opens the data-rate menu.
// GUI thread only.

#include "ui/PageHooks.h"

#include <QObject>

class ParamManager;
class QEvent;
class RoundedMenu;
class Ui_MainWindow;

class BottomBar : public QObject
{
    Q_OBJECT
public:
    // Works on the window's form; the menu is a child of the window.
    BottomBar(Ui_MainWindow* ui, ParamManager* paramManager, QWidget* window);

    // One of the processing edits was finished: its text is brought within its
    // limits and the parameters go to the hub and the decoder.
    void editFinished(const QObject* edit);

    // A left press on the data-rate box opens the menu, or tells the operator
    // why not while saving; a press on the disabled box is swallowed. True when
    // the event was the box's.
    bool dataRatePressed(QObject* watched, QEvent* event);

    void showEdits(PageHooks::BottomBar edits);
    void showDataRate(double step, bool enabled);

signals:
    // The operator chose a step in the data-rate menu: its text and the rate.
    void dataRateChosen(const QString& text, int rate);

private:
    Ui_MainWindow* ui;
    ParamManager* m_hub;
    QWidget* m_window;
    RoundedMenu* m_dataRateMenu;
};
