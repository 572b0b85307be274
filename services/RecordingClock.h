#pragma once
// The recorder's clock: stamps the samples of both roads (scalar batches and
// vector records) one step after another, re-bases, rolls the recording path at
// the next full UTC hour or UTC midnight, and says when the daily clean-up of old
// recordings is due.
//
// Stamps follow each other on a running clock, so every row is later than the one
// before, and batches that follow each other without a break are exactly one batch
// span apart. The clock starts at the arrival time of the first batch. At a
// re-base (a recording starts, or the caller asks because the stream may have been
// interrupted) it moves to the arrival time of the batch only when that lies more
// than ReanchorSlackMs beyond the running clock. Samples lost on the line leave no
// trace in the count, so the clock also moves to any batch's arrival once it has
// fallen more than that behind. It never moves back.
//
// Rolls go by the rows' own stamps: the first row at or past the limit starts a
// new recording path in the same folder, named after that row's time. A path
// without a folder never rolls. A recording start counts its limits from its own
// first row; every re-base restarts the clean-up clock, a roll does not.
//
// Threads: a plain value owned by the recorder and called in its thread only.

#include "app/SharedTypes.h"

#include <QString>

class RecordingClock
{
public:
    // A re-base moves the clock only to an arrival this much beyond it.
    static constexpr qint64 ReanchorSlackMs = 1000;
    static constexpr qint64 CleanupPeriodSecs = 86401;

    enum class Roll
    {
        AtFullHour,
        AtMidnight
    };
    // 1000 Hz recordings roll every hour, slower ones at UTC midnight.
    static Roll rollFor(int rate)
    {
        return rate == Freq1000Hz ? Roll::AtFullHour : Roll::AtMidnight;
    }
    // The samples of a rate are stamped this many ms apart (a second over the rate,
    // truncated); 0 for a rate without a whole step: not positive, or more than one
    // sample a millisecond.
    static int stepMsFor(int rate);

    // The recording path as the save page gave it, or as a roll renamed it.
    void setPath(const QString& path) { m_path = path; }
    const QString& path() const { return m_path; }

    // A recording starts: the next batch re-bases.
    void requestRebase() { m_rebaseRequest = true; }

    // Stamps `count` samples `stepMs` apart that arrived at `arrivalMs` and returns
    // the stamp of the first. `rebaseAsked`: re-base before, as at a recording start.
    qint64 stamp(qint64 arrivalMs, bool rebaseAsked, int count, int stepMs);

    // Renames the path after `stampMs` when that reaches the roll limit; true if so.
    bool roll(qint64 stampMs, Roll roll);

    // True, and restarted, once CleanupPeriodSecs have passed since the last re-base
    // or clean-up.
    bool cleanupDue(qint64 arrivalMs);

private:
    // Moves the clock to `arrivalMs` when it has none yet or lies too far behind.
    bool moveTo(qint64 arrivalMs);
    void setRollLimits(qint64 fromMs);

    QString m_path;
    bool m_hasBase = false;
    qint64 m_baseMs = 0;
    qint64 m_offset = 0; // ms from the base to the next sample
    bool m_rebaseRequest = true;
    qint64 m_lastCleanupMs = 0;
    qint64 m_nextMidnightMs = 0;
    qint64 m_nextFullHourMs = 0;
};
