#include "services/RecordingFormat.h"

#include <QDateTime>

#include <charconv>

namespace RecordingFormat {

namespace {
const QString CsvSuffix = QStringLiteral(".CSV");

// The rows are written in one piece, so the line end is the one text mode
// would write on this platform.
#ifdef Q_OS_WIN
const char LineEnd[] = "\r\n";
#else
const char LineEnd[] = "\n";
#endif

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

char* twoDigits(char* p, int v)
{
    *p++ = char('0' + v / 10);
    *p++ = char('0' + v % 10);
    return p;
}

// Writes the time text of `ms` at p; returns the end.
char* writeTime(char* p, qint64 ms, bool withMs)
{
    const qint64 ofDay = ms - floorDiv(ms, MsPerDay) * MsPerDay;
    const int msec = int(ofDay % 1000);
    const int secs = int(ofDay / 1000);
    p = twoDigits(p, secs / 3600);
    *p++ = ':';
    p = twoDigits(p, secs / 60 % 60);
    *p++ = ':';
    p = twoDigits(p, secs % 60);
    if (withMs) {
        *p++ = '.';
        *p++ = char('0' + msec / 100);
        p = twoDigits(p, msec % 100);
    }
    return p;
}
} // namespace

QString withoutCsvSuffix(const QString& path)
{
    if (path.endsWith(CsvSuffix, Qt::CaseInsensitive))
        return path.left(path.size() - CsvSuffix.size());
    return path;
}

QString mzFileName(const QString& recordingPath, int rate)
{
    return QStringLiteral("%1_MZ_%2Hz.CSV").arg(withoutCsvSuffix(recordingPath)).arg(rate);
}

QString vectorFileName(const QString& recordingPath)
{
    return QStringLiteral("%1_FIDVector_111Hz.CSV").arg(withoutCsvSuffix(recordingPath));
}

QString fileStamp(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("yyyyMMdd_hhmmss"));
}

qint64 nextFullHour(qint64 ms)
{
    return (floorDiv(ms, MsPerHour) + 1) * MsPerHour;
}

qint64 nextMidnight(qint64 ms)
{
    return (floorDiv(ms, MsPerDay) + 1) * MsPerDay;
}

QString timeText(qint64 ms, bool withMs)
{
    char text[16];
    const char* end = writeTime(text, ms, withMs);
    return QString::fromLatin1(text, int(end - text));
}

void appendMzRows(QByteArray& out, int rate, const qint64* stamps, const double* values, int count)
{
    const bool withMs = rate != 1;
    // Time (12), comma, a %.10g number (at most 17) and the line end.
    constexpr int MaxRow = 12 + 1 + 32 + 2;
    const int start = out.size();
    out.resize(start + count * MaxRow);
    char* p = out.data() + start;
    for (int i = 0; i < count; ++i) {
        p = writeTime(p, stamps[i], withMs);
        *p++ = ',';
        p = std::to_chars(p, p + 32, values[i], std::chars_format::general, 10).ptr;
        for (const char* e = LineEnd; *e; ++e)
            *p++ = *e;
    }
    out.resize(int(p - out.data()));
}

void appendVectorRows(QByteArray& out, const XYZST* samples, int count)
{
    // Thirteen numbers of at most 17 characters, their commas, the time and the line end.
    constexpr int MaxRow = 16 + 13 * 33 + 2;
    const int start = out.size();
    out.resize(start + count * MaxRow);
    char* p = out.data() + start;
    for (int i = 0; i < count; ++i) {
        const XYZST& sample = samples[i];
        const QByteArray time = sample.time.toLatin1();
        for (const char c : time)
            *p++ = c;
        const double numbers[] = {sample.xValue, sample.yValue, sample.zValue, sample.sValue};
        for (const double v : numbers) {
            *p++ = ',';
            p = std::to_chars(p, p + 32, v, std::chars_format::general, 10).ptr;
        }
        for (const double v : sample.f) {
            *p++ = ',';
            p = std::to_chars(p, p + 32, v, std::chars_format::general, 10).ptr;
        }
        for (const char* e = LineEnd; *e; ++e)
            *p++ = *e;
    }
    out.resize(int(p - out.data()));
}

} // namespace RecordingFormat
