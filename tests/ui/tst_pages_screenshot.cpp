// The debug and help pages in the program's main window on a virtual X server,
// with the virtual instrument: PNGs of the debug page (both languages) and of
// each help topic go into the build tree, and no text of either page is cut off.
// The help files are the ones the build installs; each topic's images load,
// match the language of their part, and fit the window at its smallest size.

#include "app/ParamManager.h"
#include "tests/support/InstrumentProcess.h"
#include "tests/support/Screenshots.h"
#include "tests/support/TestSandbox.h"
#include "tests/support/XvfbMain.h"
#include "ui/GuiPause.h"
#include "ui/MainModuleForm.h"
#include "ui/MainWindow.h"
#include "ui/pages/HelpModuleForm.h"
#include "ui/pages/MonitorModuleForm.h"
#include "ui/widgets/CustomMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

namespace {
// The operator's road to a language: the title bar's language menu.
void chooseLanguage(MainWindow& window, int num)
{
    auto* menu = window.findChild<CustomMenu*>(QString(), Qt::FindDirectChildrenOnly);
    emit menu->triggered(num == 1 ? QStringLiteral("中文") : QStringLiteral("English"), QVariant());
    QCoreApplication::processEvents();
}

void save(const QImage& shot, const QString& name)
{
    QVERIFY(Screenshots::save(shot, QStringLiteral(MAG_ARTEFACT_DIR "/") + name));
}

// Visible texts of labels, buttons and check boxes that do not fit their widget.
QStringList clippedTexts(QWidget* page)
{
    QStringList clipped;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(page))
            continue;
        QString text;
        int room = w->contentsRect().width();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            text = check->text();
            room -= 24 + 8; // indicator and spacing
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            text = button->text();
            room -= button->icon().isNull() ? 0 : button->iconSize().width() + 20;
        } else {
            continue;
        }
        if (!text.isEmpty() && w->fontMetrics().horizontalAdvance(text) > room)
            clipped << QStringLiteral("%1 \"%2\" (%3 px in %4)")
                           .arg(w->objectName(), text)
                           .arg(w->fontMetrics().horizontalAdvance(text))
                           .arg(room);
    }
    return clipped;
}

// Image names in the document and whether each one shows the file it names
// (an image that cannot be loaded shows as the missing-image icon).
QStringList brokenImages(QTextBrowser* browser, int* count)
{
    QStringList broken;
    *count = 0;
    QTextDocument* doc = browser->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            ++*count;
            const QString name = format.toImageFormat().name();
            const QImage shown =
                doc->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
            const QImage file(QUrl(name).path());
            if (file.isNull() || shown != file)
                broken << name;
        }
    }
    return broken;
}
// Images of one language in the other language's part of a help file (a
// Chinese part, then from the anchor "en" on an English one).
QStringList wrongLanguageImages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {path + " unreadable"};
    const QString html = QString::fromUtf8(file.readAll());
    const int english = html.indexOf(QStringLiteral("<a name=\"en\">"));
    if (english < 0)
        return {path + " has no English part"};
    QStringList wrong;
    static const QRegularExpression source(QStringLiteral("src=\"images/([^\"]+)\""));
    for (auto it = source.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const char* other = m.capturedStart() < english ? "-en.png" : "-zh.png";
        if (m.captured(1).endsWith(QLatin1String(other)))
            wrong << m.captured(1);
    }
    return wrong;
}
} // namespace

class TestPagesScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void debugPage();
    void helpTopics();

private:
    InstrumentProcess m_instrument;
    QString m_port;
};

void TestPagesScreenshot::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    GuiPause::setScalePercent(20);
    m_port = m_instrument.start({"--lock-step-ms", "300", "--seed", "7"});
    QVERIFY2(!m_port.isEmpty(), "the virtual instrument published no port");
    QVERIFY(QDir().mkpath(MAG_ARTEFACT_DIR));
    // The help files as the build installs them beside the working directory.
    QDirIterator files(MAG_HELP_DIR, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString source = files.next();
        const QString target = "help/" + QDir(MAG_HELP_DIR).relativeFilePath(source);
        QVERIFY(QDir().mkpath(QFileInfo(target).path()));
        QVERIFY(QFile::copy(source, target));
    }
}

void TestPagesScreenshot::debugPage()
{
    ParamManager hub;
    hub.isTest = 1;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));

    window.findChild<MainModuleForm*>()->slot_handleActionTriggered(m_port, QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(hub.isDeviceReady(), 30000);

    window.findChild<QPushButton*>("btnMonitor")->click();
    auto* page = window.findChild<MonitorModuleForm*>();
    QCOMPARE(window.currentPage(), 5);
    auto* readBack = page->findChild<QLineEdit*>("edt_laserTemp");
    QTRY_VERIFY_WITH_TIMEOUT(readBack->text() != "0", 10000);
    QTRY_VERIFY_WITH_TIMEOUT(page->findChild<QLineEdit*>("edt_laserTempSet")->text() != "0", 10000);
    page->findChild<QCheckBox*>("chk_debug")->setChecked(true);

    for (int num : {0, 1}) {
        chooseLanguage(window, num);
        const QStringList clipped = clippedTexts(page);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        save(Screenshots::grab(window), num == 1 ? "debugpage-zh.png" : "debugpage-en.png");
    }
    // At the window's smallest size the page's controls still lie inside it and
    // none overlaps another.
    window.resize(window.minimumSize());
    QTRY_COMPARE(window.size(), window.minimumSize());
    QCoreApplication::processEvents();
    QVector<QPair<QString, QRect>> controls;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
            (qobject_cast<QLabel*>(w) && !static_cast<QLabel*>(w)->text().isEmpty());
        if (!control || !w->isVisibleTo(page) || w->window() != page->window())
            continue;
        const QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
        QVERIFY2(page->rect().contains(r), qPrintable(w->objectName()));
        for (const auto& other : qAsConst(controls))
            QVERIFY2(!other.second.intersects(r),
                     qPrintable(other.first + " overlaps " + w->objectName()));
        controls.append({w->objectName(), r});
    }
    save(Screenshots::grab(window), "debugpage-smallest.png");
    page->findChild<QCheckBox*>("chk_debug")->setChecked(false);
}

void TestPagesScreenshot::helpTopics()
{
    ParamManager hub;
    MainWindow window(&hub);
    QVERIFY(Screenshots::showAtDesignSize(window));
    window.findChild<QPushButton*>("btnHelp")->click();
    QCOMPARE(window.currentPage(), 4);
    auto* page = window.findChild<HelpModuleForm*>();
    auto* browser = page->findChild<QTextBrowser*>("textBrowser");

    const char* const topics[] = {"btn_index1", "btn_main1", "btn_sensitivity1", "btn_save1",
                                  "btn_config1"};
    const char* const names[] = {"index", "main", "sensitivity", "save", "config"};
    for (int i = 0; i < 5; ++i) {
        page->findChild<QPushButton*>(topics[i])->click();
        QVERIFY2(!browser->document()->isEmpty(), names[i]);
        int images = 0;
        const QStringList broken = brokenImages(browser, &images);
        QVERIFY2(images > 0, names[i]);
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(", ")));
        const QStringList wrong = wrongLanguageImages(QStringLiteral("help/%1.html").arg(names[i]));
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QStringLiteral("%1: %2").arg(names[i], wrong.join(", "))));
        save(Screenshots::grab(window), QStringLiteral("help-%1.png").arg(names[i]));
    }
    chooseLanguage(window, 1);
    const QStringList clipped = clippedTexts(page);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
    save(Screenshots::grab(window), "help-config-zh.png");

    // At the window's smallest size every topic still fits the browser's width
    // (no sideways scrolling); each topic is also saved whole, as laid out there.
    window.resize(window.minimumSize());
    QTRY_COMPARE(window.size(), window.minimumSize());
    QStringList tooWide;
    for (int i = 0; i < 5; ++i) {
        page->findChild<QPushButton*>(topics[i])->click();
        QCoreApplication::processEvents();
        QTextDocument* doc = browser->document();
        if (browser->horizontalScrollBar()->isVisible())
            tooWide << QStringLiteral("%1 (%2 px in %3)")
                           .arg(names[i])
                           .arg(doc->size().width())
                           .arg(browser->viewport()->width());
        QImage whole(browser->viewport()->width(), int(doc->size().height()), QImage::Format_RGB32);
        whole.fill(Qt::white);
        QPainter painter(&whole);
        doc->drawContents(&painter);
        painter.end();
        save(whole, QStringLiteral("help-%1-whole.png").arg(names[i]));
    }
    QVERIFY2(tooWide.isEmpty(), qPrintable(tooWide.join("; ")));
}

MAG_TEST_MAIN_XVFB(TestPagesScreenshot)

#include "tst_pages_screenshot.moc"
