#include "ui/Fonts.h"

#include <QFont>
#include <QFontDatabase>

void registerFontSubstitutions()
{
    const QString family = QStringLiteral("MiSans");
    if (QFontDatabase().families().contains(family))
        return;
    QFont::insertSubstitutions(
        family, {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
}
