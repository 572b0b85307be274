#pragma once
// The sensitivity page: the amplitude spectral density of the field (lower
// chart, logarithmic) and the stretch of field values it is taken over (upper
// chart). It starts the stream when shown and stops it when left for the debug
// or settings page; the decoder computes spectra only while it is shown.
// GUI thread only: every slot and public operation is called from the GUI
// thread (the hub re-emits the decoder's signals there).

#include "ui/PageHooks.h"
#include "ui/widgets/PageTexts.h"
#include "ui/widgets/RingBuffer.h"

#include <QPointer>
#include <QVector>
#include <QWidget>

class CustomPlot;
class ParamManager;
class QCPGraph;
class QTimer;
class Ui_SensitivityModuleForm;

class SensitivityModuleForm : public QWidget
{
    Q_OBJECT
public:
    explicit SensitivityModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~SensitivityModuleForm() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    void startSpectrum();
    void stopSpectrum();
    // The page-visible flag, also passed on to the decoder through the hub.
    void setFlag(bool visible);
    // The spectrum's frequency axis for a data rate; other rates leave it alone.
    void updateAxisForDataRate(int rateHz);
    void clearPlot();

public slots:
    // A batch of field values (nT) for the time window, and/or a spectrum.
    void slots_updateForm(QVector<double> datas, QVector<double> f_datas,
                          QVector<double> fft_datas);
    void slot_setLanguage(int num);

private:
    void initPlot();
    void initTimer();
    void onRefreshTimer();
    void drawSpectrum(const QVector<double>& freqs, const QVector<double>& densities);

    Ui_SensitivityModuleForm* ui;
    ParamManager* m_hub;
    CustomPlot* m_chart1 = nullptr; // time window
    CustomPlot* m_chart2 = nullptr; // spectral density
    QPointer<QCPGraph> m_graph1;
    QPointer<QCPGraph> m_graph2;
    QVector<double> m_history; // nT, oldest first
    RingBuffer<QVector<double>> m_batchQueue{256};
    bool m_visible = false;
    QTimer* m_refreshTimer = nullptr;
    double m_graphStep = 0.0; // key step of the points in chart1's graph
    PageTexts m_texts;
};
