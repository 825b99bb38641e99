#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "files/result_file.h"
#include "files/test_spectrum.h"
#include "graph/curves.h"
#include "headless_toolkit.h"
#include "model/equation.h"
#include "model/numbers.h"
#include "refine/refine.h"
#include "refine/report.h"

namespace peakfold {
namespace {

// The built-in test spectrum after picks at 715, 780 and 830 nm and a search
// at Quality 1: the grid answer a refinement starts from.
void searchTestSpectrum(HeadlessApp& app) {
    app.ui.click(Control::GetFile);
    for (const float x : {715.0f, 780.0f, 830.0f}) app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
    app.ui.setText(Control::Quality, "1");
    app.ui.click(Control::Calculate);
}

// Refine from the menu: the slots get the generating parameters, their list
// lines and the deviation figure follow them.
TEST(Refine, RecoversExactGaussiansFromTheGridAnswer) {
    HeadlessApp app;
    searchTestSpectrum(app);
    const std::string gridFigure = app.ui.text(Control::TryNbr);
    app.ui.raise({Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::Refine});
    EXPECT_TRUE(app.ui.messages.empty());
    EXPECT_TRUE(app.s.LastRefinement.statistics.converged);
    // Loading rescales the spectrum to 0..100 by one factor.
    const double scale = app.s.Spectrum[800] / TestSpectrumValue(800);
    const Peak truth[] = {{40 * scale, 720, 30}, {30 * scale, 775, 20}, {50 * scale, 825, 10}};
    for (int i = 1; i <= 3; ++i) {  // the search lists its Gaussians by centre
        EXPECT_NEAR(app.s.EqIo[i], truth[i - 1].amplitude, 1e-8);
        EXPECT_NEAR(app.s.EqXo[i], truth[i - 1].centre, 1e-8);
        EXPECT_NEAR(app.s.EqW[i], truth[i - 1].halfWidth, 1e-8);
        EXPECT_EQ(app.ui.listLines()[i - 1], EquationLine(app.s, i, false));
    }
    EXPECT_EQ(app.ui.text(Control::TryNbr), NumText(DeviationFigure(app.s)));
    EXPECT_NE(app.ui.text(Control::TryNbr), gridFigure);
}

// 60 G(500, 25) + 40 G(540, 15) over 420..620 nm plus uniform noise of +-1.5
// from a fixed generator.
WaveArray noisyTwoPeaks() {
    WaveArray y{};
    std::uint64_t seed = 12345;
    for (int w = 420; w <= 620; ++w) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const double unit = static_cast<double>(seed >> 11) * 0x1p-53;
        y[w] = (GaussianValue(60, 500, 25, w) + GaussianValue(40, 540, 15, w)) + 3 * (unit - 0.5);
    }
    return y;
}

PeakEstimate startAt(int slot, double A, double c, double b) {
    PeakEstimate p;
    p.slot = slot;
    p.value = {A, c, b};
    return p;
}

TEST(Refine, MatchesAnIndependentLeastSquaresOnNoisyData) {
    // lmfit 1.1.0 (leastsq, same bounds, same start), run once by hand.
    const Peak value[] = {{60.270216716353836, 500.1161866411273, 24.93314186308831},
                          {39.79900174907768, 540.03017827751, 15.02957093328241}};
    const Peak error[] = {{0.19921114043690555, 0.20750472657916058, 0.2000057066016998},
                          {0.4889005220575287, 0.17401206631754404, 0.16819008799831034}};
    const Refinement r = refine(noisyTwoPeaks(), 420, 620,
                                {startAt(1, 55, 495, 20), startAt(2, 45, 545, 18)});
    ASSERT_TRUE(r.hasErrors);
    ASSERT_EQ(r.peaks.size(), 2u);
    EXPECT_TRUE(r.statistics.converged);
    EXPECT_NEAR(r.statistics.ssr, 153.63156841939445, 1e-9 * 153.6);
    EXPECT_NEAR(r.statistics.reducedChiSquare, 0.7878541970225357, 1e-9);
    const auto near = [](double got, double want, double relative) {
        EXPECT_NEAR(got, want, relative * std::abs(want));
    };
    for (int i = 0; i < 2; ++i) {
        const PeakEstimate& p = r.peaks[i];
        near(p.value.amplitude, value[i].amplitude, 1e-5);
        near(p.value.centre, value[i].centre, 1e-5);
        near(p.value.halfWidth, value[i].halfWidth, 1e-5);
        near(p.error.amplitude, error[i].amplitude, 1e-3);
        near(p.error.centre, error[i].centre, 1e-3);
        near(p.error.halfWidth, error[i].halfWidth, 1e-3);
        EXPECT_FALSE(p.atBound);
    }
}

TEST(Refine, PropagatesErrorsToAreaAndFwhm) {
    // sqrt(pi / k) = 2.1289340..., so area = A b * 2.1289340...
    const double root = std::sqrt(3.14159265358979323846 / kShape);
    struct Case {
        double A, b, varA, varB, cov;
        double area, areaError, fwhmError;
    } cases[] = {
        // (pi/k)(9 * .01 + 4 * .04 + 2 * 2 * 3 * .005) = (pi/k) * .31
        {2, 3, 0.01, 0.04, 0.005, 6 * root, std::sqrt(0.31) * root, 0.4},
        // a negative covariance lowers it: (pi/k)(.09 + .16 - .06) = (pi/k) * .19
        {2, 3, 0.01, 0.04, -0.005, 6 * root, std::sqrt(0.19) * root, 0.4},
        // a dip: A < 0 gives a negative area; (pi/k)(25 * 4 + 16 * 1 + 2 * -4 * 5 * 0) = (pi/k) 116
        {-4, 5, 4, 1, 0, -20 * root, std::sqrt(116.0) * root, 2},
    };
    for (const Case& c : cases) {
        PeakEstimate p = startAt(1, c.A, 500, c.b);
        deriveFigures(p);
        propagateErrors(p, {c.varA, c.varB, c.cov});
        EXPECT_NEAR(p.area, c.area, 1e-12 * std::abs(c.area));
        EXPECT_NEAR(p.areaError, c.areaError, 1e-12 * c.areaError);
        EXPECT_DOUBLE_EQ(p.fwhm, 2 * c.b);
        EXPECT_DOUBLE_EQ(p.fwhmError, c.fwhmError);
        EXPECT_DOUBLE_EQ(p.error.amplitude, std::sqrt(c.varA));
    }
}

TEST(Refine, FlagsAPeakThatEndsOnABound) {
    struct Case {
        const char* what;
        double centre, halfWidth;  // of the data's Gaussian, amplitude 50
        PeakEstimate start;
        bool centreAtBound, halfWidthAtBound;
    } cases[] = {
        {"inside", 520, 30, startAt(1, 40, 510, 25), false, false},
        {"centre left of the range", 380, 30, startAt(1, 40, 430, 25), true, false},
        {"wider than the range", 520, 400, startAt(1, 40, 520, 100), false, true},
        {"start beyond both bounds", 520, 30, startAt(1, 40, 700, 0.1), false, false},
    };
    for (const Case& c : cases) {
        WaveArray y{};
        for (int w = 420; w <= 620; ++w) y[w] = GaussianValue(50, c.centre, c.halfWidth, w);
        const Refinement r = refine(y, 420, 620, {c.start});
        ASSERT_EQ(r.peaks.size(), 1u) << c.what;
        const PeakEstimate& p = r.peaks[0];
        EXPECT_EQ(p.centreAtBound, c.centreAtBound) << c.what;
        EXPECT_EQ(p.halfWidthAtBound, c.halfWidthAtBound) << c.what;
        EXPECT_EQ(p.atBound, c.centreAtBound || c.halfWidthAtBound) << c.what;
    }
}

TEST(Report, ShowsErrorsOnlyWhileTheEquationsAreThoseRefined) {
    HeadlessApp app;
    searchTestSpectrum(app);
    const Event report{Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::Report};
    app.ui.raise(report);
    app.ui.raise({Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::Refine});
    app.ui.raise(report);
    app.ui.clickListLine(0);
    app.ui.mouseUp(Control::wl, 1, 0);  // a tuning step moves the centre of slot 1
    app.ui.raise(report);
    ASSERT_EQ(app.ui.reports.size(), 3u);
    EXPECT_EQ((std::vector<bool>{app.ui.reports[0].hasErrors, app.ui.reports[1].hasErrors,
                                 app.ui.reports[2].hasErrors}),
              (std::vector<bool>{false, true, false}));
    EXPECT_EQ(app.ui.reports[2].peaks[0].value.centre, app.s.EqXo[1]);
}

TEST(Report, WritesFullPrecisionRowsThenTheStatistics) {
    Refinement r;
    r.peaks = {startAt(2, 0.1, 500.25, 1e-300)};
    r.peaks[0].error = {0.5, std::numeric_limits<double>::infinity(), 2};
    r.peaks[0].atBound = true;
    r.statistics = {10, 3, 1.5, 1.5, std::numeric_limits<double>::quiet_NaN(), -0.25, 7, false};
    const std::string header =
        "equation,amplitude,amplitude_err,centre,centre_err,half_width,half_width_err,fwhm,"
        "fwhm_err,area,area_err,at_bound,shape,eta,eta_err\n";
    const std::string statistics =
        "\nstatistic,value\npoints,10\nparameters,3\nssr,1.5\nchi_square,1.5\n"
        "reduced_chi_square,nan\nr_squared,-0.25\niterations,7\nconverged,false\nweights,none\n"
        "units,percent\nscale,1\noffset,0\nbaseline,none\nbaseline_c0,\nbaseline_c0_err,\n"
        "baseline_c1,\nbaseline_c1_err,\nbaseline_c2,\nbaseline_c2_err,\n";
    EXPECT_EQ(reportTable(r, ','), header + "2,0.1,,500.25,,1e-300,,0,,0,,true,gaussian,,\n" + statistics);
    r.hasErrors = true;
    EXPECT_EQ(reportTable(r, ','), header + "2,0.1,0.5,500.25,inf,1e-300,2,0,0,0,0,true,gaussian,,\n" + statistics);
}

}  // namespace
}  // namespace peakfold
