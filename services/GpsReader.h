#pragma once
// Reads NMEA 0183 sentences from the GPS receiver's serial port and emits each
// position fix. The parsing functions are pure and static.
//
// Threads: created by GPSThread in the GPS thread; the port, its signals and
// every slot stay there.

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <atomic>

struct GpsFix
{
    QDateTime time;       // UTC; invalid when the sentence has none
    double latitude = 0;  // degrees, negative south
    double longitude = 0; // degrees, negative west
    double speed = 0;     // km/h
    double altitude = 0;  // as the sentence gives it
    int satellites = 0;
};

class GpsReader : public QObject
{
    Q_OBJECT
public:
    // RMC and GLL fixes that wait for a GGA (with the altitude) before they pass
    // without one: a receiver that sends no GGA still gets its fixes through.
    static constexpr int FixesWithoutGga = 5;
    // Bytes kept without a line end: beyond them the line is not NMEA.
    static constexpr qint64 MaxLineBytes = 4096;

    explicit GpsReader(QObject* parent = nullptr);
    ~GpsReader() override;

    // Name (a port name such as "Com4", mapped to its device) and rate; 8N1, no
    // flow control.
    void setPortConfig(const QString& portName, qint32 baudRate);
    bool openPort();
    void closePort();
    bool isOpen() const { return m_port.isOpen(); }
    QString portName() const { return m_port.portName(); }
    // Lines read from the port so far; any thread.
    int linesRead() const { return m_linesRead.load(); }

    // Fills `fix` from one sentence ($GPRMC, $GPGGA, $GPGLL); a sentence that
    // fails its checksum, reports no fix or holds an impossible position leaves
    // it empty.
    static void parseNmeaSentence(const QString& sentence, GpsFix& fix);
    // ddmm.mmmm (or dddmm.mmmm) and N/S/E/W to signed degrees.
    static double nmeaToDegrees(const QString& value, const QString& hemisphere);
    // hhmmss[.ss] and ddmmyy; without a date, today's local date.
    static QDateTime parseNmeaDateTime(const QString& time, const QString& date);
    // True when the sentence has no "*hh" or its checksum matches.
    static bool checksumOk(const QString& sentence);

signals:
    void portOpened(bool opened);
    void newGpsData(double latitude, double longitude, double altitude, int satellites);

private slots:
    void readData();
    void handleError(QSerialPort::SerialPortError error);

private:
    QSerialPort m_port;
    std::atomic<int> m_linesRead{0};
    int m_dropped = 0; // sentences dropped in a row, told once the next fix arrives
    bool m_haveGga = false;
    double m_ggaAltitude = 0;
    int m_ggaSatellites = 0;
    int m_fixesWithoutGga = 0;
    QElapsedTimer m_fixShown; // the debug lines of a fix: one fix a minute
};
