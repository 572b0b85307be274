#include "device/SpectrumWorker.h"

#include "device/ScalarStreamDecoder.h"
#include "dsp/Spectrum.h"

#include <QMetaObject>

SpectrumWorker::SpectrumWorker()
{
    // The result crosses threads by a queued signal.
    qRegisterMetaType<QVector<double>>("QVector<double>");
    m_thread.start(this);
}

SpectrumWorker::~SpectrumWorker()
{
    m_thread.stop();
}

void SpectrumWorker::submit(const Job& job)
{
    QMetaObject::invokeMethod(
        this, [this, job] { run(job); }, Qt::QueuedConnection);
}

void SpectrumWorker::filterData(FilterBank& filters, const Job& job, QVector<double>& freqs,
                                QVector<double>& amps)
{
    Spectrum::density(filters, job.samples, job.rate, job.rate, job.lowPass, job.highPass, freqs,
                      amps);
    for (double& a : amps)
        a = ScalarStreamDecoder::toNanoTesla(a);
}

void SpectrumWorker::run(const Job& job)
{
    QVector<double> freqs;
    QVector<double> amps;
    filterData(m_filters, job, freqs, amps);
    emit sig_spectrumReady(job.tag, freqs, amps);
}
