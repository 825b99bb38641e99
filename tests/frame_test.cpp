#include "graph/frame.h"

#include <gtest/gtest.h>

#include <limits>

#include "headless_toolkit.h"

namespace peakfold {
namespace {

using Kind = DrawCall::Kind;

std::vector<DrawCall> callsOf(const std::vector<DrawCall>& calls, Kind kind) {
    std::vector<DrawCall> result;
    for (const DrawCall& c : calls) {
        if (c.kind == kind) result.push_back(c);
    }
    return result;
}

// A spectrum whose value at w is easy to recognise: w / 10.
void fillRamp(State& s) {
    for (int w = 0; w <= kMaxWave; ++w) s.Spectrum[w] = w / 10.0;
}

TEST(DrawGraphFrame, DrawsTheSameFrameWhateverIsLoaded) {
    HeadlessApp app;
    fillRamp(app.s);
    app.s.PeakX[0] = 300;
    app.s.PeakW[0] = 700;
    app.ui.draws.clear();
    DrawGraphFrame(app.s, app.ui);

    ASSERT_EQ(app.ui.draws.front().kind, Kind::Clear);
    const std::vector<DrawCall> calls = app.ui.drawsSinceClear();
    ASSERT_EQ(calls.size(), 194u);
    for (const DrawCall& c : calls) EXPECT_EQ(c.colour, 8);

    const DrawCall& box = calls[0];
    EXPECT_EQ(box.kind, Kind::Box);
    EXPECT_EQ(box.x1, 200);
    EXPECT_EQ(box.y1, 0);
    EXPECT_EQ(box.x2, 1000);
    EXPECT_EQ(box.y2, 100);
    EXPECT_EQ(callsOf(calls, Kind::Line).size(), 193u);

    int grid = 0, topBottom = 0, sides = 0;
    for (const DrawCall& c : callsOf(calls, Kind::Line)) {
        if (c.y1 == 105 && c.y2 == -5) {
            ++grid;
            EXPECT_EQ(c.x1, c.x2);
        } else if ((c.y1 == 0 && c.y2 == -2) || (c.y1 == 100 && c.y2 == 102)) {
            ++topBottom;
            EXPECT_EQ(c.x1, c.x2);
        } else if ((c.x1 == 200 && c.x2 == 198) || (c.x1 == 1000 && c.x2 == 1002)) {
            ++sides;
            EXPECT_EQ(c.y1, c.y2);
        }
    }
    EXPECT_EQ(grid, 9);
    EXPECT_EQ(topBottom, 162);
    EXPECT_EQ(sides, 22);
    // Grid first, left to right; then each tick pair bottom before top.
    EXPECT_EQ(calls[1].x1, 200);
    EXPECT_EQ(calls[9].x1, 1000);
    EXPECT_EQ(calls[10].y2, -2);
    EXPECT_EQ(calls[11].y2, 102);
    EXPECT_EQ(calls[193].x2, 1002);
    EXPECT_EQ(calls[193].y1, 100);
}

struct RangeCase {
    double left;
    int16_t right;
    int segments;      // PlotRawData
    int firstSegment;  // x of the first segment's start
    int dots;          // PlotRawDots
    int firstDot, lastDot;
};

TEST(PlotRawData, TracesAndDotsTheFitRangeInsideTheArray) {
    const RangeCase cases[] = {
        {400, 600, 200, 400, 201, 400, 600},
        {300.5, 400, 100, 300, 101, 300, 400},  // halves go to the even neighbour
        {301.5, 400, 98, 302, 99, 302, 400},
        {100, 1, 0, 0, 0, 0, 0},  // start-up picks: the end lies below the start
        {500, 500, 0, 0, 1, 500, 500},
        {-20, 10, 10, 0, 11, 0, 10},             // partly below the array
        {1000, 1500, 10, 1000, 11, 1000, 1010},  // partly above it
        {1200, 1300, 0, 0, 0, 0, 0},             // wholly outside
        {-1e300, -5, 0, 0, 0, 0, 0},
        {std::numeric_limits<double>::quiet_NaN(), 600, 0, 0, 0, 0, 0},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << ".." << c.right);
        HeadlessApp app;
        fillRamp(app.s);
        app.s.PeakX[0] = c.left;
        app.s.PeakW[0] = c.right;

        app.ui.draws.clear();
        PlotRawData(app.s, app.ui);
        const std::vector<DrawCall> trace = app.ui.draws;
        ASSERT_EQ(static_cast<int>(trace.size()), c.segments);
        for (const DrawCall& d : trace) {
            EXPECT_EQ(d.kind, Kind::Line);
            EXPECT_EQ(d.colour, 7);
            EXPECT_EQ(d.x2, d.x1 + 1);
            EXPECT_FLOAT_EQ(d.y1, d.x1 / 10.0f);
            EXPECT_FLOAT_EQ(d.y2, d.x2 / 10.0f);
        }
        if (c.segments > 0) {
            EXPECT_EQ(trace.front().x1, c.firstSegment);
            EXPECT_EQ(trace.back().x2, c.firstSegment + c.segments);
        }

        app.ui.draws.clear();
        PlotRawDots(app.s, app.ui);
        const std::vector<DrawCall> dots = app.ui.draws;
        ASSERT_EQ(static_cast<int>(dots.size()), c.dots);
        for (const DrawCall& d : dots) {
            EXPECT_EQ(d.kind, Kind::Point);
            EXPECT_EQ(d.colour, 7);
            EXPECT_FLOAT_EQ(d.y1, d.x1 / 10.0f);
        }
        if (c.dots > 0) {
            EXPECT_EQ(dots.front().x1, c.firstDot);
            EXPECT_EQ(dots.back().x1, c.lastDot);
        }
    }
}

}  // namespace
}  // namespace peakfold
