// Rows of three-Gaussian trials in vector lanes: eight at once where the
// processor has AVX-512, four where it has AVX2, two otherwise. Only
// element-wise +, -, *, / and comparisons are used, each rounded as the
// scalar operation is.
#include <limits>

#include "search/lanes.h"
#include "search/search_bounds.h"
#include "search/search_steps.h"

namespace peakfold::search {

namespace {

using lanes::Lanes;
using lanes::load;
using lanes::magnitude;
using lanes::store;
using lanes::widestLanes;

// What stays the same down a set of N trials of the block, one third width
// a lane: every part of the solve and of the bound that does not involve
// the second width, computed once for all the block's rows in the solve's
// own order of operations.
template <int N>
struct LaneParts {
    using V = typename Lanes<N>::Values;
    V b, D1, db, n2, RG3, GG3, rootGG3, G13;

    [[gnu::always_inline]] LaneParts(const TrialRow& row, int i) {
        const double y2c = row.y2 - row.c * row.y1, y3d = row.y3 - row.d * row.y1;
        b = load<V>(row.b + i);
        D1 = load<V>(row.e + i) - row.c * b;
        db = 1 - row.d * b;
        n2 = y3d - db * y2c / D1;
        RG3 = load<V>(row.RG3 + i);
        GG3 = load<V>(row.GG3 + i);
        rootGG3 = load<V>(row.rootGG3 + i);
        G13 = load<V>(row.G13 + i);
    }
};

// Trials i .. i + N - 1 of the row.
template <int N>
[[gnu::always_inline]] inline void solveLanes(const TrialRow& row, const LaneParts<N>& lane,
                                              double best, int i, double* A1, double* A2,
                                              double* A3, double* verdict) {
    using V = typename Lanes<N>::Values;
    constexpr double u = std::numeric_limits<double>::epsilon() / 2;
    const V zero = {};
    const V one = zero + 1;
    const double y1 = row.y1, a = row.a, c = row.c, d = row.d;
    // The parts of the solve that stay the same along the row, in the
    // solve's own order of operations.
    const double ca = 1 - c * a, fda = row.f - d * a;
    const double y2c = row.y2 - c * y1;

    const V D1 = lane.D1, b = lane.b;
    const V D2 = fda - lane.db * ca / D1;
    const V a2 = lane.n2 / D2;
    const V a3 = (y2c - ca * a2) / D1;
    const V a1 = y1 - a * a2 - b * a3;
    store(A1 + i, a1);
    store(A2 + i, a2);
    store(A3 + i, a3);

    // The bound of deviationLowerBound, term for term, up to its root.
    const TrialSums& s = row.sums;
    const int m = row.m;
    const V S = s.RR + (a1 * ((a1 * s.GG[1] - 2 * s.RG[1]) + 2 * (a2 * s.G12 + a3 * lane.G13)) +
                        (a2 * ((a2 * s.GG[2] - 2 * s.RG[2]) + 2 * (a3 * load<V>(row.G23 + i))) +
                         a3 * (a3 * lane.GG3 - 2 * lane.RG3)));
    const V m1 = magnitude<N>(a1), m2 = magnitude<N>(a2), m3 = magnitude<N>(a3);
    const V rootT = s.rootRR + m1 * s.rootGG[1] + m2 * s.rootGG[2] + m3 * lane.rootGG3;
    const V spread = 1 + m1 + m2 + m3;
    const V low = S - (2 * (m + 32) * u * rootT * rootT + m * 1e-300 * spread * spread);
    // That bound is (root(low) - 14 u rootT - 1e-100) (1 - 2 (m + 8) u),
    // rounded at each step. It is at least best wherever root(low) reaches
    // best and the subtracted margins, each with a relative slack of 1e-10
    // that covers every rounding of the bound and of this test; squared,
    // with a further slack of 1e-9 for the rounding of the square.
    constexpr double slack = 1 + 1e-10;
    const double reachOfBest = best * slack + 2e-100, reachPerRoot = 14 * u * slack;
    const V reach = reachOfBest + reachPerRoot * rootT;
    const V enough = reach * reach * (1 + 1e-9);
    // One comparison per selection: GCC turns two comparisons combined
    // into lane-by-lane code in the widest lanes.
    const V solvable = (D1 > kMinimumD1 ? D2 : zero) != 0 ? one : zero;
    const V hopeless = low >= enough ? one : zero;
    static_assert(kDegenerate == -1 && kCannotImprove == 0 && kMaySum == 1);
    store(verdict + i, solvable * (2 - hopeless) - 1);
}

// Every row of the block for trials i .. i + N - 1 of each.
template <int N>
[[gnu::always_inline]] inline void solveColumn(const TrialBlock& block, double best, int i,
                                               double* A1, double* A2, double* A3,
                                               double* verdict) {
    const LaneParts<N> lane(block.row, i);
    TrialRow row = block.row;
    for (int r = 0; r < block.rows; ++r) {
        row.a = block.a[r];
        row.f = block.f[r];
        row.sums.RG[2] = block.RG2[r];
        row.sums.GG[2] = block.GG2[r];
        row.sums.rootGG[2] = block.rootGG2[r];
        row.sums.G12 = block.G12[r];
        const std::size_t at = static_cast<std::size_t>(r) * block.stride;
        row.G23 = block.G23 + at;
        solveLanes<N>(row, lane, best, i, A1 + at, A2 + at, A3 + at, verdict + at);
    }
}

// The trials from i to the end of the rows, fewer than 2 N: N lanes at once
// where they fill more than half of them, fewer lanes for the rest. A
// vector that sticks out of the rows works on their padding.
template <int N>
[[gnu::always_inline]] inline void solveTail(const TrialBlock& block, double best, int i,
                                             double* A1, double* A2, double* A3,
                                             double* verdict) {
    if (2 * (block.count - i) > N) {
        solveColumn<N>(block, best, i, A1, A2, A3, verdict);
        i += N;
    }
    if constexpr (N > 1) {
        if (i < block.count) solveTail<N / 2>(block, best, i, A1, A2, A3, verdict);
    }
}

// How many of a row's verdicts are of each kind. With verdicts of -1, 0 and
// 1, their sum and the sum of their squares tell both counts; summed in
// lanes, these small whole numbers are exact.
template <int N>
[[gnu::always_inline]] inline RowSummary summarise(const double* verdict, int count) {
    using V = typename Lanes<N>::Values;
    V sum = {}, squares = {};
    int k = 0;
    for (; k + N <= count; k += N) {
        const V v = load<V>(verdict + k);
        sum += v;
        squares += v * v;
    }
    double total = 0, totalSquares = 0;
    for (int l = 0; l < N; ++l) {
        total += sum[l];
        totalSquares += squares[l];
    }
    for (; k < count; ++k) {
        total += verdict[k];
        totalSquares += verdict[k] * verdict[k];
    }
    static_assert(kDegenerate == -1 && kCannotImprove == 0 && kMaySum == 1);
    const int maySum = static_cast<int>((totalSquares + total) / 2);
    const int degenerate = static_cast<int>((totalSquares - total) / 2);
    return {count - degenerate, maySum};
}

template <int N>
[[gnu::always_inline]] inline void solveBlockLanes(const TrialBlock& block, double best,
                                                   double* A1, double* A2, double* A3,
                                                   double* verdict, RowSummary* summaries) {
    int i = 0;
    for (; i + N <= block.count; i += N) solveColumn<N>(block, best, i, A1, A2, A3, verdict);
    if (i < block.count) solveTail<N>(block, best, i, A1, A2, A3, verdict);
    for (int r = 0; r < block.rows; ++r) {
        summaries[r] = summarise<N>(verdict + static_cast<std::size_t>(r) * block.stride,
                                    block.count);
    }
}

// The inner products of rows 0 .. BX - 1 of x with rows 0 .. BY - 1 of y,
// rows m apart, into out[a * stride + b]; each loaded value serves every
// product it enters. Each product has eight running sums, element i going
// to sum i mod 8, added up pairwise at the end: the same sums in every lane
// width and every block.
template <int N, int BX, int BY>
[[gnu::always_inline]] inline void innerBlock(const double* x, const double* y, int m,
                                              double* out, std::size_t stride) {
    using V = typename Lanes<N>::Values;
    constexpr int kVectors = 8 / N;
    V sums[BX][BY][kVectors] = {};
    int i = 0;
    // Unrolled in full, so that the sums stay in registers.
    for (; i + 8 <= m; i += 8) {
#pragma GCC unroll 8
        for (int k = 0; k < kVectors; ++k) {
            V xs[BX], ys[BY];
#pragma GCC unroll 8
            for (int a = 0; a < BX; ++a) xs[a] = load<V>(x + a * m + i + k * N);
#pragma GCC unroll 8
            for (int b = 0; b < BY; ++b) ys[b] = load<V>(y + b * m + i + k * N);
#pragma GCC unroll 8
            for (int a = 0; a < BX; ++a) {
#pragma GCC unroll 8
                for (int b = 0; b < BY; ++b) sums[a][b][k] += xs[a] * ys[b];
            }
        }
    }
    for (int a = 0; a < BX; ++a) {
        for (int b = 0; b < BY; ++b) {
            double s[8];
            std::memcpy(s, sums[a][b], sizeof s);
            for (int k = i, j = 0; k < m; ++k, ++j) s[j] += x[a * m + k] * y[b * m + k];
            out[a * stride + b] =
                ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
        }
    }
}

// Every row of x with every row of y, in blocks of BX by BY rows where
// they fill one.
template <int N, int BX, int BY>
[[gnu::always_inline]] inline void innerRows(const double* x, int nx, const double* y, int ny,
                                             int m, double* out, std::size_t stride) {
    const std::size_t rowStep = static_cast<std::size_t>(m);
    int a = 0;
    for (; a + BX <= nx; a += BX) {
        int b = 0;
        for (; b + BY <= ny; b += BY) {
            innerBlock<N, BX, BY>(x + a * rowStep, y + b * rowStep, m, out + a * stride + b,
                                  stride);
        }
        for (; b < ny; ++b) {
            innerBlock<N, BX, 1>(x + a * rowStep, y + b * rowStep, m, out + a * stride + b,
                                 stride);
        }
    }
    for (; a < nx; ++a) {
        for (int b = 0; b < ny; ++b) {
            innerBlock<N, 1, 1>(x + a * rowStep, y + b * rowStep, m, out + a * stride + b, stride);
        }
    }
}

template <int N>
[[gnu::always_inline]] inline void subtractLanes(double* v, const double* x, double a, int m) {
    using V = typename Lanes<N>::Values;
    int i = 0;
    for (; i + N <= m; i += N) store(v + i, load<V>(v + i) - a * load<V>(x + i));
    for (; i < m; ++i) v[i] -= a * x[i];
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("avx512f")]] void subtractAvx512(double* v, const double* x, double a, int m) {
    subtractLanes<8>(v, x, a, m);
}
[[gnu::target("avx2")]] void subtractAvx2(double* v, const double* x, double a, int m) {
    subtractLanes<4>(v, x, a, m);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("avx512f")]] void innerAvx512(const double* x, int nx, const double* y, int ny,
                                            int m, double* out, std::size_t stride) {
    innerRows<8, 2, 4>(x, nx, y, ny, m, out, stride);
}

[[gnu::target("avx2")]] void innerAvx2(const double* x, int nx, const double* y, int ny, int m,
                                       double* out, std::size_t stride) {
    innerRows<4, 2, 2>(x, nx, y, ny, m, out, stride);
}
#endif

void innerBaseline(const double* x, int nx, const double* y, int ny, int m, double* out,
                   std::size_t stride) {
    innerRows<2, 1, 2>(x, nx, y, ny, m, out, stride);
}

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("avx512f")]] void solveBlockAvx512(const TrialBlock& block, double best, double* A1,
                                                double* A2, double* A3, double* verdict,
                                                RowSummary* summaries) {
    solveBlockLanes<8>(block, best, A1, A2, A3, verdict, summaries);
}

[[gnu::target("avx2")]] void solveBlockAvx2(const TrialBlock& block, double best, double* A1,
                                           double* A2, double* A3, double* verdict,
                                           RowSummary* summaries) {
    solveBlockLanes<4>(block, best, A1, A2, A3, verdict, summaries);
}
#endif

void solveBlockBaseline(const TrialBlock& block, double best, double* A1, double* A2, double* A3,
                        double* verdict, RowSummary* summaries) {
    solveBlockLanes<2>(block, best, A1, A2, A3, verdict, summaries);
}

using SolveBlock = void (*)(const TrialBlock&, double, double*, double*, double*, double*,
                            RowSummary*);

// The solve of that many lanes, or nothing where the processor lacks them.
SolveBlock solveIn(int lanes) {
    if (lanes > widestLanes()) return nullptr;
    switch (lanes) {
#if defined(__x86_64__) && defined(__GNUC__)
        case 8:
            return solveBlockAvx512;
        case 4:
            return solveBlockAvx2;
#endif
        case 2:
            return solveBlockBaseline;
        default:
            return nullptr;
    }
}

}  // namespace

bool solveBlockInLanes(int lanes, const TrialBlock& block, double best, double* A1, double* A2,
                       double* A3, double* verdict, RowSummary* summaries) {
    const SolveBlock solve = solveIn(lanes);
    if (solve) solve(block, best, A1, A2, A3, verdict, summaries);
    return solve != nullptr;
}

void solveBlock(const TrialBlock& block, double best, double* A1, double* A2, double* A3,
                double* verdict, RowSummary* summaries) {
    static const SolveBlock solve = solveIn(widestLanes());
    solve(block, best, A1, A2, A3, verdict, summaries);
}

void innerProducts(const double* x, int nx, const double* y, int ny, int m, double* out,
                   std::size_t stride) {
    static const int lanes = widestLanes();
    switch (lanes) {
#if defined(__x86_64__) && defined(__GNUC__)
        case 8:
            return innerAvx512(x, nx, y, ny, m, out, stride);
        case 4:
            return innerAvx2(x, nx, y, ny, m, out, stride);
#endif
        default:
            return innerBaseline(x, nx, y, ny, m, out, stride);
    }
}

void subtractScaled(double* v, const double* x, double a, int m) {
    static const int lanes = widestLanes();
    switch (lanes) {
#if defined(__x86_64__) && defined(__GNUC__)
        case 8:
            return subtractAvx512(v, x, a, m);
        case 4:
            return subtractAvx2(v, x, a, m);
#endif
        default:
            return subtractLanes<2>(v, x, a, m);
    }
}

double innerProduct(const double* x, const double* y, int m) {
    double product = 0;
    innerProducts(x, 1, y, 1, m, &product, 1);
    return product;
}

}  // namespace peakfold::search
