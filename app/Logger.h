#pragma once
// Process-wide log writer: one line per write, daily file under logs/<yyyy-MM-dd>/
// beside the executable, rolled past 5 MiB to log<yyyyMMdd>_NNN.txt. A day keeps
// only its newest MaxRolledFiles rolled files, so that no fault can fill the disk;
// day folders older than 7 days are removed at start and at each roll (a run
// that lasts weeks). Any thread may call write().

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QObject>
#include <QTextStream>
#include <functional>

class Logger : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // returns the current time (UTC)

    static constexpr qint64 RollSize = 5242880; // a file larger than this is rolled
    static constexpr int MaxRolledFiles = 5;    // rolled files kept per day folder

    static Logger* instance();

    // The program uses instance(); tests make their own with a folder and a clock.
    explicit Logger(const QString& logsDir, Clock clock = Clock());
    ~Logger() override;

    void write(const QString& text);

    QString currentFilePath() const;

private:
    QString todayPath();
    bool openFile();
    void rollFile();
    void dropOldRolledFiles(const QString& dir, const QString& baseName, const QString& suffix);
    void cleanOldLogs();

    QString m_logsDir;
    Clock m_clock;
    QFile m_file;
    QTextStream m_stream;
    mutable QMutex m_mutex;
};
