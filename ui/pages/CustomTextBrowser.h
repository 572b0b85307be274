#pragma once
// The help page's text browser: paints the document with antialiasing and
// smooth image scaling. GUI thread only.

#include <QTextBrowser>

class CustomTextBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit CustomTextBrowser(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
