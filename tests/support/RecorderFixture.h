#pragma once
// Drives a SaveFileThread the way the hub does (queued into its thread), but waits
// for each call, and reads back what it wrote.

#include "services/SaveFileThread.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStringList>
#include <QVector>

namespace RecorderTest {

inline QDateTime utc(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

// Milliseconds of the day of a time text "HH:mm:ss" or "HH:mm:ss.zzz".
inline qint64 msOfDay(const char* p, int length)
{
    auto two = [p](int at) { return (p[at] - '0') * 10 + (p[at + 1] - '0'); };
    qint64 ms = ((two(0) * 60 + two(3)) * 60 + two(6)) * 1000LL;
    if (length >= 12)
        ms += (p[9] - '0') * 100 + (p[10] - '0') * 10 + (p[11] - '0');
    return ms;
}

struct Row
{
    QByteArray time;
    QByteArray value;
};

// Every row of a recording; `wellFormed` is false when a line is not "time,value"
// or the file does not end with a line end.
inline QVector<Row> readRows(const QString& path, bool* wellFormed = nullptr)
{
    QFile file(path);
    QVector<Row> rows;
    bool ok = file.open(QIODevice::ReadOnly);
    const QByteArray all = ok ? file.readAll() : QByteArray();
    ok = ok && (all.isEmpty() || all.endsWith('\n'));
    int start = 0;
    while (start < all.size()) {
        int end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        const QByteArray line = all.mid(start, end - start);
        const int comma = line.indexOf(',');
        const bool timeOk = comma == 8 || comma == 12;
        bool numberOk = false;
        if (timeOk)
            line.mid(comma + 1).toDouble(&numberOk);
        ok = ok && timeOk && numberOk && line.count(',') == 1;
        rows.append({line.left(comma), line.mid(comma + 1)});
        start = end + 1;
    }
    if (wellFormed)
        *wellFormed = ok;
    return rows;
}

class Recorder
{
public:
    SaveFileThread recorder;

    void sync(bool isSave, int interval, const QString& path)
    {
        QMetaObject::invokeMethod(
            &recorder, [&] { recorder.slots_syncSaveParam(isSave, interval, path, true); },
            Qt::BlockingQueuedConnection);
    }

    void batch(const QVector<double>& values, int rate, const QDateTime& arrival)
    {
        QMetaObject::invokeMethod(
            &recorder, [&] { recorder.saveCSVData(values, rate, arrival); },
            Qt::BlockingQueuedConnection);
    }

    void vector(const FIDVectorNum& record, const QDateTime& arrival)
    {
        QMetaObject::invokeMethod(
            &recorder, [&] { recorder.slot_saveVectorXYZS(record, arrival); },
            Qt::BlockingQueuedConnection);
    }

    void event(qint64 timestamp, const QString& text)
    {
        QMetaObject::invokeMethod(
            &recorder, [&] { recorder.slot_saveCrashLog(timestamp, text); },
            Qt::BlockingQueuedConnection);
    }
};

} // namespace RecorderTest
