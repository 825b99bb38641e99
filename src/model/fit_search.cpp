#include "model/fit_search.h"

#include <cmath>

#include "model/search_steps.h"

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

    // The three centre scans, with their progress points and the abort check
    // once per step of the third.
    void run() {
        const Picks& p = setup_.picks;
        int colour2 = 0, colour3 = 0;
        bool aborted = false;
        const double from1 = p.x[1] - kCentreSpan * p.w[1], to1 = p.x[1] + kCentreSpan * p.w[1];
        for (double c1 = from1; c1 <= to1 && !aborted; c1 = advance(c1, 1)) {
            showScanPoint(c1, -5, 14);
            colour2 = colour2 == 10 ? 8 : 10;
            const double from2 = p.x[2] - kCentreSpan * p.w[2], to2 = p.x[2] + kCentreSpan * p.w[2];
            for (double c2 = from2; c2 <= to2 && !aborted; c2 = advance(c2, 1)) {
                showScanPoint(c2, -7, colour2);
                colour3 = colour3 == 12 ? 8 : 12;
                const double from3 = p.x[3] - kCentreSpan * p.w[3];
                const double to3 = p.x[3] + kCentreSpan * p.w[3];
                for (double c3 = from3; c3 <= to3; c3 = advance(c3, 1)) {
                    // After an abort the running scan still steps to its end,
                    // letting events run at each step but trying nothing.
                    if (progress_.PumpEvents) progress_.PumpEvents();
                    if (aborted) continue;
                    if (s_.CalcState == kAbort) {
                        aborted = true;
                        continue;
                    }
                    showScanPoint(c3, -9, colour3);
                    const WidthScan scan = tryWidths(c1, c2, c3);
                    if (scan == WidthScan::QualityReached) return;
                    aborted = scan == WidthScan::Aborted;
                }
            }
        }
    }

    const Trial& best() const { return best_; }

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
        if (!(t.deviation < bestDeviation_)) return false;
        bestDeviation_ = t.deviation;
        best_ = t;
        recordTrial(s_, n_, trial_, t);
        if (progress_.ShowBest) progress_.ShowBest(trial_, bestDeviation_);
        ++trial_;
        return bestDeviation_ < Q_;
    }

    // Sum of |R - model| for one or two Gaussians, root of the sum of
    // squares for three, over every Q-th wavelength of the fit range.
    double deviation(const Trial& t) {
        const Sampling& range = setup_.deviation;
        double sum = 0;
        for (int k = 0; k < range.count; ++k) {
            const int w = range.at(k);
            double model = t.A[1] * unitGaussian(t.c[1], t.b[1], w);
            if (n_ >= 2) model = model + t.A[2] * unitGaussian(t.c[2], t.b[2], w);
            if (n_ == 3) model = model + t.A[3] * unitGaussian(t.c[3], t.b[3], w);
            const double r = setup_.R[w] - model;
            sum += n_ == 3 ? r * r : std::fabs(r);
        }
        s_.Wave = range.exitWave;
        return n_ == 3 ? std::sqrt(sum) : sum;
    }

    void showScanPoint(double x, double y, int colour) {
        if (progress_.ShowScanPoint) progress_.ShowScanPoint(x, y, colour);
    }

    State& s_;
    const int n_;
    const double Q_;
    const SearchProgress& progress_;
    const Setup& setup_;
    SearchCounts& counts_;
    Trial best_;  // stays all zeros when no trial improves
    double bestDeviation_ = kStartBest;
    int trial_ = 1;
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
