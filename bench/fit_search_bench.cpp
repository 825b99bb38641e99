// Times the plain and the fast fit search on the built-in test spectrum over
// its whole range, 350..1001 nm, with the picks 715, 780 and 830 nm and
// half-widths 30, 20 and 10 nm, three Gaussians, at several qualities, and
// on the same spectrum with noise and a baseline, where the search never
// reaches its quality and so never stops early.
//
// Besides the tables of Google Benchmark it prints one line per case,
//   case NAME reference_s SECONDS fast_s SECONDS ratio RATIO
// with "estimated" after the reference seconds where the plain search was
// timed on its first centre combinations only and scaled up by the number
// of trials the whole search evaluates.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "model/equation.h"
#include "model/fit_search.h"
#include "model/state.h"

namespace peakfold {
namespace {

// The test spectrum as loading an empty name makes it; with `noisy`, plus a
// sloping baseline and uniform noise of +-3 from a fixed generator. Scaled
// to 0..100 over 350..1001 (the unfilled 1001 included, as the loader does).
State testSpectrumState(bool noisy) {
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
    s.PeakW = {1001, 30, 20, 10};
    return s;
}

// CPU seconds of this thread: steadier than wall time on a shared machine.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Case {
    std::string name;
    bool noisy;
    double Q;
    int referenceSlice;  // centre combinations the plain search is timed on; 0: all
    std::array<int16_t, 4> halfWidths = {1001, 30, 20, 10};  // the fit range's end, then peaks
    int cancelAt = 0;  // chances to run events after which Cancel is pressed; 0: never
};

struct Measured {
    double seconds = 0;
    double longestStep = 0;  // longest time between two event pumps
    SearchCounts counts;
};

std::map<std::string, Measured> fastRuns, referenceRuns;  // by case name

using Search = SearchResult (*)(State&, int, double, const SearchProgress&);

// Runs a search on a fresh copy of the case's state; with `slice`, aborts
// it once that many steps of the third centre scan have been tried.
Measured timeSearch(const Case& c, Search search, int slice) {
    State s = testSpectrumState(c.noisy);
    s.PeakW = c.halfWidths;
    s.CalcState = kProcessing;
    int pumps = 0, chances = 0;
    Measured m;
    const double t0 = cpuSeconds();
    double lastPump = t0;
    // Every chance to run events counts: the window pumps at each of them
    // once it has waited long enough.
    auto eventsCouldRun = [&] {
        const double now = cpuSeconds();
        m.longestStep = std::max(m.longestStep, now - lastPump);
        lastPump = now;
        if (c.cancelAt > 0 && ++chances == c.cancelAt) s.CalcState = kAbort;
    };
    SearchProgress progress;
    progress.LetEventsRun = eventsCouldRun;
    progress.PumpEvents = [&] {
        eventsCouldRun();
        if (slice > 0 && ++pumps > slice) s.CalcState = kAbort;
    };
    m.counts = search(s, 3, c.Q, progress).counts;
    m.seconds = cpuSeconds() - t0;
    benchmark::DoNotOptimize(s.EqIo);
    return m;
}

void report(benchmark::State& bench, const Measured& m) {
    bench.SetIterationTime(m.seconds);
    bench.counters["trials"] = static_cast<double>(m.counts.evaluated);
    bench.counters["terms"] = static_cast<double>(m.counts.terms);
}

void runFast(benchmark::State& bench, const Case& c) {
    Measured best;
    for (auto _ : bench) {
        const Measured m = timeSearch(c, FitSearchFast, 0);
        if (best.seconds == 0 || m.seconds < best.seconds) best = m;
        report(bench, m);
    }
    bench.counters["table_MiB"] = static_cast<double>(best.counts.tableBytes) / (1 << 20);
    fastRuns[c.name] = best;
}

void runReference(benchmark::State& bench, const Case& c) {
    Measured best;
    for (auto _ : bench) {
        const Measured m = timeSearch(c, FitSearch, c.referenceSlice);
        if (best.seconds == 0 || m.seconds < best.seconds) best = m;
        report(bench, m);
    }
    referenceRuns[c.name] = best;
}

}  // namespace
}  // namespace peakfold

int main(int argc, char** argv) {
    using namespace peakfold;
    const std::vector<Case> cases = {
        {"Q10", false, 10, 0},
        {"Q5", false, 5, 0},
        {"Q2", false, 2, 0},
        {"Q1", false, 1, 21},
        {"noisy_Q2", true, 2, 0},
        {"noisy_Q1", true, 1, 21},
        // Typed half-widths of 3000 nm: billions of width combinations at
        // each centre combination, cancelled after 1000 chances to run events.
        {"wide_Q1", false, 1, 0, {1001, 3000, 3000, 3000}, 1000},
        // Half-widths of 1000 nm: the fast search's tables still fit, and
        // take long to fill.
        {"broad_Q1", false, 1, 0, {1001, 1000, 1000, 1000}, 1000},
    };
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark(("fast/" + c.name).c_str(),
                                     [c](benchmark::State& b) { runFast(b, c); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
        const std::string slice = c.referenceSlice > 0 ? "_slice" : "";
        benchmark::RegisterBenchmark(("reference/" + c.name + slice).c_str(),
                                     [c](benchmark::State& b) { runReference(b, c); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(c.Q >= 5 ? 3 : 1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-9s %12s %12s %10s %12s %14s %14s %9s %11s %10s\n", "case", "reference_s",
                "fast_s", "ratio", "trials", "ref_terms", "fast_terms", "table_MiB", "ref_gap_ms",
                "fast_gap_ms");
    std::vector<std::string> lines;
    std::size_t tableBytes = 0;
    double longestStep = 0;
    for (const auto& [name, fast] : fastRuns) {
        tableBytes = std::max(tableBytes, fast.counts.tableBytes);
        longestStep = std::max(longestStep, fast.longestStep);
    }
    for (const Case& c : cases) {
        if (!fastRuns.count(c.name) || !referenceRuns.count(c.name)) continue;
        const Measured& fast = fastRuns[c.name];
        const Measured& ref = referenceRuns[c.name];
        // A slice is scaled by the trials of the whole search, which the fast
        // search evaluates exactly as the plain one would.
        const double scale = c.referenceSlice > 0 && ref.counts.evaluated > 0
                                 ? static_cast<double>(fast.counts.evaluated) /
                                       static_cast<double>(ref.counts.evaluated)
                                 : 1;
        const double refSeconds = ref.seconds * scale;
        const double refTerms = static_cast<double>(ref.counts.terms) * scale;
        const double ratio = refSeconds / fast.seconds;
        std::printf("%-9s %12.4f %12.5f %10.1f %12lld %14.0f %14lld %9.2f %11.2f %10.2f%s\n",
                    c.name.c_str(), refSeconds, fast.seconds, ratio,
                    static_cast<long long>(fast.counts.evaluated), refTerms,
                    static_cast<long long>(fast.counts.terms),
                    static_cast<double>(fast.counts.tableBytes) / (1 << 20), 1e3 * ref.longestStep,
                    1e3 * fast.longestStep, c.referenceSlice > 0 ? "  (reference estimated)" : "");
        char line[200];
        std::snprintf(line, sizeof line, "case %s reference_s %.4f%s fast_s %.5f ratio %.1f",
                      c.name.c_str(), refSeconds, c.referenceSlice > 0 ? " estimated" : "",
                      fast.seconds, ratio);
        lines.push_back(line);
    }
    std::printf("\n");
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("fast search tables at most %.2f MiB; process peak resident %.1f MiB\n",
                static_cast<double>(tableBytes) / (1 << 20), usage.ru_maxrss / 1024.0);
    std::printf("fast search: longest time between two chances to run events %.2f ms\n",
                1e3 * longestStep);
    return 0;
}
