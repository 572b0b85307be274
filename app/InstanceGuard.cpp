#include "app/InstanceGuard.h"

#include "app/Settings.h"
#include "ui/InfoBox.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QMessageBox>

InstanceGuard::InstanceGuard(const QString& folder)
    : m_folder(QDir::toNativeSeparators(folder)),
      m_path(folder + QLatin1Char('/') + lockFileName()), m_lock(m_path)
{
    // The default stale time stays: a lock older than it is removed only when
    // no process holds the file any more (the holder keeps a flock on it), so
    // a copy that runs for weeks keeps its folder, and one whose process
    // number was taken by another program's does not block the next start.
}

bool InstanceGuard::claim()
{
    if (m_lock.tryLock(0))
        return true;
    if (m_lock.error() != QLockFile::LockFailedError) {
        qDebug().noquote() << "cannot hold" << m_path << "- running without the lock";
        return true;
    }
    qint64 pid = 0;
    QString host;
    QString application;
    m_lock.getLockInfo(&pid, &host, &application);
    qDebug().noquote() << "already running in" << m_folder << "as process" << pid
                       << "- this copy quits";

    const int chinese =
        Settings::readInt(Settings::configPath(), QStringLiteral("Sensitivity"),
                          QStringLiteral("isChinese"), Settings::Defaults::isChinese);
    const QString text =
        chinese == 1 ? QStringLiteral("程序已在此文件夹中运行：\n%1\n关闭此提示后，本程序退出。")
                           .arg(m_folder)
                     : QStringLiteral("The program is already running in this folder:\n%1\n"
                                      "This copy quits when you close this box.")
                           .arg(m_folder);
    QMessageBox* box = InfoBox::open(text, QIcon(QStringLiteral(":/logo.ico")));
    QObject::connect(box, &QDialog::finished, box, [] { QCoreApplication::exit(1); });
    return false;
}
