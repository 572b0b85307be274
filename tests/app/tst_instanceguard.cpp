// One copy of the program per folder: the lock beside the executable, the box a
// second copy shows, and the program itself run twice in one folder (offscreen,
// as real processes from a copy of the executable in a sandbox folder).

#include "app/InstanceGuard.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DebugLines.h"
#include "tests/support/FifoInPlace.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QMessageBox>
#include <QPointer>

#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 30000;
const QString Started = QStringLiteral("Application started...");
const QString Refused = QStringLiteral("already running in");
const QString InTheWay = QStringLiteral("it cannot be the lock; this copy quits");
// Well above what the program takes (about 0.8 GB of address space here): a copy
// that reads /dev/zero into memory fails at once rather than fill the machine.
constexpr qint64 ProgramMemoryLimit = qint64(2) << 30;

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
        if (info.isDir() && !info.isSymLink()) {
            entries << entry + "/";
            continue;
        }
        entry += QString(" %1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
        QFile file(info.filePath());
        // Only plain files are read: a FIFO would block the reading.
        if (info.isFile() && info.size() < (1 << 20) && file.open(QIODevice::ReadOnly))
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
    ProgramRun(const QString& folder, const QString& workDir, qint64 memoryLimit = 0)
    {
        m_process.setMemoryLimit(memoryLimit);
        m_process.setEnvironment("QT_QPA_PLATFORM", "offscreen");
        m_process.setEnvironment("QT_FORCE_STDERR_LOGGING", "1");
        m_process.setEnvironment("MAG_PORT_DIR", folder + "/no-ports");
        m_process.setErrorOutput(ChildProcess::ErrorOutput::Merged);
        m_process.setWorkingDirectory(workDir);
        m_process.start(folder + "/magnetometer", QStringList());
    }
    ~ProgramRun() { m_process.killHard(); }

    // Waits for the line that tells how the start went: the started line or
    // one of the refusals; returns which, or an empty text when none came.
    QString outcome()
    {
        QString seen;
        m_process.waitFor(
            [&seen](const QByteArray& line) {
                for (const QString& outcome : {Refused, InTheWay, Started})
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

// Something other than a lock file of that name: "folder", "socket", "link to
// a lock file", "link to /dev/zero" or "larger than a lock" (a plain file). A
// FIFO is made by FifoInPlace. An empty text when it is in place, else why not.
// A FIFO is held by \a fifo, whose watchdog ends a read that blocks on it.
QString placeInTheWay(const QString& kind, const QString& path, std::unique_ptr<FifoInPlace>* fifo)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == "FIFO") {
        *fifo = std::make_unique<FifoInPlace>(path);
        return (*fifo)->isValid() ? QString() : "no FIFO";
    }
    if (kind == "folder")
        return QDir().mkpath(path) ? QString() : "no folder";
    if (kind == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        // Relative: the sandbox's absolute path may not fit the address.
        const QByteArray relative = QFile::encodeName(QDir::current().relativeFilePath(path));
        if (fd < 0 || relative.size() >= int(sizeof(address.sun_path)))
            return "no socket";
        qstrcpy(address.sun_path, relative.constData());
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd); // the name stays
        return bound ? QString() : "socket not bound";
    }
    if (kind == "link to a lock file" || kind == "link to /dev/zero") {
        // A plain file an hour old, as a lock left by a killed copy looks.
        const QByteArray target =
            kind == "link to /dev/zero" ? QByteArray("/dev/zero") : name + ".old";
        if (!target.startsWith("/dev")) {
            QFile old(QFile::decodeName(target));
            if (!old.open(QIODevice::WriteOnly) || old.write("12345\nmagnetometer\nhost\n") < 0 ||
                !old.flush())
                return "no old lock";
            old.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                            QFileDevice::FileModificationTime);
        }
        return ::symlink(target.constData(), name.constData()) == 0 ? QString() : "no link";
    }
    if (kind == "larger than a lock") {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QByteArray(InstanceGuard::MaxLockBytes + 1, 'x')) < 0 || !file.flush())
            return "no file";
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                         QFileDevice::FileModificationTime);
        return QString();
    }
    return "unknown kind " + kind;
}

// The kind and size of what the name is, without following a link.
QString kindOf(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return "nothing";
    return QString("mode %1 size %2").arg(info.st_mode & S_IFMT).arg(info.st_size);
}

QMessageBox* openBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// The guard's refusal box: the program's usual kind, starting with \a text and
// naming \a place; closing it ends the event loop with exit code 1.
void closeRefusalBox(const QString& text, const QString& place)
{
    QPointer<QMessageBox> box = openBox();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QString("提示"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY(!box->parent());
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY2(box->text().startsWith(text), qPrintable(box->text()));
    QVERIFY(box->text().contains(place));
    QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
    QObject thisCase; // a box that stays ends the loop, but no later case's
    QTimer::singleShot(10000, &thisCase, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 1);
    QTRY_VERIFY(box.isNull());
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
    void somethingElseInTheLockPlaceTellsTheOperator_data();
    void somethingElseInTheLockPlaceTellsTheOperator();
    void programWithSomethingElseInTheLockPlaceStartsNothing_data();
    void programWithSomethingElseInTheLockPlaceStartsNothing();
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
        closeRefusalBox(text, folder);
        if (QTest::currentTestFailed())
            return;
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

// Anything but a small plain file in the lock's place: the guard says what is
// in the way (debug output and the box, in the language of "config.ini"),
// without claiming that another copy runs, and leaves the thing as it was;
// closing the box ends the event loop with exit code 1. Reading the thing
// would block (a FIFO) or report process 0 (a folder); a link or an oversized
// file would be taken over as a stale lock.
void TestInstanceGuard::somethingElseInTheLockPlaceTellsTheOperator_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("chinese");
    QTest::addColumn<QString>("text");
    const QString notPlain = "The program's lock file is not a plain file";
    QTest::newRow("folder") << "folder" << 0 << notPlain;
    QTest::newRow("folder, Chinese") << "folder" << 1 << "程序的锁文件不是普通文件";
    QTest::newRow("FIFO") << "FIFO" << 0 << notPlain;
    QTest::newRow("socket") << "socket" << 0 << notPlain;
    QTest::newRow("link to a lock file") << "link to a lock file" << 0 << notPlain;
    QTest::newRow("larger than a lock")
        << "larger than a lock" << 0 << "The program's lock file is too large";
    QTest::newRow("larger than a lock, Chinese") << "larger than a lock" << 1 << "程序的锁文件过大";
}

void TestInstanceGuard::somethingElseInTheLockPlaceTellsTheOperator()
{
    QFETCH(QString, kind);
    QFETCH(int, chinese);
    QFETCH(QString, text);
    writeFile("config.ini", QString("[Sensitivity]\nisChinese=%1\n").arg(chinese).toLatin1());
    const QString folder = QDir::current().absoluteFilePath("in-the-way");
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    const QString lock = folder + "/" + InstanceGuard::lockFileName();
    std::unique_ptr<FifoInPlace> fifo;
    const QString failed = placeInTheWay(kind, lock, &fifo);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    const QString before = kindOf(lock);

    DebugLines debug;
    InstanceGuard guard(folder);
    bool claimed = true;
    if (fifo)
        QVERIFY2(fifo->returnsWithin(3000, [&] { claimed = guard.claim(); }),
                 "blocked on the FIFO");
    else
        claimed = guard.claim();
    QVERIFY(!claimed);
    const QStringList lines = debug.all();
    QCOMPARE(lines.filter(InTheWay).size(), 1);
    QVERIFY2(lines.filter(lock).size() == 1, qPrintable(lines.join("; ")));
    QVERIFY2(lines.filter(Refused).isEmpty(), qPrintable(lines.join("; ")));

    closeRefusalBox(text, lock);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(kindOf(lock), before);
}

// The program started with such a thing in the lock's place, as it happened:
// a FIFO held the start for good, a link to /dev/zero filled memory (here the
// copy has an address-space limit, so that it fails rather than fill the
// machine), a folder made every start report another copy as process 0. Now
// the copy says what is in the way and waits for the box to be closed, having
// written nothing and left the thing as it was.
void TestInstanceGuard::programWithSomethingElseInTheLockPlaceStartsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "FIFO";
    QTest::newRow("link to /dev/zero") << "link to /dev/zero";
    QTest::newRow("folder") << "folder";
}

void TestInstanceGuard::programWithSomethingElseInTheLockPlaceStartsNothing()
{
    QFETCH(QString, kind);
    const QString folder = installCopy(QString("install-%1").arg(QTest::currentDataTag()));
    QVERIFY(!folder.isEmpty());
    const QString lock = folder + "/" + InstanceGuard::lockFileName();
    std::unique_ptr<FifoInPlace> fifo;
    const QString failed = placeInTheWay(kind, lock, &fifo);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    const QStringList before = snapshot(folder);
    const QString kindBefore = kindOf(lock);

    ProgramRun run(folder, folder, ProgramMemoryLimit);
    QCOMPARE(run.outcome(), InTheWay);
    const QString output = run.output();
    QVERIFY2(output.contains(lock), qPrintable(output));
    QVERIFY2(!output.contains(Refused) && !output.contains("Starting Application"),
             qPrintable(output));
    QVERIFY(run.running()); // the box waits for the operator
    QCOMPARE(snapshot(folder), before);
    QCOMPARE(kindOf(lock), kindBefore);
}

MAG_TEST_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
