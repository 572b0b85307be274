#include "InstrumentModel.h"

#include <cmath>

namespace {
constexpr double ReadBackTimeConstant = 1.5; // s, how fast a read-back follows its set point

bool oneOf(quint16 v, std::initializer_list<quint16> allowed)
{
    for (quint16 a : allowed) {
        if (v == a)
            return true;
    }
    return false;
}

bool inRange(int reg, int first, int last)
{
    return reg >= first && reg <= last;
}
} // namespace

InstrumentModel::InstrumentModel(int lockStepMs, quint64 seed, QObject* parent)
    : QObject(parent), m_points{{Reg::VcselApply, Reg::VcselSet, Reg::VcselReadBack},
                                {Reg::VaporCellApply, Reg::VaporCellSet, Reg::VaporCellReadBack},
                                {Reg::VcselDefaultApply, Reg::VcselDefaultSet,
                                 Reg::VcselDefaultReadBack}},
      m_rng(seed ^ 0x5EED0F00DULL)
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.nsecsElapsed() * 1e-9; };

    m_bank.set(Reg::SerialLow, 0x0117);
    m_bank.set(Reg::SerialHigh, 0x2406);
    m_bank.set(Reg::Hardware, 0x0102);
    m_bank.set(Reg::Firmware, 0x0305);
    m_bank.setU32(Reg::SweepStart, 300000000);
    m_bank.setU32(Reg::SweepEnd, 400000000);
    m_bank.setU32(Reg::SweepStep, 1000000);
    m_bank.set(Reg::BaudRate, 9216);
    m_bank.set(Reg::DataInterval, 20);
    m_bank.set(Reg::SamplingRate, 1000);
    m_bank.setU32(Reg::DdsFrequency, 5000000);
    m_bank.setU32(Reg::DebugSweepStart, 300000000);
    m_bank.setU32(Reg::DebugSweepEnd, 400000000);
    m_bank.setU32(Reg::DebugSweepStep, 1000000);
    m_bank.set(Reg::WorkMode, 1);
    const float initial[3] = {0.62f, 0.78f, 0.45f};
    for (int i = 0; i < 3; ++i) {
        m_bank.setF32(m_points[i].setReg, initial[i]);
        m_points[i].from = m_points[i].target = initial[i];
    }
    refresh();

    m_lockTimer.setInterval(lockStepMs);
    connect(&m_lockTimer, &QTimer::timeout, this, [this] {
        const int next = status() + 1;
        if (next >= Locked) {
            setStatus(Locked);
        } else {
            m_bank.set(Reg::WorkState, static_cast<quint16>(next));
            emit statusChanged(next);
        }
    });
}

void InstrumentModel::setStatus(int status)
{
    m_lockTimer.stop();
    if (status == this->status())
        return;
    m_bank.set(Reg::WorkState, static_cast<quint16>(status));
    emit statusChanged(status);
}

void InstrumentModel::startLockSequence(int from)
{
    setStatus(from);
    if (from < Locked)
        m_lockTimer.start();
}

void InstrumentModel::loseLock()
{
    if (status() == Locked)
        setStatus(1);
}

quint8 InstrumentModel::checkRead(int start, int count) const
{
    if (count < 1 || count > 125)
        return ModbusException::IllegalValue;
    return m_bank.contains(start, count) ? ModbusException::None : ModbusException::IllegalAddress;
}

QVector<quint16> InstrumentModel::read(int start, int count)
{
    refresh();
    return m_bank.read(start, count);
}

quint8 InstrumentModel::checkWrite(int start, const QVector<quint16>& values) const
{
    for (int i = 0; i < values.size(); ++i) {
        const int reg = start + i;
        const quint16 v = values[i];
        if (inRange(reg, Reg::SweepStart, Reg::SweepStep + 1) ||
            inRange(reg, Reg::DdsFrequency, Reg::DdsFrequency + 1) ||
            inRange(reg, Reg::DebugSweepStart, Reg::DebugSweepStep + 1) ||
            inRange(reg, Reg::VcselSet, Reg::VcselSet + 1) ||
            inRange(reg, Reg::VaporCellSet, Reg::VaporCellSet + 1) ||
            inRange(reg, Reg::VcselDefaultSet, Reg::VcselDefaultSet + 1))
            continue;
        bool valid;
        switch (reg) {
        case Reg::BaudRate:
            valid = oneOf(v, {1152, 9216});
            break;
        case Reg::DataInterval:
            valid = oneOf(v, {10, 20});
            break;
        case Reg::SamplingRate:
            valid = oneOf(v, {10, 20, 200, 500, 1000});
            break;
        case Reg::WorkState:
            valid = oneOf(v, {0, 1, 2, 3, 4, DebugMode});
            break;
        case Reg::WorkMode:
            valid = oneOf(v, {1, 2});
            break;
        case Reg::VcselApply:
        case Reg::VaporCellApply:
        case Reg::VcselDefaultApply:
            valid = oneOf(v, {0, 1});
            break;
        default:
            return ModbusException::IllegalAddress;
        }
        if (!valid)
            return ModbusException::IllegalValue;
    }
    return ModbusException::None;
}

quint8 InstrumentModel::write(int start, const QVector<quint16>& values)
{
    if (values.isEmpty() || !m_bank.contains(start, values.size()))
        return ModbusException::IllegalAddress;
    const quint8 error = checkWrite(start, values);
    if (error != ModbusException::None)
        return error;

    int workState = -1;
    for (int i = 0; i < values.size(); ++i) {
        if (start + i == Reg::WorkState)
            workState = values[i];
        else
            m_bank.set(start + i, values[i]);
    }
    // Set values first, then the apply registers, so one request may carry both.
    for (SetPoint& point : m_points) {
        if (m_bank.value(point.applyReg) == 1) {
            apply(point);
            m_bank.set(point.applyReg, 0);
        }
    }
    if (workState == 0 || workState == Locked || workState == DebugMode)
        setStatus(workState);
    else if (workState > 0)
        startLockSequence(workState);
    return ModbusException::None;
}

void InstrumentModel::apply(SetPoint& point)
{
    const double t = now();
    const double settled = std::exp(-(t - point.appliedAt) / ReadBackTimeConstant);
    point.from = point.target + (point.from - point.target) * settled;
    point.target = m_bank.f32(point.setReg);
    point.appliedAt = t;
}

void InstrumentModel::refresh()
{
    const double t = now();
    for (const SetPoint& point : m_points) {
        const double settled = std::exp(-(t - point.appliedAt) / ReadBackTimeConstant);
        const double value = point.target + (point.from - point.target) * settled;
        m_bank.setF32(point.readBackReg, static_cast<float>(value + 0.0002 * m_rng.gaussian()));
    }
    // The photodiode sees more light and the error signal shrinks once the line is locked.
    const bool locked = status() == Locked;
    m_bank.setF32(Reg::Pd, static_cast<float>((locked ? 0.862 : 0.915) + 0.001 * m_rng.gaussian()));
    m_bank.setF32(Reg::Pde, static_cast<float>((locked ? 0.0123 : 0.3410) +
                                               0.0004 * std::fabs(m_rng.gaussian())));
    m_bank.set(Reg::BoardTemperature, static_cast<quint16>(352 + std::lround(m_rng.gaussian())));
    m_bank.set(Reg::HeaterDuty, 41);
    m_bank.set(Reg::SupplyVoltage, static_cast<quint16>(1200 + std::lround(2 * m_rng.gaussian())));
}
