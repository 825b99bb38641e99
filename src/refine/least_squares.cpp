// The least-squares refinement: the one place that talks to GSL. Our peaks
// go in as GSL vectors and come back as plain values with errors.
#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "model/equation.h"
#include "refine/refine.h"

namespace peakfold {

namespace {

// MINPACK's tolerances, as lmfit sets them: the fit ends when a step moves
// no parameter by more than sqrt(eps) of its size, or lowers the sum of
// squares by no more than sqrt(eps) of it; the gradient test is left to a
// zero gradient.
constexpr double kXTol = 1.4901161193847656e-08;
constexpr double kGTol = 0;
constexpr double kFTol = 1.4901161193847656e-08;
constexpr int kMaxIterations = 200;
constexpr double kLowestHalfWidth = 0.5;  // nm
// The listed equations a refinement takes: the nine slots at the most.
constexpr size_t kMostPeaks = 9;
// A start on or past a bound moves this fraction of the span inside it: on
// the bound itself the transform's slope is 0 and the parameter could never
// leave it.
constexpr double kInsideStart = 1e-4;
// A value this close to a bound, as a fraction of the span, ends on it.
constexpr double kAtBound = 1e-6;

// A parameter kept within lo..hi by x = lo + (hi - lo)(sin u + 1)/2, so the
// optimiser works on an unbounded u.
struct Bounded {
    double lo, hi;
    double value(double u) const { return lo + (hi - lo) * (std::sin(u) + 1) / 2; }
    double slope(double u) const { return (hi - lo) * std::cos(u) / 2; }
    double internal(double x) const {
        const double inside = kInsideStart * (hi - lo);
        x = std::clamp(x, lo + inside, hi - inside);
        return std::asin(std::clamp(2 * (x - lo) / (hi - lo) - 1, -1.0, 1.0));
    }
    bool holds(double x) const {
        const double near = kAtBound * (hi - lo);
        return x - lo <= near || hi - x <= near;
    }
};

// Each peak's shape terms at each wavelength of the range. GSL asks for the
// Jacobian at the parameters whose residuals it has just taken, so each
// exponential is taken once for both. Half-widths are at least 0.5 here,
// so the terms serve for every value.
struct PeakTerms {
    size_t points = 0;
    std::vector<double> at;         // the parameters they were taken at; empty: none
    std::vector<ShapeTerms> terms;  // of peak p at point i: [p * points + i]
};

// Parameters at[p], at[p]+1, at[p]+2 are amplitude, centre and half-width
// of peak p, and at[p]+3 a pseudo-Voigt's eta; the baseline's coefficients
// follow the peaks. With Gaussians alone, peak p starts at 3p.
struct Problem {
    const WaveArray* spectrum;
    int first, last;
    size_t peaks;
    Bounded centre, halfWidth;
    Baseline baseline;  // its kind, range and level; coefficients from u
    size_t terms;       // the baseline's fitted coefficients
    // 1 / sigma of each wavelength first..last, taken once; empty: unweighted.
    std::vector<double> weight{};
    std::array<PeakShape, kMostPeaks> shapes{};
    std::array<size_t, kMostPeaks + 1> at{};  // at[peaks]: the baseline's first
    Bounded eta{0, 1};
    PeakTerms cache{};

    void place(const std::vector<PeakEstimate>& start) {
        for (size_t p = 0; p < peaks; ++p) {
            shapes[p] = start[p].value.shape;
            at[p + 1] = at[p] + (shapes[p] == PeakShape::PseudoVoigt ? 4 : 3);
        }
        cache.points = static_cast<size_t>(last - first + 1);
        cache.terms.resize(peaks * cache.points);
    }
    size_t parameters() const { return at[peaks] + terms; }
    bool hasEta(size_t p) const { return shapes[p] == PeakShape::PseudoVoigt; }
    bool weighted() const { return !weight.empty(); }

    Peak peak(const gsl_vector* u, size_t p) const {
        Peak g{gsl_vector_get(u, at[p]), centre.value(gsl_vector_get(u, at[p] + 1)),
               halfWidth.value(gsl_vector_get(u, at[p] + 2))};
        g.shape = shapes[p];
        if (hasEta(p)) g.eta = eta.value(gsl_vector_get(u, at[p] + 3));
        return g;
    }
    Baseline baselineAt(const gsl_vector* u) const {
        Baseline b = baseline;
        for (size_t j = 0; j < terms; ++j) b.c[j] = gsl_vector_get(u, at[peaks] + j);
        return b;
    }

    // The peaks' terms for the bounded values g.
    void take(const Peak* g) {
        const size_t n = cache.points;
        for (size_t p = 0; p < peaks; ++p) {
            ShapeTerms* terms = &cache.terms[p * n];
            for (size_t i = 0; i < n; ++i) {
                terms[i] = shapeTerms(g[p], first + static_cast<int>(i));
            }
        }
    }
    // The same for the optimiser's parameters u, unless taken there last.
    void takeAt(const gsl_vector* u, const Peak* g) {
        const size_t P = parameters();
        bool same = cache.at.size() == P;
        for (size_t j = 0; same && j < P; ++j) same = sameBits(cache.at[j], gsl_vector_get(u, j));
        if (same) return;
        take(g);
        cache.at.resize(P);
        for (size_t j = 0; j < P; ++j) cache.at[j] = gsl_vector_get(u, j);
    }

    // peakValue and peakSlopes of peak p at point i.
    double value(const Peak& g, size_t p, size_t i) const {
        return peakValue(g, cache.terms[p * cache.points + i]);
    }
    PeakSlopes slopes(const Peak& g, size_t p, size_t i) const {
        return peakSlopes(g, cache.terms[p * cache.points + i]);
    }
};

int residuals(const gsl_vector* u, void* params, gsl_vector* f) {
    Problem& pr = *static_cast<Problem*>(params);
    // The bounded values once per call, not once per wavelength.
    std::array<Peak, kMostPeaks> g;
    for (size_t p = 0; p < pr.peaks; ++p) g[p] = pr.peak(u, p);
    pr.takeAt(u, g.data());
    const Baseline b = pr.baselineAt(u);
    for (int w = pr.first; w <= pr.last; ++w) {
        const size_t i = static_cast<size_t>(w - pr.first);
        double model = 0;
        for (size_t p = 0; p < pr.peaks; ++p) model += pr.value(g[p], p, i);
        if (pr.terms > 0) model += baselineValue(b, w);
        double r = model - (*pr.spectrum)[w];
        if (pr.weighted()) r *= pr.weight[i];
        f->data[i * f->stride] = r;
    }
    return GSL_SUCCESS;
}

// The Jacobian in the bounded values g, weighted, from the peaks' terms
// taken for g: the slopes by each peak's amplitude, centre and half-width,
// then by the baseline's coefficients. centreSlope and halfWidthSlope turn
// them into the optimiser's unbounded parameters (1 for the values
// themselves).
void fillJacobian(const Problem& pr, const Peak* g, const Baseline& b, const double* centreSlope,
                  const double* halfWidthSlope, const double* etaSlope, gsl_matrix* J) {
    for (int w = pr.first; w <= pr.last; ++w) {
        const size_t i = static_cast<size_t>(w - pr.first);
        double* row = J->data + i * J->tda;
        const double weight = pr.weighted() ? pr.weight[i] : 1;
        for (size_t p = 0; p < pr.peaks; ++p) {
            const PeakSlopes d = pr.slopes(g[p], p, i);
            const size_t a = pr.at[p];
            if (pr.weighted()) {
                row[a] = d.amplitude * weight;
                row[a + 1] = d.centre * centreSlope[p] * weight;
                row[a + 2] = d.halfWidth * halfWidthSlope[p] * weight;
            } else {
                row[a] = d.amplitude;
                row[a + 1] = d.centre * centreSlope[p];
                row[a + 2] = d.halfWidth * halfWidthSlope[p];
            }
            if (pr.hasEta(p)) row[a + 3] = d.eta * etaSlope[p] * weight;
        }
        if (pr.terms == 0) continue;
        const BaselineTerms slopes = baselineSlopes(b, w);
        for (size_t j = 0; j < pr.terms; ++j) row[pr.at[pr.peaks] + j] = slopes[j] * weight;
    }
}

// The Jacobian in the optimiser's unbounded parameters: the slopes by the
// bounded values times the transform's slope.
int jacobian(const gsl_vector* u, void* params, gsl_matrix* J) {
    Problem& pr = *static_cast<Problem*>(params);
    std::array<Peak, kMostPeaks> g;
    std::array<double, kMostPeaks> centreSlope, halfWidthSlope, etaSlope{};
    for (size_t p = 0; p < pr.peaks; ++p) {
        g[p] = pr.peak(u, p);
        centreSlope[p] = pr.centre.slope(gsl_vector_get(u, pr.at[p] + 1));
        halfWidthSlope[p] = pr.halfWidth.slope(gsl_vector_get(u, pr.at[p] + 2));
        if (pr.hasEta(p)) etaSlope[p] = pr.eta.slope(gsl_vector_get(u, pr.at[p] + 3));
    }
    pr.takeAt(u, g.data());
    fillJacobian(pr, g.data(), pr.baselineAt(u), centreSlope.data(), halfWidthSlope.data(),
                 etaSlope.data(), J);
    return GSL_SUCCESS;
}

struct GslFree {
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
    void operator()(gsl_multifit_nlinear_workspace* w) const { gsl_multifit_nlinear_free(w); }
};
using Vector = std::unique_ptr<gsl_vector, GslFree>;
using Matrix = std::unique_ptr<gsl_matrix, GslFree>;
using Workspace = std::unique_ptr<gsl_multifit_nlinear_workspace, GslFree>;

double sumOfSquares(gsl_multifit_nlinear_workspace* work) {
    double norm = gsl_blas_dnrm2(gsl_multifit_nlinear_residual(work));
    return norm * norm;
}

// GSL's default handler aborts the program on an error such as a singular
// matrix; every call here checks the status it returns instead.
void quietGsl() {
    static std::once_flag once;
    std::call_once(once, [] { gsl_set_error_handler_off(); });
}

// Standard errors from the covariance (J^T J)^-1 in the bounded parameters,
// with J weighted as the fit was, scaled by the reduced chi-square; the
// derived figures' errors from it.
void addErrors(Refinement& r, Problem& pr) {
    const size_t peaks = r.peaks.size();
    const size_t P = pr.parameters();
    const size_t N = r.statistics.points;
    std::array<Peak, kMostPeaks> g;
    for (size_t p = 0; p < peaks; ++p) g[p] = r.peaks[p].value;
    const std::array<double, kMostPeaks> ones = [] {
        std::array<double, kMostPeaks> a;
        a.fill(1);
        return a;
    }();
    pr.take(g.data());
    pr.cache.at.clear();
    Matrix J(gsl_matrix_alloc(N, P));
    fillJacobian(pr, g.data(), r.baseline, ones.data(), ones.data(), ones.data(), J.get());
    Matrix covar(gsl_matrix_alloc(P, P));
    gsl_multifit_nlinear_covar(J.get(), 0.0, covar.get());
    const double scale = r.statistics.reducedChiSquare;
    const auto cov = [&](size_t i, size_t j) { return gsl_matrix_get(covar.get(), i, j) * scale; };
    for (size_t p = 0; p < peaks; ++p) {
        PeakEstimate& peak = r.peaks[p];
        const size_t a = pr.at[p], c = a + 1, b = a + 2, e = a + 3;
        peak.error.centre = std::sqrt(cov(c, c));
        if (pr.hasEta(p)) {
            peak.error.eta = std::sqrt(cov(e, e));
            propagateErrors(peak,
                            {cov(a, a), cov(b, b), cov(a, b), cov(e, e), cov(a, e), cov(b, e)});
        } else {
            propagateErrors(peak, {cov(a, a), cov(b, b), cov(a, b)});
        }
    }
    for (size_t j = 0; j < pr.terms; ++j) {
        r.baselineError[j] = std::sqrt(cov(pr.at[peaks] + j, pr.at[peaks] + j));
    }
    r.hasErrors = true;
}

}  // namespace

Refinement refine(const WaveArray& spectrum, int first, int last,
                  const std::vector<PeakEstimate>& start, const FitModel& model) {
    // The start as it stands, the answer whenever the fit gives none; its
    // sums are taken only then.
    const auto before = [&] { return describe(spectrum, first, last, start, model); };
    const size_t terms = inUse(model.baseline) ? termCount(model.baseline.kind) : 0;
    size_t P = terms;
    for (const PeakEstimate& peak : start) {
        P += peak.value.shape == PeakShape::PseudoVoigt ? 4 : 3;
    }
    // Whole wavelengths of the range; with the range inside the array,
    // every one counts.
    const int N = last - first + 1;
    if (start.size() > kMostPeaks || P == 0 || first < 0 || last > kMaxWave ||
        N <= static_cast<int>(P)) {
        return before();
    }
    quietGsl();

    Problem problem{&spectrum,
                    first,
                    last,
                    start.size(),
                    {double(first), double(last)},
                    {kLowestHalfWidth, double(last - first)},
                    model.baseline,
                    terms};
    if (model.sigma.size() == static_cast<size_t>(N)) {
        for (const double sigma : model.sigma) problem.weight.push_back(1 / sigma);
    }
    problem.place(start);
    Vector u(gsl_vector_alloc(P));
    for (size_t p = 0; p < start.size(); ++p) {
        const Peak& g = start[p].value;
        const size_t a = problem.at[p];
        gsl_vector_set(u.get(), a, g.amplitude);
        gsl_vector_set(u.get(), a + 1, problem.centre.internal(g.centre));
        gsl_vector_set(u.get(), a + 2, problem.halfWidth.internal(g.halfWidth));
        if (problem.hasEta(p)) gsl_vector_set(u.get(), a + 3, problem.eta.internal(g.eta));
    }
    for (size_t j = 0; j < terms; ++j) {
        gsl_vector_set(u.get(), problem.at[start.size()] + j, model.baseline.c[j]);
    }

    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = residuals;
    fdf.df = jacobian;
    fdf.n = N;
    fdf.p = P;
    fdf.params = &problem;
    // Trust-region Levenberg-Marquardt with MINPACK's scaling, QR solver.
    const gsl_multifit_nlinear_parameters settings = gsl_multifit_nlinear_default_parameters();
    Workspace work(gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &settings, N, P));
    gsl_multifit_nlinear_init(u.get(), &fdf, work.get());

    int iterations = 0;
    bool converged = false;
    double ssr = sumOfSquares(work.get());
    while (iterations < kMaxIterations) {
        ++iterations;
        // No step found that lowers the sum (GSL_ENOPROG), or the sum is
        // not finite: the fit ends where it is, not converged by any test.
        if (gsl_multifit_nlinear_iterate(work.get()) != GSL_SUCCESS) break;
        int info = 0;
        // GSL tests the step and the gradient; the test on the sum of
        // squares is ours, since GSL leaves it out.
        const double before = ssr;
        ssr = sumOfSquares(work.get());
        if (gsl_multifit_nlinear_test(kXTol, kGTol, kFTol, &info, work.get()) == GSL_SUCCESS ||
            before - ssr <= kFTol * before) {
            converged = true;
            break;
        }
    }

    const gsl_vector* x = gsl_multifit_nlinear_position(work.get());
    std::vector<PeakEstimate> found = start;
    for (size_t p = 0; p < found.size(); ++p) {
        found[p].value = problem.peak(x, p);
        const Peak& g = found[p].value;
        if (!std::isfinite(g.amplitude) || !std::isfinite(g.centre) ||
            !std::isfinite(g.halfWidth)) {
            return before();
        }
    }
    FitModel fitted = model;
    fitted.baseline = problem.baselineAt(x);
    for (const double c : fitted.baseline.c) {
        if (!std::isfinite(c)) return before();
    }
    Refinement r = describe(spectrum, first, last, found, fitted);
    // A step that overflowed (an exponential baseline's rate beyond what a
    // double holds over the range) is no answer: the start stands.
    if (!std::isfinite(r.statistics.ssr)) return before();
    for (size_t p = 0; p < found.size(); ++p) {
        PeakEstimate& peak = r.peaks[p];
        peak.centreAtBound = problem.centre.holds(peak.value.centre);
        peak.halfWidthAtBound = problem.halfWidth.holds(peak.value.halfWidth);
        peak.etaAtBound = problem.hasEta(p) && problem.eta.holds(peak.value.eta);
        peak.atBound = peak.centreAtBound || peak.halfWidthAtBound || peak.etaAtBound;
    }
    r.statistics.iterations = iterations;
    r.statistics.converged = converged;
    addErrors(r, problem);
    return r;
}

}  // namespace peakfold
