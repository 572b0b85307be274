#pragma once
// Turns a run of repeated faults into a few log lines. Each fault's detail goes to
// the debug output; the log gets one line when a spell begins (with the first
// detail), one with the count every minute while it lasts, and one with the count
// when it ends: a minute without a fault (noticed at the next fault or success)
// or finish() (the link closed, a reset). So a fault that repeats every frame
// costs the daily log a line a minute, not a line a frame.
//
// A spell made by untilSuccess() is for a fault that repeats about once a second
// until something goes right again (a file that cannot be written, a server that
// refuses posts): its owner words the lines, the first fault's detail is the begin
// line, and the first success ends it.
//
// Threads: not thread-safe; each owner calls it from its own thread only.

#include <QString>
#include <functional>

class FaultSpell
{
public:
    using Clock = std::function<qint64()>;            // monotonic milliseconds
    using Sink = std::function<void(const QString&)>; // where the spell lines go
    // The end line of an untilSuccess() spell, given the faults it counted; an
    // empty text writes no line.
    using EndLine = std::function<QString(qint64 faults)>;
    static constexpr qint64 QuietMs = 60000;          // a spell ends after this without faults
    static constexpr qint64 ReportIntervalMs = 60000; // count line while a spell lasts

    // `name` starts every line ("Stream faults"). By default the lines go to the
    // daily log (Logger) and the clock is the process's monotonic clock.
    explicit FaultSpell(QString name, Sink sink = Sink(), Clock clock = Clock());

    // A spell that success() ends with the line `recovered` gives and finish()
    // with the one `stopped` gives. No detail goes to the debug output and no
    // count line is written: the begin line is the first fault's detail.
    static FaultSpell untilSuccess(EndLine recovered, EndLine stopped = EndLine(),
                                   Sink sink = Sink());
    // A sink for spells whose lines go to the debug output only.
    static void debugOutput(const QString& line);

    // One fault: begins a spell or counts in one. Returns true when it began one.
    bool fault(const QString& detail);
    // Something went right: ends a spell that has been quiet long enough (at once
    // for an untilSuccess() spell).
    void success();
    // Ends a running spell now.
    void finish();

    bool active() const { return m_active; }

private:
    void end();
    void endWith(const EndLine& line);

    QString m_name;
    Sink m_sink;
    Clock m_clock;
    bool m_untilSuccess = false;
    EndLine m_recovered;
    EndLine m_stopped;
    bool m_active = false;
    qint64 m_firstAt = 0;     // first fault of the spell
    qint64 m_lastAt = 0;      // latest fault
    qint64 m_reportedAt = 0;  // begin or latest count line
    qint64 m_total = 0;       // faults in the spell
    qint64 m_sinceReport = 0; // faults after the begin or the latest count line
};
