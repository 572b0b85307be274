#pragma once
// The frameless main window: title bar, page buttons over the page stack, the
// bottom bar of processing controls, the data-rate and language menus, the
// sampling-rate change, the reset road and the lock-loss box.
// GUI thread only: the hub re-emits the workers' signals in the GUI thread.

#include <QMainWindow>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QVector>

#include "ui/PageHooks.h"

#include <functional>

class CustomMenu;
class MainModuleForm;
class ParamManager;
class QMessageBox;
class QPushButton;
class RoundedMenu;
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

    int hitTestEdge(const QPoint& pos) const;
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
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void initPages();
    // A page joins the window here, with the hooks it supplies.
    void addPage(int index, QWidget* page, const PageHooks& hooks);
    void initLineEdits();
    void initMenus();
    void initStyle();
    void initTitleButton(QPushButton* button, const QString& normalIcon,
                         const QString& pressedIcon);
    void initWindow();
    void initLockLossMessage();
    void setMouseTrackingRecursive(QWidget* widget);
    void setMaxButtonStyle();

    void onPageButtonClicked();
    void checkPageButton(int index);
    void showBottomBar(PageHooks::BottomBar edits);
    void showFrequencyChangeAdvice(const QString& text, int rate);
    void onLanguageChosen(const QString& text);
    void popUpLanguageMenu();
    void showInfo(const QString& text);
    void updateResizeCursor(const QPoint& pos);
    void scheduleReset();
    void resetDevice();
    void callHook(int index, const std::function<void(const PageHooks&)>& call) const;

    Ui_MainWindow* ui;
    ParamManager* paramManager;
    MainModuleForm* mainForm = nullptr;
    QMessageBox* lockLossBox = nullptr;
    int currentPageIndex = 0;
    int targetPageIndex = 0;
    QMap<int, QWidget*> pageMap;
    QMap<int, PageHooks> pageHooks;
    RoundedMenu* dataRateMenu = nullptr;
    CustomMenu* languageMenu = nullptr;
    int chineseMenuWidth = 111;
    int englishMenuWidth = 136;
    int resizeMargin = 8;
    bool isPressed = false;
    QPoint pressGlobalPos;
    QRect pressGeometry;
    int pressRegion = 0;

    bool resetPending = false;
    // Widgets whose text follows the language, with their Chinese and the
    // form's English texts (taken at construction).
    struct LanguageText
    {
        QWidget* widget;
        QString chinese;
        QString english;
    };
    QVector<LanguageText> languageTexts;
};
