#pragma once
// The live field plot of the main page: batches are queued as they arrive and
// a 30 ms refresh tick draws the newest chart time of them, with read-out
// boxes for the window's maximum and minimum and the newest sample. The page
// hands it the batches, the data parameters (the window is chart time / data
// rate samples long), the span of the x axis and whether it may draw; it knows
// no hub.
// GUI thread only (the queue alone would also take batches from another thread).

#include "app/SharedTypes.h"
#include "ui/widgets/RingBuffer.h"
#include "ui/widgets/SampleWindow.h"

#include <QPointer>
#include <QVector>
#include <qcustomplot.h>

class QTimer;

class LiveFieldPlot : public QCustomPlot
{
    Q_OBJECT
public:
    explicit LiveFieldPlot(QWidget* parent = nullptr);

    // Queues a batch for a later tick; a full queue drops it.
    void push(const QVector<double>& batch);
    // Forgets the queued batches; what is on screen stays.
    void dropQueued();
    // Empties the window, the queue, the graph and the read-out boxes.
    void clearPlot();

    void setDataParam(const DataParam& param);
    // The x axis shows 0 to `seconds`.
    void setTimeSpan(int seconds);
    // While paused or not active the window keeps filling but nothing is drawn;
    // the next drawn tick shows all that came meanwhile.
    void setPaused(bool paused);
    void setActive(bool active);

signals:
    // After each drawn batch: the window length in samples, the batch's last
    // sample and the window's maximum minus its minimum.
    void sig_readoutsChanged(int windowLength, double last, double range);

private:
    void initPlot();
    void onRefreshTimer();

    QPointer<QCPGraph> m_graph;
    QCPItemText* m_maxText = nullptr;
    QCPItemText* m_minText = nullptr;
    QCPItemText* m_lastText = nullptr;
    QTimer* m_refreshTimer = nullptr;
    RingBuffer<QVector<double>> m_sampleQueue{256};
    SampleWindow m_window; // the samples on screen, oldest first
    DataParam m_param;
    bool m_paused = false;
    bool m_active = true;
    double m_graphStep = 0.0; // key step of the points in the graph
};
