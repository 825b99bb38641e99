#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "headless_toolkit.h"

namespace peakfold {
namespace {

constexpr int kLeft = 1, kRight = 2, kMiddle = 4;
constexpr int kShift = 1, kCtrl = 2, kAlt = 4;

// Slot 1 as "Add" makes it, its line selected.
void addAndSelect(HeadlessApp& app) {
    app.ui.click(Control::Add);
    app.ui.clickListLine(0);
}

TEST(Tuning, StepsTheSelectedParameterByButtonAndKeyState) {
    const struct {
        Control button;
        int mouse, keys;
        double io, xo, w;
        const char* line;
    } cases[] = {
        {Control::Io, kRight, 0, 51, 400, 20, " 1: Y= 51e^-k((x- 400)/ 20)^2"},
        {Control::PulseWidth, kLeft, kShift, 50, 400, 19.9, " 1: Y= 50e^-k((x- 400)/ 19.9)^2"},
        {Control::wl, kRight, kCtrl, 50, 410, 20, " 1: Y= 50e^-k((x- 410)/ 20)^2"},
        {Control::Io, kLeft, kCtrl, 40, 400, 20, " 1: Y= 40e^-k((x- 400)/ 20)^2"},
        {Control::wl, kLeft, kShift, 50, 399.9, 20, " 1: Y= 50e^-k((x- 399.9)/ 20)^2"},
        {Control::Io, kRight, kShift, 50.1, 400, 20, " 1: Y= 50.1e^-k((x- 400)/ 20)^2"},
        // Shift with Ctrl, or Alt, is not Shift alone nor Ctrl alone: step 1.
        {Control::Io, kLeft, kShift + kCtrl, 49, 400, 20, " 1: Y= 49e^-k((x- 400)/ 20)^2"},
        {Control::PulseWidth, kRight, kAlt, 50, 400, 21, " 1: Y= 50e^-k((x- 400)/ 21)^2"},
        {Control::wl, kLeft, kShift + kAlt, 50, 399, 20, " 1: Y= 50e^-k((x- 399)/ 20)^2"},
        // The middle button changes nothing but still rewrites the line.
        {Control::Io, kMiddle, 0, 50, 400, 20, " 1: Y= 50e^-k((x- 400)/ 20)^2"},
        {Control::PulseWidth, kMiddle, kCtrl, 50, 400, 20, " 1: Y= 50e^-k((x- 400)/ 20)^2"},
    };
    for (const auto& c : cases) {
        HeadlessApp app;
        addAndSelect(app);
        app.ui.mouseUp(c.button, c.mouse, c.keys);
        EXPECT_EQ(app.s.EqIo[1], c.io) << c.line;
        EXPECT_EQ(app.s.EqXo[1], c.xo) << c.line;
        EXPECT_EQ(app.s.EqW[1], c.w) << c.line;
        EXPECT_EQ(app.ui.listLines()[0], c.line);
        EXPECT_EQ(app.ui.listIndex(Control::List), 0) << "the line stays selected";
        EXPECT_EQ(app.s.EqKept[1], 1) << "the marker shows ':' but the slot stays kept";
    }
}

TEST(Tuning, TenthStepsCarryNoiseThatTheLineHides) {
    HeadlessApp app;
    addAndSelect(app);
    app.ui.mouseUp(Control::PulseWidth, kLeft, kShift);
    app.ui.mouseUp(Control::PulseWidth, kLeft, kShift);
    EXPECT_NE(app.s.EqW[1], 19.8) << "the stored width keeps its rounding noise";
    EXPECT_EQ(app.s.EqW[1], 20 - 0.1 - 0.1);
    EXPECT_EQ(app.ui.listLines()[0], " 1: Y= 50e^-k((x- 400)/ 19.8)^2");
}

TEST(Tuning, FiftyLeftClicksOnIoFreeTheSlot) {
    HeadlessApp app;
    addAndSelect(app);
    for (int i = 0; i < 50; ++i) app.ui.mouseUp(Control::Io, kLeft, 0);
    EXPECT_EQ(app.s.EqIo[1], 0.0);
    EXPECT_EQ(app.ui.listLines()[0], " 1: Y= 0e^-k((x- 400)/ 20)^2");

    app.ui.click(Control::Add);  // the zero-amplitude slot counts as free
    ASSERT_EQ(app.ui.listLines().size(), 2u);
    EXPECT_EQ(app.ui.listLines()[0], " 1: Y= 0e^-k((x- 400)/ 20)^2") << "the old line stays";
    EXPECT_EQ(app.ui.listLines()[1], " 1> Y= 50e^-k((x- 400)/ 20)^2");
    EXPECT_EQ(app.s.EqIo[2], 0) << "slot 2 was not needed";
}

TEST(Tuning, ParametersHaveNoBoundsAndAZeroWidthDrawsWithoutNaN) {
    HeadlessApp app;
    addAndSelect(app);
    for (int i = 0; i < 20; ++i) app.ui.mouseUp(Control::PulseWidth, kLeft, 0);
    EXPECT_EQ(app.s.EqW[1], 0);
    EXPECT_EQ(app.ui.listLines()[0], " 1: Y= 50e^-k((x- 400)/ 0)^2");

    // Every plot mode redraws the zero-width slot with finite coordinates.
    for (int mode = 0; mode < 3; ++mode) {
        app.ui.mouseUp(Control::Io, kMiddle, 0);
        for (const DrawCall& d : app.ui.drawsSinceClear()) {
            ASSERT_TRUE(std::isfinite(d.x1) && std::isfinite(d.y1) && std::isfinite(d.x2) &&
                        std::isfinite(d.y2));
        }
        const std::string figure = app.ui.text(Control::TryNbr);
        EXPECT_EQ(figure.find("nan"), std::string::npos) << figure;
        EXPECT_EQ(figure.find("inf"), std::string::npos) << figure;
        app.ui.click(Control::PlotAll);
    }

    app.ui.mouseUp(Control::PulseWidth, kLeft, kShift);
    EXPECT_EQ(app.ui.listLines()[0], " 1: Y= 50e^-k((x- 400)/-.1)^2") << "negative shown as is";
}

TEST(Tuning, ASelectionThatNamesNoSlotOnlyClearsTheGraph) {
    const struct {
        const char* line;
        bool select;
    } cases[] = {{"", false}, {"", true}, {"No fit found.", true}};
    const Control buttons[] = {Control::Io, Control::wl, Control::PulseWidth};
    for (const auto& c : cases) {
        for (const Control button : buttons) {
            HeadlessApp app;
            app.ui.click(Control::Add);
            app.ui.listAppend(Control::List, c.line);
            if (c.select) app.ui.clickListLine(1);
            const size_t drawsBefore = app.ui.draws.size();
            app.ui.mouseUp(button, kRight, kCtrl);

            EXPECT_EQ(app.s.EqIo[1], 50);
            EXPECT_EQ(app.s.EqXo[1], 400);
            EXPECT_EQ(app.s.EqW[1], 20);
            EXPECT_EQ(app.ui.listLines()[0], " 1> Y= 50e^-k((x- 400)/ 20)^2");
            EXPECT_EQ(app.ui.listLines()[1], c.line);
            // The surface is cleared to the frame and no curve follows.
            const std::vector<DrawCall> after(app.ui.draws.begin() + drawsBefore,
                                              app.ui.draws.end());
            ASSERT_FALSE(after.empty());
            EXPECT_EQ(after.front().kind, DrawCall::Kind::Clear);
            for (const DrawCall& d : after) EXPECT_NE(d.colour, 9) << "no curve of slot 1";
        }
    }
}

}  // namespace
}  // namespace peakfold
