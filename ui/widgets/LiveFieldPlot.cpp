#include "ui/widgets/LiveFieldPlot.h"

#include "ui/widgets/ColumnLineGraph.h"
#include "ui/widgets/EvenlySpacedData.h"
#include "ui/widgets/QCPItemRoundedRect.h"

#include <QDebug>
#include <QPainter>
#include <QTimer>

namespace {
constexpr int RefreshIntervalMs = 30;
} // namespace

LiveFieldPlot::LiveFieldPlot(QWidget* parent) : QCustomPlot(parent)
{
    initPlot();
    setTimeSpan(m_param.chartTime);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setObjectName(QStringLiteral("refreshTimer"));
    m_refreshTimer->setInterval(RefreshIntervalMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &LiveFieldPlot::onRefreshTimer);
    m_refreshTimer->start();
}

void LiveFieldPlot::initPlot()
{
    // Each batch redraws only what it changes: the graph and, above it, the
    // read-out texts, which share the overlay, the one layer with a buffer of
    // its own. The background and the boxes stay drawn in the buffer below
    // until the plot is resized or cleared.
    m_graph = new ColumnLineGraph(xAxis, yAxis);
    m_graph->setLayer(QStringLiteral("overlay"));
    QPen pen(QColor(QStringLiteral("#1667BA")));
    pen.setWidthF(0.5);
    pen.setStyle(Qt::SolidLine);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    m_graph->setPen(pen);

    // The gradient as a stretched image under the boxes, drawn into the
    // background's buffer once per full replot; what the plot paints at every
    // repaint is a plain fill.
    QImage gradientImage(1, 256, QImage::Format_RGB32);
    {
        QLinearGradient background(0, 0, 0, 1);
        background.setCoordinateMode(QGradient::ObjectBoundingMode);
        background.setColorAt(0, QColor(QStringLiteral("#FFFFFF")));
        background.setColorAt(1, QColor(QStringLiteral("#EDF6FF")));
        QPainter painter(&gradientImage);
        painter.fillRect(gradientImage.rect(), background);
    }
    auto* background = new QCPItemPixmap(this);
    background->setLayer(QStringLiteral("background"));
    background->setClipToAxisRect(false);
    background->topLeft->setType(QCPItemPosition::ptViewportRatio);
    background->topLeft->setCoords(0, 0);
    background->bottomRight->setType(QCPItemPosition::ptViewportRatio);
    background->bottomRight->setCoords(1, 1);
    background->setPixmap(QPixmap::fromImage(gradientImage));
    // 256 rows hold every colour of this gradient: plain stretching loses none.
    background->setScaled(true, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    background->setPen(Qt::NoPen);
    background->setAntialiased(false); // no half-pixel shift: it covers every pixel
    // QCustomPlot clips its layers one row short of the bottom: that row keeps
    // the plot's own background, the gradient's last colour (a plain fill).
    setBackground(QBrush(QColor(QStringLiteral("#EDF6FF"))));
    axisRect()->setBackground(Qt::transparent);

    auto makeBox = [this](QPointF topLeft, QPointF bottomRight, const QString& initial) {
        auto* box = new QCPItemRoundedRect(this);
        box->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
        box->topLeft->setCoords(topLeft);
        box->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
        box->bottomRight->setCoords(bottomRight);
        box->setBrush(QBrush(QColor(QStringLiteral("#2C7ED3")), Qt::SolidPattern));
        box->setPen(Qt::NoPen);
        box->setLayer(QStringLiteral("background"));

        auto* text = new QCPItemText(this);
        text->setLayer(QStringLiteral("overlay"));
        QFont font(QStringLiteral("MiSans"));
        font.setPixelSize(16); // as the page's other texts; 16 pt overflows the boxes
        font.setWeight(QFont::Normal);
        text->setFont(font);
        text->setColor(Qt::white);
        text->setPositionAlignment(Qt::AlignCenter);
        text->setTextAlignment(Qt::AlignCenter);
        text->position->setType(QCPItemPosition::ptAxisRectRatio);
        text->position->setParentAnchor(box->topLeft);
        text->position->setCoords((bottomRight.x() - topLeft.x()) / 2,
                                  (bottomRight.y() - topLeft.y()) / 2);
        text->setText(initial);
        return text;
    };
    m_maxText = makeBox({0.005, 0.005}, {0.08, 0.07}, QStringLiteral("35186.7"));
    m_minText = makeBox({0.005, 0.93}, {0.08, 0.995}, QStringLiteral("35138.7"));
    m_lastText = makeBox({0.917, 0.005}, {0.998, 0.07}, QStringLiteral("35179.26"));

    for (QCPAxis* axis : {xAxis, yAxis}) {
        axis->setVisible(false);
        axis->grid()->setVisible(false);
        axis->setTicks(false);
        axis->setTickLabels(false);
        axis->setBasePen(QPen(Qt::white));
        axis->setTickPen(QPen(Qt::white));
        axis->setTickLabelColor(Qt::white);
    }
}

void LiveFieldPlot::push(const QVector<double>& batch)
{
    m_sampleQueue.push(batch);
}

void LiveFieldPlot::dropQueued()
{
    m_sampleQueue.clear();
}

void LiveFieldPlot::clearPlot()
{
    m_window.clear();
    m_sampleQueue.clear();
    if (m_graph)
        m_graph->data()->clear();
    m_maxText->setText(QString());
    m_minText->setText(QString());
    m_lastText->setText(QString());
    replot(QCustomPlot::rpRefreshHint);
}

void LiveFieldPlot::setDataParam(const DataParam& param)
{
    m_param = param;
}

void LiveFieldPlot::setTimeSpan(int seconds)
{
    xAxis->setRange(0, seconds);
}

void LiveFieldPlot::setPaused(bool paused)
{
    m_paused = paused;
}

void LiveFieldPlot::setActive(bool active)
{
    m_active = active;
}

void LiveFieldPlot::onRefreshTimer()
{
    const QVector<double> batch = m_sampleQueue.pop();
    if (batch.isEmpty())
        return;

    const double step = m_param.dataRate;
    const std::optional<int> windowLength = SampleWindow::lengthFor(m_param.chartTime, step);
    if (!windowLength) {
        qDebug() << "live plot: no plot for the data rate step" << step;
        return;
    }
    m_window.append(batch);
    m_window.trimTo(*windowLength);

    if (m_paused || !m_active || m_window.isEmpty())
        return;

    EvenlySpacedData::set(*m_graph->data(), m_window.data(), m_window.size(), step, m_graphStep);

    const double minimum = m_window.minimum();
    const double maximum = m_window.maximum();
    const double range = maximum - minimum;
    const double last = batch.last();

    emit sig_readoutsChanged(*windowLength, last, range);

    m_maxText->setText(QString::number(maximum, 'g', 6));
    m_minText->setText(QString::number(minimum, 'g', 6));
    m_lastText->setText(QString::number(last, 'f', 2));

    if (range > 0.0)
        yAxis->setRange(minimum - range / 10, maximum + range / 10);
    m_graph->layer()->replot();
}
