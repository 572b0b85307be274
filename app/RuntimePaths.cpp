#include "app/RuntimePaths.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex& overrideMutex()
{
    static QMutex m;
    return m;
}
QString& overrideDir()
{
    static QString dir;
    return dir;
}
} // namespace

QString RuntimePaths::appDir()
{
    {
        QMutexLocker lock(&overrideMutex());
        if (!overrideDir().isEmpty())
            return overrideDir();
    }
    return QCoreApplication::applicationDirPath();
}

QString RuntimePaths::logsDir()
{
    return appDir() + QStringLiteral("/logs");
}

void RuntimePaths::setAppDir(const QString& dir)
{
    QMutexLocker lock(&overrideMutex());
    overrideDir() = dir;
}
