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
    connect(scheduler, &ModbusWorkThread::sig_connectDevice, transport,
            &ModbusManager::slots_connectDevice); // 1
    connect(scheduler, &ModbusWorkThread::sig_disConnectDevice, transport,
            &ModbusManager::slots_disConnectDevice); // 2
    // 3 to 5 (the Modbus client road) land with that road.
    connect(scheduler, &ModbusWorkThread::sig_readData, transport, &ModbusManager::slots_readData,
            Qt::QueuedConnection); // 6
    connect(this, &ParamManager::sig_syncDataByteCount, transport,
            &ModbusManager::slots_syncDataByteCount); // 7
    connect(this, &ParamManager::sig_devStatusWorkerStart, scheduler,
            &ModbusWorkThread::slots_devStatusWorkerStart); // 8
    connect(this, &ParamManager::sig_ddsWorkerStart, scheduler,
            &ModbusWorkThread::slots_ddsWorkerStart); // 9
    connect(this, &ParamManager::sig_paramWorkerStart, scheduler,
            &ModbusWorkThread::slots_paramWorkerStart); // 10
    connect(this, &ParamManager::sig_devStatusWorkerStop, scheduler,
            &ModbusWorkThread::slots_devStatusWorkerStop); // 11
    connect(this, &ParamManager::sig_ddsWorkerStop, scheduler,
            &ModbusWorkThread::slots_ddsWorkerStop); // 12
    connect(this, &ParamManager::sig_paramWorkerStop, scheduler,
            &ModbusWorkThread::slots_paramWorkerStop); // 13
    connect(this, &ParamManager::sig_sendModbusData, scheduler,
            &ModbusWorkThread::slots_sendModbusData); // 14
    connect(this, &ParamManager::sig_sendCustomModbusData, scheduler,
            &ModbusWorkThread::slots_sendCustomModbusData); // 15
    connect(this, &ParamManager::sig_syncDataByteCount, scheduler,
            &ModbusWorkThread::slots_syncDataByteCount); // 16
    // 17 (upgrade data) lands with the Modbus client road.
    connect(transport, &ModbusManager::sig_connected, this, &ParamManager::sig_connected);   // 18
    connect(transport, &ModbusManager::sig_disconnect, this, &ParamManager::sig_disconnect); // 19

    m_modbusDataHandler = new ModbusDataHandler();
    ModbusDataHandler* const decoder = m_modbusDataHandler;
    connect(this, &ParamManager::sig_reboot, decoder, &ModbusDataHandler::reboot); // 20
    connect(this, &ParamManager::sig_syncDataParam, decoder,
            &ModbusDataHandler::slots_syncDataParam); // 21
    connect(this, &ParamManager::sig_syncDataByteCount, decoder,
            &ModbusDataHandler::slots_syncDataByteCount);                                    // 22
    connect(this, &ParamManager::sig_setOneHz, decoder, &ModbusDataHandler::slots_setOneHz); // 23
    connect(this, &ParamManager::sig_setFilterEnabled, decoder,
            &ModbusDataHandler::slots_setFilterEnabled); // 24
    connect(transport, &ModbusManager::sig_readDataFinished, decoder,
            &ModbusDataHandler::slots_readDataFinished); // 25
    connect(decoder, &ModbusDataHandler::sig_updateProgress, this,
            &ParamManager::sig_updateProgress); // 26
    connect(decoder, &ModbusDataHandler::sig_updateProgressEx, this,
            &ParamManager::sig_updateProgressEx); // 27
    connect(decoder, &ModbusDataHandler::sig_updateSerialNumber, this,
            &ParamManager::sig_updateSerialNumber); // 28
    connect(decoder, &ModbusDataHandler::sig_sendModbusData, this,
            &ParamManager::sig_sendModbusData);                                                // 29
    connect(decoder, &ModbusDataHandler::sig_updateForm, this, &ParamManager::sig_updateForm); // 30
    connect(decoder, &ModbusDataHandler::sig_updateVectorForm, this,
            &ParamManager::sig_updateVectorForm); // 31
    connect(decoder, &ModbusDataHandler::sig_updateFormEx, this,
            &ParamManager::sig_updateFormEx); // 32
    connect(decoder, &ModbusDataHandler::sig_updateFormParam, this,
            &ParamManager::sig_updateFormParam); // 33
    connect(decoder, &ModbusDataHandler::sig_updateFormParamEx, this,
            &ParamManager::sig_updateFormParamEx); // 34
    connect(decoder, &ModbusDataHandler::sig_updateSamplingRate, this,
            &ParamManager::slots_updateSamplingRate); // 35
    connect(decoder, &ModbusDataHandler::sig_saveCrashLog, this,
            &ParamManager::sig_saveCrashLog); // 36

    // Workers and their connections from 37 on are created here as they land.

    const QString server = QStringLiteral("Server");
    isServer = Settings::readInt(iniPath, server, QStringLiteral("isServer"),
                                 Settings::Defaults::isServer);
    isExistGPS = Settings::readInt(iniPath, server, QStringLiteral("isExistGPS"),
                                   Settings::Defaults::isExistGPS);
    m_GPSCom = Settings::readString(iniPath, server, QStringLiteral("GPSCom"),
                                    Settings::Defaults::gpsCom());
    qDebug() << "isServer:" << isServer << "  setIniPath:" << iniPath;
    qDebug() << "isExistGPS:" << isExistGPS << "  m_GPSCom:" << m_GPSCom;
}

void ParamManager::shutdown()
{
    // Workers are stopped here as they land.
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
