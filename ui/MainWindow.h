#pragma once
// The frameless main window: title bar, page buttons over the page stack, and
// the bottom bar. It registers the pages with the hooks they supply, switches
// between them, changes the sampling rate, runs the reset road and the language
// switch, and shows the lock-loss box. The bottom bar's controls are BottomBar's,
// the language menu LanguageMenu's, move and resize FramelessFrame's, the look
// MainWindowStyles'.
// GUI thread only: the hub re-emits the workers' signals in the GUI thread.

#include <QMainWindow>
#include <QMap>

#include "ui/FramelessFrame.h"
#include "ui/PageHooks.h"
#include "ui/widgets/PageTexts.h"

#include <functional>

class BottomBar;
class LanguageMenu;
class MainModuleForm;
class ParamManager;
class QMessageBox;
class QPushButton;
class Ui_MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The only writer of the instrument's rate register. bChange false adopts
    // the rate locally and sends nothing. A rate outside the rate table is ignored.
    void changeSamplingRate(int rate, bool bChange);

    // The watchdog's message: one reused box, shown without blocking.
    void showLockLossMessage(const QString& text);

    int hitTestEdge(const QPoint& pos) const { return frame.hitTestEdge(pos); }
    int currentPage() const { return currentPageIndex; }

signals:
    void sig_ChangeLanguage(int num);

public slots:
    void on_btn_clearPlot_clicked();
    void slots_lineEditIsOK();
    void on_btn_reboot_clicked();
    void slot_setLanguage(int num);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override { frame.mousePress(event); }
    void mouseReleaseEvent(QMouseEvent*) override { frame.mouseRelease(); }
    void mouseMoveEvent(QMouseEvent* event) override { frame.mouseMove(event); }
    void leaveEvent(QEvent*) override { frame.leave(); }
    void closeEvent(QCloseEvent* event) override;

private:
    void initPages();
    // A page joins the window here, with the hooks it supplies.
    void addPage(int index, QWidget* page, const PageHooks& hooks);
    void initLineEdits();
    void initMenus();
    void initStyle();
    void initWindow();
    void initLockLossMessage();

    void onPageButtonClicked();
    void showFrequencyChangeAdvice(const QString& text, int rate);
    void onLanguageChosen(const QString& text);
    void scheduleReset();
    void resetDevice();
    // Runs one hook of the page at index, when the page supplies it.
    void callHook(int index, std::function<void()> PageHooks::*hook) const;
    void callHook(int index, std::function<void(int)> PageHooks::*hook, int value) const;

    Ui_MainWindow* ui;
    ParamManager* paramManager;
    MainModuleForm* mainForm = nullptr;
    QMessageBox* lockLossBox = nullptr;
    int currentPageIndex = 0;
    int targetPageIndex = 0;
    QMap<int, QWidget*> pageMap;
    QMap<int, PageHooks> pageHooks;
    BottomBar* bottomBar = nullptr; // with the data-rate menu
    LanguageMenu* languageMenu = nullptr;
    FramelessFrame frame{this};

    bool resetPending = false;
    PageTexts pageTexts; // the bottom bar's and the page buttons' texts
};
