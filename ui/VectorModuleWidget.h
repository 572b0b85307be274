#pragma once
// The vector page: time plots of X, Y, Z and the scalar total S (nT), a plot that
// combines X, Y and Z, the amplitude spectral densities of the four channels with
// a cursor read-out, and the measurement time of the spectra. Records queue up in
// slots_updateVectorForm; a 20 ms timer draws at most one per tick.
// GUI thread only: the hub re-emits the decoder's records there.

#include "app/SharedTypes.h"
#include "ui/PageHooks.h"
#include "ui/widgets/RingBuffer.h"

#include <QColor>
#include <QPointer>
#include <QVector>
#include <QWidget>

class ParamManager;
class QCustomPlot;
class QCPGraph;
class QCPItemLine;
class QCPItemText;
class QMouseEvent;
class QTimer;
class Ui_VectorModuleWidget;

class VectorModuleWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 20;

    explicit VectorModuleWidget(ParamManager* paramManager, QWidget* parent = nullptr);
    ~VectorModuleWidget() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    void clearPlot();
    // One refresh tick: draws the oldest queued record, if any.
    void drawNext();

public slots:
    void slots_updateVectorForm(FIDVectorData vecFid);

private slots:
    void onMeasTimeEdited();
    void onSpectrumMouseMove(QMouseEvent* event);

private:
    enum Channel
    {
        X = 0,
        Y = 1,
        Z = 2,
        S = 3,
        ChannelCount = 4
    };

    void initButtons();
    void initTimePlots();
    void initSpectrumPlot();
    void initCursor();
    void initCombinedPlot();
    void initStyle();
    void setCombinedRange(double minimum, double maximum);

    Ui_VectorModuleWidget* ui;
    ParamManager* m_paramManager;
    QPointer<QCPGraph> m_combinedGraphs[3];
    QPointer<QCPGraph> m_spectrumGraphs[ChannelCount];
    QPointer<QCPGraph> m_timeGraphs[ChannelCount];
    QCPItemLine* m_cursorLineH = nullptr;
    QCPItemLine* m_cursorLineV = nullptr;
    QCustomPlot* m_timePlots[ChannelCount] = {};
    QVector<QCPItemText*> m_valueLabels[ChannelCount]; // maximum, minimum, latest
    QVector<double> m_windows[ChannelCount];
    QVector<double> m_keys; // index x spacing, as long as the longest window
    RingBuffer<FIDVectorData> m_queue{256};
    bool m_combinedVisible[3] = {true, true, true};
    bool m_spectrumVisible[ChannelCount] = {true, true, true, true};
    QColor m_colors[ChannelCount];
    QTimer* m_timer = nullptr;
};
