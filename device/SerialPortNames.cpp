#include "device/SerialPortNames.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QtGlobal>

QString SerialPortNames::virtualPortDir()
{
    const QString dir = qEnvironmentVariable("MAG_PORT_DIR");
    return dir.isEmpty() ? QStringLiteral("/tmp/magnetometer-ports") : dir;
}

QStringList SerialPortNames::available()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
#ifndef Q_OS_WIN
    // Links whose pseudo-terminal is gone (a stand-in that crashed) are skipped.
    const QDir dir(virtualPortDir());
    for (const QFileInfo& link :
         dir.entryInfoList({"COM*"}, QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && QFileInfo::exists(link.symLinkTarget()) &&
            !names.contains(link.fileName()))
            names << link.fileName();
    }
#endif
    return names;
}

QString SerialPortNames::systemLocation(const QString& name)
{
#ifndef Q_OS_WIN
    const QFileInfo link(QDir(virtualPortDir()).filePath(name));
    if (link.isSymLink())
        return link.symLinkTarget();
#endif
    return QSerialPortInfo(name).systemLocation();
}
