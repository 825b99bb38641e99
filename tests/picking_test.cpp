#include "graph/picking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "headless_toolkit.h"

namespace peakfold {
namespace {

using Kind = DrawCall::Kind;

void leftClick(HeadlessApp& app, float x) {
    app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
}
void rightClick(HeadlessApp& app, float x) {
    app.ui.mouseUp(Control::Graph, 2, 0, x, 50);
}

void enterLine(HeadlessApp& app, const std::string& line) {
    app.ui.setText(Control::Help, line);
    app.ui.keyPress(Control::Help, 13);
}

// A peak of 100 at 500 falling to 80, 60 and `third` one, two and three nm away.
void fillPeak(State& s, double third) {
    const double sides[] = {80, 60, third, 20, 10};
    s.Spectrum[500] = 100;
    for (int d = 1; d <= 5; ++d) s.Spectrum[500 - d] = s.Spectrum[500 + d] = sides[d - 1];
}

TEST(GraphMouseUp, StoresTheClickedPickAndMovesTheSelectorOn) {
    HeadlessApp app;
    leftClick(app, 512.7f);
    EXPECT_EQ(app.s.PeakX[1], 512);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Peak 2");
    EXPECT_EQ(app.ui.text(Control::Help).rfind("Peak 1:  512 - ", 0), 0u);

    // Selector on "Peak 2": a right click sets no centre or range edge.
    app.s.PeakW[0] = 600;
    rightClick(app, 640.5f);
    EXPECT_EQ(app.s.PeakX[2], 100);
    EXPECT_EQ(app.s.PeakX[0], 100);
    EXPECT_EQ(app.s.PeakW[0], 600);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Peak 3");

    leftClick(app, 700);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Range");

    // On "Range" a left click sets the left edge, a right click the right
    // edge, and the selector stays.
    leftClick(app, 250.9f);
    rightClick(app, 700.2f);
    EXPECT_EQ(app.s.PeakX[0], 250);
    EXPECT_EQ(app.s.PeakW[0], 700);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Range");
    const std::vector<DrawCall> strip = app.ui.drawsSinceClear();
    const DrawCall& range = strip[strip.size() - 7];
    EXPECT_EQ(range.colour, 7);
    EXPECT_EQ(range.x1, 250);
    EXPECT_EQ(range.x2, 700);

    // The middle button stores nothing.
    app.ui.mouseUp(Control::Graph, 4, 0, 300, 50);
    EXPECT_EQ(app.s.PeakX[0], 250);
    EXPECT_EQ(app.s.PeakW[0], 700);
}

TEST(GraphMouseUp, KeepsPicksFromOutsideThePlotInsideTheArray) {
    const struct {
        int button;
        float x;
        double pickX;
        int16_t pickW;
    } cases[] = {
        {1, -350.5f, 0, 1},
        {1, 1010.9f, 1010, 1},
        {1, 1e30f, 1010, 1},
        {1, -1e30f, 0, 1},
        {1, std::numeric_limits<float>::quiet_NaN(), 0, 1},
        {2, 4000.0f, 100, 1010},
        {2, -40000.0f, 100, 0},
        {2, 189.99f, 100, 189},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.button << " at " << c.x);
        HeadlessApp app;
        app.ui.setText(Control::PeakNbr, "Range");
        app.ui.mouseUp(Control::Graph, c.button, 0, c.x, -30);
        EXPECT_EQ(app.s.PeakX[0], c.pickX);
        EXPECT_EQ(app.s.PeakW[0], c.pickW);
        for (const DrawCall& d : app.ui.drawsSinceClear()) {
            EXPECT_TRUE(std::isfinite(d.x1) && std::isfinite(d.x2));
        }
    }
}

TEST(EstimateHalfWidth, WalksOutToHalfTheCentreValue) {
    const struct {
        double third;  // value 3 nm from the centre
        double centre;
        int16_t width;
    } cases[] = {
        {40, 500, 3},   {50, 500, 3},    // 50 is not greater than half of 100
        {51, 500, 4},   {40, 500.5, 3},  // halves go to the even neighbour: 500
        {40, 501.5, 2},                  // centre 502 (60): 504 holds 20, not above 30
        {40, 499.7, 3},
    };
    for (const auto& c : cases) {
        State s;
        fillPeak(s, c.third);
        s.PeakX[1] = c.centre;
        EXPECT_EQ(EstimateHalfWidth(s, 1), c.width) << c.third << " at " << c.centre;
    }
}

TEST(EstimateHalfWidth, GivesZeroWhereThereAreNoData) {
    State s;
    s.PeakX[2] = 400;
    EXPECT_EQ(EstimateHalfWidth(s, 2), 0);
    s.Spectrum[400] = -5;
    s.Spectrum[399] = s.Spectrum[401] = -1;
    EXPECT_EQ(EstimateHalfWidth(s, 2), 0);
}

TEST(EstimateHalfWidth, StopsAtTheEndsOfTheArray) {
    const struct {
        double centre;
        int16_t width;
    } cases[] = {
        {1005, 5},  // data above half height up to 1010: the distance walked
        {3, 3},      {2.5, 2},    {0, 0},     {1010, 0},
        {1010.4, 0}, {1010.6, 0},  // beyond the array: no data there
        {-0.6, 0},   {-400, 0},   {1e300, 0}, {-1e300, 0},
    };
    State s;
    s.Spectrum.fill(100);
    for (const auto& c : cases) {
        s.PeakX[3] = c.centre;
        EXPECT_EQ(EstimateHalfWidth(s, 3), c.width) << c.centre;
    }
}

TEST(GraphMouseUp, EstimatesTheHalfWidthOfMeasuredPeaks) {
    // Half the full width at half maximum that the measurements report.
    const struct {
        const char* name;
        float centre;
        int halfWidth;
    } cases[] = {
        {"red_laser_diode_narrow", 657, 6},         // FWHM about 13 nm
        {"white_led_blue_plus_phosphor", 454, 11},  // FWHM about 22 nm, on an offset
        {"led740_raw_counts_offset", 724, 13},      // FWHM about 26 nm, on an offset
    };
    for (const auto& c : cases) {
        HeadlessApp app;
        app.ui.folder = dataFile("");
        app.ui.answers.push_back(c.name);
        app.ui.click(Control::GetFile);
        ASSERT_TRUE(app.ui.messages.empty()) << c.name;
        leftClick(app, c.centre + 0.4f);
        EXPECT_NEAR(app.s.PeakW[1], c.halfWidth, 1) << c.name;
        EXPECT_EQ(app.ui.text(Control::Help).rfind("Peak 1:  " + std::to_string(int(c.centre)), 0),
                  0u);
    }
}

TEST(GraphMouseUp, EstimatesAllThreeWidthsAndDrawsThePickStrip) {
    HeadlessApp app;
    fillPeak(app.s, 40);
    app.s.PeakX[0] = 300;
    app.s.PeakW[0] = 700;
    app.s.PeakX[2] = 503;  // 40 there; half is 20, reached at 504
    app.s.PeakW[3] = 77;   // no data at 100: estimated 0
    app.ui.draws.clear();
    leftClick(app, 500.2f);
    EXPECT_EQ(app.s.PeakW[1], 3);
    EXPECT_EQ(app.s.PeakW[2], 1);
    EXPECT_EQ(app.s.PeakW[3], 0);

    // Nothing is cleared: only the eight shapes of the strip are added.
    const std::vector<DrawCall>& calls = app.ui.draws;
    ASSERT_EQ(calls.size(), 8u);
    const struct {
        float x1, y1, x2, y2;
        int colour;
    } shapes[] = {
        {201, -4, 999, -9, 6},  {300, -4, 700, -9, 7},  {497, -4, 503, -5, -1},
        {500, -4, 500, -5, 7},  {502, -6, 504, -7, -1}, {503, -5, 503, -7, 7},
        {100, -8, 100, -9, -1}, {100, -7, 100, -9, 8},
    };
    for (size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].kind, Kind::FilledBox);
        EXPECT_EQ(calls[i].x1, shapes[i].x1);
        EXPECT_EQ(calls[i].y1, shapes[i].y1);
        EXPECT_EQ(calls[i].x2, shapes[i].x2);
        EXPECT_EQ(calls[i].y2, shapes[i].y2);
        EXPECT_EQ(calls[i].colour, shapes[i].colour);
    }
    EXPECT_EQ(app.ui.text(Control::Help), "Peak 1:  500 -  3 Peak 2:  503 -  1 Peak 3:  100 -  0");
}

TEST(SettingsLine, ShowsThePeaksOfTheNumberOfPeaks) {
    State s;
    s.PeakX = {1, 450, 520, 610};
    s.PeakW = {2, 12, 8, 15};
    EXPECT_EQ(SettingsLine(s, 3), "Peak 1:  450 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15");
    EXPECT_EQ(SettingsLine(s, 2), "Peak 1:  450 -  12 Peak 2:  520 -  8");
    EXPECT_EQ(SettingsLine(s, 1), "Peak 1:  450 -  12");
    s.PeakX[1] = -3.5;
    s.PeakW[1] = -2;
    EXPECT_EQ(SettingsLine(s, 1), "Peak 1: -3.5 - -2");

    HeadlessApp app;
    app.ui.setText(Control::CalculateNbr, "2");
    leftClick(app, 450);
    EXPECT_EQ(app.ui.text(Control::Help), "Peak 1:  450 -  0 Peak 2:  100 -  0");
}

struct ParseCase {
    const char* text;
    std::array<double, 3> centres;
    std::array<int16_t, 3> widths;
};

TEST(ParseSettingsLine, ReadsCentresAsTypedAndWholeWidths) {
    const ParseCase cases[] = {
        {"Peak 1:  450 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15", {450, 520, 610}, {12, 8, 15}},
        {"Peak 1: 450.5 - 12.5 Peak 2: 520 - 8 Peak 3: 610 - 15", {450.5, 520, 610}, {12, 8, 15}},
        {"Peak 1: 450 - 13.5 Peak 2: 520 - 8.49 Peak 3: 610 - 15.51", {450, 520, 610}, {14, 8, 16}},
        // Fields with no number read 0.
        {"Peak 1:  - Peak 2: x - y Peak 3:  -  ", {0, 0, 0}, {0, 0, 0}},
        // Widths beyond 16 bits are held at its ends.
        {"Peak 1: 450 - 99999 Peak 2: 520 - -99999 Peak 3: 610 - 1e300",
         {450, 520, 610},
         {32767, -32768, 32767}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        State s;
        s.PeakX[0] = 321;
        s.PeakW[0] = 654;
        ParseSettingsLine(s, c.text);
        for (int p = 1; p <= 3; ++p) {
            EXPECT_EQ(s.PeakX[p], c.centres[p - 1]) << p;
            EXPECT_EQ(s.PeakW[p], c.widths[p - 1]) << p;
        }
        EXPECT_EQ(s.PeakX[0], 321);  // the range is never read from the line
        EXPECT_EQ(s.PeakW[0], 654);
    }
}

TEST(ParseSettingsLine, NeverFailsOnAnyText) {
    // A field whose character count comes out negative reads as the empty text.
    const ParseCase cases[] = {
        {"", {0, 0, 0}, {0, 0, 0}},
        {"garbage", {0, 0, 0}, {0, 0, 0}},
        // The line of a one-peak mouse-up: the width of peak 1 has no end.
        {"Peak 1:  450 -  12", {450, 450, 450}, {0, 0, 12}},
        {"Peak 1:  450 -  12 Peak 2:  520 -  8", {450, 520, 450}, {12, 0, 12}},
        // Labels out of order.
        {"Peak 3: 610 - 15 Peak 1: 450 - 12 Peak 2: 520 - 8", {0, 520, 610}, {15, 0, 15}},
        // A negative centre's minus is taken for the dash.
        {"Peak 1: -450 - 12 Peak 2: 520 - 8 Peak 3: 610 - 15", {0, 520, 610}, {450, 8, 15}},
        {"Peak 1:", {0, 0, 0}, {0, 0, 0}},
        {"-", {0, 0, 0}, {0, 0, 0}},
        {"Peak 3:", {0, 0, 0}, {0, 0, 0}},
        {"\t\n\r\x01\xff", {0, 0, 0}, {0, 0, 0}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        State s;
        ParseSettingsLine(s, c.text);
        for (int p = 1; p <= 3; ++p) {
            EXPECT_EQ(s.PeakX[p], c.centres[p - 1]) << p;
            EXPECT_EQ(s.PeakW[p], c.widths[p - 1]) << p;
        }
    }
}

TEST(HelpKeyPress, EnterReadsTheLineAndRedrawsWithDots) {
    HeadlessApp app;
    for (int w = 0; w <= kMaxWave; ++w) app.s.Spectrum[w] = 50;
    app.s.PeakX[0] = 400;
    app.s.PeakW[0] = 600;
    app.ui.graphLine(300, 20, 301, 21, LineStyle::Line, 15);  // a curve drawn before

    enterLine(app, "Peak 1: 450.5 - 12.5 Peak 2: 520 - 8 Peak 3: 610 - 15");
    EXPECT_EQ(app.s.PeakX[1], 450.5);
    EXPECT_EQ(app.s.PeakW[1], 12);
    EXPECT_EQ(app.ui.text(Control::Help),
              "Peak 1:  450.5 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15");

    // Frame, 201 dots, the strip with grey bars of the typed widths.
    const std::vector<DrawCall> calls = app.ui.drawsSinceClear();
    ASSERT_EQ(calls.size(), 194u + 201u + 8u);
    for (size_t i = 194; i < 395; ++i) EXPECT_EQ(calls[i].kind, Kind::Point);
    for (const DrawCall& d : calls) EXPECT_NE(d.colour, 15);
    const DrawCall& bar1 = calls[397];
    EXPECT_EQ(bar1.colour, 7);
    EXPECT_EQ(bar1.x1, 438.5f);
    EXPECT_EQ(bar1.x2, 462.5f);
    EXPECT_EQ(calls[399].colour, 7);
    EXPECT_EQ(calls[401].colour, 7);

    // Enter writes all three peaks whatever their number; other keys do nothing.
    app.ui.setText(Control::CalculateNbr, "1");
    enterLine(app, "Peak 1:  450 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15");
    EXPECT_EQ(app.ui.text(Control::Help),
              "Peak 1:  450 -  12 Peak 2:  520 -  8 Peak 3:  610 -  15");
    const size_t before = app.ui.draws.size();
    app.ui.setText(Control::Help, "Peak 1: 1 - 1");
    app.ui.keyPress(Control::Help, 'a');
    EXPECT_EQ(app.ui.draws.size(), before);
    EXPECT_EQ(app.s.PeakX[1], 450);
}

TEST(HelpKeyPress, TypedPicksOutsideTheArrayDrawFiniteAndEstimateZero) {
    HeadlessApp app;
    app.s.Spectrum.fill(100);
    enterLine(app, "Peak 1: 5000 - 3 Peak 2: 1e300 - 99999 Peak 3: 1010 - 2");
    EXPECT_EQ(app.s.PeakX[1], 5000);
    EXPECT_EQ(app.s.PeakX[2], 1e300);
    for (const DrawCall& d : app.ui.drawsSinceClear()) {
        EXPECT_TRUE(std::isfinite(d.x1) && std::isfinite(d.x2) && std::isfinite(d.y1));
    }
    app.ui.click(Control::ClearGraph);
    EXPECT_EQ(app.s.PeakW[1], 0);
    EXPECT_EQ(app.s.PeakW[2], 0);
    EXPECT_EQ(app.s.PeakW[3], 0);
}

TEST(PeakNbr, CyclesThroughThePeaksInUseAndTheRange) {
    const struct {
        const char* peaks;
        std::vector<const char*> cycle;
    } cases[] = {
        {"3", {"Peak 1", "Peak 2", "Peak 3", "Range", "Peak 1"}},
        {"2", {"Peak 1", "Peak 2", "Range", "Peak 1"}},
        {"1", {"Peak 1", "Range", "Peak 1"}},
    };
    for (const auto& c : cases) {
        HeadlessApp app;
        app.ui.setText(Control::CalculateNbr, c.peaks);
        for (size_t i = 0; i < c.cycle.size(); ++i) {
            EXPECT_EQ(app.ui.text(Control::PeakNbr), c.cycle[i]) << c.peaks << " step " << i;
            app.ui.click(Control::PeakNbr);
        }
    }
    // A caption beyond the number of peaks steps to "Range".
    HeadlessApp app;
    app.ui.setText(Control::PeakNbr, "Peak 3");
    app.ui.setText(Control::CalculateNbr, "2");
    app.ui.click(Control::PeakNbr);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Range");
}

TEST(ClearGraph, RedrawsFrameDataAndStripAndMovesAPeakSelectorOn) {
    HeadlessApp app;  // start-up picks: the range 100..1 holds no data to draw
    app.ui.click(Control::ClearGraph);
    const std::vector<DrawCall> calls = app.ui.drawsSinceClear();
    ASSERT_EQ(calls.size(), 194u + 8u);
    EXPECT_EQ(calls[194].colour, 6);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Peak 2");
    EXPECT_EQ(app.ui.text(Control::Help), "Peak 1:  100 -  0 Peak 2:  100 -  0 Peak 3:  100 -  0");

    app.ui.click(Control::ClearGraph);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Peak 3");
    app.ui.click(Control::ClearGraph);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Range");
    app.ui.click(Control::ClearGraph);
    EXPECT_EQ(app.ui.text(Control::PeakNbr), "Range");

    app.s.PeakX[0] = 400;
    app.s.PeakW[0] = 600;
    app.ui.click(Control::ClearGraph);
    EXPECT_EQ(app.ui.drawsSinceClear().size(), 194u + 200u + 8u);
    EXPECT_EQ(app.s.PeakX[0], 400);
    EXPECT_EQ(app.s.PeakW[0], 600);
}

}  // namespace
}  // namespace peakfold
