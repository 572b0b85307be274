#pragma once
// Accepts digits only (ASCII and Unicode number characters); never Intermediate.

#include <QValidator>

class MyIntValidator : public QValidator
{
    Q_OBJECT
public:
    explicit MyIntValidator(QObject* parent = nullptr) : QValidator(parent) {}
    State validate(QString& input, int& pos) const override;

    // Shared with MyDoubleValidator.
    static bool isDigit(QChar c);
};
