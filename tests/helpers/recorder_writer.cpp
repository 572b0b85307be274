// Records at 1000 Hz into the given recording path, one simulated second every
// few milliseconds, and prints "written <n>" once the recorder has taken second
// n - 1 of the recording. The kill test ends it with SIGKILL: from outside at some
// moment, from inside just before a write to a file (a kill between two writes of
// the recorder), or from inside a write, as the kernel ends a write whose process
// was killed: at a page end of the file, keeping what came before it.
//
// recorder_writer <recording path> <ms per batch> [--kill-before K] [--kill-inside K]
//                 [--from S] [--batches N]
//   --kill-before K  killed just before the K-th write to a file
//   --kill-inside K  killed inside the first write, from the K-th on, that crosses a
//                    page end; prints "cut <rows>" with the rows that write held
//   --from S         starts at second S of the recording (10:00:00 + S s)
//   --batches N      ends after N seconds; otherwise it runs until it is killed

#include "services/RowAppender.h"
#include "services/SaveFileThread.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
std::atomic<int> killBeforeWrite{0};
std::atomic<int> killInsideWrite{0};
std::atomic<int> fileWrites{0};
} // namespace

// Every write() of the process, Qt's file writes included, comes through here.
extern "C" ssize_t write(int fd, const void* buffer, size_t count)
{
    struct stat st;
    if ((killBeforeWrite.load() > 0 || killInsideWrite.load() > 0) && count > 0 &&
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const int n = ++fileWrites;
        if (n == killBeforeWrite.load())
            raise(SIGKILL);
        if (killInsideWrite.load() > 0 && n >= killInsideWrite.load()) {
            // Appends land at the end of the file, other writes at the file offset.
            const off_t at = (fcntl(fd, F_GETFL) & O_APPEND) ? st.st_size : lseek(fd, 0, SEEK_CUR);
            const off_t pageEnd = (at / RowAppender::PageBytes + 1) * RowAppender::PageBytes;
            if (at + off_t(count) > pageEnd) {
                syscall(SYS_write, fd, buffer, size_t(pageEnd - at));
                int rows = 0;
                for (size_t i = 0; i < count; ++i)
                    rows += static_cast<const char*>(buffer)[i] == '\n';
                std::printf("cut %d\n", rows);
                std::fflush(stdout);
                raise(SIGKILL);
            }
        }
    }
    return ssize_t(syscall(SYS_write, fd, buffer, count));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument("path", "recording path");
    parser.addPositionalArgument("pace", "ms per batch");
    parser.addOptions({{"kill-before", "killed before write K", "K"},
                       {"kill-inside", "killed inside a write from K on", "K"},
                       {"from", "first second", "S", "0"},
                       {"batches", "seconds to record", "N", "0"}});
    parser.process(app);
    if (parser.positionalArguments().size() != 2) {
        std::fprintf(stderr, "usage: recorder_writer <recording path> <ms per batch> "
                             "[--kill-before K] [--kill-inside K] [--from S] [--batches N]\n");
        return 2;
    }
    qRegisterMetaType<QVector<double>>("QVector<double>");
    const QString path = parser.positionalArguments().at(0);
    const int pace = parser.positionalArguments().at(1).toInt();
    killBeforeWrite = parser.value("kill-before").toInt();
    killInsideWrite = parser.value("kill-inside").toInt();
    int second = parser.value("from").toInt();
    const int last = parser.value("batches").toInt() > 0 ? second + parser.value("batches").toInt()
                                                         : std::numeric_limits<int>::max();

    SaveFileThread recorder;
    QMetaObject::invokeMethod(
        &recorder, [&] { recorder.slots_syncSaveParam(true, 0, path, true); },
        Qt::BlockingQueuedConnection);

    const QDateTime start(QDate(2025, 1, 1), QTime(10, 0), Qt::UTC);
    QVector<double> values(1000);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        for (int i = 0; i < values.size(); ++i)
            values[i] = 50000.0 + (second * 1000 + i) * 1e-3;
        const QDateTime arrival = start.addSecs(second);
        QMetaObject::invokeMethod(
            &recorder, [&] { recorder.saveCSVData(values, 1000, arrival); },
            Qt::BlockingQueuedConnection);
        std::printf("written %d\n", ++second);
        std::fflush(stdout);
        if (second >= last)
            app.quit();
    });
    timer.start(pace);
    return app.exec();
}
