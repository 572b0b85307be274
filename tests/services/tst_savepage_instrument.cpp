// A timed recording with the virtual instrument streaming over a pseudo-terminal,
// through the real hub, transport, decoder, save page and recorder; the link-up's
// status events in the event log.

#include "app/ParamManager.h"
#include "app/RuntimePaths.h"
#include "services/RecordingFormat.h"
#include "services/SaveFileThread.h"
#include "services/SaveModuleForm.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/RecorderFixture.h"
#include "tests/support/TestMain.h"
#include "ui/MainModuleForm.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

using namespace RecorderTest;

namespace {
// Every event-log file there is (a run may cross local midnight).
QString eventLog()
{
    QString text;
    const QDir logs(RuntimePaths::logsDir());
    for (const QString& name : logs.entryList({"MZ_Crash_*.dmp"}, QDir::Files, QDir::Name)) {
        QFile file(logs.filePath(name));
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}
} // namespace

class TestSavePageInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recordingAt1000Hz_data();
    void recordingAt1000Hz();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestSavePageInstrument::initTestCase()
{
    if (!QFileInfo::exists(InstrumentProcess::binary()))
        QFAIL(qPrintable("no virtual instrument at " + InstrumentProcess::binary()));
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "23"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
}

void TestSavePageInstrument::recordingAt1000Hz_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("lowPass"); // Hz, the bottom bar's Low Pass
    QTest::newRow("ten seconds") << 10 << 0;
    QTest::newRow("two seconds, Low Pass 10") << 2 << 10;
}

void TestSavePageInstrument::recordingAt1000Hz()
{
    QFETCH(int, seconds);
    QFETCH(int, lowPass);
    ParamManager hub;
    MainModuleForm mainPage(&hub);
    SaveModuleForm savePage(&hub);
    QVector<double> emitted; // every sample the decoder handed out
    connect(&hub, &ParamManager::sig_updateForm, this,
            [&](const QVector<double>& batch) { emitted += batch; });
    QSignalSpy server(hub.getSaveFileThread(), &SaveFileThread::sig_SendServerData);
    QSignalSpy finished(&hub, &ParamManager::sig_saveFinished);

    DataParam param = hub.dataParam();
    param.lowPass = lowPass;
    hub.setDataParam(param);
    emit hub.sig_syncDataParam(param);
    mainPage.slot_handleActionTriggered(m_port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);
    // The status light's changes went to the event log, one line each.
    QTRY_VERIFY_WITH_TIMEOUT(
        eventLog().contains(
            QRegularExpression("(^|\n)\\d\\d:\\d\\d:\\d\\d  battery State:4  ConnectTime:\\d+\n")),
        10000);
    QTRY_VERIFY_WITH_TIMEOUT(emitted.size() >= 2000, 10000);

    savePage.findChild<QLineEdit*>("edt_saveTime")->setText(QString::number(seconds));
    QTest::mouseClick(savePage.findChild<QPushButton*>("btn_Save"), Qt::LeftButton);
    QVERIFY(hub.isSaving());
    const QString path = savePage.findChild<QLineEdit*>("edt_pathFileName")->text();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QTRY_COMPARE(savePage.findChild<QPushButton*>("btn_Save")->text(), QString("Save"));
    QVERIFY(!hub.isSaving());
    const int batchesAtEnd = server.count();

    bool wellFormed = false;
    const QVector<Row> rows = readRows(RecordingFormat::mzFileName(path, 1000), &wellFormed);
    QVERIFY(wellFormed);
    QCOMPARE(rows.size(), 1000 * seconds); // batches of one second, one row a sample
    for (int i = 1; i < rows.size(); ++i)
        QCOMPARE(msOfDay(rows[i].time.constData(), 12),
                 msOfDay(rows[i - 1].time.constData(), 12) + 1);

    // The rows are a run of the decoder's own values, as %.10g.
    QVector<QByteArray> texts;
    texts.reserve(emitted.size());
    for (double v : qAsConst(emitted)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.10g", v);
        texts << QByteArray(text);
    }
    int at = -1;
    for (int start = 0; at < 0 && start + rows.size() <= texts.size(); ++start) {
        bool same = true;
        for (int i = 0; same && i < rows.size(); ++i)
            same = texts[start + i] == rows[i].value;
        if (same)
            at = start;
    }
    QVERIFY2(at >= 0, "the recording is not a run of the decoder's values");
    // The server got the same seconds, stamped as the rows.
    int firstBatch = -1;
    for (int b = 0; b < batchesAtEnd; ++b)
        if (RecordingFormat::timeText(server.at(b).at(0).toLongLong(), true) ==
            QString(rows.first().time))
            firstBatch = b;
    QVERIFY(firstBatch >= 0 && firstBatch + seconds <= batchesAtEnd);
    for (int b = 0; b < seconds; ++b) {
        const QVector<double> values = server.at(firstBatch + b).at(1).value<QVector<double>>();
        QCOMPARE(values.size(), 1000);
        QCOMPARE(values, emitted.mid(at + 1000 * b, 1000));
    }

    // The rows run on smoothly: no step between neighbours stands out from the rest
    // (filtered frame by frame, a low-pass left flat frames and jumps thousands of
    // times the typical step between them).
    QVector<double> steps;
    for (int i = 1; i < rows.size(); ++i)
        steps << std::abs(rows[i].value.toDouble() - rows[i - 1].value.toDouble());
    std::sort(steps.begin(), steps.end());
    const double median = steps[steps.size() / 2];
    qInfo("steps between rows: median %.3g nT, largest %.3g nT", median, steps.last());
    if (lowPass > 0)
        QVERIFY2(steps.last() < 30 * median,
                 qPrintable(QString("%1 vs %2").arg(steps.last()).arg(median)));
}

MAG_TEST_MAIN(TestSavePageInstrument)
#include "tst_savepage_instrument.moc"
