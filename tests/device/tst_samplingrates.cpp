#include "app/SharedTypes.h"
#include "device/SamplingRates.h"
#include "tests/support/ModbusTestFrames.h"
#include "tests/support/TestMain.h"

using namespace ModbusTestFrames;

class TestSamplingRates : public QObject
{
    Q_OBJECT
private slots:
    // The link's stream follows the rate only when the instrument was told to
    // stream at it; everything else keeps the 1000 Hz default.
    void streamOfARate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("bChange");
        QTest::addColumn<int>("streamRate");
        QTest::addColumn<int>("frameLength");
        QTest::newRow("1000 Hz defaults") << 1000 << false << 1000 << 209;
        QTest::newRow("20 Hz chosen locally") << 20 << false << 1000 << 209;
        QTest::newRow("20 Hz written") << 20 << true << 20 << 13;
        QTest::newRow("10 Hz written") << 10 << true << 10 << 11;
        QTest::newRow("200 Hz written") << 200 << true << 200 << 49;
        QTest::newRow("500 Hz written") << 500 << true << 500 << 109;
        QTest::newRow("1 Hz is streamed at 1000") << 1 << true << 1000 << 209;
        QTest::newRow("rate outside the table") << 7 << true << 1000 << 209;
        QTest::newRow("negative rate") << -5 << true << 1000 << 209;
    }
    void streamOfARate()
    {
        QFETCH(int, rate);
        QFETCH(bool, bChange);
        QFETCH(int, streamRate);
        QFETCH(int, frameLength);
        const SamplingRates::Entry& e = SamplingRates::streamEntry(rate, bChange);
        QCOMPARE(e.streamRate, streamRate);
        QCOMPARE(e.frameLength, frameLength);
        QCOMPARE(e.streamCount, streamRate / 10);
        QCOMPARE(SamplingRates::frameLengthFor(streamRate), frameLength);
    }

    // The identity block's rate register decides the rate, unless the program's own
    // rate is already what the instrument streams.
    void rateFromInstrument_data()
    {
        QTest::addColumn<int>("programRate");
        QTest::addColumn<int>("rateRegister");
        QTest::addColumn<int>("rate");
        QTest::newRow("both at 1000") << 1000 << 1000 << 1000;
        QTest::newRow("instrument left at 20") << 1000 << 20 << 20;
        QTest::newRow("written to 20") << 20 << 20 << 20;
        QTest::newRow("20 chosen locally, instrument at 1000") << 20 << 1000 << 1000;
        QTest::newRow("1 Hz streams at 1000") << 1 << 1000 << 1;
        QTest::newRow("1 Hz, instrument at 500") << 1 << 500 << 500;
        QTest::newRow("register names no rate") << 20 << 123 << 20;
        QTest::newRow("register 1 is no rate") << 1000 << 1 << 1000;
    }
    void rateFromInstrument()
    {
        QFETCH(int, programRate);
        QFETCH(int, rateRegister);
        QTEST(SamplingRates::rateFromInstrument(programRate, rateRegister), "rate");
    }

    // Each row against frames built here field by field with a bit-wise CRC.
    void framesOfEveryRate()
    {
        for (const SamplingRates::Entry& e : SamplingRates::all()) {
            const QByteArray rateWrite = withCrc(QByteArray::fromHex("01109C9600010203E8").left(7) +
                                                 char(e.written >> 8) + char(e.written & 0xFF));
            QCOMPARE(SamplingRates::rateFrame(e), rateWrite);
            QCOMPARE(SamplingRates::streamStartFrame(e.streamCount),
                     request(1, 0x04, 0x7D00, quint16(e.streamCount), true));
            QCOMPARE(SamplingRates::streamStopFrame(e.streamCount),
                     request(1, 0x06, 0x7D00, quint16(e.streamCount), true));
            QCOMPARE(e.step, e.rate == 1 ? 1.0 : 1.0 / e.rate);
            QCOMPARE(e.watchdogStep, RateMap.value(e.rate, 0));
        }
        QCOMPARE(SamplingRates::rateFrame(*SamplingRates::find(1)).mid(7, 2),
                 QByteArray::fromHex("03E8"));
        QVERIFY(!SamplingRates::find(111));
    }
};

MAG_TEST_MAIN_CORE(TestSamplingRates)
#include "tst_samplingrates.moc"
