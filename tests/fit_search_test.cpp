#include "search/fit_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "headless_toolkit.h"
#include "model/equation.h"
#include "model/numbers.h"
#include "search/search_steps.h"
#include "search_recorder.h"

namespace peakfold {
namespace {

struct Peak {
    double amplitude, centre, width;
};

// A state holding the sum of the given Gaussians at every wavelength, the
// fit range left..right and the picks.
State spectrumOf(std::initializer_list<Peak> peaks, double left, int16_t right) {
    State s;
    for (int w = 0; w <= kMaxWave; ++w) {
        for (const Peak& p : peaks)
            s.Spectrum[w] += GaussianValue(p.amplitude, p.centre, p.width, w);
    }
    s.PeakX[0] = left;
    s.PeakW[0] = right;
    return s;
}

void pick(State& s, int peak, double centre, int16_t halfWidth) {
    s.PeakX[peak] = centre;
    s.PeakW[peak] = halfWidth;
}

TEST(FitSearch, RecoversTheGaussiansOfAKnownSpectrum) {
    // Whole-number centres and widths on the scan grids: the trial that hits
    // them solves the amplitudes exactly and ends the search.
    const struct {
        int n;
        std::vector<Peak> peaks;
    } cases[] = {
        {1, {{80, 500, 8}}},
        {2, {{80, 500, 8}, {45, 514, 6}}},
        {3, {{40, 500, 8}, {90, 515, 6}, {60, 532, 10}}},
    };
    for (const auto& c : cases) {
        State s;
        for (int w = 0; w <= kMaxWave; ++w) {
            for (const Peak& p : c.peaks)
                s.Spectrum[w] += GaussianValue(p.amplitude, p.centre, p.width, w);
        }
        s.PeakX[0] = 470;
        s.PeakW[0] = 570;
        for (int g = 1; g <= c.n; ++g) pick(s, g, c.peaks[g - 1].centre + 1, 10);
        SearchRecorder rec;
        const SearchResult result = FitSearch(s, c.n, 2, rec.progress());

        ASSERT_EQ(result.found.size(), static_cast<size_t>(c.n)) << "n = " << c.n;
        for (int g = 1; g <= c.n; ++g) {
            const Peak& p = c.peaks[g - 1];
            EXPECT_EQ(s.EqXo[g], p.centre) << "n = " << c.n << ", Gaussian " << g;
            EXPECT_EQ(s.EqW[g], p.width) << "n = " << c.n << ", Gaussian " << g;
            EXPECT_NEAR(s.EqIo[g], p.amplitude, 1e-9 * p.amplitude) << "n = " << c.n << ", " << g;
        }
        // The search stopped at the first deviation below Q, and that trial
        // is the last record and the last announcement.
        const auto bests = rec.ofKind(SearchEvent::Kind::Best);
        ASSERT_FALSE(bests.empty());
        EXPECT_LT(bests.back().y, 2);
        for (size_t i = 0; i + 1 < bests.size(); ++i) {
            EXPECT_GE(bests[i].y, 2);
            EXPECT_GT(bests[i].y, bests[i + 1].y);
        }
        EXPECT_EQ(rec.events.back().kind, SearchEvent::Kind::Best);
        EXPECT_EQ(s.Trials.size(), bests.back().value);
        EXPECT_EQ(s.Trials.get(s.Trials.size(), 0, 0), bests.back().y);
    }
}

TEST(FitSearch, ShowsTheScanPointsInAlternatingColours) {
    State s = spectrumOf({{80, 500, 8}}, 470, 570);
    pick(s, 1, 500, 10);  // seven centres 497..503
    pick(s, 2, 300, 7);   // n = 1 drops both half-widths: one step each
    pick(s, 3, 500, 9);
    SearchRecorder rec;
    FitSearch(s, 1, 12, rec.progress());  // widths 12 only: no deviation falls below 12 early

    EXPECT_EQ(s.PeakW[2], 0);
    EXPECT_EQ(s.PeakW[3], 0);
    std::vector<SearchEvent> expected;
    for (int k = 0; k < 7; ++k) {
        const int colour = k % 2 == 0 ? 10 : 8;  // both toggle once per step of the scan above
        expected.push_back({SearchEvent::Kind::Point, 497.0 + k, -5, 14});
        expected.push_back({SearchEvent::Kind::Point, 300, -7, colour});
        expected.push_back({SearchEvent::Kind::Pump});
        expected.push_back({SearchEvent::Kind::Point, 500, -9, colour + 2 * (colour == 10)});
    }
    std::vector<SearchEvent> got;
    for (const auto& e : rec.events) {
        if (e.kind != SearchEvent::Kind::Best) got.push_back(e);
    }
    EXPECT_EQ(got, expected);
}

TEST(FitSearch, AbortStepsThroughTheRunningScanAndKeepsTheBestSoFar) {
    State s = spectrumOf({{40, 500, 8}, {90, 515, 6}, {60, 532, 10}}, 470, 570);
    pick(s, 1, 505, 10);
    pick(s, 2, 519, 10);
    pick(s, 3, 536, 10);  // the true centres lie outside the scans: no early stop
    SearchRecorder rec;
    rec.onPump = [&](int pump) {
        if (pump == 10) s.CalcState = kAbort;
    };
    s.CalcState = kProcessing;
    FitSearch(s, 3, 5, rec.progress());

    // Pump 10 is the third step of the second c3 scan (seven steps each):
    // four more pumps and nothing else follow.
    ASSERT_EQ(rec.pumps, 14);
    size_t abortAt = 0;
    for (size_t i = 0, pumps = 0; i < rec.events.size(); ++i) {
        if (rec.events[i].kind == SearchEvent::Kind::Pump && ++pumps == 10) abortAt = i;
    }
    for (size_t i = abortAt + 1; i < rec.events.size(); ++i) {
        EXPECT_EQ(rec.events[i].kind, SearchEvent::Kind::Pump);
    }
    const int lastTrial = rec.ofKind(SearchEvent::Kind::Best).back().value;
    ASSERT_GT(lastTrial, 0);
    for (int g = 1; g <= 3; ++g) {
        EXPECT_EQ(s.EqXo[g], s.Trials.get(lastTrial, g, 3));
        EXPECT_EQ(s.EqW[g], s.Trials.get(lastTrial, g, 2));
    }
}

TEST(FitSearch, OfEqualDeviationsTheEarlierTrialStays) {
    // One sampled wavelength far from every trial centre: each trial leaves
    // the whole residual there, so all deviations are equal.
    State s;
    s.Spectrum[1000] = 7;
    s.PeakX[0] = 1000;
    s.PeakW[0] = 1000;
    for (int w = 5; w <= 15; ++w) s.Residual[w] = 50;  // left from an earlier search
    pick(s, 1, 10, 10);
    pick(s, 3, 1000, 0);  // the strong centre that lets every combination through
    SearchRecorder rec;
    const SearchResult result = FitSearch(s, 1, 1, rec.progress());

    EXPECT_EQ(result.counts.evaluated, 7 * 11);
    ASSERT_EQ(s.Trials.size(), 1);
    EXPECT_EQ(s.Trials.get(1, 0, 0), 100 - 50 * 0.0);
    EXPECT_EQ(s.Trials.get(1, 1, 2), 1);  // the first width
    EXPECT_EQ(s.Trials.get(1, 1, 3), 7);  // the first centre
    EXPECT_EQ(s.EqXo[1], 7);
}

TEST(FitSearch, AnEmptyFitRangeStopsAtTheFirstTrial) {
    State s = spectrumOf({{80, 500, 8}}, 570, 470);
    for (int w = 490; w <= 510; ++w) s.Residual[w] = 60;
    pick(s, 1, 500, 10);
    SearchRecorder rec;
    const SearchResult result = FitSearch(s, 1, 3, rec.progress());
    EXPECT_EQ(result.counts.evaluated, 1);
    EXPECT_EQ(s.Trials.size(), 1);
    EXPECT_EQ(s.Trials.get(1, 0, 0), 0);
    EXPECT_EQ(rec.pumps, 1);
}

TEST(FitSearch, MovesKeptSlotsOutOfTheSlotsItFills) {
    const struct {
        std::vector<int> kept;
        int n;
        std::vector<std::pair<int, int>> moves;  // kept slot -> where it goes
    } cases[] = {
        {{1}, 2, {{1, 3}}},
        {{1, 3}, 2, {{1, 4}}},
        {{1, 2, 5}, 3, {{1, 4}, {2, 6}}},
    };
    for (const auto& c : cases) {
        State s = spectrumOf({{80, 500, 8}, {45, 514, 6}}, 470, 570);
        pick(s, 1, 501, 10);
        pick(s, 2, 515, 10);
        pick(s, 3, 530, 10);
        for (int i : c.kept) {
            s.EqKept[i] = 1;
            s.EqIo[i] = 0.5 * i;  // a negligible kept equation far away
            s.EqXo[i] = 100 + i;
            s.EqW[i] = 3;
        }
        const State before = s;
        FitSearch(s, c.n, 10, {});
        for (auto [from, to] : c.moves) {
            EXPECT_EQ(s.EqKept[to], 1) << from << " -> " << to;
            EXPECT_EQ(s.EqIo[to], before.EqIo[from]);
            EXPECT_EQ(s.EqXo[to], before.EqXo[from]);
            EXPECT_EQ(s.EqKept[from], 0);
        }
        for (int i = 1; i <= c.n; ++i) EXPECT_NE(s.EqXo[i], before.EqXo[i]) << "slot " << i;
    }
}

TEST(FitSearch, RefusesToRunWithoutRoomForKeptSlots) {
    State s = spectrumOf({{80, 500, 8}}, 470, 570);
    pick(s, 1, 501, 10);
    for (int i : {2, 4, 5, 6, 7, 8, 9}) s.EqKept[i] = 1;
    s.EqIo[2] = 33;
    s.Trials.set(1, 0, 0, 5);
    SearchRecorder rec;
    const SearchResult result = FitSearch(s, 3, 5, rec.progress());
    EXPECT_TRUE(result.tooManyKept);
    EXPECT_TRUE(result.found.empty());
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(s.EqIo[2], 33);
    EXPECT_EQ(s.EqKept[2], 1);
    EXPECT_EQ(s.PeakW[1], 10);
    EXPECT_EQ(s.Trials.get(1, 0, 0), 5);  // not even the record was cleared
}

TEST(FitSearch, DoesNothingForAQualityItCannotUse) {
    for (double Q : {0.0, 0.5, -3.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        State s = spectrumOf({{80, 500, 8}}, 470, 570);
        pick(s, 1, 501, 10);
        SearchRecorder rec;
        const SearchResult result = FitSearch(s, 1, Q, rec.progress());
        EXPECT_FALSE(qualityAccepted(Q)) << Q;
        EXPECT_TRUE(result.found.empty()) << Q;
        EXPECT_FALSE(result.tooManyKept);
        EXPECT_TRUE(rec.events.empty()) << Q;
        EXPECT_EQ(s.Residual[500], 0) << Q;
    }
    EXPECT_TRUE(qualityAccepted(0.51));
}

TEST(FitSearch, FindsNothingWhereNoResidualIsPositive) {
    State s = spectrumOf({{-80, 500, 8}}, 470, 570);
    pick(s, 1, 501, 10);
    s.EqIo[1] = 12;
    SearchRecorder rec;
    const SearchResult result = FitSearch(s, 1, 2, rec.progress());
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(result.counts.evaluated, 0);
    EXPECT_EQ(s.EqIo[1], 0);
    for (int w = 470; w <= 570; ++w) EXPECT_TRUE(std::isfinite(s.Residual[w])) << w;
}

TEST(FitSearch, SumsOnlyOverWavelengthsInsideTheArrays) {
    const struct {
        double left;
        int16_t right;
        int step, first, count;
        int16_t exitWave;
    } cases[] = {
        {350, 1001, 1, 350, 652, 1002},    {350, 1001, 2, 350, 326, 1002}, {-7, 5, 3, 2, 2, 8},
        {1000, 32767, 5, 1000, 3, 32767},  {1020, 1030, 1, 0, 0, 1031},    {600, 400, 1, 0, 0, 600},
        {-32768, -32768, 1, 0, 0, -32767}, {402.5, 404, 2, 402, 2, 406},
    };
    for (const auto& c : cases) {
        State s;
        s.PeakX[0] = c.left;
        s.PeakW[0] = c.right;
        const search::Sampling range = search::sampleFitRange(s, c.step);
        EXPECT_EQ(range.count, c.count) << c.left << ".." << c.right << " by " << c.step;
        if (c.count > 0) {
            EXPECT_EQ(range.first, c.first) << c.left;
        }
        EXPECT_EQ(range.exitWave, c.exitWave) << c.left;
    }
}

TEST(FitSearch, FitsTheLedOfAMeasuredSpectrum) {
    State s = loadedSpectrum("led740_raw_counts_offset.txt");
    pick(s, 1, 720, 20);
    const SearchResult result = FitSearch(s, 1, 2, {});
    ASSERT_EQ(result.found, std::vector<int>{1});
    EXPECT_NEAR(s.EqXo[1], 724, 4);
    EXPECT_GT(s.EqIo[1], 80);
    EXPECT_LT(s.EqIo[1], 110);
}

}  // namespace
}  // namespace peakfold
