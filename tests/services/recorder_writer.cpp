// Records at 1000 Hz into the given recording path, one simulated second every
// few milliseconds, and prints "written <n>" once the recorder has taken batch n.
// The kill test ends it with SIGKILL, from outside at some moment, or from inside
// just before its k-th write to a file (third argument): a kill between two
// writes of the recorder.

#include "services/SaveFileThread.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
std::atomic<int> killAtFileWrite{0};
std::atomic<int> fileWrites{0};
} // namespace

// Every write() of the process, Qt's file writes included, comes through here.
extern "C" ssize_t write(int fd, const void* buffer, size_t count)
{
    struct stat st;
    if (killAtFileWrite.load() > 0 && count > 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        ++fileWrites == killAtFileWrite.load())
        raise(SIGKILL);
    return ssize_t(syscall(SYS_write, fd, buffer, count));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: recorder_writer <recording path> <ms per batch> [kill at write]\n");
        return 2;
    }
    qRegisterMetaType<QVector<double>>("QVector<double>");
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int pace = QByteArray(argv[2]).toInt();
    if (argc > 3)
        killAtFileWrite = QByteArray(argv[3]).toInt();

    SaveFileThread recorder;
    QMetaObject::invokeMethod(
        &recorder, [&] { recorder.slots_syncSaveParam(true, 0, path, true); },
        Qt::BlockingQueuedConnection);

    const QDateTime start(QDate(2025, 1, 1), QTime(10, 0), Qt::UTC);
    int written = 0;
    QVector<double> values(1000);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        for (int i = 0; i < values.size(); ++i)
            values[i] = 50000.0 + (written * 1000 + i) * 1e-3;
        const QDateTime arrival = start.addSecs(written);
        QMetaObject::invokeMethod(
            &recorder, [&] { recorder.saveCSVData(values, 1000, arrival); },
            Qt::BlockingQueuedConnection);
        std::printf("written %d\n", ++written);
        std::fflush(stdout);
    });
    timer.start(pace);
    return app.exec();
}
