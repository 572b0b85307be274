#include "device/SamplingRates.h"

#include "device/CrcUtils.h"

#include <QtGlobal>

namespace SamplingRates {

namespace {

QByteArray rawStreamFrame(quint8 function, int count)
{
    QByteArray frame("\xAB\x01", 2);
    frame.append(char(function));
    frame.append("\x7D\x00", 2);
    frame.append(char((count >> 8) & 0xFF));
    frame.append(char(count & 0xFF));
    appendCrc16(frame);
    return frame;
}

} // namespace

const QVector<Entry>& all()
{
    static const QVector<Entry> table = {
        {1, 1000, 1.0, 1000, 100, 209, 1},    {10, 10, 0.1, 10, 1, 11, 0},
        {20, 20, 0.05, 20, 2, 13, 20},        {200, 200, 0.005, 200, 20, 49, 0},
        {500, 500, 0.002, 500, 50, 109, 500}, {1000, 1000, 0.001, 1000, 100, 209, 1000},
    };
    return table;
}

const Entry* find(int rate)
{
    for (const Entry& e : all()) {
        if (e.rate == rate)
            return &e;
    }
    return nullptr;
}

const Entry& streamEntry(int rate, bool bChange)
{
    const Entry* entry = bChange ? find(rate) : nullptr;
    return entry ? *entry : *find(DefaultRate);
}

int rateFromInstrument(int programRate, int rateRegister)
{
    const Entry* own = find(programRate);
    if (own && own->written == rateRegister)
        return programRate;
    const Entry* reported = find(rateRegister);
    return reported && reported->written == rateRegister ? rateRegister : programRate;
}

int frameLengthFor(int streamRate)
{
    // Twenty frames a second, four bytes a sample.
    return qMax(0, streamRate) * BytesPerSample / FramesPerSecond + FrameOverhead;
}

QByteArray rateFrame(const Entry& entry)
{
    return ModbusFrame::writeMultiple(0x9C96, {entry.written}); // register 40086
}

QByteArray streamStartFrame(int count)
{
    return rawStreamFrame(0x04, count);
}

QByteArray streamStopFrame(int count)
{
    return rawStreamFrame(0x06, count);
}

} // namespace SamplingRates
