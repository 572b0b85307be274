#pragma once
// Names of the serial ports the operator can pick, and the device behind a name.
// On Windows these are the system's COM ports. On Linux the real serial devices
// are listed, plus the links "COM<n>" that stand-in instruments publish in the
// virtual port folder ($MAG_PORT_DIR, default /tmp/magnetometer-ports).

#include <QString>
#include <QStringList>

namespace SerialPortNames {
QStringList available();                     // in the order the system lists them
QString systemLocation(const QString& name); // what QSerialPort opens for the name
QString virtualPortDir();
} // namespace SerialPortNames
