// Times the fit search on the built-in test spectrum over its whole range,
// 350..1001 nm, with the picks 715, 780 and 830 nm and half-widths 30, 20
// and 10 nm, three Gaussians, at several qualities.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "model/equation.h"
#include "model/fit_search.h"
#include "model/state.h"

namespace peakfold {
namespace {

// The test spectrum as loading an empty name makes it, scaled to 0..100 over
// 350..1001 (the unfilled 1001 included, as the loader does).
State testSpectrumState() {
    State s;
    for (int w = 350; w <= 1000; ++w) {
        s.Spectrum[w] = (30 * GaussianValue(1, 775, 20, w) + 50 * GaussianValue(1, 825, 10, w)) +
                        40 * GaussianValue(1, 720, 30, w);
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
    double Q;
};

struct Measured {
    double seconds = 0;
    SearchCounts counts;
};

std::map<std::string, Measured> measured;  // by case name

void runReference(benchmark::State& bench, const Case& c) {
    const State start = testSpectrumState();
    SearchProgress progress;
    progress.PumpEvents = [] {};
    Measured m;
    for (auto _ : bench) {
        State s = start;
        s.CalcState = kProcessing;
        const double t0 = cpuSeconds();
        const SearchResult result = FitSearch(s, 3, c.Q, progress);
        const double took = cpuSeconds() - t0;
        if (m.seconds == 0 || took < m.seconds) m.seconds = took;
        m.counts = result.counts;
        benchmark::DoNotOptimize(s.EqIo);
    }
    bench.counters["trials"] = static_cast<double>(m.counts.evaluated);
    bench.counters["terms"] = static_cast<double>(m.counts.terms);
    measured[c.name] = m;
}

}  // namespace
}  // namespace peakfold

int main(int argc, char** argv) {
    using namespace peakfold;
    const std::vector<Case> cases = {{"Q10", 10}, {"Q5", 5}, {"Q2", 2}};
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark(("reference/" + c.name).c_str(),
                                     [c](benchmark::State& b) { runReference(b, c); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(c.Q >= 5 ? 5 : 1);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-6s %14s %16s %14s\n", "case", "reference_s", "trials", "terms");
    for (const Case& c : cases) {
        const Measured& m = measured[c.name];
        std::printf("%-6s %14.4f %16lld %14lld\n", c.name.c_str(), m.seconds,
                    static_cast<long long>(m.counts.evaluated),
                    static_cast<long long>(m.counts.terms));
    }
    return 0;
}
