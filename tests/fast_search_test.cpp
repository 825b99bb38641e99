#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "headless_toolkit.h"
#include "model/equation.h"
#include "search/combination_bound.h"
#include "search/combination_trials.h"
#include "search/fit_search.h"
#include "model/numbers.h"
#include "search/search_bounds.h"
#include "search/search_steps.h"
#include "search_recorder.h"

namespace peakfold {
namespace {

// Uniform numbers from a fixed generator, the same on every platform.
struct Random {
    std::mt19937_64 engine;
    explicit Random(std::uint64_t seed) : engine(seed) {}
    double uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(engine() >> 11) * 0x1p-53;
    }
    int integer(int low, int high) {  // inclusive
        return low + static_cast<int>(engine() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool chance(double p) { return uniform(0, 1) < p; }
};

// Everything a search leaves behind, compared bit for bit.
void expectSameState(const State& a, const State& b, const std::string& what) {
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_TRUE(sameBits(a.EqIo[i], b.EqIo[i])) << what << " EqIo " << i;
        EXPECT_TRUE(sameBits(a.EqW[i], b.EqW[i])) << what << " EqW " << i;
        EXPECT_TRUE(sameBits(a.EqXo[i], b.EqXo[i])) << what << " EqXo " << i;
        EXPECT_EQ(a.EqKept[i], b.EqKept[i]) << what << " EqKept " << i;
    }
    for (int w = 0; w <= kMaxWave; ++w) {
        if (!sameBits(a.Residual[w], b.Residual[w])) {
            ADD_FAILURE() << what << " Residual " << w;
            break;
        }
    }
    EXPECT_EQ(a.PeakW, b.PeakW) << what;
    EXPECT_EQ(a.Wave, b.Wave) << what;
    EXPECT_EQ(a.CalcState, b.CalcState) << what;
    ASSERT_EQ(a.Trials.size(), b.Trials.size()) << what;
    for (int t = 1; t <= a.Trials.size(); ++t) {
        EXPECT_TRUE(sameBits(a.Trials.get(t, 0, 0), b.Trials.get(t, 0, 0)))
            << what << " trial " << t;
        for (int g = 1; g <= 3; ++g) {
            for (int item = 1; item <= 3; ++item) {
                EXPECT_TRUE(sameBits(a.Trials.get(t, g, item), b.Trials.get(t, g, item)))
                    << what << " trial " << t << " cell " << g << "," << item;
            }
        }
    }
}

// Runs the plain search and the fast one on 1, 2 and 8 worker threads, on
// copies of the state, with an abort at pump `abortAt` (0: none), and
// expects the same calls, results and state.
void expectSameSearch(const State& start, int n, double Q, int abortAt, const std::string& what) {
    State slow = start;
    SearchRecorder slowCalls;
    slowCalls.onPump = [&](int pump) {
        if (pump == abortAt) slow.CalcState = kAbort;
    };
    const SearchResult expected = FitSearch(slow, n, Q, slowCalls.progress());
    for (const int threads : {1, 2, 8}) {
        const std::string run = what + ", " + std::to_string(threads) + " threads";
        State fast = start;
        SearchRecorder fastCalls;
        fastCalls.onPump = [&](int pump) {
            if (pump == abortAt) fast.CalcState = kAbort;
        };
        const SearchResult got = FitSearchFast(fast, n, Q, fastCalls.progress(), threads);
        EXPECT_EQ(got.found, expected.found) << run;
        EXPECT_EQ(got.tooManyKept, expected.tooManyKept) << run;
        // The trials of combinations and rows ruled out as a whole are
        // never solved.
        if (got.counts.ruledOut == 0 && got.counts.rowsRuledOut == 0) {
            EXPECT_EQ(got.counts.evaluated, expected.counts.evaluated) << run;
        } else {
            EXPECT_LT(got.counts.evaluated, expected.counts.evaluated) << run;
        }
        EXPECT_EQ(got.counts.checks, expected.counts.checks) << run;
        EXPECT_LE(got.counts.terms, expected.counts.terms) << run;
        ASSERT_EQ(fastCalls.events.size(), slowCalls.events.size()) << run;
        for (size_t i = 0; i < slowCalls.events.size(); ++i) {
            ASSERT_EQ(fastCalls.events[i], slowCalls.events[i]) << run << " call " << i;
        }
        expectSameState(slow, fast, run);
    }
}

// A scan's cost in deviation terms for the plain search, roughly.
double plainCost(const State& s, int n, double Q) {
    double trials = 1;
    for (int g = 1; g <= n; ++g) {
        trials *= (0.6 * s.PeakW[g] + 1) * (std::max<int>(s.PeakW[g], 0) / Q + 1);
    }
    const double terms = std::max(0, s.PeakW[0] - static_cast<int>(s.PeakX[0])) / std::round(Q) + 1;
    return trials * terms;
}

struct Generated {
    State s;
    int n = 3;
    double Q = 1;
    int abortAt = 0;
};

// A random sum of one to three Gaussians with noise and a sloping
// baseline, random picks near its peaks, a random quality, kept slots and
// fit range, kept within a cost the plain search does in a moment.
Generated generate(Random& rnd, double budget) {
    Generated g;
    State& s = g.s;
    const int peaks = rnd.integer(1, 3);
    double centre[3], width[3];
    for (int p = 0; p < peaks; ++p) {
        centre[p] = rnd.uniform(250, 950);
        width[p] = rnd.uniform(2, 40);
        const double amplitude = rnd.chance(0.15) ? -rnd.uniform(5, 60) : rnd.uniform(5, 100);
        for (int w = 0; w <= kMaxWave; ++w)
            s.Spectrum[w] += GaussianValue(amplitude, centre[p], width[p], w);
    }
    const double noise = rnd.chance(0.3) ? 0 : rnd.uniform(0, 4);
    const double base = rnd.uniform(-5, 20), slope = rnd.uniform(-0.02, 0.02);
    for (int w = 0; w <= kMaxWave; ++w) {
        s.Spectrum[w] += base + slope * (w - 500) + rnd.uniform(-noise, noise);
    }
    g.n = rnd.integer(1, 3);
    do {
        g.Q = rnd.chance(0.3) ? rnd.integer(1, 12) : rnd.uniform(0.6, 12);
        for (int p = 1; p <= 3; ++p) {
            const int near = std::min(p - 1, peaks - 1);
            const double guess =
                rnd.chance(0.2) ? rnd.uniform(0, 1010) : centre[near] + rnd.uniform(-8, 8);
            s.PeakX[p] = rnd.chance(0.5) ? std::round(guess) : guess;
            s.PeakW[p] = static_cast<int16_t>(rnd.integer(0, g.n == 3 ? 14 : 30));
        }
        const double mid = s.PeakX[1];
        switch (rnd.integer(0, 5)) {
            case 0:  // reaching past the left end
                s.PeakX[0] = rnd.integer(-40, 5);
                s.PeakW[0] = static_cast<int16_t>(rnd.integer(100, 400));
                break;
            case 1:  // reaching past the right end
                s.PeakX[0] = rnd.integer(600, 900);
                s.PeakW[0] = static_cast<int16_t>(rnd.integer(1005, 1100));
                break;
            case 2:  // empty
                s.PeakX[0] = mid + 20;
                s.PeakW[0] = static_cast<int16_t>(mid - rnd.integer(0, 30));
                break;
            default:
                s.PeakX[0] = rnd.chance(0.5) ? std::round(mid - rnd.uniform(20, 200)) : mid - 50.5;
                s.PeakW[0] = static_cast<int16_t>(mid + rnd.uniform(20, 200));
        }
    } while (plainCost(s, g.n, g.Q) > budget);
    for (int i = 1; i <= kLastSlot; ++i) {
        if (!rnd.chance(0.25)) continue;
        s.EqKept[i] = 1;
        s.EqIo[i] = rnd.uniform(-10, 30);
        s.EqXo[i] = rnd.uniform(200, 1000);
        s.EqW[i] = rnd.chance(0.1) ? 0 : rnd.uniform(1, 50);
    }
    for (int w = 0; w <= kMaxWave; ++w) s.Residual[w] = rnd.chance(0.5) ? rnd.uniform(0, 100) : 0;
    s.CalcState = kProcessing;
    g.abortAt = rnd.chance(0.2) ? rnd.integer(1, 60) : 0;
    return g;
}

// With the winner of a neighbouring spectrum's search handed in, the fast
// search starts from that trial's deviation here: its records may be fewer,
// its answer must be the plain search's.
void expectSameAnswer(const State& start, int n, double Q, const NeighbourTrial& neighbour,
                      const std::string& what) {
    State slow = start;
    const SearchResult expected = FitSearch(slow, n, Q, SearchProgress{});
    for (const int threads : {1, 2, 8}) {
        const std::string run = what + " with a neighbour, " + std::to_string(threads) + " threads";
        State fast = start;
        fast.SearchNeighbour = neighbour;
        const SearchResult got = FitSearchFast(fast, n, Q, SearchProgress{}, threads);
        EXPECT_EQ(got.found, expected.found) << run;
        for (int i = 1; i <= 3; ++i) {
            EXPECT_TRUE(sameBits(slow.EqIo[i], fast.EqIo[i])) << run << " EqIo " << i;
            EXPECT_TRUE(sameBits(slow.EqW[i], fast.EqW[i])) << run << " EqW " << i;
            EXPECT_TRUE(sameBits(slow.EqXo[i], fast.EqXo[i])) << run << " EqXo " << i;
        }
    }
}

NeighbourTrial winnerOf(const State& s, int n) {
    NeighbourTrial t;
    t.n = n;
    for (int i = 1; i <= n; ++i) {
        t.c[i] = s.EqXo[i];
        t.b[i] = s.EqW[i];
    }
    return t;
}

TEST(FitSearchFast, MatchesThePlainSearchOnGeneratedSpectra) {
    Random rnd(20261208);
    for (int k = 0; k < 160; ++k) {
        const Generated g = generate(rnd, 1.5e6);
        expectSameSearch(g.s, g.n, g.Q, g.abortAt,
                         "case " + std::to_string(k) + " n=" + std::to_string(g.n) +
                             " Q=" + std::to_string(g.Q));
        if (HasFatalFailure()) return;
    }
}

// Spectra searched one after another on one grid, as a batch fits a map:
// the later searches copy the tables that do not depend on the data, and
// must still match the plain search on their own data.
TEST(FitSearchFast, MatchesThePlainSearchOnSpectraThatShareTheirGrid) {
    Random rnd(20261210);
    NeighbourTrial neighbour;  // the spectrum before's winner
    for (int spectrum = 0; spectrum < 6; ++spectrum) {
        const double drift = spectrum / 5.0;
        State s;
        for (int w = 0; w <= kMaxWave; ++w) {
            s.Spectrum[w] = GaussianValue(80, 500 + 8 * drift, 12 + 3 * drift, w) +
                            GaussianValue(50 - 30 * drift, 540 - 6 * drift, 9, w) +
                            GaussianValue(60, 600, 15 - 5 * drift, w) + rnd.uniform(-1, 1);
        }
        s.PeakX = {450, 503, 537, 601};
        s.PeakW = {650, 10, 8, 12};
        s.CalcState = kProcessing;
        const std::string what = "spectrum " + std::to_string(spectrum);
        expectSameSearch(s, 3, 2, 0, what);
        expectSameSearch(s, 3, 2, 3 + 11 * spectrum, what + " cancelled");
        if (HasFatalFailure()) return;
        State searched = s;
        FitSearch(searched, 3, 2, SearchProgress{});
        // The spectrum before's winner, and this one's own: then the
        // search starts just above the answer's deviation.
        expectSameAnswer(s, 3, 2, neighbour, what);
        neighbour = winnerOf(searched, 3);
        expectSameAnswer(s, 3, 2, neighbour, what + " (its own winner)");
    }
}

TEST(FitSearchFast, MatchesThePlainSearchAtTheEdges) {
    const struct {
        const char* what;
        int n;
        double Q;
        double left;
        int16_t right;
        int16_t halfWidth;
    } cases[] = {
        {"empty range", 3, 2, 700, 600, 6},
        {"single wavelength", 3, 1, 650, 650, 6},
        {"whole array", 3, 3, -30000, 32767, 8},
        {"quality rounding to an even 2", 2, 2.5, 400, 900, 12},
        {"quality rounding up to 1", 1, 0.51, 500, 800, 10},
        {"quality not accepted", 3, 0.5, 400, 900, 8},
        {"no widths at all", 3, 2, 400, 900, -4},
    };
    for (const auto& c : cases) {
        State s;
        for (int w = 0; w <= kMaxWave; ++w) {
            s.Spectrum[w] = GaussianValue(70, 640, 15, w) + GaussianValue(40, 660, 9, w);
        }
        s.Residual.fill(50);  // left from an earlier search, outside the fit range
        s.PeakX = {c.left, 641, 659, 700};
        s.PeakW = {c.right, c.halfWidth, c.halfWidth, c.halfWidth};
        expectSameSearch(s, c.n, c.Q, 0, c.what);
    }
    // One sampled wavelength far from every trial centre: every trial ties.
    for (int n : {1, 3}) {
        State tie;
        tie.Spectrum[1000] = 7;
        tie.PeakX = {1000, 10, 14, 18};
        tie.PeakW = {1000, 10, 5, 5};
        for (int w = 5; w <= 20; ++w) tie.Residual[w] = 50;
        expectSameSearch(tie, n, 1, 0, "ties, n = " + std::to_string(n));
        State after = tie;
        FitSearchFast(after, n, 1, {});
        EXPECT_EQ(after.Trials.size(), 1) << "the first of the equal trials stays";
    }
    // Picks no scan can step through: a centre too large for a step of 1 to
    // move it scans once, and the widest half-width is cancelled at once.
    State huge;
    huge.Spectrum.fill(40);
    huge.PeakX = {500, 1e17, 505, -1e300};
    huge.PeakW = {510, 32767, 10, 3};
    huge.CalcState = kProcessing;
    expectSameSearch(huge, 1, 1, 2, "huge picks");
    State full;
    for (int i = 4; i <= kLastSlot; ++i) full.EqKept[i] = 1;
    full.EqKept[1] = 1;
    expectSameSearch(full, 3, 2, 0, "no room for the kept slot");
}

TEST(FitSearchFast, MatchesThePlainSearchOnMeasuredSpectra) {
    const struct {
        const char* file;
        int n;
        double Q;
        double x1, x2, x3;
        int16_t w1, w2, w3;
    } cases[] = {
        {"bpea_hexane_fluorescence_3peaks.txt", 3, 3, 469, 499, 535, 10, 10, 10},
        {"rhodamine800_dmso_abs_overlap.txt", 3, 4, 697, 636, 590, 14, 10, 10},
        {"white_led_blue_plus_phosphor.txt", 2, 3, 454, 558, 0, 8, 24, 0},
        {"fluorenone_thf_fluorescence_noisy.txt", 2, 1, 482, 428, 0, 12, 6, 0},
        {"red_laser_diode_narrow.txt", 1, 1, 657, 899, 0, 20, 0, 0},
    };
    for (const auto& c : cases) {
        State s = loadedSpectrum(c.file);
        s.PeakX = {s.PeakX[0], c.x1, c.x2, c.x3};
        s.PeakW = {s.PeakW[0], c.w1, c.w2, c.w3};
        expectSameSearch(s, c.n, c.Q, 0, c.file);
    }
}

TEST(FitSearchFast, MatchesThePlainSearchOnTheTestSpectrumUntilCancelled) {
    // The benchmark's case: the built-in three Gaussians over 350..1001 with
    // the picks 715, 780 and 830, cancelled at the fourth step of the c3 scan.
    State s;
    for (int w = 350; w <= 1000; ++w) {
        s.Spectrum[w] = (30 * GaussianValue(1, 775, 20, w) + 50 * GaussianValue(1, 825, 10, w)) +
                        40 * GaussianValue(1, 720, 30, w);
    }
    double top = 0;
    for (int w = 350; w <= 1001; ++w) top = std::max(top, s.Spectrum[w]);
    for (int w = 350; w <= 1001; ++w) s.Spectrum[w] = 100 * s.Spectrum[w] / top;
    s.PeakX = {350, 715, 780, 830};
    s.PeakW = {1001, 30, 20, 10};
    s.CalcState = kProcessing;
    expectSameSearch(s, 3, 2, 4, "test spectrum, Q = 2");
}

// A trial that meets the residual exactly has a deviation of 0: the search
// stops there, as it does at any deviation below the quality.
TEST(FitSearchFast, MatchesThePlainSearchAtAnExactFit) {
    HeadlessApp app;
    app.ui.answers.push_back("");  // the built-in test spectrum
    app.ui.click(Control::GetFile);
    for (const float x : {720.0f, 775.0f, 825.0f}) app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
    ASSERT_EQ(app.ui.text(Control::PeakNbr), "Range");
    app.ui.mouseUp(Control::Graph, 1, 0, 720, 50);
    app.ui.mouseUp(Control::Graph, 2, 0, 725, 50);
    for (int n = 1; n <= 3; ++n) {
        const std::string what = "n = " + std::to_string(n);
        expectSameSearch(app.s, n, 10, 0, what);
        // A neighbour whose trial fits exactly here too: the search starts
        // from Q and stops at the first trial below it.
        State searched = app.s;
        FitSearch(searched, n, 10, SearchProgress{});
        expectSameAnswer(app.s, n, 10, winnerOf(searched, n), what);
    }

    app.ui.click(Control::Calculate);  // at Quality 10, three Gaussians
    ASSERT_EQ(app.ui.listLines().size(), 1u);
    EXPECT_EQ(app.s.EqXo[1], 720);
    EXPECT_EQ(app.s.EqW[1], 10);
    EXPECT_NEAR(app.s.EqIo[1], 79.68, 0.005);
}

// Typed half-widths can make one centre combination hold millions of width
// combinations: both searches stop at the same check inside them.
TEST(FitSearchFast, ActsOnAnAbortInsideLongWidthScans) {
    const struct {
        int n;
        int16_t w1, w2, w3;
    } cases[] = {{1, 3000, 0, 0}, {2, 60, 90, 0}, {3, 30, 20, 25}};
    for (const auto& c : cases) {
        State s;
        for (int w = 0; w <= kMaxWave; ++w) s.Spectrum[w] = GaussianValue(60, 500, 40, w);
        s.PeakX = {0, 500, 505, 495};
        s.PeakW = {kMaxWave, c.w1, c.w2, c.w3};
        s.CalcState = kProcessing;
        const std::string what = "n = " + std::to_string(c.n);
        for (auto search : {FitSearch, FitSearchFast}) {
            State run = s;
            SearchRecorder calls;
            calls.onCheck = [&](int) { run.CalcState = kAbort; };
            const SearchResult result = search(run, c.n, 1, calls.progress());
            EXPECT_EQ(result.counts.checks, 1) << what;
            // Only the combinations before the first check were tried, each
            // summed over the whole array.
            EXPECT_LE(result.counts.evaluated * (kMaxWave + 1), search::kTermsPerCheck) << what;
        }
        State slow = s, fast = s;
        SearchRecorder slowCalls, fastCalls;
        slowCalls.onCheck = [&](int) { slow.CalcState = kAbort; };
        fastCalls.onCheck = [&](int) { fast.CalcState = kAbort; };
        FitSearch(slow, c.n, 1, slowCalls.progress());
        FitSearchFast(fast, c.n, 1, fastCalls.progress());
        EXPECT_EQ(fastCalls.events, slowCalls.events) << what;
        expectSameState(slow, fast, what);
    }
}

// Half-widths of 1000 nm: tables of up to 8 MB each, cancelled at the first
// check, when the workers have taken further centre combinations that will
// not be evaluated. The tables stay within the search's 48 MiB.
TEST(FitSearchFast, HoldsItsTablesWithinTheirBudgetWhenCancelled) {
    State s;
    for (int w = 350; w <= 1000; ++w) {
        s.Spectrum[w] = (30 * GaussianValue(1, 775, 20, w) + 50 * GaussianValue(1, 825, 10, w)) +
                        40 * GaussianValue(1, 720, 30, w);
    }
    s.PeakX = {350, 715, 780, 830};
    s.PeakW = {1001, 1000, 1000, 1000};
    s.CalcState = kProcessing;
    for (const int threads : {1, 2}) {
        State run = s;
        SearchRecorder calls;
        calls.onCheck = [&](int) { run.CalcState = kAbort; };
        const SearchResult result = FitSearchFast(run, 3, 1, calls.progress(), threads);
        EXPECT_GT(result.counts.tableBytes, std::size_t{30} << 20) << threads << " threads";
        EXPECT_LE(result.counts.tableBytes, std::size_t{48} << 20) << threads << " threads";
    }
}

TEST(DeviationLowerBound, NeverExceedsTheDeviationAsThePlainSearchSumsIt) {
    Random rnd(7);
    int tight = 0;
    for (int k = 0; k < 3000; ++k) {
        const int m = rnd.integer(1, 700);
        std::vector<double> R(m), g[4];
        const double scale = rnd.chance(0.2) ? rnd.uniform(1e-3, 1e3) : 1;
        for (int i = 0; i < m; ++i) R[i] = scale * rnd.uniform(-20, 100);
        double A[4], c[4], b[4];
        for (int j = 1; j <= 3; ++j) {
            c[j] = rnd.uniform(0, m);
            b[j] = rnd.uniform(0.6, 60);
            A[j] = rnd.chance(0.1) ? rnd.uniform(-1e12, 1e12) : scale * rnd.uniform(-150, 150);
            g[j].resize(m);
            for (int i = 0; i < m; ++i) g[j][i] = GaussianValue(1, c[j], b[j], i);
        }
        if (rnd.chance(0.2)) {  // a trial that fits the residual almost exactly
            for (int i = 0; i < m; ++i) {
                R[i] =
                    (A[1] * g[1][i] + A[2] * g[2][i]) + A[3] * g[3][i] + rnd.uniform(-1e-6, 1e-6);
            }
        }
        search::TrialSums sums;
        double sum = 0;
        for (int i = 0; i < m; ++i) {
            sums.RR += R[i] * R[i];
            for (int j = 1; j <= 3; ++j) {
                sums.RG[j] += R[i] * g[j][i];
                sums.GG[j] += g[j][i] * g[j][i];
            }
            sums.G12 += g[1][i] * g[2][i];
            sums.G13 += g[1][i] * g[3][i];
            sums.G23 += g[2][i] * g[3][i];
            const double r = R[i] - ((A[1] * g[1][i] + A[2] * g[2][i]) + A[3] * g[3][i]);
            sum += r * r;
        }
        sums.rootRR = std::sqrt(sums.RR);
        for (int j = 1; j <= 3; ++j) sums.rootGG[j] = std::sqrt(sums.GG[j]);
        const double deviation = std::sqrt(sum);
        const double bound = search::deviationLowerBound(sums, A[1], A[2], A[3], m);
        ASSERT_LE(bound, deviation) << "case " << k;
        if (bound >= deviation * (1 - 1e-9)) ++tight;
    }
    EXPECT_GT(tight, 2000);  // and close to it where the sums are well conditioned
}

// Spectra for the bounds' tests: three Gaussians whose centres the scans
// step through (half-widths of 10), from an exact fit to noisy and
// overlapping ones.
struct BoundCase {
    double noise;
    double separation;  // between the peaks' centres, nm
    double Q;
    double width3 = 8;  // the third peak's half-width; past 11 its scan reaches 31
};
const BoundCase kBoundCases[] = {{0, 40, 2},   {1e-9, 40, 2}, {0.5, 40, 2}, {2, 40, 1},
                                 {0.5, 14, 2}, {3, 25, 3},    {0, 12, 1},   {0, 40, 1, 25}};

State boundCaseState(const BoundCase& c, Random& rnd) {
    State s;
    const double x1 = 500, x2 = 500 + c.separation, x3 = 500 + 2 * c.separation;
    for (int w = 0; w <= kMaxWave; ++w) {
        s.Spectrum[w] = GaussianValue(70, x1, 6, w) + GaussianValue(40, x2, 4, w) +
                        GaussianValue(90, x3, c.width3, w) + rnd.uniform(-c.noise, c.noise);
    }
    s.PeakX = {x1 - 40, x1, x2, x3};
    s.PeakW = {static_cast<int16_t>(x3 + 40), 10, 10, 10};
    if (c.width3 > 11) s.PeakW[3] = 30;
    return s;
}

// A case's name, and its search's setup and grid.
struct BoundSearch {
    std::string what;
    search::Setup setup;
    search::Grid grid;
};

BoundSearch boundSearch(const BoundCase& c, Random& rnd) {
    const std::string what = "noise " + std::to_string(c.noise) + " separation " +
                             std::to_string(c.separation) + " Q " + std::to_string(c.Q);
    State s = boundCaseState(c, rnd);
    search::Setup setup;
    SearchResult unused;
    EXPECT_TRUE(search::beginSearch(s, 3, c.Q, setup, unused)) << what;
    return {what, setup, search::Grid(setup, 3, c.Q)};
}

// The deviations of the trials of one centre combination, in scan order,
// as the plain search solves and sums them; degenerate trials are left out.
std::vector<double> combinationDeviations(const search::Setup& setup, const search::Grid& grid,
                                          std::size_t k1, std::size_t k2, std::size_t k3) {
    search::Trial t;
    t.c = {0, grid.centres[1][k1], grid.centres[2][k2], grid.centres[3][k3]};
    const double y1 = search::residualAt(setup, t.c[1]);
    const double y2 = search::residualAt(setup, t.c[2]);
    const double y3 = search::residualAt(setup, t.c[3]);
    std::vector<double> deviations;
    for (const double b1 : grid.widths[1]) {
        for (const double b2 : grid.widths[2]) {
            for (const double b3 : grid.widths[3]) {
                t.b = {0, b1, b2, b3};
                using search::unitGaussian;
                if (search::solveThree(y1, y2, y3, unitGaussian(t.c[2], b2, t.c[1]),
                                       unitGaussian(t.c[3], b3, t.c[1]),
                                       unitGaussian(t.c[1], b1, t.c[2]),
                                       unitGaussian(t.c[1], b1, t.c[3]),
                                       unitGaussian(t.c[3], b3, t.c[2]),
                                       unitGaussian(t.c[2], b2, t.c[3]), t)) {
                    deviations.push_back(search::trialDeviation(setup, 3, t));
                }
            }
        }
    }
    return deviations;
}

// The bound of a whole centre combination never reaches the smallest
// deviation of its trials, and on noisy spectra it rules out combinations
// whose trials all lie above the search's best.
TEST(CombinationBound, NeverReachesTheBestTrialOfItsCombination) {
    Random rnd(4711);
    for (const BoundCase& c : kBoundCases) {
        const BoundSearch bounded = boundSearch(c, rnd);
        const auto& [what, setup, grid] = bounded;
        search::CombinationGeometry geometry(grid);
        search::CombinationBound bound(grid, geometry);
        search::CombinationBound::Scratch scratch;
        scratch.ruledOut = 1;  // so that each row is first tested as a whole
        std::vector<double> smallest;
        double best = search::kStartBest;
        for (std::size_t k1 = 0; k1 < grid.centres[1].size(); ++k1) {
            for (std::size_t k2 = 0; k2 < grid.centres[2].size(); ++k2) {
                for (std::size_t k3 = 0; k3 < grid.centres[3].size(); ++k3) {
                    const std::vector<double> deviations =
                        combinationDeviations(setup, grid, k1, k2, k3);
                    double least = search::kStartBest;
                    for (const double d : deviations) least = std::min(least, d);
                    ASSERT_FALSE(bound.ruledOut(k1, k2, k3, std::nextafter(least, 1e300), scratch))
                        << what << " combination " << k1 << " " << k2 << " " << k3;
                    smallest.push_back(least);
                    best = std::min(best, least);
                }
            }
        }
        if (c.noise < 0.5) continue;
        int ruledOut = 0;
        std::size_t i = 0;
        for (std::size_t k1 = 0; k1 < grid.centres[1].size(); ++k1) {
            for (std::size_t k2 = 0; k2 < grid.centres[2].size(); ++k2) {
                for (std::size_t k3 = 0; k3 < grid.centres[3].size(); ++k3, ++i) {
                    if (smallest[i] > 2 * best && bound.ruledOut(k1, k2, k3, best, scratch)) ++ruledOut;
                }
            }
        }
        EXPECT_GT(ruledOut, 0) << what;
    }
}

// What the trials of a combination offer as the receiver of a worker sees it.
struct CountingReceiver : search::TrialReceiver {
    bool checkPoint() override { return true; }
    void candidate(std::int64_t, std::int64_t, const search::Trial&) override { ++offered; }
    bool ended() const override { return false; }
    int offered = 0;
};

// With the combination and row bounds, a combination's trials still offer
// every trial below the best, whatever the best: from its smallest
// deviation up through its quantiles, so that rows are tested with the
// best just above their smallest trial, and the row bound rules out rows.
TEST(RowBound, NeverRulesOutARowWithATrialBelowTheBest) {
    Random rnd(4712);
    for (const BoundCase& c : kBoundCases) {
        const BoundSearch bounded = boundSearch(c, rnd);
        const auto& [what, setup, grid] = bounded;
        search::CombinationGeometry geometry(grid);
        search::CombinationBound bound(grid, geometry);
        search::Tables tables(grid, std::size_t{64} << 20);
        search::GridTables kept(grid.description);
        CountingReceiver receiver;
        search::CombinationTrials trials(grid, setup, 3, tables, kept, &bound, receiver);
        trials.tryBoundsEverywhere();
        for (std::size_t k1 = 0; k1 < grid.centres[1].size(); ++k1) {
            for (std::size_t k2 = 0; k2 < grid.centres[2].size(); ++k2) {
                for (std::size_t k3 = 0; k3 < grid.centres[3].size(); ++k3) {
                    std::vector<double> deviations = combinationDeviations(setup, grid, k1, k2, k3);
                    std::sort(deviations.begin(), deviations.end());
                    for (const double quantile : {0.0, 0.001, 0.01, 0.1, 0.5}) {
                        const auto k = static_cast<std::size_t>(quantile * deviations.size());
                        if (k >= deviations.size()) continue;
                        // Every trial up to the k-th smallest deviation improves.
                        const double best = std::nextafter(deviations[k], 1e300);
                        const auto below = std::upper_bound(deviations.begin(), deviations.end(),
                                                            deviations[k]) -
                                           deviations.begin();
                        receiver.offered = 0;
                        trials.setBest(best);
                        trials.evaluate(k1, k2, k3);
                        ASSERT_EQ(receiver.offered, below)
                            << what << " combination " << k1 << " " << k2 << " " << k3
                            << " quantile " << quantile;
                    }
                }
            }
        }
        EXPECT_GT(bound.rowsRuledOutCount(), 0) << what;
    }
}

// Every lane width gives the scalar solve's amplitudes bit for bit, drops
// a trial only where the scalar bound reaches the best, and counts right.
TEST(SolveBlock, MatchesTheScalarSolveAndBoundInEveryLaneWidth) {
    Random rnd(11);
    constexpr int kRows = 3;
    int dropped = 0;
    for (int k = 0; k < 150; ++k) {
        // Rows of 1 to 28 trials, so that every way of ending a row in
        // fewer lanes comes up; the padding holds values no trial reads.
        const int kCount = 1 + k % 28, kStride = (kCount + 7) / 8 * 8;
        search::TrialBlock block;
        search::TrialRow& row = block.row;
        row.m = rnd.integer(1, 1011);
        const double scale = rnd.chance(0.2) ? rnd.uniform(1e-3, 1e3) : 1;
        row.y1 = scale * rnd.uniform(-20, 100);
        row.y2 = scale * rnd.uniform(-20, 100);
        row.y3 = scale * rnd.uniform(-20, 100);
        row.c = rnd.uniform(0, 1);
        row.d = rnd.uniform(0, 1);
        search::TrialSums& s = row.sums;
        s.RR = scale * scale * rnd.uniform(1, 1e6);
        s.rootRR = std::sqrt(s.RR);
        s.RG[1] = scale * rnd.uniform(-1e4, 1e4);
        s.GG[1] = rnd.uniform(0.1, 100);
        s.rootGG[1] = std::sqrt(s.GG[1]);
        // Per row: a, f, RG2, GG2, rootGG2, G12; per trial: b, e, RG3, GG3,
        // rootGG3, G13; per row and trial: G23.
        std::vector<double> perRow[6], perTrial[6], G23;
        for (int r = 0; r < kRows; ++r) {
            perRow[0].push_back(rnd.uniform(0, 1));
            perRow[1].push_back(rnd.uniform(0, 1));
            perRow[2].push_back(scale * rnd.uniform(-1e4, 1e4));
            perRow[3].push_back(rnd.uniform(0.1, 100));
            perRow[4].push_back(std::sqrt(perRow[3].back()));
            perRow[5].push_back(rnd.uniform(0, 50));
            for (int i = 0; i < kStride; ++i) G23.push_back(rnd.uniform(0, 50));
        }
        for (int i = 0; i < kStride; ++i) {
            perTrial[0].push_back(rnd.chance(0.1) ? 1 : rnd.uniform(0, 1));
            perTrial[1].push_back(rnd.chance(0.1) ? row.c * perTrial[0].back() : rnd.uniform(0, 1));
            perTrial[2].push_back(scale * rnd.uniform(-1e4, 1e4));
            perTrial[3].push_back(rnd.uniform(0.1, 100));
            perTrial[4].push_back(std::sqrt(perTrial[3].back()));
            perTrial[5].push_back(rnd.uniform(0, 50));
        }
        block.rows = kRows;
        block.count = kCount;
        block.stride = kStride;
        block.a = perRow[0].data();
        block.f = perRow[1].data();
        block.RG2 = perRow[2].data();
        block.GG2 = perRow[3].data();
        block.rootGG2 = perRow[4].data();
        block.G12 = perRow[5].data();
        block.G23 = G23.data();
        row.b = perTrial[0].data();
        row.e = perTrial[1].data();
        row.RG3 = perTrial[2].data();
        row.GG3 = perTrial[3].data();
        row.rootGG3 = perTrial[4].data();
        row.G13 = perTrial[5].data();
        const double best = scale * rnd.uniform(0, 1000);

        for (const int lanes : {2, 4, 8}) {
            std::vector<double> A1(kRows * kStride), A2(A1), A3(A1), verdict(A1);
            std::vector<search::RowSummary> summaries(kRows);
            if (!search::solveBlockInLanes(lanes, block, best, A1.data(), A2.data(), A3.data(),
                                           verdict.data(), summaries.data())) {
                continue;  // not on this processor
            }
            for (int r = 0; r < kRows; ++r) {
                int solvable = 0, maySum = 0;
                for (int i = 0; i < kCount; ++i) {
                    const std::string what = "block " + std::to_string(k) + " row " +
                                             std::to_string(r) + " trial " + std::to_string(i) +
                                             ", " + std::to_string(lanes) + " lanes";
                    const int at = r * kStride + i;
                    search::Trial t;
                    const bool ok = search::solveThree(row.y1, row.y2, row.y3, block.a[r], row.b[i],
                                                       row.c, row.d, row.e[i], block.f[r], t);
                    ASSERT_EQ(verdict[at] != search::kDegenerate, ok) << what;
                    if (!ok) continue;
                    ++solvable;
                    maySum += verdict[at] == search::kMaySum;
                    ASSERT_TRUE(sameBits(A1[at], t.A[1]) && sameBits(A2[at], t.A[2]) &&
                                sameBits(A3[at], t.A[3]))
                        << what;
                    if (verdict[at] != search::kCannotImprove) continue;
                    ++dropped;
                    search::TrialSums full = s;
                    full.RG[2] = block.RG2[r];
                    full.GG[2] = block.GG2[r];
                    full.rootGG[2] = block.rootGG2[r];
                    full.G12 = block.G12[r];
                    full.RG[3] = row.RG3[i];
                    full.GG[3] = row.GG3[i];
                    full.rootGG[3] = row.rootGG3[i];
                    full.G13 = row.G13[i];
                    full.G23 = G23[at];
                    ASSERT_GE(search::deviationLowerBound(full, t.A[1], t.A[2], t.A[3], row.m),
                              best)
                        << what;
                }
                EXPECT_EQ(summaries[r].solvable, solvable);
                EXPECT_EQ(summaries[r].maySum, maySum);
            }
        }
    }
    EXPECT_GT(dropped, 1000);  // the comparison does drop trials
}

// Blocks of inner products, whole and cut at every edge, give each product
// its eight running sums bit for bit.
TEST(InnerProducts, SumEveryPairInTheOrderOfEightRunningSums) {
    Random rnd(5);
    const struct {
        int nx, ny, m;
    } shapes[] = {{1, 1, 1}, {2, 4, 8}, {3, 7, 351}, {5, 9, 13}, {4, 32, 652}, {1, 3, 7}};
    for (const auto& shape : shapes) {
        std::vector<double> x(shape.nx * shape.m), y(shape.ny * shape.m);
        for (double& v : x) v = rnd.uniform(-1, 1);
        for (double& v : y) v = rnd.uniform(0, 1e3);
        const std::size_t stride = shape.ny + 3;
        std::vector<double> out(shape.nx * stride);
        search::innerProducts(x.data(), shape.nx, y.data(), shape.ny, shape.m, out.data(), stride);
        for (int a = 0; a < shape.nx; ++a) {
            for (int b = 0; b < shape.ny; ++b) {
                double s[8] = {};
                for (int i = 0; i < shape.m; ++i) s[i % 8] += x[a * shape.m + i] * y[b * shape.m + i];
                const double expected =
                    ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
                EXPECT_TRUE(sameBits(out[a * stride + b], expected))
                    << shape.nx << "x" << shape.ny << " m " << shape.m << " at " << a << "," << b;
            }
        }
    }
}

}  // namespace
}  // namespace peakfold
