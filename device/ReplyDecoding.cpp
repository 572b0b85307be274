#include "device/ReplyDecoding.h"

#include "app/Logger.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ReplyDecoding {

quint32 byteArrayToUInt32(const QByteArray& bytes)
{
    if (bytes.size() < 4) {
        Logger::instance()->write(QStringLiteral("byteArrayToUInt32 size error."));
        return 0;
    }
    const auto b = [&bytes](int i) { return quint32(quint8(bytes.at(i))); };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

unsigned byteArrayToUInt(const QByteArray& bytes)
{
    if (bytes.size() < 2) {
        Logger::instance()->write(QStringLiteral("byteArrayToUInt size error."));
        return 0;
    }
    return (unsigned(quint8(bytes.at(0))) << 8) | unsigned(quint8(bytes.at(1)));
}

float byteArrayToFloat(const QByteArray& bytes)
{
    if (bytes.size() < 4) {
        Logger::instance()->write(QStringLiteral("byteArrayToFloat size error."));
        return 0.0f;
    }
    const quint32 bits = byteArrayToUInt32(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray swapWordOrder(const QByteArray& bytes)
{
    QByteArray out;
    for (int i = bytes.size() / 2 - 1; i >= 0; --i)
        out.append(bytes.mid(2 * i, 2));
    return out;
}

QByteArray reverseBytes(const QByteArray& bytes)
{
    QByteArray out(bytes);
    std::reverse(out.begin(), out.end());
    return out;
}

quint32 wordSwappedUInt32(const QByteArray& reply, int offset)
{
    return byteArrayToUInt32(swapWordOrder(reply.mid(offset, 4)));
}

float wordSwappedFloat(const QByteArray& reply, int offset)
{
    return byteArrayToFloat(swapWordOrder(reply.mid(offset, 4)));
}

int decodeStatus(const QByteArray& reply)
{
    return int(byteArrayToUInt(reply.mid(3, 2)));
}

RefreshData decodeParameterBlock(const QByteArray& reply)
{
    RefreshData data;
    data.vcsel = wordSwappedFloat(reply, 55);
    data.vcselDefault = wordSwappedFloat(reply, 95);
    data.vaporCell = wordSwappedFloat(reply, 71);
    data.pd = wordSwappedFloat(reply, 119);
    data.pde = wordSwappedFloat(reply, 111);
    data.vcselSet = wordSwappedFloat(reply, 47);
    data.vcselDefaultSet = wordSwappedFloat(reply, 87);
    data.vaporCellSet = wordSwappedFloat(reply, 63);
    data.word40100 = wordSwappedUInt32(reply, 3);
    return data;
}

IdentityBlock decodeIdentityBlock(const QByteArray& reply)
{
    IdentityBlock block;
    const QByteArray serial = reply.mid(3, 4);
    if (serial.size() == 4) {
        block.hasSerialNumber = true;
        block.serialNumber = QString::fromLatin1(swapWordOrder(serial).toHex().toUpper());
    }
    block.sweep.fsStart = wordSwappedUInt32(reply, 131);
    block.sweep.fsEnd = wordSwappedUInt32(reply, 135);
    block.sweep.fsStep = wordSwappedUInt32(reply, 139);
    if (reply.size() >= 177)
        block.rateRegister = (quint8(reply.at(175)) << 8) | quint8(reply.at(176));
    return block;
}

int samplingRateFromStep(double dataRate)
{
    if (!(dataRate > 0) || !std::isfinite(dataRate))
        return 0;
    const double rate = 1.0 / dataRate;
    return rate < 2147483647.0 ? int(rate) : 0;
}

} // namespace ReplyDecoding
