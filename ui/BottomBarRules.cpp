#include "ui/BottomBarRules.h"

#include <QtGlobal>

namespace BottomBarRules {

namespace {

// The value of a digits-only text, saturated so that an over-long entry reads
// as too large rather than as 0. Any Unicode decimal digit counts (the
// validator lets full-width digits through).
qint64 digitsValue(const QString& text)
{
    qint64 v = 0;
    for (const QChar c : text) {
        const int d = c.digitValue();
        if (d < 0)
            return 0;
        v = qMin<qint64>(v * 10 + d, 1000000000);
    }
    return v;
}

} // namespace

QString clampCutOff(const QString& text)
{
    const qint64 v = digitsValue(text);
    if (v > 99999)
        return QStringLiteral("1000");
    if (v < 1)
        return QStringLiteral("0");
    return QString::number(v);
}

QString clampFftTime(const QString& text)
{
    const qint64 v = digitsValue(text);
    if (v > 999)
        return QStringLiteral("1000");
    if (v < 2)
        return QStringLiteral("1");
    return QString::number(v);
}

} // namespace BottomBarRules
