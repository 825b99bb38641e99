#include "batch/command_line.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "model/numbers.h"
#include "model/state.h"
#include "search/fit_search.h"

namespace peakfold {

const char* const kBatchUsage =
    "Usage: peakfold-fit --peak NM[:HALFWIDTH][@SHAPE] [--peak ...] [--range LO:HI]\n"
    "                    [--quality Q] [--refine] [--baseline KIND] [--weights KIND]\n"
    "                    [--shape SHAPE] [--save DIR]\n"
    "                    [--jobs N] [--shard K/N] [--time-limit SECONDS] [--output FILE]\n"
    "                    [--no-pruning] [--quiet] [--no-header]\n"
    "                    FILE...\n"
    "Try 'peakfold-fit --help' for more.\n";

const char* const kHelp =
    "peakfold-fit: fits one to three Gaussian peaks to each spectrum file, as the\n"
    "Peakfold window does, and writes one table row per equation.\n"
    "\n"
    "Usage: peakfold-fit --peak NM[:HALFWIDTH] [--peak ...] [options] FILE...\n"
    "\n"
    "Each FILE is a result file (.pkd) or a spectrum file (.txt, .csv, .tsv, .dat or\n"
    "any other name), loaded as Get File loads it. The number of Gaussians is the\n"
    "number of --peak options.\n"
    "\n"
    "  --peak NM           a peak picked by a click at NM nm; its half-width is\n"
    "                      estimated from the data.       --peak 697\n"
    "  --peak NM:HW        a peak typed on the settings line, centre NM nm and\n"
    "                      half-width HW nm.              --peak 697:30\n"
    "  --peak NM[:HW]@SHAPE  that peak in its own shape (see --shape).\n"
    "                                                     --peak 657@pseudo-voigt\n"
    "                      One to three of them, in the order of peaks 1 to 3.\n"
    "  --range LO:HI       the fit range, as clicked at its two ends; the default\n"
    "                      is the loaded data's extent.   --range 550:800\n"
    "  --quality Q         the search's Fit Quality, above 0.5; 1 is the finest,\n"
    "                      10 (the default) a rough one.  --quality 2\n"
    "  --refine            refine the search's answer by least squares and give\n"
    "                      the standard errors.           --refine\n"
    "  --baseline KIND     a baseline under the peaks, as the Fit menu's Baseline:\n"
    "                      none (the default), constant, linear, quadratic or\n"
    "                      exponential. Estimated from the data before the\n"
    "                      search, fitted with the peaks by --refine.\n"
    "                                                     --baseline linear\n"
    "  --weights KIND      the refinement's weights, as the Fit menu's Weights:\n"
    "                      none (the default), counts (sigma^2 = the intensity,\n"
    "                      at least 1) or column (sigma from a third column of\n"
    "                      the spectrum file).             --weights counts\n"
    "  --save DIR          also write each fit as DIR/NAME.pkd, as Save does, for\n"
    "                      the window to load.            --save fits\n"
    "  --shape SHAPE       the shape of every peak, as the Fit menu's Peak Shape:\n"
    "                      gaussian (the default), lorentzian or pseudo-voigt\n"
    "                      (its Lorentzian share eta fitted within 0..1 by\n"
    "                      --refine, from 0.5). The search is Gaussian.\n"
    "                                                     --shape lorentzian\n"
    "  --jobs N            fit N files at once (default: one per core).\n"
    "                                                     --jobs 4\n"
    "  --shard K/N         fit only every N-th file from the K-th (0-based), so N\n"
    "                      runs share a data set.         --shard 0/4\n"
    "  --time-limit S      stop the search of a file still running S seconds\n"
    "                      after the file was started: it gets an error row and\n"
    "                      the next file is fitted.       --time-limit 600\n"
    "  --output FILE       write the table to FILE instead of standard output.\n"
    "                                                     --output table.csv\n"
    "  --no-pruning        search without pruning: the same rows, more slowly.\n"
    "  --no-header         leave out the header line, for tables to be joined.\n"
    "                                                     --no-header\n"
    "  --quiet             no progress bar and no summary line.  --quiet\n"
    "  --help              this text.                     --help\n"
    "  --version           the program's version.         --version\n"
    "\n"
    "The table is comma-separated: file, equation, amplitude, centre, half_width,\n"
    "fwhm and area with their errors (empty without --refine), at_bound, shape,\n"
    "eta and eta_err (empty but for a pseudo-Voigt), then\n"
    "points, parameters, ssr, reduced_chi_square, r_squared, deviation (the figure\n"
    "the window shows), chi_square, the baseline's baseline_c0 to baseline_c2 with\n"
    "their errors (empty where the baseline has no such term), scale, offset and\n"
    "error. Amplitudes, areas, the baseline, ssr and their errors are in the units\n"
    "of the file: a loaded spectrum's percent p is offset + scale * p there (a\n"
    "result file holds percent). Numbers have full precision and a decimal point.\n"
    "A file that cannot be loaded or fitted gets one row with the window's message\n"
    "in the error column. Rows come in the order of the files, whatever --jobs is.\n"
    "A search that would take more than about an hour is named on standard error,\n"
    "with its trial count and expected time, before it starts.\n"
    "\n"
    "Example:\n"
    "  peakfold-fit --peak 697 --peak 636 --peak 590 --range 550:800 --quality 2 \\\n"
    "               --refine --output table.csv spectra/*.txt\n"
    "\n"
    "Exit status: 0 when every file was fitted, 1 when some were not (also when a\n"
    "search was stopped at --time-limit), 2 for a usage error, 130 when stopped by\n"
    "Ctrl+C.\n";

namespace {

// A plain decimal number: digits with at most one point. Such a text reads
// the same on the settings line, where a sign or an exponent would not.
std::optional<double> plainNumber(std::string_view text) {
    const size_t point = text.find('.');
    bool digits = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits = true;
        } else if (i != point) {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return TextNum(text);
}

std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// "A:B" as its two parts.
std::optional<std::pair<std::string, std::string>> splitAt(std::string_view text, char separator) {
    const size_t at = text.find(separator);
    if (at == std::string_view::npos) return std::nullopt;
    return std::pair{std::string(text.substr(0, at)), std::string(text.substr(at + 1))};
}

bool isWavelength(const std::optional<double>& v) {
    return v && *v >= 1 && *v <= kMaxWave;
}

std::string unknownShape(const std::string& name) {
    return "unknown shape " + name + ": give gaussian, lorentzian or pseudo-voigt";
}

std::string addPeak(BatchOptions& o, const std::string& given) {
    PeakPick pick;
    std::string value = given;
    if (const auto parts = splitAt(given, '@')) {
        value = parts->first;
        pick.shape = shapeNamed(parts->second);
        if (!pick.shape) return "--peak " + given + ": " + unknownShape(parts->second);
    }
    pick.centre = value;
    if (const auto parts = splitAt(value, ':')) {
        pick.centre = parts->first;
        pick.halfWidth = parts->second;
        const std::optional<double> w = plainNumber(pick.halfWidth);
        if (!w || *w < 1 || *w > kMaxWave) {
            return "--peak " + given + ": the half-width must be a number from 1 to 1010";
        }
    }
    if (!isWavelength(plainNumber(pick.centre))) {
        return "--peak " + given + ": the centre must be a wavelength from 1 to 1010";
    }
    if (o.fit.peaks.size() == 3) return "more than three peaks: at most three --peak";
    o.fit.peaks.push_back(pick);
    return {};
}

std::string setRange(BatchOptions& o, const std::string& value) {
    const auto parts = splitAt(value, ':');
    const std::optional<double> low = parts ? plainNumber(parts->first) : std::nullopt;
    const std::optional<double> high = parts ? plainNumber(parts->second) : std::nullopt;
    if (!low || !high || *low >= *high || *high > kMaxWave) {
        return "bad range " + value + ": give LO:HI with 0 <= LO < HI <= 1010";
    }
    o.fit.rangeLow = static_cast<float>(*low);
    o.fit.rangeHigh = static_cast<float>(*high);
    return {};
}

std::string setQuality(BatchOptions& o, const std::string& value) {
    const std::optional<double> q = plainNumber(value);
    if (!q || !qualityAccepted(*q)) {
        return "bad quality " + value + ": give a number greater than 0.5";
    }
    o.fit.quality = value;
    return {};
}

std::string setBaseline(BatchOptions& o, const std::string& value) {
    const std::optional<BaselineKind> kind = baselineNamed(value);
    if (!kind) {
        return "bad --baseline " + value +
               ": give none, constant, linear, quadratic or exponential";
    }
    o.fit.baseline = *kind;
    return {};
}

std::string setWeights(BatchOptions& o, const std::string& value) {
    const std::optional<Weighting> weights = weightingNamed(value);
    if (!weights) return "bad --weights " + value + ": give none, counts or column";
    o.fit.weights = *weights;
    return {};
}

std::string setShape(BatchOptions& o, const std::string& value) {
    const std::optional<PeakShape> shape = shapeNamed(value);
    if (!shape) return "--shape: " + unknownShape(value);
    o.fit.shape = *shape;
    return {};
}

std::string setJobs(BatchOptions& o, const std::string& value) {
    const std::optional<int> jobs = wholeNumber(value);
    if (!jobs || *jobs < 1) return "bad --jobs " + value + ": give a whole number of 1 or more";
    o.jobs = *jobs;
    return {};
}

std::string setTimeLimit(BatchOptions& o, const std::string& value) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
        seconds <= 0) {
        return "bad --time-limit " + value + ": give a number of seconds greater than 0";
    }
    o.timeLimit = seconds;
    return {};
}

std::string setShard(BatchOptions& o, const std::string& value) {
    const auto parts = splitAt(value, '/');
    const std::optional<int> k = parts ? wholeNumber(parts->first) : std::nullopt;
    const std::optional<int> n = parts ? wholeNumber(parts->second) : std::nullopt;
    if (!k || !n || *k < 0 || *k >= *n) {
        return "bad --shard " + value + ": give K/N with 0 <= K < N";
    }
    o.shard = *k;
    o.shards = *n;
    return {};
}

// Applies one option with a value; gives what was wrong, if anything.
std::string applyValue(BatchOptions& o, std::string_view name, const std::string& value) {
    if (value.empty()) return std::string(name) + " needs a value";
    if (name == "--peak") return addPeak(o, value);
    if (name == "--range") return setRange(o, value);
    if (name == "--quality") return setQuality(o, value);
    if (name == "--baseline") return setBaseline(o, value);
    if (name == "--weights") return setWeights(o, value);
    if (name == "--shape") return setShape(o, value);
    if (name == "--jobs") return setJobs(o, value);
    if (name == "--shard") return setShard(o, value);
    if (name == "--time-limit") return setTimeLimit(o, value);
    if (name == "--save") o.fit.saveFolder = value;
    if (name == "--output") o.output = value;
    return {};
}

bool takesValue(std::string_view name) {
    for (const char* option :
         {"--peak", "--range", "--quality", "--baseline", "--weights", "--shape", "--save",
          "--jobs", "--shard", "--time-limit", "--output"}) {
        if (name == option) return true;
    }
    return false;
}

// Applies one option without a value; false when there is no such option.
bool applyFlag(BatchOptions& o, std::string_view name) {
    if (name == "--refine") return o.fit.refine = true;
    if (name == "--quiet") return o.quiet = true;
    if (name == "--no-pruning") return !(o.fit.pruning = false);
    if (name == "--no-header") return !(o.header = false);
    if (name == "--help") return o.help = true;
    if (name == "--version") return o.version = true;
    return false;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    BatchOptions& o = parsed.options;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (takesValue(name)) {
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            }
            parsed.error = applyValue(o, name, value);
        } else if (equals != std::string::npos || !applyFlag(o, name)) {
            parsed.error = "unknown option " + arg;
        }
        if (!parsed.error.empty()) return parsed;
    }
    if (o.help || o.version) return parsed;
    if (o.fit.peaks.empty()) {
        parsed.error = "no --peak: give one to three peaks, for example --peak 697";
    } else if (o.files.empty()) {
        parsed.error = "no FILE to fit";
    }
    return parsed;
}

std::vector<std::string> shardFiles(const BatchOptions& options) {
    std::vector<std::string> files;
    for (size_t i = static_cast<size_t>(options.shard); i < options.files.size();
         i += static_cast<size_t>(options.shards)) {
        files.push_back(options.files[i]);
    }
    return files;
}

}  // namespace peakfold
