// NMEA parsing, the hourly throttle, and the reader on the GPS stand-in's line.

#include "services/GPSThread.h"
#include "services/GpsReader.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestMain.h"

#include <cmath>

namespace {
// The checksum of a sentence body, computed here independently.
QString withChecksum(const QString& body)
{
    int sum = 0;
    for (const QChar c : body)
        sum ^= c.toLatin1();
    return "$" + body + "*" + QString("%1").arg(sum, 2, 16, QChar('0')).toUpper();
}
} // namespace

class TestGpsReader : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void sentences_data();
    void sentences();
    void rmcExample();
    void throttleOncePerHour();
    void receiverOnTheLine_data();
    void receiverOnTheLine();
    void emptyPortNameLeavesThePortClosed();
};

void TestGpsReader::cleanup()
{
    GPSThread::setClock({});
    GPSThread::resetThrottle();
}

void TestGpsReader::sentences_data()
{
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("altitude");
    QTest::addColumn<int>("satellites");
    const double lat = 48 + 7.038 / 60; // 48.1173
    const double lon = 11 + 31.0 / 60;  // 11.516667
    QTest::newRow("RMC example")
        << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A" << lat << lon
        << 0.0 << 0;
    QTest::newRow("GGA example")
        << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47" << lat << lon
        << 545.4 << 8;
    QTest::newRow("GLL") << withChecksum("GPGLL,4807.038,N,01131.000,E,123519,A,A") << lat << lon
                         << 0.0 << 0;
    QTest::newRow("no checksum") << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"
                                 << lat << lon << 545.4 << 8;
    QTest::newRow("south and west")
        << withChecksum("GPGGA,000001,3352.128,S,07037.500,W,1,05,1.0,12.0,M,,M,,")
        << -(33 + 52.128 / 60) << -(70 + 37.5 / 60) << 12.0 << 5;
    QTest::newRow("without a decimal point: whole minutes")
        << withChecksum("GPGGA,000001,4807,N,01131,E,1,04,1.0,1.0,M,,M,,") << 48 + 7.0 / 60
        << 11 + 31.0 / 60 << 1.0 << 4;
    // Dropped sentences leave the fix empty.
    QTest::newRow("bad checksum")
        << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B" << 0.0 << 0.0
        << 0.0 << 0;
    QTest::newRow("RMC status V") << withChecksum(
                                         "GPRMC,123519,V,4807.038,N,01131.000,E,0.0,0.0,230394,,,N")
                                  << 0.0 << 0.0 << 0.0 << 0;
    QTest::newRow("GGA fix quality 0")
        << withChecksum("GPGGA,123519,4807.038,N,01131.000,E,0,00,,,M,,M,,") << 0.0 << 0.0 << 0.0
        << 0;
    QTest::newRow("GLL status V") << withChecksum("GPGLL,4807.038,N,01131.000,E,123519,V,N") << 0.0
                                  << 0.0 << 0.0 << 0;
    QTest::newRow("GNRMC is another talker")
        << withChecksum("GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W") << 0.0
        << 0.0 << 0.0 << 0;
    QTest::newRow("latitude beyond 90")
        << withChecksum("GPGGA,123519,9107.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,") << 0.0 << 0.0
        << 0.0 << 0;
    QTest::newRow("longitude beyond 180")
        << withChecksum("GPGGA,123519,4807.038,N,18131.000,E,1,08,0.9,545.4,M,,M,,") << 0.0 << 0.0
        << 0.0 << 0;
    QTest::newRow("too short") << withChecksum("GPRMC,123519,A,4807.038,N") << 0.0 << 0.0 << 0.0
                               << 0;
    QTest::newRow("no dollar") << "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"
                               << 0.0 << 0.0 << 0.0 << 0;
    QTest::newRow("equator: latitude 0")
        << withChecksum("GPGGA,123519,0000.000,N,01131.000,E,1,08,0.9,545.4,M,,M,,") << 0.0 << lon
        << 545.4 << 8;
}

void TestGpsReader::sentences()
{
    QFETCH(QString, sentence);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, altitude);
    QFETCH(int, satellites);
    GpsFix fix;
    GpsReader::parseNmeaSentence(sentence, fix);
    QVERIFY2(std::abs(fix.latitude - latitude) < 1e-9, qPrintable(QString::number(fix.latitude)));
    QVERIFY2(std::abs(fix.longitude - longitude) < 1e-9,
             qPrintable(QString::number(fix.longitude)));
    QCOMPARE(fix.altitude, altitude);
    QCOMPARE(fix.satellites, satellites);
}

void TestGpsReader::rmcExample()
{
    GpsFix fix;
    GpsReader::parseNmeaSentence(
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", fix);
    QCOMPARE(QString::number(fix.latitude, 'f', 4), QString("48.1173"));
    QCOMPARE(QString::number(fix.longitude, 'f', 6), QString("11.516667"));
    QCOMPARE(QString::number(fix.speed, 'f', 4), QString("41.4848"));
    QCOMPARE(fix.time, QDateTime(QDate(2094, 3, 23), QTime(12, 35, 19), Qt::UTC));
    QCOMPARE(GpsReader::parseNmeaDateTime("12351", "230394"), QDateTime());
    QCOMPARE(GpsReader::parseNmeaDateTime("123519.50", "").time(), QTime(12, 35, 19));
}

void TestGpsReader::throttleOncePerHour()
{
    qint64 now = 1765000000;
    GPSThread::setClock([&now] { return now; });
    GPSThread gps(QString{});
    QSignalSpy spy(&gps, &GPSThread::newGpsData);
    auto fixAt = [&](qint64 t) {
        now = t;
        QMetaObject::invokeMethod(&gps, "slot_GPSData", Qt::BlockingQueuedConnection,
                                  Q_ARG(double, 31.0), Q_ARG(double, 121.0), Q_ARG(double, 4.0),
                                  Q_ARG(int, 8));
    };
    fixAt(1765000000); // the first fix passes at once
    fixAt(1765000060); // a minute later: dropped
    fixAt(1765003600); // exactly an hour: still dropped
    QCOMPARE(spy.count(), 1);
    fixAt(1765003601);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toDouble(), 31.0);
    QCOMPARE(spy.at(0).at(3).toInt(), 8);
}

void TestGpsReader::receiverOnTheLine_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<bool>("emitted");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("altitude");
    QTest::addColumn<int>("satellites");
    const double south = -33.8688, east = 151.2093;
    // RMC leads each burst; the fix passed on still has the altitude and the
    // satellites, which only GGA gives.
    QTest::newRow("valid fixes") << QStringList{} << true << south << east << 4.5 << 8;
    QTest::newRow("no decimal point") << QStringList{"--no-decimal-point"} << true
                                      << -(33 + 52.0 / 60) << 151 + 13.0 / 60 << 4.5 << 8;
    QTest::newRow("a receiver without GGA still reports")
        << QStringList{"--no-gga"} << true << south << east << 0.0 << 0;
    QTest::newRow("bad checksum") << QStringList{"--bad-checksum"} << false << 0.0 << 0.0 << 0.0
                                  << 0;
    QTest::newRow("void fix") << QStringList{"--void-fix"} << false << 0.0 << 0.0 << 0.0 << 0;
    QTest::newRow("GN talker") << QStringList{"--talker", "GN"} << false << 0.0 << 0.0 << 0.0 << 0;
    QTest::newRow("on the equator") << QStringList{"--lat", "0"} << false << 0.0 << 0.0 << 0.0 << 0;
}

void TestGpsReader::receiverOnTheLine()
{
    QFETCH(QStringList, switches);
    QFETCH(bool, emitted);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, altitude);
    QFETCH(int, satellites);
    GpsReceiver receiver;
    // The setting's default "Com4" names the receiver's COM4.
    QCOMPARE(receiver.start(
                 QStringList{"--lat", "-33.8688", "--lon", "151.2093", "--interval-ms", "100"} +
                 switches),
             QString("COM4"));
    GPSThread gps("Com4");
    QSignalSpy opened(&gps, &GPSThread::portOpened);
    QSignalSpy fixes(&gps, &GPSThread::newGpsData);
    QMetaObject::invokeMethod(&gps, &GPSThread::slot_begin, Qt::BlockingQueuedConnection);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toBool(), true);
    GpsReader* reader = gps.reader();
    // Three bursts of sentences have been read.
    QTRY_VERIFY_WITH_TIMEOUT(reader->linesRead() >= 9, 10000);
    if (!emitted) {
        QCOMPARE(fixes.count(), 0);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(fixes.count(), 1, 5000); // then the hourly throttle holds
    QVERIFY(std::abs(fixes.at(0).at(0).toDouble() - latitude) < 1e-4);
    QVERIFY(std::abs(fixes.at(0).at(1).toDouble() - longitude) < 1e-4);
    QCOMPARE(fixes.at(0).at(2).toDouble(), altitude);
    QCOMPARE(fixes.at(0).at(3).toInt(), satellites);
}

void TestGpsReader::emptyPortNameLeavesThePortClosed()
{
    GPSThread gps(QString{});
    QMetaObject::invokeMethod(&gps, &GPSThread::slot_begin, Qt::BlockingQueuedConnection);
    QVERIFY(gps.reader());
    bool open = true;
    QMetaObject::invokeMethod(
        &gps, [&] { open = gps.reader()->isOpen(); }, Qt::BlockingQueuedConnection);
    QVERIFY(!open);
}

MAG_TEST_MAIN_CORE(TestGpsReader)
#include "tst_gpsreader.moc"
