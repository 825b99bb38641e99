// A rigorous lower bound on the deviation of a three-Gaussian trial, from
// inner products of the residual and the tabulated unit Gaussians, so that
// the fast search can reject a trial without summing it.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>

namespace peakfold::search {

// Sums over the sampled wavelengths i of the residual R and the unit
// Gaussians g1, g2, g3 of one trial's centres and widths, in any order, and
// the roots of the squares' sums.
struct TrialSums {
    double RR = 0, rootRR = 0;          // sum R^2 and its root
    double RG[4] = {};                  // sum R gj
    double GG[4] = {}, rootGG[4] = {};  // sum gj^2 and its root
    double G12 = 0, G13 = 0, G23 = 0;   // sum gj gk
};

// Every rounding of the sums above, of the expression below and of the
// deviation as the plain search computes it (the model, the difference, the
// squares, their sum over m terms and the root) moves a result by at most a
// few units in the last place of the magnitudes involved, and all of them are
// bounded by T = (|R| + sum |Aj| |gj|)^2 in the norm over the wavelengths.
// The margins are twice what that analysis needs.
[[gnu::always_inline]] inline double deviationLowerBound(const TrialSums& t, double A1, double A2,
                                                         double A3, int m) {
    constexpr double u = std::numeric_limits<double>::epsilon() / 2;
    // The sum of squared differences, expanded: R^2 - 2 R model + model^2,
    // gathered by amplitude.
    const double S = t.RR + (A1 * ((A1 * t.GG[1] - 2 * t.RG[1]) + 2 * (A2 * t.G12 + A3 * t.G13)) +
                             (A2 * ((A2 * t.GG[2] - 2 * t.RG[2]) + 2 * (A3 * t.G23)) +
                              A3 * (A3 * t.GG[3] - 2 * t.RG[3])));
    const double a1 = std::fabs(A1), a2 = std::fabs(A2), a3 = std::fabs(A3);
    const double rootT = t.rootRR + a1 * t.rootGG[1] + a2 * t.rootGG[2] + a3 * t.rootGG[3];
    const double spread = 1 + a1 + a2 + a3;  // scales what underflow can lose
    const double low = S - (2 * (m + 32) * u * rootT * rootT + m * 1e-300 * spread * spread);
    if (!(low > 0)) return 0;
    const double bound = (std::sqrt(low) - 14 * u * rootT - 1e-100) * (1 - 2 * (m + 8) * u);
    return bound > 0 ? bound : 0;
}

}  // namespace peakfold::search

namespace peakfold::search {

// One row of three-Gaussian trials: the first and second widths fixed, the
// third width running through its scan. What stays the same along the row:
struct TrialRow {
    double y1 = 0, y2 = 0, y3 = 0;      // the residual at the three centres
    double a = 0, c = 0, d = 0, f = 0;  // G2 at c1, G1 at c2, G1 at c3, G2 at c3
    TrialSums sums;                     // the third Gaussian's entries unused
    int m = 0;                          // sampled wavelengths
    // Along the row, one entry per third width:
    const double* b = nullptr;  // G3 at c1
    const double* e = nullptr;  // G3 at c2
    const double *RG3 = nullptr, *GG3 = nullptr, *rootGG3 = nullptr;
    const double *G13 = nullptr, *G23 = nullptr;
};

// Rows of trials of one first width: the row entries above but the
// second Gaussian's (a, f, its sums and G12, G23), which come one per row.
// Every array along the rows holds `stride` entries a row; those beyond
// `count` are padding that the solve may read and write but never reports.
struct TrialBlock {
    TrialRow row;
    int rows = 0;
    int count = 0;   // trials a row
    int stride = 0;  // entries from one row to the next: count rounded up to eight
    const double *a = nullptr, *f = nullptr;  // one per row
    const double *RG2 = nullptr, *GG2 = nullptr, *rootGG2 = nullptr, *G12 = nullptr;
    const double* G23 = nullptr;  // a row of `count` for each row
};

// What solveBlock says of one trial.
constexpr double kDegenerate = -1;    // no deviation, no record
constexpr double kCannotImprove = 0;  // its deviation is not below the best
constexpr double kMaySum = 1;         // only its sum can tell

// How many trials of a row are of each kind but the degenerate.
struct RowSummary {
    int solvable = 0;  // not degenerate
    int maySum = 0;    // marked kMaySum
};

// Solves every trial of the block for its amplitudes exactly as solveThree
// does, and compares the bound of deviationLowerBound with `best` without
// its square root: a trial is marked kCannotImprove only where that bound
// would be at least best. Vector lanes do the scalar operations in the
// scalar order, so the amplitudes are the same doubles on every machine.
// A1, A2, A3 and verdict hold rows * stride entries, summaries one a row.
void solveBlock(const TrialBlock& block, double best, double* A1, double* A2, double* A3,
                double* verdict, RowSummary* summaries);
// The same in a chosen number of lanes: 2, or 4 and 8 where the processor
// has AVX2 and AVX-512. False, with nothing done, for any other.
bool solveBlockInLanes(int lanes, const TrialBlock& block, double best, double* A1, double* A2,
                       double* A3, double* verdict, RowSummary* summaries);

// v[i] -= a x[i] for i < m, each element rounded as the scalar operations
// round it.
void subtractScaled(double* v, const double* x, double a, int m);

// The sum of x[i] y[i] over i < m, in an order of its own that is the
// same in every lane width (the bound allows any order).
double innerProduct(const double* x, const double* y, int m);
// The same for every row of x with every row of y, rows m apart:
// out[a * stride + b] holds the product of row a of x and row b of y.
void innerProducts(const double* x, int nx, const double* y, int ny, int m, double* out,
                   std::size_t stride);

}  // namespace peakfold::search
