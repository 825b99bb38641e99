#include "ui/main_window.h"

#include <gtest/gtest.h>

#include "headless_toolkit.h"

namespace peakfold {
namespace {

TEST(StartUp, OpensWithTheInitialTextsPicksAndLegend) {
    HeadlessApp app;
    const struct {
        Control control;
        const char* text;
    } texts[] = {
        {Control::Quality, "10"},       {Control::CalculateNbr, "3"}, {Control::PeakNbr, "Peak 1"},
        {Control::PlotAll, "Plot All"}, {Control::TryNbr, "Label1"},  {Control::Help, "Text1"},
    };
    for (const auto& t : texts) EXPECT_EQ(app.ui.text(t.control), t.text);
    EXPECT_EQ(app.ui.windowCaption, "Form1");
    EXPECT_TRUE(app.ui.listLines(Control::List).empty());
    EXPECT_FALSE(app.ui.lists[Control::HelpList].visible);

    for (int i = 0; i <= 3; ++i) {
        EXPECT_EQ(app.s.PeakX[i], 100) << i;
        EXPECT_EQ(app.s.PeakW[i], 1) << i;
    }
    const Control legend[] = {Control::Shape1, Control::Shape2, Control::Shape3,
                              Control::Shape4, Control::Shape5, Control::Shape6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(app.ui.fillColours[legend[i]], 9 + i);

    // The bare frame and nothing else.
    EXPECT_EQ(app.ui.draws.front().kind, DrawCall::Kind::Clear);
    EXPECT_EQ(app.ui.drawsSinceClear().size(), 194u);
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(app.s.EqIo[i], 0);
        EXPECT_EQ(app.s.EqKept[i], 0);
    }
}

TEST(StartUp, FillsTheHelpListOnceWithItsFiftyEightLines) {
    HeadlessApp app;
    const std::vector<std::string>& lines = app.ui.listLines(Control::HelpList);
    ASSERT_EQ(lines.size(), 58u);
    std::vector<int> empty;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], kHelpLines[i]);
        if (lines[i].empty()) empty.push_back(static_cast<int>(i) + 1);
    }
    EXPECT_EQ(empty, (std::vector<int>{4, 6, 10, 15, 18, 26, 32, 34, 36, 41, 48, 53, 57}));
    EXPECT_EQ(lines[0], "Peakfold - Gaussian peak fitting, 2026");
    EXPECT_NE(lines[4].find("README"), std::string::npos);
    EXPECT_EQ(lines[6],
              "The program can fit up to 3 Gaussian equations to a set of raw spectral data.");
    EXPECT_EQ(lines[57], "Click on this Help Screen to return back to the program.");
    // The lines that end with a blank keep it.
    for (int n : {13, 20, 22, 29, 38}) EXPECT_EQ(lines[n - 1].back(), ' ') << n;
    EXPECT_EQ(lines[27],
              "sum of these over your raw data. Use Save File to create an output file with the "
              "extension .pkd");
}

TEST(StartUp, ASecondActivationRepeatsAllThreeSteps) {
    HeadlessApp app;
    app.s.PeakX[2] = 512;
    app.s.PeakW[0] = 700;
    app.ui.graphLine(300, 10, 400, 20, LineStyle::Line, 15);
    Form_Activate(app.s, app.ui);
    EXPECT_EQ(app.s.PeakX[2], 100);
    EXPECT_EQ(app.s.PeakW[0], 1);
    EXPECT_EQ(app.ui.drawsSinceClear().size(), 194u);
    EXPECT_EQ(app.ui.listLines(Control::HelpList).size(), 116u);
}

TEST(HelpScreen, ShowsOverTheWindowAndHidesOnAnyLine) {
    HeadlessApp app;
    HeadlessList& help = app.ui.lists[Control::HelpList];
    EXPECT_EQ(help.height, 300);
    for (int i = 0; i < 2; ++i) {
        app.ui.click(Control::HelpCommand);
        EXPECT_TRUE(help.visible);
        EXPECT_EQ(help.height, 6048);
    }
    app.ui.clickListLine(3, Control::HelpList);  // an empty line hides it as any other does
    EXPECT_FALSE(help.visible);
    EXPECT_EQ(help.height, 6048);
    EXPECT_EQ(help.lines.size(), 58u);

    app.ui.click(Control::HelpCommand);
    app.ui.clickListLine(53, Control::HelpList);
    EXPECT_FALSE(help.visible);
    EXPECT_EQ(app.ui.drawsSinceClear().size(), 194u);  // the picture is not redrawn
}

TEST(Exit, EndsTheProgramAtOnce) {
    HeadlessApp app;
    app.ui.click(Control::exitprogram);
    EXPECT_TRUE(app.ui.ended);
    EXPECT_TRUE(app.ui.messages.empty());
    EXPECT_TRUE(app.ui.prompts.empty());
}

}  // namespace
}  // namespace peakfold
