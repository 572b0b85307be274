#pragma once
// The spectrum step of the scalar stream, beside the stream rather than in its
// path: the fixed 1 Hz high-pass, the user filters and the transform of one
// window of samples (mHz), then the densities converted to nT/sqrt(Hz). A long window
// takes tens of milliseconds (more while it grows through sizes FFTW has never
// planned), which must not hold up the batches of field values.
//
// Threads: created and deleted in its owner's thread (the stream decoder's);
// submit() may be called from there at any time. The step runs in the worker's
// own thread, one job after the other, and sig_spectrumReady is emitted there.

#include "app/WorkerThread.h"
#include "dsp/FilterBank.h"

#include <QObject>
#include <QVector>

class SpectrumWorker : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        QVector<double> samples; // mHz
        int rate = 0;            // Hz: filter designs and transform
        int lowPass = 0;         // Hz, 0 = off
        int highPass = 0;        // Hz, 0 = off
        quint64 tag = 0;         // handed back with the result
    };

    SpectrumWorker();
    ~SpectrumWorker() override;

    // Queues the job; its result follows as sig_spectrumReady, always (empty
    // vectors for an empty window).
    void submit(const Job& job);

    // The step itself, in the calling thread.
    static void filterData(FilterBank& filters, const Job& job, QVector<double>& freqs,
                           QVector<double>& amps);

signals:
    void sig_spectrumReady(quint64 tag, QVector<double> freqs, QVector<double> amps);

private:
    void run(const Job& job);

    FilterBank m_filters; // worker thread only

    WorkerThread m_thread; // last: started at the end of the constructor
};
