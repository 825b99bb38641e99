#include "search/fit_search.h"

#include <cmath>

#include "search/search_steps.h"

namespace peakfold {

using namespace search;

namespace {

// The grid search exactly as it reads: centres outermost, widths inside,
// every trial summed in full over the fit range.
class ReferenceSearch {
  public:
    ReferenceSearch(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
                    SearchCounts& counts)
        : s_(s), n_(n), Q_(Q), progress_(progress), setup_(setup), counts_(counts) {}

    // The centre scans, and the width scans at each centre combination.
    void run() {
        const CentreScans scans = centreScans(setup_.picks);
        runCentreScans(
            scans, s_, progress_,
            [&](std::size_t k1, std::size_t k2, std::size_t k3) {
                return tryWidths(scans[1][k1], scans[2][k2], scans[3][k3]);
            },
            [] {});
    }

    const Trial& best() const { return improvements_.best(); }

  private:
    // Every width combination at one centre combination, with an abort
    // check at fixed combinations.
    WidthScan tryWidths(double c1, double c2, double c3) {
        const double y1 = residualAt(setup_, c1);
        const double y2 = residualAt(setup_, c2);
        const double y3 = residualAt(setup_, c3);
        // Centres that all sit on weak residual cannot start a peak.
        if (std::floor(y1) < kStrongResidual && std::floor(y2) < kStrongResidual &&
            std::floor(y3) < kStrongResidual) {
            return WidthScan::Done;
        }
        const Picks& p = setup_.picks;
        CheckPoints checks(setup_.widthsPerCheck);
        Trial t;
        t.c = {0, c1, c2, c3};
        for (double b1 = Q_; b1 <= p.w[1] + Q_; b1 = advance(b1, Q_)) {
            t.b[1] = b1;
            for (double b2 = Q_; b2 <= p.w[2] + Q_; b2 = advance(b2, Q_)) {
                t.b[2] = b2;
                if (n_ == 3) {
                    for (double b3 = Q_; b3 <= p.w[3] + Q_; b3 = advance(b3, Q_)) {
                        if (checks.due() && abortedAtCheck(s_, progress_, counts_))
                            return WidthScan::Aborted;
                        t.b[3] = b3;
                        const double a = unitGaussian(c2, b2, c1), b = unitGaussian(c3, b3, c1);
                        const double c = unitGaussian(c1, b1, c2), d = unitGaussian(c1, b1, c3);
                        const double e = unitGaussian(c3, b3, c2), f = unitGaussian(c2, b2, c3);
                        if (solveThree(y1, y2, y3, a, b, c, d, e, f, t) && consider(t))
                            return WidthScan::QualityReached;
                    }
                    continue;
                }
                if (checks.due() && abortedAtCheck(s_, progress_, counts_)) return WidthScan::Aborted;
                if (n_ == 2) {
                    const double a = unitGaussian(c2, b2, c1), c = unitGaussian(c1, b1, c2);
                    if (solveTwo(y1, y2, a, c, t) && consider(t)) return WidthScan::QualityReached;
                } else {
                    t.A[1] = y1;
                    if (consider(t)) return WidthScan::QualityReached;
                }
            }
        }
        return WidthScan::Done;
    }

    // Sums the trial's deviation and records it when it improves on the
    // best; of equal deviations the earlier trial stays. True when the
    // deviation is below Q, which ends the search.
    bool consider(Trial& t) {
        t.deviation = deviation(t);
        ++counts_.evaluated;
        counts_.terms += setup_.deviation.count;
        return improvements_.offer(s_, n_, Q_, progress_, t);
    }

    double deviation(const Trial& t) {
        s_.Wave = setup_.deviation.exitWave;
        return trialDeviation(setup_, n_, t);
    }

    State& s_;
    const int n_;
    const double Q_;
    const SearchProgress& progress_;
    const Setup& setup_;
    SearchCounts& counts_;
    Improvements improvements_;
};

}  // namespace

namespace search {

Trial runPlainScans(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
                    SearchCounts& counts) {
    ReferenceSearch scans(s, n, Q, progress, setup, counts);
    scans.run();
    return scans.best();
}

}  // namespace search

SearchResult FitSearch(State& s, int n, double Q, const SearchProgress& progress) {
    SearchResult result;
    Setup setup;
    if (!beginSearch(s, n, Q, setup, result)) return result;
    const Trial best =
        setup.canFit ? runPlainScans(s, n, Q, progress, setup, result.counts) : Trial{};
    finishSearch(s, n, setup, best, result);
    return result;
}

bool qualityAccepted(double Q) {
    return std::isfinite(Q) && Q > 0.5;
}

}  // namespace peakfold
