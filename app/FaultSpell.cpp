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

void FaultSpell::fault(const QString& detail)
{
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
        return;
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
}

void FaultSpell::success()
{
    if (m_active && m_clock() - m_lastAt >= QuietMs)
        end();
}

void FaultSpell::finish()
{
    if (m_active)
        end();
}

void FaultSpell::end()
{
    m_sink(QStringLiteral("%1 ended: %2 in all over %3 s")
               .arg(m_name)
               .arg(m_total)
               .arg((m_lastAt - m_firstAt) / 1000));
    m_active = false;
}
