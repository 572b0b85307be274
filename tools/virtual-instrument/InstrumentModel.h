#pragma once
// What the instrument does with its registers: the work state and lock
// sequence, the set points and their read-backs, the configuration registers.
// Runs in the main thread only.

#include "RegisterBank.h"
#include "Rng.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace Reg {
enum : int
{
    SerialLow = 40000, // the program shows register 40001's digits, then 40000's
    SerialHigh = 40001,
    Hardware = 40002,
    Firmware = 40003,
    SweepStart = 40064, // u32 mHz
    SweepEnd = 40066,
    SweepStep = 40068,
    BaudRate = 40083, // baud / 100
    DataInterval = 40085,
    SamplingRate = 40086,
    DdsFrequency = 40100, // u32 mHz
    DebugSweepStart = 40106,
    DebugSweepEnd = 40108,
    DebugSweepStep = 40110,
    WorkState = 40118,
    WorkMode = 40119,
    VcselApply = 40121,
    VcselSet = 40122, // float
    VcselReadBack = 40126,
    VaporCellApply = 40129,
    VaporCellSet = 40130,
    VaporCellReadBack = 40134,
    VcselDefaultApply = 40141,
    VcselDefaultSet = 40142,
    VcselDefaultReadBack = 40146,
    Pde = 40154,
    Pd = 40158,
    BoardTemperature = 40230, // 0.1 degC
    HeaterDuty = 40231,       // percent
    SupplyVoltage = 40232,    // 10 mV
};
}

namespace ModbusException {
enum : quint8
{
    None = 0,
    IllegalFunction = 1,
    IllegalAddress = 2,
    IllegalValue = 3,
    DeviceFailure = 4
};
}

class InstrumentModel : public QObject
{
    Q_OBJECT
public:
    static constexpr int Locked = 4;
    static constexpr int DebugMode = 99;

    explicit InstrumentModel(int lockStepMs, quint64 seed, QObject* parent = nullptr);

    // Seconds on a monotonic clock; tests of the read-backs may replace it.
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

    int status() const { return m_bank.value(Reg::WorkState); }
    int samplingRate() const { return m_bank.value(Reg::SamplingRate); }
    void setStatus(int status);       // stops any running lock sequence
    void startLockSequence(int from); // from, from + 1, ... then Locked, one step each
    void loseLock();                  // back to searching, no relock of its own

    // Modbus access; the results are exception codes (ModbusException).
    quint8 checkRead(int start, int count) const;
    QVector<quint16> read(int start, int count);
    quint8 write(int start, const QVector<quint16>& values);

signals:
    void statusChanged(int status);

private:
    struct SetPoint
    {
        int applyReg, setReg, readBackReg;
        double from = 0.0, target = 0.0, appliedAt = -1e9;
    };

    quint8 checkWrite(int start, const QVector<quint16>& values) const;
    void apply(SetPoint& point);
    void refresh();
    double now() const { return m_clock(); }

    RegisterBank m_bank;
    SetPoint m_points[3];
    QTimer m_lockTimer;
    QElapsedTimer m_elapsed;
    std::function<double()> m_clock;
    Rng m_rng;
};
