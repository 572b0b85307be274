#pragma once
// The fault switches of the command line, and the decisions they make for each
// reply or stream frame. Items are counted from 1 in the order they are sent.
// Main thread only.

#include "Rng.h"

#include <QString>

// Which items a fault hits: "N" the Nth only, "every:N" every Nth (N, 2N, ...),
// "all", or a probability "0.25" (a number with a decimal point).
class FaultSelector
{
public:
    static bool parse(const QString& text, FaultSelector& out, QString* error);

    bool isSet() const { return m_mode != Mode::Never; }
    bool hits(quint64 index, Rng& rng) const;

private:
    enum class Mode
    {
        Never,
        Nth,
        Every,
        Probability
    };
    Mode m_mode = Mode::Never;
    quint64 m_n = 0;
    double m_p = 0.0;
};

class FaultInjector
{
public:
    struct Settings
    {
        FaultSelector strayBytes, badCrc, truncateFrames, dropFrames;
        FaultSelector loseByte, corruptRecords, statusInStream; // stream frames

        int exceptionRegister = 0; // 0: off
        FaultSelector exceptionWhich;
        double loseLockAfter = -1.0, silentAfter = -1.0, closeAfter = -1.0; // s, < 0: off
    };

    FaultInjector(const Settings& settings, quint64 seed);
    const Settings& settings() const { return m_settings; }

    // Each call counts one item of its kind.
    bool exceptionFor(int firstRegister, int count); // a request touching the register
    void nextReply(bool& strayByte, bool& badCrc);
    struct FrameFaults
    {
        bool drop = false, truncate = false;
        bool loseByte = false;      // one byte in the middle left out
        bool corruptRecord = false; // FID modes: one record's value2 zeroed
        bool statusBefore = false;  // a status reply sent just before the frame
    };
    FrameFaults nextFrame();

private:
    Settings m_settings;
    Rng m_rng;
    quint64 m_replies = 0, m_frames = 0, m_exceptionMatches = 0;
};
