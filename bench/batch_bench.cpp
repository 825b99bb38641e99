// Times peakfold-fit's batch as a user runs it, through runBatch with
// --quiet and the table thrown away:
//  - the measured spectra of the shared data folder, each with the picks a
//    person would click, repeated to a few hundred files, at Quality 2 with
//    --refine, on one job and on one job per core;
//  - the per-file cost beyond the search: loading and the table, taken as a
//    run of the same files without --refine at a Quality so coarse that the
//    search is a handful of trials, plus the refinement, taken as the
//    difference of the runs at Quality 2 with and without --refine;
//  - part of two spectral maps: spectra on one wavelength grid made of three
//    Gaussians whose centres and widths drift across the map, with noise,
//    fitted with typed picks and half-widths at Quality 2 with --refine on
//    1 and on 2 jobs, each as it runs (every search given its neighbour's
//    winner) and with --no-pruning; the time for a whole map of 10 000 is
//    extrapolated. The first map's peaks are well apart; the second has a
//    broad peak beside a close pair whose separation shrinks across the
//    map, the pair's second peak weak in part of it.
// A map is fitted row by row, so a file's neighbour in the list is its
// neighbour on the map. The sample keeps that: it is made of runs of
// kSampleRun consecutive points, each half a row, taken from rows spread
// evenly down the map (left and right halves in turn), in map order.
// Besides Google Benchmark's tables it prints
//   batch shared_spectra files N one_job_per_s X all_jobs_per_s Y ratio R
//   overhead per_file_ms A (load_and_table_ms L refine_ms R) search_per_file_ms B fraction F
//   map NAME jobs J spectra N per_s X extrapolated_10000_s T plain_per_s P ratio R
// where plain is --no-pruning and R the speed over the plain speed; the 2-job
// lines add the targets for the whole map.
// PEAKFOLD_MAP_SPECTRA sets how many spectra of each map are fitted (200).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch_run.h"
#include "headless_toolkit.h"
#include "model/equation.h"

namespace peakfold {
namespace {

constexpr int kRepeats = 50;      // of each measured spectrum: 300 files in all
constexpr int kMapSide = 100;     // the map is kMapSide x kMapSide spectra
constexpr int kMapSpectra = 200;  // fitted by default, in runs over the whole map
constexpr int kSampleRun = 50;    // consecutive points of a row in each run
constexpr double kTargetS = 24;   // seconds for the whole map on 2 jobs
constexpr double kNextTargetS = 12;

struct Group {
    const char* file;
    std::vector<std::string> options;  // picks and range
};

const std::vector<Group> kGroups = {
    {"rhodamine800_dmso_abs_overlap.txt", {"--peak", "697", "--peak", "636", "--peak", "590"}},
    {"white_led_blue_plus_phosphor.txt", {"--peak", "450", "--peak", "560"}},
    {"fluorenone_thf_fluorescence_noisy.txt",
     {"--peak", "482", "--peak", "428", "--peak", "520", "--range", "400:700"}},
    {"bpea_hexane_fluorescence_3peaks.txt", {"--peak", "469", "--peak", "499", "--peak", "535"}},
    {"gold_nanoparticle_plasmon_abs.txt", {"--peak", "523"}},
    {"red_laser_diode_narrow.txt", {"--peak", "657"}},
};

int cores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// CPU seconds of the whole process, so that every job counts.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Wall seconds of one batch run; a run that does not fit every file ends
// the benchmark, since its speed would mean nothing, unless `mayFail`.
double timeBatch(std::vector<std::string> args, bool mayFail = false) {
    const std::atomic<bool> notInterrupted{false};
    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    const int status = runBatch(args, {out, err, false}, notInterrupted);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0 && !(mayFail && status == 1)) {
        std::fprintf(stderr, "batch_bench: the batch failed (%d): %s\n", status, err.str().c_str());
        std::exit(1);
    }
    return seconds;
}

// The shared spectra, each group its own batch as its picks differ.
double timeSharedSpectra(int jobs, const std::string& quality, bool refine = true) {
    double seconds = 0;
    for (const Group& g : kGroups) {
        std::vector<std::string> args = g.options;
        args.insert(args.end(), {"--quiet", "--quality", quality, "--jobs", std::to_string(jobs)});
        if (refine) args.push_back("--refine");
        for (int i = 0; i < kRepeats; ++i) args.push_back(dataFile(g.file));
        // At a coarse quality some searches find nothing, which costs no less.
        seconds += timeBatch(args, quality != "2");
    }
    return seconds;
}

int sharedFiles() {
    return kRepeats * static_cast<int>(kGroups.size());
}

// The noise of spectrum `point`, up to +-amplitude, from a fixed generator.
class Noise {
  public:
    explicit Noise(int point)
        : state_(0x9E3779B97F4A7C15u * static_cast<std::uint64_t>(point + 1)) {}
    double operator()(double amplitude) {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return amplitude * (2 * (static_cast<double>(state_ >> 11) * 0x1p-53) - 1);
    }

  private:
    std::uint64_t state_;
};

// A map's peaks at column u and row v, both 0..1 across the map.
using MapPeaks = std::function<double(double u, double v, int w)>;

struct MapKind {
    const char* name;
    std::vector<std::string> picks;  // typed, NM:HW
    double noise;
    MapPeaks peaks;
};

const std::vector<MapKind> kMaps = {
    // The first Gaussian moves right and widens across the map's columns,
    // the second moves left and narrows down its rows, the third drifts
    // along the diagonal.
    {"apart",
     {"--peak", "510:22", "--peak", "590:14", "--peak", "705:32"},
     1,
     [](double u, double v, int w) {
         return GaussianValue(80, 500 + 20 * u, 20 + 5 * u, w) +
                GaussianValue(50, 600 - 20 * v, 15 - 3 * v, w) +
                GaussianValue(60, 700 + 5 * (u + v), 30 + 2.5 * (u + v), w);
     }},
    // A broad peak drifting down the rows, and a close pair whose
    // separation shrinks from 45 to 25 nm across the columns; the pair's
    // second peak is weak (5 against 60) over the map's top rows.
    {"close_pair",
     {"--peak", "460:40", "--peak", "625:10", "--peak", "660:12"},
     1.5,
     [](double u, double v, int w) {
         const double weak = v < 0.4 ? 5 : 5 + 45 * (v - 0.4) / 0.6;
         return GaussianValue(70, 450 + 20 * v, 45 - 8 * v, w) +
                GaussianValue(60, 620 + 10 * u, 10 + 2 * v, w) +
                GaussianValue(weak, 665 - 10 * u, 12 - 2 * u, w);
     }},
};

// Spectrum `point` of the map.
std::string mapSpectrum(const MapKind& map, int point) {
    const double u = static_cast<double>(point % kMapSide) / (kMapSide - 1);
    const double v = static_cast<double>(point / kMapSide) / (kMapSide - 1);
    Noise noise(point);
    std::string text;
    char line[64];
    for (int w = 400; w <= 800; ++w) {
        const double y = map.peaks(u, v, w) + noise(map.noise);
        std::snprintf(line, sizeof line, "%d\t%.6f\n", w, y);
        text += line;
    }
    return text;
}

// The points of the sample, in map order: runs of kSampleRun consecutive
// points of one row, the runs' rows spread evenly down the map.
std::vector<int> samplePoints(int spectra) {
    const int runs = (spectra + kSampleRun - 1) / kSampleRun;
    std::vector<int> points;
    for (int r = 0; r < runs; ++r) {
        const int row = r * kMapSide / runs;
        const int first = row * kMapSide + (r % 2) * (kMapSide - kSampleRun);
        for (int k = 0; k < kSampleRun && static_cast<int>(points.size()) < spectra; ++k) {
            points.push_back(first + k);
        }
    }
    return points;
}

struct MapFolder {
    const MapKind& map;
    std::filesystem::path folder;
    std::vector<std::string> files;
    MapFolder(const MapKind& kind, int spectra) : map(kind) {
        folder = std::filesystem::temp_directory_path() /
                 (std::string("peakfold-batch-bench-map-") + map.name);
        std::filesystem::create_directories(folder);
        for (const int point : samplePoints(spectra)) {
            const std::string path = (folder / ("point" + std::to_string(point) + ".txt")).string();
            std::ofstream(path, std::ios::binary) << mapSpectrum(map, point);
            files.push_back(path);
        }
    }
    ~MapFolder() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

double timeMap(const MapFolder& map, int jobs, bool pruning) {
    std::vector<std::string> args = map.map.picks;
    args.insert(args.end(),
                {"--quiet", "--refine", "--quality", "2", "--jobs", std::to_string(jobs)});
    if (!pruning) args.push_back("--no-pruning");
    args.insert(args.end(), map.files.begin(), map.files.end());
    return timeBatch(args);
}

std::string mapRun(const MapKind& map, int jobs, bool pruning) {
    return std::string("batch/map_") + map.name + "_Q2_refine/jobs:" + std::to_string(jobs) +
           (pruning ? "" : "/no_pruning");
}

std::map<std::string, double> seconds;  // by benchmark name

void registerRun(const std::string& name, std::function<double()> run, double spectra) {
    benchmark::RegisterBenchmark(name.c_str(),
                                 [name, run, spectra](benchmark::State& b) {
                                     const double cpu0 = cpuSeconds();
                                     for (auto _ : b) {
                                         const double s = run();
                                         seconds[name] = s;
                                         b.SetIterationTime(s);
                                     }
                                     b.counters["spectra_per_s"] = spectra / seconds[name];
                                     // Above 1 only where jobs ran at once.
                                     b.counters["cpu_per_wall"] =
                                         (cpuSeconds() - cpu0) / seconds[name];
                                 })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

}  // namespace
}  // namespace peakfold

int main(int argc, char** argv) {
    using namespace peakfold;
    const char* env = std::getenv("PEAKFOLD_MAP_SPECTRA");
    const int mapSpectra = env ? std::max(1, std::atoi(env)) : kMapSpectra;
    std::vector<std::unique_ptr<MapFolder>> maps;
    for (const MapKind& kind : kMaps) maps.push_back(std::make_unique<MapFolder>(kind, mapSpectra));
    const double files = sharedFiles();
    registerRun(
        "batch/shared_Q2_refine/jobs:1", [] { return timeSharedSpectra(1, "2"); }, files);
    registerRun(
        "batch/shared_Q2_refine/jobs:all", [] { return timeSharedSpectra(cores(), "2"); }, files);
    registerRun(
        "batch/shared_Q2/jobs:1", [] { return timeSharedSpectra(1, "2", false); }, files);
    registerRun(
        "batch/shared_coarse/jobs:1", [] { return timeSharedSpectra(1, "1000", false); }, files);
    for (const auto& map : maps) {
        for (const int jobs : {1, 2}) {
            for (const bool pruning : {true, false}) {
                registerRun(
                    mapRun(map->map, jobs, pruning),
                    [&map, jobs, pruning] { return timeMap(*map, jobs, pruning); }, mapSpectra);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double one = seconds["batch/shared_Q2_refine/jobs:1"];
    const double all = seconds["batch/shared_Q2_refine/jobs:all"];
    const double plain = seconds["batch/shared_Q2/jobs:1"];
    const double coarse = seconds["batch/shared_coarse/jobs:1"];
    std::printf("\nhardware threads %d\n", cores());
    if (one > 0 && all > 0) {
        std::printf(
            "batch shared_spectra files %.0f one_job_per_s %.2f all_jobs_per_s %.2f ratio %.2f\n",
            files, files / one, files / all, one / all);
    }
    if (one > 0 && plain > 0 && coarse > 0) {
        const double refine = std::max(0.0, one - plain), search = plain - coarse;
        std::printf(
            "overhead per_file_ms %.3f (load_and_table_ms %.3f refine_ms %.3f) "
            "search_per_file_ms %.3f fraction %.3f\n",
            1e3 * (coarse + refine) / files, 1e3 * coarse / files, 1e3 * refine / files,
            1e3 * search / files, (coarse + refine) / search);
    }
    for (const MapKind& map : kMaps) {
        for (const int jobs : {1, 2}) {
            const double pruned = seconds[mapRun(map, jobs, true)];
            const double plainMap = seconds[mapRun(map, jobs, false)];
            if (!(pruned > 0 && plainMap > 0)) continue;
            std::printf(
                "map %s jobs %d spectra %d per_s %.2f extrapolated_10000_s %.1f "
                "plain_per_s %.2f ratio %.2f",
                map.name, jobs, mapSpectra, mapSpectra / pruned,
                kMapSide * kMapSide * pruned / mapSpectra, mapSpectra / plainMap,
                plainMap / pruned);
            if (jobs == 2) std::printf(" target_s %.0f then %.0f", kTargetS, kNextTargetS);
            std::printf("\n");
        }
    }
    return 0;
}
