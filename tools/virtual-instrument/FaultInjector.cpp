#include "FaultInjector.h"

bool FaultSelector::parse(const QString& text, FaultSelector& out, QString* error)
{
    const QString t = text.trimmed().toLower();
    bool ok = false;
    out = FaultSelector();
    if (t == QLatin1String("all")) {
        out.m_mode = Mode::Every;
        out.m_n = 1;
        return true;
    }
    if (t.startsWith(QLatin1String("every:"))) {
        out.m_n = t.mid(6).toULongLong(&ok);
        out.m_mode = Mode::Every;
    } else if (t.contains(QLatin1Char('.'))) {
        out.m_p = t.toDouble(&ok);
        ok = ok && out.m_p >= 0.0 && out.m_p <= 1.0;
        out.m_mode = Mode::Probability;
    } else {
        out.m_n = t.toULongLong(&ok);
        out.m_mode = Mode::Nth;
    }
    if (ok && out.m_mode != Mode::Probability && out.m_n == 0)
        ok = false;
    if (!ok) {
        out = FaultSelector();
        if (error)
            *error = QStringLiteral("'%1' is not N, every:N, all or a probability such as 0.1")
                         .arg(text);
    }
    return ok;
}

bool FaultSelector::hits(quint64 index, Rng& rng) const
{
    switch (m_mode) {
    case Mode::Never:
        return false;
    case Mode::Nth:
        return index == m_n;
    case Mode::Every:
        return index % m_n == 0;
    case Mode::Probability:
        return rng.uniform() < m_p;
    }
    return false;
}

FaultInjector::FaultInjector(const Settings& settings, quint64 seed)
    : m_settings(settings), m_rng(seed ^ 0xFA17FA17FA17ULL)
{
}

bool FaultInjector::exceptionFor(int firstRegister, int count)
{
    const int reg = m_settings.exceptionRegister;
    if (reg == 0 || reg < firstRegister || reg >= firstRegister + count)
        return false;
    ++m_exceptionMatches;
    return !m_settings.exceptionWhich.isSet() ||
           m_settings.exceptionWhich.hits(m_exceptionMatches, m_rng);
}

void FaultInjector::nextReply(bool& strayByte, bool& badCrc)
{
    ++m_replies;
    strayByte = m_settings.strayBytes.hits(m_replies, m_rng);
    badCrc = m_settings.badCrc.hits(m_replies, m_rng);
}

FaultInjector::FrameFaults FaultInjector::nextFrame()
{
    ++m_frames;
    FrameFaults f;
    f.drop = m_settings.dropFrames.hits(m_frames, m_rng);
    f.truncate = !f.drop && m_settings.truncateFrames.hits(m_frames, m_rng);
    f.loseByte = !f.drop && m_settings.loseByte.hits(m_frames, m_rng);
    f.corruptRecord = !f.drop && m_settings.corruptRecords.hits(m_frames, m_rng);
    f.statusBefore = m_settings.statusInStream.hits(m_frames, m_rng);
    return f;
}
