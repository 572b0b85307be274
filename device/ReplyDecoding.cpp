#include "device/ReplyDecoding.h"

#include "device/Instrument.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ReplyDecoding {

namespace {
// The value, or 0 with the converter's message added to `faults`.
template <typename T>
T valueOf(const Converted<T>& converted, const char* converter, QStringList* faults)
{
    if (!converted.ok && faults)
        faults->append(sizeError(converter));
    return converted.value;
}
} // namespace

QString sizeError(const char* converter)
{
    return QString::fromLatin1(converter) + QStringLiteral(" size error.");
}

Converted<quint32> byteArrayToUInt32(const QByteArray& bytes)
{
    if (bytes.size() < 4)
        return {};
    const auto b = [&bytes](int i) { return quint32(quint8(bytes.at(i))); };
    return {(b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3), true};
}

Converted<unsigned> byteArrayToUInt(const QByteArray& bytes)
{
    if (bytes.size() < 2)
        return {};
    return {(unsigned(quint8(bytes.at(0))) << 8) | unsigned(quint8(bytes.at(1))), true};
}

Converted<float> byteArrayToFloat(const QByteArray& bytes)
{
    const Converted<quint32> bits = byteArrayToUInt32(bytes);
    if (!bits.ok)
        return {};
    float value;
    std::memcpy(&value, &bits.value, sizeof value);
    return {value, true};
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

Converted<quint32> wordSwappedUInt32(const QByteArray& reply, int offset)
{
    return byteArrayToUInt32(swapWordOrder(reply.mid(offset, 4)));
}

Converted<float> wordSwappedFloat(const QByteArray& reply, int offset)
{
    return byteArrayToFloat(swapWordOrder(reply.mid(offset, 4)));
}

int decodeStatus(const QByteArray& reply, QStringList* faults)
{
    return int(valueOf(byteArrayToUInt(reply.mid(3, 2)), "byteArrayToUInt", faults));
}

RefreshData decodeParameterBlock(const QByteArray& reply, QStringList* faults)
{
    namespace Reg = Instrument::Register;
    const auto at = [](quint16 reg) { return Instrument::replyOffset(Reg::ParameterBlock, reg); };
    const auto floatAt = [&reply, faults, &at](quint16 reg) {
        return double(valueOf(wordSwappedFloat(reply, at(reg)), "byteArrayToFloat", faults));
    };
    RefreshData data;
    data.vcsel = floatAt(Reg::Vcsel);
    data.vcselDefault = floatAt(Reg::VcselDefault);
    data.vaporCell = floatAt(Reg::VaporCell);
    data.pd = floatAt(Reg::Pd);
    data.pde = floatAt(Reg::Pde);
    data.vcselSet = floatAt(Reg::VcselSet);
    data.vcselDefaultSet = floatAt(Reg::VcselDefaultSet);
    data.vaporCellSet = floatAt(Reg::VaporCellSet);
    data.word40100 =
        valueOf(wordSwappedUInt32(reply, at(Reg::DdsFrequency)), "byteArrayToUInt32", faults);
    return data;
}

IdentityBlock decodeIdentityBlock(const QByteArray& reply, QStringList* faults)
{
    namespace Reg = Instrument::Register;
    const auto at = [](quint16 reg) { return Instrument::replyOffset(Reg::IdentityBlock, reg); };
    IdentityBlock block;
    const QByteArray serial = reply.mid(at(Reg::IdentityBlock), 4);
    if (serial.size() == 4) {
        block.hasSerialNumber = true;
        block.serialNumber = QString::fromLatin1(swapWordOrder(serial).toHex().toUpper());
    }
    const auto uintAt = [&reply, faults](int offset) {
        return valueOf(wordSwappedUInt32(reply, offset), "byteArrayToUInt32", faults);
    };
    block.sweep.fsStart = uintAt(at(Reg::SweepStart));
    block.sweep.fsEnd = uintAt(at(Reg::SweepEnd));
    block.sweep.fsStep = uintAt(at(Reg::SweepStep));
    // A short block leaves the rate unknown: the program's own rate stands.
    const int rate = at(Reg::SamplingRate);
    if (reply.size() >= rate + 2)
        block.rateRegister = (quint8(reply.at(rate)) << 8) | quint8(reply.at(rate + 1));
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
