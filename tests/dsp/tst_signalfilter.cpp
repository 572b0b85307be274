// SignalFilter against numbers SciPy computed (tests/dsp/data/scipy_reference.json, written by
// scripts/scipy_reference.py), plus the short-input, unusable-design and error paths.

#include "dsp/SignalFilter.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <functional>
#include <stdexcept>

namespace {

using Complex = SignalFilter::Complex;
using Sections = SignalFilter::Sections;

const QJsonObject& reference()
{
    static const QJsonObject ref = [] {
        QFile f(QStringLiteral(MAG_SCIPY_REFERENCE));
        if (!f.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(f.readAll()).object();
    }();
    return ref;
}

QVector<double> toVector(const QJsonValue& v)
{
    QVector<double> out;
    for (const QJsonValue& e : v.toArray())
        out.append(e.toDouble());
    return out;
}

std::vector<double> toStd(const QVector<double>& v)
{
    return std::vector<double>(v.begin(), v.end());
}

QVector<double> toQ(const std::vector<double>& v)
{
    return QVector<double>(v.begin(), v.end());
}

Sections toSections(const QJsonValue& v)
{
    Sections out;
    for (const QJsonValue& row : v.toArray())
        out.append(toVector(row));
    return out;
}

double maxAbs(const QVector<double>& v)
{
    double m = 0.0;
    for (double x : v)
        m = std::max(m, std::abs(x));
    return m;
}

// Element-wise |got - want| <= tol * max(1, max|want|); the scale keeps the bound meaningful for
// signals far from unit size (the stream in mHz is about 3.5e8).
bool closeTo(const QVector<double>& got, const QVector<double>& want, double tol, QString* why)
{
    if (got.size() != want.size()) {
        *why = QStringLiteral("length %1, expected %2").arg(got.size()).arg(want.size());
        return false;
    }
    const double bound = tol * std::max(1.0, maxAbs(want));
    for (int i = 0; i < got.size(); ++i) {
        if (!(std::abs(got[i] - want[i]) <= bound)) {
            *why = QStringLiteral("index %1: %2, expected %3 (bound %4)")
                       .arg(i)
                       .arg(got[i], 0, 'g', 17)
                       .arg(want[i], 0, 'g', 17)
                       .arg(bound);
            return false;
        }
    }
    return true;
}

#define COMPARE_CLOSE(got, want, tol)                                                              \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!closeTo(got, want, tol, &why_))                                                       \
            QFAIL(qPrintable(why_));                                                               \
    } while (false)

// Stable when every section's poles lie strictly inside the unit circle.
bool isStable(const Sections& sos)
{
    for (const QVector<double>& s : sos) {
        const double a1 = s[4] / s[3];
        const double a2 = s[5] / s[3];
        if (!(std::abs(a2) < 1.0 && std::abs(a1) < 1.0 + a2))
            return false;
    }
    return true;
}

// Response of the cascade at z = exp(i*w).
double response(const Sections& sos, double w)
{
    const Complex zi = std::polar(1.0, -w);
    Complex h(1.0, 0.0);
    for (const QVector<double>& s : sos)
        h *= (s[0] + s[1] * zi + s[2] * zi * zi) / (s[3] + s[4] * zi + s[5] * zi * zi);
    return std::abs(h);
}

} // namespace

Q_DECLARE_METATYPE(SignalFilter::Complex)

class TstSignalFilter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void notchMatchesScipy_data();
    void notchMatchesScipy();
    void butterMatchesScipy_data();
    void butterMatchesScipy();
    void notchChainMatchesScipy();
    void shortestFilteredInputsMatchScipy();
    void sosfiltMatchesScipy_data();
    void sosfiltMatchesScipy();

    void filtfiltPassesShortInputs_data();
    void filtfiltPassesShortInputs();
    void sosfiltfiltPassesShortInputs_data();
    void sosfiltfiltPassesShortInputs();
    void unusableButterPassesThrough_data();
    void unusableButterPassesThrough();
    void usableButterIsStable_data();
    void usableButterIsStable();

    void lfilterErrors_data();
    void lfilterErrors();
    void lfilterNormalisesByA0();
    void lfilterZi_data();
    void lfilterZi();
    void solveLinearSystemPivots();
    void axisSlice_data();
    void axisSlice();
    void oddExtTails_data();
    void oddExtTails();

    void cplxrealPairs_data();
    void cplxrealPairs();
    void sectionHelpers();
    void notchBandwidthIntUsesExactQ();
};

void TstSignalFilter::initTestCase()
{
    QVERIFY2(!reference().isEmpty(), MAG_SCIPY_REFERENCE " missing or unreadable");
    QCOMPARE(reference().value("signal").toArray().size(), 100);
}

void TstSignalFilter::notchMatchesScipy_data()
{
    QTest::addColumn<QJsonObject>("design");
    for (const QJsonValue& v : reference().value("notch").toArray()) {
        const QJsonObject d = v.toObject();
        QTest::newRow(qPrintable(QStringLiteral("%1 Hz").arg(d.value("f0").toInt()))) << d;
    }
}

void TstSignalFilter::notchMatchesScipy()
{
    QFETCH(QJsonObject, design);
    const SignalFilter f;
    const int f0 = design.value("f0").toInt();
    const double fs = 1000.0;

    std::vector<double> b, a;
    f.iirnotch(design.value("w0").toDouble(), design.value("q").toDouble(), b, a);
    COMPARE_CLOSE(toQ(b), toVector(design.value("b")), 1e-12);
    COMPARE_CLOSE(toQ(a), toVector(design.value("a")), 1e-12);

    // Through the same entry points as the decoder's chain.
    const std::vector<double> x = toStd(toVector(reference().value("signal")));
    const std::vector<double> y = design.value("kind").toString() == "bandwidth"
                                      ? f.notchFilterBandwidthInt(x, f0, 10, fs)
                                      : f.notchFilter(x, f0, fs, design.value("q").toDouble());
    COMPARE_CLOSE(toQ(y), toVector(design.value("filtfilt")), 1e-12);
}

void TstSignalFilter::butterMatchesScipy_data()
{
    QTest::addColumn<QJsonObject>("design");
    for (const QJsonValue& v : reference().value("butter").toArray()) {
        const QJsonObject d = v.toObject();
        QTest::newRow(qPrintable(QStringLiteral("%1 %2 Hz at %3 Hz")
                                     .arg(d.value("btype").toInt() == 0 ? "low" : "high")
                                     .arg(d.value("cutoff").toInt())
                                     .arg(d.value("fs").toInt())))
            << d;
    }
}

void TstSignalFilter::butterMatchesScipy()
{
    QFETCH(QJsonObject, design);
    const SignalFilter f;
    const int fs = design.value("fs").toInt();
    const Sections sos =
        f.butter(design.value("cutoff").toInt(), design.value("btype").toInt(), fs);
    const Sections want = toSections(design.value("sos"));
    QCOMPARE(sos.size(), 4);
    QCOMPARE(want.size(), 4);
    for (int s = 0; s < 4; ++s) {
        QCOMPARE(sos[s].size(), 6);
        // Section 0 carries the overall gain, which can be as small as 1e-20: compare it
        // relatively; every other coefficient is of order 1.
        const QVector<double> gotB = sos[s].mid(0, 3);
        const QVector<double> wantB = want[s].mid(0, 3);
        if (s == 0) {
            const double scale = maxAbs(wantB);
            for (int i = 0; i < 3; ++i)
                QVERIFY2(std::abs(gotB[i] - wantB[i]) <= 1e-10 * scale,
                         qPrintable(QStringLiteral("gain term %1: %2 vs %3")
                                        .arg(i)
                                        .arg(gotB[i], 0, 'g', 17)
                                        .arg(wantB[i], 0, 'g', 17)));
        } else {
            COMPARE_CLOSE(gotB, wantB, 1e-12);
        }
        COMPARE_CLOSE(sos[s].mid(3, 3), want[s].mid(3, 3), 1e-12);
    }

    const QVector<double> x = toVector(reference().value("signal"));
    COMPARE_CLOSE(f.sosfiltfilt(x, sos), toVector(design.value("sosfiltfilt")), 1e-12);

    // Unit gain in the pass band: at zero frequency for a low-pass, at Nyquist for a high-pass.
    const bool low = design.value("btype").toInt() == 0;
    QVERIFY(std::abs(response(sos, low ? 0.0 : M_PI) - 1.0) < 1e-9);
}

void TstSignalFilter::notchChainMatchesScipy()
{
    const QJsonObject chain = reference().value("chain").toObject();
    const std::vector<double> x = toStd(toVector(chain.value("input")));
    QCOMPARE(x.size(), size_t(1600));
    const SignalFilter f;
    std::vector<double> y = f.notchFilterBandwidthInt(x, 25, 10, 1000.0);
    for (int f0 : {50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425})
        y = f.notchFilter(y, f0, 1000.0, 50.0);
    COMPARE_CLOSE(toQ(y), toVector(chain.value("output")), 1e-12);
}

void TstSignalFilter::shortestFilteredInputsMatchScipy()
{
    const QJsonObject bnd = reference().value("boundary").toObject();
    const QJsonObject notch50 = reference().value("notch").toArray().at(1).toObject();
    QCOMPARE(notch50.value("f0").toInt(), 50);
    const QVector<double> x = toVector(reference().value("signal"));
    const SignalFilter f;

    const std::vector<double> y10 = f.notchFilter(toStd(x.mid(0, 10)), 50, 1000.0, 50.0);
    COMPARE_CLOSE(toQ(y10), toVector(bnd.value("filtfilt10")), 1e-12);

    const Sections sos = f.butter(bnd.value("sos_cutoff").toInt(), bnd.value("sos_btype").toInt(),
                                  bnd.value("sos_fs").toInt());
    COMPARE_CLOSE(f.sosfiltfilt(x.mid(0, 28), sos), toVector(bnd.value("sosfiltfilt28")), 1e-12);
}

void TstSignalFilter::sosfiltMatchesScipy_data()
{
    // Causal: the first n outputs of the reference are those of the first n inputs. The short
    // lengths cover the start and the end of the section pipeline.
    QTest::addColumn<int>("length");
    for (int n : {1, 3, 4, 5, 6, 7, 100})
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TstSignalFilter::sosfiltMatchesScipy()
{
    QFETCH(int, length);
    const QJsonObject bnd = reference().value("boundary").toObject();
    const SignalFilter f;
    const Sections sos = f.butter(bnd.value("sos_cutoff").toInt(), bnd.value("sos_btype").toInt(),
                                  bnd.value("sos_fs").toInt());
    const SignalFilter::SectionState zi = f.sosfilt_zi(sos);
    const Sections wantZi = toSections(bnd.value("sosfilt_zi"));
    QCOMPARE(zi.size(), wantZi.size());
    for (int s = 0; s < zi.size(); ++s)
        COMPARE_CLOSE(zi[s], wantZi[s], 1e-12);

    const QVector<double> x = toVector(reference().value("signal"));
    QVector<QVector<double>> m = f.toRowMatrix(x.mid(0, length));
    QVector<SignalFilter::SectionState> state{f.scaleZi(zi, x.first())};
    f.sosfilt(sos, m, state);
    COMPARE_CLOSE(f.firstRow(m), toVector(bnd.value("sosfilt")).mid(0, length), 1e-12);
    QCOMPARE(state.first().size(), 4);
}

void TstSignalFilter::filtfiltPassesShortInputs_data()
{
    QTest::addColumn<int>("length");
    for (int n : {0, 1, 2, 9})
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TstSignalFilter::filtfiltPassesShortInputs()
{
    QFETCH(int, length);
    const SignalFilter f;
    std::vector<double> x(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        x[static_cast<size_t>(i)] = std::sin(0.7 * i) + i;
    QCOMPARE(f.notchFilter(x, 50, 1000.0, 50.0), x);
    QCOMPARE(f.notchFilterBandwidthInt(x, 25, 10, 1000.0), x);
}

void TstSignalFilter::sosfiltfiltPassesShortInputs_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("filtered");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << false;
    QTest::newRow("27") << 27 << false;
    QTest::newRow("28") << 28 << true;
    QTest::newRow("29") << 29 << true;
}

void TstSignalFilter::sosfiltfiltPassesShortInputs()
{
    QFETCH(int, length);
    QFETCH(bool, filtered);
    const SignalFilter f;
    QVector<double> x(length);
    for (int i = 0; i < length; ++i)
        x[i] = (i % 2 ? 1.0 : -1.0) + 0.1 * i; // strong Nyquist content
    const QVector<double> y = f.sosfiltfilt(x, f.butter(10, SignalFilter::LowPass, 1000));
    QCOMPARE(y.size(), length);
    if (filtered)
        QVERIFY(y != x);
    else
        QCOMPARE(y, x);
}

void TstSignalFilter::unusableButterPassesThrough_data()
{
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("btype");
    QTest::addColumn<int>("fs");
    QTest::newRow("cut-off 0 low") << 0 << 0 << 1000;
    QTest::newRow("cut-off 0 high") << 0 << 1 << 1000;
    QTest::newRow("negative cut-off") << -5 << 1 << 20;
    QTest::newRow("rate 2") << 1 << 0 << 2;
    QTest::newRow("rate 1") << 1 << 1 << 1;
    QTest::newRow("rate 0") << 10 << 0 << 0;
    QTest::newRow("negative rate") << 10 << 1 << -1000;
}

void TstSignalFilter::unusableButterPassesThrough()
{
    QFETCH(int, cutoff);
    QFETCH(int, btype);
    QFETCH(int, fs);
    const SignalFilter f;
    QVERIFY(!f.isButterUsable(cutoff, fs));
    const Sections sos = f.butter(cutoff, btype, fs);
    QVERIFY(sos.isEmpty());
    QVector<double> x(200);
    for (int i = 0; i < x.size(); ++i)
        x[i] = std::cos(0.05 * i);
    QCOMPARE(f.sosfiltfilt(x, sos), x);
}

void TstSignalFilter::usableButterIsStable_data()
{
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("btype");
    QTest::addColumn<int>("fs");
    QTest::newRow("1 Hz low at 3 Hz") << 1 << 0 << 3;
    QTest::newRow("1 Hz high at 3 Hz") << 1 << 1 << 3;
    QTest::newRow("1 Hz high at 1000 Hz") << 1 << 1 << 1000;
    QTest::newRow("clamped 499 Hz low at 1000 Hz") << 5000 << 0 << 1000;
    QTest::newRow("clamped 9 Hz high at 20 Hz") << 15 << 1 << 20;
}

void TstSignalFilter::usableButterIsStable()
{
    QFETCH(int, cutoff);
    QFETCH(int, btype);
    QFETCH(int, fs);
    const SignalFilter f;
    QVERIFY(f.isButterUsable(cutoff, fs));
    const Sections sos = f.butter(cutoff, btype, fs);
    QCOMPARE(sos.size(), 4);
    QVERIFY(isStable(sos));
    // Zeros at -1 (low-pass) or +1 (high-pass) in every section.
    const double s1 = btype == 0 ? 2.0 : -2.0;
    for (const QVector<double>& s : sos) {
        QCOMPARE(s[3], 1.0);
        QVERIFY(std::abs(s[1] - s1 * s[0]) <= 1e-12 * std::abs(s[0]));
        QVERIFY(std::abs(s[2] - s[0]) <= 1e-12 * std::abs(s[0]));
    }
}

void TstSignalFilter::lfilterErrors_data()
{
    QTest::addColumn<QVector<double>>("b");
    QTest::addColumn<QVector<double>>("a");
    QTest::addColumn<QVector<double>>("zi");
    QTest::addColumn<bool>("invalidArgument");
    QTest::addColumn<QString>("message");
    const QString lengths = "b/a must be length-3 vectors";
    QTest::newRow("two-term a, three-term zi") << QVector<double>{1, 0, 0} << QVector<double>{1, 0}
                                               << QVector<double>{0, 0, 0} << true << lengths;
    QTest::newRow("four-term b") << QVector<double>{1, 0, 0, 0} << QVector<double>{1, 0, 0}
                                 << QVector<double>{0, 0} << true << lengths;
    QTest::newRow("zero a0, one-term zi")
        << QVector<double>{1, 0, 0} << QVector<double>{0, 0, 0} << QVector<double>{0} << true
        << QString("zi must be length-2 vector");
    QTest::newRow("zero a0") << QVector<double>{1, 0, 0} << QVector<double>{0, 1, 0}
                             << QVector<double>{0, 0} << false << QString("a[0] cannot be zero");
}

void TstSignalFilter::lfilterErrors()
{
    QFETCH(QVector<double>, b);
    QFETCH(QVector<double>, a);
    QFETCH(QVector<double>, zi);
    QFETCH(bool, invalidArgument);
    QFETCH(QString, message);
    const SignalFilter f;
    const std::vector<double> x{1, 2, 3};
    QString what;
    bool wasInvalidArgument = false;
    try {
        f.lfilter(toStd(b), toStd(a), x, toStd(zi));
    } catch (const std::invalid_argument& e) {
        what = e.what();
        wasInvalidArgument = true;
    } catch (const std::runtime_error& e) {
        what = e.what();
    }
    QCOMPARE(what, message);
    QCOMPARE(wasInvalidArgument, invalidArgument);
}

void TstSignalFilter::lfilterNormalisesByA0()
{
    const SignalFilter f;
    const std::vector<double> x{1.5, -2.0, 3.25, 0.0, 7.0};
    QCOMPARE(f.lfilter({2, 0, 0}, {2, 0, 0}, x, {0, 0}), x);
    // y[n] = x[n] + 0.5 y[n-1] after dividing by a0 = 2, starting from the state 1.
    const std::vector<double> y = f.lfilter({2, 0, 0}, {2, -1, 0}, {1, 0, 0}, {1, 0});
    QCOMPARE(y, (std::vector<double>{2.0, 1.0, 0.5}));
    QVERIFY(f.lfilter({1, 0, 0}, {1, 0, 0}, {}, {0, 0}).empty());
}

void TstSignalFilter::lfilterZi_data()
{
    QTest::addColumn<QVector<double>>("b");
    QTest::addColumn<QVector<double>>("a");
    QTest::addColumn<QVector<double>>("zi");
    QTest::newRow("identity") << QVector<double>{1, 0, 0} << QVector<double>{1, 0, 0}
                              << QVector<double>{0, 0};
    // By hand: zi0 = (b1 - a1*b0) / (1 + a1) = 1.5 / 0.5.
    QTest::newRow("first order") << QVector<double>{1, 1, 0} << QVector<double>{1, -0.5, 0}
                                 << QVector<double>{3, 0};
    // Leading zero of a dropped, then normalised by a0 = 2: same as (0.5, 0.5) / (1, -0.25).
    QTest::newRow("leading zero in a") << QVector<double>{1, 1} << QVector<double>{0, 2, -0.5}
                                       << QVector<double>{(0.5 + 0.25 * 0.5) / 0.75, 0.0};
    QTest::newRow("one term") << QVector<double>{2} << QVector<double>{1} << QVector<double>{};
}

void TstSignalFilter::lfilterZi()
{
    QFETCH(QVector<double>, b);
    QFETCH(QVector<double>, a);
    QFETCH(QVector<double>, zi);
    COMPARE_CLOSE(SignalFilter().lfilter_zi(b, a), zi, 1e-15);
}

void TstSignalFilter::solveLinearSystemPivots()
{
    const SignalFilter f;
    // A zero in the first pivot position forces a row swap; solution (1, -2, 3).
    QVector<QVector<double>> A{{0, 2, 1}, {1, 1, 1}, {2, 0, -1}};
    QVector<double> B{-1, 2, -1};
    QVERIFY(f.solveLinearSystem(A, B));
    COMPARE_CLOSE(B, (QVector<double>{1, -2, 3}), 1e-14);

    // Best pivot of the second column below 1e-12.
    QVector<QVector<double>> S{{1, 1}, {1, 1 + 1e-13}};
    QVector<double> SB{1, 1};
    QVERIFY(!f.solveLinearSystem(S, SB));

    // A double pole at z = 1 makes the steady-state system singular.
    QString what;
    try {
        f.lfilter_zi({1, 0, 0}, {1, -2, 1});
    } catch (const std::runtime_error& e) {
        what = e.what();
    }
    QCOMPARE(what, QStringLiteral("Linear system could not be solved."));
}

void TstSignalFilter::axisSlice_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("step");
    QTest::addColumn<QVector<double>>("want");
    QVector<double> mid;
    for (int i = 9; i <= 20; ++i)
        mid.append(i);
    QTest::newRow("9:-9:1") << 9 << -9 << 1 << mid;
    QTest::newRow("5:0:-1") << 5 << 0 << -1 << QVector<double>{5, 4, 3, 2, 1};
    QTest::newRow("-2:-5:-1") << -2 << -5 << -1 << QVector<double>{28, 27, 26};
    QTest::newRow("stop past end") << 27 << 100 << 2 << QVector<double>{27, 29};
    QTest::newRow("zero step") << 0 << 30 << 0 << QVector<double>{};
}

void TstSignalFilter::axisSlice()
{
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, step);
    QFETCH(QVector<double>, want);
    std::vector<double> x(30);
    for (int i = 0; i < 30; ++i)
        x[static_cast<size_t>(i)] = i;
    if (step == 0)
        QTest::ignoreMessage(QtDebugMsg, "step cannot be zero");
    QCOMPARE(toQ(SignalFilter().axis_slice(x, start, stop, step)), want);
}

void TstSignalFilter::oddExtTails_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<int>("n");
    QTest::addColumn<QVector<double>>("want");
    QTest::newRow("n 2") << QVector<double>{1, 2, 4, 8} << 2
                         << QVector<double>{-2, 0, 1, 2, 4, 8, 12, 14};
    // n beyond len - 1 gives shorter tails instead of reading outside x.
    QTest::newRow("n too large") << QVector<double>{1, 3} << 5 << QVector<double>{-1, 1, 3, 5};
    QTest::newRow("n 0") << QVector<double>{1, 3} << 0 << QVector<double>{1, 3};
    QTest::newRow("empty") << QVector<double>{} << 3 << QVector<double>{};
}

void TstSignalFilter::oddExtTails()
{
    QFETCH(QVector<double>, x);
    QFETCH(int, n);
    QFETCH(QVector<double>, want);
    const SignalFilter f;
    QCOMPARE(toQ(f.odd_ext(toStd(x), n)), want);
    if (x.size() >= n + 1)
        QCOMPARE(f.odd_ext_sos(x, n), want);
}

void TstSignalFilter::cplxrealPairs_data()
{
    QTest::addColumn<QVector<Complex>>("z");
    QTest::addColumn<QVector<Complex>>("zc");
    QTest::addColumn<QVector<double>>("zr");
    QTest::newRow("mixed") << QVector<Complex>{{1, 2}, {3, 0}, {1, -2}, {-1, 0}}
                           << QVector<Complex>{{1, 2}} << QVector<double>{-1, 3};
    QTest::newRow("within tolerance") << QVector<Complex>{{1, -2}, {1, 2 + 0.5e-9}}
                                      << QVector<Complex>{{1, 2 + 0.5e-9}} << QVector<double>{};
    QTest::newRow("outside tolerance")
        << QVector<Complex>{{1, 2}, {1, -2 + 2e-9}} << QVector<Complex>{{1, -2 + 2e-9}, {1, 2}}
        << QVector<double>{};
    QTest::newRow("sorted by magnitude")
        << QVector<Complex>{{0, 3}, {0.5, 0.5}, {0, -3}, {0.5, -0.5}}
        << QVector<Complex>{{0.5, 0.5}, {0, 3}} << QVector<double>{};
}

void TstSignalFilter::cplxrealPairs()
{
    QFETCH(QVector<Complex>, z);
    QFETCH(QVector<Complex>, zc);
    QFETCH(QVector<double>, zr);
    QVector<Complex> gotC;
    QVector<double> gotR;
    SignalFilter().cplxreal(z, gotC, gotR, 1e-9);
    QCOMPARE(gotC, zc);
    QCOMPARE(gotR, zr);
}

void TstSignalFilter::sectionHelpers()
{
    const SignalFilter f;
    QCOMPARE(f.nearestRealComplexIdx({-1, -1, -1}, Complex(0.3, 0.4), "any"), 0);
    QCOMPARE(f.nearestRealComplexIdx({{0, 1}, -2, {0.5, 0.5}}, Complex(0.4, 0.4), "real"), 1);
    QCOMPARE(f.nearestRealComplexIdx({-2, -1}, Complex(0, 0), "complex"), 0);
    QCOMPARE(f.argminUnitCircleDistance({{0.5, 0}, {0, 0.9}, {-0.9, 0}}), 1);

    const Complex p1(0.5, 0.25);
    const QVector<double> one = f.single_zpksos({-0.75}, {p1, std::conj(p1)}, 1.0);
    COMPARE_CLOSE(one, (QVector<double>{0, 1, 0.75, 1, -1.0, 0.3125}), 1e-15);

    // A lone real pole pairs with the origin rather than reading past the pole list.
    const Sections sos = f.zpk2sos({-1, -1}, {{0.5, 0}}, 2.0);
    QCOMPARE(sos.size(), 4);
    COMPARE_CLOSE(sos[3], (QVector<double>{1, 2, 1, 1, -0.5, 0}), 1e-15);
    // With neither poles nor zeros left a section passes its input unchanged (times the gain).
    COMPARE_CLOSE(sos[0], (QVector<double>{2, 0, 0, 1, 0, 0}), 1e-15);
    COMPARE_CLOSE(sos[1], (QVector<double>{1, 0, 0, 1, 0, 0}), 1e-15);
}

void TstSignalFilter::notchBandwidthIntUsesExactQ()
{
    const SignalFilter f;
    std::vector<double> x(64);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = std::sin(0.3 * static_cast<double>(i)) + 0.01 * static_cast<double>(i * i);
    const std::vector<double> exact = f.notchFilter(x, 50, 1000.0, 50.0 / 3.0);
    const std::vector<double> truncated = f.notchFilter(x, 50, 1000.0, 16.0);
    const std::vector<double> y = f.notchFilterBandwidthInt(x, 50, 3, 1000.0);
    QCOMPARE(y, exact);
    QVERIFY(y != truncated);
}

MAG_TEST_MAIN_CORE(TstSignalFilter)
#include "tst_signalfilter.moc"
