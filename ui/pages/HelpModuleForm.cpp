#include "ui/pages/HelpModuleForm.h"

#include "app/ParamManager.h"

#include "ui_HelpModuleForm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QRegularExpression>
#include <QTextCodec>
#include <QTextStream>
#include <QUrl>

namespace {
struct Topic
{
    const char* path;
    const char* chinese;
    const char* english;
};
const Topic Topics[] = {
    {"help/index.html", "帮助首页", "Index"},
    {"help/main.html", "主模块", "Main"},
    {"help/sensitivity.html", "灵敏度模块", "Sensitivity"},
    {"help/save.html", "数据保存模块", "Save"},
    {"help/config.html", "配置模块", "Config"},
};

QGraphicsDropShadowEffect* shadow(QWidget* owner, qreal blur, const QPointF& offset,
                                  const QColor& colour)
{
    auto* effect = new QGraphicsDropShadowEffect(owner);
    effect->setBlurRadius(blur);
    effect->setOffset(offset);
    effect->setColor(colour);
    return effect;
}

// The source made absolute: the folder, "/" and the source. The source is a URL
// reference (a "%20" in it is a blank); the folder is a file path, so a '#' or
// '?' in a folder name stays part of the path. A folder on a drive keeps its
// drive through a file URL.
QString absoluteSource(const QString& baseDir, const QString& source)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:/"));
    if (drive.match(baseDir).hasMatch())
        return QUrl::fromLocalFile(baseDir + QLatin1Char('/'))
            .resolved(QUrl(source, QUrl::TolerantMode))
            .toString();
    QUrl folder;
    folder.setPath(baseDir, QUrl::DecodedMode);
    QUrl url;
    url.setPath(folder.path(QUrl::FullyEncoded) + QLatin1Char('/') + source, QUrl::TolerantMode);
    return url.toString();
}
} // namespace

HelpModuleForm::HelpModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_HelpModuleForm), paramManager(paramManager)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    qRegisterMetaType<HelpItem>("HelpItem");
    qRegisterMetaType<QList<HelpItem>>("QList<HelpItem>");

    const bool chinese = paramManager->isChinese == 1;
    for (const Topic& t : Topics)
        helpItems.append({QString::fromUtf8(chinese ? t.chinese : t.english),
                          QString(),
                          QString::fromLatin1(t.path),
                          {}});
    m_buttons = {ui->btn_index1, ui->btn_main1, ui->btn_sensitivity1, ui->btn_save1,
                 ui->btn_config1};
    initStyle();
}

HelpModuleForm::~HelpModuleForm()
{
    delete ui;
}

PageHooks HelpModuleForm::pageHooks()
{
    PageHooks hooks;
    hooks.setLanguage = [this](int num) { slot_setLanguage(num); };
    return hooks;
}

void HelpModuleForm::initStyle()
{
    for (int i = 0; i < m_buttons.size(); ++i) {
        QPushButton* button = m_buttons.at(i);
        connect(button, &QPushButton::toggled, this, [this, button, i](bool checked) {
            if (!checked) {
                button->setGraphicsEffect(nullptr);
                return;
            }
            button->setGraphicsEffect(shadow(button, 2, {0, 2}, QColor(57, 138, 223, 181)));
            showTopic(i);
        });
    }
    const QColor cardShadow(185, 204, 225, 168);
    ui->widgetHelpIndex->setGraphicsEffect(shadow(ui->widgetHelpIndex, 16, {0, 9}, cardShadow));
    ui->textBrowser->setGraphicsEffect(shadow(ui->textBrowser, 16, {0, 9}, cardShadow));

    // The main topic is read first; the page opens on the index.
    ui->btn_main1->setChecked(true);
    ui->btn_index1->setChecked(true);
}

void HelpModuleForm::showTopic(int index)
{
    if (index < 0 || index >= helpItems.size())
        return;
    const HelpItem& item = helpItems.at(index);
    if (!item.html.isEmpty())
        ui->textBrowser->setHtml(item.html);
    else if (!item.pagePath.isEmpty())
        loadHtmlFile(item.pagePath);
}

void HelpModuleForm::loadHtmlFile(const QString& pagePath)
{
    QFile file(pagePath);
    if (!file.exists() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const QByteArray bytes = file.readAll();
    file.close();
    // The files name their encoding; without a name they are read as UTF-8,
    // whatever the system's code page.
    QTextCodec* codec = QTextCodec::codecForHtml(bytes, QTextCodec::codecForName("UTF-8"));
    QString html = codec->toUnicode(bytes);
    fixResourcePaths(html, QFileInfo(file).absolutePath());
    ui->textBrowser->setHtml(html);
}

void HelpModuleForm::fixResourcePaths(QString& html, const QString& baseDir)
{
    static const QRegularExpression tag(
        QStringLiteral(R"(<\s*(img|script|link)\s+[^>]*\s+src=["']([^"']+)["'][^>]*>)"));
    QString out;
    out.reserve(html.size());
    int copied = 0;
    QRegularExpressionMatchIterator it = tag.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString source = match.captured(2);
        if (source.startsWith(QLatin1String("http://")) ||
            source.startsWith(QLatin1String("https://")) ||
            source.startsWith(QLatin1String("file://")))
            continue;
        out += html.midRef(copied, match.capturedStart(2) - copied);
        out += absoluteSource(baseDir, source);
        copied = match.capturedEnd(2);
    }
    out += html.midRef(copied);
    html = out;
}

void HelpModuleForm::slot_setLanguage(int num)
{
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons.at(i)->setText(
            QString::fromUtf8(num == 1 ? Topics[i].chinese : Topics[i].english));
}
