#pragma once
// Reply decoding worker: takes each whole reply of the instrument, dispatches on
// the request selector and emits typed results (status, parameter block, identity
// block); stream frames go to the scalar stream decoder it owns, vector and FID
// frames to the vector decoder.
//
// Threads: constructed in the GUI thread, then runs in a thread of its own; every
// slot runs there and all members are touched only there. Its signals reach the
// hub queued. The destructor is called from the GUI thread and stops the thread.

#include "app/FaultSpell.h"
#include "app/SharedTypes.h"
#include "app/WorkerThread.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QVector>

class ScalarStreamDecoder;
class VectorStreamDecoder;

class ModbusDataHandler : public QObject
{
    Q_OBJECT
public:
    ModbusDataHandler();
    ~ModbusDataHandler() override;

    // Writes the text to the Logger.
    void log(const QString& text);
    // Emits sig_saveCrashLog; a time stamp of 0 means now (seconds since the epoch).
    void saveCrashLog(const QString& text, qint64 timestamp = 0);

signals:
    void sig_saveVectorB9orB12CSV(QVector<double> datas);
    void sig_saveVectorXYZS(FIDVectorNum, QDateTime utcTime);
    void sig_updateVectorForm(FIDVectorData);
    void sig_handoutData(QVector<double> filtered_datas);
    void sig_sendModbusData(ModbusAddr modbusAddr);
    void sig_updateProgress(int iStatus);
    void sig_updateProgressEx(int iStatus);
    void sig_updateSerialNumber(QString serialNumber);
    void sig_updateForm(QVector<double> datas, FrequencyType frequencyType);
    // The scalar field as measured, before the user's cut-offs (for the watchdog).
    void sig_measuredField(QVector<double> datas, FrequencyType frequencyType);
    // The batches from here on are filtered otherwise (another cut-off, the filter
    // switch turned, another data rate); every batch filtered the old way has gone
    // out before it.
    void sig_filterSettingsChanged();
    void sig_updateFormEx(QVector<double> datas, QVector<double> f_datas,
                          QVector<double> fft_datas);
    void sig_updateFormParam(RefreshData refreshData);
    void sig_updateFormParamEx(RefreshDataEx refreshDataEx);
    void sig_updateSamplingRate(int iSamplingRate);
    void sig_saveCrashLog(qlonglong timestamp, QString text);

public slots:
    void slots_readDataFinished(ModbusAddr modbusAddr, QByteArray data);
    void slots_setOneHz(bool b);
    void slots_setFilterEnabled(bool b);
    void slots_setSpectrumShown(bool shown);
    void slots_syncDataParam(DataParam data);
    void slots_syncDataByteCount(int byteCount, bool bChange);
    void slots_handoutData(QVector<double> filtered_datas);
    void slots_revMockData(QVector<double> mockData);
    void reboot();
    // Every request the pages send; a stream start begins the filters afresh.
    void slots_streamRequest(ModbusAddr modbusAddr);

private:
    void handleStreamFrame(const QByteArray& frame);
    void handleIdentityBlock(const QByteArray& frame);
    // Messages of the converters that could not read a field of the last reply.
    void reportFaults(const QStringList& faults);
    void filterSettingsChanged();

    DataParam m_dataParam;
    bool m_filterEnabled = false;
    bool m_shownSinceFilterChange = false; // a scalar batch went out since the last change
    FaultSpell m_replyFaults{QStringLiteral("Reply decoding faults")};
    ScalarStreamDecoder* m_stream; // child: moves to this thread with the handler
    VectorStreamDecoder* m_vector; // child as well

    WorkerThread m_thread; // last: started at the end of the constructor
};
