#pragma once
// Answers Modbus RTU requests at one device address from the instrument's
// registers: function 03 (read holding registers), 06 (write one), 16 (write
// several); anything else, and bad ranges or values, get exception replies.
// Main thread only.

#include <QByteArray>

class InstrumentModel;

class ModbusSlave
{
public:
    static constexpr quint8 Address = 1;

    struct Request
    {
        quint8 address = 0;
        quint8 function = 0;
        int firstRegister = 0; // as on the wire (0x9CB6 is 40118); 0 if none
        int registerCount = 0;
    };

    explicit ModbusSlave(InstrumentModel& model) : m_model(model) {}

    // The request's target, for the fault switches. `frame` has a valid CRC.
    static Request describe(const QByteArray& frame);
    static QByteArray exceptionReply(quint8 function, quint8 code);

    // The reply to a request addressed to this device.
    QByteArray handle(const QByteArray& frame);

private:
    InstrumentModel& m_model;
};
