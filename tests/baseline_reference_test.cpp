// Peaks on a baseline, fitted as peakfold-fit fits a file, against answers
// found elsewhere: NIST's certified values, lmfit's fits, and a spectrum
// scaled in its file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch_fit.h"
#include "fit_table.h"
#include "file_test_folder.h"
#include "refine/report.h"

namespace peakfold {
namespace {

const double kRootK = std::sqrt(kShape);

Table fitted(const std::string& path, std::vector<PeakPick> picks, float low, float high,
             BaselineKind baseline, Weighting weights = Weighting::None) {
    return fitted(path, std::move(picks), low, high, [&](FitSettings& settings) {
        settings.baseline = baseline;
        settings.weights = weights;
    });
}

void expectRelative(double got, double want, double relative, const std::string& what) {
    EXPECT_NEAR(got, want, relative * std::abs(want)) << what;
}

struct Estimate {
    double value, error;
};

// lmfit's fit of the same curve (leastsq, scale_covar=True), in the file's
// units, from tools/lmfit_references.py.
struct PeakReference {
    Estimate amplitude, centre, halfWidth;
};
struct Reference {
    std::vector<PeakReference> peaks;
    std::vector<Estimate> baseline;  // c0, c1, c2 as the kind has them
    double chiSquare;
};

// The same minimum as lmfit's, each value within 1e-5 of itself or, for a
// value known only roughly, 1e-3 of its standard error: the refinement and
// lmfit's default both stop once a step moves no parameter by more than
// sqrt(eps) of its size, which leaves such a value that far from the
// minimum (lmfit's own default fit misses its tight one by as much). The
// errors within 2 %, chi-square within 1e-5.
void expectSameFit(const Table& t, const Reference& lmfit) {
    ASSERT_EQ(t.fit.rows.size(), lmfit.peaks.size());
    const auto expectMatch = [&](size_t row, const std::string& column, Estimate want) {
        EXPECT_NEAR(t.at(row, column), want.value,
                    std::max(1e-5 * std::abs(want.value), 1e-3 * want.error))
            << column;
        expectRelative(t.at(row, column + "_err"), want.error, 0.02, column + "_err");
    };
    for (size_t row = 0; row < lmfit.peaks.size(); ++row) {
        expectMatch(row, "amplitude", lmfit.peaks[row].amplitude);
        expectMatch(row, "centre", lmfit.peaks[row].centre);
        expectMatch(row, "half_width", lmfit.peaks[row].halfWidth);
    }
    for (size_t j = 0; j < lmfit.baseline.size(); ++j) {
        expectMatch(0, "baseline_c" + std::to_string(j), lmfit.baseline[j]);
    }
    expectRelative(t.at(0, "chi_square"), lmfit.chiSquare, 1e-5, "chi_square");
}

// The dip of the pink filter under a straight line, 420..650 nm.
const Reference kPinkLinear = {
    {{{-77.33930479725436, 1.4813767493976482},
      {526.7747861249943, 0.762265267750409},
      {59.758504934519515, 1.4488736759786855}}},
    {{80.93528866734339, 1.5819175757044657}, {21.23953107184526, 0.9166430465273137}},
    4430.145435607185};

TEST(BaselineReference, MeetsNistCertifiedValues) {
    // b1..b8 of y = b1 exp(-b2 x) + b3 exp(-(x - b4)^2 / b5^2) + b6 exp(-(x - b7)^2 / b8^2),
    // each with its certified standard deviation, and the certified sum of
    // squares. Without a baseline the best sum of squares is about 40 times
    // (Gauss1) and 23 times (Gauss2) the certified one.
    struct Case {
        const char* file;
        const char *first, *second;  // the clicks on the two peaks
        Estimate b[9];               // b[1]..b[8]
        double ssr;
    };
    // clang-format off
    const Case cases[] = {
        {"nist/gauss1.txt", "67", "179",
         {{}, {9.8778210871E+01, 5.7527E-01}, {1.0497276517E-02, 1.1406E-04},
          {1.0048990633E+02, 5.8832E-01}, {6.7481111276E+01, 1.0461E-01},
          {2.3129773360E+01, 1.7440E-01}, {7.1994503004E+01, 6.2623E-01},
          {1.7899805021E+02, 1.2437E-01}, {1.8389389025E+01, 2.0134E-01}},
         1.3158222432E+03},
        {"nist/gauss2.txt", "107", "153",
         {{}, {9.9018328406E+01, 5.3749E-01}, {1.0994945399E-02, 1.3335E-04},
          {1.0188022528E+02, 5.9217E-01}, {1.0703095519E+02, 1.5007E-01},
          {2.3578584029E+01, 2.2696E-01}, {7.2045589471E+01, 6.1722E-01},
          {1.5327010194E+02, 1.9467E-01}, {1.9525972636E+01, 2.6417E-01}},
         1.2475282092E+03},
    };
    // clang-format on
    // Over 1..250 the baseline is c0 exp(-c1 t), t = (x - 125.5) / 124.5.
    const double m = 125.5, h = 124.5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Table t = fitted(dataFile(c.file), {{c.first, ""}, {c.second, ""}}, 1, 250,
                               BaselineKind::Exponential);
        ASSERT_EQ(t.fit.rows.size(), 2u);
        for (size_t row = 0; row < 2; ++row) {
            const Estimate* peak = &c.b[3 + 3 * row];  // b3, b4, b5 or b6, b7, b8
            const struct {
                const char* column;
                Estimate want;
            } fields[] = {{"amplitude", peak[0]},
                          {"centre", peak[1]},
                          {"half_width", {peak[2].value * kRootK, peak[2].error * kRootK}}};
            for (const auto& f : fields) {
                expectRelative(t.at(row, f.column), f.want.value, 1e-6, f.column);
                expectRelative(t.at(row, std::string(f.column) + "_err"), f.want.error, 0.01,
                               f.column);
            }
        }
        // b1 = c0 exp(c1 m / h); its standard deviation would need c0 and
        // c1's covariance, which the table does not give.
        const double c0 = t.at(0, "baseline_c0"), c1 = t.at(0, "baseline_c1");
        expectRelative(c0 * std::exp(c1 * m / h), c.b[1].value, 1e-6, "b1");
        expectRelative(c1 / h, c.b[2].value, 1e-6, "b2");
        expectRelative(t.at(0, "baseline_c1_err") / h, c.b[2].error, 0.01, "b2's error");
        expectRelative(t.at(0, "ssr"), c.ssr, 1e-6, "ssr");
    }
}

// The next state of a splitmix64 generator and a uniform number in [0, 1).
double uniform(uint64_t& state) {
    state += 0x9E3779B97F4A7C15u;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;  // 2^53
}

// Two Gaussians on a straight line, 400..700 nm, with uniform noise whose
// standard deviation sigma grows along the spectrum, in a third column
// (tools/lmfit_references.py makes the same lines).
std::string sigmaColumnSpectrum() {
    std::string text;
    uint64_t state = 2024;
    for (int x = 400; x <= 700; ++x) {
        const double sigma = 0.5 + 2.0 * (x - 400) / 300;
        const double u = uniform(state);
        const double y = 12 + 0.03 * (x - 400) +
                         70 * std::exp(-kShape * std::pow((x - 510) / 18.0, 2)) +
                         45 * std::exp(-kShape * std::pow((x - 575) / 25.0, 2)) +
                         sigma * std::sqrt(3.0) * (2 * u - 1);
        text += std::to_string(x) + "\t" + fullPrecision(y) + "\t" + fullPrecision(sigma) + "\n";
    }
    return text;
}

TEST(BaselineReference, MatchesLmfitInTheFilesUnits) {
    TempFolder folder;
    folder.write("sigma_column.txt", sigmaColumnSpectrum());
    struct Case {
        std::string path;
        std::vector<PeakPick> picks;
        float low, high;
        BaselineKind baseline;
        Weighting weights;
        Reference lmfit;
    };
    const std::string pink = dataFile("pink_filter_transmittance_dip.txt");
    const std::string led = dataFile("led740_raw_counts_offset.txt");
    // clang-format off
    const Case cases[] = {
        {dataFile("gold_nanoparticle_plasmon_abs.txt"), {{"523", ""}}, 420, 700,
         BaselineKind::Linear, Weighting::None,
         {{{{1.4024659515421987, 0.012727386838023777}, {526.1292078807774, 0.38387821295768704},
            {47.2380619674679, 0.6078138034052775}}},
          {{0.6364684900095081, 0.00948495473642835}, {-0.559848247591402, 0.010503406659163638}},
          1.1389446270547394}},
        // A dip clicked at its bottom: the baseline is estimated from above.
        {pink, {{"522", ""}}, 420, 650, BaselineKind::Linear, Weighting::None, kPinkLinear},
        // Over 420..650 a quadratic under an ever wider and deeper dip
        // lowers the sum of squares without end; the plateau pins it.
        {pink, {{"522", ""}}, 420, 750, BaselineKind::Quadratic, Weighting::None,
         {{{{-83.49725216094944, 1.4042420740391568}, {525.7393239541261, 0.6197293914559819},
            {58.47902461205752, 1.0715139602382155}}},
          {{92.27399007663965, 1.2669673298980961}, {14.004739231645887, 1.0795149275473461},
           {-20.042438045449067, 1.3062720067659188}},
          5464.801269400301}},
        {led, {{"724", ""}}, 650, 800, BaselineKind::Constant, Weighting::Counts,
         {{{{48301.75734480896, 623.6166988207134}, {722.9018660663884, 0.13806546352899385},
            {14.653142622193, 0.1498939330169927}}},
          {{3820.5051366858056, 79.92869693480522}},
          19693.597873235165}},
        {led, {{"724", ""}}, 650, 800, BaselineKind::Linear, Weighting::Counts,
         {{{{48316.2410694148, 615.3282224627183}, {722.9514057964295, 0.13760452636272097},
            {14.637032524558341, 0.14772934361275905}}},
          {{3833.0313371276393, 78.90781911306703}, {-232.59564014066405, 101.2419215015293}},
          19007.431663815052}},
        {folder.pathOf("sigma_column.txt"), {{"510", ""}, {"575", ""}}, 420, 680,
         BaselineKind::Linear, Weighting::Column,
         {{{{70.24588408154115, 0.31436284795165437}, {510.10183767850987, 0.09256139659099365},
            {18.032507622462425, 0.10876834640014449}},
           {{45.518051816621366, 0.3934721845983759}, {575.3413129612768, 0.20734369793937973},
            {24.98353799377507, 0.2973999962973381}}},
          {{16.39790184887446, 0.16777150199849647}, {3.785370555823662, 0.20044421116351804}},
          272.84522842177967}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        expectSameFit(fitted(c.path, c.picks, c.low, c.high, c.baseline, c.weights), c.lmfit);
    }
}

TEST(BaselineReference, ScalesWithTheFilesValues) {
    // One spectrum written three times, y, 2y and y / 2 + 7.25, each value
    // as the shortest text of its double.
    std::vector<std::pair<int, double>> rows;
    std::ifstream in(dataFile("gold_nanoparticle_plasmon_abs.txt"));
    int wave;
    double value;
    while (in >> wave >> value) rows.emplace_back(wave, value);
    ASSERT_FALSE(rows.empty());
    TempFolder folder;
    const struct { double factor, offset; } copies[] = {{1, 0}, {2, 0}, {0.5, 7.25}};
    std::vector<Table> tables;
    for (const auto& copy : copies) {
        std::string text;
        for (const auto& [w, y] : rows) {
            text += std::to_string(w) + "\t" + fullPrecision(copy.factor * y + copy.offset) + "\n";
        }
        const std::string name = "gold x" + fullPrecision(copy.factor) + ".txt";
        folder.write(name, text);
        tables.push_back(
            fitted(folder.pathOf(name), {{"523", ""}}, 420, 700, BaselineKind::Linear));
        ASSERT_EQ(tables.back().fit.rows.size(), 1u);
    }
    for (size_t k = 1; k < tables.size(); ++k) {
        SCOPED_TRACE(copies[k].factor);
        for (const char* column : {"area", "baseline_c1"}) {
            expectRelative(tables[k].at(0, column), copies[k].factor * tables[0].at(0, column),
                           1e-9, column);
        }
    }
}

}  // namespace
}  // namespace peakfold
