#include "ui/BottomBar.h"

#include "app/ParamManager.h"
#include "device/SamplingRates.h"
#include "ui/InfoBox.h"
#include "ui/MainWindowStyles.h"
#include "ui/widgets/MyIntValidator.h"
#include "ui/widgets/RoundedMenu.h"

#include "ui_MainWindow.h"

#include <QMouseEvent>

#include <iterator>

namespace {

// The value of a digits-only text, saturated so that an over-long entry reads
// as too large rather than as 0. Any Unicode decimal digit counts (the
// validator lets full-width digits through).
qint64 digitsValue(const QString& text)
{
    qint64 v = 0;
    for (const QChar c : text) {
        const int d = c.digitValue();
        if (d < 0)
            return 0;
        v = qMin<qint64>(v * 10 + d, 1000000000);
    }
    return v;
}

// Cut-off: above 99999 gives "1000", below 1 gives "0".
QString clampCutOff(const QString& text)
{
    const qint64 v = digitsValue(text);
    if (v > 99999)
        return QStringLiteral("1000");
    if (v < 1)
        return QStringLiteral("0");
    return QString::number(v);
}

// FFT time: above 999 gives "1000", below 2 gives "1".
QString clampFftTime(const QString& text)
{
    const qint64 v = digitsValue(text);
    if (v > 999)
        return QStringLiteral("1000");
    if (v < 2)
        return QStringLiteral("1");
    return QString::number(v);
}

} // namespace

BottomBar::BottomBar(Ui_MainWindow* ui, ParamManager* paramManager, QWidget* window)
    : QObject(window), ui(ui), m_hub(paramManager), m_window(window),
      m_dataRateMenu(new RoundedMenu(window))
{
    for (QLineEdit* edit : {ui->edt_lowPass, ui->edt_highPass, ui->edt_fftTime})
        edit->setValidator(m_hub->getIntValidator());

    // Typing into the data-rate box changes nothing; a press opens the menu.
    ui->edt_dataRate->setReadOnly(true);
    // The finest step first.
    for (auto e = std::rbegin(SamplingRates::Table); e != std::rend(SamplingRates::Table); ++e) {
        if (!e->offeredBy(SamplingRates::DataRateMenu))
            continue;
        const QString text = QString::number(e->step(), 'g', 6);
        const int rate = e->rate;
        connect(m_dataRateMenu->addAction(text), &QAction::triggered, this,
                [this, text, rate] { emit dataRateChosen(text, rate); });
    }
    MainWindowStyles::applyToDataRateMenu(m_dataRateMenu);
}

void BottomBar::editFinished(const QObject* edit)
{
    DataParam param = m_hub->dataParam();
    const QString name = edit ? edit->objectName() : QString();
    if (name.contains(QLatin1String("edt_lowPass"))) {
        ui->edt_lowPass->setText(clampCutOff(ui->edt_lowPass->text()));
        param.lowPass = ui->edt_lowPass->text().toInt();
    } else if (name.contains(QLatin1String("edt_highPass"))) {
        ui->edt_highPass->setText(clampCutOff(ui->edt_highPass->text()));
        param.highPass = ui->edt_highPass->text().toInt();
    } else if (name.contains(QLatin1String("edt_fftTime"))) {
        ui->edt_fftTime->setText(clampFftTime(ui->edt_fftTime->text()));
        param.fftTime = ui->edt_fftTime->text().toInt();
    }
    // Only one of the two filters can be set at a time.
    ui->edt_highPass->setReadOnly(param.lowPass > 0);
    ui->edt_lowPass->setReadOnly(param.highPass > 0);
    m_hub->setDataParam(param);
    emit m_hub->sig_syncDataParam(param);
}

bool BottomBar::dataRatePressed(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit || edit->objectName() != QLatin1String("edt_dataRate"))
        return false;
    if (!edit->isEnabled())
        return true;
    if (m_hub->isSaving())
        InfoBox::open(QStringLiteral("保存磁场信息中,要修改频率,请先停止保存!"),
                      m_window->windowIcon());
    else
        m_dataRateMenu->exec(static_cast<QMouseEvent*>(event)->globalPos());
    return true;
}

// Main and vector pages show the cut-off edits, the sensitivity page the FFT time.
void BottomBar::showEdits(PageHooks::BottomBar edits)
{
    if (edits == PageHooks::BottomBar::Unchanged)
        return;
    const bool filters = edits == PageHooks::BottomBar::CutOffs;
    ui->lbl_fftTime->setVisible(!filters);
    ui->edt_fftTime->setVisible(!filters);
    ui->label_FFT_Unit->setVisible(!filters);
    ui->lbl_lowPass->setVisible(filters);
    ui->edt_lowPass->setVisible(filters);
    ui->lbl_highPass->setVisible(filters);
    ui->edt_highPass->setVisible(filters);
}

void BottomBar::showDataRate(double step, bool enabled)
{
    ui->edt_dataRate->setText(QString::number(step, 'g', 6));
    ui->edt_dataRate->setEnabled(enabled);
}
