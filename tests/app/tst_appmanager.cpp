#include "app/AppManager.h"
#include "app/ParamManager.h"
#include "tests/support/DebugLines.h"
#include "tests/support/TestMain.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <memory>

namespace {
struct Expected
{
    int xAxisUpper = 150;
    double yAxisLower = 1e-5;
    double yAxisUpper = 1.0;
    int bandWidth = 15;
    int baudRate = 921600;
    int isTest = 0;
    int isFSMode = 0;
    int isChinese = 0;
};
} // namespace
Q_DECLARE_METATYPE(Expected)

class TestAppManager : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void settingsTable_data();
    void settingsTable();
    void startAndShutdown();
};

void TestAppManager::cleanup()
{
    QFile::remove("config.ini");
}

void TestAppManager::settingsTable_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<Expected>("expected");
    auto row = [](const char* name, const QByteArray& ini, auto change) {
        Expected e;
        change(e);
        QTest::newRow(name) << ini << e;
    };
    const auto same = [](Expected&) {};
    row("no file", QByteArray(), same);
    row("empty groups", "[Sensitivity]\n[Com]\n", same);
    row("x 5", "[Sensitivity]\nxAxisUpper=5\n", [](Expected& e) { e.xAxisUpper = 10; });
    row("x 9", "[Sensitivity]\nxAxisUpper=9\n", [](Expected& e) { e.xAxisUpper = 10; });
    row("x 10", "[Sensitivity]\nxAxisUpper=10\n", [](Expected& e) { e.xAxisUpper = 10; });
    row("x 500", "[Sensitivity]\nxAxisUpper=500\n", [](Expected& e) { e.xAxisUpper = 500; });
    row("x 501", "[Sensitivity]\nxAxisUpper=501\n", [](Expected& e) { e.xAxisUpper = 500; });
    row("x 600", "[Sensitivity]\nxAxisUpper=600\n", [](Expected& e) { e.xAxisUpper = 500; });
    row("lower 0", "[Sensitivity]\nyAxisLower=0\n", [](Expected& e) { e.yAxisLower = 1e-6; });
    row("lower 1e-6", "[Sensitivity]\nyAxisLower=1e-6\n", [](Expected& e) { e.yAxisLower = 1e-6; });
    row("lower 1.0", "[Sensitivity]\nyAxisLower=1.0\n", [](Expected& e) { e.yAxisLower = 1.0; });
    row("lower 2.5", "[Sensitivity]\nyAxisLower=2.5\n", [](Expected& e) { e.yAxisLower = 1.0; });
    row("upper 0.5", "[Sensitivity]\nyAxisUpper=0.5\n", [](Expected& e) { e.yAxisUpper = 1.0; });
    row("upper 1e6", "[Sensitivity]\nyAxisUpper=1000000\n",
        [](Expected& e) { e.yAxisUpper = 1e6; });
    row("upper 5e6", "[Sensitivity]\nyAxisUpper=5e6\n", [](Expected& e) { e.yAxisUpper = 1e6; });
    row("lower 1 upper 1", "[Sensitivity]\nyAxisLower=1.0\nyAxisUpper=1.0\n", [](Expected& e) {
        e.yAxisLower = 1.0;
        e.yAxisUpper = 1.0;
    });
    row("lower 0.5 upper 0.1", "[Sensitivity]\nyAxisLower=0.5\nyAxisUpper=0.1\n", [](Expected& e) {
        e.yAxisLower = 0.5;
        e.yAxisUpper = 1.0;
    });
    row("baud 115200", "[Com]\nbaudRate=115200\n", [](Expected& e) { e.baudRate = 115200; });
    row("baud 9600", "[Com]\nbaudRate=9600\n", same);
    row("baud text", "[Com]\nbaudRate=fast\n", same);
    row("nan and inf take defaults",
        "[Sensitivity]\nxAxisUpper=inf\nyAxisLower=nan\nyAxisUpper=-inf\nbandWidth=nan\n"
        "[Com]\nbaudRate=inf\n",
        same);
    row("flags and band width",
        "[Sensitivity]\nbandWidth=30\nisTest=1\nisFSMode=1\nisChinese=1\n[Server]\nisServer=0\n",
        [](Expected& e) {
            e.bandWidth = 30;
            e.isTest = 1;
            e.isFSMode = 1;
            e.isChinese = 1;
        });
    // Qt's own INI reader turns this into a request for 2^31 list items.
    row("serialised values take defaults",
        QByteArray("[Sensitivity]\nxAxisUpper=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
                   "isChinese=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
                   "[Server]\nGPSCom=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
                   "isServer=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"),
        same);
    row("integers out of range take defaults",
        "[Sensitivity]\nisTest=4294967297\nxAxisUpper=2147483648\nisChinese=-2147483649\n"
        "[Com]\nbaudRate=4295888896\n",
        same);
    row("keys in the wrong group", "[Com]\nxAxisUpper=300\n[Sensitivity]\nbaudRate=115200\n", same);
}

void TestAppManager::settingsTable()
{
    QFETCH(QByteArray, ini);
    QFETCH(Expected, expected);
    // A folder per row: QSettings keeps a parsed file until its size or time changes.
    QTemporaryDir folder;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previousDir); });
    if (!ini.isNull()) {
        QFile file("config.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    ParamManager hub;
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QString("isTest: %1").arg(expected.isTest)));
    AppManager::loadSettings(&hub);
    QCOMPARE(hub.xAxisUpper, expected.xAxisUpper);
    QCOMPARE(hub.yAxisLower, expected.yAxisLower);
    QCOMPARE(hub.yAxisUpper, expected.yAxisUpper);
    QVERIFY(hub.yAxisLower <= hub.yAxisUpper);
    QCOMPARE(hub.bandWidth, expected.bandWidth);
    QCOMPARE(hub.baudRate, expected.baudRate);
    QCOMPARE(hub.isTest, expected.isTest);
    QCOMPARE(hub.isFSMode, expected.isFSMode);
    QCOMPARE(hub.isChinese, expected.isChinese);
    QCOMPARE(hub.isMockData, 0);
    QCOMPARE(hub.isServer, 0);
    QCOMPARE(hub.m_GPSCom, QString("Com4"));
}

void TestAppManager::startAndShutdown()
{
    auto debug = std::make_unique<DebugLines>();
    AppManager manager;
    manager.start();
    const QStringList debugLines = debug->all();
    debug.reset();

    const QStringList order{
        "Starting Application...", "Initializing Params...", "isServer:", "isTest:",
        "Initializing UI...",      "Application started..."};
    int at = -1;
    for (const QString& step : order) {
        int found = -1;
        for (int i = at + 1; i < debugLines.size() && found < 0; ++i) {
            if (debugLines.at(i).startsWith(step))
                found = i;
        }
        QVERIFY2(found > at, qPrintable(step + " missing or out of order"));
        at = found;
    }
    QVERIFY(manager.paramManager());
    QCOMPARE(manager.paramManager()->parent(), &manager);
    QVERIFY(manager.mainWindow());
    QVERIFY(manager.mainWindow()->isVisible());
    QVERIFY(!manager.mainWindow()->parent());

    // The link's workers, the recorder and the watchdog run from the start; the
    // server client and the GPS worker only with "isServer" 1 (no file here).
    // Every worker is stopped and gone before the hub itself goes.
    const ParamManager* hub = manager.paramManager();
    QVERIFY(hub->getModbusManager());
    QVERIFY(hub->getModbusDataHandler());
    QVERIFY(hub->getSaveFileThread());
    QVERIFY(hub->getDataCheckerThread());
    QVERIFY(!hub->getServerThread());
    QVERIFY(!hub->getGPSThread());
    manager.mainWindow()->close();
    manager.shutdown();
    QVERIFY(!manager.mainWindow());
    QVERIFY(!hub->getModbusManager());
    QVERIFY(!hub->getModbusDataHandler());
    QVERIFY(!hub->getSaveFileThread());
    QVERIFY(!hub->getDataCheckerThread());
    manager.shutdown(); // twice is harmless
}

MAG_TEST_MAIN(TestAppManager)
#include "tst_appmanager.moc"
