#include "device/ModbusDataHandler.h"

#include "app/Logger.h"
#include "device/ReplyDecoding.h"
#include "device/SamplingRates.h"
#include "device/ScalarStreamDecoder.h"
#include "device/VectorStreamDecoder.h"

ModbusDataHandler::ModbusDataHandler()
    : m_stream(new ScalarStreamDecoder(this)), m_vector(new VectorStreamDecoder(this))
{
    connect(m_stream, &ScalarStreamDecoder::sig_updateForm, this,
            &ModbusDataHandler::sig_updateForm);
    connect(m_stream, &ScalarStreamDecoder::sig_updateForm, this,
            [this] { m_shownSinceFilterChange = true; });
    connect(m_stream, &ScalarStreamDecoder::sig_measuredField, this,
            &ModbusDataHandler::sig_measuredField);
    connect(m_stream, &ScalarStreamDecoder::sig_updateFormEx, this,
            &ModbusDataHandler::sig_updateFormEx);
    connect(m_stream, &ScalarStreamDecoder::sig_updateProgressEx, this,
            &ModbusDataHandler::sig_updateProgressEx);
    connect(m_stream, &ScalarStreamDecoder::sig_sendModbusData, this,
            &ModbusDataHandler::sig_sendModbusData);

    // The vector road's results; the FID road's frequencies take the scalar
    // road's hand-out (in this thread, inside the emission).
    connect(m_vector, &VectorStreamDecoder::sig_saveVectorXYZS, this,
            &ModbusDataHandler::sig_saveVectorXYZS);
    connect(m_vector, &VectorStreamDecoder::sig_updateVectorForm, this,
            &ModbusDataHandler::sig_updateVectorForm);
    connect(m_vector, &VectorStreamDecoder::sig_updateForm, this,
            &ModbusDataHandler::sig_updateForm);
    // The vector records' totals pass no user filter: they are the measured field.
    connect(m_vector, &VectorStreamDecoder::sig_updateForm, this,
            &ModbusDataHandler::sig_measuredField);
    connect(m_vector, &VectorStreamDecoder::sig_saveCrashLog, this,
            [this](const QString& text) { saveCrashLog(text); });
    connect(m_vector, &VectorStreamDecoder::sig_handoutData, this,
            &ModbusDataHandler::sig_handoutData);
    connect(this, &ModbusDataHandler::sig_handoutData, this, &ModbusDataHandler::slots_handoutData);
    m_thread.start(this);
}

ModbusDataHandler::~ModbusDataHandler()
{
    m_thread.stop();
}

void ModbusDataHandler::log(const QString& text)
{
    Logger::instance()->write(text);
}

void ModbusDataHandler::saveCrashLog(const QString& text, qint64 timestamp)
{
    emit sig_saveCrashLog(timestamp != 0 ? timestamp : QDateTime::currentSecsSinceEpoch(), text);
}

void ModbusDataHandler::slots_readDataFinished(ModbusAddr modbusAddr, QByteArray data)
{
    QStringList faults;
    switch (modbusAddr) {
    case Addr40118Status: {
        const int status = ReplyDecoding::decodeStatus(data, &faults);
        reportFaults(faults);
        emit sig_updateProgress(status);
        break;
    }
    case Addr40100Params: {
        const RefreshData params = ReplyDecoding::decodeParameterBlock(data, &faults);
        reportFaults(faults);
        emit sig_updateFormParam(params);
        break;
    }
    case AddrRaw30000:
    case AddrStreamData:
    case AddrStartStream:
    case AddrStopStream:
        handleStreamFrame(data);
        break;
    case Addr40000Identity:
        handleIdentityBlock(data);
        break;
    case AddrVectorFid:
        m_vector->decodeVectorB(data);
        break;
    case AddrFid:
        m_vector->processFidFrame(data);
        break;
    default:
        // Writes (0, 1, 9) and the 40230 block have no decoded reply.
        break;
    }
}

void ModbusDataHandler::handleStreamFrame(const QByteArray& frame)
{
    m_stream->handleStreamFrame(frame);
}

void ModbusDataHandler::handleIdentityBlock(const QByteArray& frame)
{
    QStringList faults;
    const ReplyDecoding::IdentityBlock block = ReplyDecoding::decodeIdentityBlock(frame, &faults);
    reportFaults(faults);
    if (block.hasSerialNumber)
        emit sig_updateSerialNumber(block.serialNumber);
    emit sig_updateFormParamEx(block.sweep);
    // The rate the instrument streams at decides, so that the stream's framing
    // can follow it; the program's own rate stands while it is what the
    // instrument streams (1 Hz is streamed at 1000).
    const int rate = SamplingRates::rateFromInstrument(
        ReplyDecoding::samplingRateFromStep(m_dataParam.dataRate), block.rateRegister);
    if (rate > 0)
        emit sig_updateSamplingRate(rate);
}

void ModbusDataHandler::reportFaults(const QStringList& faults)
{
    for (const QString& fault : faults)
        m_replyFaults.fault(fault);
    if (faults.isEmpty())
        m_replyFaults.success();
}

void ModbusDataHandler::slots_setOneHz(bool b)
{
    m_stream->setOneHz(b);
}

void ModbusDataHandler::slots_setFilterEnabled(bool b)
{
    m_stream->setFilterEnabled(b);
    m_vector->setFilterEnabled(b);
    if (b != m_filterEnabled) {
        m_filterEnabled = b;
        filterSettingsChanged();
    }
}

void ModbusDataHandler::slots_setSpectrumShown(bool shown)
{
    m_stream->setSpectrumShown(shown);
}

void ModbusDataHandler::slots_syncDataParam(DataParam data)
{
    const bool cutOffChanged =
        data.lowPass != m_dataParam.lowPass || data.highPass != m_dataParam.highPass;
    m_dataParam = data;
    m_stream->setDataParam(data);
    m_vector->setDataParam(data);
    if (cutOffChanged)
        filterSettingsChanged();
}

// Emitted here, in the decoder's thread, the change follows the last batch filtered
// the old way on the road to the pages and precedes the first one filtered anew.
// Without a batch since the last change the pages hold none to forget (the filter
// switch set at start-up, before any data).
void ModbusDataHandler::filterSettingsChanged()
{
    m_stream->restartSpectrumWindow();
    if (!m_shownSinceFilterChange)
        return;
    m_shownSinceFilterChange = false;
    emit sig_filterSettingsChanged();
}

void ModbusDataHandler::slots_syncDataByteCount(int byteCount, bool bChange)
{
    // Another rate starts the filters afresh too: samples of two rates in one
    // window or spectrum would be as wrong as those of two cut-offs.
    if (m_stream->syncDataByteCount(byteCount, bChange))
        filterSettingsChanged();
}

void ModbusDataHandler::slots_handoutData(QVector<double> filtered_datas)
{
    m_stream->handoutData(filtered_datas);
}

void ModbusDataHandler::slots_revMockData(QVector<double> mockData)
{
    m_stream->handleMockData(mockData);
}

void ModbusDataHandler::slots_streamRequest(ModbusAddr modbusAddr)
{
    if (modbusAddr == AddrStartStream)
        m_stream->streamStarting();
}

void ModbusDataHandler::reboot()
{
    m_stream->reboot();
    m_vector->reboot();
    m_replyFaults.finish();
}
