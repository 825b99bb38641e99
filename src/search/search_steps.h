// The steps every fit search shares: the checks and preparations before the
// scans, the amplitude solves of one trial, and writing the best trial back
// into the equation slots after the scans.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "model/equation.h"
#include "model/numbers.h"
#include "model/state.h"
#include "search/fit_search.h"

namespace peakfold::search {

constexpr double kStartBest = 1000000;
constexpr double kStrongResidual = 10;  // percent of peak that one trial centre must reach
constexpr double kCentreSpan = 0.3;     // centres are scanned this many half-widths either side
constexpr double kMinimumD1 = 1e-100;   // smaller pivots make a three-Gaussian trial degenerate
constexpr double kEndOfScan = std::numeric_limits<double>::infinity();
// Deviation terms that the plain scans may sum between two abort checks
// inside the width scans: a few milliseconds of three-Gaussian trials on a
// 2.4 GHz core, some tens where their values fall into the subnormal range.
constexpr int kTermsPerCheck = 1 << 16;

// The next value of a scan variable. A step too small to move the value at
// its magnitude ends the scan rather than repeating the same value forever.
inline double advance(double value, double step) {
    const double next = value + step;
    return next > value ? next : kEndOfScan;
}

// The wavelengths that a loop over the fit range visits, from the rounded
// left edge up to the right edge in steps of `step`: only those inside the
// arrays are visited, so no pick can make the search read outside them.
struct Sampling {
    int first = 0;  // first index visited
    int step = 1;
    int count = 0;         // number of indices visited
    int16_t exitWave = 0;  // the wavelength counter once the loop has run out
    int at(int k) const { return first + k * step; }
};
Sampling sampleFitRange(const State& s, int step);

// The picks as they stood when the search began. The scans read them from
// here, so a click on the plot while events are pumped cannot move a scan
// that is under way or make later steps disagree with earlier ones.
struct Picks {
    std::array<double, 4> x{};
    std::array<int16_t, 4> w{};
};

// Centres, widths and amplitudes of Gaussians 1..3 of one trial (index 0 unused).
struct Trial {
    double deviation = 0;
    std::array<double, 4> A{}, b{}, c{};
};

// Everything the scans need, fixed when the search starts.
struct Setup {
    Picks picks;
    Sampling deviation;      // the wavelengths each deviation sums over
    WaveArray R{};           // the residual in percent, as step 4 left it
    double peak = 0;         // largest residual before scaling
    int widthsPerCheck = 1;  // width combinations between two abort checks
    bool canFit = true;      // false when the fit range holds no positive residual
    bool dips = false;       // the residual was turned over: the peaks found are dips
};

// How the width scans of one centre combination ended.
enum class WidthScan { Done, QualityReached, Aborted };

// Counts the width combinations of one centre combination in scan order,
// evaluated or skipped, and says before which of them an abort check is
// due: before every `every`-th, never before the first. Both searches
// check at the same combinations, so they stay identical.
class CheckPoints {
  public:
    explicit CheckPoints(int every) : every_(every) {}
    bool due() {
        if (count_ < every_) {
            ++count_;
            return false;
        }
        count_ = 1;
        return true;
    }
    // How many of the coming combinations pass before a check is due, and
    // passing that many (at most) at once.
    int beforeDue() const { return every_ - count_; }
    void pass(int combinations) { count_ += combinations; }

  private:
    const int every_;
    int count_ = 0;
};

// An abort check inside the width scans: events may run first, then an
// abort asked for at any moment since the last check stops the scans.
inline bool abortedAtCheck(const State& s, const SearchProgress& progress, SearchCounts& counts) {
    ++counts.checks;
    if (progress.LetEventsRun) progress.LetEventsRun();
    return s.CalcState == kAbort;
}

// The values a scan variable takes, from `from` while not beyond `to`.
std::vector<double> scanValues(double from, double to, double step);

// The values of the three centre scans (index 0 unused): each centre from
// its pick 0.3 half-widths either side, in steps of 1 nm.
using CentreScans = std::array<std::vector<double>, 4>;
CentreScans centreScans(const Picks& picks);

// The improving trials as the scans meet them: each one is recorded in
// Trials and announced; of equal deviations the earlier stays.
class Improvements {
  public:
    // `start`: what a first improvement must beat.
    explicit Improvements(double start = kStartBest) : bestDeviation_(start) {}
    // True when t improves on the best and brings it below Q, which ends
    // the search.
    bool offer(State& s, int n, double Q, const SearchProgress& progress, const Trial& t);
    const Trial& best() const { return best_; }  // all zeros when none improved
    double bestDeviation() const { return bestDeviation_; }

  private:
    Trial best_;
    double bestDeviation_ = kStartBest;
    int next_ = 1;  // number of the next record
};

// The centre scans, outermost first, with their progress points in
// alternating colours and, before each step of the third, an event pump
// and an abort check. `tryWidths(k1, k2, k3)` runs the width scans of one
// centre combination. After an abort, wherever it was seen, the running
// third scan still steps to its end with a pump at each step and nothing
// else, and `onAbort` has run once; after the quality is reached nothing
// more happens.
template <class TryWidths, class OnAbort>
void runCentreScans(const CentreScans& scans, const State& s, const SearchProgress& progress,
                    TryWidths&& tryWidths, OnAbort&& onAbort) {
    const auto point = [&](double x, double y, int colour) {
        if (progress.ShowScanPoint) progress.ShowScanPoint(x, y, colour);
    };
    int colour2 = 0, colour3 = 0;
    bool aborted = false;
    for (std::size_t k1 = 0; k1 < scans[1].size() && !aborted; ++k1) {
        point(scans[1][k1], -5, 14);
        colour2 = colour2 == 10 ? 8 : 10;
        for (std::size_t k2 = 0; k2 < scans[2].size() && !aborted; ++k2) {
            point(scans[2][k2], -7, colour2);
            colour3 = colour3 == 12 ? 8 : 12;
            for (std::size_t k3 = 0; k3 < scans[3].size(); ++k3) {
                if (progress.PumpEvents) progress.PumpEvents();
                if (aborted) continue;
                WidthScan scan = WidthScan::Aborted;
                if (s.CalcState != kAbort) {
                    point(scans[3][k3], -9, colour3);
                    scan = tryWidths(k1, k2, k3);
                }
                if (scan == WidthScan::QualityReached) return;
                if (scan == WidthScan::Aborted) {
                    aborted = true;
                    onAbort();
                }
            }
        }
    }
}

// Checks n, Q and the room for kept slots, then clears the trial record,
// drops the half-widths of unused peaks, moves kept slots out of 1..n and
// computes the residual. Returns false, with the state untouched, when the
// search must not run at all (result.tooManyKept tells whether that was why).
bool beginSearch(State& s, int n, double Q, Setup& setup, SearchResult& result);

// Writes the best trial into slots 1..n and lists the slots found.
void finishSearch(State& s, int n, const Setup& setup, const Trial& best, SearchResult& result);

// R at a trial centre: the residual at the nearest whole wavelength.
inline double residualAt(const Setup& setup, double x) {
    return setup.R[waveIndex(x)];
}

inline double unitGaussian(double centre, double width, double x) {
    return GaussianValue(1, centre, width, x);
}

// The amplitudes with which the trial's Gaussians pass through the residual
// at the trial centres. Each returns false when the trial is degenerate.
inline bool solveTwo(double y1, double y2, double a, double c, Trial& t) {
    const double pivot = 1 - c * a;
    if (pivot == 0) return false;
    t.A[2] = (y2 - c * y1) / pivot;
    t.A[1] = y1 - a * t.A[2];
    return true;
}

inline bool solveThree(double y1, double y2, double y3, double a, double b, double c, double d,
                       double e, double f, Trial& t) {
    const double D1 = e - c * b;
    if (!(D1 > kMinimumD1)) return false;
    const double D2 = (f - d * a) - (1 - d * b) * (1 - c * a) / D1;
    if (D2 == 0) return false;
    t.A[2] = ((y3 - d * y1) - (1 - d * b) * (y2 - c * y1) / D1) / D2;
    t.A[3] = ((y2 - c * y1) - (1 - c * a) * t.A[2]) / D1;
    t.A[1] = y1 - a * t.A[2] - b * t.A[3];
    return true;
}

// The trial's deviation as the plain scans compute it: the sum of |R -
// model| for one or two Gaussians, the root of the sum of squares for
// three, over the sampled wavelengths.
double trialDeviation(const Setup& setup, int n, const Trial& t);

// What the scans' first improvement must beat. Without a neighbour's trial
// that is kStartBest. With one that the scans contain and evaluate, its
// deviation T here is at least the smallest deviation of the search, so:
// - when T < Q, some trial comes below Q, and the answer is the first such
//   trial in scan order: the scans may start from Q, since every trial
//   below Q still improves and the first of them still ends the search;
// - otherwise no trial comes below Q, and the answer is the first trial of
//   the smallest deviation, at most T: the scans may start just above T
//   (every trial at or below T still improves, in the same order).
// Either way the answer is the one the scans give from kStartBest; only
// the records of trials that cannot be the answer are left out.
double startingBest(const Setup& setup, int n, double Q, const NeighbourTrial& neighbour);

// The centre and width scans exactly as they read, every trial summed in
// full. Returns the best trial, all zeros when none improved.
Trial runPlainScans(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
                    SearchCounts& counts);

// Stores an improving trial as record number `number` of Trials.
void recordTrial(State& s, int n, int number, const Trial& t);

}  // namespace peakfold::search
