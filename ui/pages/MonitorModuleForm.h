#pragma once
// The debug page (test mode only): the read-backs of the instrument's parameter
// block, the three set points behind the edit-lock password, the DDS frequency
// and sweep while "FS Debug" is ticked, the work state and the work mode. Every
// write stops the parameter poll, goes out as a custom Modbus frame and resumes
// the poll.
// GUI thread only: every slot and public operation is called from the GUI
// thread (the hub re-emits the decoder's parameter blocks there).

#include "app/SharedTypes.h"
#include "ui/PageHooks.h"
#include "ui/widgets/PageTexts.h"

#include <QList>
#include <QString>
#include <QWidget>

class CustomMenu;
class ParamManager;
class PasswordFilter;
class QLineEdit;
class QPushButton;
class Ui_MonitorModuleForm;

class MonitorModuleForm : public QWidget
{
    Q_OBJECT
public:
    explicit MonitorModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MonitorModuleForm() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    void startParamWorker();
    void stopParamWorker();
    void uncheckDebug();
    void setDebugWidgetsEnabled(bool enabled);
    void resetFields();
    // The set points as the edits hold them: VCSEL, VCSEL Default, Vapor Cell.
    void getSetValues(double& vcsel, double& vcselDefault, double& vaporCell) const;

    PasswordFilter* passwordFilter() const { return m_passwordFilter; }

public slots:
    void slots_updateFormParam(RefreshData refreshData);
    void slot_setLanguage(int num);

private slots:
    void slots_editingFinished();
    void slots_ddsEditingFinished();
    void on_btn_changeWorkState_clicked();
    void on_btn_changeWorkMode_clicked();
    void on_chk_debug_stateChanged(int arg1);

private:
    void initMenus();
    void initStyle();
    void popUpMenu(CustomMenu* menu, QPushButton* button);
    void send(const QByteArray& frame);
    void sendWorkState(quint16 state);
    // Stops the poll for a command; resume() restarts it only if it ran before,
    // so that a command on a page already left does not start it again.
    bool pausePoll();
    void resumePoll(bool wasRunning);
    void showReadBacksZero();

    Ui_MonitorModuleForm* ui;
    ParamManager* paramManager;
    CustomMenu* workStateMenu = nullptr;
    CustomMenu* workModeMenu = nullptr;
    QList<QString> workStateList{"1", "2", "3", "4"};
    QList<QString> workModeList{"0", "1"};
    bool fillSetPoints = true;
    bool showDdsReadBack = false;

    PasswordFilter* m_passwordFilter = nullptr;
    bool m_pollRunning = false;
    PageTexts m_texts;
};
