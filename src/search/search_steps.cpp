#include "search/search_steps.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/numbers.h"

namespace peakfold::search {

namespace {

constexpr int kLongestStep = 65536;  // wider than any fit range the 16-bit edges can span

// The deviation's sampling step: Q to the nearest whole nanometre.
int deviationStep(double Q) {
    return static_cast<int>(std::clamp(roundHalfEven(Q), 1.0, double{kLongestStep}));
}

// The first slot above n that is not kept, 0 when there is none.
int firstFreeAbove(const std::array<int16_t, kSlotCount>& kept, int n) {
    for (int j = n + 1; j <= kLastSlot; ++j) {
        if (kept[j] != 1) return j;
    }
    return 0;
}

// Whether every kept slot of 1..n finds a slot above n to move to.
bool roomForKeptSlots(const State& s, int n) {
    auto kept = s.EqKept;
    for (int i = 1; i <= n; ++i) {
        if (kept[i] != 1) continue;
        const int j = firstFreeAbove(kept, n);
        if (j == 0) return false;
        kept[j] = 1;
        kept[i] = 0;
    }
    return true;
}

// Kept equations leave 1..n, where the results will be written; the slot
// they leave keeps its old numbers until the results overwrite them.
void moveKeptSlots(State& s, int n) {
    for (int i = 1; i <= n; ++i) {
        if (s.EqKept[i] != 1) continue;
        const int j = firstFreeAbove(s.EqKept, n);
        s.EqIo[j] = s.EqIo[i];
        s.EqW[j] = s.EqW[i];
        s.EqXo[j] = s.EqXo[i];
        s.EqShape[j] = s.EqShape[i];
        s.EqEta[j] = s.EqEta[i];
        s.EqKept[j] = 1;
        s.EqKept[i] = 0;
    }
}

// The spectrum minus every kept equation and the baseline over the fit
// range, in percent of its largest value. Returns that largest value (0 when nothing is positive,
// and then the residual is left unscaled rather than divided by zero).
double computeResidual(State& s, const Sampling& range) {
    for (int k = 0; k < range.count; ++k) {
        const int w = range.at(k);
        s.Residual[w] = s.Spectrum[w];
        for (int i = 2; i <= kLastSlot; ++i) {
            if (s.EqKept[i] == 1) s.Residual[w] -= peakValue(SlotPeak(s, i), w);
        }
        if (inUse(s.FitBaseline)) {
            s.Residual[w] -= baselineValue(s.FitBaseline, w);
            // Dips under a baseline from above are searched as peaks.
            if (s.FitBaseline.fromAbove) s.Residual[w] = -s.Residual[w];
        }
    }
    double peak = 0;
    for (int k = 0; k < range.count; ++k) {
        const int w = range.at(k);
        if (s.Residual[w] > peak) peak = s.Residual[w];
    }
    if (peak > 0) {
        for (int k = 0; k < range.count; ++k) {
            const int w = range.at(k);
            s.Residual[w] = s.Residual[w] * 100 / peak;
        }
    }
    s.Wave = range.exitWave;
    return peak;
}

}  // namespace

Sampling sampleFitRange(const State& s, int step) {
    const long start = toInt16(s.PeakX[0]);
    const long end = s.PeakW[0];
    Sampling range;
    range.step = step;
    const long exit = end < start ? start : start + ((end - start) / step + 1) * step;
    range.exitWave = toInt16(static_cast<double>(exit));
    const long skipped = start >= 0 ? 0 : (-start + step - 1) / step;  // steps left of index 0
    const long first = start + skipped * step;
    const long last = std::min<long>(end, kMaxWave);
    if (first <= last) {
        range.first = static_cast<int>(first);
        range.count = static_cast<int>((last - first) / step + 1);
    }
    return range;
}

std::vector<double> scanValues(double from, double to, double step) {
    std::vector<double> values;
    for (double v = from; v <= to; v = advance(v, step)) values.push_back(v);
    return values;
}

CentreScans centreScans(const Picks& p) {
    CentreScans scans;
    for (int j = 1; j <= 3; ++j) {
        scans[j] = scanValues(p.x[j] - kCentreSpan * p.w[j], p.x[j] + kCentreSpan * p.w[j], 1);
    }
    return scans;
}

bool Improvements::offer(State& s, int n, double Q, const SearchProgress& progress,
                         const Trial& t) {
    if (!(t.deviation < bestDeviation_)) return false;
    bestDeviation_ = t.deviation;
    best_ = t;
    recordTrial(s, n, next_, t);
    if (progress.ShowBest) progress.ShowBest(next_, bestDeviation_);
    ++next_;
    return bestDeviation_ < Q;
}

bool beginSearch(State& s, int n, double Q, Setup& setup, SearchResult& result) {
    if (n < 1 || n > 3 || !qualityAccepted(Q)) return false;
    if (!roomForKeptSlots(s, n)) {
        result.tooManyKept = true;
        return false;
    }
    s.Trials.clear();
    if (n < 3) s.PeakW[3] = 0;
    if (n < 2) s.PeakW[2] = 0;
    moveKeptSlots(s, n);
    const Sampling range = sampleFitRange(s, 1);
    setup.peak = computeResidual(s, range);
    setup.dips = inUse(s.FitBaseline) && s.FitBaseline.fromAbove;
    setup.canFit = range.count == 0 || setup.peak > 0;
    setup.picks.x = s.PeakX;
    setup.picks.w = s.PeakW;
    setup.deviation = sampleFitRange(s, deviationStep(Q));
    setup.widthsPerCheck = std::max(1, kTermsPerCheck / std::max(setup.deviation.count, 1));
    setup.R = s.Residual;
    return true;
}

double trialDeviation(const Setup& setup, int n, const Trial& t) {
    const Sampling& range = setup.deviation;
    double sum = 0;
    for (int k = 0; k < range.count; ++k) {
        const int w = range.at(k);
        double model = t.A[1] * unitGaussian(t.c[1], t.b[1], w);
        if (n >= 2) model = model + t.A[2] * unitGaussian(t.c[2], t.b[2], w);
        if (n == 3) model = model + t.A[3] * unitGaussian(t.c[3], t.b[3], w);
        const double r = setup.R[w] - model;
        sum += n == 3 ? r * r : std::fabs(r);
    }
    return n == 3 ? std::sqrt(sum) : sum;
}

namespace {

bool scanned(const std::vector<double>& scan, double value) {
    return std::find(scan.begin(), scan.end(), value) != scan.end();
}

// The neighbour's trial solved and summed on this spectrum as the plain
// scans do, when they reach it: its centres and widths are among the
// scans', its centres are not all on weak residual, and it is not
// degenerate. Infinity otherwise.
double neighbourDeviation(const Setup& setup, int n, double Q, const NeighbourTrial& neighbour) {
    constexpr double kNone = std::numeric_limits<double>::infinity();
    if (neighbour.n != n) return kNone;
    const CentreScans centres = centreScans(setup.picks);
    Trial t;
    for (int j = 1; j <= n; ++j) {
        if (!scanned(centres[j], neighbour.c[j]) ||
            !scanned(scanValues(Q, setup.picks.w[j] + Q, Q), neighbour.b[j])) {
            return kNone;
        }
        t.c[j] = neighbour.c[j];
        t.b[j] = neighbour.b[j];
    }
    // The scans of peaks not fitted hold one centre each, and width Q.
    for (int j = n + 1; j <= 3; ++j) {
        if (centres[j].empty()) return kNone;
        t.c[j] = centres[j].front();
        t.b[j] = Q;
    }
    const double c1 = t.c[1], c2 = t.c[2], c3 = t.c[3];
    const double y1 = residualAt(setup, c1), y2 = residualAt(setup, c2),
                 y3 = residualAt(setup, c3);
    if (std::floor(y1) < kStrongResidual && std::floor(y2) < kStrongResidual &&
        std::floor(y3) < kStrongResidual) {
        return kNone;
    }
    const double b1 = t.b[1], b2 = t.b[2], b3 = t.b[3];
    if (n == 3) {
        const double a = unitGaussian(c2, b2, c1), b = unitGaussian(c3, b3, c1);
        const double c = unitGaussian(c1, b1, c2), d = unitGaussian(c1, b1, c3);
        const double e = unitGaussian(c3, b3, c2), f = unitGaussian(c2, b2, c3);
        if (!solveThree(y1, y2, y3, a, b, c, d, e, f, t)) return kNone;
    } else if (n == 2) {
        if (!solveTwo(y1, y2, unitGaussian(c2, b2, c1), unitGaussian(c1, b1, c2), t)) return kNone;
    } else {
        t.A[1] = y1;
    }
    const double deviation = trialDeviation(setup, n, t);
    return std::isnan(deviation) ? kNone : deviation;
}

}  // namespace

double startingBest(const Setup& setup, int n, double Q, const NeighbourTrial& neighbour) {
    const double T = neighbourDeviation(setup, n, Q, neighbour);
    if (!(T < kStartBest)) return kStartBest;
    return T < Q ? Q : std::nextafter(T, kEndOfScan);
}

void recordTrial(State& s, int n, int number, const Trial& t) {
    s.Trials.set(number, 0, 0, t.deviation);
    const int stored = n == 3 ? 3 : 2;
    for (int g = 1; g <= stored; ++g) {
        s.Trials.set(number, g, TrialTable::kAmplitude, t.A[g]);
        s.Trials.set(number, g, TrialTable::kWidth, t.b[g]);
        s.Trials.set(number, g, TrialTable::kCentre, t.c[g]);
    }
}

void finishSearch(State& s, int n, const Setup& setup, const Trial& best, SearchResult& result) {
    for (int i = 1; i <= n; ++i) {
        s.EqIo[i] = best.A[i];
        s.EqW[i] = best.b[i];
        s.EqXo[i] = best.c[i];
        // Found as a Gaussian, listed in the chosen shape for Refine to fit.
        s.EqShape[i] = s.FitShape;
        s.EqEta[i] = s.FitShape == PeakShape::PseudoVoigt ? kStartEta : 0;
        // The amplitude is still in percent of the peak; one that rounds to
        // zero tenths is no peak at all and is not reported.
        if (std::floor(s.EqIo[i] * 10 + 0.5) / 10 != 0) {
            s.EqIo[i] = s.EqIo[i] * setup.peak / 100;
            if (setup.dips) s.EqIo[i] = -s.EqIo[i];
            result.found.push_back(i);
        }
    }
}

}  // namespace peakfold::search
