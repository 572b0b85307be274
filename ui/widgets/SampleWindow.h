#pragma once
// The newest samples of a live plot, oldest first, with their minimum and
// maximum. Appending a sample and dropping the oldest cost the same whatever
// the window holds (a million samples at the largest chart time), so a plot
// refresh does not scan the whole window for its extremes.
// Not guarded: one thread uses it.

#include <QVector>

#include <deque>
#include <optional>

class SampleWindow
{
public:
    // How many samples `seconds` hold at `step` seconds apart: truncated, at
    // most the largest int; none for a step that is zero, negative or not finite.
    static std::optional<int> lengthFor(double seconds, double step);

    void append(const QVector<double>& values);
    // Keeps the newest length samples.
    void trimTo(int length);
    void clear();

    int size() const { return m_values.size() - m_start; }
    bool isEmpty() const { return size() == 0; }
    // The samples, oldest first, valid until the next change.
    const double* data() const { return m_values.constData() + m_start; }
    // Extremes of the samples in the window; the window must not be empty.
    double minimum() const { return valueAt(m_minima.front()); }
    double maximum() const { return valueAt(m_maxima.front()); }

private:
    double valueAt(qint64 index) const { return m_values.at(int(index - m_base)); }

    QVector<double> m_values; // dropped samples stay in front of m_start for a while
    int m_start = 0;
    qint64 m_base = 0; // running number of m_values[0]
    // Running numbers of the samples that can still become the window's
    // minimum (rising values) and maximum (falling values), oldest first.
    std::deque<qint64> m_minima;
    std::deque<qint64> m_maxima;
};
