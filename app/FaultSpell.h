#pragma once
// Turns a run of repeated faults into a few log lines. Each fault's detail goes to
// the debug output; the log gets one line when a spell begins (with the first
// detail), one with the count every minute while it lasts, and one with the count
// when it ends: a minute without a fault (noticed at the next fault or success)
// or finish() (the link closed, a reset). So a fault that repeats every frame
// costs the daily log a line a minute, not a line a frame.
//
// Threads: not thread-safe; each owner calls it from its own thread only.

#include <QString>
#include <functional>

class FaultSpell
{
public:
    using Clock = std::function<qint64()>;            // monotonic milliseconds
    using Sink = std::function<void(const QString&)>; // where the spell lines go
    static constexpr qint64 QuietMs = 60000;          // a spell ends after this without faults
    static constexpr qint64 ReportIntervalMs = 60000; // count line while a spell lasts

    // `name` starts every line ("Stream faults"). By default the lines go to the
    // daily log (Logger) and the clock is the process's monotonic clock.
    explicit FaultSpell(QString name, Sink sink = Sink(), Clock clock = Clock());

    // One fault: the detail goes to the debug output; begins a spell or counts in one.
    void fault(const QString& detail);
    // Something went right: ends a spell that has been quiet long enough.
    void success();
    // Ends a running spell now.
    void finish();

    bool active() const { return m_active; }

private:
    void end();

    QString m_name;
    Sink m_sink;
    Clock m_clock;
    bool m_active = false;
    qint64 m_firstAt = 0;     // first fault of the spell
    qint64 m_lastAt = 0;      // latest fault
    qint64 m_reportedAt = 0;  // begin or latest count line
    qint64 m_total = 0;       // faults in the spell
    qint64 m_sinceReport = 0; // faults after the begin or the latest count line
};
