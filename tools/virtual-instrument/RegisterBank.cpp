#include "RegisterBank.h"

#include <cstring>

bool RegisterBank::contains(int start, int count) const
{
    return count >= 1 && start >= First && start + count <= First + Count;
}

quint16 RegisterBank::value(int reg) const
{
    return contains(reg, 1) ? m_registers[reg - First] : 0;
}

void RegisterBank::set(int reg, quint16 value)
{
    if (contains(reg, 1))
        m_registers[reg - First] = value;
}

QVector<quint16> RegisterBank::read(int start, int count) const
{
    return contains(start, count) ? m_registers.mid(start - First, count) : QVector<quint16>();
}

quint32 RegisterBank::u32(int reg) const
{
    return static_cast<quint32>(value(reg)) | (static_cast<quint32>(value(reg + 1)) << 16);
}

void RegisterBank::setU32(int reg, quint32 value)
{
    set(reg, static_cast<quint16>(value & 0xFFFF));
    set(reg + 1, static_cast<quint16>(value >> 16));
}

float RegisterBank::f32(int reg) const
{
    const quint32 bits = u32(reg);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void RegisterBank::setF32(int reg, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    setU32(reg, bits);
}
