// Times Refine's least squares, refine() alone, from a start near the
// optimum as a search leaves it:
//  - map/...: a generated map-like spectrum, three Gaussians with noise on
//    400..800 nm, from starts a little off the true values; plain, on a
//    linear baseline, and as pseudo-Voigts;
//  - rhodamine, white_led: measured spectra loaded with Get File, picked by
//    clicks where their peaks are and searched at Quality 2, from the
//    search's answer.
// Each case runs today's refinement (now/NAME) and the one it replaced
// (before/NAME); the fastest iteration of each counts. Besides Google
// Benchmark's tables it prints one line per case,
//   refine NAME before_ms B now_ms N speedup B/N same yes|NO iterations I
// where "same" says whether both gave the same doubles; a case whose
// answers differ fails the run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "files/result_file.h"
#include "headless_toolkit.h"
#include "model/calculate.h"
#include "model/equation.h"
#include "refine/fit_choices.h"
#include "refine/refine.h"
#include "refine_before.h"

namespace peakfold {
namespace {

struct Case {
    WaveArray spectrum{};
    int first = 0, last = 0;
    std::vector<PeakEstimate> start;
    FitModel model;
};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "peakfold_refine_bench: %s\n", what.c_str());
    std::exit(1);
}

// Three Gaussians on 400..800 nm with noise of +-1 from a fixed generator,
// and a start off each true value by a few percent of its size.
Case mapCase(PeakShape shape, BaselineKind baseline) {
    const Peak truth[] = {{80, 512, 23}, {50, 588, 13.5}, {60, 706, 33}};
    Case c;
    c.first = 400;
    c.last = 800;
    std::uint64_t seed = 0x9E3779B97F4A7C15u;
    for (int w = c.first; w <= c.last; ++w) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const double noise = 2 * (static_cast<double>(seed >> 11) * 0x1p-53) - 1;
        double y = noise;
        for (const Peak& g : truth) y += GaussianValue(g.amplitude, g.centre, g.halfWidth, w);
        if (baseline != BaselineKind::None) y += 5 + 0.01 * (w - c.first);
        c.spectrum[w] = y;
    }
    for (int p = 0; p < 3; ++p) {
        PeakEstimate e;
        e.slot = p + 1;
        e.value = {truth[p].amplitude * 0.97, truth[p].centre + 1.5, truth[p].halfWidth * 1.06,
                   shape, shape == PeakShape::PseudoVoigt ? kStartEta : 0};
        c.start.push_back(e);
    }
    if (baseline != BaselineKind::None) {
        std::vector<double> data(c.spectrum.begin() + c.first, c.spectrum.begin() + c.last + 1);
        c.model.baseline = estimateBaseline(baseline, data, c.first, c.last, 0);
    }
    return c;
}

// A measured spectrum as a person picks it, searched at Quality 2.
Case measuredCase(const std::string& file, const std::vector<float>& centres) {
    HeadlessApp app;
    app.ui.folder = PEAKFOLD_DATA_DIR;
    app.ui.setText(Control::CalculateNbr, std::to_string(centres.size()));
    app.ui.answers.push_back(file);
    app.ui.click(Control::GetFile);
    if (!app.ui.messages.empty()) fail(file + ": " + app.ui.messages.front());
    for (size_t k = 0; k < centres.size(); ++k) {
        app.ui.setText(Control::PeakNbr, "Peak " + std::to_string(k + 1));
        app.ui.mouseUp(Control::Graph, 1, 0, centres[k], 50);
    }
    app.ui.setText(Control::Quality, "2");
    Calculate_Click(app.s, app.ui);
    if (app.ui.listSelectedText(Control::List) == "No fit found.") fail(file + ": no fit found");
    Case c;
    c.spectrum = app.s.Spectrum;
    const SavedRows rows = savedRows(app.s);
    c.first = rows.first;
    c.last = rows.last;
    c.start = listedPeaks(app.s, static_cast<int>(centres.size()));
    std::string problem;
    c.model = fitModelOf(app.s, c.first, c.last, c.start, problem);
    if (!problem.empty()) fail(file + ": " + problem);
    return c;
}

struct Timing {
    double before = 0, now = 0;  // seconds, the fastest iteration
    int iterations = 0;
    bool same = true;
};
std::map<std::string, Case> cases;
std::map<std::string, Timing> timings;
std::vector<std::string> order;

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <typename Refine>
void timeRefine(benchmark::State& bench, const std::string& name, double Timing::*fastest,
                Refine run) {
    const Case& c = cases.at(name);
    Timing& t = timings[name];
    for (auto _ : bench) {
        const double t0 = wallSeconds();
        const Refinement r = run(c.spectrum, c.first, c.last, c.start, c.model);
        const double seconds = wallSeconds() - t0;
        benchmark::DoNotOptimize(r.statistics.ssr);
        bench.SetIterationTime(seconds);
        if (t.*fastest == 0 || seconds < t.*fastest) t.*fastest = seconds;
    }
    const Refinement now = refine(c.spectrum, c.first, c.last, c.start, c.model);
    t.same = now == refineBefore(c.spectrum, c.first, c.last, c.start, c.model);
    t.iterations = now.statistics.iterations;
    bench.counters["iterations"] = t.iterations;
}

void add(const std::string& name, Case c) {
    cases[name] = std::move(c);
    order.push_back(name);
    for (const bool before : {true, false}) {
        benchmark::RegisterBenchmark(((before ? "before/" : "now/") + name).c_str(),
                                     [name, before](benchmark::State& b) {
                                         if (before) {
                                             timeRefine(b, name, &Timing::before, refineBefore);
                                         } else {
                                             timeRefine(b, name, &Timing::now, refine);
                                         }
                                     })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3);
    }
}

bool printSummary() {
    bool allSame = true;
    std::printf("\n");
    for (const std::string& name : order) {
        const Timing& t = timings[name];
        if (t.before == 0 || t.now == 0) continue;
        allSame = allSame && t.same;
        std::printf("refine %s before_ms %.4f now_ms %.4f speedup %.2f same %s iterations %d\n",
                    name.c_str(), 1e3 * t.before, 1e3 * t.now, t.before / t.now,
                    t.same ? "yes" : "NO", t.iterations);
    }
    return allSame;
}

}  // namespace
}  // namespace peakfold

int main(int argc, char** argv) {
    using namespace peakfold;
    add("map_3gauss", mapCase(PeakShape::Gaussian, BaselineKind::None));
    add("map_3gauss_linear", mapCase(PeakShape::Gaussian, BaselineKind::Linear));
    add("map_3pvoigt", mapCase(PeakShape::PseudoVoigt, BaselineKind::None));
    add("rhodamine_3peaks", measuredCase("rhodamine800_dmso_abs_overlap", {697, 636, 590}));
    add("white_led_2peaks", measuredCase("white_led_blue_plus_phosphor", {454, 558}));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return printSummary() ? 0 : 1;
}
