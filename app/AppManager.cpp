#include "app/AppManager.h"

#include "app/ParamManager.h"
#include "ui/MainWindow.h"

#include <QDebug>
#include <QSettings>
#include <cmath>

namespace {
// A text that reads as "nan" or "inf" would slip through every clamp below, so
// such a value counts as missing.
QVariant finiteValue(const QSettings& settings, const QString& key, const QVariant& fallback)
{
    const QVariant value = settings.value(key, fallback);
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    if (ok && !std::isfinite(number))
        return fallback;
    return value;
}

int readInt(const QSettings& settings, const QString& key, int fallback)
{
    return finiteValue(settings, key, fallback).toInt();
}

double readDouble(const QSettings& settings, const QString& key, double fallback)
{
    return finiteValue(settings, key, fallback).toDouble();
}
} // namespace

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
    QSettings settings(hub->iniPath, QSettings::IniFormat);

    settings.beginGroup(QStringLiteral("Sensitivity"));
    hub->xAxisUpper = readInt(settings, QStringLiteral("xAxisUpper"), 150);
    hub->yAxisLower = readDouble(settings, QStringLiteral("yAxisLower"), 1e-5);
    hub->yAxisUpper = readDouble(settings, QStringLiteral("yAxisUpper"), 1.0);
    hub->bandWidth = readInt(settings, QStringLiteral("bandWidth"), 15);
    hub->isTest = readInt(settings, QStringLiteral("isTest"), 0);
    qDebug() << "isTest:" << hub->isTest;
    hub->isMockData = readInt(settings, QStringLiteral("isMockData"), 0);
    hub->isFSMode = readInt(settings, QStringLiteral("isFSMode"), 0);
    hub->isChinese = readInt(settings, QStringLiteral("isChinese"), 0);
    settings.endGroup();

    if (hub->isMockData == 1)
        hub->initMockDataThread();

    settings.beginGroup(QStringLiteral("Com"));
    hub->baudRate = readInt(settings, QStringLiteral("baudRate"), 921600);
    settings.endGroup();

    if (hub->baudRate != 921600 && hub->baudRate != 115200)
        hub->baudRate = 921600;

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
