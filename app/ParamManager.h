#pragma once
// The hub: one object in the GUI thread that owns the workers, keeps the settings
// read at start and the pages' run-time flags, and relays the workers' signals so
// that every page connects to this object only. Everything here runs in the GUI
// thread, except the saving flag, which the recorder's thread also clears.

#include "app/SharedTypes.h"
#include "device/SamplingRates.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>

class ModbusManager;
class ModbusWorkThread;
class ModbusDataHandler;
class ComPortThread;
class MockDataThread;
class SaveFileThread;
class ServerThread;
class GPSThread;
class DataCheckerThread;
class MyIntValidator;
class MyDoubleValidator;

class ParamManager : public QObject
{
    Q_OBJECT
public:
    explicit ParamManager(QObject* parent = nullptr);
    ~ParamManager() override;

    // Settings read at start (see AppManager), public as the pages read them.
    // The constructor sets the defaults (app/Settings.h); AppManager reads the file.
    QString iniPath;
    int xAxisUpper = 0;
    double yAxisLower = 0;
    double yAxisUpper = 0;
    int bandWidth = 0;
    int isTest = 0;
    int baudRate = 0;
    int samplingRate = 0;
    // Samples per second the instrument streams at, as its identity block or the
    // last rate write says; the stream's framing follows it.
    int streamRate = SamplingRates::DefaultRate;
    int isMockData = 0;
    int isFSMode = 0;
    int isChinese = 0;
    int isServer = 0;
    int isExistGPS = 0;
    QString m_GPSCom;

    ModbusWorkThread* getModbusWorkThread() const { return m_modbusWorkThread; }
    ModbusManager* getModbusManager() const { return m_modbusManager; }
    ModbusDataHandler* getModbusDataHandler() const { return m_modbusDataHandler; }
    SaveFileThread* getSaveFileThread() const { return m_saveFileThread; }
    ServerThread* getServerThread() const { return m_serverThread; }
    GPSThread* getGPSThread() const { return m_gpsThread; }
    DataCheckerThread* getDataCheckerThread() const { return m_dataCheckerThread; }
    MockDataThread* getMockDataThread() const { return m_mockDataThread; }
    ComPortThread* getComPortThread() const { return m_comPortThread; }
    MyIntValidator* getIntValidator() const { return m_intValidator; }
    MyDoubleValidator* getDoubleValidator() const { return m_doubleValidator; }

    bool isSaving() const { return m_saving.load(); }
    void setSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles);
    QString getSavePath() const { return m_savePath; }
    void clearSaving() { m_saving.store(false); }

    bool isDeviceReady() const { return m_deviceReady; }
    void setDeviceReady(bool ready) { m_deviceReady = ready; }
    bool isPaused() const { return m_paused; }
    void setPaused(bool paused) { m_paused = paused; }
    bool isStreamStarted() const { return m_streamStarted; }
    void setStreamStarted(bool started) { m_streamStarted = started; }

    // The live processing parameters: a page changes a field, stores the record back
    // and emits sig_syncDataParam with it.
    DataParam dataParam() const { return m_dataParam; }
    void setDataParam(const DataParam& param) { m_dataParam = param; }

    QStringList portNames() const { return m_portNames; }

    void rebootDevice();
    void requestDeviceParams();
    // Writes the byte C5 raw through the transport, then detaches its reply handlers.
    void sendC5();
    void startMockPlayback(int pointsPerSend);
    void saveCrashLog(QString text, qint64 timestamp = 0);
    void log(QString text);
    void writeTextFile(QString path, QString text);
    void appendTextLine(QString path, QByteArray data);
    QVector<double> readTextFile(QString path);
    QStringList availablePortNames() const;
    void initDefaults();
    void initMockDataThread();
    void initComPortThread();

    // Stops every worker thread: queued calls still run, then the threads are joined
    // and the workers deleted. Called once the event loop has ended.
    void shutdown();

signals:
    void sig_devStatusWorkerStart();
    void sig_ddsWorkerStart();
    void sig_paramWorkerStart();
    void sig_devStatusWorkerStop();
    void sig_ddsWorkerStop();
    void sig_paramWorkerStop();
    void sig_sendModbusData(ModbusAddr modbusAddr);
    void sig_sendCustomModbusData(QByteArray data);
    void sig_updateForm(QVector<double> datas, FrequencyType fre);
    // The same batches as the instrument measured them, before the cut-offs.
    void sig_measuredField(QVector<double> datas, FrequencyType fre);
    // The decoder filters otherwise from here on (cut-off or filter switch).
    void sig_filterSettingsChanged();
    void sig_updateVectorForm(FIDVectorData data);
    void sig_updateFormEx(QVector<double> datas, QVector<double> f_datas,
                          QVector<double> fft_datas);
    void sig_updateFormParam(RefreshData refreshData);
    void sig_updateFormParamEx(RefreshDataEx refreshDataEx);
    void sig_updateProgress(int iStatus);
    void sig_updateProgressEx(int iStatus);
    void sig_updateSerialNumber(QString serialNumber);
    void sig_saveFinished();
    void sig_connected();
    void sig_disconnect();
    void sig_connectFailed(QString portName, QString reason);
    void sig_changeWorkState();
    void sig_reboot();
    void sig_syncDataParam(DataParam data);
    void sig_syncSaveParam(bool isSave, int interval, QString filePathName,
                           bool isSaveConsecutivefiles);
    void sig_syncDataByteCount(int byteCount, bool bChange);
    void sig_startComPortThreadTimer();
    void sig_stopComPortThreadTimer();
    void sig_sendUpgradeData(QByteArray data);
    void sig_setOneHz(bool b);
    void sig_saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime);
    void sig_setFilterEnabled(bool b);
    // A page shows the decoder's spectra (true) or no longer does (false).
    void sig_setSpectrumShown(bool shown);
    void sig_updateSamplingRate(int iSamplingRate);
    void sig_changeSamplingRate(int samplingRate, bool bChange);
    void sig_saveCrashLog(qlonglong timestamp, QString text);
    void sig_initServer();

public slots:
    void slots_updateSamplingRate(int iSamplingRate);

private:
    void init();

    ModbusManager* m_modbusManager = nullptr;
    ModbusWorkThread* m_modbusWorkThread = nullptr;
    ModbusDataHandler* m_modbusDataHandler = nullptr;
    ComPortThread* m_comPortThread = nullptr;
    MockDataThread* m_mockDataThread = nullptr;
    SaveFileThread* m_saveFileThread = nullptr;
    ServerThread* m_serverThread = nullptr;
    GPSThread* m_gpsThread = nullptr;
    MyIntValidator* m_intValidator = nullptr;
    MyDoubleValidator* m_doubleValidator = nullptr;
    std::atomic<bool> m_saving{false};
    QString m_savePath;
    bool m_deviceReady = false;
    bool m_paused = false;
    bool m_streamStarted = false;
    DataParam m_dataParam;
    QStringList m_portNames;
    DataCheckerThread* m_dataCheckerThread = nullptr;
};
