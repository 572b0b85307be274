#pragma once
// The help page: five topic buttons beside a text browser that shows the help
// files under help/ (relative to the working directory), with the relative
// image, script and style-sheet sources of each file made absolute so that
// they resolve beside it. GUI thread only; files are read when a topic is chosen.
// Only regular files are read, opened so that a FIFO in a page's place cannot
// block the window; what a page refers to comes only from its own folder.

#include "ui/PageHooks.h"
#include "ui/pages/HelpResources.h"
#include "ui/widgets/PageTexts.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QWidget>

class ParamManager;
class QPushButton;
class Ui_HelpModuleForm;

struct HelpItem
{
    QString title;
    QString html; // shown as it is when not empty
    QString pagePath;
    QList<HelpItem> children;
};
Q_DECLARE_METATYPE(HelpItem)

class HelpModuleForm : public QWidget
{
    Q_OBJECT
public:
    explicit HelpModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~HelpModuleForm() override;

    // What the main window does with this page.
    PageHooks pageHooks();

    // Larger pages are not shown (see HelpResources).
    static constexpr qint64 MaxPageBytes = HelpResources::MaxPageBytes;

    // Shows the file. A missing or unreadable file, or anything but a regular
    // file, leaves the page as it was; a file larger than MaxPageBytes shows a
    // short message in the page's language instead.
    void loadHtmlFile(const QString& pagePath);
    // Makes the relative sources of img, script and link tags absolute under
    // baseDir; each tag is rewritten once, in place, in time linear in the text.
    static void fixResourcePaths(QString& html, const QString& baseDir);

    QList<HelpItem> topics() const { return helpItems; }

public slots:
    void slot_setLanguage(int num);

private:
    void initStyle();
    void showTopic(int index);

    Ui_HelpModuleForm* ui;
    ParamManager* paramManager;
    QList<HelpItem> helpItems;
    QList<QPushButton*> m_buttons;
    int m_language = 0; // 1 Chinese, as the language slot takes it
    PageTexts m_texts;
};
