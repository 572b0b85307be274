#include "app/AppManager.h"

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "device/Instrument.h"
#include "ui/MainWindow.h"

#include <QDebug>

AppManager::AppManager(QObject* parent) : QObject(parent) {}

AppManager::~AppManager() = default;

void AppManager::start()
{
    qDebug() << "Starting Application...";
    initParams();
    initUI();
    initServer();
    qDebug() << "Application started...";
}

void AppManager::initParams()
{
    qDebug() << "Initializing Params...";
    m_paramManager = new ParamManager(this);
    loadSettings(m_paramManager);
}

void AppManager::loadSettings(ParamManager* hub)
{
    namespace D = Settings::Defaults;
    const QString& ini = hub->iniPath;
    const QString sensitivity = QStringLiteral("Sensitivity");
    hub->xAxisUpper =
        Settings::readInt(ini, sensitivity, QStringLiteral("xAxisUpper"), D::xAxisUpper);
    hub->yAxisLower =
        Settings::readDouble(ini, sensitivity, QStringLiteral("yAxisLower"), D::yAxisLower);
    hub->yAxisUpper =
        Settings::readDouble(ini, sensitivity, QStringLiteral("yAxisUpper"), D::yAxisUpper);
    hub->bandWidth = Settings::readInt(ini, sensitivity, QStringLiteral("bandWidth"), D::bandWidth);
    hub->isTest = Settings::readInt(ini, sensitivity, QStringLiteral("isTest"), D::isTest);
    qDebug() << "isTest:" << hub->isTest;
    hub->isMockData =
        Settings::readInt(ini, sensitivity, QStringLiteral("isMockData"), D::isMockData);
    hub->isFSMode = Settings::readInt(ini, sensitivity, QStringLiteral("isFSMode"), D::isFSMode);
    hub->isChinese = Settings::readInt(ini, sensitivity, QStringLiteral("isChinese"), D::isChinese);

    if (hub->isMockData == 1)
        hub->initMockDataThread();

    hub->baudRate =
        Settings::readInt(ini, QStringLiteral("Com"), QStringLiteral("baudRate"), D::baudRate);

    if (!Instrument::isBaudRate(hub->baudRate))
        hub->baudRate = D::baudRate;

    if (hub->xAxisUpper <= 9)
        hub->xAxisUpper = 10;
    else if (hub->xAxisUpper > 500)
        hub->xAxisUpper = 500;

    if (hub->yAxisLower < 1e-6)
        hub->yAxisLower = 1e-6;
    else if (hub->yAxisLower > 1.0)
        hub->yAxisLower = 1.0;

    if (hub->yAxisUpper < 1.0)
        hub->yAxisUpper = 1.0;
    else if (hub->yAxisUpper > 1e6)
        hub->yAxisUpper = 1e6;
}

void AppManager::initUI()
{
    qDebug() << "Initializing UI...";
    m_mainWindow = new MainWindow(m_paramManager);
    m_mainWindow->show();
}

void AppManager::initServer()
{
    emit m_paramManager->sig_initServer();
}

void AppManager::shutdown()
{
    delete m_mainWindow;
    m_mainWindow = nullptr;
    if (m_paramManager)
        m_paramManager->shutdown();
}
