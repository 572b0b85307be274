#include "app/FaultSpell.h"

#include "app/Logger.h"

#include <QDebug>
#include <chrono>

FaultSpell::FaultSpell(QString name, Sink sink, Clock clock)
    : m_name(std::move(name)),
      m_sink(sink ? std::move(sink) : [](const QString& line) { Logger::instance()->write(line); }),
      m_clock(clock ? std::move(clock) : [] {
          using namespace std::chrono;
          return qint64(
              duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
      })
{
}

FaultSpell FaultSpell::untilSuccess(EndLine recovered, EndLine stopped, Sink sink)
{
    FaultSpell spell(QString(), std::move(sink));
    spell.m_untilSuccess = true;
    spell.m_recovered = std::move(recovered);
    spell.m_stopped = std::move(stopped);
    return spell;
}

void FaultSpell::debugOutput(const QString& line)
{
    qDebug().noquote() << line;
}

bool FaultSpell::fault(const QString& detail)
{
    if (m_untilSuccess) {
        if (m_active) {
            ++m_total;
            return false;
        }
        m_active = true;
        m_total = 1;
        m_sink(detail);
        return true;
    }
    qDebug().noquote() << detail;
    const qint64 now = m_clock();
    if (m_active && now - m_lastAt >= QuietMs)
        end();
    if (!m_active) {
        m_active = true;
        m_firstAt = m_lastAt = m_reportedAt = now;
        m_total = 1;
        m_sinceReport = 0;
        m_sink(QStringLiteral("%1 begin: %2").arg(m_name, detail));
        return true;
    }
    m_lastAt = now;
    ++m_total;
    ++m_sinceReport;
    if (now - m_reportedAt >= ReportIntervalMs) {
        m_sink(QStringLiteral("%1 go on: %2 in the last %3 s, %4 in all")
                   .arg(m_name)
                   .arg(m_sinceReport)
                   .arg((now - m_reportedAt) / 1000)
                   .arg(m_total));
        m_reportedAt = now;
        m_sinceReport = 0;
    }
    return false;
}

void FaultSpell::success()
{
    if (!m_active)
        return;
    if (m_untilSuccess)
        endWith(m_recovered);
    else if (m_clock() - m_lastAt >= QuietMs)
        end();
}

void FaultSpell::finish()
{
    if (!m_active)
        return;
    if (m_untilSuccess)
        endWith(m_stopped);
    else
        end();
}

void FaultSpell::endWith(const EndLine& line)
{
    m_active = false;
    const QString text = line ? line(m_total) : QString();
    if (!text.isEmpty())
        m_sink(text);
}

void FaultSpell::end()
{
    m_sink(QStringLiteral("%1 ended: %2 in all over %3 s")
               .arg(m_name)
               .arg(m_total)
               .arg((m_lastAt - m_firstAt) / 1000));
    m_active = false;
}
