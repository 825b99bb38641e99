// peakfold-fit's command line: the input's pieces between NUL or newline
// bytes are the arguments. Whatever they are, the parse gives either options
// that hold together or a message saying what was wrong. Options that name
// exactly one file are then fitted through the batch's own path, to a small
// spectrum of three peaks on a sloping baseline with a σ column, so that the
// picks, range, quality, baseline, weights, refinement and saving of every
// parsed command line run together. Wide typed half-widths can keep a
// search busy for long, so a fit still running after kPatience is stopped
// as Ctrl+C stops peakfold-fit.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "batch/batch_fit.h"
#include "batch/command_line.h"
#include "model/numbers.h"
#include "model/state.h"
#include "search/fit_search.h"

namespace peakfold {
namespace {

constexpr size_t kMostArguments = 64;
// The search's quality is raised to this when the command line asks for a
// finer one: a coarse search on few points keeps a run within milliseconds,
// and the refinement still starts from the search's answer.
constexpr double kFinestQuality = 10;
constexpr auto kPatience = std::chrono::milliseconds(200);

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "broken: %s\n", why.c_str());
    std::abort();
}

std::vector<std::string> arguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string arg;
    for (size_t i = 0; i < size && args.size() < kMostArguments; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n') {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += c;
        }
    }
    if (!arg.empty() && args.size() < kMostArguments) args.push_back(arg);
    return args;
}

// A folder of its own for the run, with the spectrum the fits are made on:
// 400..480 nm, peaks at 420, 445 and 462 nm on 5 + 0.05 (x - 400), a small
// fixed ripple, and a σ of the square root of the value.
struct Workspace {
    std::string folder, spectrum, saves;

    Workspace() {
        char name[] = "/tmp/peakfold-command-line-fuzz-XXXXXX";
        if (mkdtemp(name) == nullptr) fail("no temporary folder");
        folder = name;
        spectrum = folder + "/spectrum.txt";
        saves = folder + "/saved";
        std::filesystem::create_directory(saves);
        std::ofstream out(spectrum);
        for (int w = 400; w <= 480; ++w) {
            const auto g = [w](double a, double c, double b) {
                return a * std::exp(-kShape * ((w - c) / b) * ((w - c) / b));
            };
            const double y = 5 + 0.05 * (w - 400) + g(60, 420, 6) + g(40, 445, 8) + g(25, 462, 5) +
                             0.3 * std::sin(1.7 * w);
            out << w << '\t' << y << '\t' << std::sqrt(y) << '\n';
        }
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

// Raises the interrupt flag when the fit takes longer than kPatience.
class Watchdog {
  public:
    std::atomic<bool> interrupted{false};

    Watchdog()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              if (!wake_.wait_for(lock, kPatience, [this] { return done_; })) interrupted = true;
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

bool isNamed(std::string_view name, std::initializer_list<std::string_view> allowed) {
    return std::find(allowed.begin(), allowed.end(), name) != allowed.end();
}

bool within(const std::string& text, double low, double high) {
    const double v = TextNum(text);
    return v >= low && v <= high;
}

// What a parse without a message must give.
void checkParsed(const ParsedCommandLine& parsed) {
    const BatchOptions& o = parsed.options;
    if (!parsed.error.empty()) return;
    if (!o.help && !o.version) {
        if (o.fit.peaks.empty() || o.fit.peaks.size() > 3) fail("accepted without 1 to 3 peaks");
        if (o.files.empty()) fail("accepted without a file");
    }
    for (const PeakPick& pick : o.fit.peaks) {
        if (!within(pick.centre, 1, kMaxWave)) fail("accepted the centre " + pick.centre);
        if (!pick.halfWidth.empty() && !within(pick.halfWidth, 1, kMaxWave)) {
            fail("accepted the half-width " + pick.halfWidth);
        }
    }
    if (o.fit.rangeLow && !(*o.fit.rangeLow < *o.fit.rangeHigh && *o.fit.rangeHigh <= kMaxWave)) {
        fail("accepted a range that is not LO < HI <= 1010");
    }
    if (!qualityAccepted(TextNum(o.fit.quality))) fail("accepted the quality " + o.fit.quality);
    if (!isNamed(baselineName(o.fit.baseline),
                 {"none", "constant", "linear", "quadratic", "exponential"})) {
        fail("a baseline of no allowed name");
    }
    if (!isNamed(weightingName(o.fit.weights), {"none", "counts", "column"})) {
        fail("weights of no allowed name");
    }
    if (o.jobs < 0 || o.shard < 0 || o.shard >= o.shards) fail("accepted bad jobs or shard");
}

bool holdsNumberWord(std::string field) {
    std::transform(field.begin(), field.end(), field.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return field.find("nan") != std::string::npos || field.find("inf") != std::string::npos;
}

// The rows of one fitted file, against the table's columns.
void checkFit(const FileFit& fit, const FitSettings& settings, bool interrupted) {
    if (fit.interrupted) {
        if (!interrupted) fail("a fit stopped without an interrupt");
        if (!fit.rows.empty() || !fit.error.empty()) fail("a stopped fit gave rows or an error");
        return;
    }
    if (!fit.error.empty()) {
        if (!fit.rows.empty()) fail("a fit with an error gave rows");
        return;
    }
    if (fit.rows.empty() || fit.rows.size() > settings.peaks.size()) {
        fail("a fit without an error gave " + std::to_string(fit.rows.size()) + " rows");
    }
    const std::vector<std::string> columns = fitColumns();
    const int terms = termCount(settings.baseline);
    for (const std::vector<std::string>& row : fit.rows) {
        if (row.size() != columns.size()) fail("a row of the wrong width");
        for (size_t k = 0; k < row.size(); ++k) {
            const std::string& name = columns[k];
            if (holdsNumberWord(row[k])) fail(name + " is " + row[k]);
            if (name.ends_with("_err") && !settings.refine && !row[k].empty()) {
                fail(name + " without --refine");
            }
            if (name.starts_with("baseline_c") && name[10] - '0' >= terms && !row[k].empty()) {
                fail(name + " beyond the baseline's terms");
            }
        }
        if (!row.back().empty()) fail("a fitted row with an error");
    }
}

}  // namespace
}  // namespace peakfold

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace peakfold;
    static const Workspace workspace;
    const ParsedCommandLine parsed = parseCommandLine(arguments(data, size));
    checkParsed(parsed);
    const BatchOptions& o = parsed.options;
    if (!parsed.error.empty() || o.help || o.version || o.files.size() != 1) return 0;

    // The one file named is the workspace's spectrum; saves go to its folder.
    FitSettings settings = o.fit;
    if (TextNum(settings.quality) < kFinestQuality) settings.quality = NumText(kFinestQuality);
    if (!settings.saveFolder.empty()) settings.saveFolder = workspace.saves;
    FileFit fit;
    bool interrupted = false;
    {
        Watchdog watchdog;
        fit = fitFile(workspace.spectrum, settings, 1, watchdog.interrupted);
        interrupted = watchdog.interrupted;
    }
    checkFit(fit, settings, interrupted);
    return 0;
}
