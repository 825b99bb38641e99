// A rigorous lower bound on the deviation of a three-Gaussian trial, from
// inner products of the residual and the tabulated unit Gaussians, so that
// the fast search can reject a trial without summing it.
#pragma once

#include <cmath>
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
    // The sum of squared differences, expanded: R^2 - 2 R model + model^2.
    const double S = t.RR - 2 * (A1 * t.RG[1] + A2 * t.RG[2] + A3 * t.RG[3]) +
                     (A1 * A1 * t.GG[1] + A2 * A2 * t.GG[2] + A3 * A3 * t.GG[3]) +
                     2 * (A1 * A2 * t.G12 + A1 * A3 * t.G13 + A2 * A3 * t.G23);
    const double a1 = std::fabs(A1), a2 = std::fabs(A2), a3 = std::fabs(A3);
    const double rootT = t.rootRR + a1 * t.rootGG[1] + a2 * t.rootGG[2] + a3 * t.rootGG[3];
    const double spread = 1 + a1 + a2 + a3;  // scales what underflow can lose
    const double low = S - (2 * (m + 32) * u * rootT * rootT + m * 1e-300 * spread * spread);
    if (!(low > 0)) return 0;
    const double bound = (std::sqrt(low) - 14 * u * rootT - 1e-100) * (1 - 2 * (m + 8) * u);
    return bound > 0 ? bound : 0;
}

}  // namespace peakfold::search
