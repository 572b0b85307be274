#pragma once
// The main page: port choice, link-up, status light and battery, restart,
// re-track, pause, mock replay; it hands the hub's batches to the live field
// plot (LiveFieldPlot) and shows the plot's read-outs in the value bar.
// GUI thread only: every slot and public operation is called from the GUI
// thread (the hub re-emits the workers' signals there).

#include "ui/PageHooks.h"
#include "ui/widgets/PageTexts.h"

#include <QPixmap>
#include <QVariant>
#include <QVector>
#include <QWidget>

#include <functional>

class ParamManager;
class CustomMenu;
class MonitorModuleForm;
class QTimer;
class Ui_MainModuleForm;

class MainModuleForm : public QWidget
{
    Q_OBJECT
public:
    explicit MainModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainModuleForm() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    void startPolling();
    void stopPolling();
    void setActive(bool active);
    void clearPlot();
    void reset();
    void setMonitorForm(MonitorModuleForm* monitorForm);
    bool isComButtonEnabled() const;

    // Seconds since the epoch, used for the connect time and the status record;
    // tests replace the system clock.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    // How long after the link-up the instrument may stay silent before the
    // operator is told (tests shorten it).
    void setAnswerTimeout(int ms);

    // Shows a lock progress of 0 to 4 on the light and the battery; other values
    // are rejected with a debug line.
    void updateLightStatus(int status);

public slots:
    void slots_updateForm(QVector<double> datas);
    void slots_updateProgress(int iStatus);
    void slots_updateProgressEx(int iStatus);
    void slots_connected();
    void slots_connectFailed(QString portName, QString reason);
    void slots_linkLost();
    void slots_noAnswer();
    void slots_updateSerialNumber(QString serialNumber);
    void slot_setLanguage(int num);
    void slots_lineEditIsOK();
    void slot_handleActionTriggered(QString text, QVariant data);

private slots:
    void on_btn_pause_clicked();
    void on_btn_mock_clicked();
    void on_btn_ReStart_clicked();
    void on_btn_ddsReTrack_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectHub();
    void connectPlot();
    void showReadouts(int windowLength, double last, double range);
    void clearReadouts(); // "Samples", "Mear" and "△B" back to "0"
    void initPortMenu();
    void loadPortMenu();
    void popUpPortMenu();
    void initStyle();
    void restartDevice(int status, int request, const QString& refusal);
    void showPortChoice(); // btn_com back to its "select" text
    void showPortChoiceText(int num);
    void updatePauseText(int num);
    void setPaused(bool paused); // the page, the hub and the plot
    void resume();
    // The program's usual box about a port, in the language chosen; `detail` (the
    // system's reason) goes on a line of its own.
    void tellAboutPort(const QString& chinese, const QString& english, const QString& port,
                       const QString& detail = QString());
    bool isConnectablePort(const QString& name) const;

    Ui_MainModuleForm* ui;
    ParamManager* m_hub;
    bool m_paused = false;
    CustomMenu* m_portMenu = nullptr;
    QVector<QPixmap> m_batteryImages;
    Clock m_clock;
    qint64 m_connectTime = 0;
    MonitorModuleForm* m_monitorForm = nullptr;

    PageTexts m_texts;
    bool m_portMenuWired = false;
    QString m_chosenPort;            // shown on btn_com until the next reset
    bool m_linkOpen = false;         // from sig_connected until the link is lost or reset
    bool m_resetSinceLinkUp = false; // the old link's stragglers are dropped
    QTimer* m_answerTimer = nullptr; // from the link-up to the instrument's first answer
    int m_shownBattery = -1;

    // The last status shown, shared by every page instance.
    static int s_lastStatus;
};
