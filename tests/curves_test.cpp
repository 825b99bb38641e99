#include "graph/curves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "headless_toolkit.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {
namespace {

using Kind = DrawCall::Kind;
constexpr size_t kFrameCalls = 194;

void setSlot(State& s, int slot, double Io, double Xo, double W, bool kept = false) {
    s.EqIo[slot] = Io;
    s.EqXo[slot] = Xo;
    s.EqW[slot] = W;
    s.EqKept[slot] = kept ? 1 : 0;
}

// Lists the slot's line and selects it in the given plot mode.
void selectSlot(HeadlessApp& app, int slot, const char* mode) {
    app.ui.setText(Control::PlotAll, mode);
    app.ui.listAppend(Control::List, EquationLine(app.s, slot, app.s.EqKept[slot] == 1));
    app.ui.clickListLine(app.ui.listCount(Control::List) - 1);
}

// The calls after the frame (the fit range is empty at start-up, so no raw data).
std::vector<DrawCall> curveCalls(const HeadlessApp& app) {
    const std::vector<DrawCall> calls = app.ui.drawsSinceClear();
    return {calls.begin() + kFrameCalls, calls.end()};
}

std::map<int, int> countByColour(const std::vector<DrawCall>& calls) {
    std::map<int, int> counts;
    for (const DrawCall& c : calls) ++counts[c.colour];
    return counts;
}

TEST(ListClick, DrawsTheSelectedCurveInItsSlotsColour) {
    const struct {
        int slot;
        int colour;
    } cases[] = {{1, 9}, {3, 11}, {6, 14}, {7, 9}, {8, 10}, {9, 11}};
    for (const auto& c : cases) {
        HeadlessApp app;
        app.ui.setText(Control::TryNbr, "12.3");
        setSlot(app.s, c.slot, 50, 600, 20);
        selectSlot(app, c.slot, "Plot One");
        const std::vector<DrawCall> calls = curveCalls(app);
        ASSERT_FALSE(calls.empty());
        for (const DrawCall& d : calls) EXPECT_EQ(d.colour, c.colour) << c.slot;
        // The curve spans the frame: w = 200..999, each segment to w + 1.
        EXPECT_EQ(calls.front().x1, 200);
        EXPECT_EQ(calls.back().x2, 1000);
        EXPECT_EQ(app.ui.text(Control::TryNbr), "");
    }
}

TEST(ListClick, WithoutASlotDrawsFrameAndDataOnly) {
    for (const char* line : {"", "No fit found.", " 0: Y= 1e^-k((x- 2)/ 3)^2"}) {
        HeadlessApp app;
        setSlot(app.s, 1, 50, 600, 20, true);
        app.s.PeakX[0] = 400;
        app.s.PeakW[0] = 600;
        app.ui.setText(Control::TryNbr, " 4.2");
        app.ui.listAppend(Control::List, line);
        app.ui.clickListLine(0);
        EXPECT_EQ(app.ui.drawsSinceClear().size(), kFrameCalls + 200) << line;
        EXPECT_EQ(app.ui.text(Control::TryNbr), " 4.2");
    }
    HeadlessApp app;
    app.ui.setText(Control::TryNbr, " 4.2");
    List_Click(app.s, app.ui);  // no line selected
    EXPECT_EQ(app.ui.drawsSinceClear().size(), kFrameCalls);
    EXPECT_EQ(app.ui.text(Control::TryNbr), " 4.2");
}

TEST(PlotCurve, DrawsOnlyWhereTheLeftEndLiesInTheValueWindow) {
    HeadlessApp app;
    setSlot(app.s, 2, 150, 500, 10);  // 100 is crossed at about 492.35 and 507.65
    selectSlot(app, 2, "Plot One");
    std::map<int, DrawCall> byStart;
    for (const DrawCall& d : curveCalls(app)) byStart[static_cast<int>(d.x1)] = d;
    ASSERT_TRUE(byStart.count(492));
    EXPECT_GT(byStart[492].y2, 100);  // the last rising segment climbs out of the window
    for (int w = 493; w <= 507; ++w) EXPECT_FALSE(byStart.count(w)) << w;
    ASSERT_TRUE(byStart.count(508));  // drawing resumes below 100
    EXPECT_LT(byStart[508].y1, 100);
    EXPECT_EQ(byStart.size(), 800u - 15u);
}

TEST(PlotCurve, DrawsADipUpsideDownInDarkRed) {
    HeadlessApp app;
    setSlot(app.s, 4, -30, 500, 5);
    selectSlot(app, 4, "Plot One");
    const std::vector<DrawCall> calls = curveCalls(app);
    float top = 0;
    for (const DrawCall& d : calls) {
        if (d.colour == 4) top = std::max(top, d.y1);
    }
    EXPECT_EQ(top, 30);
    // Far out the exponential is exactly 0: both colours along y = 0, dark red on top.
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].colour, 12);
    EXPECT_EQ(calls[1].colour, 4);
    EXPECT_EQ(calls[0].x1, 200);
    EXPECT_EQ(calls[1].x1, 200);
    EXPECT_EQ(calls[1].y1, 0);
    // Near the centre the values are negative: dark red only.
    const auto counts = countByColour(calls);
    EXPECT_EQ(counts.at(4), 800);
    EXPECT_LT(counts.at(12), 800);
}

TEST(PlotAll, DrawsTheKeptCurvesSlotBySlotAndAWhiteTotalOfAll) {
    HeadlessApp app;
    // Wide enough that neither curve falls to exactly 0 inside the frame,
    // which would add its dark red mirror.
    setSlot(app.s, 1, 40, 450, 60, true);
    setSlot(app.s, 2, 30, 520, 60, true);
    setSlot(app.s, 3, 20, 700, 20, false);
    selectSlot(app, 1, "Plot All");
    const std::vector<DrawCall> calls = curveCalls(app);
    const auto counts = countByColour(calls);
    EXPECT_EQ(counts.at(9), 800);
    EXPECT_EQ(counts.at(10), 800);
    EXPECT_FALSE(counts.count(11));  // slot 3 is not kept
    EXPECT_EQ(counts.at(15), 800);
    // Wavelength outside, slot inside: 1 and 2 alternate, then the total.
    for (int i = 0; i < 1600; ++i) {
        EXPECT_EQ(calls[i].colour, i % 2 == 0 ? 9 : 10);
        EXPECT_EQ(calls[i].x1, 200 + i / 2);
    }
    // The total holds the unkept slot 3: 20 at its centre.
    const DrawCall& at700 = calls[1600 + 500];
    EXPECT_EQ(at700.x1, 700);
    EXPECT_FLOAT_EQ(at700.y1,
                    20 + GaussianValue(30, 520, 60, 700) + GaussianValue(40, 450, 60, 700));
    EXPECT_NE(app.ui.text(Control::TryNbr), "");
}

TEST(PlotAll, WithNoSlotInUseDrawsTheTotalAlongZero) {
    HeadlessApp app;
    app.s.Spectrum[300] = 10;  // S = 100
    selectSlot(app, 1, "Plot All");
    const std::vector<DrawCall> calls = curveCalls(app);
    ASSERT_EQ(calls.size(), 800u);
    for (const DrawCall& d : calls) {
        EXPECT_EQ(d.colour, 15);
        EXPECT_EQ(d.y1, 0);
        EXPECT_EQ(d.y2, 0);
    }
    EXPECT_EQ(calls.front().x1, 200);
    EXPECT_EQ(calls.back().x2, 1000);
    EXPECT_EQ(app.ui.text(Control::TryNbr), " 3.1");  // floor(sqrt(1000.5)) / 10
}

TEST(PlotTotal, ShowsTheDeviationFigure) {
    const struct {
        std::vector<std::pair<int, double>> data;
        const char* figure;
    } cases[] = {
        {{}, " 0"},  // sqrt(0.5) rounds down to 0
        {{{200, 10},
          {201, 10},
          {202, 10},
          {203, 10},
          {204, 10},
          {205, 10},
          {206, 10},
          {207, 10},
          {208, 10},
          {209, 10}},
         " 10"},                            // S = 1000
        {{{1000, 10}}, " 3.1"},             // the total at 1000 counts
        {{{199, 50}, {1001, 50}}, " 0"},    // outside 200..1000 nothing does
        {{{600, 1.5}, {601, 0.5}}, " .5"},  // S = 2.5: sqrt(25.5) = 5.05
    };
    for (const auto& c : cases) {
        HeadlessApp app;
        for (const auto& [w, v] : c.data) app.s.Spectrum[w] = v;
        PlotTotal(app.s, app.ui);
        EXPECT_EQ(app.ui.text(Control::TryNbr), c.figure) << c.figure;
    }

    // A fitted curve that matches the data exactly leaves no deviation.
    HeadlessApp app;
    setSlot(app.s, 5, 60, 550, 25);
    for (int w = 0; w <= kMaxWave; ++w) app.s.Spectrum[w] = GaussianValue(60, 550, 25, w);
    selectSlot(app, 5, "Plot Total");
    EXPECT_EQ(app.ui.text(Control::TryNbr), " 0");
    const auto counts = countByColour(curveCalls(app));
    EXPECT_EQ(counts.size(), 1u);  // the total alone, no curve of slot 5
    EXPECT_EQ(counts.at(15), 800);
}

TEST(PlotTotal, FigureIsSmallestForTheCurveOnAMeasuredPeak) {
    // The red laser line at 657 nm, about 13 nm wide, scaled to 100 by the load.
    auto figureFor = [](double centre) {
        HeadlessApp app;
        app.ui.folder = dataFile("");
        app.ui.answers.push_back("red_laser_diode_narrow");
        app.ui.click(Control::GetFile);
        setSlot(app.s, 1, 100, centre, 6.5);
        PlotTotal(app.s, app.ui);
        return TextNum(app.ui.text(Control::TryNbr));
    };
    const double onPeak = figureFor(657);
    EXPECT_GT(onPeak, 0);
    EXPECT_LT(onPeak, figureFor(652));
    EXPECT_LT(figureFor(652), figureFor(637));
}

TEST(PlotTotal, CountsOnlySlotsWithAmplitudeAndWidth) {
    HeadlessApp app;
    setSlot(app.s, 1, 50, 500, 0);  // width 0: its limit is 50 at 500 and 0 elsewhere
    setSlot(app.s, 2, 0, 600, 10);
    setSlot(app.s, 9, 10, 800, 5);
    app.ui.draws.clear();
    PlotTotal(app.s, app.ui);
    const std::vector<DrawCall> calls = app.ui.draws;
    ASSERT_EQ(calls.size(), 800u);
    EXPECT_EQ(calls[300].y1, 0);   // 500: slot 1 is not in use
    EXPECT_EQ(calls[600].y1, 10);  // 800: slot 9 is
}

TEST(ZeroWidth, NeverPutsNaNOrInfinityIntoADrawingOrTheFigure) {
    for (const char* mode : {"Plot One", "Plot All", "Plot Total"}) {
        for (double centre : {500.0, 500.5}) {
            SCOPED_TRACE(testing::Message() << mode << " centre " << centre);
            HeadlessApp app;
            for (int w = 0; w <= kMaxWave; ++w) app.s.Spectrum[w] = 5;
            app.s.PeakX[0] = 300;
            app.s.PeakW[0] = 700;
            setSlot(app.s, 2, 40, centre, 0, true);
            setSlot(app.s, 3, 20, 600, 10, true);
            selectSlot(app, 2, mode);
            for (const DrawCall& d : app.ui.drawsSinceClear()) {
                ASSERT_TRUE(std::isfinite(d.x1) && std::isfinite(d.y1) && std::isfinite(d.x2) &&
                            std::isfinite(d.y2));
            }
            const std::string figure = app.ui.text(Control::TryNbr);
            EXPECT_EQ(figure.find_first_not_of(" .0123456789"), std::string::npos) << figure;
            if (std::string(mode) != "Plot Total") {
                // The zero-width curve lies along 0, with its centre value at a whole centre.
                float highest = 0;
                for (const DrawCall& d : app.ui.drawsSinceClear()) {
                    if (d.colour == 10) highest = std::max({highest, d.y1, d.y2});
                }
                EXPECT_EQ(highest, centre == 500 ? 40 : 0);
            }
        }
    }
}

TEST(PlotAllClick, CyclesThePlotModesWithoutDrawing) {
    HeadlessApp app;
    const size_t before = app.ui.draws.size();
    const char* cycle[] = {"Plot All", "Plot Total", "Plot One", "Plot All"};
    for (const char* mode : cycle) {
        EXPECT_EQ(app.ui.text(Control::PlotAll), mode);
        app.ui.click(Control::PlotAll);
    }
    EXPECT_EQ(app.ui.draws.size(), before);
}

}  // namespace
}  // namespace peakfold
