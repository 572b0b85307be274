// The replay worker on its own, and the start-up with "isMockData" 1 through the
// real hub and main window.

#include "app/AppManager.h"
#include "app/ParamManager.h"
#include "device/MockDataThread.h"
#include "tests/support/DebugLines.h"
#include "tests/support/SampleBatches.h"
#include "tests/support/TestMain.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <memory>

namespace {
const QString NoData = QStringLiteral("没有数据可发送，请先加载CSV文件");
const QString BadCount = QStringLiteral("每次发送点数必须大于0，保持原值 ");

void writeFile(const QString& name, const QByteArray& content)
{
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray csvOf(const QVector<double>& values)
{
    QByteArray text;
    for (int i = 0; i < values.size(); ++i)
        text += QByteArray::number(i) + ',' + QByteArray::number(values[i], 'g', 17) + '\n';
    return text;
}

// A worker whose batches and errors are recorded as they are emitted, in the
// worker's thread (QSignalSpy is not safe across threads), with the emission time.
struct Replay
{
    std::unique_ptr<MockDataThread> worker = std::make_unique<MockDataThread>();
    QObject context;
    mutable QMutex mutex;
    QList<QVector<double>> batchList;
    QList<qint64> timeList;
    QStringList errorList;
    QElapsedTimer clock;

    Replay()
    {
        clock.start();
        QObject::connect(
            worker.get(), &MockDataThread::dataSent, &context,
            [this](const QVector<double>& batch) {
                QMutexLocker lock(&mutex);
                batchList << batch;
                timeList << clock.elapsed();
            },
            Qt::DirectConnection);
        QObject::connect(
            worker.get(), &MockDataThread::errorOccurred, &context,
            [this](const QString& message) {
                QMutexLocker lock(&mutex);
                errorList << message;
            },
            Qt::DirectConnection);
    }
    ~Replay() { worker.reset(); } // stopped before the records go

    QList<QVector<double>> batches() const
    {
        QMutexLocker lock(&mutex);
        return batchList;
    }
    QList<qint64> times() const
    {
        QMutexLocker lock(&mutex);
        return timeList;
    }
    QStringList errors() const
    {
        QMutexLocker lock(&mutex);
        return errorList;
    }
    int count() const
    {
        QMutexLocker lock(&mutex);
        return batchList.size();
    }
    bool load(const QVector<double>& values)
    {
        writeFile("mock.csv", csvOf(values));
        return worker->loadCsv("mock.csv");
    }
    // Returns once everything queued to the worker so far has run.
    void sync()
    {
        QMetaObject::invokeMethod(
            worker.get(), [] {}, Qt::BlockingQueuedConnection);
    }
};

} // namespace

class TestMockDataThread : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void loadCsv_data();
    void loadCsv();
    void failedLoadKeepsTheData();
    void batches_data();
    void batches();
    void pacing();
    void stopAndRestart();
    void startWithoutData();
    void pointsPerSend_data();
    void pointsPerSend();
    void reloadWhileRunning();
    void startUp_data();
    void startUp();
};

void TestMockDataThread::cleanup()
{
    QFile::remove("mock.csv");
}

void TestMockDataThread::loadCsv_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVector<double>>("data");
    QTest::addColumn<QString>("error");

    const QString noValues = QStringLiteral("文件没有包含有效数据: mock.csv");
    QTest::newRow("second column")
        << QByteArray("0,1.5\n1,2.5\n\n2,abc\n") << true << QVector<double>{1.5, 2.5} << QString();
    QTest::newRow("header, blanks and CRLF")
        << QByteArray("time,value\r\n  3 , 4.25 \r\n\r\n   \r\n4,-1e3\r\n") << true
        << QVector<double>{4.25, -1000} << QString();
    QTest::newRow("line without a comma skipped")
        << QByteArray("5\n6,7\nabc\n8") << true << QVector<double>{7} << QString();
    QTest::newRow("empty and extra parts")
        << QByteArray("1,,2\n2,8,9\n,9\n") << true << QVector<double>{8, 9} << QString();
    QTest::newRow("nan and inf skipped")
        << QByteArray("0,nan\n1,inf\n2,-inf\n3,3\n") << true << QVector<double>{3} << QString();
    QTest::newRow("no number") << QByteArray("a,b\nc\n") << false << QVector<double>() << noValues;
    QTest::newRow("empty file") << QByteArray("") << false << QVector<double>() << noValues;
    QTest::newRow("missing file") << QByteArray() << false << QVector<double>()
                                  << QStringLiteral("无法打开文件: mock.csv");
}

void TestMockDataThread::loadCsv()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QVector<double>, data);
    QFETCH(QString, error);

    if (!content.isNull())
        writeFile("mock.csv", content);
    Replay r;
    QCOMPARE(r.worker->loadCsv("mock.csv"), ok);
    QCOMPARE(r.errors(), error.isEmpty() ? QStringList() : QStringList{error});
    if (!ok)
        return;
    // One batch larger than the data carries one whole pass.
    r.worker->setPointsPerSend(1000);
    r.worker->startSendingData(40);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= 1, 10000);
    QCOMPARE(r.batches().first(), data);
}

void TestMockDataThread::failedLoadKeepsTheData()
{
    Replay r;
    QVERIFY(r.load({1, 2, 3}));
    writeFile("mock.csv", "no,number\n");
    QVERIFY(!r.worker->loadCsv("mock.csv"));
    QVERIFY(!r.worker->loadCsv("absent.csv"));
    r.worker->setPointsPerSend(10);
    r.worker->startSendingData(40);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= 1, 10000);
    QCOMPARE(r.batches().first(), (QVector<double>{1, 2, 3}));
}

void TestMockDataThread::batches_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pointsPerSend");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<int>>("firsts");

    QTest::newRow("120 by 50") << 120 << 50 << QList<int>{50, 50, 20, 50}
                               << QList<int>{0, 50, 100, 0};
    QTest::newRow("exact multiple") << 100 << 50 << QList<int>{50, 50, 50} << QList<int>{0, 50, 0};
    QTest::newRow("one by one") << 3 << 1 << QList<int>{1, 1, 1, 1} << QList<int>{0, 1, 2, 0};
    QTest::newRow("batch larger than the data") << 4 << 10 << QList<int>{4, 4} << QList<int>{0, 0};
}

void TestMockDataThread::batches()
{
    QFETCH(int, count);
    QFETCH(int, pointsPerSend);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<int>, firsts);

    Replay r;
    QVERIFY(r.load(ramp(0, count)));
    r.worker->setPointsPerSend(pointsPerSend);
    r.worker->startSendingData(40);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= sizes.size(), 10000);
    const QList<QVector<double>> got = r.batches();
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(got[i], ramp(firsts[i], sizes[i]));
}

void TestMockDataThread::pacing()
{
    // The 20 Hz choice of the main page: one value per 40 ms tick.
    Replay r;
    QVERIFY(r.load(ramp(0, 100)));
    r.worker->setPointsPerSend(1);
    r.worker->startSendingData(40);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= 11, 10000);
    const QList<qint64> times = r.times();
    const qint64 tenTicks = times[10] - times[0];
    QVERIFY2(tenTicks >= 360, qPrintable(QString::number(tenTicks))); // coarse timers: -5 %
    QVERIFY2(tenTicks < 4000, qPrintable(QString::number(tenTicks)));
    QCOMPARE(r.batches().mid(0, 11).last(), QVector<double>{10});
}

void TestMockDataThread::stopAndRestart()
{
    constexpr int Interval = 10; // a short tick, so that waiting for seven of them is short
    Replay r;
    QVERIFY(r.load(ramp(0, 10)));
    r.worker->setPointsPerSend(3);
    r.worker->startSendingData(Interval);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= 2, 10000);

    r.worker->stopSendingData();
    r.sync();
    const int stoppedAt = r.count();
    QTest::qWait(7 * Interval); // seven ticks: none may come
    QCOMPARE(r.count(), stoppedAt);

    // Started again, and a second start while running: both begin at the first value.
    r.worker->startSendingData(Interval);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= stoppedAt + 2, 10000);
    QCOMPARE(r.batches().at(stoppedAt), (QVector<double>{0, 1, 2}));
    emit r.worker->stopTimerRequested();
    emit r.worker->startTimerRequested(Interval);
    r.sync();
    const int restartedAt = r.count();
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= restartedAt + 1, 10000);
    QCOMPARE(r.batches().at(restartedAt), (QVector<double>{0, 1, 2}));
    QVERIFY(r.errors().isEmpty());
}

void TestMockDataThread::startWithoutData()
{
    Replay r;
    r.worker->setPointsPerSend(5);
    r.worker->startSendingData(1);
    r.sync();
    QCOMPARE(r.errors(), QStringList{NoData});
    QCOMPARE(r.count(), 0);
    QVERIFY(!r.worker->loadCsv("absent.csv"));
    r.worker->startSendingData(1);
    r.sync();
    QCOMPARE(r.errors().last(), NoData);
    QCOMPARE(r.count(), 0);
}

void TestMockDataThread::pointsPerSend_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("0 keeps 5") << 0 << 5 << QStringList{BadCount};
    QTest::newRow("-3 keeps 5") << -3 << 5 << QStringList{BadCount};
    QTest::newRow("1") << 1 << 1 << QStringList();
    QTest::newRow("7") << 7 << 7 << QStringList();
}

void TestMockDataThread::pointsPerSend()
{
    QFETCH(int, n);
    QFETCH(int, size);
    QFETCH(QStringList, errors);

    Replay r;
    QVERIFY(r.load(ramp(0, 100)));
    r.worker->setPointsPerSend(5);
    r.worker->setPointsPerSend(n);
    QCOMPARE(r.errors(), errors);
    r.worker->startSendingData(40);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= 1, 10000);
    QCOMPARE(r.batches().first(), ramp(0, size));
}

void TestMockDataThread::reloadWhileRunning()
{
    // A shorter file loaded while the replay runs: the position in the old data lies
    // past the end of the new.
    Replay r;
    QVERIFY(r.load(ramp(5000, 1000)));
    r.worker->setPointsPerSend(1);
    r.worker->startSendingData(1);
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= 20, 10000);
    const int before = r.count();
    QVERIFY(r.load({1000, 1001}));
    const int loaded = r.count();
    QTRY_VERIFY_WITH_TIMEOUT(r.count() >= loaded + 6, 10000);

    // Old batches go on until the new data are in place; then only new values come,
    // from the first one on.
    QList<QVector<double>> after = r.batches().mid(before);
    const auto isOld = [](const QVector<double>& b) {
        return b.size() == 1 && b.first() >= 5000 && b.first() < 6000;
    };
    while (!after.isEmpty() && isOld(after.first()))
        after.removeFirst();
    QVERIFY(after.size() >= 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(after.at(i), QVector<double>{1000.0 + i % 2});
}

void TestMockDataThread::startUp_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::newRow("with mock.csv") << true;
    QTest::newRow("without mock.csv") << false;
}

void TestMockDataThread::startUp()
{
    QFETCH(bool, withFile);

    // A folder per row: QSettings keeps a parsed file until its size or time changes.
    QTemporaryDir folder;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previousDir); });
    writeFile("config.ini", "[Sensitivity]\nisMockData=1\n");
    // 6.99583 Hz per nT: n × 6995.83 mHz is n nT.
    QVector<double> milliHertz;
    for (int i = 0; i < 120; ++i)
        milliHertz << (1000 + i) * 6995.83;
    if (withFile)
        writeFile("mock.csv", "time,value\n" + csvOf(milliHertz));

    DebugLines debug;

    AppManager manager;
    manager.start();
    ParamManager* hub = manager.paramManager();
    QCOMPARE(hub->isMockData, 1);
    QVERIFY(hub->getMockDataThread());
    QCOMPARE(debug.said("mock error"), !withFile);
    QCOMPARE(debug.said(QStringLiteral("Error: 无法打开文件: mock.csv")), !withFile);

    auto* mock = manager.mainWindow()->findChild<QPushButton*>("btn_mock");
    QVERIFY(mock);
    QVERIFY(mock->isVisibleTo(manager.mainWindow()));
    // Filtering starts switched on (settings page); the replay is checked raw.
    manager.mainWindow()->findChild<QCheckBox*>("chk_filter")->setChecked(false);
    QSignalSpy batches(hub, &ParamManager::sig_updateForm);
    QTest::mouseClick(mock, Qt::LeftButton);
    QVERIFY(hub->isDeviceReady());

    if (withFile) {
        QVERIFY(batches.wait(10000));
        const auto values = batches.first().at(0).value<QVector<double>>();
        QCOMPARE(batches.first().at(1).value<FrequencyType>(), Freq1000Hz);
        QCOMPARE(values.size(), 50);
        for (int i = 0; i < values.size(); ++i)
            QVERIFY2(qAbs(values[i] - (1000 + i)) < 1e-9, qPrintable(QString::number(i)));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(debug.said("Error: " + NoData), 10000);
        QCOMPARE(batches.count(), 0);
    }
    QVERIFY(manager.mainWindow()->isVisible()); // the program runs on

    manager.mainWindow()->close();
    manager.shutdown();
    QVERIFY(!hub->getMockDataThread());
}

MAG_TEST_MAIN(TestMockDataThread)
#include "tst_mockdatathread.moc"
