#include "device/ScalarStreamDecoder.h"

#include "device/SamplingRates.h"
#include "device/SpectrumWorker.h"
#include "dsp/Spectrum.h"

#include <QThread>

namespace {

// Means of consecutive blocks of `block` values; the last block may be shorter.
QVector<double> blockMeans(const QVector<double>& values, int block)
{
    if (block <= 1)
        return values;
    QVector<double> out;
    out.reserve((values.size() + block - 1) / block);
    const double* v = values.constData();
    const int n = values.size();
    for (int i = 0; i < n; i += block) {
        const int end = qMin(n, i + block);
        double sum = 0.0;
        for (int k = i; k < end; ++k)
            sum += v[k];
        out.append(sum / (end - i));
    }
    return out;
}

double mean(const QVector<double>& values)
{
    double sum = 0.0;
    for (const double v : values)
        sum += v;
    return values.isEmpty() ? 0.0 : sum / values.size();
}

void dropOldest(QVector<double>& buffer, int keep)
{
    keep = qMax(0, keep);
    if (buffer.size() > keep)
        buffer.remove(0, buffer.size() - keep);
}

QVector<double> inNanoTesla(QVector<double> milliHertz)
{
    for (double& v : milliHertz)
        v = ScalarStreamDecoder::toNanoTesla(v);
    return milliHertz;
}

// The stream roads hand the pages batches of these rates only; 1 Hz has its own road.
bool isShownRate(int rate)
{
    return rate == Freq1000Hz || rate == Freq20Hz;
}

} // namespace

ScalarStreamDecoder::ScalarStreamDecoder(QObject* parent)
    : QObject(parent), m_handoutTimer(this), m_spectrumWorker(std::make_unique<SpectrumWorker>())
{
    connect(m_spectrumWorker.get(), &SpectrumWorker::sig_spectrumReady, this,
            &ScalarStreamDecoder::spectrumReady);
    m_handoutTimer.setInterval(HandoutIntervalMs);
    connect(&m_handoutTimer, &QTimer::timeout, this, [this] {
        if (m_pending.empty())
            m_handoutTimer.stop();
        else
            emitNextPiece();
    });
}

ScalarStreamDecoder::~ScalarStreamDecoder() = default;

bool ScalarStreamDecoder::syncDataByteCount(int rate, bool bChange)
{
    ++m_spectrumGeneration; // a spectrum of the old rate is not shown after the change
    const SamplingRates::Entry& stream = SamplingRates::streamEntry(rate, bChange);
    // The samples before and after another framing are not one stream.
    const bool changed = rate != m_samplingRate ||
                         stream.frameLength() != m_assembler.frameLength() ||
                         stream.streamRate != m_streamRate;
    if (changed) {
        // Pieces of the old rate go out ahead of the change, not after it.
        handOutPending();
        m_userFilter.reset();
    }
    m_samplingRate = rate;
    m_streamRate = stream.streamRate;
    m_assembler.setFrameLength(stream.frameLength());
    return changed;
}

void ScalarStreamDecoder::setFilterEnabled(bool on)
{
    if (!on)
        handOutPending();
    m_filterEnabled = on;
}

void ScalarStreamDecoder::handOutPending()
{
    while (!m_pending.empty())
        emitNextPiece();
    m_handoutTimer.stop();
}

void ScalarStreamDecoder::reboot()
{
    // Data from before a reset must not reach the cleared pages.
    m_pending.clear();
    m_handoutTimer.stop();
    restartSpectrumWindow();
    m_lastForm.clear();
    m_filterBuffer.clear();
    m_userFilter.reset();
    m_assembler.clear();
    m_frameFaults.finish();
}

void ScalarStreamDecoder::restartSpectrumWindow()
{
    m_spectrumBuffer.clear();
    m_spectrumWanted = false;
    ++m_spectrumGeneration;
}

void ScalarStreamDecoder::streamStarting()
{
    m_filterBuffer.clear();
    m_userFilter.reset();
    m_assembler.clear();
}

// ---- input ---------------------------------------------------------------

bool ScalarStreamDecoder::assembleFrame(QByteArray& frame)
{
    using V = ScalarFrameAssembler::Verdict;
    switch (m_assembler.assemble(frame)) {
    case V::Accepted:
        m_frameFaults.success();
        return true;
    case V::Kept:
    case V::Dropped:
        return false;
    case V::TooLong:
        m_frameFaults.fault(QStringLiteral("data error1"));
        return false;
    case V::JoinFailed:
        m_frameFaults.fault(QStringLiteral("data error2"));
        return false;
    case V::BadFrame:
        m_frameFaults.fault(QStringLiteral("data error3"));
        emit sig_sendModbusData(AddrStopStream);
        QThread::msleep(50);
        emit sig_sendModbusData(AddrStartStream);
        return false;
    }
    return false;
}

QVector<double> ScalarStreamDecoder::samplesOf(const QByteArray& frame) const
{
    using SamplingRates::BytesPerSample;
    const int count = (frameLength() - SamplingRates::FrameOverhead) / BytesPerSample;
    QVector<double> samples(count);
    const auto* bytes = reinterpret_cast<const quint8*>(frame.constData()) + 5;
    for (int i = 0; i < count; ++i) {
        const quint8* b = bytes + i * BytesPerSample;
        samples[i] =
            double(quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24);
    }
    return samples;
}

void ScalarStreamDecoder::handleStreamFrame(const QByteArray& piece)
{
    QByteArray frame = piece;
    if (!assembleFrame(frame))
        return;
    emit sig_updateProgressEx(quint8(frame[frame.size() - 4]));
    if (decodeScalarData(samplesOf(frame)))
        spectrumAfterDirectBatch();
}

void ScalarStreamDecoder::handleMockData(const QVector<double>& samples)
{
    if (decodeScalarData(samples))
        spectrumAfterDirectBatch();
}

bool ScalarStreamDecoder::decodeScalarData(const QVector<double>& samples)
{
    if (m_oneHz) {
        oneSecondRoad(samples);
        return false;
    }
    if (m_filterEnabled) {
        filteredRoad(samples);
        return false;
    }
    directRoad(samples);
    return true;
}

// ---- roads ---------------------------------------------------------------

int ScalarStreamDecoder::averageBlock() const
{
    // At least 1, so that the block loops always advance.
    const double block = m_streamRate * m_dataParam.dataRate;
    return block >= 1.0 && block < 1e9 ? int(block + 1e-9) : 1;
}

void ScalarStreamDecoder::oneSecondRoad(const QVector<double>& samples)
{
    m_filterBuffer += samples;
    if (m_filterBuffer.size() < OneSecondSamples)
        return;
    double value = 0.0;
    if (!m_filterEnabled) {
        value = mean(m_filterBuffer);
        m_filterBuffer.clear();
    } else {
        if (m_filterBuffer.size() < NotchWindow)
            return;
        value = mean(notchChain(m_filterBuffer).mid(NotchSkip, NotchStep));
        m_filterBuffer.remove(0, NotchStep);
    }
    const QVector<double> batch{toNanoTesla(value)};
    emit sig_measuredField(batch, Freq1Hz); // the user filters do not run here
    emit sig_updateForm(batch, Freq1Hz);
    emit sig_updateFormEx(batch, QVector<double>(), QVector<double>());
}

void ScalarStreamDecoder::filteredRoad(const QVector<double>& samples)
{
    m_filterBuffer += samples;
    const int block = averageBlock();
    const int rate = outputRateFor(block);
    if (!isShownRate(rate)) {
        // Nothing consumes the buffer at such a rate: keep only what one run needs.
        dropOldest(m_filterBuffer, NotchWindow);
        return;
    }
    if (m_filterBuffer.size() < NotchWindow)
        return;
    const QVector<double> kept = notchChain(m_filterBuffer).mid(NotchSkip, NotchStep);
    m_filterBuffer.remove(0, NotchStep);
    handout(blockMeans(kept, block), rate, Road::Notch);
}

void ScalarStreamDecoder::directRoad(const QVector<double>& samples)
{
    const int block = averageBlock();
    m_directRate = outputRateFor(block);
    const QVector<double> batch = blockMeans(samples, block);
    m_spectrumBuffer += batch;
    emitBatch(batch, m_directRate, Road::Direct);
}

void ScalarStreamDecoder::spectrumAfterDirectBatch()
{
    dropOldest(m_spectrumBuffer, m_directRate * m_dataParam.fftTime);
    requestSpectrum(m_directRate);
}

// Applies the user filters, converts to nT, keeps the batch as the last form and
// emits it when its rate is one the pages show. Nothing leaves while the user
// filters fill their lookahead; the measured field leaves at once.
void ScalarStreamDecoder::emitBatch(QVector<double> batch, int rate, Road road)
{
    const bool shown = isShownRate(rate);
    if (shown)
        emit sig_measuredField(inNanoTesla(batch), FrequencyType(rate));
    const bool empty = batch.isEmpty();
    batch = userFilters(batch, rate, road);
    if (batch.isEmpty() && !empty)
        return;
    batch = inNanoTesla(std::move(batch));
    m_lastForm = batch;
    if (shown)
        emit sig_updateForm(batch, FrequencyType(rate));
    emit sig_updateFormEx(batch, QVector<double>(), QVector<double>());
}

// ---- filters -------------------------------------------------------------

QVector<double> ScalarStreamDecoder::notchChain(const QVector<double>& samples) const
{
    return m_filters.notchChain(samples, m_mainsNotchFrequency, 10, m_notchFrequencies, NotchFs);
}

QVector<double> ScalarStreamDecoder::userFilters(const QVector<double>& batch, int rate, Road road)
{
    if (road != m_userFilterRoad) {
        m_userFilter.reset();
        m_userFilterRoad = road;
    }
    // Other cut-offs or another rate start afresh; the same keep the stream going.
    m_userFilter.configure(m_dataParam.lowPass, m_dataParam.highPass, rate);
    return m_userFilter.push(batch);
}

// ---- spectrum ------------------------------------------------------------

void ScalarStreamDecoder::requestSpectrum(int rate)
{
    if (m_spectrumBuffer.isEmpty())
        return;
    m_spectrumRate = rate;
    m_spectrumWanted = true;
    if (m_spectrumShown && !m_spectrumRunning)
        startSpectrum();
}

void ScalarStreamDecoder::setSpectrumShown(bool shown)
{
    m_spectrumShown = shown;
    if (shown && m_spectrumWanted && !m_spectrumRunning)
        startSpectrum();
}

void ScalarStreamDecoder::startSpectrum()
{
    m_spectrumWanted = false;
    if (m_spectrumBuffer.isEmpty())
        return;
    SpectrumWorker::Job job;
    job.samples = m_spectrumBuffer; // shared until the next batch changes the buffer
    job.rate = m_spectrumRate;
    job.lowPass = m_dataParam.lowPass;
    job.highPass = m_dataParam.highPass;
    job.tag = m_spectrumGeneration;
    m_spectrumRunning = true;
    m_spectrumWorker->submit(job);
}

void ScalarStreamDecoder::spectrumReady(quint64 tag, const QVector<double>& freqs,
                                        const QVector<double>& amps)
{
    m_spectrumRunning = false;
    if (tag == m_spectrumGeneration && !freqs.isEmpty())
        emit sig_updateFormEx(QVector<double>(), freqs, amps);
    // Batches came in meanwhile: the newest window is next.
    if (m_spectrumWanted && m_spectrumShown)
        startSpectrum();
}

// ---- hand-out ------------------------------------------------------------

void ScalarStreamDecoder::handoutData(const QVector<double>& values)
{
    handout(values, m_samplingRate, Road::Fid);
}

void ScalarStreamDecoder::handout(const QVector<double>& values, int rate, Road road)
{
    if (values.isEmpty())
        return;
    // Pieces of a stream frame's time, as the instrument would send them.
    const int piece = qMax(1, rate / SamplingRates::FramesPerSecond);
    // A remainder shorter than a piece is dropped.
    for (int i = 0; i + piece <= values.size(); i += piece)
        m_pending.push_back({values.mid(i, piece), rate, road});
    if (!m_handoutTimer.isActive() && !m_pending.empty()) {
        emitNextPiece();
        m_handoutTimer.start();
    }
}

void ScalarStreamDecoder::emitNextPiece()
{
    const Piece piece = std::move(m_pending.front());
    m_pending.pop_front();
    m_spectrumBuffer += piece.values;
    emitBatch(piece.values, piece.rate, piece.road);
    const int limit = qMax(0, m_dataParam.fftTime * piece.rate);
    dropOldest(m_spectrumBuffer, limit);
    if (m_spectrumBuffer.size() == limit)
        requestSpectrum(piece.rate);
}
