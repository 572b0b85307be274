// One copy of the program per folder: the lock beside the executable, the box a
// second copy shows, and the program itself run twice in one folder (offscreen,
// as real processes from a copy of the executable in a sandbox folder).

#include "app/InstanceGuard.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace {

constexpr int StartTimeoutMs = 30000;
const QString Started = QStringLiteral("Application started...");
const QString Refused = QStringLiteral("already running in");

// Everything in the folder: names, kinds, sizes, times and contents.
QStringList snapshot(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QString entry = QDir(folder).relativeFilePath(info.filePath());
        if (info.isDir()) {
            entries << entry + "/";
            continue;
        }
        entry += QString(" %1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
        QFile file(info.filePath());
        if (info.size() < (1 << 20) && file.open(QIODevice::ReadOnly))
            entry +=
                " " + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex();
        entries << entry;
    }
    entries.sort();
    return entries;
}

// One run of the program: a copy of the executable in `folder`, started in
// `workDir`, its debug output read line by line.
class ProgramRun
{
public:
    ProgramRun(const QString& folder, const QString& workDir)
    {
        m_process.setEnvironment("QT_QPA_PLATFORM", "offscreen");
        m_process.setEnvironment("QT_FORCE_STDERR_LOGGING", "1");
        m_process.setEnvironment("MAG_PORT_DIR", folder + "/no-ports");
        m_process.setErrorOutput(ChildProcess::ErrorOutput::Merged);
        m_process.setWorkingDirectory(workDir);
        m_process.start(folder + "/magnetometer", QStringList());
    }
    ~ProgramRun() { m_process.killHard(); }

    // Waits for the line that tells how the start went: the started line or
    // the refusal; returns which, or an empty text when neither came.
    QString outcome()
    {
        QString seen;
        m_process.waitFor(
            [&seen](const QByteArray& line) {
                for (const QString& outcome : {Refused, Started})
                    if (QString::fromLocal8Bit(line).contains(outcome))
                        seen = outcome;
                return !seen.isEmpty();
            },
            StartTimeoutMs);
        return seen;
    }

    QString output() { return QString::fromLocal8Bit(m_process.output()); }
    bool running() const { return m_process.isRunning(); }

    // SIGSTOP / SIGCONT: a held copy keeps its lock and writes nothing meanwhile.
    void hold(bool held) { m_process.hold(held); }

    void killHard() { m_process.killHard(); } // SIGKILL: nothing of the program runs any more

private:
    ChildProcess m_process;
};

// A folder holding a copy of the executable, as an operator's install.
QString installCopy(const QString& name)
{
    const QString folder = QDir::current().absoluteFilePath(name);
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder + "/no-ports") || !QFile::copy(MAG_PROGRAM, folder + "/magnetometer"))
        return QString();
    return folder;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QMessageBox* openBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

} // namespace

class TestInstanceGuard : public QObject
{
    Q_OBJECT
private slots:
    void secondGuardTellsTheOperator_data();
    void secondGuardTellsTheOperator();
    void folderWithoutRoomForALockRuns();
    void secondCopyInTheSameFolderTouchesNothing_data();
    void secondCopyInTheSameFolderTouchesNothing();
    void lockOfAKilledCopyDoesNotBlock();
};

// The box of a copy that finds the folder held: the program's usual kind, in
// the language of "config.ini", naming the folder; closing it ends the event
// loop with exit code 1. Once the first guard is gone the folder is free.
void TestInstanceGuard::secondGuardTellsTheOperator_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("text");
    QTest::newRow("no config.ini") << QByteArray() << "The program is already running";
    QTest::newRow("English") << QByteArray("[Sensitivity]\nisChinese=0\n")
                             << "The program is already running";
    QTest::newRow("Chinese") << QByteArray("[Sensitivity]\nisChinese=1\n")
                             << "程序已在此文件夹中运行";
}

void TestInstanceGuard::secondGuardTellsTheOperator()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, text);
    QFile::remove("config.ini");
    if (!config.isEmpty())
        writeFile("config.ini", config);
    const QString folder = QDir::current().absoluteFilePath("guarded");
    QVERIFY(QDir().mkpath(folder));
    const QByteArray configBefore = QFile::exists("config.ini") ? config : QByteArray();

    auto first = std::make_unique<InstanceGuard>(folder);
    QVERIFY(first->claim());
    QVERIFY(QFileInfo::exists(folder + "/" + InstanceGuard::lockFileName()));
    QVERIFY(!openBox());
    {
        InstanceGuard second(folder);
        QVERIFY(!second.claim());
        QPointer<QMessageBox> box = openBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QString("提示"));
        QCOMPARE(box->icon(), QMessageBox::Information);
        QVERIFY(!box->parent());
        QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY2(box->text().startsWith(text), qPrintable(box->text()));
        QVERIFY(box->text().contains(folder));

        QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
        QObject thisCase; // a box that stays ends the loop, but no later case's
        QTimer::singleShot(10000, &thisCase, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 1);
        QTRY_VERIFY(box.isNull());
    }
    // The holder keeps the folder while it lives; the refused copy wrote nothing.
    QCOMPARE(QFile::exists("config.ini") ? QFile("config.ini").size() : 0,
             qint64(configBefore.size()));
    QVERIFY(!InstanceGuard(folder).claim());
    QTRY_VERIFY(openBox());
    openBox()->close();
    QTRY_VERIFY(!openBox());
    first.reset();
    QVERIFY(!QFileInfo::exists(folder + "/" + InstanceGuard::lockFileName()));
    InstanceGuard third(folder);
    QVERIFY(third.claim());
    QVERIFY(!openBox());
}

// A folder that cannot take the lock file can take none of the program's
// files either: the program runs, without the lock, and says nothing.
void TestInstanceGuard::folderWithoutRoomForALockRuns()
{
    InstanceGuard guard(QDir::current().absoluteFilePath("no/such/folder"));
    QVERIFY(guard.claim());
    QVERIFY(!openBox());
}

// The program started a second time from the same install, in the same
// working folder or another: it says so and waits for the box to be closed,
// having written nothing (no event-log or daily-log line, no config.ini, no
// logs or recordings folder); the first copy runs on.
void TestInstanceGuard::secondCopyInTheSameFolderTouchesNothing_data()
{
    QTest::addColumn<QString>("secondWorkDir");
    QTest::newRow("same working folder") << ".";
    QTest::newRow("another working folder") << "elsewhere";
}

void TestInstanceGuard::secondCopyInTheSameFolderTouchesNothing()
{
    QFETCH(QString, secondWorkDir);
    const QString folder = installCopy(QString("install-%1").arg(QTest::currentDataTag()));
    QVERIFY(!folder.isEmpty());
    writeFile(folder + "/config.ini", "[Sensitivity]\nisChinese=1\n");
    const QString otherDir = QDir(folder).absoluteFilePath(secondWorkDir);
    QVERIFY(QDir().mkpath(otherDir));

    ProgramRun first(folder, folder);
    QCOMPARE(first.outcome(), Started);
    // Held while the second copy runs, so that whatever changes is the second's.
    first.hold(true);
    const QStringList before = snapshot(folder);

    ProgramRun second(folder, otherDir);
    QCOMPARE(second.outcome(), Refused);
    QVERIFY2(!second.output().contains("Starting Application"), qPrintable(second.output()));
    QVERIFY(second.running()); // the box waits for the operator
    QCOMPARE(snapshot(folder), before);
    first.hold(false);
    QVERIFY(first.running());
}

// A copy killed with SIGKILL leaves its lock file behind; the next start takes
// it over and holds the folder in its turn.
void TestInstanceGuard::lockOfAKilledCopyDoesNotBlock()
{
    const QString folder = installCopy("install-killed");
    QVERIFY(!folder.isEmpty());
    const QString lock = folder + "/" + InstanceGuard::lockFileName();
    {
        ProgramRun killed(folder, folder);
        QCOMPARE(killed.outcome(), Started);
        QVERIFY(QFileInfo::exists(lock));
        killed.killHard();
    }
    QVERIFY(QFileInfo::exists(lock));

    ProgramRun next(folder, folder);
    QCOMPARE(next.outcome(), Started);
    ProgramRun another(folder, folder);
    QCOMPARE(another.outcome(), Refused);
    QVERIFY(next.running());
}

MAG_TEST_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
