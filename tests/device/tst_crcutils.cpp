#include "device/CrcUtils.h"
#include "tests/support/TestMain.h"

// Golden CRCs: the published check value of CRC-16/MODBUS and frames computed
// with an independent bit-wise implementation.
class TestCrcUtils : public QObject
{
    Q_OBJECT
private slots:
    void crcOfRange_data();
    void crcOfRange();
    void appendCrc_data();
    void appendCrc();
    void checkCrc_data();
    void checkCrc();
    void checksum_data();
    void checksum();
    void splitBySeparator_data();
    void splitBySeparator();
    void splitBySize_data();
    void splitBySize();
};

void TestCrcUtils::crcOfRange_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("crc");
    const QByteArray digits("123456789");
    QTest::newRow("check value") << digits << 0 << 9 << 0x4B37;
    QTest::newRow("inner range") << QByteArray("xx123456789yy") << 2 << 9 << 0x4B37;
    QTest::newRow("read request") << QByteArray::fromHex("01030000000A") << 0 << 6 << 0xCDC5;
    QTest::newRow("len 0") << digits << 0 << 0 << Crc16Failure;
    QTest::newRow("negative len") << digits << 0 << -1 << Crc16Failure;
    QTest::newRow("past the end") << digits << 5 << 5 << Crc16Failure;
    QTest::newRow("negative start") << digits << -1 << 3 << Crc16Failure;
    QTest::newRow("start beyond size") << digits << 10 << 1 << Crc16Failure;
    QTest::newRow("empty array") << QByteArray() << 0 << 1 << Crc16Failure;
}

void TestCrcUtils::crcOfRange()
{
    QFETCH(QByteArray, data);
    QFETCH(int, start);
    QFETCH(int, len);
    QFETCH(int, crc);
    QCOMPARE(crc16Modbus(data, start, len), crc);
    // The buffer form agrees wherever the range lies inside the buffer.
    if (start >= 0 && start + qMax(len, 0) <= data.size())
        QCOMPARE(crc16Modbus(data.constData(), start, len), crc);
}

void TestCrcUtils::appendCrc_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("len");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("restart write")
        << QByteArray::fromHex("01069CB60001") << 0 << 6 << QByteArray::fromHex("01069CB6000187BC");
    QTest::newRow("single-register read")
        << QByteArray::fromHex("010300000001") << 0 << 6 << QByteArray::fromHex("010300000001840A");
    QTest::newRow("len 0") << QByteArray::fromHex("0106") << 0 << 0
                           << QByteArray::fromHex("0106FFFF");
    QTest::newRow("range past the end")
        << QByteArray::fromHex("0106") << 1 << 5 << QByteArray::fromHex("0106FFFF");
}

void TestCrcUtils::appendCrc()
{
    QFETCH(QByteArray, body);
    QFETCH(int, start);
    QFETCH(int, len);
    QFETCH(QByteArray, frame);
    QByteArray ranged = body;
    appendCrc16(ranged, start, len);
    QCOMPARE(ranged.toHex(' '), frame.toHex(' '));
    if (start == 0 && len == body.size()) {
        QByteArray whole = body;
        appendCrc16(whole);
        QCOMPARE(whole.toHex(' '), frame.toHex(' '));
    }
}

void TestCrcUtils::checkCrc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("len");
    QTest::addColumn<bool>("ok");
    const QByteArray frame = QByteArray::fromHex("01069CB6000187BC");
    QTest::newRow("whole frame") << frame << 0 << 8 << true;
    QTest::newRow("frame inside noise") << "\xAA" + frame + "\x55" << 1 << 8 << true;
    QTest::newRow("swapped crc bytes")
        << QByteArray::fromHex("01069CB60001BC87") << 0 << 8 << false;
    QTest::newRow("one bit flipped") << QByteArray::fromHex("01069CB6000187BD") << 0 << 8 << false;
    QTest::newRow("two-byte range") << frame << 6 << 2 << false;
    QTest::newRow("range past the end") << frame << 1 << 8 << false;
    QTest::newRow("negative start") << frame << -1 << 8 << false;
    QTest::newRow("short array") << QByteArray::fromHex("0101") << 0 << 2 << false;
}

void TestCrcUtils::checkCrc()
{
    QFETCH(QByteArray, data);
    QFETCH(int, start);
    QFETCH(int, len);
    QFETCH(bool, ok);
    QCOMPARE(checkCrc16(data, start, len), ok);
    if (start >= 0 && start + len <= data.size())
        QCOMPARE(checkCrc16(data.constData(), start, len), ok);
}

void TestCrcUtils::checksum_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("sum");
    QTest::newRow("wraps at 256") << QByteArray::fromHex("FF02") << 0 << 2 << 1;
    QTest::newRow("inner range") << QByteArray::fromHex("FF1020FF") << 1 << 2 << 0x30;
    QTest::newRow("len 0") << QByteArray::fromHex("FF02") << 0 << 0 << 0;
    QTest::newRow("range past the end") << QByteArray::fromHex("FF02") << 1 << 4 << 0;
}

void TestCrcUtils::checksum()
{
    QFETCH(QByteArray, data);
    QFETCH(int, start);
    QFETCH(int, len);
    QFETCH(int, sum);
    QCOMPARE(checksum8(data, start, len), sum);
    if (start >= 0 && start + len <= data.size())
        QCOMPARE(checksum8(data.constData(), start, len), sum);
}

void TestCrcUtils::splitBySeparator_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::newRow("trailing separator")
        << QByteArray("a,b,") << QByteArray(",") << QList<QByteArray>{"a,", "b,", ""};
    QTest::newRow("rest after the last")
        << QByteArray("a,bc") << QByteArray(",") << QList<QByteArray>{"a,", "bc"};
    QTest::newRow("two-byte separator") << QByteArray("x\xFF\xFFy") << QByteArray("\xFF\xFF")
                                        << QList<QByteArray>{"x\xFF\xFF", "y"};
    QTest::newRow("empty array") << QByteArray() << QByteArray(",") << QList<QByteArray>{""};
    QTest::newRow("no separator") << QByteArray("abc") << QByteArray(",")
                                  << QList<QByteArray>{"abc"};
    QTest::newRow("empty separator") << QByteArray("abc") << QByteArray() << QList<QByteArray>{};
}

void TestCrcUtils::splitBySeparator()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, separator);
    QFETCH(QList<QByteArray>, pieces);
    QCOMPARE(splitByteArrayBySeparator(data, separator), pieces);
}

void TestCrcUtils::splitBySize_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVector<QByteArray>>("pieces");
    QTest::newRow("exact multiple")
        << QByteArray("abcdef") << 2 << QVector<QByteArray>{"ab", "cd", "ef"};
    QTest::newRow("remainder dropped")
        << QByteArray("abcde") << 2 << QVector<QByteArray>{"ab", "cd"};
    QTest::newRow("shorter than one piece") << QByteArray("a") << 2 << QVector<QByteArray>{};
    QTest::newRow("size 0") << QByteArray("abc") << 0 << QVector<QByteArray>{};
    QTest::newRow("negative size") << QByteArray("abc") << -3 << QVector<QByteArray>{};
}

void TestCrcUtils::splitBySize()
{
    QFETCH(QByteArray, data);
    QFETCH(int, size);
    QFETCH(QVector<QByteArray>, pieces);
    QCOMPARE(splitByteArrayBySize(data, size), pieces);
}

MAG_TEST_MAIN_CORE(TestCrcUtils)
#include "tst_crcutils.moc"
