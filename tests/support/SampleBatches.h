#pragma once
// Sample batches and data-rate steps the plot, replay and recorder tests feed in.

#include <QVector>
#include <QtTest>

#include <limits>

// `count` samples rising by 1 from `first`: each one tells where it came from.
inline QVector<double> ramp(double first, int count)
{
    QVector<double> values(count);
    for (int i = 0; i < count; ++i)
        values[i] = first + i;
    return values;
}

// Rows of time steps (s) that give no window length, in a double column `column`.
inline void addUnusableStepRows(const char* column)
{
    QTest::addColumn<double>(column);
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -0.001;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
}
