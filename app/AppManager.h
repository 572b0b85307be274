#pragma once
// Start-up: creates the hub, reads "config.ini" into it, shows the main window and
// lets the server worker start; at the end of the event loop it stops everything in
// order. GUI thread only.

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
    void initServer(); // emits the hub's sig_initServer

    // Reads groups "Sensitivity" and "Com" of the hub's settings file into the hub
    // (setting up the mock replay when asked for) and clamps the values.
    static void loadSettings(ParamManager* hub);

    // Called once the event loop has returned: the window goes first (its close has
    // queued the last request), then the workers are stopped and joined.
    void shutdown();

    ParamManager* paramManager() const { return m_paramManager; }
    MainWindow* mainWindow() const { return m_mainWindow; }

private:
    MainWindow* m_mainWindow = nullptr;
    ParamManager* m_paramManager = nullptr;
};
