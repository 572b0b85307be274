#include "app/Logger.h"

#include "app/RuntimePaths.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QMutexLocker>

Logger* Logger::instance()
{
    // Function-local static: initialised once, safely, by whichever thread comes first.
    static Logger* const logger = new Logger(RuntimePaths::logsDir());
    return logger;
}

Logger::Logger(const QString& logsDir, Clock clock)
    : m_logsDir(logsDir),
      m_clock(clock ? std::move(clock) : [] { return QDateTime::currentDateTimeUtc(); })
{
    cleanOldLogs();
    openFile();
}

Logger::~Logger()
{
    QMutexLocker lock(&m_mutex);
    m_stream.flush();
    m_file.close();
}

QString Logger::currentFilePath() const
{
    QMutexLocker lock(&m_mutex);
    return m_file.fileName();
}

void Logger::write(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    if (m_file.isOpen() && m_file.size() > RollSize) {
        m_stream.flush();
        m_file.close();
        rollFile();
        openFile();
    }
    if (!m_file.isOpen() && !openFile())
        return; // the line is lost; the next write tries again
    const QString stamp = m_clock().toUTC().toString("[yyyy-MM-dd hh:mm:ss.zzz] ");
    m_stream << stamp << text << '\n';
    m_stream.flush();
}

QString Logger::todayPath()
{
    const QDate today = m_clock().toUTC().date();
    const QString dayDir = m_logsDir + "/" + today.toString("yyyy-MM-dd");
    QDir().mkpath(dayDir);
    return dayDir + "/log" + today.toString("yyyyMMdd") + ".txt";
}

bool Logger::openFile()
{
    const QString path = todayPath();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qDebug().noquote() << "Failed to open log file: " + path;
        return false;
    }
    m_stream.setDevice(&m_file);
    m_stream.setCodec("UTF-8");
    return true;
}

namespace {
// Index of a rolled file "<base>_NNN.<suffix>", or 0 for any other name.
int rolledIndex(const QString& fileName, const QString& baseName, const QString& suffix)
{
    const QString prefix = baseName + QLatin1Char('_');
    const QString end = QLatin1Char('.') + suffix;
    if (!fileName.startsWith(prefix) || !fileName.endsWith(end))
        return 0;
    const QStringRef digits =
        fileName.midRef(prefix.size(), fileName.size() - prefix.size() - end.size());
    bool ok = false;
    const int index = digits.toInt(&ok);
    return ok && digits.size() >= 3 && index > 0 ? index : 0;
}
} // namespace

void Logger::rollFile()
{
    // One above the highest index of the day: the first free one until old files
    // are dropped, and afterwards still in the order the files were rolled.
    const QFileInfo info(m_file.fileName());
    const QString dir = info.absolutePath();
    const QString base = info.baseName();
    const QString suffix = info.completeSuffix();
    int highest = 0;
    for (const QString& name : QDir(dir).entryList(QDir::Files))
        highest = qMax(highest, rolledIndex(name, base, suffix));
    const QString target =
        QString("%1/%2_%3.%4").arg(dir, base).arg(highest + 1, 3, 10, QChar('0')).arg(suffix);
    QFile::rename(info.absoluteFilePath(), target); // a failure appends to the old file
    dropOldRolledFiles(dir, base, suffix);
    cleanOldLogs();
}

void Logger::dropOldRolledFiles(const QString& dir, const QString& baseName, const QString& suffix)
{
    QMap<int, QString> rolled; // by index, oldest first
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        const int index = rolledIndex(name, baseName, suffix);
        if (index > 0)
            rolled.insert(index, name);
    }
    while (rolled.size() > MaxRolledFiles)
        QFile::remove(dir + QLatin1Char('/') + rolled.take(rolled.firstKey()));
}

void Logger::cleanOldLogs()
{
    QDir logs(m_logsDir);
    if (!logs.exists())
        return;
    // Folders are named by UTC date, so compare in UTC.
    const QDateTime limit = m_clock().toUTC().addDays(-7);
    for (const QString& name : logs.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDate date = QDate::fromString(name, "yyyy-MM-dd");
        if (!date.isValid())
            continue;
        if (QDateTime(date, QTime(0, 0), Qt::UTC) < limit)
            QDir(logs.filePath(name)).removeRecursively();
    }
}
