#include "app/AppManager.h"

#include "app/ParamManager.h"
#include "ui/MainWindow.h"

#include <QDebug>

AppManager::AppManager(QObject* parent) : QObject(parent) {}

AppManager::~AppManager() = default;

void AppManager::start()
{
    qDebug() << "Starting Application...";
    initParams();
    initUI();
    qDebug() << "Application started...";
}

void AppManager::initParams()
{
    qDebug() << "Initializing Params...";
    m_paramManager = new ParamManager(this);
}

void AppManager::initUI()
{
    qDebug() << "Initializing UI...";
    m_mainWindow = new MainWindow(m_paramManager);
    m_mainWindow->show();
}

void AppManager::shutdown()
{
    delete m_mainWindow;
    m_mainWindow = nullptr;
}
