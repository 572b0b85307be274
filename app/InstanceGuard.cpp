#include "app/InstanceGuard.h"

#include "app/RegularFile.h"
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
    if (!lockPathIsUsable())
        return false;
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
    refuse(QStringLiteral("程序已在此文件夹中运行：\n%1\n关闭此提示后，本程序退出。").arg(m_folder),
           QStringLiteral("The program is already running in this folder:\n%1\n"
                          "This copy quits when you close this box.")
               .arg(m_folder));
    return false;
}

// QLockFile reads a file it finds in the lock's place to learn its holder: a
// FIFO would block it for good, a link to a device or a large file would fill
// memory, and a folder would read as a holder with process number 0. So the
// name is looked at, without opening it, before the lock touches it.
bool InstanceGuard::lockPathIsUsable()
{
    const RegularFile::Status status = RegularFile::inspect(m_path, MaxLockBytes);
    if (status != RegularFile::Status::NotRegular && status != RegularFile::Status::TooLarge)
        return true;
    const QString path = QDir::toNativeSeparators(m_path);
    if (status == RegularFile::Status::NotRegular) {
        qDebug().noquote() << path
                           << "is not a plain file (a folder, link, FIFO, socket or device) -"
                              " it cannot be the lock; this copy quits";
        refuse(QStringLiteral("程序的锁文件不是普通文件（而是文件夹、链接、FIFO、套接字或设备）："
                              "\n%1\n请删除它，然后重新启动程序。关闭此提示后，本程序退出。")
                   .arg(path),
               QStringLiteral("The program's lock file is not a plain file (it is a folder, a "
                              "link, a FIFO, a socket or a device):\n%1\nRemove it, then start "
                              "the program again. This copy quits when you close this box.")
                   .arg(path));
        return false;
    }
    qDebug().noquote() << path << "is larger than" << MaxLockBytes
                       << "bytes, more than a lock holds - it cannot be the lock; this copy quits";
    refuse(QStringLiteral("程序的锁文件过大，不是本程序的锁文件：\n%1\n"
                          "请删除它，然后重新启动程序。关闭此提示后，本程序退出。")
               .arg(path),
           QStringLiteral("The program's lock file is too large to be one of its locks:\n%1\n"
                          "Remove it, then start the program again. This copy quits when you "
                          "close this box.")
               .arg(path));
    return false;
}

// The box in the language of "config.ini"; closing it ends the event loop.
void InstanceGuard::refuse(const QString& chinese, const QString& english)
{
    const int language =
        Settings::readInt(Settings::configPath(), QStringLiteral("Sensitivity"),
                          QStringLiteral("isChinese"), Settings::Defaults::isChinese);
    QMessageBox* box =
        InfoBox::open(language == 1 ? chinese : english, QIcon(QStringLiteral(":/logo.ico")));
    QObject::connect(box, &QDialog::finished, box, [] { QCoreApplication::exit(1); });
}
