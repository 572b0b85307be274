#pragma once
// The help page's text browser: paints the document with antialiasing and
// smooth image scaling, and loads what a page refers to only from inside the
// page's folder (HelpResources). GUI thread only.

#include <QTextBrowser>

class CustomTextBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit CustomTextBrowser(QWidget* parent = nullptr);

    // The folder whose files the shown page may load; none until it is set.
    void setResourceFolder(const QString& folder) { m_resourceFolder = folder; }

    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_resourceFolder;
};
