// Times the plain fit search, the fast one as it stood before worker threads
// and vector lanes ("before"), and today's fast search on one worker thread
// and on one per core, for two kinds of cases:
//  - the built-in test spectrum over its whole range, 350..1001 nm, with the
//    picks 715, 780 and 830 nm and half-widths 30, 20 and 10 nm, three
//    Gaussians, at several qualities; the same with noise and a baseline,
//    where the search never reaches its quality and so never stops early;
//    and with typed half-widths so wide that the search is cancelled;
//  - measured spectra from the shared data folder, loaded with Get File and
//    picked by clicks on the graph, so the half-widths are those the clicks
//    estimate, and normalised through the settings line as Calculate does.
//
// Times are wall seconds (the fast search may use several threads) with the
// process's CPU seconds beside them. A gap is the longest time between two
// chances to run events (PumpEvents, LetEventsRun or WhileWaiting), the
// search's start and end included. The resident size after a case is the
// process's peak so far, the cases running in the order listed.
//
// Besides the tables of Google Benchmark it prints the picks of each case, a
// summary table and one line per case,
//   case NAME reference_s SECONDS fast_s SECONDS ratio RATIO
// where fast is the fast search on one thread per core, with "estimated"
// after the reference seconds where the plain search was timed on its first
// centre combinations only and scaled up by the number of trials the whole
// search evaluates; one line per case comparing it with the search before
// (whose runs come after all others),
//   before NAME before_s SECONDS fast_s SECONDS ratio RATIO
// one comparing the thread counts,
//   threads NAME one_s SECONDS all_s SECONDS ratio RATIO
// and, first of all, the window's first Calculate on a new grid per measured
// spectrum, each in a fresh process, with a repeat on the same grid
// ("--first-only" ends the run there),
//   first NAME first_s SECONDS repeat_s SECONDS
//
// For the measured spectra and the test file it also times the least-squares
// refinement of the fast search's answer (the equations Save would save,
// over the fit range) next to that search, one line per case:
//   refine NAME search_s SECONDS refine_s SECONDS ratio SEARCH/REFINE ssr_factor F iterations I
// where ssr_factor is the sum of squared residuals over the fit range before
// the refinement divided by the one after it, and "not_converged" follows a
// refinement that ended without meeting its tests.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#if defined(__x86_64__)
#include <x86intrin.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "graph/picking.h"
#include "headless_toolkit.h"
#include "model/equation.h"
#include "search/fit_search.h"
#include "files/result_file.h"
#include "model/state.h"
#include "refine/refine.h"
#include "search_before.h"

namespace peakfold {
namespace {

// The test spectrum as loading an empty name makes it; with `noisy`, plus a
// sloping baseline and uniform noise of +-3 from a fixed generator. Scaled
// to 0..100 over 350..1001 (the unfilled 1001 included, as the loader does).
// Picked at 715, 780 and 830 with the given half-widths.
State testSpectrumState(bool noisy, std::array<int16_t, 3> halfWidths) {
    State s;
    std::uint64_t seed = 12345;
    for (int w = 350; w <= 1000; ++w) {
        s.Spectrum[w] = (30 * GaussianValue(1, 775, 20, w) + 50 * GaussianValue(1, 825, 10, w)) +
                        40 * GaussianValue(1, 720, 30, w);
        if (noisy) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            const double unit = static_cast<double>(seed >> 11) * 0x1p-53;
            s.Spectrum[w] += 5 + 0.01 * (w - 350) + 6 * (unit - 0.5);
        }
    }
    double top = 0, floor = 1000000;
    for (int w = 350; w <= 1001; ++w) {
        top = std::max(top, s.Spectrum[w]);
        floor = std::min(floor, s.Spectrum[w]);
    }
    for (int w = 350; w <= 1001; ++w) s.Spectrum[w] = 100 * (s.Spectrum[w] - floor) / (top - floor);
    s.PeakX = {350, 715, 780, 830};
    s.PeakW = {1001, halfWidths[0], halfWidths[1], halfWidths[2]};
    return s;
}

// A spectrum as a user picks it: the file loaded by Get File (the built-in
// test spectrum for an empty name), a left click at each centre, and, when
// rangeEnd is set, a left and a right click at the ends of the fit range;
// otherwise the range stays the loaded data's extent.
struct Picks {
    std::string file;
    std::vector<float> centres;  // one per Gaussian
    float rangeStart = 0, rangeEnd = 0;
};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "peakfold_bench: %s\n", what.c_str());
    std::exit(1);
}

// The state as Calculate hands it to the search after those clicks.
State clickedState(const Picks& p) {
    HeadlessApp app;
    app.ui.folder = PEAKFOLD_DATA_DIR;
    // The selector of PeakNbr reaches "Range" after as many picks as
    // CalculateNbr shows; it starts at 3 and cycles 1, 2, 3.
    const std::string n = std::to_string(p.centres.size());
    for (int i = 0; i < 3 && app.ui.text(Control::CalculateNbr) != n; ++i) {
        app.ui.click(Control::CalculateNbr);
    }
    app.ui.answers.push_back(p.file);
    app.ui.click(Control::GetFile);
    if (!app.ui.messages.empty()) fail(p.file + ": " + app.ui.messages.front());
    for (const float x : p.centres) app.ui.mouseUp(Control::Graph, 1, 0, x, 50);
    if (app.ui.text(Control::PeakNbr) != "Range") fail(p.file + ": the picks did not reach Range");
    if (p.rangeEnd > 0) {
        app.ui.mouseUp(Control::Graph, 1, 0, p.rangeStart, 50);
        app.ui.mouseUp(Control::Graph, 2, 0, p.rangeEnd, 50);
    }
    app.ui.setText(Control::Help, SettingsLine(app.s, 3));
    Help_KeyPress(app.s, app.ui, 13);
    return app.s;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A count that grows steadily with time and is cheap to read, for the gaps
// between chances to run events, which come up to a million times a
// second: the processor's time-stamp counter where there is one. A search's
// ticks are turned into seconds by its wall time.
std::uint64_t ticks() {
#if defined(__x86_64__)
    return __rdtsc();
#else
    return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

// CPU seconds of the whole process, so that worker threads count.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double peakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Case {
    std::string name;
    State state;  // picks, half-widths and fit range as the search gets them
    int n = 3;
    double Q = 1;
    int referenceSlice = 0;  // centre combinations the plain search is timed on; 0: all
    int cancelAt = 0;        // chances to run events after which Cancel is pressed; 0: never
    int fastIterations = 1;
};

enum Variant { kReference, kBefore, kOneThread, kAllThreads, kVariants };
constexpr const char* kVariantNames[kVariants] = {"reference", "before", "fast_1thread", "fast"};

struct Measured {
    double wall = 0, cpu = 0;
    double longestGap = 0;  // wall seconds
    SearchCounts counts;
};

std::map<std::string, Measured> runs[kVariants];  // by case name
std::map<std::string, double> residentAfter;      // process peak after a case's runs, MiB

SearchResult search(Variant v, State& s, int n, double Q, const SearchProgress& progress) {
    switch (v) {
        case kOneThread: return FitSearchFast(s, n, Q, progress, 1);
        case kAllThreads: return FitSearchFast(s, n, Q, progress, 0);
        case kBefore: return FitSearchBefore(s, n, Q, progress);
        default: return FitSearch(s, n, Q, progress);
    }
}

// Runs a search on a fresh copy of the case's state; with `slice`, aborts
// it once that many steps of the third centre scan have been tried. The
// progress calls come on the calling thread, as the window's pump needs.
Measured timeSearch(const Case& c, Variant v, int slice) {
    State s = c.state;
    s.CalcState = kProcessing;
    int pumps = 0, chances = 0;
    Measured m;
    const double wall0 = wallSeconds(), cpu0 = cpuSeconds();
    const std::uint64_t ticks0 = ticks();
    std::uint64_t lastChance = ticks0, longestGap = 0;
    auto eventsCouldRun = [&] {
        const std::uint64_t now = ticks();
        longestGap = std::max(longestGap, now - lastChance);
        lastChance = now;
        if (c.cancelAt > 0 && ++chances == c.cancelAt) s.CalcState = kAbort;
    };
    SearchProgress progress;
    progress.LetEventsRun = eventsCouldRun;
    progress.WhileWaiting = eventsCouldRun;
    progress.PumpEvents = [&] {
        eventsCouldRun();
        if (slice > 0 && ++pumps > slice) s.CalcState = kAbort;
    };
    m.counts = search(v, s, c.n, c.Q, progress).counts;
    const std::uint64_t ticksEnd = ticks();
    m.wall = wallSeconds() - wall0;
    m.cpu = cpuSeconds() - cpu0;
    longestGap = std::max(longestGap, ticksEnd - lastChance);
    m.longestGap = ticksEnd > ticks0 ? m.wall * static_cast<double>(longestGap) /
                                           static_cast<double>(ticksEnd - ticks0)
                                     : 0;
    benchmark::DoNotOptimize(s.EqIo);
    return m;
}

// Keeps the fastest of the iterations.
void run(benchmark::State& bench, const Case& c, Variant v) {
    Measured best;
    for (auto _ : bench) {
        const Measured m = timeSearch(c, v, v == kReference ? c.referenceSlice : 0);
        if (best.wall == 0 || m.wall < best.wall) best = m;
        bench.SetIterationTime(m.wall);
    }
    bench.counters["cpu_s"] = best.cpu;
    bench.counters["trials"] = static_cast<double>(best.counts.evaluated);
    bench.counters["terms"] = static_cast<double>(best.counts.terms);
    bench.counters["gap_ms"] = 1e3 * best.longestGap;
    if (v != kReference && v != kBefore) {
        bench.counters["table_MiB"] = static_cast<double>(best.counts.tableBytes) / (1 << 20);
    }
    runs[v][c.name] = best;
    if (v != kBefore) residentAfter[c.name] = peakResidentMiB();
}

// The search of before holds tables of its own sizes: its cases run after
// all others, so that the peak resident sizes up to then are today's.
void registerCase(const Case& c, std::initializer_list<Variant> variants) {
    for (const Variant v : variants) {
        const bool slice = v == kReference && c.referenceSlice > 0;
        const int iterations =
            v == kReference ? (c.Q >= 5 && !slice ? 3 : 1) : c.fastIterations;
        benchmark::RegisterBenchmark(
            (std::string(kVariantNames[v]) + "/" + c.name + (slice ? "_slice" : "")).c_str(),
            [c, v](benchmark::State& b) { run(b, c, v); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations);
    }
}

double ratio(double a, double b) { return b > 0 ? a / b : 0; }

struct RefineTimes {
    double search = 0, refine = 0;  // wall seconds, the fastest of the iterations
    double ssrBefore = 0, ssrAfter = 0;
    int iterations = 0;
    bool converged = false;
};
std::map<std::string, RefineTimes> refineRuns;  // by case name

// The fast search on one thread per core, then the refinement of its answer;
// each timed on its own.
void runRefine(benchmark::State& bench, const Case& c) {
    RefineTimes best;
    for (auto _ : bench) {
        State s = c.state;
        s.CalcState = kProcessing;
        SearchProgress quiet;
        quiet.ShowScanPoint = [](double, double, int) {};
        quiet.ShowBest = [](int, double) {};
        quiet.PumpEvents = quiet.LetEventsRun = quiet.WhileWaiting = [] {};
        double t0 = wallSeconds();
        FitSearchFast(s, c.n, c.Q, quiet, 0);
        const double search = wallSeconds() - t0;
        const SavedRows rows = savedRows(s);
        const std::vector<PeakEstimate> start = listedPeaks(s, c.n);
        t0 = wallSeconds();
        const Refinement r = refine(s.Spectrum, rows.first, rows.last, start);
        const double refined = wallSeconds() - t0;
        benchmark::DoNotOptimize(r.statistics.ssr);
        bench.SetIterationTime(refined);
        if (best.refine == 0 || refined < best.refine) {
            best.refine = refined;
            best.ssrBefore = describe(s.Spectrum, rows.first, rows.last, start).statistics.ssr;
            best.ssrAfter = r.statistics.ssr;
            best.iterations = r.statistics.iterations;
            best.converged = r.statistics.converged;
        }
        if (best.search == 0 || search < best.search) best.search = search;
    }
    bench.counters["search_s"] = best.search;
    bench.counters["ssr_factor"] = ratio(best.ssrBefore, best.ssrAfter);
    refineRuns[c.name] = best;
}

void registerRefineCase(const Case& c) {
    benchmark::RegisterBenchmark(("refine/" + c.name).c_str(),
                                 [c](benchmark::State& b) { runRefine(b, c); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
}

void printRefineSummary() {
    if (!refineRuns.empty()) std::printf("\n");
    for (const auto& [name, t] : refineRuns) {
        std::printf(
            "refine %s search_s %.5f refine_s %.5f ratio %.1f ssr_factor %.3g iterations %d%s\n",
            name.c_str(), t.search, t.refine, ratio(t.search, t.refine),
            ratio(t.ssrBefore, t.ssrAfter), t.iterations, t.converged ? "" : " not_converged");
    }
}

void printSummary(const std::vector<Case>& cases) {
    std::printf("\n%-22s %s\n", "case", "range, then centre-half-width of each pick");
    for (const Case& c : cases) {
        const State& s = c.state;
        std::printf("%-22s %g..%d", c.name.c_str(), s.PeakX[0], s.PeakW[0]);
        for (int p = 1; p <= c.n; ++p) std::printf("  %g-%d", s.PeakX[p], s.PeakW[p]);
        std::printf("\n");
    }
    std::printf("\n%-22s %2s %3s %12s %9s %9s %9s %9s %9s %12s %9s %9s %9s %9s %8s %8s %8s\n",
                "case", "n", "Q", "reference_s", "before_s", "1t_wall", "1t_cpu", "all_wall",
                "all_cpu", "trials", "1t_gap_ms", "gap_ms", "table_MiB", "rss_MiB", "ref/all",
                "bef/all", "1t/all");
    std::vector<std::string> lines;
    for (const Case& c : cases) {
        if (!runs[kReference].count(c.name) || !runs[kBefore].count(c.name) ||
            !runs[kOneThread].count(c.name) || !runs[kAllThreads].count(c.name)) {
            continue;
        }
        const Measured& ref = runs[kReference][c.name];
        const Measured& before = runs[kBefore][c.name];
        const Measured& one = runs[kOneThread][c.name];
        const Measured& all = runs[kAllThreads][c.name];
        // A slice is scaled by the trials of the whole search, which the fast
        // search evaluates exactly as the plain one would.
        const bool estimated = c.referenceSlice > 0;
        const double refSeconds =
            ref.wall * (estimated ? ratio(static_cast<double>(all.counts.evaluated),
                                          static_cast<double>(ref.counts.evaluated))
                                  : 1);
        std::printf(
            "%-22s %2d %3g %12.4f %9.4f %9.4f %9.4f %9.4f %9.4f %12lld %9.2f %9.2f %9.2f %9.1f "
            "%8.1f %8.2f %8.2f%s\n",
            c.name.c_str(), c.n, c.Q, refSeconds, before.wall, one.wall, one.cpu, all.wall,
            all.cpu, static_cast<long long>(all.counts.evaluated), 1e3 * one.longestGap,
            1e3 * all.longestGap, static_cast<double>(all.counts.tableBytes) / (1 << 20),
            residentAfter[c.name], ratio(refSeconds, all.wall), ratio(before.wall, all.wall),
            ratio(one.wall, all.wall), estimated ? "  (reference estimated)" : "");
        char line[240];
        std::snprintf(line, sizeof line, "case %s reference_s %.4f%s fast_s %.5f ratio %.1f",
                      c.name.c_str(), refSeconds, estimated ? " estimated" : "", all.wall,
                      ratio(refSeconds, all.wall));
        lines.push_back(line);
        std::snprintf(line, sizeof line, "before %s before_s %.5f fast_s %.5f ratio %.2f",
                      c.name.c_str(), before.wall, all.wall, ratio(before.wall, all.wall));
        lines.push_back(line);
        std::snprintf(line, sizeof line, "threads %s one_s %.5f all_s %.5f ratio %.2f",
                      c.name.c_str(), one.wall, all.wall, ratio(one.wall, all.wall));
        lines.push_back(line);
    }
    std::printf("\n");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());

    std::size_t tableBytes = 0;
    double longestGap = 0;
    for (const Variant v : {kOneThread, kAllThreads}) {
        for (const auto& [name, m] : runs[v]) {
            tableBytes = std::max(tableBytes, m.counts.tableBytes);
            longestGap = std::max(longestGap, m.longestGap);
        }
    }
    double resident = 0;
    for (const auto& [name, mib] : residentAfter) resident = std::max(resident, mib);
    std::printf("fast search tables at most %.2f MiB; process peak resident %.1f MiB "
                "(%.1f MiB with the search of before)\n",
                static_cast<double>(tableBytes) / (1 << 20), resident, peakResidentMiB());
    std::printf("fast search: longest time between two chances to run events %.2f ms\n",
                1e3 * longestGap);
}

// The window's first Calculate on a grid: each case in a process of its
// own (this program run again with --first-case NAME), so that no table of
// an earlier search is at hand, on one thread per core, then the same
// search again in that process. The median of three processes. Prints, per
// case,
//   first NAME first_s SECONDS repeat_s SECONDS
struct FirstCase {
    std::string name;
    std::function<State()> state;
    int n = 1;
};

// In a process of its own: the case's first search and a repeat.
void timeFirstSearch(const FirstCase& c) {
    const State picked = c.state();
    for (int run = 0; run < 2; ++run) {
        State s = picked;
        const double start = wallSeconds();
        FitSearchFast(s, c.n, 1, SearchProgress{}, 0);
        std::printf("%.6f\n", wallSeconds() - start);
    }
}

void timeFirstSearches(const char* self, const std::vector<FirstCase>& cases) {
    for (const FirstCase& c : cases) {
        std::vector<double> first, repeat;
        for (int process = 0; process < 3; ++process) {
            const std::string command = std::string(self) + " --first-case " + c.name;
            FILE* child = popen(command.c_str(), "r");
            double seconds[2] = {};
            if (!child || std::fscanf(child, "%lf %lf", &seconds[0], &seconds[1]) != 2) {
                fail(c.name + ": the first search did not report");
            }
            pclose(child);
            first.push_back(seconds[0]);
            repeat.push_back(seconds[1]);
        }
        std::sort(first.begin(), first.end());
        std::sort(repeat.begin(), repeat.end());
        std::printf("first %s first_s %.4f repeat_s %.4f\n", c.name.c_str(), first[1], repeat[1]);
    }
    std::fflush(stdout);
}

}  // namespace
}  // namespace peakfold

int main(int argc, char** argv) {
    using namespace peakfold;
    const auto clicked = [](Picks p) { return [p] { return clickedState(p); }; };
    const std::vector<FirstCase> firstCases = {
        {"gold", clicked({"gold_nanoparticle_plasmon_abs", {523}}), 1},
        {"red_laser", clicked({"red_laser_diode_narrow", {657}}), 1},
        {"quantum_dots", clicked({"cdse_quantum_dot_pl", {586}}), 1},
        {"nile_red", clicked({"nile_red_ethanol_abs_2nm", {552}}), 1},
        {"white_led", clicked({"white_led_blue_plus_phosphor", {450, 560}}), 2},
        {"nile_red_pair", clicked({"nile_red_ethanol_abs_2nm", {552, 510}}), 2},
        {"rhodamine", clicked({"rhodamine800_dmso_abs_overlap", {697, 636, 590}}), 3},
        {"fluorenone", clicked({"fluorenone_thf_fluorescence_noisy", {482, 428, 520}, 400, 700}), 3},
        {"bpea", clicked({"bpea_hexane_fluorescence_3peaks", {469, 499, 535}}), 3},
    };
    if (argc > 2 && std::string(argv[1]) == "--first-case") {
        for (const FirstCase& c : firstCases) {
            if (c.name == argv[2]) timeFirstSearch(c);
        }
        return 0;
    }
    std::printf("hardware threads %u\n", std::thread::hardware_concurrency());
    timeFirstSearches(argv[0], firstCases);
    if (argc > 1 && std::string(argv[1]) == "--first-only") return 0;
    const State test = testSpectrumState(false, {30, 20, 10});
    const State noisy = testSpectrumState(true, {30, 20, 10});
    const State rhodamine = clickedState({"rhodamine800_dmso_abs_overlap", {697, 636, 590}});
    const State testFile = clickedState({"", {715, 780, 830}});
    // name, state, n, Q, reference slice, cancel after, fast iterations
    const std::vector<Case> cases = {
        {"Q10", test, 3, 10, 0, 0, 5},
        {"Q5", test, 3, 5, 0, 0, 5},
        {"Q2", test, 3, 2, 0, 0, 5},
        {"Q1", test, 3, 1, 21, 0, 3},
        {"noisy_Q2", noisy, 3, 2, 0, 0, 5},
        {"noisy_Q1", noisy, 3, 1, 21, 0, 3},
        // Typed half-widths of 3000 nm: billions of width combinations at
        // each centre combination, cancelled after 1000 chances to run events.
        {"wide_Q1", testSpectrumState(false, {3000, 3000, 3000}), 3, 1, 0, 1000, 3},
        // Half-widths of 1000 nm: the fast search's tables still fit, and
        // take long to fill.
        {"broad_Q1", testSpectrumState(false, {1000, 1000, 1000}), 3, 1, 0, 1000, 3},
        {"rhodamine_Q2", rhodamine, 3, 2, 21, 0, 3},
        {"rhodamine_Q1", rhodamine, 3, 1, 21, 0, 3},
        {"fluorenone_Q1",
         clickedState({"fluorenone_thf_fluorescence_noisy", {482, 428, 520}, 400, 700}), 3, 1, 21,
         0, 3},
        {"white_led_Q1", clickedState({"white_led_blue_plus_phosphor", {450, 560}}), 2, 1, 0, 0, 3},
        {"test_file_Q2", testFile, 3, 2, 0, 0, 3},
        {"test_file_Q1", testFile, 3, 1, 21, 0, 3},
    };
    for (const Case& c : cases) registerCase(c, {kReference, kOneThread, kAllThreads});
    for (const Case& c : cases) registerCase(c, {kBefore});
    // The refinement of the Quality 1 answers on the measured spectra and the
    // test file.
    for (const Case& c : cases) {
        if (c.name == "rhodamine_Q1" || c.name == "fluorenone_Q1" || c.name == "white_led_Q1" ||
            c.name == "test_file_Q1") {
            registerRefineCase(c);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary(cases);
    printRefineSummary();
    return 0;
}
