// A baseline under the peaks and weights, through the window's handlers:
// generated spectra with known peaks on a known baseline, the estimate that
// starts the search, the sigma column, and the result file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "file_test_folder.h"
#include "headless_toolkit.h"
#include "model/curve.h"
#include "model/state.h"
#include "refine/report.h"

namespace peakfold {
namespace {

void choose(HeadlessApp& app, MenuItem item) {
    Event e{Control::Graph, Event::Kind::Menu};
    e.item = item;
    app.ui.raise(e);
}

std::string full(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

double gaussian(double A, double c, double b, double x) {
    return A * std::exp(-kShape * ((x - c) / b) * ((x - c) / b));
}

// Two peaks on c0 + c1 t + c2 t^2, t over 380..650, in the file's units.
constexpr int kFirst = 380, kLast = 650;
constexpr double kMiddle = 515, kHalf = 135;
double generated(double x, const BaselineTerms& c) {
    const double t = (x - kMiddle) / kHalf;
    return gaussian(40, 450, 20, x) + gaussian(25, 560, 15, x) + c[0] + c[1] * t + c[2] * t * t;
}

std::string spectrumText(const BaselineTerms& c, const std::string& sigma = "") {
    std::string text;
    for (int w = kFirst; w <= kLast; ++w) {
        text += std::to_string(w) + "\t" + full(generated(w, c)) + sigma + "\r\n";
    }
    return text;
}

// Loads the file, picks 450 and 560 and the range, chooses the baseline,
// Calculates at Quality 2 and Refines.
void fitGenerated(HeadlessApp& app, const TempFolder& folder, MenuItem baseline) {
    app.ui.folder = folder.path();
    getFile(app, "generated");
    app.ui.setText(Control::CalculateNbr, "2");
    for (const auto& [pick, x] : {std::pair{"Peak 1", 450.f}, {"Peak 2", 560.f}}) {
        app.ui.setText(Control::PeakNbr, pick);
        app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
    }
    app.ui.setText(Control::PeakNbr, "Range");
    app.ui.mouseUp(Control::Graph, 1, 0, kFirst, 50);
    app.ui.mouseUp(Control::Graph, 2, 0, kLast, 50);
    choose(app, baseline);
    app.ui.setText(Control::Quality, "2");
    app.ui.click(Control::Calculate);
    choose(app, MenuItem::Refine);
}

TEST(Baseline, KnownPeaksOnAKnownBaselineComeBackThroughTheWindow) {
    const struct {
        MenuItem item;
        BaselineTerms truth;
    } cases[] = {{MenuItem::BaselineLinear, {1200, -150, 0}},
                 {MenuItem::BaselineQuadratic, {800, 90, -60}}};
    for (const auto& c : cases) {
        TempFolder folder;
        folder.write("generated.txt", spectrumText(c.truth));
        HeadlessApp app;
        fitGenerated(app, folder, c.item);
        const Refinement r = inOwnUnits(app.s.LastRefinement);
        ASSERT_TRUE(r.hasErrors);
        ASSERT_EQ(r.peaks.size(), 2u);
        const Peak truth[] = {{40, 450, 20}, {25, 560, 15}};
        for (size_t p = 0; p < 2; ++p) {
            EXPECT_NEAR(r.peaks[p].value.amplitude, truth[p].amplitude, 1e-6);
            EXPECT_NEAR(r.peaks[p].value.centre, truth[p].centre, 1e-6);
            EXPECT_NEAR(r.peaks[p].value.halfWidth, truth[p].halfWidth, 1e-6);
        }
        for (int j = 0; j < kBaselineTerms; ++j) EXPECT_NEAR(r.baseline.c[j], c.truth[j], 1e-5);
        EXPECT_EQ(r.statistics.parameters, 6 + termCount(r.baseline.kind));
    }
}

TEST(Baseline, EstimateRunsUnderThePeaksAndKeepsItsCurveOverAnotherRange) {
    const struct {
        BaselineKind kind;
        BaselineTerms truth;
        double tolerance;  // of the peak's height 100; through the peak would be 8 off
    } cases[] = {{BaselineKind::Constant, {20, 0, 0}, 1e-3},
                 {BaselineKind::Linear, {20, 8, 0}, 1e-3},
                 {BaselineKind::Quadratic, {20, 8, 5}, 1e-3},
                 // Through the ends' mean heights: close, not exact.
                 {BaselineKind::Exponential, {20, 0.8, 0}, 0.5}};
    for (const auto& c : cases) {
        Baseline truth{c.kind, true,    300,
                       700,    c.truth, c.kind == BaselineKind::Exponential ? 5.0 : 0.0};
        std::vector<double> data;
        for (int w = 300; w <= 700; ++w)
            data.push_back(baselineValue(truth, w) + gaussian(100, 480, 30, w));
        const Baseline estimate = estimateBaseline(c.kind, data, 300, 700, truth.level);
        const Baseline moved = overRange(estimate, 350, 650);
        for (const int w : {300, 420, 480, 555, 700}) {
            EXPECT_NEAR(baselineValue(estimate, w), baselineValue(truth, w), c.tolerance) << w;
            if (w >= 350 && w <= 650) {
                EXPECT_NEAR(baselineValue(moved, w), baselineValue(estimate, w), 1e-9) << w;
            }
        }
    }
}

TEST(Weights, FromTheFileRefusesABadSigmaColumnAndNamesItsFirstBadLine) {
    const struct {
        std::string sigmaOfLine5;
        std::string message;  // empty: accepted
    } cases[] = {{"\t0.5", ""},
                 {"", "line 5 of generated.txt has no σ"},
                 {"\t0", "line 5 of generated.txt has σ 0, which is not above 0"},
                 {"\t-2", "line 5 of generated.txt has σ -2, which is not above 0"},
                 {"\tnan", "line 5 of generated.txt has σ nan, which is not a finite number"},
                 {"\t1e999", "line 5 of generated.txt has σ 1e999, which is not a finite number"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sigmaOfLine5);
        std::string text = spectrumText({10, 0, 0}, "\t0.5");
        std::istringstream lines(text);
        std::string result, line;
        for (int n = 1; std::getline(lines, line); ++n) {
            if (n == 5) line = line.substr(0, line.rfind('\t')) + c.sigmaOfLine5 + "\r";
            result += line + "\n";
        }
        TempFolder folder;
        folder.write("generated.txt", result);
        HeadlessApp app;
        app.ui.folder = folder.path();
        getFile(app, "generated");
        choose(app, MenuItem::WeightsColumn);
        if (c.message.empty()) {
            EXPECT_TRUE(app.ui.messages.empty());
            EXPECT_EQ(app.s.Weights, Weighting::Column);
            continue;
        }
        ASSERT_EQ(app.ui.messages.size(), 1u);
        EXPECT_NE(app.ui.messages[0].find(c.message), std::string::npos) << app.ui.messages[0];
        EXPECT_EQ(app.s.Weights, Weighting::None);
    }
}

// What a reader that knows nothing of baselines takes from a result file:
// the numbers of lines 2 to 4 and the first two columns of each row.
std::vector<std::vector<double>> readAsBefore(const std::string& text) {
    std::vector<std::vector<double>> read;
    std::istringstream lines(text);
    std::string line;
    for (int n = 1; std::getline(lines, line); ++n) {
        if (n == 1 || n == 5 || n == 6) continue;
        std::vector<double> fields;
        std::istringstream cells(line);
        std::string cell;
        for (int k = 0; std::getline(cells, cell, ','); ++k) {
            if (k == 0 && n <= 4) continue;  // the label
            if (n > 6 && k >= 2) break;
            fields.push_back(std::stod(cell));
        }
        read.push_back(fields);
    }
    return read;
}

TEST(ResultFile, ABaselineComesBackAndAReaderWithoutBaselinesReadsTheSame) {
    TempFolder folder;
    folder.write("generated.txt", spectrumText({1200, -150, 0}));
    HeadlessApp app;
    fitGenerated(app, folder, MenuItem::BaselineLinear);
    const Baseline saved = app.s.FitBaseline;
    const auto save = [&](const std::string& name) {
        app.ui.answers.push_back(name);
        app.ui.click(Control::SaveData);
        return folder.read(name + ".pkd");
    };
    const std::string withBaseline = save("with");
    choose(app, MenuItem::BaselineNone);
    const std::string without = save("without");
    EXPECT_EQ(readAsBefore(withBaseline), readAsBefore(without));

    getFile(app, "with");
    const Baseline loaded = app.s.FitBaseline;
    EXPECT_EQ(loaded.kind, BaselineKind::Linear);
    EXPECT_EQ(loaded.first, saved.first);
    EXPECT_EQ(loaded.last, saved.last);
    for (int j = 0; j < kBaselineTerms; ++j) EXPECT_NEAR(loaded.c[j], saved.c[j], 1e-12 * 100);
    EXPECT_TRUE(app.s.Units.percent);
}

TEST(Refine, CountsTheBaselinesCoefficientsAmongTheParameters) {
    TempFolder folder;
    folder.write("generated.txt", spectrumText({1200, -150, 0}));
    HeadlessApp app;
    fitGenerated(app, folder, MenuItem::BaselineQuadratic);
    // Two peaks and a quadratic: 9 parameters, so 9 wavelengths are too few.
    app.ui.setText(Control::PeakNbr, "Range");
    app.ui.mouseUp(Control::Graph, 1, 0, 445, 50);
    app.ui.mouseUp(Control::Graph, 2, 0, 453, 50);
    app.ui.messages.clear();
    choose(app, MenuItem::Refine);
    ASSERT_EQ(app.ui.messages.size(), 1u);
    EXPECT_NE(app.ui.messages[0].find("holds 9 wavelengths, and 9 parameters"), std::string::npos)
        << app.ui.messages[0];
}

TEST(Refine, AnExponentialThatOverflowsLeavesTheEquationsAndSaysSo) {
    TempFolder folder;
    folder.write("steep.txt", "300\t6\n313\t4201\n320\t6");
    HeadlessApp app;
    app.ui.folder = folder.path();
    getFile(app, "steep");
    choose(app, MenuItem::BaselineExponential);
    app.ui.click(Control::Add);
    const State before = app.s;
    choose(app, MenuItem::Refine);
    ASSERT_EQ(app.ui.messages.size(), 1u);
    EXPECT_EQ(app.s.EqIo, before.EqIo);
    EXPECT_EQ(app.s.FitBaseline.c, before.FitBaseline.c);
    EXPECT_EQ(app.ui.text(Control::TryNbr).find("Inf"), std::string::npos);
}

}  // namespace
}  // namespace peakfold
