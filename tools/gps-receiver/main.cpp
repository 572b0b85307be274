// gps-receiver: a stand-in for the GPS receiver on a pseudo-terminal. Sends RMC,
// GGA and GLL sentences (NMEA 0183, 4800 baud) once a second for a set position.
// Prints "PORT <name> /dev/pts/<k>" once the line is up; ends on SIGINT/SIGTERM.

#include "NmeaSource.h"
#include "tools/common/ParentDeath.h"
#include "tools/common/PtyPort.h"
#include "tools/common/QuitOnSignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {
int fail(const QString& text)
{
    std::fprintf(stderr, "gps-receiver: %s\n", qPrintable(text));
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    if (!endWithParent())
        return 0;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("gps-receiver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in for the GPS receiver: NMEA 0183 sentences ($GPRMC, $GPGGA, $GPGLL) once a\n"
        "second for a fixed position, on a pseudo-terminal published as the link NAME in\n"
        "$MAG_PORT_DIR (default /tmp/magnetometer-ports). The program's setting \"GPSCom\"\n"
        "(default \"Com4\") names the line; names are matched without regard to case.\n"
        "Prints \"PORT <name> /dev/pts/<k>\" when ready. Ends on SIGINT or SIGTERM, and with\n"
        "the process that started it."));
    parser.addHelpOption();
    const QCommandLineOption name("name", "Publish the line as NAME (default COM4).", "NAME",
                                  "COM4");
    const QCommandLineOption lat("lat", "Latitude in degrees, negative south (default 31.2304167).",
                                 "DEG", "31.2304167");
    const QCommandLineOption lon("lon", "Longitude in degrees, negative west (default 121.4737).",
                                 "DEG", "121.4737");
    const QCommandLineOption alt("alt", "Altitude in metres (default 4.5).", "M", "4.5");
    const QCommandLineOption sats("satellites", "Satellites in use (default 8).", "N", "8");
    const QCommandLineOption interval("interval-ms", "Time between bursts (default 1000).", "MS",
                                      "1000");
    const QCommandLineOption badChecksum("bad-checksum",
                                         "Send every sentence with a wrong checksum.");
    const QCommandLineOption voidFix("void-fix",
                                     "No fix: RMC and GLL status V, GGA fix quality 0.");
    const QCommandLineOption talker("talker", "Talker of the sentences: GP (default) or GN.", "ID",
                                    "GP");
    const QCommandLineOption noDecimal(
        "no-decimal-point", "Coordinates as whole degrees and minutes, without a decimal point.");
    const QCommandLineOption noGga("no-gga",
                                   "Send RMC and GLL only (no altitude, no satellite count).");
    const QCommandLineOption verbose("verbose", "Print every sentence sent on stderr.");
    parser.addOptions({name, lat, lon, alt, sats, interval, badChecksum, voidFix, talker, noDecimal,
                       noGga, verbose});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1 (see --help)")
                        .arg(parser.positionalArguments().first()));

    NmeaOptions options;
    bool ok1 = false, ok2 = false, ok3 = false, ok4 = false, ok5 = false;
    options.latitude = parser.value(lat).toDouble(&ok1);
    options.longitude = parser.value(lon).toDouble(&ok2);
    options.altitude = parser.value(alt).toDouble(&ok3);
    options.satellites = parser.value(sats).toInt(&ok4);
    const int intervalMs = parser.value(interval).toInt(&ok5);
    if (!ok1 || !ok2 || qAbs(options.latitude) > 90 || qAbs(options.longitude) > 180)
        return fail(QStringLiteral("--lat must be within +-90 and --lon within +-180"));
    if (!ok3 || !ok4 || options.satellites < 0 || !ok5 || intervalMs < 10)
        return fail(QStringLiteral("--alt, --satellites or --interval-ms is not a valid number"));
    options.talker = parser.value(talker).toLatin1();
    if (options.talker.size() != 2)
        return fail(QStringLiteral("--talker needs two letters, such as GP or GN"));
    options.badChecksum = parser.isSet(badChecksum);
    options.voidFix = parser.isSet(voidFix);
    options.noDecimalPoint = parser.isSet(noDecimal);
    options.noGga = parser.isSet(noGga);
    const QString portName = parser.value(name);
    if (portName.isEmpty() || portName.contains(QLatin1Char('/')))
        return fail(QStringLiteral("--name must be a plain name such as COM4"));

    // Signals end the event loop, so that the link is removed on the way out.
    QuitOnSignal quitOnSignal;
    QString error;
    if (!quitOnSignal.install(&error))
        return fail(error);

    PtyPort port;
    if (!port.open(PtyPort::folder(), portName, &error))
        return fail(error);

    const NmeaSource source(options);
    const bool trace = parser.isSet(verbose);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        for (const QByteArray& sentence : source.sentences(QDateTime::currentDateTimeUtc())) {
            port.write(sentence);
            if (trace)
                std::fprintf(stderr, "%s", sentence.constData());
        }
    });
    timer.start(intervalMs);

    std::printf("PORT %s %s\n", qPrintable(port.name()), qPrintable(port.devicePath()));
    std::fflush(stdout);
    return app.exec();
}
