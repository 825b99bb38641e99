// What File > Export Figure hands the window beside the plot's calls: a
// legend of the curves the plot draws now and the wavelengths its axis spans.
#include <gtest/gtest.h>

#include <set>

#include "files/file_dialogs.h"
#include "graph/curves.h"
#include "headless_toolkit.h"
#include "model/equation.h"

namespace peakfold {
namespace {

constexpr int kFrameColour = 8, kRawColour = 7, kDipColour = 4;

FigureContent exported(HeadlessApp& app) {
    app.ui.exportAnswer = "figure.png";
    ExportFigure_Click(app.s, app.ui);
    return app.ui.figures.empty() ? FigureContent{} : app.ui.figures.back();
}

// The legend's colours against the colours of the curves the plot drew, so
// that it names every curve drawn and nothing else.
TEST(ExportFigure, LegendNamesTheCurvesThePlotDraws) {
    const struct {
        const char* mode;
        int selected;  // list line; -1 none
        bool baseline;
        std::set<int> colours;
    } cases[] = {
        {"Plot One", -1, true, {}},
        {"Plot One", 2, false, {11}},  // slot 3, not kept
        {"Plot All", 0, false, {9, 10, kTotalColour}},
        {"Plot Total", 1, false, {kTotalColour}},
        {"Plot All", 0, true, {9, 10, kTotalColour, kBaselineColour}},
        {"Plot One", 0, true, {9, kBaselineColour}},
    };
    for (const auto& c : cases) {
        HeadlessApp app;
        const double slots[][3] = {{50, 500, 20}, {30, 600, 25}, {20, 650, 15}};
        for (int i = 1; i <= 3; ++i) {
            app.s.EqIo[i] = slots[i - 1][0];
            app.s.EqXo[i] = slots[i - 1][1];
            app.s.EqW[i] = slots[i - 1][2];
            app.s.EqKept[i] = i < 3 ? 1 : 0;
            app.ui.listAppend(Control::List, EquationLine(app.s, i, i < 3));
        }
        if (c.baseline) {
            app.s.FitBaseline = {BaselineKind::Linear, true, 450, 700, {10, 2, 0}};
        }
        app.ui.setText(Control::PlotAll, c.mode);
        app.ui.clickListLine(c.selected);
        std::set<int> drawn;
        for (const DrawCall& d : app.ui.drawsSinceClear()) {
            if (d.colour != kFrameColour && d.colour != kRawColour && d.colour != kDipColour) {
                drawn.insert(d.colour);
            }
        }
        const FigureContent figure = exported(app);
        std::set<int> named;
        for (const auto& [text, colour] : figure.legend) named.insert(colour);
        EXPECT_EQ(drawn, c.colours) << c.mode << " " << c.selected;
        EXPECT_EQ(named, c.colours) << c.mode << " " << c.selected;
        EXPECT_EQ(figure.legend.size(), c.colours.size());
        if (c.baseline && c.selected >= 0) {
            EXPECT_EQ(figure.legend.back().first, "Baseline (linear)");
        }
    }
}

TEST(ExportFigure, AxisSpansTheFitRangeWithAMargin) {
    const struct {
        int first, last;
        double left, right;
    } cases[] = {
        {420, 700, 406, 714},   // 5 % of the span each side
        {500, 520, 495, 525},   // at least 5 nm
        {0, 1010, 190, 1010},   // inside the plot
        {600, 600, 200, 1000},  // no span: the frame's
        {0, 150, 200, 1000},    // nothing of it on the plot
    };
    for (const auto& c : cases) {
        HeadlessApp app;
        app.s.PeakX[0] = c.first;
        app.s.PeakW[0] = static_cast<int16_t>(c.last);
        const FigureContent figure = exported(app);
        EXPECT_DOUBLE_EQ(figure.left, c.left) << c.first << ".." << c.last;
        EXPECT_DOUBLE_EQ(figure.right, c.right) << c.first << ".." << c.last;
    }
}

}  // namespace
}  // namespace peakfold
