// The bound for a row of trials.
//
// Notation as in combination_bound.cpp: R the sampled residual, g1 and g2
// the row's first and second Gaussians, g3 any Gaussian of its third
// centre, all the doubles the plain scans compute; a trial's exact
// deviation is d = |R - sum A_j g_j| for its amplitudes, whatever they
// are. Q holds the rows of the third centre's basis, r of them, with
// |Q Q^T - I| <= w entry by entry, so |Q Q^T - I|_2 <= r w (we require
// r w <= 1e-3), and each g3 = Q^T c + e with |e| <= tau |g3|, so |c| <=
// 1.01 |g3|. mu = 2 (m + 2) u bounds the relative error of any tabulated
// inner product of two sampled vectors, rho = |R| (from above), and
// Lambda = 2 ((3 + sqrt r) mu + 4 (r + 2) u + 32 u).
//
// 1. The certificate. For any vector v, by Cauchy-Schwarz
//        d |v| >= v.R - sum_j |A_j| |v.g_j|.
//    We take v = R - Q^T y - x1 g1 - x2 g2 with y = z~ - x1 p~1 - x2 p~2,
//    where z~ = Q R and p~j = Q gj as computed, and x1, x2 the solution of
//    the two normal equations that remain once the basis is taken out:
//    h11 x1 + h12 x2 = r1, h12 x1 + h22 x2 = r2, with rj = R.gj - z~.p~j,
//    hjk = gj.gk - p~j.p~k. The exact v is then orthogonal to g1, g2 and Q
//    up to the rounding of the tables, and its length is R's distance
//    from the span.
// 2. The quantities, with N = rho + |x1| |g1| + |x2| |g2| (so |y| <= 1.01 N
//    and every term below is at most a few N^2):
//    - v.R = RR - z~.z~ - x1 r1 - x2 r2 exactly up to the tables'
//      rounding: with P the value computed so, |v.R - P| <= Lambda N^2.
//    - v.gj, computed as ej = rj - x1 hj1 - x2 hj2, likewise
//      |v.gj - ej| <= Lambda N |gj|.
//    - Q v = (QR - z~) - x1 (Q g1 - p~1) - x2 (Q g2 - p~2) - (Q Q^T - I) y,
//      so |Q v| <= 1.02 (sqrt r mu + r w) N, which with |c| <= 1.01 |g3|
//      is within Omega N / 2 for Omega = 2.08 (sqrt r mu + r w).
//    - |v|^2 = v.R - y.Qv - x1 v.g1 - x2 v.g2 <= P + (2 Lambda + Omega) N^2
//      + N (|e1| / |g1| + |e2| / |g2|).
//    So every |v.gj| <= kappa |gj|, with kappa the largest of
//    |ej| / |gj| + Lambda N and, for the third centre, |c| |Qv| / |g3| +
//    tau |v| <= Omega N + tau |v|.
// 3. The amplitudes: sum |A_j| |g_j| <= s (d + rho), with s = sqrt(3 /
//    lambda) and lambda >= 4 det / 9 for the normalised Gram matrix of
//    the trial's Gaussians, whose determinant is at least 1 - c12^2 -
//    C13^2 - C23^2: c12 bounds the row's own cosine, C13 and C23 the
//    largest over the third widths (the Gaussians are positive, so the
//    cosines lie in [0, 1] and the determinant's last term is not
//    negative). From 1 and 2:
//        d >= (P - Lambda N^2 - kappa s rho) / (|v| + kappa s).
// 4. The rounding of d~ as the plain scans sum it, as in
//    combination_bound.cpp: d~ >= ((1 - u - 4u s) d - 4u s rho - 1e-100)
//    (1 - (m + 8) u). With e = 4u s <= 0.5 and 1 / (1 - x) <= 1 + 2x for
//    x <= 0.5, d~ >= best wherever
//        low >= (|v| + kappa s) (best (1 + 2 (m + 8) u) + e rho + 1e-100)
//               (1 + 2 (u + e)),
//    low being the numerator of 3. A row is ruled out only there: then no
//    trial of it has d~ < best.
// 5. No roots are taken: any upper bounds serve for s and for |v| where it
//    enters kappa, and sqrt(a) <= (a / c + c) / 2 for any c > 0 (c = 2.6
//    for s, which is at least sqrt(27 / 4); c = best for |v|). One division
//    gives 1 / (det gram), from which 1 / det (for x, which need not be
//    exact) and 1 / gram (with a margin for its three roundings). In the last
//    comparison |v| is kept: with the right side's other factor T and A =
//    low - kappa s T, it holds wherever A >= low / 2 and A^2 >= |v|^2 T^2.
// Every rounding of the tables and of the row's own operations is covered
// at least twice by Lambda and Omega; those of the last comparison, whose
// terms are all positive, by a factor 1 + 1e-9 on each side's few
// roundings; and low is required to keep half of P, so that its
// subtractions cannot cancel.
#include "search/row_bound.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "search/combination_trials.h"
#include "search/lanes.h"

namespace peakfold::search {

namespace {

constexpr double u = std::numeric_limits<double>::epsilon() / 2;
constexpr double kLeastDeterminant = 1e-6;  // of the normalised trial Gram matrix
constexpr double kMostOffIdentity = 1e-3;   // r w, for the basis to serve

// The row table of centre kj of scan j against the basis of a third
// centre, one entry per width padded to whole sets of eight lanes: rank
// rows of the products p~j = Q gj, then hjj = gj.gj - p~j.p~j, the squared
// largest cosine with any third Gaussian (from above: each product within
// mu of exact relative to the norms, each norm within mu of its computed
// root), |gj| from above, 1 / |gj| from above, and 1 / root(gj.gj) as
// computed. All of it depends on the grid alone.
enum RowTablePart { kH, kCosine, kNorm, kInverse, kRootInverse, kParts };

std::size_t padded(std::size_t n) {
    return (n + 7) / 8 * 8;
}

// What the rows of a combination share, and where their entries lie.
struct RowInputs {
    const double *first, *second;  // the two row tables
    const double *q12, *r1, *r2;
    double* column;  // p~1 of the first width under way, rank entries
    int rank = 0;
    std::size_t nb1 = 0, pad1 = 0, pad2 = 0;
    double Rperp, Lambda, Omega, tau, rho, best, mu;
    double bestRoot, bestInverse;  // c and 1 / c for the bound on |v|
    double* ruledOut;              // pad2 entries per first width
};

// Rows (i1, i2 .. i2 + N - 1), the proof's steps term for term.
template <int N>
[[gnu::always_inline]] inline void rowLanes(const RowInputs& in, std::size_t i1, std::size_t i2) {
    using lanes::load;
    using lanes::magnitude;
    using V = typename lanes::Lanes<N>::Values;
    const V zero = {};
    const V one = zero + 1;
    const std::size_t pad = in.pad2, parts = static_cast<std::size_t>(in.rank) * pad;
    const std::size_t pad1 = in.pad1, parts1 = static_cast<std::size_t>(in.rank) * pad1;
    // p~1.p~2 in four running sums, any order of summation suiting the bound.
    const auto term = [&](int a) {
        return in.column[a] * load<V>(in.second + static_cast<std::size_t>(a) * pad + i2);
    };
    V s0 = zero, s1 = zero, s2 = zero, s3 = zero;
    int a = 0;
    for (; a + 4 <= in.rank; a += 4) {
        s0 += term(a);
        s1 += term(a + 1);
        s2 += term(a + 2);
        s3 += term(a + 3);
    }
    for (; a < in.rank; ++a) s0 += term(a);
    const V products = (s0 + s1) + (s2 + s3);
    const V G12 = load<V>(in.q12 + i1 * pad + i2), r2 = load<V>(in.r2 + i2);
    const V h22 = load<V>(in.second + parts + kH * pad + i2);
    const V g2 = load<V>(in.second + parts + kNorm * pad + i2);
    const V g2inverse = load<V>(in.second + parts + kInverse * pad + i2);
    const double r1 = in.r1[i1], h11 = in.first[parts1 + kH * pad1 + i1];
    const double L = in.Lambda, O = in.Omega, rho = in.rho;
    const V h12 = G12 - products;
    const V det = h11 * h22 - h12 * h12;
    // The row's own cosine, from above as the largest ones are, and the
    // trial Gram matrix's determinant from below.
    const V g2root = load<V>(in.second + parts + kRootInverse * pad + i2);
    V c12 = G12 * in.first[parts1 + kRootInverse * pad1 + i1] * g2root * (1 + 1e-12) +
            (2 * in.mu + 1e-12);
    c12 = c12 < one ? c12 : one;
    const V cos23 = load<V>(in.second + parts + kCosine * pad + i2);
    const V gram = 1 - (c12 * c12 + (in.first[parts1 + kCosine * pad1 + i1] + cos23));
    // One division for both reciprocals: 1 / det near enough (any x1, x2
    // serve), 1 / gram from above.
    const V both = 1 / (det * gram);
    const V inverse = gram * both;
    const V gramInverse = det * both * (1 + 1e-9);
    const V x1 = (h22 * r1 - h12 * r2) * inverse, x2 = (h11 * r2 - h12 * r1) * inverse;
    const V P = in.Rperp - (x1 * r1 + x2 * r2);
    const V e1 = magnitude<N>(r1 - x1 * h11 - x2 * h12) * in.first[parts1 + kInverse * pad1 + i1];
    const V e2 = magnitude<N>(r2 - x1 * h12 - x2 * h22) * g2inverse;
    const V n =
        rho + magnitude<N>(x1) * in.first[parts1 + kNorm * pad1 + i1] + magnitude<N>(x2) * g2;
    const V nn = n * n;
    const V vv = (P + (2 * L + O) * nn + n * (e1 + e2)) * (1 + 1e-9);      // |v|^2, from above
    const V v = (vv * in.bestInverse + in.bestRoot) * (0.5 * (1 + 1e-9));  // |v|, from above
    const V e12 = e1 > e2 ? e1 : e2;
    const V kappaG = e12 + L * n, kappa3 = O * n + in.tau * v;
    const V kappa = kappaG > kappa3 ? kappaG : kappa3;
    constexpr double c = 2.6;
    const V spread = (27 / (4 * c * (1 - 1e-9)) * gramInverse + c) * (0.5 * (1 + 1e-9));
    const V ks = kappa * spread;
    const V low = P - L * nn - ks * rho;
    const V e = 4 * u * spread;
    const V T = (in.best + e * rho + 1e-100) * (1 + 2 * (u + e)) * (1 + 1e-9);
    const V A = low - ks * T;
    const V out = det > 0 ? one : zero;
    const V out2 = gram > kLeastDeterminant ? out : zero;
    const V out3 = low >= 0.5 * P ? out2 : zero;
    const V out4 = e < 0.5 ? out3 : zero;
    const V out5 = ks * T <= 0.5 * low ? out4 : zero;  // so that A keeps half of low
    lanes::store(in.ruledOut + i1 * pad + i2, A * A >= vv * (T * T) * (1 + 1e-9) ? out5 : zero);
}

template <int N>
[[gnu::always_inline]] inline void rowsInLanes(const RowInputs& in) {
    for (std::size_t i1 = 0; i1 < in.nb1; ++i1) {
        for (int a = 0; a < in.rank; ++a) in.column[a] = in.first[a * in.pad1 + i1];
        for (std::size_t i2 = 0; i2 < in.pad2; i2 += N) rowLanes<N>(in, i1, i2);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("avx512f")]] void rowsAvx512(const RowInputs& in) {
    rowsInLanes<8>(in);
}
[[gnu::target("avx2")]] void rowsAvx2(const RowInputs& in) {
    rowsInLanes<4>(in);
}
#endif
void rowsBaseline(const RowInputs& in) {
    rowsInLanes<2>(in);
}

void rows(const RowInputs& in) {
    static const int widest = lanes::widestLanes();
    switch (widest) {
#if defined(__x86_64__) && defined(__GNUC__)
        case 8:
            return rowsAvx512(in);
        case 4:
            return rowsAvx2(in);
#endif
        default:
            return rowsBaseline(in);
    }
}

}  // namespace

// Slot (j, kj, k3) of the row tables, made from the slab of centre kj, the
// pair table of scans j and 3 and the slab of centre k3.
const double* RowBound::table(int j, std::size_t kj, std::size_t k3, const double* slab,
                              const double* pairs, const double* slab3) {
    CombinationGeometry& geometry = bound_.geometry();
    const CombinationGeometry::Centre& c3 = geometry.centre(3, k3);
    const int m = grid_.m, r = c3.rank;
    const std::size_t nb = grid_.widths[j].size(), nb3 = grid_.widths[3].size();
    const std::size_t pad = padded(nb), p3 = grid_.padded(3);
    const std::size_t size = (static_cast<std::size_t>(r) + kParts) * pad;
    const std::vector<double>& made = geometry.rowTable(j, kj, k3, size * sizeof(double), [&] {
        std::vector<double> out(size, 0.0);
        innerProducts(c3.rows.data(), r, slab, static_cast<int>(nb), m, out.data(), pad);
        double* part = out.data() + static_cast<std::size_t>(r) * pad;
        const double* sums = slab + nb * m;
        const double* root3 = slab3 + nb3 * m + 2 * p3;
        const double mu = 2 * (m + 2) * u;
        for (std::size_t i = 0; i < nb; ++i) {
            double squares = 0;
            for (int a = 0; a < r; ++a) squares += out[a * pad + i] * out[a * pad + i];
            part[kH * pad + i] = sums[grid_.padded(j) + i] - squares;
            const double rootG = sums[2 * grid_.padded(j) + i];
            const double inverse = 1 / rootG;
            double largest = 0;
            for (std::size_t i3 = 0; i3 < nb3; ++i3) {
                largest = std::max(largest, pairs[i * p3 + i3] / root3[i3]);
            }
            const double cosine = std::min(1.0, largest * inverse * (1 + 1e-12) + 2 * mu + 1e-12);
            part[kCosine * pad + i] = cosine * cosine;
            part[kNorm * pad + i] = rootG * (1 + mu);
            part[kInverse * pad + i] = 1 / (rootG * (1 - mu));
            part[kRootInverse * pad + i] = inverse;
        }
        return out;
    });
    return made.empty() ? nullptr : made.data();
}

bool RowBound::prepare(std::size_t k1, std::size_t k2, std::size_t k3,
                       const CombinationTables& tables, Scratch& scratch) {
    scratch.usable = false;
    const CombinationGeometry::Centre& c3 = bound_.geometry().centre(3, k3);
    const int r = c3.rank;
    if (!c3.usable || !(r * c3.orthonormality <= kMostOffIdentity)) return false;
    scratch.first = table(1, k1, k3, tables.s1, tables.q13, tables.s3);
    scratch.second = scratch.first ? table(2, k2, k3, tables.s2, tables.q23, tables.s3) : nullptr;
    if (!scratch.second) return false;
    const int m = grid_.m;
    const std::vector<double>& z = bound_.coefficients(3, k3);
    double zz = 0;
    for (int a = 0; a < r; ++a) zz += z[a] * z[a];
    scratch.Rperp = grid_.RR - zz;
    // rj = R.gj - z~.p~j for every width of the two centres.
    const auto sides = [&](const double* slab, const double* table, std::size_t nb,
                           std::vector<double>& rj) {
        const std::size_t pad = padded(nb);
        rj.assign(pad, 0.0);
        for (int a = 0; a < r; ++a) {
            const double* row = table + static_cast<std::size_t>(a) * pad;
            for (std::size_t i = 0; i < nb; ++i) rj[i] += z[a] * row[i];
        }
        for (std::size_t i = 0; i < nb; ++i) rj[i] = slab[nb * m + i] - rj[i];
    };
    sides(tables.s1, scratch.first, grid_.widths[1].size(), scratch.r1);
    sides(tables.s2, scratch.second, grid_.widths[2].size(), scratch.r2);
    scratch.ruledOut.assign(grid_.widths[1].size() * padded(grid_.widths[2].size()), 0.0);
    scratch.column.resize(r);
    scratch.rank = r;

    const double mu = 2 * (m + 2) * u, rootR = std::sqrt(static_cast<double>(r));
    scratch.Lambda = 2 * ((3 + rootR) * mu + 4 * (r + 2) * u + 32 * u);
    scratch.Omega = 1.04 * (rootR * mu + r * c3.orthonormality) * 2;
    scratch.tau = c3.tau;
    scratch.usable = true;
    return true;
}

int RowBound::rowsRuledOut(double best, const CombinationTables& tables, Scratch& s) const {
    const int m = grid_.m;
    const std::size_t nb1 = grid_.widths[1].size(), nb2 = grid_.widths[2].size();
    const std::size_t pad2 = padded(nb2);
    RowInputs in;
    in.first = s.first;
    in.second = s.second;
    in.q12 = tables.q12;
    in.r1 = s.r1.data();
    in.r2 = s.r2.data();
    in.column = s.column.data();
    in.rank = s.rank;
    in.nb1 = nb1;
    in.pad1 = padded(nb1);
    in.pad2 = pad2;
    in.Rperp = s.Rperp;
    in.Lambda = s.Lambda;
    in.Omega = s.Omega;
    in.tau = s.tau;
    in.rho = bound_.normR();
    in.best = best * (1 + 2 * (m + 8) * u);
    // Any positive c bounds |v|; c near |v| bounds it closely, and rows
    // ruled out have |v| above best.
    in.bestRoot = std::min(std::max(best, 1e-100), 1e100);
    in.bestInverse = 1 / in.bestRoot;
    in.mu = 2 * (m + 2) * u;
    in.ruledOut = s.ruledOut.data();
    rows(in);
    int count = 0;
    for (std::size_t i1 = 0; i1 < nb1; ++i1) {
        for (std::size_t i2 = 0; i2 < nb2; ++i2) count += s.ruledOut[i1 * pad2 + i2] != 0;
    }
    return count;
}

}  // namespace peakfold::search
