#include "ui/VectorModuleWidget.h"

#include "app/ParamManager.h"
#include "app/SharedState.h"
#include "device/Instrument.h"
#include "ui_VectorModuleWidget.h"

#include <QIntValidator>
#include <QTimer>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

const char* const ChannelNames[] = {"X", "Y", "Z", "S"};

// Normal, hover and checked background of each channel's buttons.
const char* const ButtonColors[][3] = {{"#ED5E6A", "#FF7F87", "#C84754"},
                                       {"#15B6C2", "#2AD1D9", "#119AA6"},
                                       {"#369FED", "#57B0F0", "#1F7ACB"},
                                       {"#AB47BC", "#C257D9", "#8A36A3"}};

const char ChannelButtonStyle[] = "\nQPushButton {\n    background-color: %1;\n    color: "
                                  "black;\n\n}\nQPushButton:hover {\n    background-color: "
                                  "%2;\n}\nQPushButton:checked {\n    background-color: %3;\n}\n"
                                  "    ";

const char LabelStyle[] = "QLabel { font-family: \"MiSans\"; font-weight: 400; font-size: 18px; "
                          "color: #77818E; background: transparent; }";
const char FieldStyle[] = "QLineEdit { background-color: #F1F8FF; border-radius: 6px; "
                          "border: 1px solid rgba(185, 198, 212, 143); font-family: \"MiSans\"; "
                          "font-weight: 400; font-size: 18px; color: #2B3B50; }";
const char CombineButtonStyle[] = R"(
QPushButton { border-radius: 18px; font-family: MiSans; font-size: 16px; color: #FFFFFF;
  padding: 6px 16px; border: none;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, stop:1 #A4B7C8); }
QPushButton:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2A7ACD, stop:1 #4293E8); }
QPushButton:checked {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0557AB, stop:1 #4293E8); })";

// Keeps the field between 1 and 60: a text that is left unfinished (empty, or
// 0) becomes 1 when the operator leaves the field, as an entry out of range does.
class MeasTimeValidator : public QIntValidator
{
public:
    explicit MeasTimeValidator(QObject* parent) : QIntValidator(1, 60, parent) {}
    void fixup(QString& input) const override
    {
        int pos = 0;
        QString copy = input;
        if (validate(copy, pos) != Acceptable)
            input = QStringLiteral("1");
    }
};

QBrush cardGradient()
{
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0.0, QColor(QStringLiteral("#FFFFFF")));
    gradient.setColorAt(1.0, QColor(QStringLiteral("#EDF6FF")));
    return QBrush(gradient);
}

QCPItemText* addText(QCustomPlot* plot, double x, double y, Qt::Alignment alignment,
                     const QFont& font)
{
    auto* text = new QCPItemText(plot);
    text->position->setType(QCPItemPosition::ptAxisRectRatio);
    text->position->setCoords(x, y);
    text->setPositionAlignment(alignment);
    text->setFont(font);
    text->setColor(QColor(QStringLiteral("#2B3B50")));
    return text;
}

// Tick step of the combined plot by the width of its range.
double combinedTickStep(double width)
{
    if (width < 11)
        return 1;
    if (width < 51)
        return 5;
    if (width < 101)
        return 10;
    if (width < 501)
        return 50;
    if (width < 1001)
        return 100;
    if (width < 5001)
        return 500;
    if (width > 10000)
        return 10000;
    return 1000;
}

} // namespace

VectorModuleWidget::VectorModuleWidget(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_VectorModuleWidget), m_paramManager(paramManager)
{
    ui->setupUi(this);
    for (int c = 0; c < ChannelCount; ++c)
        m_colors[c] = QColor(QLatin1String(ButtonColors[c][0]));

    initButtons();
    initTimePlots();
    initSpectrumPlot();
    initCursor();
    initCombinedPlot();

    m_timer = new QTimer(this);
    m_timer->setInterval(RefreshMs);
    connect(m_timer, &QTimer::timeout, this, &VectorModuleWidget::drawNext);
    m_timer->start();

    initStyle();

    connect(m_paramManager, &ParamManager::sig_updateVectorForm, this,
            &VectorModuleWidget::slots_updateVectorForm);
}

VectorModuleWidget::~VectorModuleWidget()
{
    delete ui;
}

PageHooks VectorModuleWidget::pageHooks()
{
    PageHooks hooks;
    hooks.bottomBar = PageHooks::BottomBar::CutOffs;
    hooks.clearPlot = [this] { clearPlot(); };
    return hooks;
}

// ---- set-up -------------------------------------------------------------------

void VectorModuleWidget::initButtons()
{
    QPushButton* const combined[] = {ui->btn_VectorX, ui->btn_VectorY, ui->btn_VectorZ};
    QPushButton* const spectra[] = {ui->btn_FFT_X, ui->btn_FFT_Y, ui->btn_FFT_Z, ui->btn_FFT_S};
    const auto style = [](int c) {
        return QString::fromLatin1(ChannelButtonStyle)
            .arg(QLatin1String(ButtonColors[c][0]), QLatin1String(ButtonColors[c][1]),
                 QLatin1String(ButtonColors[c][2]));
    };
    for (int c = 0; c < 3; ++c) {
        combined[c]->setStyleSheet(style(c));
        connect(combined[c], &QPushButton::toggled, this, [this, c](bool on) {
            m_combinedVisible[c] = on;
            if (m_combinedGraphs[c])
                m_combinedGraphs[c]->setVisible(on);
            ui->vectorXYZ->replot(QCustomPlot::rpQueuedReplot);
        });
    }
    for (int c = 0; c < ChannelCount; ++c) {
        spectra[c]->setStyleSheet(style(c));
        connect(spectra[c], &QPushButton::toggled, this, [this, c](bool on) {
            m_spectrumVisible[c] = on;
            if (m_spectrumGraphs[c])
                m_spectrumGraphs[c]->setVisible(on);
            ui->vectorFFTAll->replot(QCustomPlot::rpQueuedReplot);
        });
    }
    connect(ui->btn_CombinePlots, &QPushButton::toggled, this,
            [this](bool on) { ui->stackedWidget1->setCurrentIndex(on ? 1 : 0); });

    ui->edt_MeasTime->setValidator(new MeasTimeValidator(ui->edt_MeasTime));
    ui->edt_MeasTime->setText(QStringLiteral("10"));
    SharedState::instance().setVectorTimeSpan(10);
    connect(ui->edt_MeasTime, &QLineEdit::editingFinished, this,
            &VectorModuleWidget::onMeasTimeEdited);
}

void VectorModuleWidget::initTimePlots()
{
    QCustomPlot* const plots[] = {ui->vectorX, ui->vectorY, ui->vectorZ, ui->vectorS};
    const QFont font(QStringLiteral("黑体"), 14);
    for (int c = 0; c < ChannelCount; ++c) {
        QCustomPlot* plot = plots[c];
        m_timePlots[c] = plot;
        m_timeGraphs[c] = plot->addGraph();
        m_timeGraphs[c]->setPen(QPen(m_colors[c], 1.5));
        // Joins drawn the fast way: a noisy trace of 1000 s (111 111 points) then
        // redraws in about 3 ms instead of 120.
        plot->setPlottingHint(QCP::phFastPolylines, true);
        for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
            axis->setVisible(false);
            axis->grid()->setVisible(false);
        }
        plot->setBackground(Qt::transparent);
        plot->axisRect()->setBackground(cardGradient());
        QCPItemText* name = addText(plot, 0.01, 0.01, Qt::AlignLeft | Qt::AlignTop, font);
        name->setText(QLatin1String(ChannelNames[c]));
        m_valueLabels[c] = {addText(plot, 0.99, 0.01, Qt::AlignRight | Qt::AlignTop, font),
                            addText(plot, 0.99, 0.99, Qt::AlignRight | Qt::AlignBottom, font),
                            addText(plot, 0.04, 0.01, Qt::AlignLeft | Qt::AlignTop, font)};
        // The trace runs under the name and the read-outs; they stay legible on
        // a veil.
        name->setBrush(QColor(255, 255, 255, 200));
        for (QCPItemText* label : qAsConst(m_valueLabels[c]))
            label->setBrush(QColor(255, 255, 255, 200));
    }
}

void VectorModuleWidget::initSpectrumPlot()
{
    QCustomPlot* plot = ui->vectorFFTAll;
    plot->axisRect()->setBackground(cardGradient());
    const QColor text(QStringLiteral("#2C3E50"));
    const QPen axisPen(QColor(QStringLiteral("#4A90E2")));
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setLabelColor(text);
        axis->setTickLabelColor(text);
        axis->setBasePen(axisPen);
        axis->setTickPen(axisPen);
        axis->setSubTickPen(axisPen);
        axis->grid()->setPen(QPen(QColor(QStringLiteral("#B0C4DE"))));
    }
    plot->xAxis->setRange(0, 100);
    plot->xAxis->setLabel(QStringLiteral("Hz"));
    plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    plot->yAxis->setRange(0.01, 10.0);
    plot->yAxis->setLabel(QStringLiteral("nT/√Hz"));
    plot->yAxis->setNumberFormat(QStringLiteral("e"));
    plot->yAxis->setNumberPrecision(0);
    const int order[] = {X, Y, Z, S};
    for (const int c : order) {
        m_spectrumGraphs[c] = plot->addGraph();
        m_spectrumGraphs[c]->setPen(QPen(m_colors[c]));
    }
    auto* legend = addText(plot, 0.9, 0.05, Qt::AlignCenter, QFont(QStringLiteral("MiSans"), 10));
    legend->setColor(QColor(QStringLiteral("#00796B")));
    legend->setText(QStringLiteral("nT/√Hz - Hz"));
}

void VectorModuleWidget::initCursor()
{
    QCustomPlot* plot = ui->vectorFFTAll;
    const QPen pen(QColor(QStringLiteral("#F5A623")), 1, Qt::DashLine);
    // The lines span the shown ranges, whatever the data make of them.
    m_cursorLineH = new QCPItemLine(plot);
    m_cursorLineV = new QCPItemLine(plot);
    for (QCPItemLine* line : {m_cursorLineH, m_cursorLineV})
        line->setPen(pen);
    for (QCPItemPosition* p : {m_cursorLineH->start, m_cursorLineH->end})
        p->setTypeX(QCPItemPosition::ptAxisRectRatio);
    for (QCPItemPosition* p : {m_cursorLineV->start, m_cursorLineV->end})
        p->setTypeY(QCPItemPosition::ptAxisRectRatio);
    m_cursorLineH->start->setCoords(0.0, 0.1);
    m_cursorLineH->end->setCoords(1.0, 0.1);
    m_cursorLineV->start->setCoords(60.0, 1.0);
    m_cursorLineV->end->setCoords(60.0, 0.0);
    plot->setMouseTracking(true);
    connect(plot, &QCustomPlot::mouseMove, this, &VectorModuleWidget::onSpectrumMouseMove);
}

void VectorModuleWidget::initCombinedPlot()
{
    QCustomPlot* plot = ui->vectorXYZ;
    for (int c = 0; c < 3; ++c) {
        m_combinedGraphs[c] = plot->addGraph();
        m_combinedGraphs[c]->setName(QLatin1String(ChannelNames[c]));
        static const Qt::GlobalColor pens[3] = {Qt::red, Qt::green, Qt::cyan};
        m_combinedGraphs[c]->setPen(QPen(pens[c], 1));
    }
    plot->xAxis->grid()->setVisible(false);
    plot->yAxis->grid()->setVisible(false);
    QSharedPointer<QCPAxisTickerFixed> ticker(new QCPAxisTickerFixed);
    ticker->setTickStep(200);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    plot->yAxis->setTicker(ticker);
}

void VectorModuleWidget::initStyle()
{
    for (QLabel* label : {ui->label, ui->label_2, ui->label_3, ui->label_4, ui->label_5})
        label->setStyleSheet(QLatin1String(LabelStyle));
    for (QLineEdit* field : {ui->edt_MeasTime, ui->edt_CursorHz, ui->edt_nTHz})
        field->setStyleSheet(QLatin1String(FieldStyle));
    ui->btn_CombinePlots->setStyleSheet(QString::fromUtf8(CombineButtonStyle));
}

// ---- input ---------------------------------------------------------------------

void VectorModuleWidget::slots_updateVectorForm(FIDVectorData vecFid)
{
    m_queue.push(vecFid);
}

void VectorModuleWidget::onMeasTimeEdited()
{
    bool ok = false;
    int seconds = ui->edt_MeasTime->text().toInt(&ok);
    if (!ok || seconds < 1 || seconds > 60) {
        ui->edt_MeasTime->setText(QStringLiteral("1"));
        seconds = 1;
    }
    SharedState::instance().setVectorTimeSpan(seconds);
}

void VectorModuleWidget::onSpectrumMouseMove(QMouseEvent* event)
{
    QCustomPlot* plot = ui->vectorFFTAll;
    const double x = plot->xAxis->pixelToCoord(qRound(event->localPos().x()));
    const double y = plot->yAxis->pixelToCoord(qRound(event->localPos().y()));
    if (!(y > 0) || !std::isfinite(x))
        return;
    m_cursorLineV->start->setCoords(x, 1.0);
    m_cursorLineV->end->setCoords(x, 0.0);
    m_cursorLineH->start->setCoords(0.0, y);
    m_cursorLineH->end->setCoords(1.0, y);
    ui->edt_CursorHz->setText(QString::number(x, 'f', 1));
    ui->edt_nTHz->setText(QString::number(y, 'e', 2));
    plot->replot(QCustomPlot::rpQueuedReplot);
}

// ---- drawing -------------------------------------------------------------------

void VectorModuleWidget::clearPlot()
{
    m_queue.clear();
    for (int c = 0; c < ChannelCount; ++c) {
        m_windows[c].clear();
        m_timeGraphs[c]->data()->clear();
        m_spectrumGraphs[c]->data()->clear();
        for (QCPItemText* label : qAsConst(m_valueLabels[c]))
            label->setText(QString());
        m_timePlots[c]->replot(QCustomPlot::rpQueuedReplot);
    }
    for (const QPointer<QCPGraph>& graph : m_combinedGraphs)
        graph->data()->clear();
    ui->vectorXYZ->replot(QCustomPlot::rpQueuedReplot);
    ui->vectorFFTAll->replot(QCustomPlot::rpQueuedReplot);
}

void VectorModuleWidget::drawNext()
{
    const FIDVectorData record = m_queue.pop();
    const QVector<double>* const values[] = {&record.x, &record.y, &record.z, &record.s};
    if (record.x.isEmpty() && record.y.isEmpty() && record.z.isEmpty() && record.s.isEmpty() &&
        !record.hasSpectra)
        return; // nothing queued

    // A sample that is not finite is left out of every window; when the four
    // channels hold one value per record, its whole record is left out, so
    // that the windows stay aligned in time.
    const int count = record.x.size();
    const bool aligned =
        record.y.size() == count && record.z.size() == count && record.s.size() == count;
    for (int i = 0; aligned && i < count; ++i) {
        bool finite = true;
        for (int c = 0; c < ChannelCount; ++c)
            finite = finite && std::isfinite(values[c]->at(i));
        if (finite)
            for (int c = 0; c < ChannelCount; ++c)
                m_windows[c].append(values[c]->at(i));
    }
    for (int c = 0; !aligned && c < ChannelCount; ++c)
        for (const double v : *values[c])
            if (std::isfinite(v))
                m_windows[c].append(v);

    const int span = std::max(1, m_paramManager->dataParam().chartTime);
    const int limit = span * 1000 / Instrument::VectorSpacingMs; // records in the span, truncated
    const QVector<double>* const freqs[] = {&record.xFreq, &record.yFreq, &record.zFreq,
                                            &record.sFreq};
    const QVector<double>* const amps[] = {&record.xAsd, &record.yAsd, &record.zAsd, &record.sAsd};
    double ampMin = HUGE_VAL, ampMax = -HUGE_VAL;
    double combinedMin = HUGE_VAL, combinedMax = -HUGE_VAL;

    for (int c = 0; c < ChannelCount; ++c) {
        QVector<double>& window = m_windows[c];
        if (window.size() > limit)
            window.remove(0, window.size() - limit);
        const int n = window.size();
        for (int i = m_keys.size(); i < n; ++i)
            m_keys.append(i * Instrument::VectorSpacingS);
        const QVector<double> keys = m_keys.mid(0, n);
        m_timeGraphs[c]->setData(keys, window, true);

        // An empty window keeps the last ranges and read-outs.
        if (n > 0) {
            const auto [lo, hi] = std::minmax_element(window.constBegin(), window.constEnd());
            const double minimum = *lo, maximum = *hi;
            double margin = (maximum - minimum) / 10;
            if (!(margin > 0))
                margin = std::max(std::abs(maximum) * 1e-6, 0.5);
            m_valueLabels[c][0]->setText(QString::number(maximum, 'g', 6));
            m_valueLabels[c][1]->setText(QString::number(minimum, 'g', 6));
            m_valueLabels[c][2]->setText(QString::number(window.last(), 'f', 2));
            m_timePlots[c]->yAxis->setRange(minimum - margin, maximum + margin);
            m_timePlots[c]->xAxis->setRange(0, span);
            if (c < 3 && m_combinedVisible[c]) {
                combinedMin = std::min(combinedMin, minimum);
                combinedMax = std::max(combinedMax, maximum);
            }
        }
        m_timePlots[c]->replot(QCustomPlot::rpQueuedReplot);

        if (record.hasSpectra) {
            // A log axis shows positive amplitudes only.
            QVector<double> f, a;
            const int bins = std::min(freqs[c]->size(), amps[c]->size());
            f.reserve(bins);
            a.reserve(bins);
            for (int i = 0; i < bins; ++i) {
                const double fi = freqs[c]->at(i), ai = amps[c]->at(i);
                if (std::isfinite(fi) && std::isfinite(ai) && ai > 0) {
                    f.append(fi);
                    a.append(ai);
                }
            }
            if (m_spectrumVisible[c] && !a.isEmpty()) {
                const auto [lo, hi] = std::minmax_element(a.constBegin(), a.constEnd());
                ampMin = std::min(ampMin, *lo);
                ampMax = std::max(ampMax, *hi);
            }
            m_spectrumGraphs[c]->setData(f, a, true);
        } else {
            m_spectrumGraphs[c]->data()->clear();
        }
        if (c < 3)
            m_combinedGraphs[c]->setData(keys, window, true);
    }

    QCustomPlot* spectrum = ui->vectorFFTAll;
    if (record.hasSpectra) {
        if (ampMax >= ampMin) {
            // A tenth of the span on each side, in decades.
            const double factor = std::max(std::pow(ampMax / ampMin, 0.1), 1.2);
            spectrum->yAxis->setRange(ampMin / factor, ampMax * factor);
        }
        spectrum->xAxis->setRange(0, Instrument::VectorSampleRate / 2);
    }
    spectrum->replot(QCustomPlot::rpQueuedReplot);

    if (combinedMax >= combinedMin)
        setCombinedRange(combinedMin, combinedMax);
    ui->vectorXYZ->xAxis->setRange(0, span);
    ui->vectorXYZ->replot(QCustomPlot::rpQueuedReplot);
}

void VectorModuleWidget::setCombinedRange(double minimum, double maximum)
{
    const double margin = (maximum - minimum) / 10;
    const double upper = 5 * std::ceil((maximum + margin) / 5);
    double lower = 5 * std::floor((minimum - margin) / 5);
    if (!(upper > lower))
        lower = upper - 5;
    QCustomPlot* plot = ui->vectorXYZ;
    plot->yAxis->setRange(lower, upper);
    if (auto ticker = plot->yAxis->ticker().dynamicCast<QCPAxisTickerFixed>())
        ticker->setTickStep(combinedTickStep(upper - lower));
}
