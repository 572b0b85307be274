// The sensitivity page driving the virtual instrument over a pseudo-terminal,
// through the real hub, scheduler, transport and decoder: the mains line stands
// out of the spectrum with the filter off and is gone with it on.

#include "app/ParamManager.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/SensitivityModuleForm.h"
#include "ui/widgets/CustomPlot.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {
// The density at `hz` over the median density of the chart's spectrum.
double lineOverMedian(CustomPlot* chart, double hz)
{
    QVector<double> values;
    double atLine = 0.0;
    double nearest = 1e300;
    const auto data = chart->graph(0)->data();
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) {
        values << it->value;
        if (qAbs(it->key - hz) < nearest) {
            nearest = qAbs(it->key - hz);
            atLine = it->value;
        }
    }
    if (values.isEmpty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return atLine / values[values.size() / 2];
}
} // namespace

class TestSensitivityPageInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void mainsLineWithAndWithoutTheFilter();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestSensitivityPageInstrument::initTestCase()
{
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "7"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
}

void TestSensitivityPageInstrument::mainsLineWithAndWithoutTheFilter()
{
    ParamManager hub;
    MainWindow window(&hub);
    window.resize(1280, 720);
    window.show();
    auto* mainPage = window.findChild<MainModuleForm*>();
    auto* page = window.findChild<SensitivityModuleForm*>();
    auto* chart2 = page->findChild<CustomPlot*>(QStringLiteral("chart2"));
    QSignalSpy requests(&hub, &ParamManager::sig_sendModbusData);

    // The settings page's filter switch, on at start.
    auto* filter = window.findChild<QCheckBox*>(QStringLiteral("chk_filter"));
    QVERIFY(filter && filter->isChecked());
    filter->setChecked(false);

    // While the main page is shown the stream runs, and no spectrum is computed.
    QSignalSpy batches(&hub, &ParamManager::sig_updateForm);
    QSignalSpy early(&hub, &ParamManager::sig_updateFormEx);
    mainPage->slot_handleActionTriggered(m_port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(batches.count() >= 40, 30000);
    QVERIFY(!early.isEmpty()); // the batches for the page's time window
    for (const QList<QVariant>& args : early)
        QVERIFY(args.at(1).value<QVector<double>>().isEmpty());
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QCOMPARE(window.currentPage(), 1);

    // The default ten-second window: 0.1 Hz bins up to 500 Hz. The line stands
    // out of the floor by about two hundred times; the notch chain leaves about
    // a hundredth of it, in the floor.
    auto* fftTime = window.findChild<QLineEdit*>(QStringLiteral("edt_fftTime"));
    QCOMPARE(fftTime->text(), QStringLiteral("10"));
    QTRY_COMPARE_WITH_TIMEOUT(chart2->graph(0)->dataCount(), 5000, 30000);
    const double unfiltered = lineOverMedian(chart2, 50.0);
    QVERIFY2(unfiltered >= 10.0, qPrintable(QString("50 Hz at %1 x the floor").arg(unfiltered)));

    // Filter on: once the window holds only filtered values, the mains line no
    // longer stands out of the next spectrum.
    QVector<double> filtered;
    connect(&hub, &ParamManager::sig_updateForm, &window,
            [&filtered](const QVector<double>& batch) { filtered += batch; });
    filter->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(filtered.size() >= 12000, 40000);
    QSignalSpy spectra(&hub, &ParamManager::sig_updateFormEx);
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(spectra.begin(), spectra.end(),
                                         [](const QList<QVariant>& args) {
                                             return !args.at(1).value<QVector<double>>().isEmpty();
                                         }),
                             10000);

    const double withFilter = lineOverMedian(chart2, 50.0);
    QVERIFY2(withFilter < 3.0, qPrintable(QString("50 Hz at %1 x the floor with the filter on, "
                                                  "%2 x without")
                                              .arg(withFilter)
                                              .arg(unfiltered)));
    qInfo("50 Hz over the median floor: %.1f without the filter, %.2f with it", unfiltered,
          withFilter);

    // Leaving for the settings page would stop the stream; the main page keeps it.
    window.findChild<QPushButton*>(QStringLiteral("btnMain"))->click();
    int starts = 0;
    for (const QList<QVariant>& args : requests)
        starts += args.at(0).value<ModbusAddr>() == AddrStartStream;
    QCOMPARE(starts, 1);
}

MAG_TEST_MAIN(TestSensitivityPageInstrument)
#include "tst_sensitivitypage_instrument.moc"
