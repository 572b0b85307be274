#include "ui/widgets/MyDoubleValidator.h"

#include "ui/widgets/MyIntValidator.h"

QValidator::State MyDoubleValidator::validate(QString& input, int&) const
{
    if (input.count(QLatin1Char('.')) > 1)
        return Invalid;
    for (const QChar c : qAsConst(input)) {
        if (c != QLatin1Char('.') && !MyIntValidator::isDigit(c))
            return Invalid;
    }
    return Acceptable;
}
