// What a fitted curve is: its peaks, each a Gaussian, on a baseline. The
// plot, the refinement, the report, the result file and peakfold-fit all
// evaluate a curve here, so none of them can disagree on what was fitted.
// Values are in the loaded spectrum's percent; SpectrumUnits turns them
// into the units of the file.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace peakfold {

// The same double bit for bit: a NaN equals itself, so copies of what a
// fit gave compare equal.
inline bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
template <size_t N>
bool sameBits(const std::array<double, N>& a, const std::array<double, N>& b) {
    for (size_t i = 0; i < N; ++i) {
        if (!sameBits(a[i], b[i])) return false;
    }
    return true;
}

// The shape of a peak of amplitude A, centre c and half width at half
// maximum b, with q = (x - c) / b:
//   Gaussian:     A exp(-k q^2)                      area A b sqrt(pi / k)
//   Lorentzian:   A / (1 + q^2)                      area A b pi
//   Pseudo-Voigt: A ((1 - eta) G + eta L), G and L the unit-height Gaussian
//                 and Lorentzian above, 0 <= eta <= 1;
//                 area A b ((1 - eta) sqrt(pi / k) + eta pi)
// Every shape has its maximum A at c and FWHM 2b.
enum class PeakShape : uint8_t { Gaussian, Lorentzian, PseudoVoigt };

struct Peak {
    double amplitude = 0;
    double centre = 0;
    double halfWidth = 0;
    PeakShape shape = PeakShape::Gaussian;
    double eta = 0;  // the pseudo-Voigt's Lorentzian share; 0 for the others
    bool operator==(const Peak& o) const {
        return sameBits(amplitude, o.amplitude) && sameBits(centre, o.centre) &&
               sameBits(halfWidth, o.halfWidth) && shape == o.shape && sameBits(eta, o.eta);
    }
};

double peakValue(const Peak& peak, double x);

// Derivatives of a peak's value by its amplitude, centre, half-width and
// (pseudo-Voigt only) eta.
struct PeakSlopes {
    double amplitude, centre, halfWidth, eta;
};
PeakSlopes peakSlopes(const Peak& peak, double x);

// What a peak's value and slopes at x are made of, for a half-width other
// than 0: q = (x - c) / b, the Gaussian's exp(-k q^2) and, but for a
// Gaussian, the Lorentzian's 1 / (1 + q^2). From them the two functions
// below give the doubles peakValue and peakSlopes give; the refinement
// takes them once for the value and the slopes at the same parameters.
struct ShapeTerms {
    double q = 0, e = 0, L = 0;
};
ShapeTerms shapeTerms(const Peak& peak, double x);
double peakValue(const Peak& peak, const ShapeTerms& t);
PeakSlopes peakSlopes(const Peak& peak, const ShapeTerms& t);

double peakFwhm(const Peak& peak);  // 2b
double peakArea(const Peak& peak);
// The area's derivatives by A, b and eta, for its error.
struct AreaSlopes {
    double amplitude, halfWidth, eta;
};
AreaSlopes areaSlopes(const Peak& peak);

std::string_view shapeName(PeakShape shape);  // "gaussian", "lorentzian", "pseudo-voigt"
std::optional<PeakShape> shapeNamed(std::string_view name);
constexpr double kStartEta = 0.5;  // where a refinement starts a pseudo-Voigt's eta

// The background under the peaks, over a fit range first..last, with
// t = (x - m) / h, m = (first + last) / 2 and h = (last - first) / 2, so t
// runs from -1 to 1 across the range and c0 is the height in its middle:
//   Constant, Linear, Quadratic: c0 + c1 t + c2 t^2 (the terms the kind has)
//   Exponential:                 level + c0 exp(-c1 t)
// level is not fitted: it is the file's zero in percent, so that in the
// file's own units the exponential decays to 0.
enum class BaselineKind { None, Constant, Linear, Quadratic, Exponential };
constexpr int kBaselineTerms = 3;
using BaselineTerms = std::array<double, kBaselineTerms>;

struct Baseline {
    BaselineKind kind = BaselineKind::None;
    // Whether the coefficients belong to the data: estimated by Calculate,
    // fitted by Refine or loaded. A baseline chosen but not yet estimated
    // is drawn and subtracted nowhere.
    bool set = false;
    int first = 0, last = 0;
    BaselineTerms c{};
    double level = 0;
    // Estimated from above, over dips: the search fits the peaks under it,
    // of negative amplitude.
    bool fromAbove = false;
    bool operator==(const Baseline&) const = default;
};

// How many coefficients the kind fits: 0 to 3.
int termCount(BaselineKind kind);
// Whether the baseline takes part in the curve: a kind other than None, set.
bool inUse(const Baseline& b);
// 0 when not in use and outside first..last, which it says nothing about.
double baselineValue(const Baseline& b, double x);
// Derivatives of the value by c0, c1 and c2; 0 for the terms the kind lacks.
BaselineTerms baselineSlopes(const Baseline& b, double x);
// Whether the segment w..w+1 of a total on the baseline runs beyond the
// baseline's range, where the total is not known.
inline bool segmentBeyond(const Baseline& b, int w) {
    return inUse(b) && (w < b.first || w >= b.last);
}
// The same curve with t taken over another range: exact for every kind.
Baseline overRange(const Baseline& b, int first, int last);

// The lower envelope of data (the values at first..last) in the form of the
// kind, so that it runs under the peaks rather than through them:
// - a polynomial is fitted by least squares, the points that lie higher
//   above it than the scatter of the points fitted are left out, and the
//   fit is repeated until the points counted stand (after Zhao et al.'s
//   improved modified polynomial): on noise-free data the true baseline,
//   on noisy data one in the lower part of the noise;
// - the exponential is drawn through the mean heights of the range's first
//   and last twentieths (at least three points each), where peaks rarely
//   sit; when either end lies at or below level, it is flat at their mean.
// With fromAbove the same from above, the upper envelope, for dips.
Baseline estimateBaseline(BaselineKind kind, const std::vector<double>& data, int first, int last,
                          double level, bool fromAbove = false);

// The straight line through the mean heights of the range's first and last
// twentieths (at least three points each) at x: a reference that sits
// under a peak and over a dip without knowing which it is.
double endsLineAt(const std::vector<double>& data, int first, int last, double x);

std::string_view baselineName(BaselineKind kind);  // "none", "constant", ...
std::optional<BaselineKind> baselineNamed(std::string_view name);

// The weights of a least-squares refinement: none, sigma^2 = the intensity
// in the file's own units (at least 1), or sigma from the spectrum file's
// third column.
enum class Weighting { None, Counts, Column };
std::string_view weightingName(Weighting weights);  // "none", "counts", "column"
std::optional<Weighting> weightingNamed(std::string_view name);

// How the loaded spectrum's percent maps onto the values of its file:
// file value = offset + scale * percent. A result file holds percent
// already, and so does nothing else than its rows: percent is then true.
struct SpectrumUnits {
    double offset = 0;
    double scale = 1;
    bool percent = true;
    bool operator==(const SpectrumUnits&) const = default;

    double inFile(double percentValue) const { return offset + scale * percentValue; }
    // The exponential baseline's level: the file's 0 in percent.
    double fileZero() const { return -offset / scale; }
};

}  // namespace peakfold
