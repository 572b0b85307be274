#pragma once
// Accepts digits with at most one '.'; no sign, exponent or group separator.

#include <QValidator>

class MyDoubleValidator : public QValidator
{
    Q_OBJECT
public:
    explicit MyDoubleValidator(QObject* parent = nullptr) : QValidator(parent) {}
    State validate(QString& input, int& pos) const override;
};
