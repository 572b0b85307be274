#include "device/ScalarStreamDecoder.h"
#include "dsp/SignalFilter.h"
#include "tests/support/DebugLines.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// AB 01 x x x, the samples (least significant byte first) in `dataBytes` bytes,
// status, x, FF FF.
QByteArray streamFrame(const QVector<quint32>& samples, int dataBytes = 200, quint8 status = 4)
{
    QByteArray f;
    f.append(char(0xAB)).append(char(0x01)).append(3, '\0');
    QByteArray data(dataBytes, '\0');
    for (int i = 0; i < samples.size() && 4 * i + 3 < dataBytes; ++i)
        for (int k = 0; k < 4; ++k)
            data[4 * i + k] = char((samples[i] >> (8 * k)) & 0xFF);
    f += data;
    f.append(char(status)).append('\0').append(char(0xFF)).append(char(0xFF));
    return f;
}

QByteArray constantFrame(quint32 value, int dataBytes = 200)
{
    return streamFrame(QVector<quint32>(dataBytes / 4, value), dataBytes);
}

// 3.5e8 mHz (about 50 000 nT) with a 50 Hz mains tone of 1e5 mHz, sample t at 1000 Hz.
quint32 mainsSample(int t)
{
    return quint32(std::lround(3.5e8 + 1e5 * std::sin(2 * M_PI * 50.0 * t / 1000.0 + 0.3)));
}

// Frames of 50 samples that fill the notch chain's window, and what a run leaves.
constexpr int WindowFrames = ScalarStreamDecoder::NotchWindow / 50;
constexpr int LeftAfterRun = ScalarStreamDecoder::NotchWindow - ScalarStreamDecoder::NotchStep;

QByteArray mainsFrame(int& t)
{
    QVector<quint32> s(50);
    for (quint32& v : s)
        v = mainsSample(t++);
    return streamFrame(s);
}

struct Batch
{
    QVector<double> values;
    int rate;
};

// The spectra among sig_updateFormEx's emissions (frequencies, densities).
QList<QPair<QVector<double>, QVector<double>>> spectra(const QSignalSpy& formEx)
{
    QList<QPair<QVector<double>, QVector<double>>> out;
    for (const QList<QVariant>& args : formEx) {
        const QVector<double> f = args.at(1).value<QVector<double>>();
        // A spectrum comes alone, without a batch.
        if (!f.isEmpty() && args.at(0).value<QVector<double>>().isEmpty())
            out.append({f, args.at(2).value<QVector<double>>()});
    }
    return out;
}

QList<Batch> batches(const QSignalSpy& spy)
{
    QList<Batch> out;
    for (const QList<QVariant>& args : spy)
        out.append({args.at(0).value<QVector<double>>(), int(args.at(1).value<FrequencyType>())});
    return out;
}

void configure(ScalarStreamDecoder& d, int rate, bool bChange, double dataRate, int fftTime = 10)
{
    DataParam p;
    p.dataRate = dataRate;
    p.fftTime = fftTime;
    d.setDataParam(p);
    d.setOneHz(false);
    d.syncDataByteCount(rate, bChange);
}

// A field stream in mHz at `fs`: about 50 000 nT with a slow wander, a 0.3 Hz swing,
// white noise of about 0.3 nT rms and, at 1000 Hz, a 0.4 nT mains line. Deterministic.
QVector<quint32> fieldStream(int fs, int n)
{
    quint32 state = 11;
    auto uniform = [&state] { // xorshift32 in [-1, 1)
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    };
    const double mHzPerNT = 1000.0 * 6.99583;
    QVector<quint32> out(n);
    double walk = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / fs;
        walk += 0.02 * uniform();
        const double nT = 50000.0 + walk + 2.0 * std::sin(2 * M_PI * 0.3 * t) +
                          0.5 * (uniform() + uniform()) +
                          (fs >= 200 ? 0.4 * std::sin(2 * M_PI * 50.0 * t) : 0.0);
        out[i] = quint32(std::lround(nT * mHzPerNT));
    }
    return out;
}

// The user's low-pass, then high-pass, zero-phase over the whole record.
QVector<double> wholeRecord(QVector<double> x, int lowPass, int highPass, int rate)
{
    const SignalFilter f;
    if (lowPass > 0)
        x = f.sosfiltfilt(x, f.butter(lowPass, SignalFilter::LowPass, rate));
    if (highPass > 0)
        x = f.sosfiltfilt(x, f.butter(highPass, SignalFilter::HighPass, rate));
    return x;
}

double largestStep(const QVector<double>& y)
{
    double step = 0.0;
    for (int i = 1; i < y.size(); ++i)
        step = std::max(step, std::abs(y[i] - y[i - 1]));
    return step;
}

// Largest difference of `out` to the start of `record`.
double largestDifference(const QVector<double>& out, const QVector<double>& record)
{
    double worst = 0.0;
    for (int i = 0; i < out.size() && i < record.size(); ++i)
        worst = std::max(worst, std::abs(out[i] - record[i]));
    return worst;
}

QVector<double> joined(const QList<Batch>& list)
{
    QVector<double> out;
    for (const Batch& b : list)
        out += b.values;
    return out;
}

void setCutoffs(ScalarStreamDecoder& d, int lowPass, int highPass)
{
    DataParam p = d.dataParam();
    p.lowPass = lowPass;
    p.highPass = highPass;
    d.setDataParam(p);
}

} // namespace

class TestScalarStream : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void directRoad_data();
    void directRoad();
    void frameAssembly_data();
    void frameAssembly();
    void filteredRoadHandsOutInPieces_data();
    void filteredRoadHandsOutInPieces();
    void filteredRoadAtOtherRatesStaysBounded();
    void waitingPiecesOnFilterOffRateAndReboot();
    void rebootForgetsEarlierSamples_data();
    void rebootForgetsEarlierSamples();
    void oneSecondRoadWithoutFilter();
    void oneSecondRoadWithFilter();
    void spectrumFollowsDirectBatches_data();
    void spectrumFollowsDirectBatches();
    void spectraOnlyWhileShown_data();
    void spectraOnlyWhileShown();
    void batchesCarryTheirRealRate_data();
    void batchesCarryTheirRealRate();
    void userFiltersRunOverTheStream_data();
    void userFiltersRunOverTheStream();
    void userFiltersRunOverHandedOutPieces_data();
    void userFiltersRunOverHandedOutPieces();
    void userFiltersHoldBackTheirLookahead_data();
    void userFiltersHoldBackTheirLookahead();
    void userFiltersStartAfresh_data();
    void userFiltersStartAfresh();
    void measuredFieldPassesNoCutOff_data();
    void measuredFieldPassesNoCutOff();

private:
    std::unique_ptr<DebugLines> m_debug; // the debug lines written while a test runs
};

void TestScalarStream::init()
{
    m_debug = std::make_unique<DebugLines>();
}

void TestScalarStream::cleanup()
{
    m_debug.reset();
}

void TestScalarStream::directRoad_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QVector<double>>("expected"); // nT; empty: nothing emitted
    QTest::addColumn<int>("label");

    QTest::newRow("1000 Hz: 10000 mHz") << 1000 << false << 0.001 << constantFrame(10000)
                                        << QVector<double>(50, 1.4294229562) << 1000;
    QTest::newRow("20 Hz framing: one sample a frame")
        << 20 << true << 0.05 << constantFrame(20000, 4) << QVector<double>{2.8588459125} << 20;
    QVector<quint32> ramp(50);
    for (int i = 0; i < 50; ++i)
        ramp[i] = quint32(10000 + 100 * i); // mean 12450 mHz
    QTest::newRow("20 Hz from the 1000 Hz framing: one mean a frame")
        << 20 << false << 0.05 << streamFrame(ramp) << QVector<double>{1.7796315805} << 20;
    QTest::newRow("200 Hz: nothing shown")
        << 200 << true << 0.005 << constantFrame(10000, 40) << QVector<double>{} << 0;
}

void TestScalarStream::directRoad()
{
    QFETCH(int, rate);
    QFETCH(bool, bChange);
    QFETCH(double, dataRate);
    QFETCH(QByteArray, frame);
    QFETCH(QVector<double>, expected);
    QFETCH(int, label);

    ScalarStreamDecoder d;
    configure(d, rate, bChange, dataRate);
    QCOMPARE(d.frameLength(), frame.size());
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy formEx(&d, &ScalarStreamDecoder::sig_updateFormEx);

    d.handleStreamFrame(frame);

    QCOMPARE(form.count(), expected.isEmpty() ? 0 : 1);
    // Every direct batch goes on to the spectrum page at once, shown or not.
    QCOMPARE(formEx.count(), 1);
    QVERIFY(formEx.first().at(1).value<QVector<double>>().isEmpty());
    if (expected.isEmpty())
        return;
    const Batch b = batches(form).first();
    QCOMPARE(b.rate, label);
    QCOMPARE(b.values.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(std::abs(b.values[i] - expected[i]) < 1e-8,
                 qPrintable(QString::number(b.values[i], 'g', 12)));
    QCOMPARE(formEx.first().at(0).value<QVector<double>>(), b.values);
}

void TestScalarStream::frameAssembly_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<quint32>>("decoded"); // first sample of every decoded frame
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<int>>("requests");

    const QByteArray a = constantFrame(10000);
    const QByteArray b = constantFrame(20000);
    QByteArray badTail = a;
    badTail[208] = '\0';
    QByteArray badHeader = a;
    badHeader[1] = char(0x02);

    QTest::newRow("whole frame") << QList<QByteArray>{a} << QList<quint32>{10000} << QStringList{}
                                 << QList<int>{};
    QTest::newRow("tail FF 00: restart") << QList<QByteArray>{badTail} << QList<quint32>{}
                                         << QStringList{"data error3"} << QList<int>{8, 7};
    QTest::newRow("header AB 02: restart") << QList<QByteArray>{badHeader} << QList<quint32>{}
                                           << QStringList{"data error3"} << QList<int>{8, 7};
    QTest::newRow("head then tail") << QList<QByteArray>{a.left(100), a.mid(100)}
                                    << QList<quint32>{10000} << QStringList{} << QList<int>{};
    QTest::newRow("kept head joins a second tail")
        << QList<QByteArray>{a.left(100), a.mid(100), a.mid(100)} << QList<quint32>{10000, 10000}
        << QStringList{} << QList<int>{};
    QTest::newRow("newer head replaces the kept one")
        << QList<QByteArray>{a.left(100), b.left(100), b.mid(100)} << QList<quint32>{20000}
        << QStringList{} << QList<int>{};
    QTest::newRow("210 bytes") << QList<QByteArray>{a + 'x'} << QList<quint32>{}
                               << QStringList{"data error1"} << QList<int>{};
    QTest::newRow("tail without head") << QList<QByteArray>{a.mid(100)} << QList<quint32>{}
                                       << QStringList{"data error2"} << QList<int>{};
    QTest::newRow("head and short tail")
        << QList<QByteArray>{a.left(100), a.mid(150)} << QList<quint32>{}
        << QStringList{"data error2"} << QList<int>{};
    QTest::newRow("neither head nor tail")
        << QList<QByteArray>{a.mid(50, 100)} << QList<quint32>{} << QStringList{} << QList<int>{};
    QTest::newRow("under 4 bytes")
        << QList<QByteArray>{a.left(3)} << QList<quint32>{} << QStringList{} << QList<int>{};
}

void TestScalarStream::frameAssembly()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<quint32>, decoded);
    QFETCH(QStringList, messages);
    QFETCH(QList<int>, requests);

    ScalarStreamDecoder d;
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy progress(&d, &ScalarStreamDecoder::sig_updateProgressEx);
    QSignalSpy send(&d, &ScalarStreamDecoder::sig_sendModbusData);

    for (const QByteArray& p : pieces)
        d.handleStreamFrame(p);

    QCOMPARE(form.count(), decoded.size());
    for (int i = 0; i < decoded.size(); ++i) {
        const QVector<double> v = form.at(i).at(0).value<QVector<double>>();
        QCOMPARE(v.size(), 50);
        QVERIFY(std::abs(v.first() - decoded[i] * 0.001 / 6.99583) < 1e-9);
    }
    // Every decoded frame reports its status byte.
    QCOMPARE(progress.count(), decoded.size());
    for (const QList<QVariant>& args : progress)
        QCOMPARE(args.at(0).toInt(), 4);
    QCOMPARE(m_debug->all(), messages);
    QList<int> sent;
    for (const QList<QVariant>& args : send)
        sent << int(args.at(0).value<ModbusAddr>());
    QCOMPARE(sent, requests);
}

void TestScalarStream::filteredRoadHandsOutInPieces_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("pieceSize");

    QTest::newRow("1000 Hz") << 1000 << 0.001 << 50;
    QTest::newRow("20 Hz from the 1000 Hz framing") << 20 << 0.05 << 1;
}

void TestScalarStream::filteredRoadHandsOutInPieces()
{
    QFETCH(int, rate);
    QFETCH(double, dataRate);
    QFETCH(int, pieceSize);

    ScalarStreamDecoder d;
    configure(d, rate, false, dataRate, 1);
    d.setFilterEnabled(true);
    d.setHandoutInterval(5);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy formEx(&d, &ScalarStreamDecoder::sig_updateFormEx);

    int t = 0;
    for (int i = 1; i < WindowFrames; ++i)
        d.handleStreamFrame(mainsFrame(t));
    QCOMPARE(form.count(), 0);
    QCOMPARE(d.filterBufferSize(), ScalarStreamDecoder::NotchWindow - 50);

    d.handleStreamFrame(mainsFrame(t));
    // The first piece leaves at once, the others one by one on the timer.
    QCOMPARE(form.count(), 1);
    QCOMPARE(d.pendingHandoutPieces(), 19);
    QCOMPARE(d.filterBufferSize(), LeftAfterRun);
    QTRY_COMPARE_WITH_TIMEOUT(form.count(), 20, 10000);
    QCOMPARE(d.pendingHandoutPieces(), 0);

    const double level = 3.5e8 * 0.001 / 6.99583;
    const double tone = 1e5 * 0.001 / 6.99583;
    double sumSq = 0.0;
    int n = 0;
    for (const Batch& b : batches(form)) {
        QCOMPARE(b.rate, rate);
        QCOMPARE(b.values.size(), pieceSize);
        for (const double v : b.values) {
            sumSq += (v - level) * (v - level);
            ++n;
        }
    }
    // The margins outlast the notch's settling: under 1 % of the tone is left (with
    // 300-sample margins, as SciPy's filtfilt on 1600 samples, about 5 % was).
    QVERIFY2(std::sqrt(sumSq / n) < 0.01 * tone,
             qPrintable(QString::number(std::sqrt(sumSq / n) / tone)));
    // Each piece goes on to the spectrum page too; with a one-second window the
    // spectrum of the full window is due, and is computed once a page shows it.
    QVERIFY(!d.spectrumRunning());
    QCoreApplication::processEvents();
    QVERIFY(spectra(formEx).isEmpty());
    d.setSpectrumShown(true);
    QVERIFY(d.spectrumRunning());
    QTRY_COMPARE_WITH_TIMEOUT(spectra(formEx).size(), 1, 10000);
    QCOMPARE(formEx.count(), 21);
    QCOMPARE(spectra(formEx).first().first.size(), rate / 2);

    // The next 1000 samples fill the window again.
    for (int i = 0; i < 20; ++i)
        d.handleStreamFrame(mainsFrame(t));
    QTRY_COMPARE_WITH_TIMEOUT(form.count(), 40, 10000);
    QCOMPARE(d.filterBufferSize(), LeftAfterRun);
}

void TestScalarStream::filteredRoadAtOtherRatesStaysBounded()
{
    ScalarStreamDecoder d;
    configure(d, 200, true, 0.005);
    d.setFilterEnabled(true);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    for (int i = 0; i < 400; ++i)
        d.handleStreamFrame(constantFrame(10000, 40));
    QCOMPARE(form.count(), 0);
    QCOMPARE(d.pendingHandoutPieces(), 0);
    QVERIFY(d.filterBufferSize() <= ScalarStreamDecoder::NotchWindow);
}

void TestScalarStream::waitingPiecesOnFilterOffRateAndReboot()
{
    ScalarStreamDecoder d;
    configure(d, 1000, false, 0.001);
    d.setFilterEnabled(true);
    d.setHandoutInterval(60000); // nothing leaves on the timer during the test
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    int t = 0;
    for (int i = 0; i < WindowFrames; ++i)
        d.handleStreamFrame(mainsFrame(t));
    QCOMPARE(form.count(), 1);
    QCOMPARE(d.pendingHandoutPieces(), 19);

    // Filter off: the 19 waiting pieces go out before the first unfiltered batch.
    d.setFilterEnabled(false);
    QCOMPARE(form.count(), 20);
    QCOMPARE(d.pendingHandoutPieces(), 0);
    d.handleStreamFrame(constantFrame(10000));
    QCOMPARE(form.count(), 21);
    QCOMPARE(form.last().at(0).value<QVector<double>>().first(), 10000 * 0.001 / 6.99583);

    // Another rate: the waiting pieces of the old one go out before it is taken.
    d.setFilterEnabled(true);
    for (int i = 0; i < WindowFrames; ++i)
        d.handleStreamFrame(mainsFrame(t));
    const int waiting = d.pendingHandoutPieces();
    QVERIFY(waiting > 0);
    form.clear();
    QVERIFY(d.syncDataByteCount(20, false));
    QCOMPARE(form.count(), waiting);
    QCOMPARE(form.last().at(1).value<FrequencyType>(), Freq1000Hz);
    QCOMPARE(d.pendingHandoutPieces(), 0);
    configure(d, 1000, false, 0.001);

    // A reset drops what is waiting.
    for (int i = 0; i < WindowFrames; ++i)
        d.handleStreamFrame(mainsFrame(t));
    QVERIFY(d.pendingHandoutPieces() > 0);
    const int before = form.count();
    d.reboot();
    QCOMPARE(d.pendingHandoutPieces(), 0);
    QTest::qWait(0);
    QCOMPARE(form.count(), before);
}

void TestScalarStream::rebootForgetsEarlierSamples_data()
{
    QTest::addColumn<bool>("oneHz");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<bool>("streamStart"); // a new stream rather than a reset
    QTest::newRow("filtered hand-out") << false << true << false;
    QTest::newRow("one-second mean") << true << false << false;
    QTest::newRow("one-second notch") << true << true << false;
    QTest::newRow("filtered hand-out, stream start") << false << true << true;
    QTest::newRow("one-second notch, stream start") << true << true << true;
}

// Samples gathered before a reset or a new stream (a restart, a relock), and a
// frame start kept then, never reach the pages after it: everything handed out
// afterwards is the new level.
void TestScalarStream::rebootForgetsEarlierSamples()
{
    QFETCH(bool, oneHz);
    QFETCH(bool, filter);
    QFETCH(bool, streamStart);
    ScalarStreamDecoder d;
    configure(d, 1000, false, 0.001);
    d.setOneHz(oneHz);
    d.setFilterEnabled(filter);
    d.setHandoutInterval(1);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);

    const quint32 before = 340000000u;
    const quint32 after = 350000000u;
    for (int i = 0; i < 19; ++i) // 950 samples: no road hands anything out yet
        d.handleStreamFrame(constantFrame(before));
    d.handleStreamFrame(constantFrame(before).left(100)); // a frame start, kept
    QCOMPARE(form.count(), 0);

    if (streamStart)
        d.streamStarting();
    else
        d.reboot();
    d.handleStreamFrame(constantFrame(before).mid(100)); // its tail, after the reset
    for (int i = 0; i < WindowFrames; ++i)
        d.handleStreamFrame(constantFrame(after));
    QTRY_COMPARE_WITH_TIMEOUT(d.pendingHandoutPieces(), 0, 10000);

    QVERIFY(form.count() > 0);
    const double level = ScalarStreamDecoder::toNanoTesla(after);
    int stale = 0;
    for (const Batch& b : batches(form))
        for (const double v : b.values)
            stale += std::abs(v - level) > 0.01 ? 1 : 0;
    QCOMPARE(stale, 0);
}

void TestScalarStream::oneSecondRoadWithoutFilter()
{
    ScalarStreamDecoder d;
    d.setOneHz(true);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy formEx(&d, &ScalarStreamDecoder::sig_updateFormEx);

    QVector<double> first(999);
    for (int i = 0; i < 999; ++i)
        first[i] = i + 1;
    d.handleMockData(first);
    QCOMPARE(form.count(), 0);
    d.handleMockData({1000, 1001});

    // The mean of everything gathered: (1 + ... + 1001) / 1001 = 501 mHz.
    QCOMPARE(form.count(), 1);
    const Batch b = batches(form).first();
    QCOMPARE(b.rate, 1);
    QCOMPARE(b.values.size(), 1);
    QVERIFY(std::abs(b.values[0] - 0.0716140901) < 1e-9);
    QCOMPARE(formEx.count(), 1);
    QCOMPARE(formEx.first().at(0).value<QVector<double>>(), b.values);
    QVERIFY(formEx.first().at(1).value<QVector<double>>().isEmpty());
    QVERIFY(formEx.first().at(2).value<QVector<double>>().isEmpty());
    QCOMPARE(d.filterBufferSize(), 0);
    QVERIFY(d.spectrumBuffer().isEmpty());
}

void TestScalarStream::oneSecondRoadWithFilter()
{
    ScalarStreamDecoder d;
    d.setOneHz(true);
    d.setFilterEnabled(true);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);

    int t = 0;
    for (int i = 1; i < WindowFrames; ++i)
        d.handleStreamFrame(mainsFrame(t));
    QCOMPARE(form.count(), 0);
    d.handleStreamFrame(mainsFrame(t));
    QCOMPARE(form.count(), 1);
    QCOMPARE(d.filterBufferSize(), LeftAfterRun);
    const Batch b = batches(form).first();
    QCOMPARE(b.rate, 1);
    // The mean of the 1000 kept, notched values: the level, the tone almost gone.
    const double level = 3.5e8 * 0.001 / 6.99583;
    QVERIFY2(std::abs(b.values[0] - level) < 0.01 * (1e5 * 0.001 / 6.99583),
             qPrintable(QString::number(b.values[0] - level)));
}

void TestScalarStream::spectrumFollowsDirectBatches_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("fftTime");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("window");

    QTest::newRow("1000 Hz, still growing") << 1000 << false << 0.001 << 10 << 3 << 150;
    QTest::newRow("20 Hz, one-second window") << 20 << true << 0.05 << 1 << 25 << 20;
    QTest::newRow("20 Hz from the 1000 Hz framing") << 20 << false << 0.05 << 1 << 25 << 20;
    QTest::newRow("fft time 0") << 1000 << false << 0.001 << 0 << 2 << 0;
}

void TestScalarStream::spectrumFollowsDirectBatches()
{
    QFETCH(int, rate);
    QFETCH(bool, bChange);
    QFETCH(double, dataRate);
    QFETCH(int, fftTime);
    QFETCH(int, frames);
    QFETCH(int, window);

    ScalarStreamDecoder d;
    configure(d, rate, bChange, dataRate, fftTime);
    d.setSpectrumShown(true);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy formEx(&d, &ScalarStreamDecoder::sig_updateFormEx);
    int t = 0;
    const int dataBytes = d.frameLength() - 9;
    auto feed = [&](int count) {
        for (int i = 0; i < count; ++i) {
            QVector<quint32> s(dataBytes / 4);
            for (quint32& v : s)
                v = mainsSample(t++);
            d.handleStreamFrame(streamFrame(s, dataBytes));
        }
    };
    // The batches leave at once, without waiting for a spectrum: the first is
    // still being computed while the others come in.
    feed(frames);
    QCOMPARE(form.count(), frames);
    QCOMPARE(formEx.count(), frames);
    QCOMPARE(formEx.last().at(0).value<QVector<double>>(), d.lastForm());
    QCOMPARE(d.spectrumBuffer().size(), window);
    QCOMPARE(d.spectrumRunning(), window > 0);

    // Once the first is done, the next spectrum is taken over the newest window.
    QTRY_VERIFY_WITH_TIMEOUT(!d.spectrumRunning(), 10000);
    QCoreApplication::processEvents();
    const auto shown = spectra(formEx);
    if (window == 0) {
        QVERIFY(shown.isEmpty());
        return;
    }
    QVERIFY2(shown.size() >= 1 && shown.size() <= 2, qPrintable(QString::number(shown.size())));
    const QVector<double> freqs = shown.last().first;
    QCOMPARE(freqs.size(), window - window / 2);
    QCOMPARE(freqs.last(), (window - window / 2 - 1) * double(rate) / window);
    QCOMPARE(shown.last().second.size(), freqs.size());

    // reboot() empties the spectrum, and one still being computed is not handed on.
    feed(1);
    QVERIFY(d.spectrumRunning());
    d.reboot();
    QVERIFY(d.spectrumBuffer().isEmpty());
    QVERIFY(d.lastForm().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!d.spectrumRunning(), 10000);
    QCoreApplication::processEvents();
    QCOMPARE(spectra(formEx).size(), shown.size());
    // The next frame starts it afresh.
    feed(1);
    QCOMPARE(d.spectrumBuffer().size(), qMin(window, rate == 20 ? 1 : 50));
    QTRY_COMPARE_WITH_TIMEOUT(spectra(formEx).size(), shown.size() + 1, 10000);
}

void TestScalarStream::spectraOnlyWhileShown_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("fftTime");
    QTest::addColumn<int>("frames");     // frames fed before the page is shown
    QTest::addColumn<int>("window");     // the window they make
    QTest::addColumn<int>("nextWindow"); // the window one more frame makes

    QTest::newRow("1000 Hz, window growing") << 1000 << 0.001 << 10 << 3 << 150 << 200;
    QTest::newRow("20 Hz from the 1000 Hz framing, window full")
        << 20 << 0.05 << 1 << 25 << 20 << 20;
}

// No spectrum is computed while no page shows one; shown, the spectrum of the
// newest window comes at once, without waiting for a frame, and the next ones
// follow the batches.
void TestScalarStream::spectraOnlyWhileShown()
{
    QFETCH(int, rate);
    QFETCH(double, dataRate);
    QFETCH(int, fftTime);
    QFETCH(int, frames);
    QFETCH(int, window);
    QFETCH(int, nextWindow);

    ScalarStreamDecoder d;
    configure(d, rate, false, dataRate, fftTime);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy formEx(&d, &ScalarStreamDecoder::sig_updateFormEx);
    int t = 0;
    auto feed = [&](int count) {
        for (int i = 0; i < count; ++i)
            d.handleStreamFrame(mainsFrame(t));
    };
    auto lastSpectrumBins = [&] { return spectra(formEx).last().first.size(); };

    feed(frames);
    QCOMPARE(form.count(), frames);
    QCOMPARE(d.spectrumBuffer().size(), window);
    QVERIFY(!d.spectrumRunning());
    QCoreApplication::processEvents();
    QVERIFY(spectra(formEx).isEmpty());
    QCOMPARE(formEx.count(), frames); // the batches still reach the page's time window

    d.setSpectrumShown(true);
    QVERIFY(d.spectrumRunning());
    QTRY_COMPARE_WITH_TIMEOUT(spectra(formEx).size(), 1, 10000);
    QCOMPARE(lastSpectrumBins(), window - window / 2);
    feed(1);
    QTRY_COMPARE_WITH_TIMEOUT(spectra(formEx).size(), 2, 10000);
    QCOMPARE(lastSpectrumBins(), nextWindow - nextWindow / 2);

    // Hidden while a step runs: the frames that came meanwhile start no other.
    feed(1);
    QVERIFY(d.spectrumRunning());
    d.setSpectrumShown(false);
    feed(1);
    QTRY_VERIFY_WITH_TIMEOUT(!d.spectrumRunning(), 10000);
    QCoreApplication::processEvents();
    QVERIFY(!d.spectrumRunning());
    QCOMPARE(spectra(formEx).size(), 3);
    feed(1);
    QVERIFY(!d.spectrumRunning());
}

void TestScalarStream::batchesCarryTheirRealRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<QList<int>>("labels"); // rates of the batches handed on

    const QList<int> none;
    QTest::newRow("1000 Hz") << 1000 << false << 0.001 << false << QList<int>{1000};
    QTest::newRow("20 Hz") << 20 << true << 0.05 << false << QList<int>{20};
    QTest::newRow("20 Hz from the 1000 Hz framing")
        << 20 << false << 0.05 << false << QList<int>{20};
    QTest::newRow("20 Hz from the 1000 Hz framing, filtered")
        << 20 << false << 0.05 << true << QList<int>{20};
    QTest::newRow("1000 Hz, filtered") << 1000 << false << 0.001 << true << QList<int>{1000};
    QTest::newRow("step 0") << 1000 << false << 0.0 << false << QList<int>{1000};
    QTest::newRow("negative step") << 1000 << false << -1.0 << true << QList<int>{1000};
    QTest::newRow("NaN step") << 1000 << false << std::nan("") << false << QList<int>{1000};
    QTest::newRow("rate 0") << 0 << true << 0.001 << true << QList<int>{1000};
    // Frames too short to hold a sample: nothing to show, and no hang or crash.
    QTest::newRow("rate 10: frames without a whole sample") << 10 << true << 0.1 << false << none;
    QTest::newRow("rate 10, filtered") << 10 << true << 0.1 << true << none;
}

// Whatever the settings, the decoder returns, and a batch labelled r Hz holds
// r values for each second of stream fed in (the stream has 20 frames a second).
void TestScalarStream::batchesCarryTheirRealRate()
{
    QFETCH(int, rate);
    QFETCH(bool, bChange);
    QFETCH(double, dataRate);
    QFETCH(bool, filter);
    QFETCH(QList<int>, labels);

    ScalarStreamDecoder d;
    configure(d, rate, bChange, dataRate);
    d.setFilterEnabled(filter);
    d.setHandoutInterval(1);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);

    const int seconds = 5;
    const int dataBytes = d.frameLength() - 9;
    for (int i = 0; i < 20 * seconds; ++i)
        d.handleStreamFrame(constantFrame(10000, dataBytes));
    QTRY_COMPARE_WITH_TIMEOUT(d.pendingHandoutPieces(), 0, 10000);

    QMap<int, int> valuesPerRate;
    for (const Batch& b : batches(form))
        valuesPerRate[b.rate] += b.values.size();
    QCOMPARE(valuesPerRate.keys(), labels);
    for (auto it = valuesPerRate.cbegin(); it != valuesPerRate.cend(); ++it) {
        // The filtered road lags by the samples it keeps for the next run.
        const int lag = filter ? (LeftAfterRun + 999) / 1000 : 0;
        QVERIFY2(it.value() >= (seconds - lag) * it.key() && it.value() <= seconds * it.key(),
                 qPrintable(QString("%1 values at %2 Hz").arg(it.value()).arg(it.key())));
    }
}

void TestScalarStream::userFiltersRunOverTheStream_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");
    QTest::addColumn<double>("tolerance"); // nT, largest difference to the whole record
    QTest::addColumn<double>("stepRatio"); // largest step / the whole record's largest step

    // Filtered frame by frame, the low-pass of 10 Hz turned the 1000 Hz stream into a
    // staircase (flat frames, jumps of almost 1 nT between them), and a single sample
    // at 20 Hz was too short to be filtered at all.
    QTest::newRow("1000 Hz, low-pass 10") << 1000 << false << 0.001 << 10 << 0 << 2e-4 << 1.01;
    QTest::newRow("1000 Hz, low-pass 100") << 1000 << false << 0.001 << 100 << 0 << 2e-4 << 1.01;
    QTest::newRow("1000 Hz, high-pass 10") << 1000 << false << 0.001 << 0 << 10 << 2e-4 << 1.01;
    QTest::newRow("20 Hz framing, low-pass 1, one sample a frame")
        << 20 << true << 0.05 << 1 << 0 << 0.03 << 1.1;
    QTest::newRow("20 Hz framing, high-pass 2, one sample a frame")
        << 20 << true << 0.05 << 0 << 2 << 5e-3 << 1.05;
    QTest::newRow("20 Hz from the 1000 Hz framing, low-pass 2")
        << 20 << false << 0.05 << 2 << 0 << 5e-3 << 1.05;
}

// On the direct road the user filters run over the stream: what leaves is the
// zero-phase filter of the whole record, frame by frame, without steps at the seams.
void TestScalarStream::userFiltersRunOverTheStream()
{
    QFETCH(int, rate);
    QFETCH(bool, bChange);
    QFETCH(double, dataRate);
    QFETCH(int, lowPass);
    QFETCH(int, highPass);
    QFETCH(double, tolerance);
    QFETCH(double, stepRatio);

    ScalarStreamDecoder d;
    configure(d, rate, bChange, dataRate);
    setCutoffs(d, lowPass, highPass);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);

    const int perFrame = (d.frameLength() - 9) / 4; // samples a frame brings
    const int streamRate = 20 * perFrame;
    const int block = streamRate / rate; // averaged into one value
    const int seconds = 30;
    const QVector<quint32> samples = fieldStream(streamRate, seconds * streamRate);
    QVector<double> shown; // nT, as the decoder shows them unfiltered
    for (int i = 0; i < samples.size(); i += perFrame) {
        const QVector<quint32> frame = samples.mid(i, perFrame);
        d.handleStreamFrame(streamFrame(frame, 4 * perFrame));
        for (int k = 0; k < perFrame; k += block) {
            double sum = 0.0;
            for (int j = k; j < k + block; ++j)
                sum += frame[j];
            shown << ScalarStreamDecoder::toNanoTesla(sum / block);
        }
    }

    const QList<Batch> out = batches(form);
    // One batch a frame once the lookahead is full, of the frame's size, at its rate.
    QVERIFY(out.size() >= 20 * (seconds - 2));
    for (const Batch& b : out) {
        QCOMPARE(b.rate, rate);
        QCOMPARE(b.values.size(), perFrame / block);
    }
    const QVector<double> values = joined(out);
    const QVector<double> record = wholeRecord(shown, lowPass, highPass, rate);
    const double worst = largestDifference(values, record);
    const double step = largestStep(values);
    const double ownStep = largestStep(record.mid(0, values.size()));
    qInfo("%d values out of %d, largest difference %.3g nT, largest step %.4g (the record's %.4g)",
          int(values.size()), int(shown.size()), worst, step, ownStep);
    QVERIFY2(worst <= tolerance, qPrintable(QString::number(worst)));
    QVERIFY2(step <= stepRatio * ownStep, qPrintable(QString("%1 vs %2").arg(step).arg(ownStep)));
}

void TestScalarStream::userFiltersRunOverHandedOutPieces_data()
{
    QTest::addColumn<bool>("notch"); // the notch road, else the FID road's hand-out
    QTest::newRow("notch road") << true;
    QTest::newRow("FID road") << false;
}

// The paced pieces of the notch and FID roads are one stream for the user filters
// too: with a low-pass of 10 Hz the pieces are the whole-record filter of what the
// road hands out without it.
void TestScalarStream::userFiltersRunOverHandedOutPieces()
{
    QFETCH(bool, notch);
    ScalarStreamDecoder filtered;
    ScalarStreamDecoder plain;
    for (ScalarStreamDecoder* d : {&filtered, &plain}) {
        configure(*d, 1000, false, 0.001);
        d->setFilterEnabled(notch);
        d->setHandoutInterval(1);
    }
    setCutoffs(filtered, 10, 0);
    QSignalSpy filteredForm(&filtered, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy plainForm(&plain, &ScalarStreamDecoder::sig_updateForm);

    const int seconds = 12;
    const QVector<quint32> samples = fieldStream(1000, seconds * 1000);
    for (int i = 0; i < samples.size(); i += 1000) {
        if (notch) {
            for (int k = i; k < i + 1000; k += 50) {
                const QByteArray frame = streamFrame(samples.mid(k, 50));
                filtered.handleStreamFrame(frame);
                plain.handleStreamFrame(frame);
            }
        } else {
            QVector<double> values(1000);
            for (int k = 0; k < 1000; ++k)
                values[k] = samples[i + k];
            filtered.handoutData(values);
            plain.handoutData(values);
        }
        QTRY_COMPARE_WITH_TIMEOUT(filtered.pendingHandoutPieces(), 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(plain.pendingHandoutPieces(), 0, 10000);
    }

    const QVector<double> handedOut = joined(batches(plainForm));
    QVERIFY(handedOut.size() >= (seconds - 2) * 1000);
    for (const Batch& b : batches(filteredForm))
        QCOMPARE(b.values.size(), 50);
    const QVector<double> values = joined(batches(filteredForm));
    QCOMPARE(values.size(), handedOut.size() - 800); // the lookahead, in whole pieces
    const QVector<double> record = wholeRecord(handedOut, 10, 0, 1000);
    const double worst = largestDifference(values, record);
    QVERIFY2(worst <= 2e-4, qPrintable(QString::number(worst)));
    QVERIFY(largestStep(values) <= 1.01 * largestStep(record.mid(0, values.size())));
}

void TestScalarStream::userFiltersHoldBackTheirLookahead_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("silentFrames"); // frames in before the first batch out

    // 752 samples of lookahead, a whole number of 50-sample frames: 0.8 s.
    QTest::newRow("1000 Hz, low-pass 10") << 1000 << false << 0.001 << 10 << 16;
    // 40 samples, 2 s: a single sample is never filtered alone.
    QTest::newRow("20 Hz framing, low-pass 5 on single samples") << 20 << true << 0.05 << 5 << 40;
    QTest::newRow("no cut-off: at once") << 1000 << false << 0.001 << 0 << 0;
}

// At the start nothing leaves until the lookahead is full; then every frame gives one
// batch of its own size (here the level, which the filters leave as it is).
void TestScalarStream::userFiltersHoldBackTheirLookahead()
{
    QFETCH(int, rate);
    QFETCH(bool, bChange);
    QFETCH(double, dataRate);
    QFETCH(int, lowPass);
    QFETCH(int, silentFrames);

    ScalarStreamDecoder d;
    configure(d, rate, bChange, dataRate);
    setCutoffs(d, lowPass, 0);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy formEx(&d, &ScalarStreamDecoder::sig_updateFormEx);
    const int dataBytes = d.frameLength() - 9;
    for (int i = 0; i < silentFrames; ++i)
        d.handleStreamFrame(constantFrame(20000, dataBytes));
    QCOMPARE(form.count(), 0);
    QTest::qWait(0); // a spectrum may come; no batch does
    for (const QList<QVariant>& args : formEx)
        QVERIFY(args.at(0).value<QVector<double>>().isEmpty());
    QCOMPARE(d.userFilterHeldSamples(), silentFrames * dataBytes / 4);

    for (int i = 0; i < 10; ++i)
        d.handleStreamFrame(constantFrame(20000, dataBytes));
    QCOMPARE(form.count(), 10);
    for (const Batch& b : batches(form)) {
        QCOMPARE(b.rate, rate);
        QCOMPARE(b.values.size(), dataBytes / 4);
        for (const double v : b.values)
            QVERIFY(std::abs(v - 2.8588459125) < 1e-8);
    }
    QCOMPARE(d.lastForm(), batches(form).last().values);
}

void TestScalarStream::userFiltersStartAfresh_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("afresh");
    QTest::addColumn<int>("label"); // rate of the batches after the change

    QTest::newRow("another cut-off") << "cut-off" << true << 1000;
    QTest::newRow("reboot") << "reboot" << true << 1000;
    QTest::newRow("another rate") << "rate" << true << 20;
    QTest::newRow("the notch road") << "road" << true << 1000;
    QTest::newRow("the same rate again") << "same rate" << false << 1000;
}

// After a change the user filters start afresh: a new level shows at once as itself,
// with nothing of the samples from before the change mixed in.
void TestScalarStream::userFiltersStartAfresh()
{
    QFETCH(QString, change);
    QFETCH(bool, afresh);
    QFETCH(int, label);

    ScalarStreamDecoder d;
    configure(d, 1000, false, 0.001);
    setCutoffs(d, 10, 0);
    d.setHandoutInterval(1);
    QSignalSpy form(&d, &ScalarStreamDecoder::sig_updateForm);
    const quint32 before = 340000000u;
    const quint32 after = 350000000u;
    for (int i = 0; i < 30; ++i)
        d.handleStreamFrame(constantFrame(before));
    QVERIFY(form.count() > 0);
    const int held = d.userFilterHeldSamples();

    if (change == "cut-off") {
        setCutoffs(d, 20, 0);
    } else if (change == "reboot") {
        d.reboot();
        QCOMPARE(d.userFilterHeldSamples(), 0);
    } else if (change == "rate") {
        configure(d, 20, false, 0.05);
        setCutoffs(d, 10, 0);
        QCOMPARE(d.userFilterHeldSamples(), 0);
    } else if (change == "road") {
        d.setFilterEnabled(true);
    } else {
        d.syncDataByteCount(1000, false);
        QCOMPARE(d.userFilterHeldSamples(), held);
    }
    form.clear();
    for (int i = 0; i < 80; ++i)
        d.handleStreamFrame(constantFrame(afresh ? after : before));
    QTRY_COMPARE_WITH_TIMEOUT(d.pendingHandoutPieces(), 0, 10000);

    QVERIFY(form.count() > 0);
    const double level = ScalarStreamDecoder::toNanoTesla(afresh ? after : before);
    for (const Batch& b : batches(form)) {
        QCOMPARE(b.rate, label);
        for (const double v : b.values)
            QVERIFY2(std::abs(v - level) < 1e-6, qPrintable(QString::number(v - level)));
    }
    if (!afresh)
        QCOMPARE(form.count(), 80); // not held back again
}

void TestScalarStream::measuredFieldPassesNoCutOff_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");

    QTest::newRow("1000 Hz, high-pass 1") << "direct" << 0 << 1;
    QTest::newRow("1000 Hz, low-pass 1") << "direct" << 1 << 0;
    QTest::newRow("20 Hz from the 1000 Hz framing, high-pass 1") << "20 Hz" << 0 << 1;
    QTest::newRow("notch road, high-pass 1") << "notch" << 0 << 1;
    QTest::newRow("one-second road") << "one second" << 0 << 1;
    QTest::newRow("no cut-off") << "direct" << 0 << 0;
}

// Whatever the cut-offs, the measured field is the batches a decoder without them
// shows: the same values, sizes and rates, none held back by a filter's lookahead.
void TestScalarStream::measuredFieldPassesNoCutOff()
{
    QFETCH(QString, road);
    QFETCH(int, lowPass);
    QFETCH(int, highPass);

    ScalarStreamDecoder cut;
    ScalarStreamDecoder plain;
    for (ScalarStreamDecoder* d : {&cut, &plain}) {
        if (road == "20 Hz")
            configure(*d, 20, false, 0.05);
        else
            configure(*d, 1000, false, road == "one second" ? 1.0 : 0.001);
        d->setOneHz(road == "one second");
        d->setFilterEnabled(road == "notch");
        d->setHandoutInterval(1);
    }
    setCutoffs(cut, lowPass, highPass);
    QSignalSpy measured(&cut, &ScalarStreamDecoder::sig_measuredField);
    QSignalSpy filtered(&cut, &ScalarStreamDecoder::sig_updateForm);
    QSignalSpy shown(&plain, &ScalarStreamDecoder::sig_updateForm);

    const QVector<quint32> samples = fieldStream(1000, 8000);
    for (int i = 0; i < samples.size(); i += 50) {
        const QByteArray frame = streamFrame(samples.mid(i, 50));
        cut.handleStreamFrame(frame);
        plain.handleStreamFrame(frame);
        QTRY_COMPARE_WITH_TIMEOUT(cut.pendingHandoutPieces(), 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(plain.pendingHandoutPieces(), 0, 10000);
    }

    const QList<Batch> field = batches(measured);
    const QList<Batch> expected = batches(shown);
    QVERIFY(expected.size() >= (road == "one second" ? 5 : 100));
    QCOMPARE(field.size(), expected.size());
    for (int i = 0; i < field.size(); ++i) {
        QCOMPARE(field[i].rate, expected[i].rate);
        QCOMPARE(field[i].values, expected[i].values);
    }
    // The cut-offs still act on what the pages show.
    const QVector<double> filteredValues = joined(batches(filtered));
    QVERIFY(!filteredValues.isEmpty());
    if (road != "one second" && (lowPass > 0 || highPass > 0))
        QVERIFY(filteredValues != joined(expected).mid(0, filteredValues.size()));
    if (highPass > 0 && road != "one second")
        QVERIFY2(std::abs(filteredValues.last()) < 100.0,
                 qPrintable(QString::number(filteredValues.last())));
}

MAG_TEST_MAIN_CORE(TestScalarStream)
#include "tst_scalarstream.moc"
