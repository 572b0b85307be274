#pragma once
// The help page: five topic buttons beside a text browser that shows the help
// files under help/ (relative to the working directory), with the relative
// image, script and style-sheet sources of each file made absolute so that
// they resolve beside it. GUI thread only; files are read when a topic is chosen.

#include "ui/PageHooks.h"

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

    // Shows the file; a missing or unreadable file leaves the page as it was.
    void loadHtmlFile(const QString& pagePath);
    // Makes the relative sources of img, script and link tags absolute under
    // baseDir; each tag is rewritten once, in place.
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
};
