#include "device/ModbusFrame.h"
#include "tests/support/TestMain.h"

// The request frames against the instrument's golden frames, written out in hex.
class TestModbusFrame : public QObject
{
    Q_OBJECT
private slots:
    void requestFrames_data();
    void requestFrames();
    void wordsLowFirst();
};

void TestModbusFrame::requestFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("read status") << ModbusFrame::read(40118, 1)
                                 << QByteArray::fromHex("01039CB600014BBC");
    QTest::newRow("read parameter block")
        << ModbusFrame::read(40100, 124) << QByteArray::fromHex("01039CA4007C2B98");
    QTest::newRow("raw read at 30000")
        << ModbusFrame::raw(0x04, 0x7530, 400) << QByteArray::fromHex("AB010475300190EA24");
    QTest::newRow("raw stream stop, count 2")
        << ModbusFrame::raw(0x06, 0x7D00, 2) << QByteArray::fromHex("AB01067D00000211B6");
    QTest::newRow("restart") << ModbusFrame::writeSingle(40118, 1)
                             << QByteArray::fromHex("01069CB6000187BC");
    QTest::newRow("work mode 2") << ModbusFrame::writeSingle(40119, 2)
                                 << QByteArray::fromHex("01069CB70002967D");
    QTest::newRow("rate 1000") << ModbusFrame::writeMultiple(40086, {1000})
                               << QByteArray::fromHex("01109C96000102"
                                                      "03E8E7D1");
    QTest::newRow("rate 20") << ModbusFrame::writeMultiple(40086, {20})
                             << QByteArray::fromHex("01109C96000102"
                                                    "0014E760");
    QTest::newRow("two registers") << ModbusFrame::writeMultiple(40042, {0x1234, 0x5678})
                                   << QByteArray::fromHex("01109C6A000204"
                                                          "12345678F7CA");
}

void TestModbusFrame::requestFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestModbusFrame::wordsLowFirst()
{
    QCOMPARE(ModbusFrame::wordsLowFirst(quint32(0x12345678)), (QVector<quint16>{0x5678, 0x1234}));
    // 1.5f is 0x3FC00000.
    QCOMPARE(ModbusFrame::wordsLowFirst(1.5f), (QVector<quint16>{0x0000, 0x3FC0}));
}

MAG_TEST_MAIN_CORE(TestModbusFrame)
#include "tst_modbusframe.moc"
