// The help page on its own, with help files written into the test's working
// folder: the source rewriting, the topics, missing files, the language and
// the browser's painting.

#include "app/ParamManager.h"
#include "tests/support/TestMain.h"
#include "ui/pages/CustomTextBrowser.h"
#include "ui/pages/HelpModuleForm.h"

#include <QDir>
#include <QGraphicsEffect>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <memory>

namespace {
const char* const Buttons[] = {"btn_index1", "btn_main1", "btn_sensitivity1", "btn_save1",
                               "btn_config1"};
const char* const Files[] = {"index", "main", "sensitivity", "save", "config"};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void writeImage(const QString& path, const QColor& colour)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path));
}

// One help file whose text names it and that shows one image beside it.
QByteArray helpFile(const QString& name)
{
    return QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><h1>Topic %1 主题</h1>"
                          "<p><img width=\"24\" src=\"images/%1.png\"></p></body></html>")
        .arg(name)
        .toUtf8();
}

QStringList imageNames(QTextDocument* doc)
{
    QStringList names;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                names << it.fragment().charFormat().toImageFormat().name();
    return names;
}

struct Page
{
    ParamManager hub;
    std::unique_ptr<HelpModuleForm> page;
    QTextBrowser* browser = nullptr;

    explicit Page(int isChinese = 0)
    {
        hub.isChinese = isChinese;
        page = std::make_unique<HelpModuleForm>(&hub);
        page->resize(1173, 610);
        browser = page->findChild<QTextBrowser*>("textBrowser");
    }
    QPushButton* button(int i) { return page->findChild<QPushButton*>(Buttons[i]); }
    QString shown() const { return browser->toPlainText(); }
};
} // namespace

class TstHelpModuleForm : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fixResourcePaths_data();
    void fixResourcePaths();
    void sourcesUnderADriveKeepTheDrive();
    void topicsShowTheirFiles();
    void opensOnTheIndex();
    void missingOrUnreadableFileKeepsThePage_data();
    void missingOrUnreadableFileKeepsThePage();
    void withoutHelpFolderThePageStaysEmpty();
    void imagesResolveInAFolderWithBlanksAndHash();
    void languageChangesOnlyTheButtons();
    void browserPaintsTheDocument();

private:
    void writeHelp();
};

void TstHelpModuleForm::init()
{
    QDir("help").removeRecursively();
}

void TstHelpModuleForm::writeHelp()
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::cyan, Qt::magenta};
    for (int i = 0; i < 5; ++i) {
        writeFile(QStringLiteral("help/%1.html").arg(Files[i]), helpFile(Files[i]));
        writeImage(QStringLiteral("help/images/%1.png").arg(Files[i]), colours[i]);
    }
}

void TstHelpModuleForm::fixResourcePaths_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    const QString base = "/opt/app/help";

    QTest::newRow("img with an attribute before src")
        << R"(<img class="shot" src="img/a.png" alt="a">)"
        << R"(<img class="shot" src="/opt/app/help/img/a.png" alt="a">)";
    QTest::newRow("img with its src alone") << R"(<img src="img/a.png">)"
                                            << R"(<img src="img/a.png">)";
    QTest::newRow("single quotes and a line break")
        << "<img width='10'\n src='a.png'>"
        << "<img width='10'\n src='/opt/app/help/a.png'>";
    QTest::newRow("script")
        << R"(<script type="text/javascript" src="js/a.js"></script>)"
        << R"(<script type="text/javascript" src="/opt/app/help/js/a.js"></script>)";
    QTest::newRow("link src, not href")
        << R"(<link rel="icon" src="i.png"><link rel="stylesheet" href="s.css">)"
        << R"(<link rel="icon" src="/opt/app/help/i.png"><link rel="stylesheet" href="s.css">)";
    QTest::newRow("web and file sources stay")
        << R"(<img a="1" src="http://x/a.png"><img a="1" src="https://x/b.png"><img a="1" src="file:///c.png">)"
        << R"(<img a="1" src="http://x/a.png"><img a="1" src="https://x/b.png"><img a="1" src="file:///c.png">)";
    QTest::newRow("a prefix in capitals is a relative source")
        << R"(<img a="1" src="HTTP://x/a.png">)"
        << R"(<img a="1" src="/opt/app/help/HTTP://x/a.png">)";
    QTest::newRow("the same source twice, each once")
        << R"(<img a="1" src="a.png"> text a.png <img b="2" src="a.png">)"
        << R"(<img a="1" src="/opt/app/help/a.png"> text a.png <img b="2" src="/opt/app/help/a.png">)";
    QTest::newRow("other tags untouched") << R"(<a class="x" src="a.png">a</a>)"
                                          << R"(<a class="x" src="a.png">a</a>)";
}

void TstHelpModuleForm::fixResourcePaths()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    HelpModuleForm::fixResourcePaths(html, "/opt/app/help");
    QCOMPARE(html, expected);
}

// On a system with drive letters the folder keeps its drive, as a file URL.
void TstHelpModuleForm::sourcesUnderADriveKeepTheDrive()
{
    const QString web = "<img a=\"1\" src=\"http://x/c.png\">";
    QString html = "<img class=\"shot\" src=\"img/a%20b.png\">" + web;
    HelpModuleForm::fixResourcePaths(html, "C:/Program Files/app/help");
    QCOMPARE(html,
             "<img class=\"shot\" src=\"file:///C:/Program Files/app/help/img/a b.png\">" + web);
}

void TstHelpModuleForm::topicsShowTheirFiles()
{
    writeHelp();
    Page p;
    for (int i : {2, 4, 0, 3, 1}) {
        p.button(i)->click();
        QVERIFY(p.button(i)->isChecked());
        QVERIFY(p.shown().contains(QStringLiteral("Topic %1 主题").arg(Files[i])));
        const QStringList images = imageNames(p.browser->document());
        const QString expected =
            QDir::current().absoluteFilePath(QStringLiteral("help/images/%1.png").arg(Files[i]));
        QCOMPARE(images, QStringList{expected});
        const QImage image = p.browser->document()
                                 ->resource(QTextDocument::ImageResource, QUrl(images.first()))
                                 .value<QImage>();
        QCOMPARE(image.size(), QSize(24, 16));
        // The checked button carries the shadow; the others none.
        for (int j = 0; j < 5; ++j)
            QCOMPARE(p.button(j)->graphicsEffect() != nullptr, j == i);
    }
}

void TstHelpModuleForm::opensOnTheIndex()
{
    writeHelp();
    Page p;
    QVERIFY(p.button(0)->isChecked());
    QVERIFY(p.shown().contains("Topic index"));
    QCOMPARE(p.page->topics().size(), 5);
    QCOMPARE(p.page->topics().at(3).pagePath, QStringLiteral("help/save.html"));
    QCOMPARE(p.page->topics().at(3).title, QStringLiteral("Save"));
    QCOMPARE(Page(1).page->topics().at(3).title, QStringLiteral("数据保存模块"));
}

void TstHelpModuleForm::missingOrUnreadableFileKeepsThePage_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("missing") << "missing";
    QTest::newRow("a folder in its place") << "folder";
}

void TstHelpModuleForm::missingOrUnreadableFileKeepsThePage()
{
    QFETCH(QString, damage);
    writeHelp();
    QFile::remove("help/save.html");
    if (damage == "folder")
        QVERIFY(QDir().mkpath("help/save.html"));
    Page p;
    p.button(2)->click();
    const QString before = p.browser->toHtml();
    p.button(3)->click();
    QVERIFY(p.button(3)->isChecked());
    QCOMPARE(p.browser->toHtml(), before);
    p.button(4)->click();
    QVERIFY(p.shown().contains("Topic config"));
}

void TstHelpModuleForm::withoutHelpFolderThePageStaysEmpty()
{
    Page p;
    QVERIFY(p.browser->document()->isEmpty());
    for (int i = 0; i < 5; ++i) {
        p.button(i)->click();
        QVERIFY(p.browser->document()->isEmpty());
    }
}

void TstHelpModuleForm::imagesResolveInAFolderWithBlanksAndHash()
{
    const QString folder = "help files #1";
    writeFile(folder + "/page.html",
              R"(<p>x<img width="24" src="a%20b.png"><img width="24" src="sub/c.png"></p>)");
    writeImage(folder + "/a b.png", Qt::red);
    writeImage(folder + "/sub/c.png", Qt::blue);
    Page p;
    p.page->loadHtmlFile(folder + "/page.html");
    const QStringList images = imageNames(p.browser->document());
    QCOMPARE(images.size(), 2);
    for (const QString& name : images) {
        const QVariant resource =
            p.browser->document()->resource(QTextDocument::ImageResource, QUrl(name));
        QVERIFY2(!resource.value<QImage>().isNull(), qPrintable(name));
    }
    QDir(folder).removeRecursively();
}

void TstHelpModuleForm::languageChangesOnlyTheButtons()
{
    writeHelp();
    Page p;
    p.button(1)->click();
    const QString shown = p.browser->toHtml();
    const QString titles[] = {"帮助首页", "主模块", "灵敏度模块", "数据保存模块", "配置模块"};
    const QString english[] = {"Index", "Main", "Sensitivity", "Save", "Config"};
    QCOMPARE(p.button(0)->text(), QStringLiteral(" Index")); // the form's own text
    p.page->slot_setLanguage(1);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(p.button(i)->text(), titles[i]);
    QCOMPARE(p.browser->toHtml(), shown);
    QVERIFY(p.button(1)->isChecked());
    p.page->slot_setLanguage(0);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(p.button(i)->text(), english[i]);
    QCOMPARE(p.browser->toHtml(), shown);
    QCOMPARE(p.page->topics().at(1).title, QStringLiteral("Main"));
}

// The browser draws the document with its render hints: text and images show,
// and a scaled image is smoothed (a one-pixel checkerboard shrunk to 37 % comes
// out grey, where unsmoothed scaling keeps only black and white).
void TstHelpModuleForm::browserPaintsTheDocument()
{
    writeHelp();
    static QStringList warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (type == QtWarningMsg)
                warnings << msg;
        });
    Page p;
    p.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.page.get()));
    const QImage shot = p.browser->viewport()->grab().toImage();
    qInstallMessageHandler(previous);
    QVERIFY2(warnings.filter("Paint").isEmpty(), qPrintable(warnings.join("; ")));

    int red = 0, dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            red += c == QColor(Qt::red);
            dark += c.lightness() < 100;
        }
    QVERIFY2(red >= 24 * 16 / 2, qPrintable(QString::number(red))); // the index's image
    QVERIFY2(dark > 50, "no text drawn");

    QImage board(100, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    QVERIFY(board.save("help/board.png"));
    writeFile("help/board.html", R"(<p><img width="37" height="37" src="board.png"></p>)");
    p.page->loadHtmlFile("help/board.html");
    const QImage scaled = p.browser->viewport()->grab().toImage();
    int greys = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const QColor c = scaled.pixelColor(x, y);
            greys += c.red() > 60 && c.red() < 200 && c.red() == c.blue();
        }
    QVERIFY2(greys > 37 * 37 / 2, qPrintable(QString::number(greys)));
    p.page->loadHtmlFile("help/index.html");
    // A jump to an anchor of the page keeps the page.
    p.browser->setSource(QUrl("#en"));
    QVERIFY(p.shown().contains("Topic index"));
    p.browser->backward();
    QVERIFY(p.shown().contains("Topic index"));
    p.button(1)->click();
    p.browser->setSource(QUrl("#zh"));
    p.browser->backward();
    p.browser->backward();
    QVERIFY(p.shown().contains("Topic main"));
}

MAG_TEST_MAIN(TstHelpModuleForm)
#include "tst_helpmoduleform.moc"
