// The save page with the real hub and recorder: gathering one second, the
// latest-value panel, start and stop, comments, the timed end, the reset and
// the failure box.

#include "app/Logger.h"
#include "app/ParamManager.h"
#include "services/RecordingFormat.h"
#include "services/SaveFileThread.h"
#include "services/SaveModuleForm.h"
#include "tests/support/TestMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

namespace {
struct Call
{
    int hubRate;
    int count;
    int frequency;
};

const QDateTime Press1(QDate(2025, 3, 4), QTime(5, 6, 7), Qt::UTC);

QStringList loggerLines()
{
    QFile file(Logger::instance()->currentFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QMessageBox* shownBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            return box;
    return nullptr;
}
} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(QVector<Call>)

class TestSaveModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void gathersOneSecond_data();
    void gathersOneSecond();
    void panelShowsEveryTenthSample();
    void startAndStop_data();
    void startAndStop();
    void timedRecordingEndsItself();
    void folderThatCannotBeCreated();
    void resetStopsAndRestoresDefaults();
    void writeFailureBox();
    void pageHooks();

private:
    template <typename T> T* child(SaveModuleForm& page, const char* name)
    {
        return page.findChild<T*>(QLatin1String(name));
    }
};

void TestSaveModuleForm::gathersOneSecond_data()
{
    QTest::addColumn<QVector<Call>>("calls");
    QTest::addColumn<QVector<int>>("batches"); // sizes emitted, in order

    QVector<Call> pieces(20, {1000, 50, 1000});
    QTest::newRow("20 pieces of 50 at 1000 Hz") << pieces << QVector<int>{1000};
    QTest::newRow("20 Hz one sample a call")
        << QVector<Call>(40, {20, 1, 20}) << QVector<int>{20, 20};
    QTest::newRow("500 Hz") << QVector<Call>(10, {500, 50, 500}) << QVector<int>{500};
    QTest::newRow("1 Hz one value a call") << QVector<Call>(2, {1, 1, 1}) << QVector<int>{1, 1};
    QTest::newRow("vector data (111) is not gathered")
        << QVector<Call>(30, {1000, 50, 111}) << QVector<int>{};
    QVector<Call> changeMarked1000(12, {1000, 50, 1000});
    changeMarked1000 << Call{20, 50, 1000} << QVector<Call>(20, {20, 1, 20});
    QTest::newRow("rate change, a call still marked 1000 Hz")
        << changeMarked1000 << QVector<int>{20};
    QVector<Call> changeMarked20(12, {1000, 50, 1000});
    changeMarked20 << QVector<Call>(21, {20, 1, 20});
    QTest::newRow("rate change, the first 20 Hz call") << changeMarked20 << QVector<int>{20};
}

void TestSaveModuleForm::gathersOneSecond()
{
    QFETCH(QVector<Call>, calls);
    QFETCH(QVector<int>, batches);
    ParamManager hub;
    SaveModuleForm page(&hub);
    QSignalSpy saved(&hub, &ParamManager::sig_saveCSVData);
    double next = 0;
    QVector<double> sent; // what a batch should hold
    for (const Call& call : calls) {
        hub.samplingRate = call.hubRate;
        QVector<double> piece(call.count);
        for (double& v : piece)
            v = next++;
        const QDateTime before = QDateTime::currentDateTimeUtc();
        emit hub.sig_updateForm(piece, FrequencyType(call.frequency));
        if (call.frequency == call.hubRate)
            sent += piece;
        if (call.frequency != call.hubRate || sent.size() > call.hubRate)
            sent.clear();
        if (sent.size() == call.hubRate) {
            QVERIFY(!saved.isEmpty());
            const QList<QVariant> batch = saved.last();
            QCOMPARE(batch.at(0).value<QVector<double>>(), sent);
            QCOMPARE(batch.at(1).toInt(), call.hubRate);
            const QDateTime at = batch.at(2).toDateTime();
            QCOMPARE(at.timeSpec(), Qt::UTC);
            QVERIFY(at >= before && at <= QDateTime::currentDateTimeUtc());
            sent.clear();
        }
    }
    QVector<int> sizes;
    for (const auto& batch : saved)
        sizes << batch.at(0).value<QVector<double>>().size();
    QCOMPARE(sizes, batches);
    QVERIFY(child<QTextEdit>(page, "textEdit_console")->toPlainText().isEmpty());
}

void TestSaveModuleForm::panelShowsEveryTenthSample()
{
    ParamManager hub;
    SaveModuleForm page(&hub);
    page.setClock([] { return QDateTime(QDate(2025, 3, 4), QTime(5, 6, 7, 995), Qt::UTC); });
    page.startRefresh();
    QVector<double> piece(50);
    for (int i = 0; i < piece.size(); ++i)
        piece[i] = 50000.0 + i * 0.001;
    emit hub.sig_updateForm(piece, Freq1000Hz);
    emit hub.sig_updateForm(QVector<double>{1.0}, Freq111Hz); // not shown
    const QStringList lines =
        child<QTextEdit>(page, "textEdit_console")->toPlainText().split('\n', Qt::SkipEmptyParts);
    // One table row a line pair: time, value.
    QCOMPARE(lines,
             QStringList({"05:06:07.995", "50000.00", "05:06:08.005", "50000.01", "05:06:08.015",
                          "50000.02", "05:06:08.025", "50000.03", "05:06:08.035", "50000.04"}));
}

void TestSaveModuleForm::startAndStop_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("saving");
    QTest::addColumn<QString>("notSaving");
    QTest::addColumn<QString>("commentsLabel");
    QTest::newRow("English") << 0 << "Saving"
                             << "Save"
                             << "Comments";
    QTest::newRow("Chinese") << 1 << "保存中"
                             << "保存"
                             << "备注";
}

void TestSaveModuleForm::startAndStop()
{
    QFETCH(int, language);
    QFETCH(QString, saving);
    QFETCH(QString, notSaving);
    QFETCH(QString, commentsLabel);
    ParamManager hub;
    hub.isChinese = language;
    SaveModuleForm page(&hub);
    page.slot_setLanguage(1);
    page.slot_setLanguage(language); // and back: the form's texts return
    QDateTime now = Press1;
    page.setClock([&] { return now; });
    // A folder whose name holds ".csv" keeps it, in the path and for the comments.
    const QString folder = QDir::currentPath() + "/press.csv.d/" + QTest::currentDataTag();
    QSignalSpy synced(&hub, &ParamManager::sig_syncSaveParam);

    auto* button = child<QPushButton>(page, "btn_Save");
    QCOMPARE(button->text(), notSaving);
    QCOMPARE(child<QLabel>(page, "label_4")->text(), commentsLabel);
    child<QLineEdit>(page, "edt_fileName")->setText("typed by hand.CSV");
    child<QLineEdit>(page, "edt_filePath")->setText(folder); // created at the press
    child<QLineEdit>(page, "edt_saveTime")->setText("7");
    child<QCheckBox>(page, "chk_saveFiles")->setChecked(false);
    child<QTextEdit>(page, "textEdit")->setPlainText("cell warmed up");
    QTest::mouseClick(button, Qt::LeftButton);

    QVERIFY(hub.isSaving());
    QCOMPARE(button->text(), saving);
    QVERIFY(page.isRefreshing());
    QCOMPARE(child<QLineEdit>(page, "edt_fileName")->text(), QString("20250304_050607.CSV"));
    const QString path1 = folder + "/20250304_050607.CSV";
    QCOMPARE(child<QLineEdit>(page, "edt_pathFileName")->text(), path1);
    QCOMPARE(synced.count(), 1);
    QCOMPARE(synced.at(0), (QList<QVariant>{true, 7, path1, false}));
    QCOMPARE(readText(folder + "/20250304_050607.txt"), QString("cell warmed up"));

    now = Press1.addSecs(65);
    page.slot_setLanguage(language); // a language change keeps the saving text
    QCOMPARE(button->text(), saving);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!hub.isSaving());
    QCOMPARE(button->text(), notSaving);
    QVERIFY(!page.isRefreshing());
    QCOMPARE(synced.count(), 2);
    QCOMPARE(synced.at(1).at(0).toBool(), false);
    QCOMPARE(synced.at(1).at(2).toString(), folder + "/20250304_050712.CSV");
    QCOMPARE(readText(folder + "/20250304_050712.txt"), QString("cell warmed up"));
    QCOMPARE(readText(folder + "/20250304_050607.txt"), QString("cell warmed up"));
}

void TestSaveModuleForm::timedRecordingEndsItself()
{
    ParamManager hub;
    hub.samplingRate = 20;
    SaveModuleForm page(&hub);
    const QString folder = QDir::currentPath() + "/timed";
    child<QLineEdit>(page, "edt_filePath")->setText(folder);
    child<QLineEdit>(page, "edt_saveTime")->setText("3");
    QSignalSpy finished(&hub, &ParamManager::sig_saveFinished);
    QTest::mouseClick(child<QPushButton>(page, "btn_Save"), Qt::LeftButton);
    const QString path = child<QLineEdit>(page, "edt_pathFileName")->text();
    for (int i = 0; i < 5 * 20; ++i)
        emit hub.sig_updateForm(QVector<double>{double(i)}, Freq20Hz);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QTRY_COMPARE(child<QPushButton>(page, "btn_Save")->text(), QString("Save"));
    QVERIFY(!hub.isSaving());
    QVERIFY(!page.isRefreshing());
    QCOMPARE(finished.count(), 1);
    // Three seconds in the file, whatever the recorder had been given besides.
    QFile file(RecordingFormat::mzFileName(path, 20));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), 60);
}

void TestSaveModuleForm::folderThatCannotBeCreated()
{
    ParamManager hub;
    SaveModuleForm page(&hub);
    QFile blocker(QDir::currentPath() + "/not-a-folder");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const QString bad = blocker.fileName() + "/sub";
    auto* button = child<QPushButton>(page, "btn_Save");

    child<QLineEdit>(page, "edt_filePath")->setText(bad);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!hub.isSaving());
    QCOMPARE(button->text(), QString("Save"));
    QVERIFY(loggerLines().indexOf(
                QRegularExpression(QString(".*\\] SaveModuleForm create %1 path failed")
                                       .arg(QRegularExpression::escape(bad)))) >= 0);

    // A running recording stops even when its folder is gone bad.
    child<QLineEdit>(page, "edt_filePath")->setText(QDir::currentPath() + "/good");
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(hub.isSaving());
    child<QLineEdit>(page, "edt_filePath")->setText(bad);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!hub.isSaving());
    QCOMPARE(button->text(), QString("Save"));
}

void TestSaveModuleForm::resetStopsAndRestoresDefaults()
{
    ParamManager hub;
    SaveModuleForm page(&hub);
    page.setClock([] { return Press1; });
    child<QLineEdit>(page, "edt_filePath")->setText(QDir::currentPath() + "/elsewhere");
    child<QLineEdit>(page, "edt_saveTime")->setText("60");
    child<QTextEdit>(page, "textEdit")->setPlainText("note");
    QTest::mouseClick(child<QPushButton>(page, "btn_Save"), Qt::LeftButton);
    emit hub.sig_updateForm(QVector<double>(50, 1.0), Freq1000Hz);
    QVERIFY(!child<QTextEdit>(page, "textEdit_console")->toPlainText().isEmpty());

    QSignalSpy synced(&hub, &ParamManager::sig_syncSaveParam);
    page.reset();
    QVERIFY(!hub.isSaving());
    QCOMPARE(synced.count(), 1);
    QCOMPARE(synced.at(0).at(0).toBool(), false);
    QCOMPARE(synced.at(0).at(1).toInt(), 0);
    QCOMPARE(child<QPushButton>(page, "btn_Save")->text(), QString("Save"));
    QCOMPARE(child<QLineEdit>(page, "edt_saveTime")->text(), QString("0"));
    QVERIFY(child<QTextEdit>(page, "textEdit")->toPlainText().isEmpty());
    QVERIFY(child<QTextEdit>(page, "textEdit_console")->toPlainText().isEmpty());
    const QString folder = QDir::currentPath() + "/file";
    QCOMPARE(child<QLineEdit>(page, "edt_filePath")->text(), folder);
    QCOMPARE(child<QLineEdit>(page, "edt_pathFileName")->text(), folder + "/20250304_050607.CSV");
    QVERIFY(QDir(folder).exists());
    QVERIFY(!page.isRefreshing());
}

void TestSaveModuleForm::writeFailureBox()
{
    ParamManager hub;
    hub.samplingRate = 20;
    SaveModuleForm page(&hub);
    const QString folder = QDir::currentPath() + "/vanishing";
    child<QLineEdit>(page, "edt_filePath")->setText(folder);
    QTest::mouseClick(child<QPushButton>(page, "btn_Save"), Qt::LeftButton);
    QVERIFY(QDir(folder).exists());
    QVERIFY(QDir(folder).removeRecursively());
    for (int i = 0; i < 3 * 20; ++i)
        emit hub.sig_updateForm(QVector<double>{double(i)}, Freq20Hz);
    QTRY_VERIFY(shownBox());
    QMessageBox* box = shownBox();
    QCOMPARE(box->windowTitle(), QString("提示"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY2(box->text().contains(QDir::toNativeSeparators(folder)), qPrintable(box->text()));
    box->close();
    QTRY_VERIFY(!QApplication::topLevelWidgets().contains(box));
    // One box for the spell, however many seconds fail.
    for (int i = 0; i < 2 * 20; ++i)
        emit hub.sig_updateForm(QVector<double>{double(i)}, Freq20Hz);
    QTest::mouseClick(child<QPushButton>(page, "btn_Save"), Qt::LeftButton); // stop
    QMetaObject::invokeMethod(
        hub.getSaveFileThread(), [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
    QVERIFY(!shownBox());
}

void TestSaveModuleForm::pageHooks()
{
    ParamManager hub;
    SaveModuleForm page(&hub);
    const PageHooks hooks = page.pageHooks();
    hooks.enter();
    QVERIFY(!page.isRefreshing()); // nothing recorded: no panel
    hub.setSaveParam(true, 0, QDir::currentPath() + "/hooks/20250101_000000.CSV", true);
    hooks.enter();
    QVERIFY(page.isRefreshing());
    hooks.leave(PageHooks::MainPage);
    QVERIFY(!page.isRefreshing());
    hooks.setLanguage(1);
    QCOMPARE(child<QPushButton>(page, "btn_Save")->text(), QString("保存中"));
    hooks.reset();
    QVERIFY(!hub.isSaving());
}

MAG_TEST_MAIN(TestSaveModuleForm)
#include "tst_savemoduleform.moc"
