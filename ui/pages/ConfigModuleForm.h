#pragma once
// The settings page: the instrument's frequency sweep (start, end, step in mHz),
// its sampling rate, the baud rate of its line and the data interval, and the
// filter switch, kept apart from the 20 Hz rate. The page builds the write frames
// of the sweep, baud rate and data interval itself; the rate change is announced
// to the hub and the main window writes it.
// GUI thread only: every slot and public operation is called from the GUI thread
// (the hub re-emits the workers' signals there).

#include "app/SharedTypes.h"
#include "ui/PageHooks.h"
#include "ui/widgets/PageTexts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class CustomMenu;
class ParamManager;
class QPushButton;
class Ui_ConfigModuleForm;

class ConfigModuleForm : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~ConfigModuleForm() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    void startParamWorker();
    void stopParamWorker();
    // Ticks the filter switch (filtering starts switched on).
    void setFilterChecked();

    // A sweep edit's text as the instrument is told it: the value to write (mHz)
    // and the text the edit shows; nothing is written when `send` is false.
    struct SweepEntry
    {
        bool send = false;
        quint32 value = 0;
        QString shown;
    };
    static SweepEntry sweepEntry(const QString& text);
    // Two registers from `reg`, low word first (function 16), CRC appended.
    static QByteArray sweepFrame(quint16 reg, quint32 value);

public slots:
    void slots_updateFormParam(RefreshDataEx refreshDataEx);
    void slots_updateSamplingRate(int iSamplingRate);
    void slot_setLanguage(int num);
    void slot_handleActionTriggeredNew(QString text, QVariant data);
    void slots_editingFinished();

private slots:
    void on_btn_changeSamplingRate_clicked();
    void on_btn_changeBaudRate_clicked();
    void on_btn_changeDataInterval_clicked();
    void on_chk_filter_stateChanged(int arg1);

private:
    CustomMenu* makeMenu(const char* styleName, const QStringList& choices, const QString& key,
                         QPushButton* button);
    void initStyle();

    Ui_ConfigModuleForm* ui;
    ParamManager* m_hub;
    CustomMenu* m_dataIntervalMenu = nullptr;
    CustomMenu* m_baudRateMenu = nullptr;
    CustomMenu* m_samplingRateMenu = nullptr;
    QStringList m_dataIntervals; // the values of the instrument's data-interval register
    QStringList m_baudRates;     // the instrument's line speeds
    QStringList m_samplingRates; // the rates the rate table offers on this page
    bool m_firstUpdate = true;   // the next identity block fills the sweep edits
    PageTexts m_texts;
};
