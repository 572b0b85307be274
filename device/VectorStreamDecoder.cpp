#include "device/VectorStreamDecoder.h"

#include "app/LogTexts.h"
#include "app/SharedState.h"
#include "device/Instrument.h"
#include "device/VectorDecoding.h"
#include "dsp/Spectrum.h"

#include <QDebug>

#include <cmath>
#include <vector>

using namespace VectorDecoding;

namespace {

QString upperHex(const QByteArray& bytes, char separator = '\0')
{
    return QString::fromLatin1((separator ? bytes.toHex(separator) : bytes.toHex()).toUpper());
}

} // namespace

VectorStreamDecoder::VectorStreamDecoder(QObject* parent, SharedState* state, Clock clock)
    : QObject(parent), m_state(state ? state : &SharedState::instance()),
      m_clock(clock ? std::move(clock) : [] { return QDateTime::currentDateTimeUtc(); })
{
}

void VectorStreamDecoder::reboot()
{
    m_pendingFrequencies.clear();
    for (QVector<double>& window : m_windows)
        window.clear();
    m_partialFrame.clear();
    m_fidBuffer.clear();
    m_vectorFaults.finish();
    m_fidFaults.finish();
    m_radicandFaults.finish();
}

// ---- FID road --------------------------------------------------------------

bool VectorStreamDecoder::checkFidFrame(QByteArray& frame)
{
    ++m_fidCalls;
    for (int at = 0; at < FidFrameBytes; at += RecordBytes) {
        if (at >= frame.size() || !isMarker(quint8(frame.at(at))))
            qDebug().noquote() << QStringLiteral("Wrong byteArray%1:%2")
                                      .arg(m_fidCalls)
                                      .arg(upperHex(frame.mid(at, RecordBytes)));
    }
    const int n = frame.size();
    if (n < 4)
        return false;
    const bool goodHeader = isMarker(quint8(frame.at(0))) && frame.at(1) == 0;
    if (n > FidFrameBytes) {
        m_fidFaults.fault(QStringLiteral("250617 data error1"));
        return false;
    }
    if (goodHeader) {
        if (n == FidFrameBytes) {
            m_fidFaults.success();
            return true;
        }
        m_partialFrame = frame;
        return false;
    }
    if (n == FidFrameBytes) {
        m_fidFaults.fault(QStringLiteral("250617 data error3"));
        return false;
    }
    const QByteArray joined = m_partialFrame + frame;
    if (joined.size() != FidFrameBytes) {
        m_fidFaults.fault(QStringLiteral("250617 data error2"));
        return false;
    }
    frame = joined;
    return true;
}

void VectorStreamDecoder::processFidFrame(const QByteArray& piece)
{
    QByteArray frame = piece;
    if (!checkFidFrame(frame))
        return;
    const int records = frame.size() / RecordBytes;
    for (int r = 0; r < records; ++r) {
        const FrequencyRecord rec = frequencyRecord(frame.constData() + r * RecordBytes);
        if (rec.hz > 0.0 && std::isfinite(rec.hz)) {
            m_fidBuffer.append(rec.hz);
        } else if (rec.hz < 0.0 || !std::isfinite(rec.hz)) {
            // value2 = 0 gives no frequency at all: dropped like a negative one.
            m_fidFaults.fault(QStringLiteral("byteArray:%1 frequency,value1,value2:%2,%3,%4")
                                  .arg(upperHex(frame, ' '))
                                  .arg(rec.hz, 0, 'f', 6)
                                  .arg(rec.value1)
                                  .arg(rec.value2));
        }
    }

    if (!m_filterEnabled) {
        while (m_fidBuffer.size() > FidHandout - 1) {
            qDebug() << "filtering_data.size , nCount :" << m_fidBuffer.size() << FidHandout;
            QVector<double> out = m_fidBuffer.mid(0, FidHandout);
            for (double& v : out)
                v *= 1000.0; // Hz -> mHz, as the scalar stream
            m_fidBuffer.remove(0, FidHandout);
            emit sig_handoutData(out);
        }
        return;
    }
    while (m_fidBuffer.size() >= NotchWindow) {
        const std::vector<double> x(m_fidBuffer.cbegin(), m_fidBuffer.cend());
        const std::vector<double> y =
            m_filters.filter().notchFilterBandwidth(x, FidNotchF0, FidNotchBandwidth, FidNotchFs);
        QVector<double> out;
        out.reserve(FidHandout);
        for (int i = NotchSkip; i < NotchSkip + FidHandout && i < int(y.size()); ++i)
            out.append(y[size_t(i)] * 1000.0);
        m_fidBuffer.remove(0, FidHandout);
        emit sig_handoutData(out);
    }
}

// ---- vector road -----------------------------------------------------------

void VectorStreamDecoder::decodeVectorB(const QByteArray& frame)
{
    QString why;
    if (!checkFrameHeader(frame, &why)) {
        m_vectorFaults.fault(
            why + QStringLiteral(" wrong byte:%1 ,  %2").arg(frame.size()).arg(upperHex(frame)));
        return;
    }
    m_vectorFaults.success();
    const int records = VectorFrameBytes / RecordBytes;
    for (int r = 0; r < records; ++r) {
        const FrequencyRecord rec = frequencyRecord(frame.constData() + r * RecordBytes);
        if (rec.value2 == 0)
            m_vectorFaults.fault(QStringLiteral("value2 =0 , B%1:%2")
                                     .arg(m_recordCounter % 8)
                                     .arg(QString::number(rec.hz, 'g', 6)));
        m_pendingFrequencies.append(rec.hz);
    }
    const int group = VectorsPerFrame * FrequenciesPerVector;
    while (m_pendingFrequencies.size() >= group) {
        const QVector<double> freqs = m_pendingFrequencies.mid(0, group);
        m_pendingFrequencies.remove(0, group);
        decodeVectorData(freqs);
    }
}

void VectorStreamDecoder::decodeVectorData(const QVector<double>& freqs)
{
    const QVector<VectorRecord> records = decodeFidData(freqs);
    if (records.isEmpty()) {
        qDebug() << "202500721 error fid size error";
        return;
    }
    const QDateTime now = m_clock();
    FIDVectorData data;
    for (const VectorRecord& rec : records) {
        bool radicandOk = true;
        for (const Division& d : rec.divisions) {
            if (d.failure == Division::NegativeRadicand) {
                radicandOk = false;
                const QString text = LogNegativeRadicand + QString::number(d.radicand, 'f', 2);
                // The event log gets the first of a run, the daily log the run's count.
                const bool first = !m_radicandFaults.active();
                m_radicandFaults.fault(text);
                if (first)
                    emit sig_saveCrashLog(text);
            } else if (d.failure == Division::TinyDenominator) {
                qDebug().noquote()
                    << QString::fromUtf8("分母出现很小的数:") + QString::number(d.radicand);
            }
        }
        if (radicandOk)
            m_radicandFaults.success();
        emit sig_saveVectorXYZS(rec.num, now);

        const FIDVectorNum& n = rec.num;
        if (++m_recordCounter % 5000 == 0)
            qDebug() << "vector x:" << n.x << " y:" << n.y << " z:" << n.z << " s:" << n.s;
        // An invalid record (no frequency, or an axis without a field) stays out
        // of the page, its spectra and the batches; the recorder keeps it all the
        // same, for its measured frequencies.
        if (!n.valid)
            continue;
        data.x.append(n.x);
        data.y.append(n.y);
        data.z.append(n.z);
        data.s.append(n.s);
    }
    fillWindows(data);
    emit sig_updateVectorForm(data);
    if (!data.s.isEmpty())
        emit sig_updateForm(data.s, Freq111Hz);
}

void VectorStreamDecoder::fillWindows(FIDVectorData& data)
{
    // The vector page keeps the span within 1 to 60 s; without the page it is 0.
    const int span = qBound(1, m_state->vectorTimeSpan(), MaxSpanSeconds);
    const int length = span * Instrument::VectorRate;
    const QVector<double>* values[4] = {&data.x, &data.y, &data.z, &data.s};
    QVector<double>* freqs[4] = {&data.xFreq, &data.yFreq, &data.zFreq, &data.sFreq};
    QVector<double>* amps[4] = {&data.xAsd, &data.yAsd, &data.zAsd, &data.sAsd};
    for (int c = 0; c < 4; ++c) {
        QVector<double>& window = m_windows[c];
        window += *values[c];
        if (window.size() < length) {
            data.hasSpectra = false;
            continue;
        }
        window.remove(0, window.size() - length);
        data.hasSpectra = true;
        Spectrum::density(m_filters, window, Instrument::VectorRate, Instrument::VectorSampleRate,
                          m_dataParam.lowPass, m_dataParam.highPass, *freqs[c], *amps[c]);
    }
}
