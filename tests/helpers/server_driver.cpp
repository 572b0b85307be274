// server_driver: the server client on its own, fed with one-second batches as the
// recorder feeds it. For the kill test and the soak script (scripts/soak_server.py).
// Prints "SENT <time>" for every batch; ends on SIGINT, SIGTERM or SIGHUP after a
// last flush, and with the process that started it.

#include "app/RuntimePaths.h"
#include "app/SharedTypes.h"
#include "services/ServerThread.h"
#include "tests/support/BatchDriver.h"
#include "tests/support/FastServerTiming.h"
#include "tools/common/ParentDeath.h"
#include "tools/common/QuitOnSignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    if (!endWithParent())
        return 0;
    registerMainMetaTypes();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The server client fed with one-second batches.");
    parser.addHelpOption();
    const QCommandLineOption appDir("app-dir", "Folder standing beside the executable (logs/).",
                                    "DIR");
    const QCommandLineOption rate("rate", "Values per batch (Hz), default 1000.", "HZ", "1000");
    const QCommandLineOption pace("pace-ms", "Time between batches, default 1000.", "MS", "1000");
    const QCommandLineOption count("count", "Batches to send (default 0: none; -1: no end).", "N",
                                   "0");
    const QCommandLineOption first("first-time", "Time of the first batch (ms since the epoch).",
                                   "MS");
    const QCommandLineOption tick("tick-ms", "Tick of the client (default 30000).", "MS");
    const QCommandLineOption pause(
        "upload-pause-ms", "Pause between uploads, all kinds (default: the real ones).", "MS");
    const QCommandLineOption timeout("transfer-timeout-ms", "Transfer time-out (default 20000).",
                                     "MS");
    parser.addOptions({appDir, rate, pace, count, first, tick, pause, timeout});
    parser.process(app);

    if (parser.isSet(appDir)) {
        QDir().mkpath(parser.value(appDir));
        RuntimePaths::setAppDir(QDir(parser.value(appDir)).absolutePath());
    }
    ServerThread::Timing timing;
    if (parser.isSet(tick))
        timing.tickMs = parser.value(tick).toInt();
    if (parser.isSet(pause))
        FastServerTiming::shortenUploads(timing, parser.value(pause).toInt());
    if (parser.isSet(timeout))
        timing.transferTimeoutMs = parser.value(timeout).toInt();

    QuitOnSignal quitOnSignal;
    QString error;
    if (!quitOnSignal.install(&error)) {
        std::fprintf(stderr, "server_driver: %s\n", qPrintable(error));
        return 2;
    }

    auto* server = new ServerThread(timing);
    const qint64 firstTime = parser.isSet(first)
                                 ? parser.value(first).toLongLong()
                                 : QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    BatchDriver driver(server, firstTime, parser.value(rate).toInt(), parser.value(pace).toInt());
    const int wanted = parser.value(count).toInt();
    QObject::connect(&driver, &BatchDriver::batchSent, &app, [&](qint64 t) {
        std::printf("SENT %lld\n", static_cast<long long>(t));
        std::fflush(stdout);
        if (wanted >= 0 && driver.sent().size() >= wanted)
            driver.stop();
    });
    QMetaObject::invokeMethod(server, &ServerThread::slot_init, Qt::QueuedConnection);
    if (wanted != 0)
        driver.start();
    std::printf("READY\n");
    std::fflush(stdout);
    const int code = app.exec();
    driver.stop();
    delete server; // the last flush
    return code;
}
