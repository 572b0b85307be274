#include "services/RecordingClock.h"

#include "services/RecordingFormat.h"

int RecordingClock::stepMsFor(int rate)
{
    return rate > 0 ? int(RecordingFormat::MsPerSecond / rate) : 0;
}

qint64 RecordingClock::stamp(qint64 arrivalMs, bool rebaseAsked, int count, int stepMs)
{
    if (rebaseAsked || m_rebaseRequest || !m_hasBase) {
        const bool recordingStart = m_rebaseRequest;
        m_rebaseRequest = false;
        // A new recording counts its roll limits from its own first row.
        if (moveTo(arrivalMs) || recordingStart)
            setRollLimits(m_baseMs + m_offset);
        m_lastCleanupMs = arrivalMs;
    }
    // Samples lost on the line leave no trace in the count: once the clock has
    // fallen more than the slack behind the arrivals, it follows them instead of
    // staying behind for good.
    moveTo(arrivalMs);
    const qint64 first = m_baseMs + m_offset;
    m_offset += qint64(count) * stepMs;
    return first;
}

bool RecordingClock::moveTo(qint64 arrivalMs)
{
    if (m_hasBase && arrivalMs <= m_baseMs + m_offset + ReanchorSlackMs)
        return false;
    m_hasBase = true;
    m_baseMs = arrivalMs;
    m_offset = 0;
    return true;
}

void RecordingClock::setRollLimits(qint64 fromMs)
{
    m_nextMidnightMs = RecordingFormat::nextMidnight(fromMs);
    m_nextFullHourMs = RecordingFormat::nextFullHour(fromMs);
}

bool RecordingClock::roll(qint64 stampMs, Roll roll)
{
    const int slash = m_path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || stampMs < (roll == Roll::AtFullHour ? m_nextFullHourMs : m_nextMidnightMs))
        return false;
    m_path = m_path.left(slash + 1) + RecordingFormat::fileStamp(stampMs) + QStringLiteral(".CSV");
    setRollLimits(stampMs);
    return true;
}

bool RecordingClock::cleanupDue(qint64 arrivalMs)
{
    if (arrivalMs - m_lastCleanupMs < CleanupPeriodSecs * 1000)
        return false;
    m_lastCleanupMs = arrivalMs;
    return true;
}
