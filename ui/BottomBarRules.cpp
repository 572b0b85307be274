#include "ui/BottomBarRules.h"

#include "device/CrcUtils.h"

#include <QtGlobal>

namespace BottomBarRules {

namespace {

const RateEntry RateTable[] = {
    {1, 1000, 1.0},    {10, 10, 0.1},     {20, 20, 0.05},
    {200, 200, 0.005}, {500, 500, 0.002}, {1000, 1000, 0.001},
};

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

const RateEntry* findRate(int rate)
{
    for (const RateEntry& e : RateTable) {
        if (e.rate == rate)
            return &e;
    }
    return nullptr;
}

QByteArray rateFrame(const RateEntry& entry)
{
    return ModbusFrame::writeMultiple(0x9C96, {entry.written}); // register 40086
}

} // namespace BottomBarRules
