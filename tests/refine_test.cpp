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

TEST(Refine, RecoversExactGaussiansFromTheGridAnswer) {
    HeadlessApp app;
    searchTestSpectrum(app);
    // Loading rescales the spectrum to 0..100 by one factor.
    const double scale = app.s.Spectrum[800] / TestSpectrumValue(800);
    const Peak truth[] = {{40 * scale, 720, 30}, {30 * scale, 775, 20}, {50 * scale, 825, 10}};
    const SavedRows rows = savedRows(app.s);
    const Refinement r = refine(app.s.Spectrum, rows.first, rows.last, listedPeaks(app.s, 3));
    ASSERT_EQ(r.peaks.size(), 3u);
    for (const PeakEstimate& p : r.peaks) {
        // The search lists its Gaussians by centre, which here is slot order.
        const Peak& t = truth[p.slot - 1];
        EXPECT_NEAR(p.value.amplitude, t.amplitude, 1e-8);
        EXPECT_NEAR(p.value.centre, t.centre, 1e-8);
        EXPECT_NEAR(p.value.halfWidth, t.halfWidth, 1e-8);
    }
    EXPECT_TRUE(r.statistics.converged);
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
        propagateErrors(p, c.varA, c.varB, c.cov);
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
        bool atBound;
    } cases[] = {
        {"inside", 520, 30, startAt(1, 40, 510, 25), false},
        {"centre left of the range", 380, 30, startAt(1, 40, 430, 25), true},
        {"wider than the range", 520, 400, startAt(1, 40, 520, 100), true},
        {"start beyond both bounds", 520, 30, startAt(1, 40, 700, 0.1), false},
    };
    for (const Case& c : cases) {
        WaveArray y{};
        for (int w = 420; w <= 620; ++w) y[w] = GaussianValue(50, c.centre, c.halfWidth, w);
        const Refinement r = refine(y, 420, 620, {c.start});
        ASSERT_EQ(r.peaks.size(), 1u) << c.what;
        EXPECT_EQ(r.peaks[0].atBound, c.atBound) << c.what;
        EXPECT_GE(r.peaks[0].value.centre, 420) << c.what;
        EXPECT_LE(r.peaks[0].value.halfWidth, 200) << c.what;
    }
}

TEST(RefineCommand, RelistsAndReportsErrorsOnlyWhileTheEquationsAreThoseRefined) {
    HeadlessApp app;
    searchTestSpectrum(app);
    const std::string figureBefore = app.ui.text(Control::TryNbr);
    app.ui.raise({Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::Refine});
    EXPECT_TRUE(app.ui.messages.empty());
    EXPECT_NEAR(app.s.EqXo[1], 720, 1e-8);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(app.ui.listLines()[i - 1], EquationLine(app.s, i, false));
    EXPECT_EQ(app.ui.text(Control::TryNbr), NumText(DeviationFigure(app.s)));
    EXPECT_NE(app.ui.text(Control::TryNbr), figureBefore);

    const Event report{Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::Report};
    app.ui.raise(report);
    app.ui.clickListLine(0);
    app.ui.mouseUp(Control::wl, 1, 0);  // a tuning step moves the centre of slot 1
    app.ui.raise(report);
    ASSERT_EQ(app.ui.reports.size(), 2u);
    EXPECT_TRUE(app.ui.reports[0].hasErrors);
    EXPECT_FALSE(app.ui.reports[1].hasErrors);
    EXPECT_EQ(app.ui.reports[1].peaks[0].value.centre, app.s.EqXo[1]);
}

TEST(Report, WritesFullPrecisionRowsThenTheStatistics) {
    Refinement r;
    r.peaks = {startAt(2, 0.1, 500.25, 1e-300)};
    r.peaks[0].error = {0.5, std::numeric_limits<double>::infinity(), 2};
    r.peaks[0].atBound = true;
    r.statistics = {10, 3, 1.5, std::numeric_limits<double>::quiet_NaN(), -0.25, 7, false};
    const std::string header =
        "equation,amplitude,amplitude_err,centre,centre_err,half_width,half_width_err,fwhm,"
        "fwhm_err,area,area_err,at_bound\n";
    const std::string statistics =
        "\nstatistic,value\npoints,10\nparameters,3\nssr,1.5\nreduced_chi_square,nan\n"
        "r_squared,-0.25\niterations,7\nconverged,false\n";
    EXPECT_EQ(reportTable(r, ','), header + "2,0.1,,500.25,,1e-300,,0,,0,,true\n" + statistics);
    r.hasErrors = true;
    EXPECT_EQ(reportTable(r, ','), header + "2,0.1,0.5,500.25,inf,1e-300,2,0,0,0,0,true\n" + statistics);
}

}  // namespace
}  // namespace peakfold
