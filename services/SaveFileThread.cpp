#include "services/SaveFileThread.h"

#include "app/Logger.h"
#include "app/RuntimePaths.h"
#include "app/SharedState.h"
#include "services/RecordingFormat.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

struct AppendResult
{
    bool ok = true;
    QString error;   // the file's error text
    QString logLine; // what the Logger gets when the spell begins
};

// A file that does not end with a line end holds the start of a row that a
// killed program left behind, or a run of NUL bytes of any length that a power
// loss left: everything after the last line end goes, so that the next rows do
// not join it. Only that tail is read, from the end back in blocks; a file
// without any line end holds no whole row and is emptied.
void dropPartialRow(QFile& file)
{
    constexpr qint64 BlockBytes = 64 * 1024;
    const qint64 size = file.size();
    char last = '\n';
    if (size == 0 || !file.seek(size - 1) || !file.getChar(&last) || last == '\n')
        return;
    qint64 keep = 0;
    qint64 blockEnd = size - 1;
    while (blockEnd > 0) {
        const qint64 blockStart = qMax<qint64>(0, blockEnd - BlockBytes);
        if (!file.seek(blockStart))
            return;
        const QByteArray block = file.read(blockEnd - blockStart);
        // A tail that cannot be read is left as it is rather than cut blind.
        if (block.size() != blockEnd - blockStart)
            return;
        const int end = block.lastIndexOf('\n');
        if (end >= 0) {
            keep = blockStart + end + 1;
            break;
        }
        blockEnd = blockStart;
    }
    file.resize(keep);
}

// A process killed inside write() keeps what the kernel had copied, and the
// kernel stops between pages of the file. So each write stays inside one 4 KiB
// page of the file and ends at a row end; only a row that crosses a page end is
// written across it, on its own. Returns the bytes written.
qint64 writeByPages(QFile& file, qint64 at, const QByteArray& bytes)
{
    constexpr qint64 PageBytes = 4096;
    const qint64 size = bytes.size();
    qint64 done = 0;
    while (done < size) {
        qint64 length = qMin(PageBytes - (at + done) % PageBytes, size - done);
        if (done + length < size) {
            const int lastEnd = bytes.lastIndexOf('\n', int(done + length - 1));
            if (lastEnd >= done) {
                length = lastEnd + 1 - done;
            } else {
                const int rowEnd = bytes.indexOf('\n', int(done + length));
                length = (rowEnd < 0 ? size : rowEnd + 1) - done;
            }
        }
        const qint64 written = file.write(bytes.constData() + done, length);
        if (written != length)
            return done + qMax<qint64>(written, 0);
        done += length;
    }
    return done;
}

// Appends the bytes by whole rows. A short write is cut back to the old end, so
// that a full disk leaves no half row behind.
AppendResult appendToFile(const QString& fileName, const QByteArray& bytes)
{
    AppendResult result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        result.ok = false;
        result.error = file.errorString();
        result.logLine = QStringLiteral("Failed to open file for writing:") + result.error;
        return result;
    }
    dropPartialRow(file);
    const qint64 before = file.size();
    const qint64 written = writeByPages(file, before, bytes);
    if (written != bytes.size()) {
        result.ok = false;
        // A short write sets no error of its own.
        result.error = file.error() != QFileDevice::NoError
                           ? file.errorString()
                           : QStringLiteral("only %1 of %2 bytes written (disk full?)")
                                 .arg(qMax<qint64>(written, 0))
                                 .arg(bytes.size());
        file.resize(before);
    }
    file.close();
    if (result.ok && file.error() != QFileDevice::NoError) {
        result.ok = false;
        result.error = file.errorString();
    }
    if (!result.ok)
        result.logLine = QStringLiteral("Failed to write file %1:%2").arg(fileName, result.error);
    return result;
}

} // namespace

SaveFileThread::SaveFileThread() : QObject(nullptr)
{
    m_thread.start(this);
}

SaveFileThread::~SaveFileThread()
{
    m_thread.stop();
    giveUpHeld();
}

void SaveFileThread::slots_syncSaveParam(bool isSave, int interval, QString filePathName,
                                         bool isSaveConsecutivefiles)
{
    if (!isSave)
        giveUpHeld();
    m_save = isSave;
    m_filePathName = filePathName;
    m_countdown = qint64(interval);
    m_isSaveConsecutivefiles = isSaveConsecutivefiles;
    if (isSave)
        m_rebaseRequest = true;
}

bool SaveFileThread::rebase(qint64 arrivalMs)
{
    if (m_hasBase && arrivalMs <= m_baseMs + m_offset + ReanchorSlackMs)
        return false;
    m_hasBase = true;
    m_baseMs = arrivalMs;
    m_offset = 0;
    return true;
}

void SaveFileThread::setRollLimits(qint64 fromMs)
{
    m_nextMidnightMs = RecordingFormat::nextMidnight(fromMs);
    m_nextFullHourMs = RecordingFormat::nextFullHour(fromMs);
}

void SaveFileThread::saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime)
{
    if (data_frequency <= 0 || data_frequency > 1000) {
        qDebug() << "saveCSVData: no step for the rate" << data_frequency;
        return;
    }
    const qint64 arrival =
        utcTime.isValid() ? utcTime.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();

    rebaseCheck(arrival, false);
    // Samples lost on the line leave no trace in the count: once the clock has
    // fallen more than the slack behind the arrivals, it follows them instead of
    // staying behind for good.
    rebase(arrival);

    const int step = 1000 / data_frequency;
    // Samples left over from another rate never complete a batch of this one.
    if (m_pendingRate != data_frequency) {
        m_pendingStamps.clear();
        m_pendingValues.clear();
        m_pendingRate = data_frequency;
    }
    const qint64 first = m_baseMs + m_offset;
    for (int i = 0; i < datas.size(); ++i) {
        m_pendingStamps.append(first + qint64(step) * i);
        m_pendingValues.append(datas[i]);
    }
    m_offset += qint64(datas.size()) * step;

    if (m_pendingValues.size() == data_frequency) {
        finishBatch(data_frequency, step);
    } else if (m_pendingValues.size() > data_frequency) {
        qDebug() << "saveCSVData: more samples than one second, dropped:" << m_pendingValues.size()
                 << data_frequency;
        m_pendingStamps.clear();
        m_pendingValues.clear();
    }

    cleanupCheck(arrival);
}

void SaveFileThread::rebaseCheck(qint64 arrivalMs, bool requested)
{
    SharedState& state = SharedState::instance();
    const bool resync = state.resyncTime();
    if (!resync && !m_rebaseRequest && !requested && m_hasBase)
        return;
    if (resync)
        state.setResyncTime(false);
    const bool recordingStart = m_rebaseRequest;
    m_rebaseRequest = false;
    // A new recording counts its roll limits from its own first row.
    if (rebase(arrivalMs) || recordingStart)
        setRollLimits(m_baseMs + m_offset);
    m_lastCleanupMs = arrivalMs;
}

void SaveFileThread::cleanupCheck(qint64 arrivalMs)
{
    if (arrivalMs - m_lastCleanupMs < CleanupPeriodSecs * 1000)
        return;
    m_lastCleanupMs = arrivalMs;
    const int slash = m_filePathName.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        removeOldCsvFiles(m_filePathName.left(slash), arrivalMs - KeepSecs * 1000);
}

void SaveFileThread::countDown()
{
    if (--m_countdown == 0) {
        m_save = false;
        giveUpHeld();
        emit sig_saveFinished();
    }
}

void SaveFileThread::finishBatch(int rate, int step)
{
    emit sig_SendServerData(m_pendingStamps.first(), m_pendingValues, rate, step);

    const bool writing = m_save && !m_filePathName.isEmpty();
    const int count = m_pendingStamps.size();
    int from = 0;
    const int slash = m_filePathName.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        for (int i = 0; i < count; ++i) {
            const qint64 stamp = m_pendingStamps[i];
            if (stamp < (rate == 1000 ? m_nextFullHourMs : m_nextMidnightMs))
                continue;
            if (writing && i > from)
                writeMzCsv(m_filePathName, rate, from, i);
            m_filePathName = m_filePathName.left(slash + 1) + RecordingFormat::fileStamp(stamp) +
                             QStringLiteral(".CSV");
            setRollLimits(stamp);
            from = i;
        }
    }
    if (writing && count > from)
        writeMzCsv(m_filePathName, rate, from, count);
    m_pendingStamps.clear();
    m_pendingValues.clear();
    countDown();
}

void SaveFileThread::giveUpHeld()
{
    if (!m_held.isEmpty() && !flushHeld())
        dropHeld();
}

void SaveFileThread::writeMzCsv(const QString& path, int rate, int from, int to)
{
    writeRows(RecordingFormat::mzFileName(path, rate), to - from, [&](QByteArray& out) {
        RecordingFormat::appendMzRows(out, rate, m_pendingStamps.constData() + from,
                                      m_pendingValues.constData() + from, to - from);
    });
}

void SaveFileThread::writeRows(const QString& fileName, int rows,
                               const std::function<void(QByteArray&)>& appendRows)
{
    // Held rows go in chunks, so that the cap can drop the oldest of them also
    // while one file keeps failing.
    if (m_held.isEmpty() || m_held.last().fileName != fileName ||
        m_held.last().bytes.size() >= HeldChunkBytes)
        m_held.append({fileName, QByteArray(), 0});
    HeldRows& held = m_held.last();
    const int before = held.bytes.size();
    appendRows(held.bytes);
    held.rows += rows;
    m_heldBytes += held.bytes.size() - before;
    flushHeld();
}

bool SaveFileThread::flushHeld()
{
    while (!m_held.isEmpty()) {
        const HeldRows& rows = m_held.first();
        const AppendResult result = appendToFile(rows.fileName, rows.bytes);
        if (!result.ok) {
            ++m_failedWrites;
            if (!m_writeFailing) {
                m_writeFailing = true;
                Logger::instance()->write(result.logLine);
                emit sig_saveFailed(rows.fileName, result.error);
            }
            while (m_heldBytes > MaxHeldBytes && m_held.size() > 1) {
                m_lostRows += m_held.first().rows;
                m_heldBytes -= m_held.first().bytes.size();
                m_held.removeFirst();
            }
            return false;
        }
        m_heldBytes -= rows.bytes.size();
        m_held.removeFirst();
    }
    if (m_writeFailing) {
        Logger::instance()->write(
            QStringLiteral("Recording file written again after %1 failed writes, %2 rows lost")
                .arg(m_failedWrites)
                .arg(m_lostRows));
        m_writeFailing = false;
        m_failedWrites = 0;
        m_lostRows = 0;
    }
    return true;
}

void SaveFileThread::dropHeld()
{
    for (const HeldRows& rows : qAsConst(m_held))
        m_lostRows += rows.rows;
    m_held.clear();
    m_heldBytes = 0;
    if (m_writeFailing) {
        Logger::instance()->write(
            QStringLiteral("Recording stopped after %1 failed writes, %2 rows not written")
                .arg(m_failedWrites)
                .arg(m_lostRows));
    }
    m_writeFailing = false;
    m_failedWrites = 0;
    m_lostRows = 0;
}

void SaveFileThread::removeOldCsvFiles(const QString& folder, qint64 cutoffMs)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    const QStringList names = dir.entryList({QStringLiteral("*.CSV")}, QDir::Files, QDir::NoSort);
    for (const QString& name : names) {
        // The names carry the UTC time they were started at.
        if (name.size() < 15 || name.at(8) != QLatin1Char('_'))
            continue;
        const QDate date = QDate::fromString(name.left(8), QStringLiteral("yyyyMMdd"));
        const QTime time = QTime::fromString(name.mid(9, 6), QStringLiteral("hhmmss"));
        if (!date.isValid() || !time.isValid())
            continue;
        if (QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch() < cutoffMs)
            dir.remove(name);
    }
}

void SaveFileThread::slot_saveCrashLog(qint64 timestamp, QString text)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(timestamp, Qt::LocalTime);
    const QString folder = RuntimePaths::logsDir();
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/MZ_Crash_") + t.toString(QStringLiteral("yyyy_MM_dd")) +
               QStringLiteral(".dmp"));
    if (!file.open(QIODevice::Append | QIODevice::Text)) {
        qDebug() << "Failed to open file for writing:" << file.errorString();
        return;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8"); // as every other text file of the program
    out << t.toString(QStringLiteral("HH:mm:ss  ")) << text << "\n";
}

void SaveFileThread::slot_saveVectorB9orB12CSV(QVector<double> datas)
{
    static const char* const Labels[] = {"1111", "1000", "0100", "1111", "0010",
                                         "0001", "1111", "0000", "0000"};
    const auto now = [] {
        return QDateTime::currentDateTimeUtc().toString(QStringLiteral("HHmmss"));
    };
    if (m_testStart.isEmpty())
        m_testStart = now();
    if (++m_testCalls >= 399601) {
        m_testCalls = 0;
        m_testStart = now();
    }
    const QString path = RuntimePaths::appDir() + QStringLiteral("/file/B9三轴测试_") +
                         m_testStart + QStringLiteral(".CSV");
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text)) {
        qDebug().noquote() << "ceshi 1211-2 :" + file.errorString() + ":" + path;
        return;
    }
    QTextStream out(&file);
    out.setRealNumberPrecision(10);
    for (int k = 0; k < datas.size(); ++k) {
        out << datas[k] << "," << Labels[k % 9] << "\n";
        if ((k + 1) % 3 == 0) {
            const double a = datas[k - 2], b = datas[k - 1], c = datas[k];
            out << (b * b + c * c) * 0.5 - a * a << ",sqrt\n";
        }
        if ((k + 1) % 9 == 0) {
            out << "S," << (datas[k - 5] + datas[k - 2] + datas[k - 8]) / (3 * m_testDivisor)
                << "\n";
            out << "--------------,-------------\n";
        }
    }
}

void SaveFileThread::slot_saveVectorXYZS(FIDVectorNum fidVectorNum, QDateTime utcTime)
{
    XYZST sample;
    sample.xValue = fidVectorNum.x;
    sample.yValue = fidVectorNum.y;
    sample.zValue = fidVectorNum.z;
    sample.sValue = fidVectorNum.s;
    for (int i = 0; i < 9; ++i)
        sample.f[i] = fidVectorNum.f[i];
    // A record the decoder marked invalid still holds the nine measured
    // frequencies: it is recorded like any other. Only a value that is not
    // finite, which no reader of the file or the upload could take, stays out.
    bool finite = true;
    for (const double v : {sample.xValue, sample.yValue, sample.zValue, sample.sValue})
        finite = finite && std::isfinite(v);
    for (const double v : sample.f)
        finite = finite && std::isfinite(v);
    m_vectorPending.append(sample);
    m_vectorFinite.append(finite);
    if (m_vectorPending.size() < VectorBatch)
        return;

    const qint64 arrival =
        utcTime.isValid() ? utcTime.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
    rebaseCheck(arrival, m_vectorFirstBatch);
    m_vectorFirstBatch = false;
    // As on the scalar road: the stamps follow the arrivals once they fall
    // more than the slack behind.
    rebase(arrival);
    const qint64 first = m_baseMs + m_offset;
    m_vectorStamps.resize(m_vectorPending.size());
    for (int i = 0; i < m_vectorPending.size(); ++i) {
        m_vectorStamps[i] = first + qint64(VectorStepMs) * i;
        m_vectorPending[i].time = RecordingFormat::timeText(m_vectorStamps[i], true);
    }
    m_offset += qint64(m_vectorPending.size()) * VectorStepMs;

    finishVectorBatch();
    cleanupCheck(arrival);
    m_vectorPending.clear();
    m_vectorFinite.clear();
}

void SaveFileThread::finishVectorBatch()
{
    sendVectorRuns();

    // Vector data roll at every full hour, by the rows' own stamps.
    const bool writing = m_save && !m_filePathName.isEmpty();
    const int count = m_vectorPending.size();
    int from = 0;
    const int slash = m_filePathName.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        for (int i = 0; i < count; ++i) {
            const qint64 stamp = m_vectorStamps[i];
            if (stamp < m_nextFullHourMs)
                continue;
            if (writing && i > from)
                writeVectorCsv(m_filePathName, from, i);
            m_filePathName = m_filePathName.left(slash + 1) + RecordingFormat::fileStamp(stamp) +
                             QStringLiteral(".CSV");
            setRollLimits(stamp);
            from = i;
        }
    }
    if (writing && count > from)
        writeVectorCsv(m_filePathName, from, count);
    countDown();
}

void SaveFileThread::sendVectorRuns()
{
    const int count = m_vectorPending.size();
    int i = 0;
    while (i < count) {
        if (!m_vectorFinite[i]) {
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < count && m_vectorFinite[end])
            ++end;
        emit sig_SendServerVectorData(m_vectorStamps[i], m_vectorPending.mid(i, end - i),
                                      VectorRate, VectorStepMs);
        i = end;
    }
}

void SaveFileThread::writeVectorCsv(const QString& path, int from, int to)
{
    const int rows =
        int(std::count(m_vectorFinite.constBegin() + from, m_vectorFinite.constBegin() + to, true));
    if (rows == 0)
        return;
    writeRows(RecordingFormat::vectorFileName(path), rows, [&](QByteArray& out) {
        for (int i = from; i < to; ++i)
            if (m_vectorFinite[i])
                RecordingFormat::appendVectorRows(out, m_vectorPending.constData() + i, 1);
    });
}
