#pragma once
// The instrument's holding registers, numbered as on the wire (40000 is 0x9C40).
// 32-bit values span two registers, low word first, each word high byte first.

#include <QVector>
#include <QtGlobal>

class RegisterBank
{
public:
    static constexpr int First = 40000;
    static constexpr int Count = 240; // 40000-40239: identity, parameter and 40230 blocks

    bool contains(int start, int count) const;
    quint16 value(int reg) const;
    void set(int reg, quint16 value);
    QVector<quint16> read(int start, int count) const;

    quint32 u32(int reg) const;
    void setU32(int reg, quint32 value);
    float f32(int reg) const;
    void setF32(int reg, float value);

private:
    QVector<quint16> m_registers = QVector<quint16>(Count, 0);
};
