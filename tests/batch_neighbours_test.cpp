#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "file_test_folder.h"
#include "model/equation.h"

namespace peakfold {
namespace {

struct Peak {
    double amplitude, centre, halfWidth;
};

// A spectrum on 400..800 nm at 2 nm steps: the peaks plus noise of up to
// +-0.5 from a generator seeded by the file's place in the series.
std::string spectrum(const std::vector<Peak>& peaks, int seed) {
    std::uint64_t state = 0x9E3779B97F4A7C15u * static_cast<std::uint64_t>(seed + 1);
    std::string text;
    char line[64];
    for (int w = 400; w <= 800; w += 2) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        double y = static_cast<double>(state >> 11) * 0x1p-53 - 0.5;
        for (const Peak& p : peaks) y += GaussianValue(p.amplitude, p.centre, p.halfWidth, w);
        std::snprintf(line, sizeof line, "%d\t%.6f\n", w, y);
        text += line;
    }
    return text;
}

struct Series {
    const char* name;
    std::vector<std::string> picks;
    // The peaks of file k of the series, t = k / (count - 1) running 0..1.
    std::function<std::vector<Peak>(double t)> peaks;
    std::vector<int> empty, peakless;  // files that cannot be loaded or fitted
};

constexpr int kFiles = 24;

// Each search starts from the winner on the spectrum fitted before it by
// the same job; whether it does, and on how many jobs, changes neither the
// table nor a saved file.
TEST(BatchNeighbours, HintsAndJobsLeaveTheTableAndTheSavedFilesAsTheyWere) {
    const Series cases[] = {
        {"three peaks drifting",
         {"--peak", "505:22", "--peak", "595:14", "--peak", "702:30"},
         [](double t) {
             return std::vector<Peak>{{80, 500 + 10 * t, 20 + 4 * t},
                                      {50, 600 - 10 * t, 15 - 3 * t},
                                      {60, 700 + 5 * t, 30}};
         },
         {},
         {}},
        {"a peak appearing halfway",
         {"--peak", "520:25", "--peak", "650:20"},
         [](double t) {
             return std::vector<Peak>{{80, 520 + 5 * t, 25},
                                      {t < 0.5 ? 0 : 120 * (t - 0.5), 650, 20}};
         },
         {},
         {}},
        {"one peak, failing files in the middle",
         {"--peak", "560:30"},
         [](double t) {
             return std::vector<Peak>{{90, 550 + 20 * t, 30 - 5 * t}};
         },
         {8},
         {12, 13}},
    };
    for (const Series& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder spectra;
        std::vector<std::string> files;
        for (int k = 0; k < kFiles; ++k) {
            const std::string name = "point" + std::to_string(k) + ".txt";
            std::vector<Peak> peaks = c.peaks(static_cast<double>(k) / (kFiles - 1));
            // A lone peak far from the picks leaves the search nothing to find.
            if (std::count(c.peakless.begin(), c.peakless.end(), k)) peaks = {{90, 420, 8}};
            const bool empty = std::count(c.empty.begin(), c.empty.end(), k) > 0;
            spectra.write(name, empty ? "" : spectrum(peaks, k));
            files.push_back(spectra.pathOf(name));
        }
        struct Run {
            std::string table;
            std::vector<std::string> saved;  // names and contents
        };
        const auto fit = [&](const std::vector<std::string>& options) {
            TempFolder saves;
            std::vector<std::string> args = c.picks;
            args.insert(args.end(), {"--quality", "4", "--quiet", "--save", saves.path()});
            args.insert(args.end(), options.begin(), options.end());
            args.insert(args.end(), files.begin(), files.end());
            std::ostringstream out, err;
            const std::atomic<bool> notInterrupted{false};
            runBatch(args, {out, err, false}, notInterrupted);
            Run run{out.str(), saves.names()};
            std::sort(run.saved.begin(), run.saved.end());
            for (std::size_t i = 0, n = run.saved.size(); i < n; ++i) {
                run.saved.push_back(saves.read(run.saved[i]));
            }
            return run;
        };
        const Run plain = fit({"--no-pruning", "--jobs", "1"});
        const int failed = static_cast<int>(c.empty.size() + c.peakless.size());
        ASSERT_EQ(plain.saved.size(), 2u * (kFiles - failed)) << plain.table;
        for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
                 {"--jobs", "1"}, {"--jobs", "2"}, {"--no-pruning", "--jobs", "2"}}) {
            SCOPED_TRACE(options.front());
            const Run run = fit(options);
            EXPECT_EQ(run.table, plain.table);
            EXPECT_TRUE(run.saved == plain.saved) << "the saved files differ";
        }
    }
}

}  // namespace
}  // namespace peakfold
