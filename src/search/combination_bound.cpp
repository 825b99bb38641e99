// The bound for a whole centre combination.
//
// Notation. R is the sampled residual (m values), g_j the sampled unit
// Gaussian of trial centre j at its trial width, exactly the doubles the
// plain scans compute. A trial's exact deviation is d = |R - sum A_j g_j|
// for its amplitudes A_j, whatever they are; the plain scans compute d~
// from it, rounding as they go. Norms are Euclidean; u is half the machine
// epsilon.
//
// 1. The span. Q_j are the rows of a basis of centre j's Gaussians (all
//    widths), computed once per grid, and Q stacks the three. Any larger
//    span serves as well, only less sharply: the first test of a row of
//    combinations takes for the third centre the Gaussians of every centre
//    of its scan. Any vector g
//    of centre j is Q_j^T c + e for the coefficients c we computed, and we
//    measure |e| <= tau |g| with the rounding of that measurement added.
//    So for every trial R - sum A_j g_j = (R - Q^T beta) - sum A_j e_j for
//    some beta, and
//        d >= delta - tau sum |A_j| |g_j|,
//    where delta is R's distance from the span of Q.
// 2. The amplitudes. Whatever they are, sum |A_j| |g_j| <= s M with
//    M = |sum A_j g_j| <= d + |R|: with x_j = A_j |g_j| and N the Gram
//    matrix of the normalised g_j, M^2 = x^T N x >= lambda |x|^2 and
//    sum |x_j| <= sqrt(3) |x|, so s = sqrt(3 / lambda). The Gaussians are
//    positive, so their cosines c_jk lie in [0, C_jk] for the pairs'
//    bounds C_jk, and det N = 1 - sum c_jk^2 + 2 c12 c13 c23 >= 1 - sum
//    C_jk^2; the other two eigenvalues sum to at most 3, so lambda >= 4
//    det N / 9. The pair bounds C_jk come from the bases (|c_a^T Q_j Q_k^T
//    c_b| plus tau terms) with their rounding. From 1 and 2:
//        d >= (delta - tau s |R|) / (1 + tau s).
// 3. The distance. delta^2 = |R|^2 - z^T G^-1 z with z = Q R and G = Q Q^T.
//    With the computed factor L of G (G = L L^T + H1, |H1| <= h from the
//    factorisation's and G's rounding, both bounded through the sum F of
//    the factor's squared entries) and the computed solution y of
//    (L + dL) y = z~ (|dL| <= gamma_r |L|), K = L + dL satisfies
//    |K K^T - G| <= h_t, and G >= K K^T (1 - h_t / lambda_K) in the order of
//    symmetric matrices, where lambda_K >= lambda_min(G) - h_t and
//    lambda_min(G) is bounded below by 1 / (|L^-1|_1 |L^-1|_inf) - h, those
//    norms bounded from the factor's comparison matrix. So
//        z~^T G^-1 z~ <= |y|^2 / (1 - h_t / lambda_K),
//    and |G^-1/2 (z - z~)| <= |z - z~| / sqrt(lambda_min(G)), with
//    |z - z~| <= sqrt(r) gamma_m |R| (the rows have norm 1 to within u).
// 4. The rounding of d~. The model is summed in three roundings, the
//    difference in one, the squares and their sum over m terms in m more,
//    and the root in one: d~ >= ((1 - u) d - 4u sum |A_j| |g_j| - 1e-100)
//    (1 - (m + 8) u), the 1e-100 covering every underflow (the squares'
//    underflows, at most m of 2^-1074, move the root by less), and with 2,
//        d~ >= ((1 - u - 4u s) d - 4u s |R| - 1e-100) (1 - (m + 8) u).
// Every constant above is taken with a margin of at least ten times what
// its rounding needs, and the bound's own few operations are covered by a
// last factor 1 - 1e-9, with the subtractions where rounding could cancel
// required to keep at least half their value. A combination is ruled out
// only where the result is at least best: then no trial of it has d~ <
// best, which is what an improvement needs.
#include "search/combination_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "search/combination_trials.h"
#include "search/search_bounds.h"
#include "search/search_steps.h"

namespace peakfold::search {

namespace {

constexpr double u = std::numeric_limits<double>::epsilon() / 2;
// A Gaussian left this far from the span of those before it, relative to
// its norm, adds nothing to the basis; the bound then carries the distance
// as tau.
constexpr double kDropped = 1e-4;
// Gaussians of a smaller norm are too faint to normalise safely: the bound
// does not serve their centre.
constexpr double kFaintest = 1e-150;
constexpr double kLeastDeterminant = 1e-6;  // of the normalised trial Gram matrix
constexpr double kMargin = 1e-9;
constexpr double kLargestSpan = 1 << 22;  // values of the Gaussians a basis is made from
constexpr std::int64_t kFactorBudget = std::int64_t{32} << 20;  // bytes of a grid's factors
// Centre combinations beyond which the geometry's slots alone would take
// too much memory; such searches run for hours whatever the bound does.
constexpr double kMostCombinations = 1 << 18;
// Trials of a centre combination below which the bound costs more than
// the solves it saves.
constexpr std::size_t kTrialsForBound = 200;

// The sum of x[k] y[k] in four running sums, which the processor keeps
// going at once; any order of summation suits the bound.
double dot(const double* x, const double* y, int n) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        s0 += x[k] * y[k];
        s1 += x[k + 1] * y[k + 1];
        s2 += x[k + 2] * y[k + 2];
        s3 += x[k + 3] * y[k + 3];
    }
    for (; k < n; ++k) s0 += x[k] * y[k];
    return (s0 + s1) + (s2 + s3);
}

double squares(const double* x, int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += x[i] * x[i];
    return sum;
}

}  // namespace

CombinationGeometry::CombinationGeometry(const Grid& grid)
    : m_(grid.m),
      wave_(grid.wave),
      n1_(grid.centres[1].size()),
      n2_(grid.centres[2].size()),
      n3_(grid.centres[3].size()),
      centres1_(n1_),
      centres2_(n2_),
      centres3_(n3_ + 1),
      pairs12_(n1_ * n2_),
      pairs13_(n1_ * (n3_ + 1)),
      pairs23_(n2_ * (n3_ + 1)),
      combinations_(n1_ * n2_ * n3_),
      pairCombinations_(n1_ * n2_),
      rowTables13_(n1_ * n3_),
      rowTables23_(n2_ * n3_) {
    for (int j = 1; j <= 3; ++j) {
        centres_[j] = grid.centres[j];
        widths_[j] = grid.widths[j];
    }
}

const CombinationGeometry::Centre& CombinationGeometry::centre(int j, std::size_t k) {
    OnceSlots<Centre>& slots = j == 1 ? centres1_ : j == 2 ? centres2_ : centres3_;
    return slots.get(k, [&] { return makeCentre(j, k); });
}

// Modified Gram-Schmidt, twice for each Gaussian, in the order of the
// widths; then each Gaussian's coefficients on the basis and the distance
// from it, measured. Centre n3 of scan 3 stands for all its centres at
// once: the Gaussians of every centre and width of the scan.
CombinationGeometry::Centre CombinationGeometry::makeCentre(int j, std::size_t k) const {
    const int m = m_;
    const std::vector<double>& widths = widths_[j];
    const bool all = j == 3 && k == n3_;
    const std::size_t first = all ? 0 : k, end = all ? n3_ : k + 1;
    Centre centre;
    // The Gaussians of all third centres of a wide scan would take too much
    // memory to orthonormalise; the bound then tests combinations alone.
    if (static_cast<double>(widths.size()) * static_cast<double>(end - first) * m > kLargestSpan) {
        return centre;
    }
    const int nb = static_cast<int>(widths.size() * (end - first));
    centre.count = nb;
    std::vector<double> g(static_cast<std::size_t>(nb) * m), norms(nb);
    int i = 0;
    for (std::size_t at = first; at < end; ++at) {
        for (const double width : widths) {
            double* gi = g.data() + static_cast<std::size_t>(i) * m;
            for (int w = 0; w < m; ++w) gi[w] = unitGaussian(centres_[j][at], width, wave_[w]);
            norms[i] = std::sqrt(innerProduct(gi, gi, m));
            if (!(norms[i] > kFaintest)) return centre;
            ++i;
        }
    }
    std::vector<double>& rows = centre.rows;
    std::vector<double> v(m);
    for (int i = 0; i < nb; ++i) {
        const double* gi = g.data() + static_cast<std::size_t>(i) * m;
        for (int w = 0; w < m; ++w) v[w] = gi[w] / norms[i];
        for (int pass = 0; pass < 2; ++pass) {
            for (int r = 0; r < centre.rank; ++r) {
                const double* q = rows.data() + static_cast<std::size_t>(r) * m;
                const double p = innerProduct(v.data(), q, m);
                subtractScaled(v.data(), q, p, m);
            }
        }
        const double left = std::sqrt(innerProduct(v.data(), v.data(), m));
        if (!(left > kDropped)) continue;
        for (int w = 0; w < m; ++w) rows.push_back(v[w] / left);
        ++centre.rank;
    }
    const int rank = centre.rank;
    centre.gram.resize(static_cast<std::size_t>(rank) * rank);
    innerProducts(rows.data(), rank, rows.data(), rank, m, centre.gram.data(), rank);
    // Each entry of the Gram matrix is within twice gamma_m of the exact one
    // (the rows have norm 1 to within u).
    double offIdentity = 0;
    for (int a = 0; a < rank; ++a) {
        for (int b = 0; b < rank; ++b) {
            const double entry = centre.gram[static_cast<std::size_t>(a) * rank + b];
            offIdentity = std::max(offIdentity, std::fabs(entry - (a == b ? 1.0 : 0.0)));
        }
    }
    centre.orthonormality = (offIdentity + (m + 2) * u * 4) * (1 + kMargin);
    centre.coefficients.resize(static_cast<std::size_t>(nb) * rank);
    std::vector<double> coefficients(rank);
    for (int i = 0; i < nb; ++i) {
        const double* gi = g.data() + static_cast<std::size_t>(i) * m;
        innerProducts(rows.data(), rank, gi, 1, m, coefficients.data(), 1);
        for (int w = 0; w < m; ++w) v[w] = gi[w];
        for (int r = 0; r < rank; ++r) {
            const double* q = rows.data() + static_cast<std::size_t>(r) * m;
            subtractScaled(v.data(), q, coefficients[r], m);
        }
        // The computed remainder is within (rank + 2) u (|g| + sum |c| |q|)
        // of the exact one, and sum |c| <= sqrt(rank) |c|; the norms are
        // within (m + 2) u of theirs.
        const double size = std::sqrt(squares(coefficients.data(), rank));
        const double rounding = 1e-12 * (norms[i] + std::sqrt(rank + 1.0) * size * 1.01);
        const double tau =
            (std::sqrt(squares(v.data(), m)) * (1 + 1e-12) + rounding) / (norms[i] * (1 - 1e-12));
        centre.tau = std::max(centre.tau, tau);
        for (int r = 0; r < rank; ++r) {
            centre.coefficients[static_cast<std::size_t>(i) * rank + r] =
                coefficients[r] / norms[i];
        }
    }
    centre.usable = rank > 0 && centre.tau < 1e-3;
    return centre;
}

const CombinationGeometry::Pair& CombinationGeometry::pair(int j, std::size_t kj, int k,
                                                           std::size_t kk) {
    OnceSlots<Pair>& slots = j == 1 ? (k == 2 ? pairs12_ : pairs13_) : pairs23_;
    const std::size_t nk = k == 2 ? n2_ : n3_ + 1;
    return slots.get(kj * nk + kk, [&] { return makePair(j, kj, k, kk); });
}

CombinationGeometry::Pair CombinationGeometry::makePair(int j, std::size_t kj, int k,
                                                        std::size_t kk) {
    const Centre& a = centre(j, kj);
    const Centre& b = centre(k, kk);
    Pair pair;
    const int ra = a.rank, rb = b.rank;
    pair.cross.resize(static_cast<std::size_t>(ra) * rb);
    innerProducts(a.rows.data(), ra, b.rows.data(), rb, m_, pair.cross.data(), rb);
    // The largest |c_a^T cross c_b| over the widths of both, each c over
    // its Gaussian's norm.
    const auto na = static_cast<std::size_t>(a.count), nb = static_cast<std::size_t>(b.count);
    std::vector<double> left(rb);
    double largest = 0;
    for (std::size_t p = 0; p < na; ++p) {
        const double* ca = a.coefficients.data() + p * ra;
        std::fill(left.begin(), left.end(), 0.0);
        for (int r = 0; r < ra; ++r) {
            for (int t = 0; t < rb; ++t) left[t] += ca[r] * pair.cross[r * rb + t];
        }
        for (std::size_t q = 0; q < nb; ++q) {
            const double* cb = b.coefficients.data() + q * rb;
            double product = 0;
            for (int t = 0; t < rb; ++t) product += left[t] * cb[t];
            largest = std::max(largest, std::fabs(product));
        }
    }
    // The rounding of the products, of the cross entries and of the
    // coefficients is below 1e-10 for any rank and m of a grid here.
    pair.cosine = largest + a.tau + b.tau * (1 + a.tau) + 1e-9;
    return pair;
}

const CombinationGeometry::Combination& CombinationGeometry::combination(std::size_t k1,
                                                                         std::size_t k2,
                                                                         std::size_t k3) {
    if (k3 == n3_) {
        return pairCombinations_.get(k1 * n2_ + k2, [&] { return makeCombination(k1, k2, k3); });
    }
    return combinations_.get((k1 * n2_ + k2) * n3_ + k3,
                             [&] { return makeCombination(k1, k2, k3); });
}

CombinationGeometry::Combination CombinationGeometry::makeCombination(std::size_t k1,
                                                                      std::size_t k2,
                                                                      std::size_t k3) {
    Combination out;
    const Centre* centres[3] = {&centre(1, k1), &centre(2, k2), &centre(3, k3)};
    for (const Centre* c : centres) {
        if (!c->usable) return out;
    }
    const int r1 = centres[0]->rank, r2 = centres[1]->rank, r3 = centres[2]->rank;
    const int r = r1 + r2 + r3;
    if (r > CombinationBound::kLargestRank) return out;
    // Past its budget the geometry builds no more factors: those
    // combinations are simply solved.
    const auto bytes = static_cast<std::int64_t>(sizeof(double)) * r * (r + 1) / 2;
    if (factorBytes_.fetch_add(bytes, std::memory_order_relaxed) + bytes > kFactorBudget) {
        return out;
    }

    // The trials' Gaussians: how far from independent they can be.
    const double C12 = std::min(1.0, pair(1, k1, 2, k2).cosine);
    const double C13 = std::min(1.0, pair(1, k1, 3, k3).cosine);
    const double C23 = std::min(1.0, pair(2, k2, 3, k3).cosine);
    const double det = 1 - (C12 * C12 + C13 * C13 + C23 * C23);
    if (!(det > kLeastDeterminant)) return out;
    out.spread = std::sqrt(3 / (4 * det / 9 * (1 - kMargin))) * (1 + kMargin);
    out.tau = std::max({centres[0]->tau, centres[1]->tau, centres[2]->tau});

    // The Gram matrix of the three bases, in full.
    std::vector<double> G(static_cast<std::size_t>(r) * r);
    const int first[3] = {0, r1, r1 + r2};
    const auto block = [&](int a, int b, const std::vector<double>& values, bool transposed) {
        const int ra = centres[a]->rank, rb = centres[b]->rank;
        for (int i = 0; i < ra; ++i) {
            for (int t = 0; t < rb; ++t) {
                const double v = transposed ? values[t * ra + i] : values[i * rb + t];
                G[static_cast<std::size_t>(first[a] + i) * r + first[b] + t] = v;
            }
        }
    };
    for (int a = 0; a < 3; ++a) block(a, a, centres[a]->gram, false);
    block(0, 1, pair(1, k1, 2, k2).cross, false);
    block(1, 0, pair(1, k1, 2, k2).cross, true);
    block(0, 2, pair(1, k1, 3, k3).cross, false);
    block(2, 0, pair(1, k1, 3, k3).cross, true);
    block(1, 2, pair(2, k2, 3, k3).cross, false);
    block(2, 1, pair(2, k2, 3, k3).cross, true);

    // Cholesky, row by row.
    std::vector<double>& L = out.factor;
    L.assign(static_cast<std::size_t>(r) * (r + 1) / 2, 0.0);
    const auto at = [](int i, int j) { return static_cast<std::size_t>(i) * (i + 1) / 2 + j; };
    for (int i = 0; i < r; ++i) {
        for (int j = 0; j <= i; ++j) {
            double sum = G[static_cast<std::size_t>(i) * r + j];
            for (int k = 0; k < j; ++k) sum -= L[at(i, k)] * L[at(j, k)];
            if (i == j) {
                if (!(sum > 1e-8)) return out;
                L[at(i, i)] = std::sqrt(sum);
            } else {
                L[at(i, j)] = sum / L[at(j, j)];
            }
        }
    }
    // |L^-1|_inf and |L^-1|_1 from the comparison matrix, which bounds
    // |L^-1| entry by entry.
    std::vector<double> x(r), y(r);
    double F = 0, rowMost = 0, columnMost = 0;
    for (int i = 0; i < r; ++i) {
        double sum = 1;
        for (int k = 0; k < i; ++k) sum += std::fabs(L[at(i, k)]) * x[k];
        x[i] = sum / L[at(i, i)];
        rowMost = std::max(rowMost, x[i]);
        for (int k = 0; k <= i; ++k) F += L[at(i, k)] * L[at(i, k)];
    }
    for (int i = r - 1; i >= 0; --i) {
        double sum = 1;
        for (int k = i + 1; k < r; ++k) sum += std::fabs(L[at(k, i)]) * y[k];
        y[i] = sum / L[at(i, i)];
        columnMost = std::max(columnMost, y[i]);
    }
    const double ru = (r + 2) * u * 2, mu = (m_ + 2) * u * 2;  // twice gamma_r and gamma_m
    const double h = r * mu * 1.01 + ru * F * 1.01;
    const double lambda = 1 / (rowMost * columnMost) * (1 - kMargin) - h;
    const double ht = h + (2 * ru + ru * ru) * F * 1.01;
    const double lambdaK = lambda - ht;
    if (!(lambdaK > 0) || !(ht / lambdaK < 1e-3)) return out;
    out.inflation = 1 / (1 - ht / lambdaK) * (1 + kMargin);
    out.zetaPerNorm = std::sqrt(static_cast<double>(r)) * mu * 1.01 / std::sqrt(lambda);
    out.rank = r;
    out.usable = true;
    return out;
}

CombinationBound::CombinationBound(const Grid& grid, CombinationGeometry& geometry)
    : grid_(grid),
      geometry_(geometry),
      z1_(grid.centres[1].size()),
      z2_(grid.centres[2].size()),
      z3_(grid.centres[3].size() + 1) {
    const double mu = (grid.m + 2) * u * 2;
    RRlow_ = grid.RR * (1 - mu);
    normR_ = std::sqrt(grid.RR * (1 + mu)) * (1 + 2 * u);
}

bool CombinationBound::worthwhile(const Grid& grid) {
    const double combinations = static_cast<double>(grid.centres[1].size()) *
                                static_cast<double>(grid.centres[2].size()) *
                                static_cast<double>(grid.centres[3].size());
    return grid.combinations(3) >= kTrialsForBound && combinations <= kMostCombinations;
}

const std::vector<double>& CombinationBound::coefficients(int j, std::size_t k) {
    OnceSlots<std::vector<double>>& slots = j == 1 ? z1_ : j == 2 ? z2_ : z3_;
    return slots.get(k, [&] {
        const CombinationGeometry::Centre& centre = geometry_.centre(j, k);
        std::vector<double> z(centre.rank);
        innerProducts(centre.rows.data(), centre.rank, grid_.R.data(), 1, grid_.m, z.data(), 1);
        return z;
    });
}

bool CombinationBound::ruledOut(std::size_t k1, std::size_t k2, std::size_t k3, double best,
                                Scratch& scratch) {
    // First every combination of k1 and k2 at once, on the span of the
    // Gaussians of all third centres: a larger span, so a lower bound, but
    // one solve for the whole row of third centres. The row's span takes
    // long to build, so it is built only once single combinations have
    // been ruled out: on smooth spectra they never are.
    if (scratch.k1 != k1 || scratch.k2 != k2) {
        scratch.k1 = k1;
        scratch.k2 = k2;
        scratch.solved = 0;
        scratch.rowBound =
            scratch.ruledOut > 0 ? lowerBound(k1, k2, grid_.centres[3].size(), scratch) : 0;
    }
    if (!(scratch.rowBound >= best) && !(lowerBound(k1, k2, k3, scratch) >= best)) return false;
    ++scratch.ruledOut;
    ruledOut_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

double CombinationBound::lowerBound(std::size_t k1, std::size_t k2, std::size_t k3,
                                    Scratch& scratch) {
    const CombinationGeometry::Combination& c = geometry_.combination(k1, k2, k3);
    if (!c.usable) return 0;
    const int r = c.rank;
    // y = L^-1 z, row by row. The rows of the first two centres are those
    // of every combination of these two, so their part of y is kept.
    const std::vector<double>& z1 = coefficients(1, k1);
    const std::vector<double>& z2 = coefficients(2, k2);
    const std::vector<double>& z3 = coefficients(3, k3);
    const int leading = static_cast<int>(z1.size() + z2.size());
    double* y = scratch.y;
    int i = 0;
    if (scratch.solved == leading) {
        i = leading;
    } else {
        std::copy(z1.begin(), z1.end(), y);
        std::copy(z2.begin(), z2.end(), y + z1.size());
    }
    std::copy(z3.begin(), z3.end(), y + leading);
    const double* L = c.factor.data();
    for (; i < r; ++i) {
        const double* row = L + static_cast<std::size_t>(i) * (i + 1) / 2;
        y[i] = (y[i] - dot(row, y, i)) / row[i];
    }
    scratch.solved = leading;
    const double projected =
        std::sqrt(squares(y, r) * (1 + (r + 2) * u * 2) * c.inflation) + c.zetaPerNorm * normR_;
    const double D2 = RRlow_ - projected * projected * (1 + 32 * u);
    if (!(D2 > 0)) return 0;
    const double delta = std::sqrt(D2) * (1 - 2 * u);
    const double ts = c.tau * c.spread;
    const double loss = ts * normR_;
    if (!(loss <= 0.5 * delta)) return 0;
    const double d = (delta - loss) / (1 + ts);
    const double e1 = 4 * u * c.spread;
    const double kept = (1 - u - e1) * d, lost = e1 * normR_ + 1e-100;
    if (!(e1 < 0.5) || !(lost <= 0.5 * kept)) return 0;
    return (kept - lost) * (1 - (grid_.m + 8) * u) * (1 - kMargin);
}

}  // namespace peakfold::search
