#include "app/ParamManager.h"

#include "app/Logger.h"
#include "app/Settings.h"
#include "device/ComPortThread.h"
#include "device/MockDataThread.h"
#include "device/ModbusDataHandler.h"
#include "device/ModbusManager.h"
#include "device/ModbusWorkThread.h"
#include "device/SamplingRates.h"
#include "device/SerialPortNames.h"
#include "services/DataCheckerThread.h"
#include "services/GPSThread.h"
#include "services/SaveFileThread.h"
#include "services/ServerThread.h"
#include "ui/widgets/MyDoubleValidator.h"
#include "ui/widgets/MyIntValidator.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

ParamManager::ParamManager(QObject* parent) : QObject(parent)
{
    iniPath = Settings::configPath();
    registerHubMetaTypes();
    initDefaults();
    m_intValidator = new MyIntValidator(this);
    m_doubleValidator = new MyDoubleValidator(this);
    init();
    m_saving.store(false);
}

ParamManager::~ParamManager()
{
    shutdown();
}

void ParamManager::init()
{
    m_deviceReady = false;
    m_paused = false;
    m_streamStarted = false;

    // The link: transport and scheduler are wired before the decoder exists.
    m_modbusManager = new ModbusManager();
    connect(m_modbusManager, &ModbusManager::sig_connectFailed, this,
            &ParamManager::sig_connectFailed);
    m_modbusWorkThread = new ModbusWorkThread(this);
    ModbusManager* const transport = m_modbusManager;
    ModbusWorkThread* const scheduler = m_modbusWorkThread;
    // The scheduler opens and closes the port and hands each request to the
    // transport's thread (queued: the scheduler runs in the GUI thread).
    connect(scheduler, &ModbusWorkThread::sig_connectDevice, transport,
            &ModbusManager::slots_connectDevice);
    connect(scheduler, &ModbusWorkThread::sig_disConnectDevice, transport,
            &ModbusManager::slots_disConnectDevice);
    // The Modbus client road (nothing in the program emits these three).
    connect(scheduler, &ModbusWorkThread::sig_readModbus, transport,
            &ModbusManager::slots_readModbus);
    connect(scheduler, &ModbusWorkThread::sig_writeModbus, transport,
            &ModbusManager::slots_writeModbus);
    connect(scheduler, &ModbusWorkThread::sig_readModbusData, transport,
            &ModbusManager::slots_readModbusData);
    connect(scheduler, &ModbusWorkThread::sig_readData, transport, &ModbusManager::slots_readData,
            Qt::QueuedConnection);
    // A new sampling rate: the transport cuts stream frames of the new length.
    connect(this, &ParamManager::sig_syncDataByteCount, transport,
            &ModbusManager::slots_syncDataByteCount);
    // The pages' commands to the scheduler: polls, single requests, their own frames.
    connect(this, &ParamManager::sig_devStatusWorkerStart, scheduler,
            &ModbusWorkThread::slots_devStatusWorkerStart);
    connect(this, &ParamManager::sig_ddsWorkerStart, scheduler,
            &ModbusWorkThread::slots_ddsWorkerStart);
    connect(this, &ParamManager::sig_paramWorkerStart, scheduler,
            &ModbusWorkThread::slots_paramWorkerStart);
    connect(this, &ParamManager::sig_devStatusWorkerStop, scheduler,
            &ModbusWorkThread::slots_devStatusWorkerStop);
    connect(this, &ParamManager::sig_ddsWorkerStop, scheduler,
            &ModbusWorkThread::slots_ddsWorkerStop);
    connect(this, &ParamManager::sig_paramWorkerStop, scheduler,
            &ModbusWorkThread::slots_paramWorkerStop);
    connect(this, &ParamManager::sig_sendModbusData, scheduler,
            &ModbusWorkThread::slots_sendModbusData);
    connect(this, &ParamManager::sig_sendCustomModbusData, scheduler,
            &ModbusWorkThread::slots_sendCustomModbusData);
    // A new sampling rate: the scheduler picks the matching stream start and stop.
    connect(this, &ParamManager::sig_syncDataByteCount, scheduler,
            &ModbusWorkThread::slots_syncDataByteCount);
    connect(this, &ParamManager::sig_sendUpgradeData, transport,
            &ModbusManager::slots_sendUpgradeData);
    // The link's state, relayed to the pages.
    connect(transport, &ModbusManager::sig_connected, this, &ParamManager::sig_connected);
    connect(transport, &ModbusManager::sig_disconnect, this, &ParamManager::sig_disconnect);

    // The decoder: the hub's settings and resets in, the replies from the transport,
    // and every result relayed to the pages under the same name.
    m_modbusDataHandler = new ModbusDataHandler();
    ModbusDataHandler* const decoder = m_modbusDataHandler;
    connect(this, &ParamManager::sig_reboot, decoder, &ModbusDataHandler::reboot);
    // Values from before a stream start (a restart, a relock, a page that polled
    // registers) are not filtered together with the new stream.
    connect(this, &ParamManager::sig_sendModbusData, decoder,
            &ModbusDataHandler::slots_streamRequest);
    connect(this, &ParamManager::sig_syncDataParam, decoder,
            &ModbusDataHandler::slots_syncDataParam);
    connect(this, &ParamManager::sig_syncDataByteCount, decoder,
            &ModbusDataHandler::slots_syncDataByteCount);
    connect(this, &ParamManager::sig_setOneHz, decoder, &ModbusDataHandler::slots_setOneHz);
    connect(this, &ParamManager::sig_setFilterEnabled, decoder,
            &ModbusDataHandler::slots_setFilterEnabled);
    connect(this, &ParamManager::sig_setSpectrumShown, decoder,
            &ModbusDataHandler::slots_setSpectrumShown);
    connect(transport, &ModbusManager::sig_readDataFinished, decoder,
            &ModbusDataHandler::slots_readDataFinished);
    connect(decoder, &ModbusDataHandler::sig_updateProgress, this,
            &ParamManager::sig_updateProgress);
    connect(decoder, &ModbusDataHandler::sig_updateProgressEx, this,
            &ParamManager::sig_updateProgressEx);
    connect(decoder, &ModbusDataHandler::sig_updateSerialNumber, this,
            &ParamManager::sig_updateSerialNumber);
    // The decoder's stream restarts go to the scheduler like a page's request.
    connect(decoder, &ModbusDataHandler::sig_sendModbusData, this,
            &ParamManager::sig_sendModbusData);
    connect(decoder, &ModbusDataHandler::sig_updateForm, this, &ParamManager::sig_updateForm);
    connect(decoder, &ModbusDataHandler::sig_measuredField, this, &ParamManager::sig_measuredField);
    // Queued behind the batches filtered before it, so a page that clears on it
    // keeps none of them.
    connect(decoder, &ModbusDataHandler::sig_filterSettingsChanged, this,
            &ParamManager::sig_filterSettingsChanged);
    connect(decoder, &ModbusDataHandler::sig_updateVectorForm, this,
            &ParamManager::sig_updateVectorForm);
    connect(decoder, &ModbusDataHandler::sig_updateFormEx, this, &ParamManager::sig_updateFormEx);
    connect(decoder, &ModbusDataHandler::sig_updateFormParam, this,
            &ParamManager::sig_updateFormParam);
    connect(decoder, &ModbusDataHandler::sig_updateFormParamEx, this,
            &ParamManager::sig_updateFormParamEx);
    // The rate is stored in the hub before the pages hear of it.
    connect(decoder, &ModbusDataHandler::sig_updateSamplingRate, this,
            &ParamManager::slots_updateSamplingRate);
    connect(decoder, &ModbusDataHandler::sig_saveCrashLog, this, &ParamManager::sig_saveCrashLog);

    // The recorder: save settings, each second of samples and the event log in;
    // the vector records from the decoder.
    m_saveFileThread = new SaveFileThread();
    SaveFileThread* const recorder = m_saveFileThread;
    connect(this, &ParamManager::sig_syncSaveParam, recorder, &SaveFileThread::slots_syncSaveParam);
    connect(this, &ParamManager::sig_saveCSVData, recorder, &SaveFileThread::saveCSVData);
    connect(this, &ParamManager::sig_saveCrashLog, recorder, &SaveFileThread::slot_saveCrashLog);
    connect(decoder, &ModbusDataHandler::sig_saveVectorB9orB12CSV, recorder,
            &SaveFileThread::slot_saveVectorB9orB12CSV);
    connect(decoder, &ModbusDataHandler::sig_saveVectorXYZS, recorder,
            &SaveFileThread::slot_saveVectorXYZS);
    // Runs in the recorder's thread. The flag is cleared first, so that a page
    // that hears of the end already finds the hub not saving.
    connect(
        recorder, &SaveFileThread::sig_saveFinished, recorder,
        [this] {
            m_saving.store(false);
            emit sig_saveFinished();
        },
        Qt::DirectConnection);

    const QString server = QStringLiteral("Server");
    isServer = Settings::readInt(iniPath, server, QStringLiteral("isServer"),
                                 Settings::Defaults::isServer);
    isExistGPS = Settings::readInt(iniPath, server, QStringLiteral("isExistGPS"),
                                   Settings::Defaults::isExistGPS);
    m_GPSCom = Settings::readString(iniPath, server, QStringLiteral("GPSCom"),
                                    Settings::Defaults::gpsCom());
    qDebug() << "isServer:" << isServer << "  setIniPath:" << iniPath;
    qDebug() << "isExistGPS:" << isExistGPS << "  m_GPSCom:" << m_GPSCom;

    if (isServer == 1) {
        // The server client takes every second of samples from the recorder and
        // the GPS position from the GPS worker, which it starts once it runs.
        m_serverThread = new ServerThread();
        connect(this, &ParamManager::sig_initServer, m_serverThread, &ServerThread::slot_init);
        connect(m_saveFileThread, &SaveFileThread::sig_SendServerData, m_serverThread,
                &ServerThread::slot_SendServerScalarData);
        connect(m_saveFileThread, &SaveFileThread::sig_SendServerVectorData, m_serverThread,
                &ServerThread::slot_SendServerVectorData);
        m_gpsThread = new GPSThread(m_GPSCom);
        connect(m_serverThread, &ServerThread::sig_beginGPS, m_gpsThread, &GPSThread::slot_begin);
        connect(m_gpsThread, &GPSThread::newGpsData, m_serverThread, &ServerThread::slot_GPSData1);
    }

    // The watchdog, always and last: every batch of the field as measured reaches
    // it. The pages' batches have passed the cut-offs: a high-pass leaves values
    // near 0 nT from a healthy instrument and a constant from a runaway.
    m_dataCheckerThread = new DataCheckerThread();
    connect(this, &ParamManager::sig_measuredField, m_dataCheckerThread,
            &DataCheckerThread::slot_DataCheck, Qt::UniqueConnection);
    // A stream the program stopped itself is not missing data.
    connect(this, &ParamManager::sig_sendModbusData, m_dataCheckerThread,
            &DataCheckerThread::slot_streamRequest);
}

void ParamManager::shutdown()
{
    // The watchdog first: it only listens.
    delete m_dataCheckerThread;
    m_dataCheckerThread = nullptr;
    // The replay feeds the decoder: it goes before it.
    delete m_mockDataThread;
    m_mockDataThread = nullptr;
    delete m_comPortThread;
    m_comPortThread = nullptr;
    // Polls first, then the transport, so that no reply reaches a decoder that is
    // going away. The scheduler itself goes with the hub.
    if (m_modbusWorkThread) {
        m_modbusWorkThread->slots_devStatusWorkerStop();
        m_modbusWorkThread->slots_paramWorkerStop();
    }
    delete m_modbusManager;
    m_modbusManager = nullptr;
    delete m_modbusDataHandler;
    m_modbusDataHandler = nullptr;
    // The recorder after the decoder (whose vector records it takes): batches
    // already queued to it are still written.
    delete m_saveFileThread;
    m_saveFileThread = nullptr;
    // The server client after whatever feeds it (the recorder, the GPS worker):
    // its destructor writes what it still holds to the backlog.
    delete m_gpsThread;
    m_gpsThread = nullptr;
    delete m_serverThread;
    m_serverThread = nullptr;
}

void ParamManager::initDefaults()
{
    namespace D = Settings::Defaults;
    iniPath = Settings::configPath();
    xAxisUpper = D::xAxisUpper;
    bandWidth = D::bandWidth;
    isFSMode = D::isFSMode;
    yAxisLower = D::yAxisLower;
    yAxisUpper = D::yAxisUpper;
    baudRate = D::baudRate;
    samplingRate = SamplingRates::DefaultRate;
}

void ParamManager::slots_updateSamplingRate(int iSamplingRate)
{
    samplingRate = iSamplingRate;
    if (const SamplingRates::Entry* entry = SamplingRates::findSettable(iSamplingRate))
        streamRate = entry->streamRate;
    emit sig_updateSamplingRate(iSamplingRate);
}

void ParamManager::setSaveParam(bool isSave, int interval, QString filePathName,
                                bool isSaveConsecutivefiles)
{
    m_saving.store(isSave);
    m_savePath = filePathName;
    emit sig_syncSaveParam(isSave, interval, filePathName, isSaveConsecutivefiles);
}

void ParamManager::rebootDevice()
{
    emit m_modbusWorkThread->sig_disConnectDevice();
    emit sig_reboot();
    m_deviceReady = false;
    m_streamStarted = false;
}

void ParamManager::sendC5()
{
    ModbusManager* const transport = m_modbusManager;
    QMetaObject::invokeMethod(
        transport,
        [transport] {
            transport->writeHex(QByteArrayLiteral("C5"));
            transport->disconnectPortSignals();
        },
        Qt::QueuedConnection);
}

void ParamManager::requestDeviceParams()
{
    m_modbusWorkThread->sendParamRead();
}

void ParamManager::startMockPlayback(int pointsPerSend)
{
    if (!m_mockDataThread)
        return; // no replay unless "isMockData" is 1
    // Stop first, so that a second press restarts from the first value.
    emit m_mockDataThread->stopTimerRequested();
    emit m_mockDataThread->startTimerRequested(40);
    m_mockDataThread->setPointsPerSend(pointsPerSend);
}

void ParamManager::saveCrashLog(QString text, qint64 timestamp)
{
    if (timestamp == 0)
        timestamp = QDateTime::currentSecsSinceEpoch();
    emit sig_saveCrashLog(timestamp, text);
}

void ParamManager::log(QString text)
{
    Logger::instance()->write(text);
}

void ParamManager::writeTextFile(QString path, QString text)
{
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text)) {
        Logger::instance()->write(QStringLiteral("Failed to open file for writing:") +
                                  file.errorString());
        return;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << text;
}

void ParamManager::appendTextLine(QString path, QByteArray data)
{
    QFile file(path);
    if (!file.open(QIODevice::Append)) {
        Logger::instance()->write(QStringLiteral("Failed to open file for writing:") +
                                  file.errorString());
        return;
    }
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss.zzz] "));
    file.write(stamp.toUtf8() + data.toHex(' ') + '\n');
}

QVector<double> ParamManager::readTextFile(QString path)
{
    QVector<double> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Logger::instance()->write(QStringLiteral("Failed to open file:") + file.errorString());
        return values;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty())
            values.append(line.toDouble());
    }
    return values;
}

QStringList ParamManager::availablePortNames() const
{
    QStringList names;
    for (const QString& name : SerialPortNames::available())
        names.prepend(name);
    return names;
}

void ParamManager::initMockDataThread()
{
    if (m_mockDataThread)
        return;
    m_mockDataThread = new MockDataThread();
    // Wired before the load, so that the reason of a failed load is in the output too.
    connect(m_mockDataThread, &MockDataThread::errorOccurred, this,
            [](const QString& message) { qDebug().noquote() << "Error:" << message; });
    if (!m_mockDataThread->loadCsv(QStringLiteral("mock.csv")))
        qDebug() << "mock error";
    connect(m_mockDataThread, &MockDataThread::dataSent, m_modbusDataHandler,
            &ModbusDataHandler::slots_revMockData);
}

void ParamManager::initComPortThread()
{
    if (m_comPortThread)
        return;
    m_comPortThread = new ComPortThread();
    connect(this, &ParamManager::sig_startComPortThreadTimer, m_comPortThread,
            &ComPortThread::slots_startTimer);
    connect(this, &ParamManager::sig_stopComPortThreadTimer, m_comPortThread,
            &ComPortThread::slots_stopTimer);
    connect(m_comPortThread, &ComPortThread::sig_setPortNamelist, this,
            [this](const QList<QString>& list) {
                if (list != m_portNames)
                    m_portNames = list;
            });
    emit sig_startComPortThreadTimer();
}
