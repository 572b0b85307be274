// The main page driving the virtual instrument over a pseudo-terminal, through
// the real hub, scheduler, transport and decoder.

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"

#include <QLineEdit>
#include <QPushButton>
#include <qcustomplot.h>

namespace {
QVector<double> graphValues(QCustomPlot* plot)
{
    QVector<double> values;
    const auto data = plot->graph(0)->data();
    values.reserve(data->size());
    for (auto it = data->constBegin(); it != data->constEnd(); ++it)
        values << it->value;
    return values;
}

// Where `part` starts inside `all`, or -1.
int indexOfRun(const QVector<double>& all, const QVector<double>& part)
{
    if (part.isEmpty())
        return -1;
    for (int start = 0; start + part.size() <= all.size(); ++start) {
        if (all[start] == part[0] && std::equal(part.begin(), part.end(), all.begin() + start))
            return start;
    }
    return -1;
}
} // namespace

class TestMainPageInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void linkUpStreamAndPause();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestMainPageInstrument::initTestCase()
{
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "11"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
}

void TestMainPageInstrument::linkUpStreamAndPause()
{
    ParamManager hub;
    MainModuleForm page(&hub);
    page.resize(1200, 500);
    page.show();

    auto* plot = page.findChild<QCustomPlot*>("mainChart");
    QSignalSpy connected(&hub, &ParamManager::sig_connected);
    QSignalSpy serial(&hub, &ParamManager::sig_updateSerialNumber);
    QSignalSpy requests(&hub, &ParamManager::sig_sendModbusData);
    QVector<double> received; // every sample the page was offered while the device was ready
    connect(&hub, &ParamManager::sig_updateForm, &page, [&](const QVector<double>& batch) {
        if (hub.isDeviceReady())
            received += batch;
    });
    auto streamRequests = [&] {
        return std::count_if(requests.begin(), requests.end(), [](const QList<QVariant>& call) {
            return call.at(0).value<ModbusAddr>() == AddrStartStream;
        });
    };

    // Link-up: port chosen, connected, identity shown, lock, stream.
    QVERIFY2(hub.availablePortNames().contains(m_port),
             qPrintable(m_port + " is not in the port list"));
    page.slot_handleActionTriggered(m_port, QVariant());
    QCOMPARE(page.findChild<QPushButton*>("btn_com")->text(), m_port);
    QVERIFY(connected.count() == 1 || connected.wait(10000));
    QVERIFY(serial.count() == 1 || serial.wait(10000));
    QVERIFY(page.findChild<QLineEdit*>("edt_devName")->text().startsWith("VUD-"));
    QVERIFY(!page.isComButtonEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    QCOMPARE(SharedState::instance().lightStatus(), 4);
    QVERIFY(page.findChild<QFrame*>("frameStatus")->styleSheet().contains("greenlight"));
    QCOMPARE(streamRequests(), 1);
    QVERIFY(hub.isStreamStarted());

    // Three seconds at 1000 Hz fill a three-second window (chart time set as the
    // operator does; the default ten seconds only take longer).
    auto* chartTime = page.findChild<QLineEdit*>("edt_setTime");
    chartTime->setText("3");
    emit chartTime->editingFinished();
    QElapsedTimer filling;
    QTRY_VERIFY_WITH_TIMEOUT(plot->graph(0)->dataCount() > 0, 10000);
    filling.start();
    QTRY_COMPARE_WITH_TIMEOUT(plot->graph(0)->dataCount(), 3000, 20000);
    QVERIFY2(filling.elapsed() > 2400, "the window filled faster than 1000 samples per second");
    QCOMPARE(page.findChild<QLineEdit*>("edt_samples")->text(), QString("3000"));
    QCOMPARE(streamRequests(), 1); // the stream was asked for exactly once

    // Pause: the graph stays as it is while the samples keep coming.
    auto* pause = page.findChild<QPushButton*>("btn_pause");
    pause->click();
    const QVector<double> frozen = graphValues(plot);
    const int receivedAtPause = received.size();
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= receivedAtPause + 1000, 10000);
    QCOMPARE(graphValues(plot), frozen);

    // Resume: the first redraw shows the newest window, with what came meanwhile.
    pause->click();
    QTRY_VERIFY_WITH_TIMEOUT(graphValues(plot) != frozen, 5000);
    const QVector<double> resumed = graphValues(plot);
    QCOMPARE(resumed.size(), 3000);
    // The newest batch on screen is the stream's own and came after the pause.
    const int newestAt = indexOfRun(received, resumed.mid(resumed.size() - 50));
    QVERIFY2(
        newestAt >= receivedAtPause,
        qPrintable(QString("newest batch at %1, pause at %2").arg(newestAt).arg(receivedAtPause)));
    // What arrived while the plot was paused is on screen: the window kept filling.
    // Pause and resume each drop the batches still queued, so the run is taken
    // away from both ends of the pause.
    const QVector<double> whilePaused = received.mid(receivedAtPause + 300, 400);
    QVERIFY2(indexOfRun(resumed, whilePaused) >= 0,
             "the samples that arrived during the pause are not on screen");
    QCOMPARE(streamRequests(), 1);
}

MAG_TEST_MAIN(TestMainPageInstrument)
#include "tst_mainpage_instrument.moc"
