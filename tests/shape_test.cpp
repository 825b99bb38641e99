// Lorentzian and pseudo-Voigt peaks, fitted as peakfold-fit fits a file:
// generated lines of known shape, lmfit's fits of measured spectra, and the
// shapes a result file carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch_fit.h"
#include "fit_table.h"
#include "file_test_folder.h"
#include "model/equation.h"
#include "model/state.h"
#include "refine/report.h"

namespace peakfold {
namespace {

constexpr PeakShape kGaussian = PeakShape::Gaussian, kLorentzian = PeakShape::Lorentzian,
                    kPseudoVoigt = PeakShape::PseudoVoigt;

Table fitted(const std::string& path, std::vector<PeakPick> picks, float low, float high,
             PeakShape shape) {
    return fitted(path, std::move(picks), low, high, [&](FitSettings& settings) {
        settings.baseline = BaselineKind::Linear;
        settings.shape = shape;
    });
}

struct Line {
    double amplitude, centre, halfWidth;
    PeakShape shape;
    double eta;  // a pseudo-Voigt's
};

double lorentzianShare(const Line& p) {
    return p.shape == kLorentzian ? 1 : p.shape == kPseudoVoigt ? p.eta : 0;
}

double lineValue(const Line& p, double x) {
    const double q2 = (x - p.centre) * (x - p.centre) / (p.halfWidth * p.halfWidth);
    const double eta = lorentzianShare(p);
    return p.amplitude * ((1 - eta) * std::exp(-kShape * q2) + eta / (1 + q2));
}

// Two lines on 300 - 40 t, t = (x - 515) / 135 over 380..650, noise-free,
// each value as the shortest text of its double.
constexpr double kC0 = 300, kC1 = -40;
std::string linesText(const Line (&lines)[2]) {
    std::string text;
    for (int x = 380; x <= 650; ++x) {
        const double y =
            kC0 + kC1 * (x - 515) / 135.0 + lineValue(lines[0], x) + lineValue(lines[1], x);
        text += std::to_string(x) + "\t" + fullPrecision(y) + "\n";
    }
    return text;
}

TEST(Shapes, GeneratedLinesComeBackInTheirShapes) {
    struct Case {
        PeakShape every;  // --shape
        Line lines[2];
        std::optional<PeakShape> own[2];  // --peak NM@SHAPE
    };
    const Case cases[] = {
        {kLorentzian, {{40, 450, 20, kLorentzian, 0}, {25, 560, 15, kLorentzian, 0}}, {}},
        {kPseudoVoigt, {{40, 450, 20, kPseudoVoigt, 0.3}, {25, 560, 15, kPseudoVoigt, 0.7}}, {}},
        {kLorentzian,
         {{40, 450, 20, kPseudoVoigt, 0.4}, {25, 560, 15, kLorentzian, 0}},
         {kPseudoVoigt, std::nullopt}},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        folder.write("lines.txt", linesText(c.lines));
        const Table t = fitted(folder.pathOf("lines.txt"),
                               {{"450", "", c.own[0]}, {"560", "", c.own[1]}}, 380, 650, c.every);
        ASSERT_EQ(t.fit.rows.size(), 2u);
        for (size_t row = 0; row < 2; ++row) {
            const Line& p = c.lines[row];
            SCOPED_TRACE(shapeName(p.shape));
            EXPECT_EQ(t.text(row, "shape"), shapeName(p.shape));
            const double eta = lorentzianShare(p);
            const double area =
                p.amplitude * p.halfWidth *
                ((1 - eta) * std::sqrt(std::numbers::pi / kShape) + eta * std::numbers::pi);
            for (const auto& [column, want] : {std::pair{"amplitude", p.amplitude},
                                               {"centre", p.centre},
                                               {"half_width", p.halfWidth},
                                               {"area", area}}) {
                EXPECT_NEAR(t.at(row, column), want, 1e-6 * want) << column;
            }
            if (p.shape == kPseudoVoigt) {
                EXPECT_NEAR(t.at(row, "eta"), p.eta, 1e-6);
            } else {
                EXPECT_EQ(t.text(row, "eta"), "");
            }
        }
        EXPECT_NEAR(t.at(0, "baseline_c0"), kC0, 1e-6 * kC0);
        EXPECT_NEAR(t.at(0, "baseline_c1"), kC1, 1e-6 * -kC1);
    }
}

struct Estimate {
    double value, error;
};

// lmfit's fit of the same curve (leastsq, scale_covar=True; least_squares
// where an eta ends on its bound), in the file's units, from
// tools/lmfit_references.py.
struct PeakReference {
    Estimate amplitude, centre, halfWidth, eta;  // eta: a pseudo-Voigt's
};
struct Reference {
    std::vector<PeakReference> peaks;
    Estimate c0, c1;
    double chiSquare;
};

// The same minimum as lmfit's, each value within 1e-5 of itself or, for a
// value known only roughly, 1e-3 of its standard error; the errors within
// 2 %, chi-square within 1e-5. An eta that ends on 0 or 1 ends on its
// bound, and its error is that of a free eta.
TEST(Shapes, MatchLmfitOnMeasuredSpectra) {
    struct Case {
        const char* file;
        std::vector<PeakPick> picks;
        float low, high;
        PeakShape shape;
        Reference lmfit;
    };
    const std::vector<PeakPick> red = {{"657", ""}};
    // clang-format off
    const Case cases[] = {
        {"red_laser_diode_narrow.txt", red, 600, 720, kGaussian,
         {{{{5520.42478177355, 79.190685105917}, {656.4866941888145, 0.10115344307057529},
            {7.297967178927155, 0.1256827590475221}, {}}},
          {137.2130960656414, 22.385426712046208}, {-82.89112248388786, 33.03628576415084},
          5112347.201149032}},
        {"red_laser_diode_narrow.txt", red, 600, 720, kPseudoVoigt,
         {{{{6153.589343753313, 59.468037349602604}, {656.5816228990202, 0.05233224516753971},
            {6.490880632353276, 0.09806085492906985}, {0.8321170224256579, 0.04643955153245469}}},
          {-75.96637861321547, 17.383286460592426}, {-60.16705343971245, 17.957457253541712},
          1479868.3067876804}},
        // The phosphor's band is best a Gaussian at 533 nm under a broad
        // pseudo-Voigt at 573 nm: the middle line's eta ends on 0.
        {"white_led_blue_plus_phosphor.txt", {{"454", ""}, {"558", ""}, {"640", ""}}, 400, 780,
         kPseudoVoigt,
         {{{{55076.33410445331, 494.5939624058062}, {454.75203993096545, 0.05525441639324315},
            {10.720478978137718, 0.10093929614372762}, {0.7523369523947278, 0.042257543925735275}},
           {{4610.6959113727835, 1362.1449639423959}, {532.8515554420003, 0.8602849997278661},
            {18.02749082468816, 2.5380640570624187}, {1.0387530453947402e-31, 0.9512400571814199}},
           {{24692.216133444086, 931.5970469289493}, {572.7956735657212, 2.42326228936058},
            {71.40561145056645, 1.448365928175967}, {0.696327629634204, 0.09037383191716941}}},
          {-443.46779742894176, 441.2437257479196}, {2213.8421927631694, 142.2100365405309},
          213959457.79143032}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::string(shapeName(c.shape)));
        const Table t = fitted(dataFile(c.file), c.picks, c.low, c.high, c.shape);
        ASSERT_EQ(t.fit.rows.size(), c.lmfit.peaks.size());
        const auto expectMatch = [&](size_t row, const std::string& column, Estimate want) {
            EXPECT_NEAR(t.at(row, column), want.value,
                        std::max(1e-5 * std::abs(want.value), 1e-3 * want.error))
                << column;
            EXPECT_NEAR(t.at(row, column + "_err"), want.error, 0.02 * want.error) << column;
        };
        for (size_t row = 0; row < c.lmfit.peaks.size(); ++row) {
            const PeakReference& p = c.lmfit.peaks[row];
            EXPECT_EQ(t.text(row, "shape"), shapeName(c.shape));
            expectMatch(row, "amplitude", p.amplitude);
            expectMatch(row, "centre", p.centre);
            expectMatch(row, "half_width", p.halfWidth);
            if (c.shape == kPseudoVoigt) expectMatch(row, "eta", p.eta);
            const bool etaOnBound = c.shape == kPseudoVoigt && p.eta.value < 1e-6;
            EXPECT_EQ(t.text(row, "at_bound"), etaOnBound ? "true" : "false");
        }
        expectMatch(0, "baseline_c0", c.lmfit.c0);
        expectMatch(0, "baseline_c1", c.lmfit.c1);
        EXPECT_NEAR(t.at(0, "chi_square"), c.lmfit.chiSquare, 1e-5 * c.lmfit.chiSquare);
    }
}

void choose(HeadlessApp& app, MenuItem item) {
    Event e{Control::Graph, Event::Kind::Menu};
    e.item = item;
    app.ui.raise(e);
}

TEST(Shapes, ComeBackFromTheResultFileWhichHoldsThemOnlyWhenNotAllGaussian) {
    TempFolder folder;
    folder.write("lines.txt",
                 linesText({{40, 450, 20, kPseudoVoigt, 0.4}, {25, 560, 15, kLorentzian, 0}}));
    HeadlessApp app;
    app.ui.folder = folder.path();
    getFile(app, "lines");
    app.ui.setText(Control::CalculateNbr, "2");
    for (const auto& [pick, x] : {std::pair{"Peak 1", 450.f}, {"Peak 2", 560.f}}) {
        app.ui.setText(Control::PeakNbr, pick);
        app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
    }
    app.ui.setText(Control::PeakNbr, "Range");
    app.ui.mouseUp(Control::Graph, 1, 0, 380, 50);
    app.ui.mouseUp(Control::Graph, 2, 0, 650, 50);
    choose(app, MenuItem::BaselineLinear);
    app.ui.setText(Control::Quality, "2");
    app.ui.click(Control::Calculate);
    const auto save = [&](const std::string& name) {
        app.ui.answers.push_back(name);
        app.ui.click(Control::SaveData);
        return folder.read(name + ".pkd");
    };
    // Gaussians, and Gaussians again after another shape: the file as ever.
    const std::string gaussians = save("gaussians");
    choose(app, MenuItem::ShapeLorentzian);
    choose(app, MenuItem::ShapeGaussian);
    EXPECT_EQ(save("again"), gaussians);
    EXPECT_EQ(gaussians.find(",Shapes="), std::string::npos);

    // Every line Lorentzian, then slot 1's a pseudo-Voigt, refined.
    choose(app, MenuItem::ShapeLorentzian);
    for (int line = 0; line < app.ui.listCount(Control::List); ++line) {
        if (LineSlot(app.ui.listLine(Control::List, line)) == 1) app.ui.clickListLine(line);
    }
    choose(app, MenuItem::SelectedPseudoVoigt);
    choose(app, MenuItem::Refine);
    ASSERT_TRUE(app.ui.messages.empty()) << app.ui.messages.front();
    const SlotArray eta = app.s.EqEta;
    save("mixed");
    getFile(app, "mixed");
    const PeakShape want[] = {kPseudoVoigt, kLorentzian};
    for (int k = 1; k <= 2; ++k) {
        EXPECT_EQ(app.s.EqShape[k], want[k - 1]) << k;
        EXPECT_NEAR(app.s.EqEta[k], eta[k], 1e-14) << k;
    }
    EXPECT_NEAR(eta[1], 0.4, 1e-6);
}

}  // namespace
}  // namespace peakfold
