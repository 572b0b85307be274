#include "app/LogTexts.h"
#include "app/SharedTypes.h"
#include "tests/support/TestMain.h"

#include <QScopeGuard>
#include <QThread>

namespace {
class Sender : public QObject
{
    Q_OBJECT
signals:
    void batch(int count, FrequencyType rate);
    void vectors(FIDVectorData data);
};

class Receiver : public QObject
{
    Q_OBJECT
public:
    std::atomic<int> rate{0};
    std::atomic<int> xCount{-1};
public slots:
    void onBatch(int, FrequencyType r) { rate = int(r); }
    void onVectors(FIDVectorData data) { xCount = data.x.size(); }
};
} // namespace

class TestSharedTypes : public QObject
{
    Q_OBJECT
private slots:
    void modeNamesAndLogText();
    void typesCrossThreads();
};

// The server reports the type by these names; the debug page's event-log line is
// read by people who know its fields by position.
void TestSharedTypes::modeNamesAndLogText()
{
    QCOMPARE(ModeNameMap.value(0), QString("MZ"));
    QCOMPARE(ModeNameMap.value(1), QString("FID"));
    QCOMPARE(ModeNameMap.value(2), QString("FID"));
    QCOMPARE(ModeNameMap.size(), 3);
    QCOMPARE(LogBatteryStateEx.arg(4).arg(1).arg(2).arg(3).arg(5).arg(6),
             QString("battery State: 4 . ReadType: VCSEL = 1 , VCSEL Default = 2 , VaporCell = "
                     "3 , PD = 5 , PDE = 6."));
}

void TestSharedTypes::typesCrossThreads()
{
    // Queued signals drop arguments whose types are not registered.
    QThread thread;
    Receiver receiver;
    receiver.moveToThread(&thread);
    thread.start();
    const auto stop = qScopeGuard([&] {
        thread.quit();
        thread.wait();
    });
    Sender sender;
    connect(&sender, &Sender::batch, &receiver, &Receiver::onBatch);
    connect(&sender, &Sender::vectors, &receiver, &Receiver::onVectors);
    FIDVectorData data;
    data.x = {1, 2, 3};
    emit sender.batch(1, FrequencyType(111));
    emit sender.vectors(data);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.rate.load(), 111, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.xCount.load(), 3, 10000);
}

MAG_TEST_MAIN_CORE(TestSharedTypes)
#include "tst_sharedtypes.moc"
