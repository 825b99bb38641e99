#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "headless_toolkit.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {
namespace {

const std::string kBadQuality =
    "Fit Quality must be a number greater than 0.5 (1 is the finest fit, 10 a rough one).";
const std::string kMissingPicks =
    "You must approximate peak locations and set up range by left/right clicking on graph. "
    "See Help file.";

struct Peak {
    double io, xo, w;
};

// A spectrum made of Gaussians, with the range 400..700 and one pick on each.
void loadPeaks(HeadlessApp& app, const std::vector<Peak>& peaks) {
    for (int x = 0; x <= kMaxWave; ++x) {
        double y = 0;
        for (const Peak& p : peaks) y += GaussianValue(p.io, p.xo, p.w, x);
        app.s.Spectrum[x] = y;
    }
    app.s.PeakX[0] = 400;
    app.s.PeakW[0] = 700;
    for (int i = 1; i <= 3; ++i) {
        const Peak& p = peaks[(i - 1) % peaks.size()];
        app.s.PeakX[i] = p.xo;
        app.s.PeakW[i] = static_cast<int16_t>(p.w);
    }
}

const std::vector<Peak> kThreePeaks = {{80, 450, 12}, {50, 520, 8}, {60, 610, 15}};

void setSlot(State& s, int i, double io, double xo, double w, int16_t kept) {
    s.EqIo[i] = io;
    s.EqXo[i] = xo;
    s.EqW[i] = w;
    s.EqKept[i] = kept;
}

std::vector<DrawCall> linesInColour(const std::vector<DrawCall>& draws, int colour) {
    std::vector<DrawCall> result;
    for (const DrawCall& d : draws) {
        if (d.kind == DrawCall::Kind::Line && d.colour == colour) result.push_back(d);
    }
    return result;
}

bool isEquationLine(const std::string& line, int slot, const char* marker) {
    return line.rfind(NumText(slot) + marker, 0) == 0;
}

// " 7: 12": the trial, a colon and the whole part of the best deviation.
bool isTrialFigure(const std::string& caption) {
    const size_t colon = caption.find(':');
    if (colon == std::string::npos) return false;
    const auto digitsAfterBlank = [](const std::string& part) {
        return part.size() >= 2 && part[0] == ' ' &&
               part.find_first_not_of("0123456789", 1) == std::string::npos;
    };
    return digitsAfterBlank(caption.substr(0, colon)) &&
           digitsAfterBlank(caption.substr(colon + 1));
}

TEST(Calculate, ListsTheFoundEquationsAndSelectsTheLastWithABeep) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    std::vector<std::string> trialCaptions;
    app.ui.onPump = [&] { trialCaptions.push_back(app.ui.text(Control::TryNbr)); };
    app.ui.click(Control::Calculate);

    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 3u);
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(isEquationLine(lines[i - 1], i, ": Y=")) << lines[i - 1];
    EXPECT_EQ(app.ui.listIndex(Control::List), 2);
    EXPECT_EQ(app.ui.beeps, 1);
    EXPECT_EQ(app.s.CalcState, "");
    EXPECT_TRUE(app.ui.messages.empty());
    EXPECT_EQ(app.ui.text(Control::Help),
              "Peak 1:  450 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15");
    EXPECT_NEAR(app.s.EqXo[1], 450, 4);
    EXPECT_NEAR(app.s.EqXo[2], 520, 3);
    EXPECT_NEAR(app.s.EqXo[3], 610, 5);

    // Each improvement shows " trial: floor(best)" and repaints at once.
    EXPECT_GE(app.ui.repaints[Control::TryNbr], 1);
    bool sawTrial = false;
    for (const std::string& caption : trialCaptions) {
        if (caption == "Label1") continue;
        EXPECT_TRUE(isTrialFigure(caption)) << caption;
        sawTrial = true;
    }
    EXPECT_TRUE(sawTrial);
}

TEST(Calculate, ProgressPointsAppearAsTheScansAdvance) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    std::vector<size_t> pointsAtPump;
    app.ui.onPump = [&] {
        size_t points = 0;
        for (const DrawCall& d : app.ui.draws) points += d.kind == DrawCall::Kind::Point;
        pointsAtPump.push_back(points);
    };
    app.ui.click(Control::Calculate);
    ASSERT_GE(pointsAtPump.size(), 3u);
    EXPECT_LT(pointsAtPump.front(), pointsAtPump.back());
    std::set<std::pair<float, int>> heights;  // (y, colour) of the scan points
    for (const DrawCall& d : app.ui.draws) {
        if (d.kind == DrawCall::Kind::Point && d.y1 < 0) heights.insert({d.y1, d.colour});
    }
    EXPECT_TRUE(heights.count({-5.0f, 14}));
    EXPECT_TRUE(heights.count({-7.0f, 10}));
    EXPECT_TRUE(heights.count({-9.0f, 12}));
}

// The total of slots 1..3 at x, as the command draws it.
double total(const State& s, int x) {
    double t = 0;
    for (int i = 1; i <= 3; ++i) t += GaussianValue(s.EqIo[i], s.EqXo[i], s.EqW[i], x);
    return t;
}

TEST(Calculate, OneGaussianListsSlotOneAndTheTotalStillHoldsSlotsTwoAndThree) {
    HeadlessApp app;
    loadPeaks(app, {{80, 450, 12}});
    app.ui.setText(Control::CalculateNbr, "1");
    setSlot(app.s, 2, 150, 700, 10, 0);  // left from an earlier fit, not kept
    setSlot(app.s, 3, 0, 0, 0, 0);       // free
    app.ui.click(Control::Calculate);

    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isEquationLine(lines[0], 1, ": Y=")) << lines[0];
    EXPECT_EQ(app.s.EqW[3], 1) << "a free slot 3 gets width 1 before the total is drawn";
    EXPECT_EQ(app.s.PeakW[2], 0);
    EXPECT_EQ(app.s.PeakW[3], 0);

    // Exactly the segments whose left end lies in [0, 100), right ends as they fall.
    std::vector<int> expected;
    for (int w = 200; w <= 999; ++w) {
        const double t = total(app.s, w);
        if (t >= 0 && t < 100) expected.push_back(w);
    }
    const std::vector<DrawCall> drawn = linesInColour(app.ui.draws, 6);
    ASSERT_EQ(drawn.size(), expected.size());
    bool climbedOut = false;
    for (size_t k = 0; k < drawn.size(); ++k) {
        const int w = expected[k];
        EXPECT_EQ(drawn[k].x1, w);
        EXPECT_EQ(drawn[k].x2, w + 1);
        EXPECT_EQ(drawn[k].y1, static_cast<float>(total(app.s, w)));
        EXPECT_EQ(drawn[k].y2, static_cast<float>(total(app.s, w + 1)));
        climbedOut = climbedOut || drawn[k].y2 >= 100;
    }
    EXPECT_TRUE(climbedOut) << "the segment that rises past 100 near slot 2 is drawn";
    EXPECT_LT(expected.size(), 800u) << "no segment starts on the top of slot 2";
}

TEST(Calculate, TwoGaussiansMoveAKeptSlotOutAndListItLast) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    app.ui.setText(Control::CalculateNbr, "2");
    setSlot(app.s, 1, 60, 610, 15, 1);
    app.ui.click(Control::Calculate);

    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(isEquationLine(lines[0], 1, ": Y=")) << lines[0];
    EXPECT_TRUE(isEquationLine(lines[1], 2, ": Y=")) << lines[1];
    EXPECT_EQ(lines[2], " 3> Y= 60e^-k((x- 610)/ 15)^2");
    EXPECT_EQ(app.ui.listIndex(Control::List), 2);
    EXPECT_EQ(app.s.EqKept[1], 0);
    EXPECT_EQ(app.s.EqKept[3], 1);
    EXPECT_EQ(app.s.PeakW[3], 0);
    EXPECT_EQ(app.ui.text(Control::Help), "Peak 1:  450 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15")
        << "the line written before the search still shows three peaks";
}

TEST(Calculate, CancelStopsTheSearchAndListsTheBestSoFar) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    std::string stateAfterCancel;
    size_t drawsAtCancel = 0;
    app.ui.onPump = [&] {
        if (app.ui.pumps != 2) return;
        app.ui.click(Control::Cancel);
        stateAfterCancel = app.s.CalcState;
        drawsAtCancel = app.ui.draws.size();
    };
    app.ui.click(Control::Calculate);

    EXPECT_EQ(stateAfterCancel, "abort");
    EXPECT_EQ(app.s.CalcState, "");
    for (size_t k = drawsAtCancel; k < app.ui.draws.size(); ++k) {
        const DrawCall& d = app.ui.draws[k];
        EXPECT_FALSE(d.kind == DrawCall::Kind::Point && d.y1 < 0) << "no progress after Cancel";
    }
    EXPECT_LE(app.ui.pumps, 2 + 10) << "only the rest of the running third scan is pumped";
    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(isEquationLine(lines[2], 3, ": Y=")) << lines[2];
    EXPECT_EQ(app.ui.beeps, 1);
}

TEST(Calculate, NoFitOnWeakResidualListsKeptSlotsAndTheMessage) {
    HeadlessApp app;
    loadPeaks(app, {{80, 800, 10}});
    app.s.PeakW[0] = 900;
    for (int i = 1; i <= 3; ++i) {
        app.s.PeakX[i] = 400 + 60 * i;
        app.s.PeakW[i] = 5;
    }
    setSlot(app.s, 5, 20, 300, 10, 1);
    app.ui.click(Control::Calculate);

    const std::vector<std::string> expected = {" 5> Y= 20e^-k((x- 300)/ 10)^2", "No fit found."};
    EXPECT_EQ(app.ui.listLines(), expected);
    EXPECT_EQ(app.ui.listIndex(Control::List), 1);
    EXPECT_EQ(app.ui.beeps, 0);
    EXPECT_TRUE(linesInColour(app.ui.draws, 6).empty()) << "nothing is drawn";
    EXPECT_EQ(app.s.CalcState, "");
}

TEST(Calculate, MissingPicksAreReportedAndTheSearchRunsAnyway) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    app.s.PeakX[1] = 0;
    app.ui.click(Control::Calculate);
    EXPECT_EQ(app.ui.messages, std::vector<std::string>{kMissingPicks});
    EXPECT_GT(app.ui.pumps, 0);
    EXPECT_EQ(app.s.CalcState, "");
    EXPECT_NE(app.ui.listLines().front(), "Calculating...");
}

TEST(Calculate, AQualityTheSearchCannotUseIsRefusedAndChangesNothing) {
    const char* qualities[] = {"0", "", "0.5", " .5", "-3", "abc", "1e999", ".2"};
    for (const char* quality : qualities) {
        HeadlessApp app;
        loadPeaks(app, kThreePeaks);
        app.ui.click(Control::Add);
        app.ui.listAppend(Control::List, "No fit found.");
        app.ui.clickListLine(0);
        const State before = app.s;
        const auto linesBefore = app.ui.listLines();
        const size_t drawsBefore = app.ui.draws.size();
        app.ui.setText(Control::Quality, quality);
        app.ui.click(Control::Calculate);

        EXPECT_EQ(app.ui.messages, std::vector<std::string>{kBadQuality}) << quality;
        EXPECT_EQ(app.ui.listLines(), linesBefore);
        EXPECT_EQ(app.ui.listIndex(Control::List), 0);
        EXPECT_EQ(app.s.EqIo, before.EqIo);
        EXPECT_EQ(app.s.EqW, before.EqW);
        EXPECT_EQ(app.s.EqXo, before.EqXo);
        EXPECT_EQ(app.s.EqKept, before.EqKept);
        EXPECT_EQ(app.s.PeakW, before.PeakW);
        EXPECT_EQ(app.s.CalcState, "");
        EXPECT_EQ(app.ui.pumps, 0);
        EXPECT_EQ(app.ui.draws.size(), drawsBefore);
        EXPECT_EQ(app.ui.beeps, 0);
    }
}

TEST(Calculate, KeptSlotsWithNowhereToMoveAreRefusedAndKept) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    setSlot(app.s, 1, 60, 610, 15, 1);
    for (int i = 4; i <= 9; ++i) setSlot(app.s, i, 10, 300 + i, 5, 1);
    app.ui.listAppend(Control::List, EquationLine(app.s, 1, true));
    const State before = app.s;
    app.ui.click(Control::Calculate);

    EXPECT_EQ(app.ui.messages, std::vector<std::string>{"Too many Gaussians."});
    EXPECT_EQ(app.ui.pumps, 0) << "no search runs";
    EXPECT_EQ(app.ui.listLines(), std::vector<std::string>{EquationLine(before, 1, true)});
    EXPECT_EQ(app.s.EqIo, before.EqIo);
    EXPECT_EQ(app.s.EqKept, before.EqKept);
    EXPECT_EQ(app.s.CalcState, "");

    // With one fewer kept above, slot 1 finds slot 9 and the search runs.
    app.s.EqKept[9] = 0;
    app.ui.click(Control::Calculate);
    EXPECT_EQ(app.ui.messages.size(), 1u);
    EXPECT_EQ(app.s.EqKept[9], 1);
    EXPECT_EQ(app.s.EqIo[9], 60);
    EXPECT_EQ(app.ui.listLines().back(), " 9> Y= 60e^-k((x- 610)/ 15)^2");
}

TEST(Calculate, APressDuringTheSearchIsIgnored) {
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    int calculatingLines = -1;
    app.ui.onPump = [&] {
        if (app.ui.pumps != 1) return;
        app.ui.click(Control::Calculate);
        calculatingLines = 0;
        for (const std::string& line : app.ui.listLines())
            calculatingLines += line == "Calculating...";
        EXPECT_EQ(app.s.CalcState, "processing");
    };
    app.ui.click(Control::Calculate);

    EXPECT_EQ(calculatingLines, 1);
    EXPECT_EQ(app.ui.listLines().size(), 3u);
    EXPECT_EQ(app.ui.beeps, 1);
    EXPECT_TRUE(app.ui.messages.empty());
    EXPECT_EQ(app.s.CalcState, "");
}

TEST(Calculate, OtherHandlersInsideTheSearchLeaveASoundList) {
    // Every button the user might press while the search pumps events.
    const std::vector<std::function<void(HeadlessToolkit&)>> presses = {
        [](HeadlessToolkit& ui) { ui.click(Control::Add); },
        [](HeadlessToolkit& ui) { ui.clickListLine(ui.listCount(Control::List) - 1); },
        [](HeadlessToolkit& ui) { ui.mouseUp(Control::Io, 1, 2); },
        [](HeadlessToolkit& ui) { ui.click(Control::Keep); },
        [](HeadlessToolkit& ui) { ui.click(Control::Delete); },
        [](HeadlessToolkit& ui) { ui.mouseUp(Control::PulseWidth, 1, 2); },
        [](HeadlessToolkit& ui) { ui.click(Control::CalculateNbr); },
        [](HeadlessToolkit& ui) { ui.click(Control::Throw); },
        [](HeadlessToolkit& ui) { ui.mouseUp(Control::Graph, 1, 0, 455, 50); },
        [](HeadlessToolkit& ui) { ui.click(Control::ClearGraph); },
    };
    HeadlessApp app;
    loadPeaks(app, kThreePeaks);
    app.ui.onPump = [&] { presses[(app.ui.pumps - 1) % presses.size()](app.ui); };
    app.ui.click(Control::Calculate);

    EXPECT_EQ(app.s.CalcState, "");
    const auto& lines = app.ui.listLines();
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_TRUE(line == "No fit found." || LineSlot(line) > 0) << line;
    }
    EXPECT_EQ(app.ui.listIndex(Control::List), static_cast<int>(lines.size()) - 1);
    for (int i = 1; i <= 9; ++i) {
        EXPECT_TRUE(std::isfinite(app.s.EqIo[i]) && std::isfinite(app.s.EqW[i]) &&
                    std::isfinite(app.s.EqXo[i]))
            << i;
    }
}

TEST(Calculate, FitsAMeasuredSpectrumThenFitsWhatTheKeptPeakLeaves) {
    HeadlessApp app;
    app.ui.folder = PEAKFOLD_DATA_DIR;
    app.ui.answers.push_back("bpea_hexane_fluorescence_3peaks");
    app.ui.click(Control::GetFile);
    for (const float x : {469.3f, 499.2f, 535.5f}) app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
    ASSERT_EQ(app.ui.text(Control::PeakNbr), "Range");
    app.ui.mouseUp(Control::Graph, 1, 0, 430, 50);
    app.ui.mouseUp(Control::Graph, 2, 0, 600, 50);
    app.ui.click(Control::Calculate);

    ASSERT_EQ(app.ui.listLines().size(), 3u);
    EXPECT_NEAR(app.s.EqXo[1], 469, 3);
    EXPECT_NEAR(app.s.EqXo[2], 499, 6);
    EXPECT_GT(app.s.EqIo[1], app.s.EqIo[2]) << "the 469 nm band is the strongest";

    // Keep the strongest band and fit two more on what it leaves.
    app.ui.clickListLine(0);
    app.ui.click(Control::Keep);
    const Peak kept{app.s.EqIo[1], app.s.EqXo[1], app.s.EqW[1]};
    app.ui.click(Control::CalculateNbr);
    app.ui.click(Control::CalculateNbr);
    ASSERT_EQ(app.ui.text(Control::CalculateNbr), "2");
    app.ui.click(Control::Calculate);

    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(isEquationLine(lines[0], 1, ": Y=")) << lines[0];
    EXPECT_TRUE(isEquationLine(lines[1], 2, ": Y=")) << lines[1];
    EXPECT_TRUE(isEquationLine(lines[2], 3, "> Y=")) << lines[2];
    EXPECT_EQ(app.s.EqIo[3], kept.io);
    EXPECT_EQ(app.s.EqXo[3], kept.xo);
    EXPECT_EQ(app.s.EqW[3], kept.w);
    EXPECT_EQ(app.ui.beeps, 2);
}

TEST(CalculateNbr, CyclesThroughOneTwoThree) {
    HeadlessApp app;
    const char* expected[] = {"1", "2", "3", "1"};
    for (const char* caption : expected) {
        app.ui.click(Control::CalculateNbr);
        EXPECT_EQ(app.ui.text(Control::CalculateNbr), caption);
    }
}

TEST(Cancel, WithoutASearchChangesNothing) {
    HeadlessApp app;
    app.ui.click(Control::Cancel);
    EXPECT_EQ(app.s.CalcState, "");
    EXPECT_TRUE(app.ui.messages.empty());
}

}  // namespace
}  // namespace peakfold
