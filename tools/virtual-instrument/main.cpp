// virtual-instrument: a stand-in for the magnetometer on a pseudo-terminal.
// Prints "PORT COM<n> /dev/pts/<k>" once the line is up; ends on SIGINT/SIGTERM.

#include "VirtualInstrument.h"
#include "tools/common/ParentDeath.h"
#include "tools/common/PtyPort.h"
#include "tools/common/QuitOnSignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int fail(const QString& text)
{
    std::fprintf(stderr, "virtual-instrument: %s\n", qPrintable(text));
    return 2;
}

bool parseSeconds(const QString& text, double& out)
{
    bool ok = false;
    out = text.toDouble(&ok);
    return ok && out >= 0.0;
}
} // namespace

int main(int argc, char** argv)
{
    if (!endWithParent())
        return 0;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("virtual-instrument"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in for the magnetometer: a Modbus RTU slave (address 1) with the instrument's\n"
        "registers, lock sequence and data stream, on a pseudo-terminal published as the link\n"
        "COM<n> in $MAG_PORT_DIR (default /tmp/magnetometer-ports). Prints\n"
        "\"PORT COM<n> /dev/pts/<k>\" on stdout when ready. Ends on SIGINT or SIGTERM, and\n"
        "with the process that started it.\n\n"
        "WHICH (for the fault switches): N = the Nth item only, every:N = every Nth,\n"
        "all = every item, 0.25 = each item with that probability (a number with a point).\n"
        "Replies and stream frames are counted from 1. Times of --silent-after and\n"
        "--close-after count from the first request received."));
    parser.addHelpOption();
    const QCommandLineOption name(
        "name", "Publish the line as NAME (e.g. COM7) instead of the first free COM<n> from COM10.",
        "NAME");
    const QCommandLineOption verbose(
        "verbose", "Print every frame received and sent, in hexadecimal, on stderr.");
    const QCommandLineOption lockStep(
        "lock-step-ms", "Duration of each lock step (status 1, 2, 3, then 4). Default 2000.", "MS",
        "2000");
    const QCommandLineOption startStatus(
        "start-status",
        "Status at switch-on: 1-3 run the lock sequence from that step at the first request "
        "(default 1); 0 idle, 4 locked, 99 debug mode are held.",
        "S", "1");
    const QCommandLineOption seed(
        "seed", "Seed of the signal noise and of probabilistic faults. Default 1.", "N", "1");
    const QCommandLineOption stray(
        "stray-bytes", "Send one stray byte (00) before the chosen Modbus replies.", "WHICH");
    const QCommandLineOption exceptionOn(
        "exception-on",
        "Answer requests whose range includes register REG (e.g. 40118) with exception 04; @WHICH "
        "picks among those requests (default all), e.g. 40118@2.",
        "REG[@WHICH]");
    const QCommandLineOption badCrc("bad-crc", "Corrupt the CRC of the chosen Modbus replies.",
                                    "WHICH");
    const QCommandLineOption truncate(
        "truncate-frames", "Send only the first half of the chosen stream frames.", "WHICH");
    const QCommandLineOption drop("drop-frames", "Leave out the chosen stream frames.", "WHICH");
    const QCommandLineOption loseByte(
        "lose-byte", "Leave out one byte in the middle of the chosen stream frames.", "WHICH");
    const QCommandLineOption corrupt(
        "corrupt-records",
        "FID modes: in the chosen frames one record's count value2 reads 0 (no frequency).",
        "WHICH");
    const QCommandLineOption statusInStream(
        "status-in-stream", "Send a status reply (01 03 02 ...) just before the chosen frames.",
        "WHICH");
    const QCommandLineOption fid(
        "fid",
        "\"FID\" mode: the stream start sends vector frames (vector: 288 bytes, 36 records, four "
        "vector records every 36 ms) or FID frames (scalar: 80 bytes, ten records, at the "
        "requested rate) computed from a slowly turning 50 000 nT field.",
        "vector|scalar");
    const QCommandLineOption recordLog(
        "record-log",
        "FID modes: write what every record sent stands for to FILE, one line each: its number, "
        "then x, y, z and s in nT (vector) or s (scalar), and a note for damaged ones.",
        "FILE");
    const QCommandLineOption loseLock(
        "lose-lock-after",
        "S seconds after the first lock, the values run away while the status still reads 4; "
        "10 s later the status falls to 1 (no relock until 40118 is written).",
        "S");
    const QCommandLineOption silent("silent-after",
                                    "After S seconds, answer nothing and stop the stream.", "S");
    const QCommandLineOption close(
        "close-after", "After S seconds, close the line, remove the link and exit.", "S");
    parser.addOptions({name, verbose, lockStep, startStatus, seed, stray, exceptionOn, badCrc,
                       truncate, drop, loseByte, corrupt, statusInStream, loseLock, silent, close,
                       fid, recordLog});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1 (see --help)")
                        .arg(parser.positionalArguments().first()));

    InstrumentOptions options;
    options.portDir = PtyPort::folder();
    options.portName = parser.value(name);
    if (!options.portName.isEmpty() && (!options.portName.startsWith(QLatin1String("COM")) ||
                                        options.portName.contains(QLatin1Char('/'))))
        return fail(QStringLiteral("--name must be COM<n>"));
    options.verbose = parser.isSet(verbose);
    bool ok = false;
    options.lockStepMs = parser.value(lockStep).toInt(&ok);
    if (!ok || options.lockStepMs < 1)
        return fail(QStringLiteral("--lock-step-ms needs a positive number of milliseconds"));
    options.startStatus = parser.value(startStatus).toInt(&ok);
    if (!ok || ((options.startStatus < 0 || options.startStatus > 4) && options.startStatus != 99))
        return fail(QStringLiteral("--start-status must be 0-4 or 99"));
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed needs a number"));
    if (parser.isSet(fid)) {
        const QString mode = parser.value(fid);
        if (mode == QLatin1String("vector"))
            options.fidMode = FidMode::Vector;
        else if (mode == QLatin1String("scalar"))
            options.fidMode = FidMode::Scalar;
        else
            return fail(QStringLiteral("--fid must be vector or scalar"));
    }
    options.recordLog = parser.value(recordLog);

    FaultInjector::Settings& f = options.faults;
    QString error;
    const std::pair<const QCommandLineOption*, FaultSelector*> selectors[] = {
        {&stray, &f.strayBytes},
        {&badCrc, &f.badCrc},
        {&truncate, &f.truncateFrames},
        {&drop, &f.dropFrames},
        {&loseByte, &f.loseByte},
        {&corrupt, &f.corruptRecords},
        {&statusInStream, &f.statusInStream}};
    for (const auto& [option, selector] : selectors) {
        if (parser.isSet(*option) &&
            !FaultSelector::parse(parser.value(*option), *selector, &error))
            return fail(QStringLiteral("--%1: %2").arg(option->names().first(), error));
    }
    if (parser.isSet(exceptionOn)) {
        const QString v = parser.value(exceptionOn);
        const int at = v.indexOf(QLatin1Char('@'));
        f.exceptionRegister = v.left(at).toInt(&ok);
        if (!ok || f.exceptionRegister < 1 || f.exceptionRegister > 65535)
            return fail(QStringLiteral("--exception-on needs a register number such as 40118"));
        if (at >= 0 && !FaultSelector::parse(v.mid(at + 1), f.exceptionWhich, &error))
            return fail(QStringLiteral("--exception-on: %1").arg(error));
    }
    const std::pair<const QCommandLineOption*, double*> times[] = {
        {&loseLock, &f.loseLockAfter}, {&silent, &f.silentAfter}, {&close, &f.closeAfter}};
    for (const auto& [option, seconds] : times) {
        if (parser.isSet(*option) && !parseSeconds(parser.value(*option), *seconds))
            return fail(
                QStringLiteral("--%1 needs a number of seconds").arg(option->names().first()));
    }

    // Signals end the event loop, so that the link is removed on the way out.
    QuitOnSignal quitOnSignal;
    if (!quitOnSignal.install(&error))
        return fail(error);
    // A trace into a pipe whose reader falls behind must not stall the instrument.
    struct stat errStat
    {
    };
    if (options.verbose && ::fstat(STDERR_FILENO, &errStat) == 0 && S_ISFIFO(errStat.st_mode))
        ::fcntl(STDERR_FILENO, F_SETFL, ::fcntl(STDERR_FILENO, F_GETFL) | O_NONBLOCK);

    VirtualInstrument instrument(options);
    if (!instrument.open(&error))
        return fail(error);
    QObject::connect(&instrument, &VirtualInstrument::lineClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    std::printf("PORT %s %s\n", qPrintable(instrument.portName()),
                qPrintable(instrument.devicePath()));
    std::fflush(stdout);
    return app.exec();
}
