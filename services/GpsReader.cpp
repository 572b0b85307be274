#include "services/GpsReader.h"

#include "device/SerialPortNames.h"

#include <QDebug>
#include <QSerialPortInfo>
#include <QStringList>

#include <cmath>

GpsReader::GpsReader(QObject* parent) : QObject(parent), m_port(this)
{
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        qDebug() << "Port name:" << info.portName();
        qDebug() << "Description:" << info.description();
        qDebug() << "Manufacturer:" << info.manufacturer();
        qDebug() << "System location:" << info.systemLocation();
        qDebug() << QString(35, QLatin1Char('='));
    }
    connect(&m_port, &QSerialPort::readyRead, this, &GpsReader::readData);
    connect(&m_port, &QSerialPort::errorOccurred, this, &GpsReader::handleError);
}

GpsReader::~GpsReader()
{
    closePort();
}

void GpsReader::setPortConfig(const QString& portName, qint32 baudRate)
{
    const QString location = SerialPortNames::systemLocation(portName);
    m_port.setPortName(location.isEmpty() ? portName : location);
    m_port.setBaudRate(baudRate, QSerialPort::AllDirections);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

bool GpsReader::openPort()
{
    if (m_port.isOpen()) {
        qDebug() << "串口已经打开";
        m_port.close();
        if (m_port.isOpen()) {
            qDebug() << "关闭失败";
            return false;
        }
        qDebug() << "关闭成功";
    }
    if (!m_port.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << "无法打开串口" << m_port.portName() + ":" << m_port.errorString();
        emit portOpened(false);
        return false;
    }
    qDebug() << "已连接到" << m_port.portName();
    emit portOpened(true);
    return true;
}

void GpsReader::closePort()
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    qDebug() << "已关闭串口" << m_port.portName();
    emit portOpened(false);
}

void GpsReader::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    qDebug() << "串口错误:" << m_port.errorString();
    if (error == QSerialPort::ResourceError)
        closePort();
}

void GpsReader::readData()
{
    if (!m_port.canReadLine() && m_port.bytesAvailable() > MaxLineBytes) {
        // Not NMEA (a wrong rate, a binary protocol): nothing here is ever a line.
        qDebug() << "GPS: no line end in" << m_port.readAll().size() << "bytes, dropped";
        return;
    }
    while (m_port.canReadLine()) {
        QByteArray line = m_port.readLine().trimmed();
        ++m_linesRead;
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        GpsFix fix;
        parseNmeaSentence(QString::fromUtf8(line), fix);
        if (fix.latitude == 0 || fix.longitude == 0) {
            // A receiver without a fix sends such sentences every second.
            if (m_dropped++ == 0 && line.startsWith('$'))
                qDebug() << "GPS: sentence without a usable fix:" << line.left(82);
            continue;
        }
        // Only GGA gives the altitude and the satellites. RMC leads a receiver's
        // burst, so the fix that passes the hourly throttle is mostly an RMC: it
        // takes them from the latest GGA rather than reporting an altitude of 0.
        if (line.contains("GPGGA")) {
            m_haveGga = true;
            m_ggaAltitude = fix.altitude;
            m_ggaSatellites = fix.satellites;
        } else if (m_haveGga) {
            fix.altitude = m_ggaAltitude;
            fix.satellites = m_ggaSatellites;
        } else if (m_fixesWithoutGga++ < FixesWithoutGga) {
            continue;
        }
        if (m_dropped > 1)
            qDebug() << "GPS:" << m_dropped << "sentences without a usable fix before this one";
        m_dropped = 0;
        // Several fixes a second: the output shows one a minute.
        if (!m_fixShown.isValid() || m_fixShown.hasExpired(60000)) {
            m_fixShown.start();
            qDebug() << "Time:" << fix.time.toString(Qt::ISODate);
            qDebug() << "Lat:" << fix.latitude;
            qDebug() << "Lon:" << fix.longitude;
            qDebug() << "Speed(kph):" << fix.speed;
            qDebug() << "altitude:" << fix.altitude;
            qDebug() << "satelliteCount:" << fix.satellites;
        }
        emit newGpsData(fix.latitude, fix.longitude, fix.altitude, fix.satellites);
    }
}

bool GpsReader::checksumOk(const QString& sentence)
{
    const int star = sentence.lastIndexOf(QLatin1Char('*'));
    if (star < 0)
        return true;
    bool ok = false;
    const QString digits = sentence.mid(star + 1);
    const int expected = digits.toInt(&ok, 16);
    if (!ok || digits.size() != 2)
        return false;
    int sum = 0;
    for (int i = sentence.startsWith(QLatin1Char('$')) ? 1 : 0; i < star; ++i)
        sum ^= sentence.at(i).unicode() & 0xFF;
    return sum == expected;
}

void GpsReader::parseNmeaSentence(const QString& sentence, GpsFix& fix)
{
    QString text = sentence.trimmed();
    if (!text.startsWith(QLatin1Char('$')) || !checksumOk(text))
        return;
    const int star = text.lastIndexOf(QLatin1Char('*'));
    if (star >= 0)
        text.truncate(star);
    const QStringList f = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    const QString& tag = f.at(0);

    GpsFix parsed;
    if (tag.contains(QLatin1String("GPRMC")) && f.size() > 11) {
        if (f.at(2) == QLatin1String("V")) // receiver warning: no valid fix
            return;
        parsed.time = parseNmeaDateTime(f.at(1), f.at(9));
        parsed.latitude = nmeaToDegrees(f.at(3), f.at(4));
        parsed.longitude = nmeaToDegrees(f.at(5), f.at(6));
        parsed.speed = f.at(7).toDouble() * 1.852;
    } else if (tag.contains(QLatin1String("GPGGA")) && f.size() > 9) {
        if (f.at(6).toInt() == 0) // fix quality 0: invalid
            return;
        parsed.latitude = nmeaToDegrees(f.at(2), f.at(3));
        parsed.longitude = nmeaToDegrees(f.at(4), f.at(5));
        parsed.satellites = f.at(7).toInt();
        parsed.altitude = f.at(9).toDouble();
    } else if (tag.contains(QLatin1String("GPGLL")) && f.size() > 5) {
        if (f.size() > 6 && f.at(6) == QLatin1String("V"))
            return;
        parsed.latitude = nmeaToDegrees(f.at(1), f.at(2));
        parsed.longitude = nmeaToDegrees(f.at(3), f.at(4));
        parsed.time = parseNmeaDateTime(f.at(5), QString());
    } else {
        return;
    }
    if (!std::isfinite(parsed.latitude) || !std::isfinite(parsed.longitude) ||
        std::abs(parsed.latitude) > 90.0 || std::abs(parsed.longitude) > 180.0)
        return;
    fix = parsed;
}

double GpsReader::nmeaToDegrees(const QString& value, const QString& hemisphere)
{
    if (value.isEmpty())
        return 0;
    // Without a point the text is whole degrees and minutes.
    int point = value.indexOf(QLatin1Char('.'));
    if (point < 0)
        point = value.size();
    const int degreeDigits = std::max(point, 2) - 2;
    const double degrees = value.left(degreeDigits).toDouble();
    const double minutes = value.mid(degreeDigits).toDouble();
    double result = degrees + minutes / 60.0;
    if (hemisphere == QLatin1String("S") || hemisphere == QLatin1String("W"))
        result = -result;
    return result;
}

QDateTime GpsReader::parseNmeaDateTime(const QString& time, const QString& date)
{
    if (time.size() < 6)
        return QDateTime();
    const QTime t(time.mid(0, 2).toInt(), time.mid(2, 2).toInt(), time.mid(4, 2).toInt(), 0);
    QDate d = QDate::currentDate();
    if (date.size() == 6)
        d = QDate(2000 + date.mid(4, 2).toInt(), date.mid(2, 2).toInt(), date.mid(0, 2).toInt());
    return QDateTime(d, t, Qt::UTC);
}
