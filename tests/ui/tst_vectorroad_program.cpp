// The "FID" roads through the whole program on a virtual X server: the virtual
// instrument sends frames computed from a known field over a pseudo-terminal;
// the transport's test hook picks the record handler, and the hub, the main
// window and its pages carry the records on. Vector records must reach the
// vector page, the vector file of a recording started on the save page and the
// monitoring-server stand-in, the same records at the same times everywhere;
// FID frequencies must reach the main page as a 1000 Hz stream. The filled
// vector page is left as a PNG in the build tree.

#include "app/ParamManager.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "device/ModbusManager.h"
#include "services/RecordingFormat.h"
#include "services/ServerThread.h"
#include "tests/support/FastServerTiming.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/RecordLog.h"
#include "tests/support/Screenshots.h"
#include "tests/support/StandIns.h"
#include "tests/support/XvfbMain.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/VectorModuleWidget.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <qcustomplot.h>

#include <cstdio>
#include <limits>

namespace {

constexpr int LinkTimeoutMs = 30000;
const char* const Colours[] = {"#ED5E6A", "#15B6C2", "#369FED", "#AB47BC"};

// One row of a vector file: its time text and thirteen numbers.
struct Row
{
    QString time;
    QVector<double> numbers; // x, y, z, s, f0 .. f8
    QByteArray text;
};

QVector<Row> readVectorFile(const QString& path)
{
    QVector<Row> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(',');
        Row row;
        row.text = line;
        row.time = QString::fromLatin1(fields.first());
        for (int i = 1; i < fields.size(); ++i)
            row.numbers << fields[i].toDouble();
        rows << row;
    }
    return rows;
}

// The row a record must become: its values as %.10g.
QByteArray numbersText(const FIDVectorNum& n)
{
    QByteArray out;
    char number[40];
    for (const double v : {n.x, n.y, n.z, n.s}) {
        std::snprintf(number, sizeof number, ",%.10g", v);
        out += number;
    }
    for (const double v : n.f) {
        std::snprintf(number, sizeof number, ",%.10g", v);
        out += number;
    }
    return out;
}

QVector<double> graphValues(const QCPGraph* graph)
{
    QVector<double> values;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        values << it->value;
    return values;
}

using Screenshots::colourPixels;

// The program's window with the instrument chosen in the main page's port menu,
// after the transport's hook picked the record handler for the stream.
class Program
{
public:
    Program() : window(&hub)
    {
        window.resize(1280, 720);
        window.move(0, 0);
        window.show();
    }
    ~Program() { hub.shutdown(); }

    void connectTo(const QString& port, ModbusAddr recordHandler)
    {
        QMetaObject::invokeMethod(hub.getModbusManager(), "slots_selectBufferHandlerForTest",
                                  Qt::QueuedConnection, Q_ARG(ModbusAddr, recordHandler));
        window.findChild<MainModuleForm*>()->slot_handleActionTriggered(port, QVariant());
    }

    void showPage(const char* button) { window.findChild<QPushButton*>(button)->click(); }

    // Ends the instrument; returns once all it sent has passed the transport and
    // the decoder and reached this thread, or false when the link did not end.
    bool stop(InstrumentProcess& instrument)
    {
        QSignalSpy lost(&hub, &ParamManager::sig_disconnect);
        instrument.stop();
        if (lost.isEmpty() && !lost.wait(LinkTimeoutMs))
            return false;
        for (QObject* worker : {static_cast<QObject*>(hub.getModbusManager()),
                                static_cast<QObject*>(hub.getModbusDataHandler())})
            QMetaObject::invokeMethod(
                worker, [] {}, Qt::BlockingQueuedConnection);
        QCoreApplication::processEvents();
        return true;
    }

    ParamManager hub;
    MainWindow window;
};

} // namespace

class TestVectorRoadProgram : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void vectorRecordsToPageFileAndServer_data();
    void vectorRecordsToPageFileAndServer();
    void fidFrequenciesToMainPage();
};

void TestVectorRoadProgram::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
}

void TestVectorRoadProgram::vectorRecordsToPageFileAndServer_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("clean line") << QStringList();
    QTest::newRow("lost bytes, damaged records, status replies") << QStringList{
        "--lose-byte", "every:9", "--corrupt-records", "every:5", "--status-in-stream", "every:7"};
}

void TestVectorRoadProgram::vectorRecordsToPageFileAndServer()
{
    QFETCH(QStringList, faults);
    MonitorServer standIn;
    QVERIFY(standIn.start());
    QVERIFY(FastServerTiming::enableForHubs(FastServerTiming::ticking(200, 5000)));

    const QString logPath = QDir::current().absoluteFilePath("vector-records.txt");
    InstrumentProcess instrument;
    const QString port = instrument.start(
        QStringList{"--start-status", "4", "--fid", "vector", "--record-log", logPath} + faults);
    QVERIFY2(!port.isEmpty(), "the virtual instrument did not come up");

    Program program;
    ParamManager& hub = program.hub;
    QVERIFY(QTest::qWaitForWindowExposed(&program.window));
    ServerThread* client = hub.getServerThread();
    QVERIFY(client);
    emit hub.sig_initServer();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), 2, 15000);

    // Every record the decoder made, as the recorder and the upload get them,
    // with the time it was made.
    QList<FIDVectorNum> records;
    QList<qint64> madeAt;
    connect(hub.getModbusDataHandler(), &ModbusDataHandler::sig_saveVectorXYZS, this,
            [&](const FIDVectorNum& n, const QDateTime& utc) {
                records << n;
                madeAt << utc.toMSecsSinceEpoch();
            });
    FIDVectorData lastForm;
    connect(&hub, &ParamManager::sig_updateVectorForm, this,
            [&](const FIDVectorData& d) { lastForm = d; });
    QList<QVector<double>> batches;
    connect(&hub, &ParamManager::sig_updateForm, this,
            [&](const QVector<double>& values, FrequencyType rate) {
                QCOMPARE(int(rate), 111);
                batches << values;
            });
    QSignalSpy finished(&hub, &ParamManager::sig_saveFinished);

    // The hidden vector page, shown through its hidden button, with spectra of
    // the last two seconds.
    auto* page = program.window.findChild<VectorModuleWidget*>();
    program.showPage("btnVector");
    QVERIFY(page->isVisible());
    auto* measTime = page->findChild<QLineEdit*>("edt_MeasTime");
    measTime->selectAll();
    QTest::keyClicks(measTime, "2");
    QTest::keyClick(measTime, Qt::Key_Return);
    QCOMPARE(SharedState::instance().vectorTimeSpan(), 2);

    program.connectTo(port, AddrVectorFid);
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), LinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(records.size() >= 100, LinkTimeoutMs);

    // A recording of ten batches of 50 records, started on the save page.
    program.showPage("btnSave");
    auto* saveButton = program.window.findChild<QPushButton*>("btn_Save");
    QVERIFY(saveButton->isVisible());
    program.window.findChild<QLineEdit*>("edt_saveTime")->setText("10");
    QTest::mouseClick(saveButton, Qt::LeftButton);
    QVERIFY(hub.isSaving());
    const QString path = program.window.findChild<QLineEdit*>("edt_pathFileName")->text();
    program.showPage("btnVector");
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, LinkTimeoutMs);
    QTRY_COMPARE(saveButton->text(), QString("Save"));
    QVERIFY(!hub.isSaving());
    // The picture below shows a full chart (10 s) of the clean line.
    auto* sPlot = page->findChild<QCustomPlot*>("vectorS");
    if (faults.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(sPlot->graph(0)->dataCount(), 1111, LinkTimeoutMs);
    QVERIFY(program.stop(instrument));
    const QVector<RecordLog::Truth> truths = RecordLog::read(logPath);
    const auto values = [](const FIDVectorNum& n) { return QVector<double>{n.x, n.y, n.z, n.s}; };

    // The records decoded are those the instrument sent, in order, none added:
    // a frame that lost a byte is missing whole, a damaged record is invalid,
    // all else within 0.01 nT.
    int t = RecordLog::find(truths, {values(records.first())});
    QVERIFY2(t >= 0 && t < 8, qPrintable(RecordLog::text(values(records.first()))));
    QList<FIDVectorNum> valid;
    int invalid = 0, lost = 0;
    for (const FIDVectorNum& n : qAsConst(records)) {
        for (; t < truths.size() && truths[t].lostByte; ++t)
            ++lost;
        QVERIFY2(t < truths.size(), "a record that the instrument did not send");
        const RecordLog::Truth& truth = truths[t++];
        if (truth.corrupt) {
            QVERIFY(!n.valid);
            ++invalid;
            continue;
        }
        QVERIFY2(n.valid && RecordLog::near(values(n), truth.values),
                 qPrintable(QString("record %1: %2 for %3")
                                .arg(truth.index)
                                .arg(RecordLog::text(values(n)), RecordLog::text(truth.values))));
        valid << n;
    }
    QCOMPARE(invalid > 0, !faults.isEmpty());
    QCOMPARE(lost > 0, !faults.isEmpty());
    // The 111 Hz batches of s for the main page and the watchdog.
    QVector<double> batchS;
    for (const QVector<double>& batch : qAsConst(batches))
        batchS += batch;
    QCOMPARE(batchS.size(), valid.size());
    for (int i = 0; i < valid.size(); ++i)
        QCOMPARE(batchS[i], valid[i].s);

    // The vector file: every record of ten batches of 50, the invalid ones too
    // (they hold the measured frequencies), each record stamped 9 ms after the
    // one before it.
    const QVector<Row> rows = readVectorFile(RecordingFormat::vectorFileName(path));
    QVERIFY(!rows.isEmpty());
    int firstRecord = -1;
    for (int i = 0; firstRecord < 0 && i < records.size(); ++i)
        if (rows.first().text.mid(12) == numbersText(records[i]))
            firstRecord = i;
    QVERIFY2(firstRecord >= 0, rows.first().text.constData());
    const int firstSlot = firstRecord / 50 * 50;
    QVERIFY(firstSlot + 500 <= records.size());
    const qint64 day =
        QDateTime::currentDateTimeUtc().date().startOfDay(Qt::UTC).toMSecsSinceEpoch();
    const auto rowMs = [day](const Row& row) {
        return day + QTime::fromString(row.time, "HH:mm:ss.zzz").msecsSinceStartOfDay();
    };
    const qint64 base = rowMs(rows.first()) - 9 * (firstRecord - firstSlot);
    int r = 0;
    qint64 latest = std::numeric_limits<qint64>::min();
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (int i = firstSlot; i < firstSlot + 500; ++i) {
        QVERIFY(r < rows.size());
        QCOMPARE(rows[r].numbers.size(), 13);
        QCOMPARE(rows[r].text.mid(12), numbersText(records[i]));
        QCOMPARE(rowMs(rows[r]), base + 9 * (i - firstSlot));
        latest = std::max(latest, rowMs(rows[r]) - madeAt[i]);
        earliest = std::min(earliest, rowMs(rows[r]) - madeAt[i]);
        ++r;
    }
    QCOMPARE(rows.size(), 500);
    // A batch is stamped from the arrival of its last record, so a stamp lies up
    // to 441 ms after its record was made; lost frames let the stamps fall
    // behind, by a second at most.
    QVERIFY2(earliest > -1300 && latest < 700,
             qPrintable(QString("stamps %1 to %2 ms from the records").arg(earliest).arg(latest)));

    // The stand-in server holds the same records at the same times (to the two
    // decimals of the upload), and nothing else of the recording's time.
    const qint64 firstMs = rowMs(rows.first());
    const qint64 lastMs = rowMs(rows.last());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QJsonArray times = standIn.device().value("vectorSampleTimes").toArray();
            return !times.isEmpty() && qint64(times.last().toDouble()) >= lastMs;
        }(),
        15000);
    QMap<qint64, QVector<double>> stored;
    for (const QJsonValue& v : standIn.device().value("vectorSamples").toArray()) {
        const QJsonArray sample = v.toArray();
        stored.insert(qint64(sample[0].toDouble()), {sample[1].toDouble(), sample[2].toDouble(),
                                                     sample[3].toDouble(), sample[4].toDouble()});
    }
    QCOMPARE(standIn.device().value("vectorDuplicates").toInt(), 0);
    int inRecording = 0;
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it)
        inRecording += it.key() >= firstMs && it.key() <= lastMs ? 1 : 0;
    QCOMPARE(inRecording, rows.size());
    for (const Row& row : rows) {
        const qint64 ms = rowMs(row);
        QVERIFY2(stored.contains(ms), qPrintable(row.time));
        QVERIFY2(RecordLog::near(stored.value(ms), row.numbers.mid(0, 4), 0.0051),
                 qPrintable(row.time + ": " + RecordLog::text(stored.value(ms))));
    }

    // The vector page drew every record: its time plots end with the last ones,
    // its spectra are those of the last two seconds.
    const char* const plots[] = {"vectorX", "vectorY", "vectorZ", "vectorS"};
    auto* spectrum = page->findChild<QCustomPlot*>("vectorFFTAll");
    // One queued update drawn per tick: a loaded machine may leave it behind.
    QTRY_COMPARE_WITH_TIMEOUT(graphValues(sPlot->graph(0)).last(), valid.last().s, LinkTimeoutMs);
    for (int c = 0; c < 4; ++c) {
        const QVector<double> shown =
            graphValues(page->findChild<QCustomPlot*>(plots[c])->graph(0));
        QCOMPARE(shown.size(), std::min(valid.size(), 1111));
        for (int i = 0; i < shown.size(); ++i)
            QCOMPARE(shown[i], values(valid[valid.size() - shown.size() + i])[c]);
    }
    // The spectra of the last two seconds (222 records), as the decoder made them.
    QVERIFY(lastForm.hasSpectra);
    const QVector<double>* freqs[] = {&lastForm.xFreq, &lastForm.yFreq, &lastForm.zFreq,
                                      &lastForm.sFreq};
    const QVector<double>* amps[] = {&lastForm.xAsd, &lastForm.yAsd, &lastForm.zAsd,
                                     &lastForm.sAsd};
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(freqs[c]->size(), 111); // below fs/2
        QVector<double> positive;
        for (const double a : *amps[c])
            if (a > 0)
                positive << a;
        QVERIFY(positive.size() > 100);
        QCOMPARE(graphValues(spectrum->graph(c)), positive);
    }
    QCOMPARE(spectrum->xAxis->range().upper, 1000.0 / 9.0 / 2.0);

    // What a person sees: the page filled by the instrument's records.
    if (!faults.isEmpty())
        return;
    const QPoint at(spectrum->axisRect()->left() + spectrum->axisRect()->width() / 8,
                    spectrum->axisRect()->top() + spectrum->axisRect()->height() / 3);
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QSignalSpy spectrumDrawn(spectrum, &QCustomPlot::afterReplot);
    QApplication::sendEvent(spectrum, &move);
    QVERIFY(spectrumDrawn.wait()); // the queued replots, the spectrum's last
    const QImage shot = grabArtefact(program.window, "vectorpage_instrument.png");
    for (int c = 0; c < 4; ++c) {
        auto* plot = page->findChild<QCustomPlot*>(plots[c]);
        QVERIFY2(colourPixels(shot, &program.window, plot, QColor(Colours[c])) > 200, plots[c]);
        QVERIFY2(colourPixels(shot, &program.window, spectrum, QColor(Colours[c])) > 100,
                 Colours[c]);
    }
    auto* xyz = page->findChild<QCustomPlot*>("vectorXYZ");
    QSignalSpy combinedDrawn(xyz, &QCustomPlot::afterReplot);
    QTest::mouseClick(page->findChild<QPushButton*>("btn_CombinePlots"), Qt::LeftButton);
    QVERIFY(xyz->isVisible());
    QVERIFY(!combinedDrawn.isEmpty() || combinedDrawn.wait());
    const QImage combined = grabArtefact(program.window, "vectorpage_instrument_combined.png");
    const Qt::GlobalColor pens[] = {Qt::red, Qt::green, Qt::cyan};
    for (int c = 0; c < 3; ++c)
        QVERIFY2(colourPixels(combined, &program.window, xyz, QColor(pens[c])) > 200, plots[c]);
}

void TestVectorRoadProgram::fidFrequenciesToMainPage()
{
    QVERIFY(Settings::writeValue(Settings::configPath(), "Server", "isServer", 0));
    const QString logPath = QDir::current().absoluteFilePath("fid-records.txt");
    InstrumentProcess instrument;
    const QString port = instrument.start(
        {"--start-status", "4", "--fid", "scalar", "--record-log", logPath, "--seed", "37"});
    QVERIFY2(!port.isEmpty(), "the virtual instrument did not come up");

    Program program;
    ParamManager& hub = program.hub;
    QVERIFY(QTest::qWaitForWindowExposed(&program.window));
    QList<int> pieces;
    connect(&hub, &ParamManager::sig_updateForm, this,
            [&](const QVector<double>& values, FrequencyType rate) {
                QCOMPARE(int(rate), 1000);
                pieces << values.size();
            });
    QSignalSpy seconds(&hub, &ParamManager::sig_saveCSVData);

    // The settings page's filter switch off, so that the frequencies reach the
    // main page as they were measured.
    program.showPage("btnConfig");
    auto* filter = program.window.findChild<QCheckBox*>("chk_filter");
    QVERIFY(filter->isVisible() && filter->isChecked());
    QTest::mouseClick(filter, Qt::LeftButton, {}, QPoint(10, filter->height() / 2));
    QVERIFY(!filter->isChecked());
    program.showPage("btnMain");

    program.connectTo(port, AddrFid);
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), LinkTimeoutMs);
    auto* chart = program.window.findChild<QCustomPlot*>("mainChart");
    QTRY_VERIFY_WITH_TIMEOUT(chart->graph(0)->dataCount() >= 3000, LinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(seconds.count() >= 2, LinkTimeoutMs);
    QVector<QVector<double>> shown;
    for (const double v : graphValues(chart->graph(0)))
        shown << QVector<double>{v};
    instrument.stop();

    // Handed out in pieces of 50 values 40 ms apart; the save page gathers them
    // into seconds of 1000.
    QVERIFY(std::all_of(pieces.cbegin(), pieces.cend(), [](int n) { return n == 50; }));
    for (const QList<QVariant>& second : qAsConst(seconds)) {
        QCOMPARE(second.at(0).value<QVector<double>>().size(), 1000);
        QCOMPARE(second.at(1).toInt(), 1000);
    }
    // The main page shows the field the instrument measured, value by value.
    QVERIFY2(RecordLog::find(RecordLog::read(logPath), shown) >= 0,
             qPrintable("the main page's values are not a run of the record log, from " +
                        RecordLog::text(shown.first())));
}

MAG_TEST_MAIN_XVFB(TestVectorRoadProgram)
#include "tst_vectorroad_program.moc"
