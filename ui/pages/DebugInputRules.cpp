#include "ui/pages/DebugInputRules.h"

#include <cmath>

namespace DebugInputRules {

namespace {
constexpr quint32 FrequencyMax = 1400000000;
constexpr quint32 FrequencyEmpty = 20000000;
constexpr int MaxDecimals = 60; // enough for the smallest single-precision value

// The text with every decimal digit as its ASCII digit; other characters kept.
QString asciiDigits(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const int d = c.digitValue();
        out.append(d >= 0 && d <= 9 ? QChar('0' + d) : c);
    }
    return out;
}

QString floatText(float value)
{
    if (!std::isfinite(value))
        return QString::number(double(value));
    for (int decimals = 0; decimals <= MaxDecimals; ++decimals) {
        const QString text = QString::number(double(value), 'f', decimals);
        if (float(text.toDouble()) == value)
            return text;
    }
    return QString::number(double(value), 'f', MaxDecimals);
}
} // namespace

double number(const QString& text)
{
    bool ok = false;
    const double v = asciiDigits(text.trimmed()).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

SetPoint setPoint(const QString& text)
{
    SetPoint result;
    const double v = number(text);
    const float f = v >= 1.0 ? 1.0f : float(v);
    if (!(f > 0.0f)) { // also a value too small for single precision
        result.text = QStringLiteral("0");
        return result;
    }
    result.send = true;
    result.value = f;
    result.text = floatText(f);
    return result;
}

Frequency frequency(const QString& text)
{
    Frequency result;
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        result.send = true;
        result.value = FrequencyEmpty;
        result.text = QString::number(FrequencyEmpty);
        return result;
    }
    // Saturated, so that an over-long entry reads as too large rather than as 0.
    qint64 v = 0;
    for (const QChar c : t) {
        const int d = c.digitValue();
        if (d < 0 || d > 9) {
            v = 0;
            break;
        }
        v = qMin<qint64>(v * 10 + d, qint64(FrequencyMax) * 10);
    }
    if (v < 1) {
        result.text = QStringLiteral("0");
        return result;
    }
    result.send = true;
    result.value = quint32(qMin<qint64>(v, FrequencyMax));
    result.text = QString::number(result.value);
    return result;
}

QString readBackText(double value)
{
    return floatText(float(value));
}

} // namespace DebugInputRules
