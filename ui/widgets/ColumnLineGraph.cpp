#include "ui/widgets/ColumnLineGraph.h"

#include <algorithm>
#include <cmath>

ColumnLineGraph::ColumnLineGraph(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{
}

QVector<ColumnLineGraph::Run> ColumnLineGraph::columnRuns(const QVector<QPointF>& lines)
{
    QVector<Run> runs;
    if (lines.isEmpty())
        return runs;
    const auto column = [](double x) { return int(std::floor(x)); };

    QPointF a = lines.first();
    if (!std::isfinite(a.x()) || !std::isfinite(a.y()))
        return {};
    int current = column(a.x());
    double low = a.y();
    double high = a.y();
    double lastY = a.y();
    int direction = 0; // of the line inside the current column: -1 up, 1 down
    bool turned = false;
    const auto extend = [&](double y) {
        const int towards = y > lastY ? 1 : y < lastY ? -1 : 0;
        if (towards != 0) {
            turned = turned || (direction != 0 && towards != direction);
            direction = towards;
        }
        low = std::min(low, y);
        high = std::max(high, y);
        lastY = y;
    };
    const auto addRun = [&] {
        runs.append({current, int(std::floor(low)), int(std::floor(high)), turned ? 2 : 1});
    };

    runs.reserve(lines.size());
    for (int i = 1; i < lines.size(); ++i) {
        const QPointF b = lines.at(i);
        if (!std::isfinite(b.x()) || !std::isfinite(b.y()) || b.x() < a.x())
            return {};
        // The segment crosses the left edges of the columns up to b's: each
        // edge ends one column's run and starts the next one's.
        for (const int end = column(b.x()); current < end; ++current) {
            const double edge = current + 1;
            extend(a.y() + (b.y() - a.y()) * (edge - a.x()) / (b.x() - a.x()));
            addRun();
            low = high = lastY;
            direction = 0;
            turned = false;
        }
        extend(b.y());
        a = b;
    }
    addRun();
    return runs;
}

void ColumnLineGraph::getOptimizedLineData(QVector<QCPGraphData>* lineData,
                                           const QCPGraphDataContainer::const_iterator& begin,
                                           const QCPGraphDataContainer::const_iterator& end) const
{
    QCPAxis* const axis = keyAxis();
    const int dataCount = int(end - begin);
    const bool plainAxis = axis && axis->orientation() == Qt::Horizontal &&
                           axis->scaleType() == QCPAxis::stLinear && !axis->rangeReversed();
    const double pixelSpan =
        plainAxis && dataCount > 1
            ? std::abs(axis->coordToPixel((end - 1)->key) - axis->coordToPixel(begin->key))
            : 0.0;
    if (!lineData || !adaptiveSampling() || !plainAxis || dataCount < 2 * int(pixelSpan) + 2) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    lineData->clear();
    lineData->reserve(2 * int(pixelSpan) + 4);
    for (auto it = begin; it != end;) {
        const double column = std::floor(axis->coordToPixel(it->key));
        const double columnKey = axis->pixelToCoord(column);
        const double width = axis->pixelToCoord(column + 1) - columnKey;
        auto stop = std::lower_bound(it + 1, end, columnKey + width,
                                     [](const QCPGraphData& d, double key) { return d.key < key; });
        if (stop - it == 1) {
            lineData->append(*it);
        } else {
            double low = it->value;
            double high = low;
            for (auto p = it + 1; p != stop; ++p) {
                const double v = p->value;
                low = v < low ? v : low;
                high = v > high ? v : high;
            }
            lineData->append(QCPGraphData(columnKey + width * 0.25, low));
            lineData->append(QCPGraphData(columnKey + width * 0.75, high));
        }
        it = stop;
    }
}

void ColumnLineGraph::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const
{
    const bool horizontalKeys = keyAxis() && keyAxis()->orientation() == Qt::Horizontal;
    const double span = lines.size() > 1 ? lines.last().x() - lines.first().x() : 0.0;
    const QPen pen = painter->pen();
    const QRect area = clipRect();
    if (!horizontalKeys || !(span > 0) || lines.size() < 2 * span || area.isEmpty() ||
        pen.style() != Qt::SolidLine || pen.brush().style() != Qt::SolidPattern) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }
    const QVector<Run> runs = columnRuns(lines);
    if (runs.isEmpty()) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }

    // Qt paints a pen thinner than a pixel as a one-pixel line with the width
    // as its opacity. A run gets the ink the line leaves in its column: where
    // the line turns back inside the column (noise does in nearly every one)
    // two such strokes cover it; a single pass leaves ink along its length,
    // which a shallow line spreads over fewer rows than the run holds.
    const double width = pen.widthF();
    const double stroke = width > 0 && width < 1 ? width : 1.0;
    const QColor colour = pen.color();
    const auto pixelFor = [&colour, stroke](const Run& run) {
        const int rows = run.bottom - run.top + 1;
        const double opacity = run.passes > 1
                                   ? 1 - (1 - stroke) * (1 - stroke)
                                   : stroke * std::min(1.0, std::hypot(1.0, rows - 1.0) / rows);
        QColor c = colour;
        c.setAlphaF(colour.alphaF() * opacity);
        return qPremultiply(c.rgba());
    };

    // The runs are written straight into an image of the clip area: a
    // painter would blend each one-pixel row on its own.
    if (m_runImage.size() != area.size())
        m_runImage = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
    m_runImage.fill(Qt::transparent);
    uchar* const bits = m_runImage.bits();
    const int bytesPerLine = m_runImage.bytesPerLine();
    for (const Run& run : runs) {
        const int x = run.x - area.x();
        if (x < 0 || x >= area.width())
            continue;
        const QRgb pixel = pixelFor(run);
        const int last = std::min(run.bottom - area.y(), area.height() - 1);
        for (int y = std::max(run.top - area.y(), 0); y <= last; ++y)
            reinterpret_cast<QRgb*>(bits + y * bytesPerLine)[x] = pixel;
    }
    painter->save();
    painter->setAntialiasing(false); // whole pixels, no half-pixel shift
    painter->drawImage(area.topLeft(), m_runImage);
    painter->restore();
}
