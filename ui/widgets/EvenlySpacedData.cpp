#include "ui/widgets/EvenlySpacedData.h"

#include <qcustomplot.h>

namespace EvenlySpacedData {

void set(QCPGraphDataContainer& data, const double* values, int count, double step,
         double& lastStep)
{
    if (step != lastStep) {
        data.clear();
        lastStep = step;
    }
    if (data.size() > count)
        data.removeAfter((count - 0.5) * step);
    const int kept = data.size();
    auto point = data.begin();
    for (int i = 0; i < kept; ++i, ++point)
        point->value = values[i];
    if (kept < count) {
        QVector<QCPGraphData> tail(count - kept);
        for (int i = kept; i < count; ++i)
            tail[i - kept] = QCPGraphData(i * step, values[i]);
        data.add(tail, true);
    }
}

} // namespace EvenlySpacedData
