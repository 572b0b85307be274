#include "services/SaveModuleForm.h"

#include "app/ParamManager.h"
#include "app/RuntimePaths.h"
#include "device/SamplingRates.h"
#include "services/RecordingFormat.h"
#include "services/SaveFileThread.h"
#include "ui/widgets/MyIntValidator.h"

#include "ui_SaveModuleForm.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsDropShadowEffect>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

namespace {
constexpr int PanelMaxLines = 5000;
constexpr int PanelDropLines = 1000;
constexpr int PanelResetEvery = 12000;

void addShadow(QWidget* widget, int blur, int dy, const QColor& colour)
{
    auto* shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setBlurRadius(blur);
    shadow->setOffset(0, dy);
    shadow->setColor(colour);
    widget->setGraphicsEffect(shadow);
}
} // namespace

SaveModuleForm::SaveModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_SaveModuleForm), hub(paramManager),
      m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    ui->setupUi(this);
    initLineEdits();
    ui->chk_local->hide();
    ui->chk_SD->hide();
    initStyle();

    connect(hub, &ParamManager::sig_updateForm, this, &SaveModuleForm::slots_updateForm);
    connect(hub, &ParamManager::sig_updateVectorForm, this,
            &SaveModuleForm::slots_updateVectorForm);
    connect(hub, &ParamManager::sig_saveFinished, this, &SaveModuleForm::slots_saveFinished);
    if (SaveFileThread* recorder = hub->getSaveFileThread())
        connect(recorder, &SaveFileThread::sig_saveFailed, this, &SaveModuleForm::showWriteFailure);
}

SaveModuleForm::~SaveModuleForm()
{
    delete ui;
}

PageHooks SaveModuleForm::pageHooks()
{
    PageHooks hooks;
    hooks.leave = [this](int) { stopRefresh(); };
    hooks.enter = [this] {
        if (hub->isSaving())
            startRefresh();
    };
    hooks.reset = [this] { reset(); };
    hooks.setLanguage = [this](int num) { slot_setLanguage(num); };
    return hooks;
}

void SaveModuleForm::startRefresh()
{
    m_refresh = true;
}

void SaveModuleForm::stopRefresh()
{
    m_refresh = false;
}

void SaveModuleForm::resizeEvent(QResizeEvent*) {}

// ---- file name and folder -----------------------------------------------------

QString SaveModuleForm::nowFileName() const
{
    return m_clock().toString(QStringLiteral("yyyyMMdd_hhmmss")) + QStringLiteral(".CSV");
}

void SaveModuleForm::buildDefaultFileName()
{
    const QString name = nowFileName();
    ui->edt_fileName->setText(name);
    const QString folder = RuntimePaths::appDir() + QStringLiteral("/file");
    ui->edt_filePath->setText(folder);
    if (!QDir(folder).exists() && !QDir().mkpath(folder))
        hub->log(QStringLiteral("SaveModuleForm create %1 path failed").arg(folder));
    ui->edt_pathFileName->setText(QStringLiteral("%1/%2").arg(folder, name));
    ui->chk_saveFiles->setChecked(true);
}

void SaveModuleForm::initLineEdits()
{
    buildDefaultFileName();
    connect(ui->edt_fileName, &QLineEdit::editingFinished, this,
            &SaveModuleForm::slots_lineEditIsOK);
    connect(ui->edt_filePath, &QLineEdit::editingFinished, this,
            &SaveModuleForm::slots_lineEditIsOK);
    ui->edt_saveTime->setValidator(hub->getIntValidator());
}

void SaveModuleForm::slots_lineEditIsOK()
{
    ui->edt_pathFileName->setText(
        QStringLiteral("%1/%2").arg(ui->edt_filePath->text(), ui->edt_fileName->text()));
}

void SaveModuleForm::on_btnOpen_clicked()
{
    m_refresh = false;
    const QString folder = QFileDialog::getExistingDirectory(
        nullptr, QStringLiteral("Select a Directory"), ui->edt_filePath->text(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (folder.isEmpty())
        return;
    ui->edt_filePath->setText(folder);
    slots_lineEditIsOK();
}

// ---- start and stop --------------------------------------------------------------

void SaveModuleForm::on_btn_Save_clicked()
{
    const QString name = nowFileName();
    ui->edt_fileName->setText(name);

    const bool wasSaving = hub->isSaving();
    const QString folder = ui->edt_filePath->text();
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        hub->log(QStringLiteral("SaveModuleForm create %1 path failed").arg(folder));
        // A recording that runs is stopped all the same.
        if (!wasSaving)
            return;
    }
    ui->edt_pathFileName->setText(QStringLiteral("%1/%2").arg(folder, name));

    const QString comments = ui->textEdit->toPlainText();
    if (!comments.isEmpty())
        hub->writeTextFile(
            QStringLiteral("%1/%2.txt")
                .arg(folder, RecordingFormat::withoutCsvSuffix(ui->edt_fileName->text())),
            comments);

    bool ok = false;
    const uint interval = ui->edt_saveTime->text().toUInt(&ok);
    hub->setSaveParam(!wasSaving, ok ? int(interval) : 0, ui->edt_pathFileName->text(),
                      ui->chk_saveFiles->isChecked());

    ui->btn_Save->setText(saveButtonText(!wasSaving, hub->isChinese));
    m_refresh = !wasSaving;
}

void SaveModuleForm::slots_saveFinished()
{
    ui->btn_Save->setText(saveButtonText(false, hub->isChinese));
    m_refresh = false;
}

void SaveModuleForm::reset()
{
    ui->btn_Save->setText(saveButtonText(false, hub->isChinese));
    ui->edt_saveTime->setText(QStringLiteral("0"));
    hub->setSaveParam(false, ui->edt_saveTime->text().toInt(), ui->edt_pathFileName->text(), false);
    m_refresh = false;
    ui->textEdit->clear();
    ui->textEdit_console->clear();
    buildDefaultFileName();
}

QString SaveModuleForm::saveButtonText(bool saving, int num)
{
    if (num == 1)
        return saving ? QStringLiteral("保存中") : QStringLiteral("保存");
    return saving ? QStringLiteral("Saving") : QStringLiteral("Save");
}

void SaveModuleForm::showWriteFailure(const QString& filePath, const QString& error)
{
    const QString text =
        hub->isChinese == 1
            ? QStringLiteral("记录文件写入失败,数据暂存于内存并每秒重试:\n%1\n%2")
            : QStringLiteral("The recording file cannot be written; its rows are kept and "
                             "tried again every second:\n%1\n%2");
    auto* box = new QMessageBox();
    box->setWindowIcon(window()->windowIcon());
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QStringLiteral("提示"));
    box->setText(text.arg(QDir::toNativeSeparators(filePath), error));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// ---- samples ------------------------------------------------------------------------

void SaveModuleForm::slots_updateForm(QVector<double> datas, FrequencyType frequencytype)
{
    if (!SamplingRates::isRecorded(frequencytype))
        return;
    const int rate = hub->samplingRate;
    if (rate != int(frequencytype)) {
        m_gathered.clear();
        return;
    }
    m_gathered += datas;
    if (m_gathered.size() == rate) {
        emit hub->sig_saveCSVData(m_gathered, rate, m_clock());
        m_gathered.clear();
    } else if (m_gathered.size() > rate) {
        qDebug() << "2025.07.02 Wrong  sendsize  samplingRate: " << m_gathered.size() << ","
                 << rate;
        m_gathered.clear();
    }

    if (m_refresh)
        appendToPanel(datas);
}

void SaveModuleForm::appendToPanel(const QVector<double>& datas)
{
    const QDateTime now = m_clock();
    const int ms = now.time().msec();
    QString html = QStringLiteral("\n    <table style=\"font-family: 'MiSans'; font-size: 18px; "
                                  "color: #2B3B50; line-height: 31px;\">\n    ");
    for (int i = 0; i < datas.size(); i += 10) {
        const QString time = now.addSecs((ms + i) / 1000).toString(QStringLiteral("HH:mm:ss.")) +
                             QStringLiteral("%1").arg((ms + i) % 1000, 3, 10, QLatin1Char('0'));
        html += QStringLiteral("<tr><td style='padding-right: 20px;'>%1</td><td>%2</td></tr>\n")
                    .arg(time, QString::number(datas[i], 'f', 2));
    }
    html += QStringLiteral("</table>");

    QTextEdit* panel = ui->textEdit_console;
    panel->insertHtml(html);
    panel->moveCursor(QTextCursor::End);

    QTextDocument* document = panel->document();
    if (document->lineCount() > PanelMaxLines) {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, PanelDropLines);
        cursor.removeSelectedText();
    }
    if (++m_refreshCount % PanelResetEvery == 0) {
        document->clearUndoRedoStacks();
        panel->setPlainText(panel->toPlainText());
        panel->moveCursor(QTextCursor::End);
    }
}

void SaveModuleForm::slots_updateVectorForm(FIDVectorData)
{
    // The page shows no vector values. Said once, not with every frame.
    static bool said = false;
    if (!said)
        qDebug() << "严重错误,目标不匹配";
    said = true;
}

// ---- language and style ---------------------------------------------------------------

void SaveModuleForm::slot_setLanguage(int num)
{
    const QVector<PageTexts::Text> texts = {
        {ui->label, "文件名格式"},
        {ui->label_2, "选择文件夹"},
        {ui->label_3, "实际路径 + 文件名"},
        {ui->label_4, "备注"},
        {ui->lbl_time, "秒"},
        {ui->chk_saveFiles, "保存为连续文件"},
        {ui->chk_local, "本地保存"},
        {ui->chk_SD, "保存到SD卡"},
    };
    m_texts.setLanguage(num, texts);
    ui->btn_Save->setText(saveButtonText(hub->isSaving(), num));
}

void SaveModuleForm::initStyle()
{
    const QString label = QStringLiteral("background: transparent; font-family: MiSans; "
                                         "font-weight: 400; font-size: 18px; color: %1;");
    ui->frame->setStyleSheet(QStringLiteral("QFrame { border: none; }"));
    for (QLabel* l : {ui->label, ui->label_2, ui->label_3, ui->label_4})
        l->setStyleSheet(label.arg(QStringLiteral("#2B3B50")));
    ui->lbl_time->setStyleSheet(label.arg(QStringLiteral("#77818E")));

    ui->textEdit->setStyleSheet(QStringLiteral(
        "QTextEdit { background: #FFFFFF; border-radius: 6px; border: 1px solid transparent; "
        "padding: 4px; font-family: MiSans; font-size: 18px; color: #2B3B50; }"));
    addShadow(ui->textEdit, 8, 2, QColor(190, 204, 225, 25));

    for (QLineEdit* edit : {ui->edt_fileName, ui->edt_filePath, ui->edt_pathFileName}) {
        edit->setStyleSheet(QStringLiteral(
            "QLineEdit { background: #FFFFFF; border-radius: 6px; border: 1px solid transparent; "
            "font-family: MiSans; font-weight: 400; font-size: 18px; color: #2B3B50; "
            "padding: 0px 8px; }"));
        addShadow(edit, 12, 2, QColor(100, 120, 150, 100));
    }

    ui->widget->setObjectName(QStringLiteral("mainPanel1"));
    ui->widget->setAttribute(Qt::WA_StyledBackground);
    ui->widget->setStyleSheet(QStringLiteral(
        "#mainPanel1 { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #EDF6FF, "
        "stop:1 #FFFFFF); border-radius: 10px; border: 2px solid #FFFFFF; }"));
    addShadow(ui->widget, 16, 9, QColor(185, 204, 225, 168));

    ui->btnOpen->setStyleSheet(QStringLiteral(
        "QPushButton { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #8FA4B9, "
        "stop:1 #A4B7C8); border-radius: 22px; image: url(:/floder.png); border: none; }"
        "QPushButton:hover { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, "
        "stop:0 #7D92A7, stop:1 #9AADC0); }"
        "QPushButton:pressed { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, "
        "stop:0 #6B8095, stop:1 #8A9DB0); }"));
    ui->btn_Save->setStyleSheet(QStringLiteral(
        "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, "
        "stop:1 #A4B7C8); border-radius: 22px; font-family: MiSans; font-weight: 400; "
        "font-size: 18px; color: #FFFFFF; padding: 10px 20px; border: none; }"
        "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
        "stop:0 #2A7ACD, stop:1 #4293E8); }"
        "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
        "stop:0 #0557AB, stop:1 #4293E8); }"));
    ui->edt_saveTime->setStyleSheet(QStringLiteral(
        "QLineEdit { border: 1px solid #E0E0E0; border-radius: 6px; background: #FFFFFF; "
        "padding: 0px 8px; selection-background-color: #4293E8; font-family: MiSans; "
        "font-weight: 400; font-size: 18px; color: #2B3B50; }"
        "QLineEdit:focus { border: 1px solid #4293E8; }"));

    ui->textEdit_console->setStyleSheet(QStringLiteral(
        "QTextEdit { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, "
        "stop:1 #EDF6FF); border-radius: 10px; border: 2px solid #FFFFFF; font-family: MiSans; "
        "font-weight: 400; font-size: 18px; color: #2B3B50; padding: 8px; }"
        "QScrollBar:vertical { width: 12px; background: #E3EDF9; border-radius: 5px; "
        "margin: 2px; }"
        "QScrollBar:horizontal { height: 12px; background: #E3EDF9; border-radius: 5px; "
        "margin: 2px; }"
        "QScrollBar::handle:vertical, QScrollBar::handle:horizontal { background: "
        "qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0557AB, stop:1 #4293E8); "
        "border-radius: 3px; min-height: 30px; min-width: 30px; }"
        "QScrollBar::handle:hover { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
        "stop:0 #03478F, stop:1 #3A82D0); }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"));
    addShadow(ui->textEdit_console, 16, 9, QColor(185, 204, 225, 168));

    ui->chk_saveFiles->setStyleSheet(QStringLiteral(
        "QCheckBox { font-family: MiSans; font-weight: 400; font-size: 18px; color: #77818E; "
        "spacing: 10px; background: transparent; }"
        "QCheckBox::indicator { width: 24px; height: 24px; }"
        "QCheckBox::indicator:unchecked { image: url(:/SaveCheckBoxNormal.png); }"
        "QCheckBox::indicator:checked { image: url(:/SaveCheckBoxCheck.png); }"));
}
