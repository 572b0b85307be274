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
    const QDir dir(virtualPortDir());
    QFileInfo link(dir.filePath(name));
    if (!link.isSymLink()) {
        // Port names ignore case, as on Windows: the setting "Com4" opens COM4.
        for (const QFileInfo& entry : dir.entryInfoList({"COM*"}, QDir::System | QDir::Files)) {
            if (entry.isSymLink() && entry.fileName().compare(name, Qt::CaseInsensitive) == 0) {
                link = entry;
                break;
            }
        }
    }
    if (link.isSymLink())
        return link.symLinkTarget();
#endif
    return QSerialPortInfo(name).systemLocation();
}
