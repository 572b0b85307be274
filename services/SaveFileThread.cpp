#include "services/SaveFileThread.h"

#include "app/RuntimePaths.h"
#include "app/SharedState.h"
#include "services/RecordingFormat.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

SaveFileThread::SaveFileThread()
    : QObject(nullptr),
      m_writeFaults(FaultSpell::untilSuccess(
          [this](qint64 faults) {
              return QStringLiteral(
                         "Recording file written again after %1 failed writes, %2 rows lost")
                  .arg(faults)
                  .arg(m_lostRows);
          },
          [this](qint64 faults) {
              return QStringLiteral("Recording stopped after %1 failed writes, %2 rows not written")
                  .arg(faults)
                  .arg(m_lostRows);
          }))
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
    m_clock.setPath(filePathName);
    m_countdown = qint64(interval);
    m_isSaveConsecutivefiles = isSaveConsecutivefiles;
    if (isSave)
        m_clock.requestRebase();
}

bool SaveFileThread::takeResyncRequest()
{
    SharedState& state = SharedState::instance();
    if (!state.resyncTime())
        return false;
    state.setResyncTime(false);
    return true;
}

void SaveFileThread::saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime)
{
    const int step = RecordingClock::stepMsFor(data_frequency);
    if (step < 1) {
        qDebug() << "saveCSVData: no step for the rate" << data_frequency;
        return;
    }
    const qint64 arrival =
        utcTime.isValid() ? utcTime.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();

    const qint64 first = m_clock.stamp(arrival, takeResyncRequest(), datas.size(), step);
    // Samples left over from another rate never complete a batch of this one.
    if (m_pendingRate != data_frequency) {
        m_pendingStamps.clear();
        m_pendingValues.clear();
        m_pendingRate = data_frequency;
    }
    for (int i = 0; i < datas.size(); ++i) {
        m_pendingStamps.append(first + qint64(step) * i);
        m_pendingValues.append(datas[i]);
    }

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

void SaveFileThread::cleanupCheck(qint64 arrivalMs)
{
    if (!m_clock.cleanupDue(arrivalMs))
        return;
    const QString& path = m_clock.path();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        removeOldCsvFiles(path.left(slash), arrivalMs - KeepSecs * 1000);
}

void SaveFileThread::countDown()
{
    if (--m_countdown == 0) {
        m_save = false;
        giveUpHeld();
        emit sig_saveFinished();
    }
}

void SaveFileThread::recordRows(
    const QVector<qint64>& stamps, RecordingClock::Roll roll,
    const std::function<void(const QString& path, int from, int to)>& write)
{
    // Rolls happen whether or not a recording runs; only the writing depends on it.
    const bool writing = m_save && !m_clock.path().isEmpty();
    QString path = m_clock.path();
    int from = 0;
    for (int i = 0; i < stamps.size(); ++i) {
        if (!m_clock.roll(stamps[i], roll))
            continue;
        if (writing && i > from)
            write(path, from, i);
        path = m_clock.path();
        from = i;
    }
    if (writing && stamps.size() > from)
        write(path, from, stamps.size());
}

void SaveFileThread::finishBatch(int rate, int step)
{
    emit sig_SendServerData(m_pendingStamps.first(), m_pendingValues, rate, step);
    recordRows(m_pendingStamps, RecordingClock::rollFor(rate),
               [&](const QString& path, int from, int to) { writeMzCsv(path, rate, from, to); });
    m_pendingStamps.clear();
    m_pendingValues.clear();
    countDown();
}

void SaveFileThread::writeMzCsv(const QString& path, int rate, int from, int to)
{
    m_rows.clear();
    RecordingFormat::appendMzRows(m_rows, rate, m_pendingStamps.constData() + from,
                                  m_pendingValues.constData() + from, to - from);
    report(m_appender.append(RecordingFormat::mzFileName(path, rate), m_rows, to - from));
}

bool SaveFileThread::report(const RowAppender::Outcome& outcome)
{
    m_lostRows += outcome.droppedRows;
    if (!outcome.written) {
        if (m_writeFaults.fault(outcome.logLine))
            emit sig_saveFailed(outcome.fileName, outcome.error);
        return false;
    }
    m_writeFaults.success();
    m_lostRows = 0;
    return true;
}

void SaveFileThread::giveUpHeld()
{
    if (!m_appender.holdsRows() || report(m_appender.flush()))
        return;
    m_lostRows += m_appender.dropHeld();
    m_writeFaults.finish();
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
    const qint64 first = m_clock.stamp(arrival, takeResyncRequest() || m_vectorFirstBatch,
                                       m_vectorPending.size(), VectorStepMs);
    m_vectorFirstBatch = false;
    m_vectorStamps.resize(m_vectorPending.size());
    for (int i = 0; i < m_vectorPending.size(); ++i) {
        m_vectorStamps[i] = first + qint64(VectorStepMs) * i;
        m_vectorPending[i].time = RecordingFormat::timeText(m_vectorStamps[i], true);
    }

    finishVectorBatch();
    cleanupCheck(arrival);
    m_vectorPending.clear();
    m_vectorFinite.clear();
}

void SaveFileThread::finishVectorBatch()
{
    sendVectorRuns();

    // Vector data roll at every full hour, by the rows' own stamps.
    recordRows(m_vectorStamps, RecordingClock::Roll::AtFullHour,
               [this](const QString& path, int from, int to) { writeVectorCsv(path, from, to); });
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
    m_rows.clear();
    for (int i = from; i < to; ++i)
        if (m_vectorFinite[i])
            RecordingFormat::appendVectorRows(m_rows, m_vectorPending.constData() + i, 1);
    report(m_appender.append(RecordingFormat::vectorFileName(path), m_rows, rows));
}
