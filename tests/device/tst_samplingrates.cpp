// The rate table against the rates of the instrument's protocol and of the
// watchdog; every expectation is written out here, none is computed from the table.

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
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("frameLength");
        QTest::newRow("1000 Hz defaults") << 1000 << false << 1000 << 100 << 209;
        QTest::newRow("20 Hz chosen locally") << 20 << false << 1000 << 100 << 209;
        QTest::newRow("20 Hz written") << 20 << true << 20 << 2 << 13;
        QTest::newRow("10 Hz written") << 10 << true << 10 << 1 << 11;
        QTest::newRow("200 Hz written") << 200 << true << 200 << 20 << 49;
        QTest::newRow("500 Hz written") << 500 << true << 500 << 50 << 109;
        QTest::newRow("1 Hz is streamed at 1000") << 1 << true << 1000 << 100 << 209;
        QTest::newRow("vector rate is no stream") << 111 << true << 1000 << 100 << 209;
        QTest::newRow("42 is no stream") << 42 << true << 1000 << 100 << 209;
        QTest::newRow("rate outside the table") << 7 << true << 1000 << 100 << 209;
        QTest::newRow("negative rate") << -5 << true << 1000 << 100 << 209;
    }
    void streamOfARate()
    {
        QFETCH(int, rate);
        QFETCH(bool, bChange);
        const SamplingRates::Entry& e = SamplingRates::streamEntry(rate, bChange);
        QTEST(e.streamRate, "streamRate");
        QTEST(e.streamCount(), "count");
        QTEST(e.frameLength(), "frameLength");
        QCOMPARE(SamplingRates::DefaultFrameLength, 209);
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

    // The rates the instrument can be set to, with the value written to register
    // 40086 and the time step shown; the frames built here field by field with a
    // bit-wise CRC.
    void settableRates_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<quint16>("written");
        QTest::addColumn<double>("step");
        QTest::newRow("1") << 1 << quint16(1000) << 1.0;
        QTest::newRow("10") << 10 << quint16(10) << 0.1;
        QTest::newRow("20") << 20 << quint16(20) << 0.05;
        QTest::newRow("200") << 200 << quint16(200) << 0.005;
        QTest::newRow("500") << 500 << quint16(500) << 0.002;
        QTest::newRow("1000") << 1000 << quint16(1000) << 0.001;
    }
    void settableRates()
    {
        QFETCH(int, rate);
        QFETCH(quint16, written);
        QFETCH(double, step);
        const SamplingRates::Entry* e = SamplingRates::findSettable(rate);
        QVERIFY(e);
        QCOMPARE(e->step(), step);
        QCOMPARE(e->averaged(), rate == 1); // only 1 Hz is averaged from its stream
        QCOMPARE(SamplingRates::rateFrame(*e), withCrc(QByteArray::fromHex("01109C96000102") +
                                                       char(written >> 8) + char(written & 0xFF)));
        QCOMPARE(SamplingRates::streamStartFrame(e->streamCount()),
                 request(1, 0x04, 0x7D00, quint16(e->streamCount()), true));
        QCOMPARE(SamplingRates::streamStopFrame(e->streamCount()),
                 request(1, 0x06, 0x7D00, quint16(e->streamCount()), true));
    }

    void onlyTheseRatesAreSettable()
    {
        QList<int> rates;
        for (const SamplingRates::Entry& e : SamplingRates::Table) {
            if (SamplingRates::findSettable(e.rate))
                rates << e.rate;
        }
        QCOMPARE(rates, (QList<int>{1, 10, 20, 200, 500, 1000}));
        QVERIFY(!SamplingRates::findSettable(7));
    }

    // The watchdog's steps: seven pairs with 1000 twice, so six steps; 42 steps by 41.
    void watchdogSteps()
    {
        const QList<QPair<int, int>> pairs = {{1, 1},     {20, 20},   {1000, 1000}, {42, 41},
                                              {111, 111}, {500, 500}, {1000, 1000}};
        QMap<int, int> expected;
        for (const auto& pair : pairs)
            expected.insert(pair.first, pair.second);
        QCOMPARE(RateMap, expected);
    }

    // Which controls offer a rate and which batches the save page records.
    void uses_data()
    {
        QTest::addColumn<int>("use");
        QTest::addColumn<QList<int>>("rates");
        QTest::newRow("data-rate menu")
            << int(SamplingRates::DataRateMenu) << QList<int>{1, 20, 1000};
        QTest::newRow("settings page") << int(SamplingRates::SettingsPage) << QList<int>{20, 1000};
        QTest::newRow("recorded") << int(SamplingRates::Recorded) << QList<int>{1, 20, 500, 1000};
    }
    void uses()
    {
        QFETCH(int, use);
        QList<int> rates;
        for (const SamplingRates::Entry& e : SamplingRates::Table) {
            if (e.offeredBy(SamplingRates::Use(use)))
                rates << e.rate;
        }
        QTEST(rates, "rates");
    }
};

MAG_TEST_MAIN_CORE(TestSamplingRates)
#include "tst_samplingrates.moc"
