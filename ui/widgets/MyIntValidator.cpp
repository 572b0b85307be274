#include "ui/widgets/MyIntValidator.h"

bool MyIntValidator::isDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u < 128)
        return u >= '0' && u <= '9';
    switch (c.category()) {
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

QValidator::State MyIntValidator::validate(QString& input, int&) const
{
    for (const QChar c : qAsConst(input)) {
        if (!isDigit(c))
            return Invalid;
    }
    return Acceptable;
}
