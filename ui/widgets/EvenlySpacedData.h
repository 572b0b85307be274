#pragma once
// A graph's points at the keys i * step, for a window of values that moves on.

class QCPGraphData;
template <class DataType> class QCPDataContainer;
using QCPGraphDataContainer = QCPDataContainer<QCPGraphData>;

namespace EvenlySpacedData {

// Makes `data` hold (i * step, values[i]) for i < count. While the step stays the
// same only the values change, so they are rewritten in place and the tail is
// added or dropped; `lastStep` keeps the step the points were laid out with.
void set(QCPGraphDataContainer& data, const double* values, int count, double step,
         double& lastStep);

} // namespace EvenlySpacedData
