// Times Refine with a Quadratic baseline next to the Quality 1 search that
// gives it its start, on the measured spectra of the shared data folder.
// Each spectrum is loaded with Get File and picked by clicks where its peaks
// are (and, where a person would narrow it, a fit range); the Fit menu's
// Baseline is Quadratic; then
//  - search_Q1/NAME times Calculate at Quality 1: the baseline's estimate
//    and the fast search on the data less it, on one thread per core, as
//    the window runs it;
//  - refine_quadratic/NAME times Refine on the state Calculate left: the
//    joint least squares of the peaks and the baseline's three terms, the
//    list's new lines and the redraw; beside it, the least squares alone
//    (refine() over the same range, start and model), as core_ms.
// Each is the fastest of its iterations. Besides Google Benchmark's tables
// it prints one line per spectrum,
//   baseline_refine NAME search_ms S refine_ms R ratio R/S core_ms C iterations I
// with "not_converged" after a refinement that ended without meeting its
// tests. The refinement should stay under a tenth of the search.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "files/result_file.h"
#include "headless_toolkit.h"
#include "model/calculate.h"
#include "refine/fit_choices.h"
#include "refine/refine.h"
#include "refine/refine_command.h"

namespace peakfold {
namespace {

// A spectrum as a person picks it: a left click at each peak and, when
// rangeEnd is set, at the two ends of the fit range.
struct Spectrum {
    std::string name, file;
    std::vector<float> centres;
    float rangeStart = 0, rangeEnd = 0;
};

const std::vector<Spectrum> kSpectra = {
    {"led740", "led740_raw_counts_offset", {724}},
    {"red_laser", "red_laser_diode_narrow", {657}},
    {"white_led", "white_led_blue_plus_phosphor", {454, 558}},
    {"cdse_dots", "cdse_quantum_dot_pl", {586}},
    // The sloping background of the plasmon band, without the noisy blue.
    {"gold_plasmon", "gold_nanoparticle_plasmon_abs", {523}, 440, 800},
    {"bpea_3peaks", "bpea_hexane_fluorescence_3peaks", {469, 499, 535}},
    {"rhodamine", "rhodamine800_dmso_abs_overlap", {697, 636, 590}},
    {"fluorenone", "fluorenone_thf_fluorescence_noisy", {482, 428}, 400, 700},
    {"nile_red", "nile_red_ethanol_abs_2nm", {552}},
};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "peakfold_baseline_bench: %s\n", what.c_str());
    std::exit(1);
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void choose(HeadlessApp& app, MenuItem item) {
    Event e{Control::Graph, Event::Kind::Menu};
    e.item = item;
    app.ui.raise(e);
}

struct Run {
    std::unique_ptr<HeadlessApp> app;
    State picked;      // as the clicks and the menu left it, before Calculate
    State calculated;  // as Calculate left it, before Refine
    bool searched = false;
    double search = 0, refine = 0, core = 0;  // wall seconds, the fastest of the iterations
    int iterations = 0;
    bool converged = false;
};
std::map<std::string, Run> runs;  // by spectrum name

Run& picked(const Spectrum& sp) {
    Run& run = runs[sp.name];
    if (run.app) return run;
    run.app = std::make_unique<HeadlessApp>();
    HeadlessApp& app = *run.app;
    app.ui.folder = PEAKFOLD_DATA_DIR;
    app.ui.setText(Control::CalculateNbr, std::to_string(sp.centres.size()));
    app.ui.answers.push_back(sp.file);
    app.ui.click(Control::GetFile);
    if (!app.ui.messages.empty()) fail(sp.file + ": " + app.ui.messages.front());
    for (size_t k = 0; k < sp.centres.size(); ++k) {
        app.ui.setText(Control::PeakNbr, "Peak " + std::to_string(k + 1));
        app.ui.mouseUp(Control::Graph, 1, 0, sp.centres[k], 50);
    }
    if (sp.rangeEnd > 0) {
        app.ui.setText(Control::PeakNbr, "Range");
        app.ui.mouseUp(Control::Graph, 1, 0, sp.rangeStart, 50);
        app.ui.mouseUp(Control::Graph, 2, 0, sp.rangeEnd, 50);
    }
    choose(app, MenuItem::BaselineQuadratic);
    app.ui.setText(Control::Quality, "1");
    run.picked = app.s;
    return run;
}

double calculate(Run& run) {
    HeadlessApp& app = *run.app;
    app.s = run.picked;
    const double t0 = wallSeconds();
    Calculate_Click(app.s, app.ui);
    const double seconds = wallSeconds() - t0;
    if (app.ui.listSelectedText(Control::List) == "No fit found.") fail("no fit found");
    run.calculated = app.s;
    run.searched = true;
    return seconds;
}

void runSearch(benchmark::State& bench, const Spectrum& sp) {
    Run& run = picked(sp);
    for (auto _ : bench) {
        const double seconds = calculate(run);
        bench.SetIterationTime(seconds);
        if (run.search == 0 || seconds < run.search) run.search = seconds;
    }
}

void runRefine(benchmark::State& bench, const Spectrum& sp) {
    Run& run = picked(sp);
    if (!run.searched) calculate(run);
    HeadlessApp& app = *run.app;
    for (auto _ : bench) {
        app.s = run.calculated;
        const size_t messages = app.ui.messages.size();
        const double t0 = wallSeconds();
        Refine_Click(app.s, app.ui);
        const double seconds = wallSeconds() - t0;
        if (app.ui.messages.size() != messages) fail(sp.name + ": " + app.ui.messages.back());
        bench.SetIterationTime(seconds);
        if (run.refine == 0 || seconds < run.refine) run.refine = seconds;
    }
    // The least squares alone, from the same start with the same model.
    const State& s = run.calculated;
    const SavedRows rows = savedRows(s);
    const std::vector<PeakEstimate> start = listedPeaks(s, static_cast<int>(sp.centres.size()));
    std::string problem;
    const FitModel model = fitModelOf(s, rows.first, rows.last, start, problem);
    for (int i = 0; i < 10; ++i) {
        const double t0 = wallSeconds();
        const Refinement r = refine(s.Spectrum, rows.first, rows.last, start, model);
        const double seconds = wallSeconds() - t0;
        benchmark::DoNotOptimize(r.statistics.ssr);
        if (run.core == 0 || seconds < run.core) run.core = seconds;
    }
    bench.counters["core_ms"] = 1e3 * run.core;
    const FitStatistics& f = app.s.LastRefinement.statistics;
    run.iterations = f.iterations;
    run.converged = f.converged;
    bench.counters["iterations"] = f.iterations;
    if (run.search > 0) bench.counters["refine/search"] = run.refine / run.search;
}

void printSummary() {
    std::printf("\n%-14s %10s %10s %14s %10s %10s\n", "spectrum", "search_ms", "refine_ms",
                "refine/search", "core_ms", "iterations");
    std::vector<std::string> lines;
    for (const Spectrum& sp : kSpectra) {
        const Run& run = runs[sp.name];
        if (run.search == 0 || run.refine == 0) continue;
        const double ratio = run.refine / run.search;
        std::printf("%-14s %10.2f %10.3f %14.4f %10.3f %10d%s\n", sp.name.c_str(), 1e3 * run.search,
                    1e3 * run.refine, ratio, 1e3 * run.core, run.iterations,
                    run.converged ? "" : "  not converged");
        char line[200];
        std::snprintf(line, sizeof line,
                      "baseline_refine %s search_ms %.2f refine_ms %.3f ratio %.4f core_ms %.3f "
                      "iterations %d%s",
                      sp.name.c_str(), 1e3 * run.search, 1e3 * run.refine, ratio, 1e3 * run.core,
                      run.iterations, run.converged ? "" : " not_converged");
        lines.emplace_back(line);
    }
    std::printf("\n");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::printf("hardware threads %u\n", std::thread::hardware_concurrency());
}

}  // namespace
}  // namespace peakfold

int main(int argc, char** argv) {
    using namespace peakfold;
    // Each spectrum's search runs before its refinement, which starts from
    // the search's answer.
    for (const Spectrum& sp : kSpectra) {
        benchmark::RegisterBenchmark(("search_Q1/" + sp.name).c_str(),
                                     [sp](benchmark::State& b) { runSearch(b, sp); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark(("refine_quadratic/" + sp.name).c_str(),
                                     [sp](benchmark::State& b) { runRefine(b, sp); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
