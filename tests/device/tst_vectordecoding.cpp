// Decoding of the "FID" mode: frequency records, the vector computation from
// biased frequencies, the vector road's records, windows and spectra, and the FID
// road's frequencies through the scalar hand-out.

#include "app/SharedState.h"
#include "device/ModbusDataHandler.h"
#include "device/VectorDecoding.h"
#include "device/VectorStreamDecoder.h"
#include "tests/support/FidTestFrames.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

#include <cmath>

using namespace FidTestFrames;
using VectorDecoding::Division;

namespace {
constexpr double Gamma = 6.99583;

struct Field
{
    double x, y, z;
};

// A vector frame of four vector records measured in the given fields.
QByteArray frameOf(const QVector<Field>& fields)
{
    QVector<double> hz;
    for (const Field& f : fields)
        hz += biasedFrequencies(f.x, f.y, f.z);
    return vectorFrame(hz);
}

Field fieldAt(int k)
{
    const double phi = 0.01 * k;
    return {25000.0 * std::cos(phi), 25000.0 * std::sin(phi), 43301.27 + 0.5 * std::sin(0.3 * k)};
}

QByteArray frameNumber(int n)
{
    return frameOf({fieldAt(4 * n), fieldAt(4 * n + 1), fieldAt(4 * n + 2), fieldAt(4 * n + 3)});
}

double norm(const Field& f)
{
    return std::sqrt(f.x * f.x + f.y * f.y + f.z * f.z);
}
} // namespace

class TestVectorDecoding : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerHubMetaTypes(); }
    void frequencyRecord_data();
    void frequencyRecord();
    void safeDivide_data();
    void safeDivide();
    void vectorFromBiasedFrequencies_data();
    void vectorFromBiasedFrequencies();
    void recordWithoutFrequencyIsInvalid();
    void vectorRoad();
    void spectraOnceTheWindowIsFull();
    void badFramesAndNegativeRadicands();
    void fidRoadThroughTheHandout();
};

void TestVectorDecoding::frequencyRecord_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("hz"); // NaN: none
    QTest::newRow("value1 11, value2 1") << QByteArray::fromHex("E0000B0000000001") << 2.62144e14;
    QTest::newRow("value1 10 gives 0") << QByteArray::fromHex("E1000A0000000001") << 0.0;
    QTest::newRow("value1 below 10 is negative")
        << QByteArray::fromHex("E2000900000F4240") << -2.62144e14 / 1e6;
    QTest::newRow("40-bit value2, signed value1")
        << QByteArray::fromHex("E8FFFFFF00000000") << -11.0 * 2.62144e14 / 0xFF00000000;
    QTest::newRow("value2 0 gives no frequency")
        << QByteArray::fromHex("EF00FA0000000000") << qQNaN();
}

void TestVectorDecoding::frequencyRecord()
{
    QFETCH(QByteArray, bytes);
    QFETCH(double, hz);
    const VectorDecoding::FrequencyRecord r = VectorDecoding::frequencyRecord(bytes.constData());
    if (std::isnan(hz))
        QVERIFY(!std::isfinite(r.hz));
    else
        QVERIFY2(std::abs(r.hz - hz) <= 1e-12 * std::abs(hz), qPrintable(QString::number(r.hz)));
}

void TestVectorDecoding::safeDivide_data()
{
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("c");
    QTest::addColumn<int>("failure");
    QTest::addColumn<double>("value");

    QTest::newRow("normal") << 3.0 << 5.0 << 4.0 << int(Division::None)
                            << 9.0 / (4.0 * std::sqrt(11.5));
    QTest::newRow("f0 = f2 gives 0")
        << 300000.0 << 310000.0 << 310000.0 << int(Division::None) << 0.0;
    QTest::newRow("D < 0") << 400000.0 << 310000.0 << 300000.0 << int(Division::NegativeRadicand)
                           << 0.0;
    QTest::newRow("D = 0") << 5.0 << 5.0 << 5.0 << int(Division::NegativeRadicand) << 0.0;
    QTest::newRow("tiny D") << 1000.0 << std::sqrt(1e6 + 5e-7) << std::sqrt(1e6 + 5e-7)
                            << int(Division::TinyDenominator) << 0.0;
    QTest::newRow("no frequency") << 300000.0 << qInf() << 300000.0 << int(Division::NotFinite)
                                  << 0.0;
}

void TestVectorDecoding::safeDivide()
{
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, c);
    QFETCH(int, failure);
    QFETCH(double, value);
    const Division d = VectorDecoding::safeDivide(a, b, c);
    QCOMPARE(int(d.failure), failure);
    QVERIFY2(std::abs(d.value - value) < 1e-12, qPrintable(QString::number(d.value)));
}

void TestVectorDecoding::vectorFromBiasedFrequencies_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("z");
    QTest::newRow("north and down") << 25000.0 << 0.0 << 43301.27;
    QTest::newRow("negative components") << -12000.0 << -30000.0 << 37000.0;
    QTest::newRow("along y") << 0.0 << 50000.0 << 0.0;
}

void TestVectorDecoding::vectorFromBiasedFrequencies()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, z);
    const QVector<double> f = biasedFrequencies(x, y, z);
    const VectorDecoding::VectorRecord r = VectorDecoding::vectorRecord(f.constData());
    QVERIFY(r.num.valid);
    QVERIFY(std::abs(r.num.x - x) < 1e-6);
    QVERIFY(std::abs(r.num.y - y) < 1e-6);
    QVERIFY(std::abs(r.num.z - z) < 1e-6);
    QVERIFY(std::abs(r.num.s - std::sqrt(x * x + y * y + z * z)) < 1e-6);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(r.num.f[i], f[i]);
}

void TestVectorDecoding::recordWithoutFrequencyIsInvalid()
{
    QVector<double> f = biasedFrequencies(25000.0, 0.0, 43301.27);
    f[4] = qInf(); // value2 = 0 in the unbiased record of the y group
    const VectorDecoding::VectorRecord r = VectorDecoding::vectorRecord(f.constData());
    QVERIFY(!r.num.valid);
    QVERIFY(!r.finite);
    // Nothing non-finite leaves the record.
    for (const double v : {r.num.x, r.num.y, r.num.z, r.num.s})
        QVERIFY(std::isfinite(v));
    QCOMPARE(r.num.f[4], 0.0);
    QCOMPARE(r.num.y, 0.0);
    QCOMPARE(r.num.s, 0.0);

    QVERIFY(VectorDecoding::decodeFidData(QVector<double>(35, 1.0)).isEmpty());
}

void TestVectorDecoding::vectorRoad()
{
    SharedState state;
    state.setVectorTimeSpan(10);
    const QDateTime stamp = QDateTime::fromMSecsSinceEpoch(1767225600000, Qt::UTC);
    VectorStreamDecoder decoder(nullptr, &state, [stamp] { return stamp; });
    QSignalSpy records(&decoder, &VectorStreamDecoder::sig_saveVectorXYZS);
    QSignalSpy forms(&decoder, &VectorStreamDecoder::sig_updateVectorForm);
    QSignalSpy batches(&decoder, &VectorStreamDecoder::sig_updateForm);

    decoder.decodeVectorB(frameNumber(0));
    QCOMPARE(records.count(), 4);
    QCOMPARE(forms.count(), 1);
    QCOMPARE(batches.count(), 1);
    const FIDVectorData data = forms.at(0).at(0).value<FIDVectorData>();
    QCOMPARE(data.x.size(), 4);
    QVERIFY(data.unused.isEmpty());
    QVERIFY(!data.hasSpectra);
    QVERIFY(data.sFreq.isEmpty());
    // The 40-bit counts carry the frequencies to about 1e-11, the field to 1e-5 nT.
    const auto near = [](double a, double b) { return std::abs(a - b) < 1e-4; };
    for (int k = 0; k < 4; ++k) {
        const Field f = fieldAt(k);
        const FIDVectorNum n = records.at(k).at(0).value<FIDVectorNum>();
        QCOMPARE(records.at(k).at(1).toDateTime(), stamp);
        QVERIFY(n.valid);
        QVERIFY(near(n.x, f.x) && near(data.x[k], f.x));
        QVERIFY(near(n.y, f.y) && near(data.y[k], f.y));
        QVERIFY(near(n.z, f.z) && near(data.z[k], f.z));
        QVERIFY(near(n.s, norm(f)) && near(data.s[k], norm(f)));
    }
    QCOMPARE(batches.at(0).at(0).value<QVector<double>>(), data.s);
    QCOMPARE(batches.at(0).at(1).value<FrequencyType>(), Freq111Hz);

    // A record whose count read nothing: invalid, in the file as zeros, and kept
    // out of the batch and the windows.
    QByteArray damaged = frameNumber(1);
    for (int i = 3; i < 8; ++i)
        damaged[8 * 10 + i] = 0; // the unbiased record of the second vector record
    records.clear();
    forms.clear();
    batches.clear();
    decoder.decodeVectorB(damaged);
    QCOMPARE(records.count(), 4);
    const FIDVectorNum bad = records.at(1).at(0).value<FIDVectorNum>();
    QVERIFY(!bad.valid);
    for (const double v : {bad.x, bad.y, bad.z, bad.s, bad.f[1]})
        QVERIFY(std::isfinite(v));
    QVERIFY(records.at(0).at(0).value<FIDVectorNum>().valid);
    const FIDVectorData partial = forms.at(0).at(0).value<FIDVectorData>();
    QCOMPARE(partial.s.size(), 3);
    QCOMPARE(batches.at(0).at(0).value<QVector<double>>().size(), 3);
    QCOMPARE(decoder.windowSize(), 7);
}

void TestVectorDecoding::spectraOnceTheWindowIsFull()
{
    SharedState state;
    state.setVectorTimeSpan(1);
    VectorStreamDecoder decoder(nullptr, &state);
    QSignalSpy forms(&decoder, &VectorStreamDecoder::sig_updateVectorForm);
    for (int n = 0; n < 27; ++n)
        decoder.decodeVectorB(frameNumber(n));
    for (const QList<QVariant>& form : forms)
        QVERIFY(!form.at(0).value<FIDVectorData>().hasSpectra);

    // The 28th frame brings the windows to 112 >= 111 values.
    decoder.decodeVectorB(frameNumber(27));
    const FIDVectorData data = forms.last().at(0).value<FIDVectorData>();
    QVERIFY(data.hasSpectra);
    QCOMPARE(decoder.windowSize(), 111);
    for (const QVector<double>* f : {&data.xFreq, &data.yFreq, &data.zFreq, &data.sFreq})
        QCOMPARE(f->size(), 56); // bins 0 .. 55 of 111 points
    QCOMPARE(data.sAsd.size(), 56);
    QVERIFY(std::abs(data.sFreq[1] - 1000.0 / 9.0 / 111.0) < 1e-9);
    QVERIFY(std::abs(data.sFreq.last() - 55 * 1000.0 / 9.0 / 111.0) < 1e-9);
    for (const double a : data.xAsd)
        QVERIFY(std::isfinite(a) && a >= 0.0);

    // A longer span waits until the windows have grown.
    state.setVectorTimeSpan(2);
    decoder.decodeVectorB(frameNumber(28));
    QVERIFY(!forms.last().at(0).value<FIDVectorData>().hasSpectra);
    QCOMPARE(decoder.windowSize(), 115);
}

void TestVectorDecoding::badFramesAndNegativeRadicands()
{
    SharedState state;
    VectorStreamDecoder decoder(nullptr, &state);
    QSignalSpy records(&decoder, &VectorStreamDecoder::sig_saveVectorXYZS);
    QSignalSpy crashLog(&decoder, &VectorStreamDecoder::sig_saveCrashLog);
    QSignalSpy forms(&decoder, &VectorStreamDecoder::sig_updateVectorForm);
    QSignalSpy batches(&decoder, &VectorStreamDecoder::sig_updateForm);

    QByteArray wrongMarker = frameNumber(0);
    wrongMarker[8] = char(0xEE);
    decoder.decodeVectorB(wrongMarker);
    decoder.decodeVectorB(frameNumber(0).left(280));
    QCOMPARE(records.count(), 0);

    // f1 far above f0 and f2: D < 0 in every record. Recorded as invalid with
    // x = 0; the event log hears of the run once.
    QVector<double> hz;
    for (int v = 0; v < 4; ++v)
        hz += QVector<double>{300000.0, 400000.0, 300000.0, 360000.0, 350000.0,
                              345000.0, 360000.0, 350000.0, 345000.0};
    decoder.decodeVectorB(vectorFrame(hz));
    decoder.decodeVectorB(vectorFrame(hz));
    QCOMPARE(records.count(), 8);
    const FIDVectorNum n = records.at(0).at(0).value<FIDVectorNum>();
    QVERIFY(!n.valid);
    QCOMPARE(n.x, 0.0);
    QVERIFY(n.y > 0.0);
    QCOMPARE(crashLog.count(), 1);
    QVERIFY(
        crashLog.at(0).at(0).toString().startsWith(QString::fromUtf8("分母中根号下出现负数:-")));
    // Nothing of them reaches the page or the scalar batches.
    QCOMPARE(forms.count(), 2);
    for (const QList<QVariant>& form : forms) {
        const FIDVectorData data = form.at(0).value<FIDVectorData>();
        QVERIFY(data.x.isEmpty() && data.y.isEmpty() && data.z.isEmpty() && data.s.isEmpty());
    }
    QCOMPARE(batches.count(), 0);
}

void TestVectorDecoding::fidRoadThroughTheHandout()
{
    ModbusDataHandler handler;
    QSignalSpy batches(&handler, &ModbusDataHandler::sig_updateForm);

    // 101 frames: 1010 records, ten of which carry no usable frequency.
    QVector<double> expected;
    for (int n = 0; n < 101; ++n) {
        QVector<double> hz;
        for (int i = 0; i < 10; ++i)
            hz << 349790.0 + 0.01 * (10 * n + i);
        QByteArray frame = fidFrame(hz);
        if (n % 10 == 3) {
            const int r = n % 7;
            if (n % 20 == 3)
                frame.replace(8 * r, 8, record(0xE1, 10, 1000)); // 0 Hz
            else
                frame.replace(8 * r + 3, 5, QByteArray(5, '\0')); // value2 = 0
            hz.remove(r);
        }
        expected += hz;
        QMetaObject::invokeMethod(&handler, "slots_readDataFinished", Qt::QueuedConnection,
                                  Q_ARG(ModbusAddr, AddrFid), Q_ARG(QByteArray, frame));
    }
    // One second of frequencies, handed out as 20 pieces of 50 at 1000 Hz.
    QTRY_COMPARE_WITH_TIMEOUT(batches.count(), 20, 10000);
    QVector<double> values;
    for (const QList<QVariant>& batch : batches) {
        QCOMPARE(batch.at(1).value<FrequencyType>(), Freq1000Hz);
        values += batch.at(0).value<QVector<double>>();
    }
    QCOMPARE(values.size(), 1000);
    for (int i = 0; i < values.size(); ++i)
        QVERIFY2(std::abs(values[i] - expected[i] / Gamma) < 1e-6,
                 qPrintable(QString("%1: %2").arg(i).arg(values[i])));
}

MAG_TEST_MAIN_CORE(TestVectorDecoding)
#include "tst_vectordecoding.moc"
