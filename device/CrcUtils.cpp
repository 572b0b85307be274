#include "device/CrcUtils.h"

namespace {
// Clips [start, start + len) to [0, size); an outside range becomes empty.
bool validRange(int size, int start, int len)
{
    return start >= 0 && len > 0 && start <= size && len <= size - start;
}

quint16 crcOf(const unsigned char* p, int len)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < len; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

bool checkRange(const unsigned char* p, int len)
{
    if (len < 3)
        return false;
    const quint16 crc = crcOf(p, len - 2);
    return p[len - 2] == (crc & 0xFF) && p[len - 1] == (crc >> 8);
}

int sumOf(const unsigned char* p, int len)
{
    int sum = 0;
    for (int i = 0; i < len; ++i)
        sum = (sum + p[i]) & 0xFF;
    return sum;
}

const unsigned char* bytes(const char* data, int start)
{
    return reinterpret_cast<const unsigned char*>(data) + start;
}
} // namespace

int crc16Modbus(const char* data, int start, int len)
{
    if (!data || start < 0 || len <= 0)
        return Crc16Failure;
    return crcOf(bytes(data, start), len);
}

int crc16Modbus(const QByteArray& data, int start, int len)
{
    if (!validRange(data.size(), start, len))
        return Crc16Failure;
    return crcOf(bytes(data.constData(), start), len);
}

void appendCrc16(QByteArray& frame, int start, int len)
{
    if (!validRange(frame.size(), start, len)) {
        frame.append(char(0xFF));
        frame.append(char(0xFF));
        return;
    }
    const quint16 crc = crcOf(bytes(frame.constData(), start), len);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

void appendCrc16(QByteArray& frame)
{
    appendCrc16(frame, 0, frame.size());
}

bool checkCrc16(const char* data, int start, int len)
{
    if (!data || start < 0)
        return false;
    return checkRange(bytes(data, start), len);
}

bool checkCrc16(const QByteArray& data, int start, int len)
{
    if (data.size() < 3 || !validRange(data.size(), start, len))
        return false;
    return checkRange(bytes(data.constData(), start), len);
}

int checksum8(const char* data, int start, int len)
{
    if (!data || start < 0 || len <= 0)
        return 0;
    return sumOf(bytes(data, start), len);
}

int checksum8(const QByteArray& data, int start, int len)
{
    if (!validRange(data.size(), start, len))
        return 0;
    return sumOf(bytes(data.constData(), start), len);
}

QVector<QByteArray> splitByteArrayBySize(const QByteArray& data, int size)
{
    QVector<QByteArray> pieces;
    if (size < 1)
        return pieces;
    for (int pos = 0; pos + size <= data.size(); pos += size)
        pieces.append(data.mid(pos, size));
    return pieces;
}

QList<QByteArray> splitByteArrayBySeparator(const QByteArray& data, const QByteArray& separator)
{
    QList<QByteArray> pieces;
    if (separator.isEmpty())
        return pieces;
    int pos = 0;
    for (;;) {
        const int i = data.indexOf(separator, pos);
        if (i < 0) {
            pieces.append(data.mid(pos));
            return pieces;
        }
        pieces.append(data.mid(pos, i + separator.size() - pos));
        pos = i + separator.size();
    }
}
