#pragma once
// Digital filters of the decoder: IIR notch and eighth-order Butterworth design, zero-phase
// (forward-backward) filtering of one biquad and of second-order sections.
//
// The class holds no state: every call is a pure function of its arguments, so one instance
// may be used from any single thread (the decoder's thread in the program) and calls are
// re-entrant.
//
// Typical use:
//   SignalFilter f;
//   std::vector<double> y = f.notchFilterBandwidthInt(x, 25, 10, 1000.0);
//   y = f.notchFilter(y, 50, 1000.0, 50.0);
//   QVector<double> v = f.sosfiltfilt(samples, f.butter(100, SignalFilter::LowPass, 1000));
//
// Unusable Butterworth designs (cut-off below 1 Hz, or a rate of 2 Hz or less) come back as
// an empty section list, and sosfiltfilt() returns its input unchanged for an empty list and
// for inputs shorter than 28 samples, so that step never throws. isButterUsable() tells the
// same in advance.
//
// Errors:
//   lfilter:    std::invalid_argument "b/a must be length-3 vectors",
//               std::invalid_argument "zi must be length-2 vector",
//               std::runtime_error    "a[0] cannot be zero"
//   lfilter_zi: std::runtime_error    "Linear system could not be solved."
// filtfilt and the notch filters pass these on, sosfilt_zi and sosfiltfilt the last one (a
// section with a pole at z = 1). The notch and Butterworth designs of this class, at the
// program's rates, trigger none of them.

#include <QString>
#include <QVector>

#include <complex>
#include <vector>

class SignalFilter
{
public:
    using Complex = std::complex<double>;
    // One row b0 b1 b2 a0 a1 a2 per section.
    using Sections = QVector<QVector<double>>;
    // Section state: one row (z0, z1) per section.
    using SectionState = QVector<QVector<double>>;

    enum ButterType
    {
        LowPass = 0,
        HighPass = 1
    };

    // Fixed odd-extension lengths of the zero-phase filters.
    static constexpr int kFiltfiltMinSamples = 10; // filtfilt: 9 samples or fewer pass through
    static constexpr int kSosPad = 27;             // sosfiltfilt pad length
    static constexpr int kSosMinSamples = kSosPad + 1;

    SignalFilter() = default;

    // ---- Filtering primitives ----

    // One biquad (direct form II transposed) with initial state zi; returns y only.
    std::vector<double> lfilter(const std::vector<double>& b, const std::vector<double>& a,
                                const std::vector<double>& x, const std::vector<double>& zi) const;
    // Steady-state initial state of the filter b/a (length max(len b, len a) - 1).
    QVector<double> lfilter_zi(const QVector<double>& b, const QVector<double>& a) const;
    // Gaussian elimination with partial pivoting, in place; false when a pivot is below 1e-12.
    // On success B holds the solution.
    bool solveLinearSystem(QVector<QVector<double>>& A, QVector<double>& B) const;

    // x[start:stop:step] with negative indices counted from the end. A zero step writes
    // "step cannot be zero" to the debug output and gives an empty vector.
    std::vector<double> axis_slice(const std::vector<double>& x, int start, int stop,
                                   int step) const;
    // x[start], x[start+step], ... up to (not including) stop; indices must lie inside x.
    QVector<double> sliceStep(const QVector<double>& x, int start, int stop, int step) const;

    // Odd extension by n samples at both ends (shorter tails when n > len(x) - 1).
    std::vector<double> odd_ext(const std::vector<double>& x, int n) const;
    // The same for the section path; x must hold at least n + 1 samples.
    QVector<double> odd_ext_sos(const QVector<double>& x, int n) const;

    // Zero-phase filtering by one biquad; 9 samples or fewer come back unchanged.
    std::vector<double> filtfilt(const std::vector<double>& x, const std::vector<double>& b,
                                 const std::vector<double>& a) const;

    // Runs every row of X through the sections, in place, with the state Zi[row] (in/out).
    // a0 is not read. Zi must hold one [sections][2] block per row.
    void sosfilt(const Sections& sos, QVector<QVector<double>>& X, QVector<SectionState>& Zi) const;
    // Steady-state initial state of the cascade (n_sections x 2).
    SectionState sosfilt_zi(const Sections& sos) const;
    SectionState scaleZi(const SectionState& zi, double x0) const;
    QVector<QVector<double>> toRowMatrix(const QVector<double>& x) const;
    QVector<double> firstRow(const QVector<QVector<double>>& m) const;

    // Zero-phase filtering by the sections with an odd extension of 27 samples. Inputs of
    // fewer than 28 samples, and an empty section list, come back unchanged.
    QVector<double> sosfiltfilt(const QVector<double>& x, const Sections& sos) const;

    // ---- Filter design ----

    // -3 dB notch at the normalised frequency w0 (1.0 = Nyquist) with quality Q.
    void iirnotch(double w0, double Q, std::vector<double>& b, std::vector<double>& a) const;
    void iirnotchFs(int f0, double Q, double fs, std::vector<double>& b,
                    std::vector<double>& a) const;
    // Design and apply a notch in one call (filtfilt of x).
    std::vector<double> notchFilter(const std::vector<double>& x, int f0, double fs,
                                    double Q) const;
    std::vector<double> notchFilterBandwidth(const std::vector<double>& x, double f0,
                                             double bandwidth, double fs) const;
    std::vector<double> notchFilterBandwidthInt(const std::vector<double>& x, int f0, int bandwidth,
                                                double fs) const;

    // True when butter(cutoff, *, fs) gives a stable, usable design.
    bool isButterUsable(int cutoff, int fs) const;
    // Eighth-order Butterworth as four sections; the cut-off is clamped to fs/2 - 1 Hz.
    // btype 0 low-pass, 1 high-pass. Empty when !isButterUsable(cutoff, fs).
    Sections butter(int cutoff, int btype, int fs) const;
    // Analog prototype poles of order N (no zeros, gain 1).
    QVector<Complex> buttap(int order) const;
    void lp2lp_zpk(QVector<double>& z, QVector<Complex>& p, double& k, double wo) const;
    void lp2hp_zpk(QVector<double>& z, QVector<Complex>& p, double& k, double wo) const;
    void bilinear_zpk(QVector<double>& z, QVector<Complex>& p, double& k, double fs) const;

    // ---- Second-order sections ----

    // Four sections from real zeros, complex poles and a gain (gain in section 0).
    Sections zpk2sos(const QVector<double>& z, const QVector<Complex>& p, double k) const;
    // One member (positive imaginary part) of each conjugate pair to zc, sorted by magnitude;
    // the real values (imaginary part exactly 0) to zr, ascending. Absolute tolerance tol.
    void cplxreal(const QVector<Complex>& z, QVector<Complex>& zc, QVector<double>& zr,
                  double tol) const;
    // Fills sos[n_sections-1] down to sos[0] by nearest pole-zero pairing; consumes p and z.
    void pairSections(QVector<Complex>& p, QVector<Complex>& z, int n_sections,
                      Sections& sos) const;
    int argminUnitCircleDistance(const QVector<Complex>& p) const;
    // kind: "any", "real" or "complex"; 0 when nothing qualifies.
    int nearestRealComplexIdx(const QVector<Complex>& values, Complex target,
                              const QString& kind) const;
    QVector<double> single_zpksos(const QVector<Complex>& z, const QVector<Complex>& p,
                                  double k) const;
    void zpk2tf(const QVector<Complex>& z, const QVector<Complex>& p, double k, QVector<double>& b,
                QVector<double>& a) const;
    QVector<Complex> toComplex(const QVector<double>& x) const;
};
