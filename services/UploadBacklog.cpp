#include "services/UploadBacklog.h"

#include "app/RegularFile.h"
#include "services/LastLine.h"
#include "services/ServerBodies.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {
const QRegularExpression& backlogName()
{
    static const QRegularExpression re(QStringLiteral("^ServerData(\\d+)\\.txt$"));
    return re;
}

int numberOf(const QString& path)
{
    const QRegularExpressionMatch m = backlogName().match(QFileInfo(path).fileName());
    bool ok = false;
    const int n = m.hasMatch() ? m.captured(1).toInt(&ok) : -1;
    return ok ? n : -1;
}

// The numbers of the backlog names in the folder among the entries `filters` lets
// through, ascending.
QList<int> numbersIn(const QString& folder, QDir::Filters filters)
{
    QSet<int> set;
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.txt")}, filters);
    for (const QString& name : names) {
        const int n = numberOf(name);
        if (n >= 0)
            set.insert(n);
    }
    QList<int> numbers = set.values();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A FIFO, a device, a socket, a folder or a link to none of them holds the name.
bool heldByOther(const QString& path)
{
    const QFileInfo info(path);
    return (info.exists() || info.isSymLink()) && !info.isFile();
}
} // namespace

void UploadBacklog::startBuffer(Kind kind, qint64 time, int rate, int interval)
{
    m_kind = kind;
    m_firstTime = time;
    m_lastTime = time;
    m_rate = rate;
    m_interval = interval;
}

void UploadBacklog::clearBuffer()
{
    m_kind = Kind::None;
    m_firstTime = -1;
    m_lastTime = -1;
    m_lastSpanMs = -1;
    m_rate = -1;
    m_interval = -1;
    m_scalarValues.clear();
    m_vectorValues.clear();
}

void UploadBacklog::bufferScalarData(qint64 time, const QVector<double>& values, int rate,
                                     int interval)
{
    if (m_kind != Kind::None &&
        (m_kind != Kind::Scalar || rate != m_rate || time - m_lastTime != 1000))
        saveBacklogRecord();
    if (m_kind == Kind::None) {
        startBuffer(Kind::Scalar, time, rate, interval);
        m_scalarValues = values;
    } else {
        m_scalarValues += values;
        m_lastTime = time;
    }
    if (m_scalarValues.size() >= RecordValueLimit)
        saveBacklogRecord();
}

void UploadBacklog::bufferVectorData(qint64 time, const QVector<XYZST>& vectors, int rate,
                                     int interval)
{
    // Vector batches follow each other without a gap: the next one starts where
    // the samples of the last one end.
    const qint64 diff = time - m_lastTime;
    if (m_kind != Kind::None && (m_kind != Kind::Vector || rate != m_rate || diff != m_lastSpanMs))
        saveBacklogRecord();
    if (m_kind == Kind::None) {
        startBuffer(Kind::Vector, time, rate, interval);
        m_vectorValues = vectors;
    } else {
        if (m_lastTime == m_firstTime) { // the record's first merge
            qDebug() << "成功差值:" << diff;
            qDebug() << "lasttimestamp:" << m_lastTime;
        }
        m_vectorValues += vectors;
        m_lastTime = time;
    }
    m_lastSpanMs = qint64(vectors.size()) * interval;
    if (m_vectorValues.size() >= RecordValueLimit)
        saveBacklogRecord();
}

void UploadBacklog::keepUnwritten(const QString& record)
{
    m_unwritten.append(record);
    m_unwrittenBytes += record.size();
    // Bounded: when the folder stays unwritable, the oldest records go first.
    int dropped = 0;
    while (m_unwrittenBytes > UnwrittenLimitBytes && m_unwritten.size() > 1) {
        m_unwrittenBytes -= m_unwritten.takeFirst().size();
        ++dropped;
    }
    for (int i = 0; i < dropped; ++i)
        m_droppedRecords.fault(
            QStringLiteral("backlog: records cannot be written, oldest dropped"));
}

bool UploadBacklog::saveBacklogRecord()
{
    if (!m_scalarValues.isEmpty())
        keepUnwritten(ServerBodies::scalarRecord(m_deviceType, m_firstTime, m_scalarValues, m_rate,
                                                 m_interval));
    else if (!m_vectorValues.isEmpty())
        keepUnwritten(ServerBodies::vectorRecord(m_deviceType, m_firstTime, m_vectorValues, m_rate,
                                                 m_interval));
    // The buffer's content is now a record of its own: a new batch never overwrites it.
    clearBuffer();
    if (m_unwritten.isEmpty())
        return true;

    skipHeldFile();
    const QString path = filePath(m_fileNumber);
    const QFileInfo info(path);
    if (info.exists() && info.size() > FileSizeLimit - 1)
        findBacklogFileNumber(false); // these records still go to the full file

    if (!writeTextFile(path, m_unwritten.join(QLatin1Char('\n'))))
        return false;
    m_unwritten.clear();
    m_unwrittenBytes = 0;
    m_droppedRecords.success();
    return true;
}

void UploadBacklog::findBacklogFileNumber(bool first)
{
    if (!QDir(m_folder).exists() && QDir().mkpath(m_folder))
        qDebug() << "成功创建 logs 文件夹";
    const QList<int> numbers = backlogNumbers();

    if (first) {
        for (const int n : numbers)
            endWithWholeRecord(filePath(n));
        m_fileNumber = 0;
        if (!numbers.isEmpty()) {
            m_fileNumber = numbers.last();
            for (const int n : numbers) {
                const QFileInfo info(filePath(n));
                if (!info.exists() || info.size() < FileSizeLimit) {
                    m_fileNumber = n;
                    break;
                }
            }
        }
        qDebug() << "first enter fileNum:" << m_fileNumber;
    } else if (numbers.size() < RingSize) {
        m_fileNumber = numberAfter(numbers.isEmpty() ? QList<int>{m_fileNumber} : numbers);
    } else {
        const int highest = numbers.last();
        auto after = [highest](int n) { return n >= highest ? 0 : n + 1; };
        int next = after(m_fileNumber);
        if (next == m_inFlight) // being uploaded: records must not join it
            next = after(next);
        m_fileNumber = next;
        for (const int n : numbers) {
            if (n >= next && n != m_inFlight) {
                qDebug() << "enter delete";
                deleteFile(filePath(n));
                break;
            }
        }
    }
    qDebug() << "20250709 fileNum:" << m_fileNumber;
}

QString UploadBacklog::listBacklogFiles()
{
    const QList<int> numbers = backlogNumbers();
    if (numbers.isEmpty())
        return QString();
    auto after = [&numbers](int n) {
        const auto next = std::upper_bound(numbers.cbegin(), numbers.cend(), n);
        return next == numbers.cend() ? numbers.first() : *next;
    };
    int pick = after(m_lastOffered);
    if (pick == m_fileNumber) {
        if (numbers.size() >= RingSize) {
            // A new file would grow the ring beyond its six: another file travels
            // instead, and this one once it has rolled.
            pick = after(pick);
        } else {
            // Records go elsewhere from now on, so none is appended while it travels.
            m_fileNumber = numberAfter(numbers);
            qDebug() << "20250709 fileNum:" << m_fileNumber;
        }
    }
    m_lastOffered = pick;
    return filePath(pick);
}

bool UploadBacklog::writeTextFile(const QString& path, const QString& text)
{
    // When the last line cannot be mended, the record still starts a line of its own.
    const bool atLineStart = endWithWholeRecord(path);
    QFile file;
    QString error;
    bool ok = RegularFile::open(file, path, QIODevice::Append | QIODevice::Text, &error) ==
              RegularFile::Status::Ok;
    if (ok) {
        const QByteArray bytes = (atLineStart ? "" : "\n") + text.toUtf8() + '\n';
        ok = file.write(bytes) == bytes.size() && file.flush();
        if (!ok)
            error = file.errorString();
    }
    if (!ok) {
        m_writeFailures.fault(QStringLiteral("Failed to open file for writing:") + error);
        return false;
    }
    m_writeFailures.success();
    return true;
}

bool UploadBacklog::endWithWholeRecord(const QString& path)
{
    QFile file;
    switch (RegularFile::open(file, path, QIODevice::ReadWrite)) {
    case RegularFile::Status::Ok:
        break;
    case RegularFile::Status::Missing:
        return true;
    default: // records never go to a FIFO or the like: it is not touched
        return false;
    }
    const qint64 size = file.size();
    char last = '\n';
    if (size > 0 && (!file.seek(size - 1) || !file.getChar(&last)))
        return false;
    if (last == '\n')
        return true;

    const qint64 lineStart = LastLine::start(file);
    if (lineStart < 0 || !file.seek(lineStart))
        return false;
    QByteArray record = file.read(size - lineStart);
    if (record.size() != size - lineStart)
        return false;
    // A kill between CR and LF (Windows) leaves a whole record and a CR.
    while (record.endsWith('\r'))
        record.chop(1);
    const bool whole = QJsonDocument::fromJson(record).isObject();
    if (!file.resize(whole ? lineStart + record.size() : lineStart))
        return false;
    file.close();
    qDebug().noquote() << "backlog:" << QFileInfo(path).fileName()
                       << (whole ? "ended without a line end" : "ended in a cut record, removed");
    if (!whole)
        return true;
    // The line end the append did not write, in the platform's form.
    if (RegularFile::open(file, path, QIODevice::Append | QIODevice::Text) !=
        RegularFile::Status::Ok)
        return false;
    return file.write("\n") == 1 && file.flush();
}

bool UploadBacklog::deleteFile(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        qDebug() << "File does not exist:" << path;
        return false;
    }
    if (!file.remove()) {
        qDebug() << "Failed to delete file:" << path;
        qDebug() << "Error:" << file.errorString();
        return false;
    }
    qDebug() << "File deleted successfully:" << path;
    return true;
}

void UploadBacklog::setUploadInFlight(const QString& path)
{
    m_inFlight = numberOf(path);
}

bool UploadBacklog::deleteUploaded(const QString& path)
{
    if (numberOf(path) == m_fileNumber) {
        qDebug() << "backlog: not deleting" << path << "- records go to it";
        return false;
    }
    return deleteFile(path);
}

int UploadBacklog::numberAfter(const QList<int>& numbers)
{
    if (numbers.isEmpty())
        return 0;
    if (numbers.last() < std::numeric_limits<int>::max())
        return numbers.last() + 1;
    // No number above: the lowest one not taken (numbers are ascending).
    int free = 0;
    for (const int n : numbers) {
        if (n > free)
            break;
        if (n == free)
            ++free;
    }
    return free;
}

QString UploadBacklog::filePath(int number) const
{
    return m_folder + QLatin1Char('/') + m_fileNamePattern.arg(number);
}

QList<int> UploadBacklog::backlogNumbers() const
{
    // Plain files only (and links to them): no FIFO, device or socket, nor a link to one.
    QList<int> numbers = numbersIn(m_folder, QDir::Files | QDir::NoDotAndDotDot);
    numbers.erase(std::remove_if(numbers.begin(), numbers.end(),
                                 [this](int n) { return heldByOther(filePath(n)); }),
                  numbers.end());
    return numbers;
}

void UploadBacklog::skipHeldFile()
{
    const QString held = filePath(m_fileNumber);
    if (!heldByOther(held))
        return;
    // Above every name present, whatever holds it: a file of its own.
    m_fileNumber =
        numberAfter(numbersIn(m_folder, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
    qDebug().noquote() << "backlog:" << QFileInfo(held).fileName()
                       << "is not a plain file, skipped and left alone; records go to"
                       << QFileInfo(filePath(m_fileNumber)).fileName();
}
