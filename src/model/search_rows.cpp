// Rows of three-Gaussian trials in vector lanes: four at once where the
// processor has AVX2, two at once otherwise. Only element-wise +, -, *, /
// and comparisons are used, each rounded as the scalar operation is.
#include <cstring>
#include <limits>

#include "model/search_bounds.h"
#include "model/search_steps.h"

// The helpers below pass vectors by value but are always inlined, so no
// call ever crosses an interface where the vectors' ABI could matter.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace peakfold::search {

namespace {

template <int N>
struct Lanes {
    typedef double Values __attribute__((vector_size(N * sizeof(double))));
    typedef long long Mask __attribute__((vector_size(N * sizeof(double))));
};

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// Trials i .. i + N - 1 of the row.
template <int N>
[[gnu::always_inline]] inline void solveLanes(const TrialRow& row, double best, int i, double* A1,
                                              double* A2, double* A3, double* verdict) {
    using V = typename Lanes<N>::Values;
    constexpr double u = std::numeric_limits<double>::epsilon() / 2;
    const V zero = {};
    const V one = zero + 1;
    const double y1 = row.y1, a = row.a, c = row.c, d = row.d;
    // The parts of the solve that stay the same along the row, in the
    // solve's own order of operations.
    const double ca = 1 - c * a, fda = row.f - d * a;
    const double y2c = row.y2 - c * y1, y3d = row.y3 - d * y1;

    const V b = load<V>(row.b + i);
    const V D1 = load<V>(row.e + i) - c * b;
    const V db = 1 - d * b;
    const V D2 = fda - db * ca / D1;
    const V a2 = (y3d - db * y2c / D1) / D2;
    const V a3 = (y2c - ca * a2) / D1;
    const V a1 = y1 - a * a2 - b * a3;
    store(A1 + i, a1);
    store(A2 + i, a2);
    store(A3 + i, a3);

    // The bound of deviationLowerBound, term for term, up to its root.
    const TrialSums& s = row.sums;
    const int m = row.m;
    const V S = s.RR - 2 * (a1 * s.RG[1] + a2 * s.RG[2] + a3 * load<V>(row.RG3 + i)) +
                (a1 * a1 * s.GG[1] + a2 * a2 * s.GG[2] + a3 * a3 * load<V>(row.GG3 + i)) +
                2 * (a1 * a2 * s.G12 + a1 * a3 * load<V>(row.G13 + i) +
                     a2 * a3 * load<V>(row.G23 + i));
    const V m1 = a1 < 0 ? -a1 : a1, m2 = a2 < 0 ? -a2 : a2, m3 = a3 < 0 ? -a3 : a3;
    const V rootT = s.rootRR + m1 * s.rootGG[1] + m2 * s.rootGG[2] + m3 * load<V>(row.rootGG3 + i);
    const V spread = 1 + m1 + m2 + m3;
    const V low = S - (2 * (m + 32) * u * rootT * rootT + m * 1e-300 * spread * spread);
    // That bound is (root(low) - 14 u rootT - 1e-100) (1 - 2 (m + 8) u),
    // rounded at each step. It is at least best wherever root(low) reaches
    // best and the subtracted margins, each with a relative slack of 1e-10
    // that covers every rounding of the bound and of this test; squared,
    // with a further slack of 1e-9 for the rounding of the square.
    constexpr double slack = 1 + 1e-10;
    const V reach = best * slack + 14 * u * rootT * slack + 2e-100;
    const V enough = reach * reach * (1 + 1e-9);
    const V solvable = ((D1 > kMinimumD1) & (D2 != 0)) ? one : zero;
    const V hopeless = low >= enough ? one : zero;
    store(verdict + i, solvable == 0 ? kDegenerate + zero
                       : hopeless == 1 ? kCannotImprove + zero
                                       : kMaySum + zero);
}

template <int N>
[[gnu::always_inline]] inline void solveAll(const TrialRow& row, double best, int count,
                                            double* A1, double* A2, double* A3, double* verdict) {
    int i = 0;
    for (; i + N <= count; i += N) solveLanes<N>(row, best, i, A1, A2, A3, verdict);
    for (; i < count; ++i) solveLanes<1>(row, best, i, A1, A2, A3, verdict);  // the last few
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("avx512f")]] void solveRowAvx512(const TrialRow& row, double best, int count,
                                              double* A1, double* A2, double* A3, double* verdict) {
    solveAll<8>(row, best, count, A1, A2, A3, verdict);
}

[[gnu::target("avx2")]] void solveRowAvx2(const TrialRow& row, double best, int count, double* A1,
                                         double* A2, double* A3, double* verdict) {
    solveAll<4>(row, best, count, A1, A2, A3, verdict);
}
#endif

void solveRowBaseline(const TrialRow& row, double best, int count, double* A1, double* A2,
                      double* A3, double* verdict) {
    solveAll<2>(row, best, count, A1, A2, A3, verdict);
}

// The most lanes this processor has.
int widestLanes() {
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx512f")) return 8;
    if (__builtin_cpu_supports("avx2")) return 4;
#endif
    return 2;
}

}  // namespace

bool solveRowInLanes(int lanes, const TrialRow& row, double best, int count, double* A1,
                     double* A2, double* A3, double* verdict) {
    if (lanes > widestLanes()) return false;
    switch (lanes) {
#if defined(__x86_64__) && defined(__GNUC__)
        case 8:
            solveRowAvx512(row, best, count, A1, A2, A3, verdict);
            return true;
        case 4:
            solveRowAvx2(row, best, count, A1, A2, A3, verdict);
            return true;
#endif
        case 2:
            solveRowBaseline(row, best, count, A1, A2, A3, verdict);
            return true;
        default:
            return false;
    }
}

void solveRow(const TrialRow& row, double best, int count, double* A1, double* A2, double* A3,
              double* verdict) {
    static const int lanes = widestLanes();
    solveRowInLanes(lanes, row, best, count, A1, A2, A3, verdict);
}

}  // namespace peakfold::search
