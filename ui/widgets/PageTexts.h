#pragma once
// The texts of one page that follow the language. A page's language slot lists
// its widgets (or any object with a string property) with their Chinese texts;
// the English texts are the ones the properties hold when they are first listed
// (the form's texts, or what the page set before its first switch), unless the
// entry names its English text. Each page keeps its own PageTexts, so pages built
// from the same form do not share their kept texts.
// GUI thread only, like the widgets it changes.

#include <QByteArray>
#include <QString>
#include <QVector>

class QObject;

class PageTexts
{
public:
    struct Text
    {
        QObject* object;
        const char* chinese;           // UTF-8
        const char* english = nullptr; // none: the text held at the first listing
        const char* property = "text";
    };

    // num 1 sets the Chinese texts, any other value the English ones.
    void setLanguage(int num, const QVector<Text>& texts);

private:
    struct Kept
    {
        QObject* object;
        QByteArray property;
        QString english;
    };

    QString keptEnglish(const Text& text);

    QVector<Kept> m_kept;
};
