#include "ui/SensitivityModuleForm.h"

#include "app/ParamManager.h"
#include "ui/GuiPause.h"
#include "ui/widgets/CustomPlot.h"
#include "ui/widgets/EvenlySpacedData.h"
#include "ui/widgets/SampleWindow.h"
#include "ui_SensitivityModuleForm.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
constexpr int RefreshIntervalMs = 30;
const QColor AxisColour(QStringLiteral("#CDDBEB"));
const QColor TextColour(43, 59, 80);

QSharedPointer<QCPAxisTickerFixed> fixedTicker(double step)
{
    auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
    ticker->setTickStep(step);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    return ticker;
}

// Significant digits for the value labels of a range of field values, so that
// neighbouring ticks (about a fifth of the range apart) never share a label:
// 50001.75 must not read as 50001.8.
int labelDigits(double lower, double upper)
{
    const double magnitude = std::max(std::abs(lower), std::abs(upper));
    const double step = (upper - lower) / 5.0;
    if (!(magnitude > 0.0) || !(step > 0.0) || !std::isfinite(magnitude) || !std::isfinite(step))
        return 6;
    const int whole = std::max(1, int(std::floor(std::log10(magnitude))) + 1);
    const int fraction = std::max(0, int(std::ceil(-std::log10(step))) + 1);
    return std::clamp(whole + fraction, 6, 15);
}

void styleChart(QCustomPlot* chart, QCPGraph* graph)
{
    graph->setPen(QPen(QColor(QStringLiteral("#1667BA"))));
    QLinearGradient background(0, 0, 0, 1);
    background.setCoordinateMode(QGradient::ObjectBoundingMode);
    background.setColorAt(0, QColor(QStringLiteral("#FFFFFF")));
    background.setColorAt(1, QColor(QStringLiteral("#EDF6FF")));
    chart->axisRect()->setBackground(QBrush(background));

    QFont font(QStringLiteral("MiSans"), 16);
    font.setWeight(QFont::Normal);
    for (QCPAxis* axis : {chart->xAxis, chart->yAxis}) {
        axis->setBasePen(QPen(AxisColour));
        axis->setTickPen(QPen(AxisColour));
        axis->setSubTickPen(QPen(AxisColour));
        axis->setTickLength(0);
        axis->setSubTickLength(0);
        axis->grid()->setSubGridVisible(true);
        axis->setTickLabelColor(TextColour);
        axis->setLabelColor(TextColour);
        axis->setTickLabelFont(font);
        axis->setLabelFont(font);
    }
    // Room for the last x label, which the plot leaves out when it would be cut.
    QMargins margins = chart->axisRect()->minimumMargins();
    margins.setRight(std::max(margins.right(), 30));
    chart->axisRect()->setMinimumMargins(margins);
}
} // namespace

SensitivityModuleForm::SensitivityModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_SensitivityModuleForm), m_hub(paramManager)
{
    ui->setupUi(this);
    m_chart1 = ui->chart1;
    m_chart2 = ui->chart2;
    initPlot();
    initTimer();
    connect(m_hub, &ParamManager::sig_updateFormEx, this, &SensitivityModuleForm::slots_updateForm);
}

SensitivityModuleForm::~SensitivityModuleForm()
{
    delete ui;
}

PageHooks SensitivityModuleForm::pageHooks()
{
    PageHooks hooks;
    hooks.bottomBar = PageHooks::BottomBar::FftTime;
    hooks.leave = [this](int target) {
        if (PageHooks::pollsRegisters(target))
            stopSpectrum();
        setFlag(false);
    };
    hooks.enter = [this] {
        startSpectrum();
        setFlag(true);
    };
    hooks.stopPolling = [this] {
        stopSpectrum();
        m_hub->setStreamStarted(false);
    };
    hooks.startPolling = [this](int rate) {
        startSpectrum();
        if (rate == 1) {
            // The decoder drops the spectrum buffer of the 1000 Hz stream.
            GuiPause::pause(200);
            emit m_hub->sig_reboot();
        }
        clearPlot();
    };
    hooks.clearPlot = [this] { clearPlot(); };
    hooks.filterChanged = [this] { clearPlot(); };
    hooks.dataRateChosen = [this](int rate) { updateAxisForDataRate(rate); };
    hooks.reset = [this] { clearPlot(); };
    hooks.setLanguage = [this](int num) { slot_setLanguage(num); };
    return hooks;
}

// ---- stream ------------------------------------------------------------------

void SensitivityModuleForm::startSpectrum()
{
    if (m_hub->isDeviceReady() && !m_hub->isStreamStarted()) {
        emit m_hub->sig_sendModbusData(AddrStartStream);
        m_hub->setStreamStarted(true);
    }
}

void SensitivityModuleForm::stopSpectrum()
{
    if (m_hub->isDeviceReady())
        emit m_hub->sig_sendModbusData(AddrStopStream);
}

void SensitivityModuleForm::setFlag(bool visible)
{
    m_visible = visible;
    // Only this page shows the spectra: the decoder computes them while it is shown.
    emit m_hub->sig_setSpectrumShown(visible);
}

// ---- charts ------------------------------------------------------------------

void SensitivityModuleForm::initPlot()
{
    m_graph1 = m_chart1->addGraph();
    m_graph2 = m_chart2->addGraph();
    styleChart(m_chart1, m_graph1);
    styleChart(m_chart2, m_graph2);

    m_chart1->xAxis->setRange(0, 10);
    m_chart1->yAxis->setRange(12000, 16000);

    m_chart2->xAxis->setLabel(QStringLiteral("Frequency(Hz)"));
    m_chart2->yAxis->setLabel(QStringLiteral("Sens(nT/Hz^0.5)"));
    m_chart2->xAxis->setRange(0, m_hub->xAxisUpper);
    m_chart2->xAxis->setTicker(fixedTicker(25));
    m_chart2->yAxis->setScaleType(QCPAxis::stLogarithmic);
    auto logTicker = QSharedPointer<QCPAxisTickerLog>::create();
    logTicker->setLogBase(10);
    m_chart2->yAxis->setTicker(logTicker);
    m_chart2->yAxis->setNumberFormat(QStringLiteral("eb"));
    m_chart2->yAxis->setNumberPrecision(0);
    m_chart2->yAxis->setRange(m_hub->yAxisLower, m_hub->yAxisUpper);

    m_chart1->replot(QCustomPlot::rpRefreshHint);
    m_chart2->replot(QCustomPlot::rpRefreshHint);
}

void SensitivityModuleForm::initTimer()
{
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setObjectName(QStringLiteral("refreshTimer"));
    m_refreshTimer->setInterval(RefreshIntervalMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &SensitivityModuleForm::onRefreshTimer);
    m_refreshTimer->start();
}

void SensitivityModuleForm::slots_updateForm(QVector<double> datas, QVector<double> f_datas,
                                             QVector<double> fft_datas)
{
    if (!m_hub->isDeviceReady())
        return;
    // A spectrum comes without a batch; an empty batch would add nothing.
    if (!datas.isEmpty())
        m_batchQueue.push(datas);
    if (!f_datas.isEmpty() && !fft_datas.isEmpty() && m_visible && m_hub->samplingRate != 1)
        drawSpectrum(f_datas, fft_datas);
}

void SensitivityModuleForm::drawSpectrum(const QVector<double>& freqs,
                                         const QVector<double>& densities)
{
    const int n = std::min(freqs.size(), densities.size());
    QSharedPointer<QCPGraphDataContainer> data = m_graph2->data();
    // Once the window is full every spectrum has the same bins: only the values change.
    const bool sameBins = data->size() == n && n > 0 && data->constBegin()->key == freqs.first() &&
                          (data->constEnd() - 1)->key == freqs.at(n - 1);
    if (sameBins) {
        auto point = data->begin();
        for (int i = 0; i < n; ++i, ++point)
            point->value = densities.at(i);
    } else {
        // The frequencies ascend.
        m_graph2->setData(freqs.mid(0, n), densities.mid(0, n), true);
    }
    m_chart2->replot(QCustomPlot::rpRefreshHint);
}

void SensitivityModuleForm::onRefreshTimer()
{
    const QVector<double> batch = m_batchQueue.pop();
    if (batch.isEmpty())
        return;

    const DataParam param = m_hub->dataParam();
    const double step = param.dataRate;
    const std::optional<int> windowLength = SampleWindow::lengthFor(param.fftTime, step);
    if (!windowLength)
        return; // no window length without a time step
    m_history += batch;
    if (m_history.size() > *windowLength)
        m_history.remove(0, m_history.size() - *windowLength);

    if (!m_visible)
        return;

    const int count = m_history.size();
    EvenlySpacedData::set(*m_graph1->data(), m_history.constData(), count, step, m_graphStep);

    // An empty window keeps the last ranges.
    if (count > 0) {
        const auto [minIt, maxIt] =
            std::minmax_element(m_history.constBegin(), m_history.constEnd());
        if (*minIt < *maxIt)
            m_chart1->yAxis->setRange(*minIt, *maxIt);
        else
            m_chart1->yAxis->setRange(*minIt - 1.0, *maxIt + 1.0); // a flat line, in the middle
        const QCPRange range = m_chart1->yAxis->range();
        m_chart1->yAxis->setNumberPrecision(labelDigits(range.lower, range.upper));
    }
    m_chart1->xAxis->setRange(0, param.fftTime);
    m_chart1->replot(QCustomPlot::rpQueuedReplot);
}

void SensitivityModuleForm::updateAxisForDataRate(int rateHz)
{
    double upper = 0.0;
    double tickStep = 0.0;
    switch (rateHz) {
    case 1:
        upper = 1.0;
        tickStep = 0.2;
        break;
    case 20:
        upper = 10.0;
        tickStep = 2.0;
        break;
    case 1000:
        upper = m_hub->xAxisUpper;
        tickStep = 25.0;
        break;
    default:
        break; // a rate without its own axis leaves it as it is
    }
    if (tickStep > 0.0) {
        m_chart2->xAxis->setTicker(fixedTicker(tickStep));
        m_chart2->xAxis->setRange(0, upper);
    }
    m_chart2->replot(QCustomPlot::rpRefreshHint);
}

void SensitivityModuleForm::clearPlot()
{
    m_history.clear();
    m_batchQueue.clear();
    m_graph1->data()->clear();
    m_graph2->data()->clear();
    m_chart1->hideCrosshair();
    m_chart2->hideCrosshair();
    m_chart1->replot(QCustomPlot::rpRefreshHint);
    m_chart2->replot(QCustomPlot::rpRefreshHint);
}

// ---- language ----------------------------------------------------------------

void SensitivityModuleForm::slot_setLanguage(int num)
{
    // The English axis titles are the ones initPlot gave.
    const QVector<PageTexts::Text> texts = {
        {m_chart2->xAxis, "频率(Hz)", nullptr, "label"},
        {m_chart2->yAxis, "灵敏度(nT/Hz^0.5)", nullptr, "label"},
    };
    m_texts.setLanguage(num, texts);
    m_chart2->replot(QCustomPlot::rpRefreshHint);
}
