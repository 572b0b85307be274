#include "device/SamplingRates.h"

#include "device/Instrument.h"
#include "device/ModbusFrame.h"

namespace {

QMap<int, int> watchdogSteps()
{
    QMap<int, int> steps;
    for (const SamplingRates::Entry& e : SamplingRates::Table) {
        if (e.watchdogStep > 0)
            steps.insert(e.rate, e.watchdogStep);
    }
    return steps;
}

} // namespace

const QMap<int, int> RateMap = watchdogSteps();

namespace SamplingRates {

int rateFromInstrument(int programRate, int rateRegister)
{
    const Entry* own = findSettable(programRate);
    if (own && own->written() == rateRegister)
        return programRate;
    const Entry* reported = findSettable(rateRegister);
    return reported && reported->written() == rateRegister ? rateRegister : programRate;
}

QByteArray rateFrame(const Entry& entry)
{
    return ModbusFrame::writeMultiple(Instrument::Register::SamplingRate, {entry.written()});
}

QByteArray streamStartFrame(int count)
{
    return ModbusFrame::raw(Instrument::Raw::Start, Instrument::Raw::StreamField, quint16(count));
}

QByteArray streamStopFrame(int count)
{
    return ModbusFrame::raw(Instrument::Raw::Stop, Instrument::Raw::StreamField, quint16(count));
}

} // namespace SamplingRates
