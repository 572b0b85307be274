#pragma once
// The save page: the file name and folder of the next recording, comments, a
// save duration, one button that starts and stops a recording, and a panel of
// the latest values while one runs. Whether or not a recording runs, the page
// gathers the samples the hub relays into batches of one second at the current
// sampling rate and hands each to the recorder (ParamManager::sig_saveCSVData).
// GUI thread only: every slot and operation runs there (the hub's signals arrive
// there queued).

#include "app/SharedTypes.h"
#include "ui/PageHooks.h"
#include "ui/widgets/PageTexts.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <QWidget>

#include <functional>

class ParamManager;
class Ui_SaveModuleForm;

class SaveModuleForm : public QWidget
{
    Q_OBJECT
public:
    explicit SaveModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~SaveModuleForm() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    void startRefresh();
    void stopRefresh();
    void reset();
    bool isRefreshing() const { return m_refresh; }

    // The current UTC time, for file names, batches and the panel; tests replace it.
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }

public slots:
    void slots_saveFinished();
    void slots_updateForm(QVector<double> datas, FrequencyType frequencytype);
    void slots_updateVectorForm(FIDVectorData vecFid);
    void slot_setLanguage(int num);

private slots:
    void on_btnOpen_clicked();
    void slots_lineEditIsOK();
    void on_btn_Save_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildDefaultFileName();
    void initLineEdits();
    void initStyle();
    void appendToPanel(const QVector<double>& datas);
    void showWriteFailure(const QString& filePath, const QString& error);
    static QString saveButtonText(bool saving, int num);
    QString nowFileName() const;

    Ui_SaveModuleForm* ui;
    ParamManager* hub;
    bool m_refresh = false;
    QVector<double> m_gathered; // samples of the second being gathered
    int m_refreshCount = 0;
    PageTexts m_texts;
    Clock m_clock;
};
