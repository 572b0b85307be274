#include "ui/widgets/PageTexts.h"

#include <QDebug>
#include <QMetaObject>
#include <QObject>
#include <QVariant>

void PageTexts::setLanguage(int num, const QVector<Text>& texts)
{
    for (const Text& text : texts) {
        // A misspelt property would otherwise become a dynamic one and change nothing.
        if (text.object->metaObject()->indexOfProperty(text.property) < 0) {
            qWarning().noquote() << "PageTexts:" << text.object->objectName() << "has no property"
                                 << text.property;
            continue;
        }
        // Kept at the first listing, before a Chinese text can replace it.
        const QString english = text.english ? QString::fromUtf8(text.english) : keptEnglish(text);
        const QString value = num == 1 ? QString::fromUtf8(text.chinese) : english;
        text.object->setProperty(text.property, value);
    }
}

QString PageTexts::keptEnglish(const Text& text)
{
    for (const Kept& kept : qAsConst(m_kept))
        if (kept.object == text.object && kept.property == text.property)
            return kept.english;
    m_kept.append({text.object, text.property, text.object->property(text.property).toString()});
    return m_kept.last().english;
}
