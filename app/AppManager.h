#pragma once

#include <QObject>

class MainWindow;
class ParamManager;

class AppManager : public QObject
{
    Q_OBJECT
public:
    explicit AppManager(QObject* parent = nullptr);
    ~AppManager() override;

    void start();
    void initParams();
    void initUI();
    void shutdown();

    ParamManager* paramManager() const { return m_paramManager; }
    MainWindow* mainWindow() const { return m_mainWindow; }

private:
    MainWindow* m_mainWindow = nullptr;
    ParamManager* m_paramManager = nullptr;
};
