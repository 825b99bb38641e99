#include "model/curve.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/equation.h"
#include "model/state.h"

namespace peakfold {

namespace {

const double kGaussianArea = std::sqrt(std::numbers::pi / kShape);  // of unit height and b
constexpr double kLorentzianArea = std::numbers::pi;

// The unit-height Lorentzian; a width of 0 gives its limit, as GaussianValue.
double lorentzian(double c, double b, double x) {
    if (b == 0) return x == c ? 1 : 0;
    const double q = (x - c) / b;
    return 1 / (1 + q * q);
}

// The area of unit height and half-width: the shape's factor.
double areaFactor(const Peak& p) {
    switch (p.shape) {
        case PeakShape::Gaussian:
            return kGaussianArea;
        case PeakShape::Lorentzian:
            return kLorentzianArea;
        case PeakShape::PseudoVoigt:
            return (1 - p.eta) * kGaussianArea + p.eta * kLorentzianArea;
    }
    return kGaussianArea;
}

}  // namespace

double peakValue(const Peak& peak, double x) {
    switch (peak.shape) {
        case PeakShape::Gaussian:
            break;
        case PeakShape::Lorentzian:
            return peak.amplitude * lorentzian(peak.centre, peak.halfWidth, x);
        case PeakShape::PseudoVoigt:
            return peak.amplitude *
                   ((1 - peak.eta) * GaussianValue(1, peak.centre, peak.halfWidth, x) +
                    peak.eta * lorentzian(peak.centre, peak.halfWidth, x));
    }
    return GaussianValue(peak.amplitude, peak.centre, peak.halfWidth, x);
}

PeakSlopes peakSlopes(const Peak& g, double x) {
    return peakSlopes(g, shapeTerms(g, x));
}

ShapeTerms shapeTerms(const Peak& g, double x) {
    ShapeTerms t;
    t.q = (x - g.centre) / g.halfWidth;
    t.e = std::exp(t.q * t.q * -kShape);
    if (g.shape != PeakShape::Gaussian) t.L = 1 / (1 + t.q * t.q);
    return t;
}

double peakValue(const Peak& g, const ShapeTerms& t) {
    switch (g.shape) {
        case PeakShape::Gaussian:
            break;
        case PeakShape::Lorentzian:
            return g.amplitude * t.L;
        case PeakShape::PseudoVoigt:
            return g.amplitude * ((1 - g.eta) * t.e + g.eta * t.L);
    }
    return g.amplitude * t.e;
}

PeakSlopes peakSlopes(const Peak& g, const ShapeTerms& t) {
    const double q = t.q, e = t.e;
    if (g.shape == PeakShape::Gaussian) {
        const double Ae = g.amplitude * e;
        return {e, Ae * 2 * kShape * q / g.halfWidth, Ae * 2 * kShape * q * q / g.halfWidth, 0};
    }
    // d/dq of the unit shapes: G' = -2 k q G, L' = -2 q L^2; dq/dc = -1/b,
    // dq/db = -q/b.
    const double L = t.L;
    const double eta = g.shape == PeakShape::Lorentzian ? 1 : g.eta;
    const double unit = (1 - eta) * e + eta * L;
    const double dUnit = (1 - eta) * (-2 * kShape * q * e) + eta * (-2 * q * L * L);
    const double A = g.amplitude;
    return {unit, -A * dUnit / g.halfWidth, -A * dUnit * q / g.halfWidth,
            g.shape == PeakShape::PseudoVoigt ? A * (L - e) : 0};
}

double peakFwhm(const Peak& peak) {
    return 2 * peak.halfWidth;
}

double peakArea(const Peak& peak) {
    if (peak.shape == PeakShape::Gaussian) {
        return peak.amplitude * peak.halfWidth * std::sqrt(std::numbers::pi / kShape);
    }
    return peak.amplitude * peak.halfWidth * areaFactor(peak);
}

AreaSlopes areaSlopes(const Peak& p) {
    const double f = areaFactor(p);
    return {p.halfWidth * f, p.amplitude * f,
            p.shape == PeakShape::PseudoVoigt
                ? p.amplitude * p.halfWidth * (kLorentzianArea - kGaussianArea)
                : 0};
}

std::string_view shapeName(PeakShape shape) {
    switch (shape) {
        case PeakShape::Gaussian:
            return "gaussian";
        case PeakShape::Lorentzian:
            return "lorentzian";
        case PeakShape::PseudoVoigt:
            return "pseudo-voigt";
    }
    return "gaussian";
}

std::optional<PeakShape> shapeNamed(std::string_view name) {
    for (const PeakShape shape :
         {PeakShape::Gaussian, PeakShape::Lorentzian, PeakShape::PseudoVoigt}) {
        if (name == shapeName(shape)) return shape;
    }
    return std::nullopt;
}

namespace {

// A range of one wavelength has no span; t is then x - m.
double halfSpan(int first, int last) {
    return last > first ? (last - first) / 2.0 : 1.0;
}
double middle(int first, int last) {
    return (first + last) / 2.0;
}

double tOf(const Baseline& b, double x) {
    return (x - middle(b.first, b.last)) / halfSpan(b.first, b.last);
}

}  // namespace

int termCount(BaselineKind kind) {
    switch (kind) {
        case BaselineKind::None:
            return 0;
        case BaselineKind::Constant:
            return 1;
        case BaselineKind::Linear:
            return 2;
        case BaselineKind::Quadratic:
            return 3;
        case BaselineKind::Exponential:
            return 2;
    }
    return 0;
}

bool inUse(const Baseline& b) {
    return b.kind != BaselineKind::None && b.set;
}

double baselineValue(const Baseline& b, double x) {
    // Known only where it was estimated or fitted: a polynomial or an
    // exponential carried beyond its range says nothing about the data.
    if (!inUse(b) || x < b.first || x > b.last) return 0;
    const double t = tOf(b, x);
    if (b.kind == BaselineKind::Exponential) return b.level + b.c[0] * std::exp(-b.c[1] * t);
    return b.c[0] + b.c[1] * t + b.c[2] * t * t;
}

BaselineTerms baselineSlopes(const Baseline& b, double x) {
    const double t = tOf(b, x);
    switch (b.kind) {
        case BaselineKind::None:
            return {0, 0, 0};
        case BaselineKind::Constant:
            return {1, 0, 0};
        case BaselineKind::Linear:
            return {1, t, 0};
        case BaselineKind::Quadratic:
            return {1, t, t * t};
        case BaselineKind::Exponential: {
            const double e = std::exp(-b.c[1] * t);
            return {e, -b.c[0] * t * e, 0};
        }
    }
    return {0, 0, 0};
}

Baseline overRange(const Baseline& b, int first, int last) {
    Baseline to = b;
    to.first = first;
    to.last = last;
    if (first == b.first && last == b.last) return to;
    // t = alpha + beta t' for t over the old range and t' over the new one.
    const double beta = halfSpan(first, last) / halfSpan(b.first, b.last);
    const double alpha =
        (middle(first, last) - middle(b.first, b.last)) / halfSpan(b.first, b.last);
    const BaselineTerms& c = b.c;
    if (b.kind == BaselineKind::Exponential) {
        to.c = {c[0] * std::exp(-c[1] * alpha), c[1] * beta, 0};
    } else {
        to.c = {c[0] + c[1] * alpha + c[2] * alpha * alpha, (c[1] + 2 * c[2] * alpha) * beta,
                c[2] * beta * beta};
    }
    return to;
}

namespace {

constexpr int kMostRounds = 200;
constexpr int kEndShare = 20;  // the exponential's ends: a twentieth of the range each
constexpr size_t kLeastEndPoints = 3;

// Least squares of the counted y on 1, t, t^2 (the first `terms` of them) by the normal
// equations, which are well conditioned with t within -1..1; Gaussian
// elimination with partial pivoting. Terms that the data cannot fix stay 0.
BaselineTerms polynomialFit(const std::vector<double>& t, const std::vector<double>& y,
                            const std::vector<bool>& counted, int terms) {
    double a[kBaselineTerms][kBaselineTerms + 1] = {};
    for (size_t i = 0; i < y.size(); ++i) {
        if (!counted[i]) continue;
        const double basis[kBaselineTerms] = {1, t[i], t[i] * t[i]};
        for (int r = 0; r < terms; ++r) {
            for (int k = 0; k < terms; ++k) a[r][k] += basis[r] * basis[k];
            a[r][terms] += basis[r] * y[i];
        }
    }
    for (int col = 0; col < terms; ++col) {
        int pivot = col;
        for (int r = col + 1; r < terms; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        }
        std::swap(a[col], a[pivot]);
        if (a[col][col] == 0) continue;
        for (int r = col + 1; r < terms; ++r) {
            const double f = a[r][col] / a[col][col];
            for (int k = col; k <= terms; ++k) a[r][k] -= f * a[col][k];
        }
    }
    BaselineTerms c{};
    for (int r = terms - 1; r >= 0; --r) {
        if (a[r][r] == 0) continue;
        double sum = a[r][terms];
        for (int k = r + 1; k < terms; ++k) sum -= a[r][k] * c[k];
        c[r] = sum / a[r][r];
    }
    return c;
}

double meanOf(const std::vector<double>& v, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += v[i];
    return sum / static_cast<double>(count);
}

// How many points each end of a range of n holds: a twentieth, at least
// three, at most half.
size_t endPoints(size_t n) {
    return std::min(std::max(n / kEndShare, kLeastEndPoints), (n + 1) / 2);
}

}  // namespace

double endsLineAt(const std::vector<double>& data, int first, int last, double x) {
    const size_t n = data.size();
    if (n == 0) return 0;
    const size_t end = endPoints(n);
    const double y1 = meanOf(data, 0, end), y2 = meanOf(data, n - end, end);
    const double x1 = first + (end - 1) / 2.0, x2 = last - (end - 1) / 2.0;
    return x2 > x1 ? y1 + (y2 - y1) * (x - x1) / (x2 - x1) : (y1 + y2) / 2;
}

Baseline estimateBaseline(BaselineKind kind, const std::vector<double>& data, int first, int last,
                          double level, bool fromAbove) {
    if (fromAbove) {
        // The lower envelope of the data turned upside down, turned back.
        std::vector<double> flipped(data.size());
        for (size_t i = 0; i < data.size(); ++i) flipped[i] = -data[i];
        Baseline b = estimateBaseline(kind, flipped, first, last, -level);
        if (kind == BaselineKind::Exponential) {
            b.c[0] = -b.c[0];
        } else {
            for (double& c : b.c) c = -c;
        }
        b.level = kind == BaselineKind::Exponential ? level : 0;
        b.fromAbove = true;
        return b;
    }
    Baseline b;
    b.kind = kind;
    b.first = first;
    b.last = last;
    b.level = kind == BaselineKind::Exponential ? level : 0;
    if (kind == BaselineKind::None || data.empty()) return b;
    b.set = true;
    std::vector<double> t(data.size());
    for (size_t i = 0; i < data.size(); ++i) t[i] = tOf(b, first + static_cast<double>(i));

    if (kind == BaselineKind::Exponential) {
        const size_t n = data.size();
        const size_t end = endPoints(n);
        const double v1 = meanOf(data, 0, end) - level, v2 = meanOf(data, n - end, end) - level;
        const double t1 = meanOf(t, 0, end), t2 = meanOf(t, n - end, end);
        if (v1 > 0 && v2 > 0 && t2 > t1) {
            b.c[1] = std::log(v1 / v2) / (t2 - t1);
            b.c[0] = v1 * std::exp(b.c[1] * t1);
        }
        // Ends too unlike for a double to hold the curve across the range:
        // flat at their mean instead.
        if (!std::isfinite(b.c[0] * std::exp(std::fabs(b.c[1]))) || b.c[1] == 0) {
            b.c = {(v1 + v2) / 2, 0, 0};
        }
        return b;
    }

    // Each round fits the points counted as background, then counts anew
    // those that lie no higher above the fit than the scatter of the
    // counted points about it: the peaks drop out round by round, noise
    // stays in. On noise-free data the scatter shrinks to nothing and the
    // fit becomes the true baseline.
    const int terms = termCount(kind);
    std::vector<bool> background(data.size(), true);
    for (int round = 0; round < kMostRounds; ++round) {
        b.c = polynomialFit(t, data, background, terms);
        std::vector<double> above(data.size());
        double squares = 0;
        size_t counted = 0;
        for (size_t i = 0; i < data.size(); ++i) {
            above[i] = data[i] - baselineValue(b, first + static_cast<double>(i));
            if (background[i]) {
                squares += above[i] * above[i];
                ++counted;
            }
        }
        const double scatter =
            counted > static_cast<size_t>(terms) ? std::sqrt(squares / (counted - terms)) : 0;
        std::vector<bool> next(data.size());
        size_t left = 0;
        for (size_t i = 0; i < data.size(); ++i) {
            next[i] = above[i] <= scatter;
            if (next[i]) ++left;
        }
        // Done when the count stands, or when too few points would be left
        // to fix every term.
        if (next == background || left <= static_cast<size_t>(terms)) break;
        background = std::move(next);
    }
    return b;
}

std::string_view baselineName(BaselineKind kind) {
    switch (kind) {
        case BaselineKind::None:
            return "none";
        case BaselineKind::Constant:
            return "constant";
        case BaselineKind::Linear:
            return "linear";
        case BaselineKind::Quadratic:
            return "quadratic";
        case BaselineKind::Exponential:
            return "exponential";
    }
    return "none";
}

std::optional<BaselineKind> baselineNamed(std::string_view name) {
    for (const BaselineKind kind :
         {BaselineKind::None, BaselineKind::Constant, BaselineKind::Linear, BaselineKind::Quadratic,
          BaselineKind::Exponential}) {
        if (name == baselineName(kind)) return kind;
    }
    return std::nullopt;
}

std::string_view weightingName(Weighting weights) {
    switch (weights) {
        case Weighting::None:
            return "none";
        case Weighting::Counts:
            return "counts";
        case Weighting::Column:
            return "column";
    }
    return "none";
}

std::optional<Weighting> weightingNamed(std::string_view name) {
    for (const Weighting weights : {Weighting::None, Weighting::Counts, Weighting::Column}) {
        if (name == weightingName(weights)) return weights;
    }
    return std::nullopt;
}

}  // namespace peakfold
