#include "ui/pages/HelpModuleForm.h"

#include "app/ParamManager.h"
#include "app/RegularFile.h"

#include "ui_HelpModuleForm.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QRegularExpression>
#include <QTextCodec>
#include <QTextStream>
#include <QUrl>
#include <QVector>

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

// The src values of img, script and link tags, found as the regular expression
//   <\s*(img|script|link)\s+[^>]*\s+src=["']([^"']+)["'][^>]*>
// finds them, one match after the other, but in time linear in the text: the
// expression itself backtracks over every "<img " without an end, and a page of
// them takes minutes. For a tag whose attributes run from p to the first '>'
// after it, the expression takes the last "src=" with a blank before it (and not
// the blank right after the name) whose quoted value is not empty and has a '>'
// somewhere after it; the match ends at that '>'. Every tag before the same '>'
// shares that last candidate, so one table of candidates serves them all.
struct SourceSpan
{
    int start;
    int length;
};

bool isBlank(QChar c)
{
    // \s of the expression: the ASCII blanks only.
    const ushort u = c.unicode();
    return u == ' ' || (u >= '\t' && u <= '\r');
}

bool isQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

QVector<SourceSpan> tagSources(const QString& s)
{
    const int n = s.size();
    // nextGt[i], nextQuote[i]: the first '>' or quote at or after i, n for none.
    QVector<int> nextGt(n + 1, n);
    QVector<int> nextQuote(n + 1, n);
    for (int i = n - 1; i >= 0; --i) {
        nextGt[i] = s.at(i) == QLatin1Char('>') ? i : nextGt[i + 1];
        nextQuote[i] = isQuote(s.at(i)) ? i : nextQuote[i + 1];
    }
    // A "src=" at q that can end a match: a blank before it, a quote after it, a
    // value that is not empty up to the next quote, and a '>' after that.
    const auto candidate = [&](int q) {
        if (q < 1 || q + 5 > n || !isBlank(s.at(q - 1)) ||
            s.midRef(q, 4) != QLatin1String("src=") || !isQuote(s.at(q + 4)))
            return false;
        const int close = nextQuote[q + 5];
        return close < n && close > q + 5 && nextGt[close + 1] < n;
    };
    // lastCandidate[x]: the last candidate before x, -1 for none.
    QVector<int> lastCandidate(n + 1, -1);
    for (int x = 0; x < n; ++x)
        lastCandidate[x + 1] = candidate(x) ? x : lastCandidate[x];

    static const QLatin1String names[] = {QLatin1String("img"), QLatin1String("script"),
                                          QLatin1String("link")};
    QVector<SourceSpan> spans;
    int from = 0;
    while (from < n) {
        const int open = s.indexOf(QLatin1Char('<'), from);
        if (open < 0)
            break;
        from = open + 1;
        int at = open + 1;
        while (at < n && isBlank(s.at(at)))
            ++at;
        int nameEnd = -1;
        for (const QLatin1String& name : names)
            if (s.midRef(at, name.size()) == name) {
                nameEnd = at + name.size();
                break;
            }
        if (nameEnd < 0 || nameEnd >= n || !isBlank(s.at(nameEnd)))
            continue;
        const int tagEnd = nextGt[nameEnd];
        if (tagEnd >= n)
            continue;
        const int q = lastCandidate[tagEnd];
        if (q < nameEnd + 2)
            continue;
        const int close = nextQuote[q + 5];
        spans.append({q + 5, close - (q + 5)});
        from = nextGt[close + 1] + 1;
    }
    return spans;
}
} // namespace

HelpModuleForm::HelpModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_HelpModuleForm), paramManager(paramManager)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    qRegisterMetaType<HelpItem>("HelpItem");
    qRegisterMetaType<QList<HelpItem>>("QList<HelpItem>");

    m_language = paramManager->isChinese;
    const bool chinese = m_language == 1;
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
    const RegularFile::Contents file = RegularFile::read(pagePath, MaxPageBytes);
    if (file.status == RegularFile::Status::TooLarge) {
        qDebug().noquote() << "help:" << pagePath << "is larger than" << MaxPageBytes
                           << "bytes - not shown";
        const int kb = MaxPageBytes / 1024;
        const QString message =
            m_language == 1
                ? QStringLiteral("此帮助页面太大（超过 %1 KB），无法显示：%2").arg(kb).arg(pagePath)
                : QStringLiteral("This help page is too large to show (more than %1 KB): %2")
                      .arg(kb)
                      .arg(pagePath);
        // As a page of its own: plain text would take the format under the
        // cursor, a link of the page before.
        ui->textBrowser->setHtml(QStringLiteral("<p>%1</p>").arg(message.toHtmlEscaped()));
        return;
    }
    if (file.status != RegularFile::Status::Ok)
        return;
    // The files name their encoding; without a name they are read as UTF-8,
    // whatever the system's code page.
    QTextCodec* codec = QTextCodec::codecForHtml(file.bytes, QTextCodec::codecForName("UTF-8"));
    QString html = codec->toUnicode(file.bytes);
    const QString folder = QFileInfo(pagePath).absolutePath();
    fixResourcePaths(html, folder);
    ui->textBrowser->setResourceFolder(folder);
    ui->textBrowser->setHtml(html);
}

void HelpModuleForm::fixResourcePaths(QString& html, const QString& baseDir)
{
    QString out;
    out.reserve(html.size());
    int copied = 0;
    for (const SourceSpan& span : tagSources(html)) {
        const QStringRef source = html.midRef(span.start, span.length);
        if (source.startsWith(QLatin1String("http://")) ||
            source.startsWith(QLatin1String("https://")) ||
            source.startsWith(QLatin1String("file://")))
            continue;
        out += html.midRef(copied, span.start - copied);
        out += absoluteSource(baseDir, source.toString());
        copied = span.start + span.length;
    }
    out += html.midRef(copied);
    html = out;
}

void HelpModuleForm::slot_setLanguage(int num)
{
    m_language = num;
    // The form's texts begin with a blank; the English titles do not.
    QVector<PageTexts::Text> texts;
    for (int i = 0; i < m_buttons.size(); ++i)
        texts.append({m_buttons.at(i), Topics[i].chinese, Topics[i].english});
    m_texts.setLanguage(num, texts);
}
