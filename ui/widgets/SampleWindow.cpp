#include "ui/widgets/SampleWindow.h"

#include <cmath>
#include <limits>

std::optional<int> SampleWindow::lengthFor(double seconds, double step)
{
    if (!(step > 0.0) || !std::isfinite(step))
        return std::nullopt;
    const double span = seconds / step;
    if (!(span > 0.0))
        return 0;
    if (span >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(span);
}

void SampleWindow::append(const QVector<double>& values)
{
    for (const double v : values) {
        const qint64 index = m_base + m_values.size();
        // A sample that an older one cannot outlive hides it as an extreme.
        while (!m_minima.empty() && valueAt(m_minima.back()) >= v)
            m_minima.pop_back();
        while (!m_maxima.empty() && valueAt(m_maxima.back()) <= v)
            m_maxima.pop_back();
        m_values.append(v);
        m_minima.push_back(index);
        m_maxima.push_back(index);
    }
}

void SampleWindow::trimTo(int length)
{
    if (size() <= length)
        return;
    m_start += size() - qMax(length, 0);
    const qint64 oldest = m_base + m_start;
    while (!m_minima.empty() && m_minima.front() < oldest)
        m_minima.pop_front();
    while (!m_maxima.empty() && m_maxima.front() < oldest)
        m_maxima.pop_front();
    // Dropped samples are removed in one move once they outnumber the kept
    // ones, so each sample is moved a bounded number of times.
    if (m_start > size()) {
        m_values.remove(0, m_start);
        m_base += m_start;
        m_start = 0;
    }
}

void SampleWindow::clear()
{
    m_values.clear();
    m_start = 0;
    m_base = 0;
    m_minima.clear();
    m_maxima.clear();
}
