#include "app/Logger.h"
#include "app/RuntimePaths.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

namespace {
const QDateTime Now(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
Logger::Clock fixedClock()
{
    return [] { return Now; };
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void writeBytes(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(QByteArray(size, 'x')) == size);
}
} // namespace

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    void instanceWritesBesideExecutable();
    void rollsOnlyPastTheLimit_data();
    void rollsOnlyPastTheLimit();
    void floodKeepsTheDayBounded();
    void cleanupKeepsRecentAndForeignEntries();
    void threadsKeepLinesWhole();
    void unusableFolderRecovers();
};

void TestLogger::instanceWritesBesideExecutable()
{
    // The working folder is the sandbox; the executable's folder is elsewhere.
    QTemporaryDir exeDir;
    RuntimePaths::setAppDir(exeDir.path());
    Logger::instance()->write(QStringLiteral("first line"));
    RuntimePaths::setAppDir(QDir::currentPath());

    const QDate today = QDateTime::currentDateTimeUtc().date();
    const QString path = exeDir.path() + "/logs/" + today.toString("yyyy-MM-dd") + "/log" +
                         today.toString("yyyyMMdd") + ".txt";
    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 1);
    QVERIFY(QRegularExpression(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] first line$)")
                .match(lines.first())
                .hasMatch());
    QVERIFY(!QDir("logs").exists());
    QCOMPARE(Logger::instance(), Logger::instance());
}

void TestLogger::rollsOnlyPastTheLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("firstRollExists");
    QTest::addColumn<QString>("rolledTo"); // empty: no roll
    QTest::newRow("exactly 5 MiB") << qint64(5242880) << false << QString();
    QTest::newRow("one byte more") << qint64(5242881) << false << "log20261209_001.txt";
    QTest::newRow("_001 taken") << qint64(5242881) << true << "log20261209_002.txt";
}

void TestLogger::rollsOnlyPastTheLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, firstRollExists);
    QFETCH(QString, rolledTo);
    QTemporaryDir dir;
    const QString day = dir.path() + "/2026-12-09";
    const QString current = day + "/log20261209.txt";
    writeBytes(current, size);
    if (firstRollExists)
        writeBytes(day + "/log20261209_001.txt", 3);

    Logger logger(dir.path(), fixedClock());
    logger.write(QStringLiteral("next"));

    if (rolledTo.isEmpty()) {
        QCOMPARE(QFileInfo(current).size(),
                 size + qint64(QByteArray("[2026-12-09 12:00:00.000] next\n").size()));
        QCOMPARE(QDir(day).entryList(QDir::Files).size(), 1);
        return;
    }
    QCOMPARE(QFileInfo(day + "/" + rolledTo).size(), size);
    QCOMPARE(readLines(current), QStringList{"[2026-12-09 12:00:00.000] next"});
    if (firstRollExists)
        QCOMPARE(QFileInfo(day + "/log20261209_001.txt").size(), qint64(3));
}

// However much a fault writes, a day keeps its current file and the newest
// MaxRolledFiles rolled ones; the names go on counting up.
void TestLogger::floodKeepsTheDayBounded()
{
    QTemporaryDir dir;
    const QString day = dir.path() + "/2026-12-09";
    const QString current = day + "/log20261209.txt";
    Logger logger(dir.path(), fixedClock());
    constexpr int Rolls = Logger::MaxRolledFiles + 3;
    for (int i = 1; i <= Rolls; ++i) {
        logger.write(QString("line %1").arg(i));
        // Past the limit at once (sparse, so the test writes little).
        QFile file(current);
        QVERIFY(file.resize(Logger::RollSize + 1));
    }
    logger.write(QStringLiteral("last"));

    QStringList expected{"log20261209.txt"};
    for (int i = Rolls - Logger::MaxRolledFiles + 1; i <= Rolls; ++i)
        expected << QString("log20261209_%1.txt").arg(i, 3, 10, QChar('0'));
    QCOMPARE(QDir(day).entryList(QDir::Files, QDir::Name), expected);
    QCOMPARE(readLines(current), QStringList{"[2026-12-09 12:00:00.000] last"});
    // The newest rolled file is the one written just before.
    QVERIFY(readLines(day + "/" + expected.last()).first().endsWith(QString("line %1").arg(Rolls)));
}

void TestLogger::cleanupKeepsRecentAndForeignEntries()
{
    QTemporaryDir dir;
    const QStringList removed{"2020-01-01", "2026-12-02"}; // 7 days and more before noon
    const QStringList kept{"2026-12-03", "2026-12-09", "notes", "2026-13-01"};
    for (const QString& name : removed + kept)
        QVERIFY(QDir(dir.path()).mkpath(name + "/sub"));
    writeBytes(dir.path() + "/server.ini", 4);
    writeBytes(dir.path() + "/2020-01-02", 4); // a file, not a day folder

    Logger logger(dir.path(), fixedClock());

    for (const QString& name : removed)
        QVERIFY2(!QFileInfo::exists(dir.path() + "/" + name), qPrintable(name));
    for (const QString& name : kept)
        QVERIFY2(QFileInfo::exists(dir.path() + "/" + name + "/sub"), qPrintable(name));
    QVERIFY(QFileInfo::exists(dir.path() + "/server.ini"));
    QVERIFY(QFileInfo::exists(dir.path() + "/2020-01-02"));
}

void TestLogger::threadsKeepLinesWhole()
{
    QTemporaryDir dir;
    Logger logger(dir.path(), fixedClock());
    constexpr int Threads = 8;
    constexpr int Lines = 400;
    const QString padding(200, QChar('p')); // long lines make tearing likely
    QVector<QThread*> threads;
    for (int t = 0; t < Threads; ++t) {
        threads << QThread::create([&logger, &padding, t] {
            for (int i = 0; i < Lines; ++i)
                logger.write(QString("t%1-%2 %3").arg(t).arg(i).arg(padding));
        });
        threads.last()->start();
    }
    for (QThread* thread : qAsConst(threads)) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }

    const QStringList lines = readLines(logger.currentFilePath());
    QCOMPARE(lines.size(), Threads * Lines);
    const QRegularExpression whole(R"(^\[2026-12-09 12:00:00\.000\] (t\d+-\d+) p{200}$)");
    QSet<QString> seen;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = whole.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line.left(80)));
        seen.insert(match.captured(1));
    }
    QCOMPARE(seen.size(), Threads * Lines);
}

void TestLogger::unusableFolderRecovers()
{
    QTemporaryDir dir;
    const QString logs = dir.path() + "/logs";
    writeBytes(logs, 1); // a file where the folder should be
    const QString path = logs + "/2026-12-09/log20261209.txt";

    QTest::ignoreMessage(QtDebugMsg, qPrintable("Failed to open log file: " + path));
    Logger logger(logs, fixedClock());
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Failed to open log file: " + path));
    logger.write(QStringLiteral("lost"));

    QVERIFY(QFile::remove(logs));
    logger.write(QStringLiteral("kept"));
    QCOMPARE(readLines(path), QStringList{"[2026-12-09 12:00:00.000] kept"});
}

MAG_TEST_MAIN_CORE(TestLogger)
#include "tst_logger.moc"
