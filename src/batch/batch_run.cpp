#include "batch/batch_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "batch/batch_fit.h"
#include "batch/command_line.h"
#include "batch/ordered_pool.h"
#include "batch/running_files.h"
#include "ui/main_window.h"

namespace peakfold {

namespace {

constexpr int kUsageError = 2;
constexpr int kSomeFailed = 1;
constexpr int kInterrupted = 130;  // the shell's status for a program ended by SIGINT
constexpr int kBarWidth = 30;
constexpr std::size_t kSearchesShown = 4;  // running files' progress on the bar, the first ones
constexpr double kLongSearch = 3600;       // seconds of a search that is worth a warning
// Trials per second of one search thread, until the batch has measured its
// own. Calculate's search was timed on one thread of this machine (an AMD
// EPYC core) for three clicked peaks at quality 1 on five of the measured
// spectra and on a generated one of three peaks of half-width 300 nm, the
// trials of the centre steps passed over the seconds taken: from 4e7 to
// 3e8 trials per second, as the share of trials rejected unsummed varies.
// The slowest is taken, so a long search is rather named than missed.
constexpr double kTrialsPerSecond = 4e7;

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
    gInterrupted.store(true);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// While many files remain each search runs on one thread, the files
// themselves keeping every job busy; the last few files share the jobs.
int searchThreadsFor(std::size_t notStarted, int jobs) {
    if (notStarted >= static_cast<std::size_t>(jobs)) return 1;
    return std::max(1, jobs / static_cast<int>(notStarted));
}

// A share as a percentage with two significant digits, so that a search
// that moves by millionths is seen to move: 45%, 5.0%, 0.0034%.
std::string percentText(double share) {
    const double percent = 100 * share;
    char text[32];
    if (!(percent > 0)) return "0%";
    const int decimals =
        percent >= 10 ? 0 : std::clamp(1 - static_cast<int>(std::floor(std::log10(percent))), 1, 9);
    std::snprintf(text, sizeof text, "%.*f%%", decimals, percent);
    return text;
}

// A large count as 1.6e14.
std::string countText(double count) {
    char text[32];
    std::snprintf(text, sizeof text, count < 1e6 ? "%.0f" : "%.1e", count);
    std::string s = text;
    const std::size_t e = s.find('e');
    if (e != std::string::npos) {
        std::size_t digits = e + 1;
        while (digits < s.size() && (s[digits] == '+' || s[digits] == '0')) ++digits;
        s = s.substr(0, e + 1) + s.substr(digits);
    }
    return s;
}

// A long time in the unit a person would give it in.
std::string durationText(double seconds) {
    struct Unit {
        const char* name;
        double seconds;
    };
    constexpr Unit kUnits[] = {
        {"years", 365.25 * 86400}, {"days", 86400}, {"hours", 3600}, {"minutes", 60}};
    for (const Unit& unit : kUnits) {
        if (seconds >= 2 * unit.seconds || unit.seconds == 60) {
            char text[48];
            const double count = seconds / unit.seconds;
            std::snprintf(text, sizeof text, count < 1e6 ? "%.0f %s" : "%.1e %s", count, unit.name);
            return text;
        }
    }
    return {};
}

// The line that names a search which would run for hours, before it starts.
std::string longSearchLine(const std::string& file, double trials, double trialsPerSecond,
                           double timeLimit) {
    const double seconds = trials / trialsPerSecond;
    if (!(seconds > kLongSearch)) return {};
    std::string line = "peakfold-fit: " + file + ": " + countText(trials) + " trials, about " +
                       durationText(seconds) + " at this machine's speed";
    if (timeLimit <= 0) {
        line += "; --time-limit stops a file early";
    } else if (timeLimit < seconds) {
        char limit[64];
        std::snprintf(limit, sizeof limit, "; the time limit of %g s stops it", timeLimit);
        line += limit;
    }
    return line;
}

class Progress {
  public:
    Progress(std::ostream& err, bool shown, std::size_t total)
        : err_(err), shown_(shown), total_(total), start_(std::chrono::steady_clock::now()) {}

    // Draws the bar with the share done of each running search.
    void draw(std::size_t done, const std::vector<double>& searches) {
        if (!shown_) return;
        const double seconds = secondsSince(start_);
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        const int filled = total_ == 0 ? kBarWidth : static_cast<int>(kBarWidth * done / total_);
        std::string running;
        for (std::size_t k = 0; k < searches.size() && k < kSearchesShown; ++k) {
            running += (k == 0 ? " (running " : " ") + percentText(searches[k]);
        }
        if (searches.size() > kSearchesShown) {
            running += " +" + std::to_string(searches.size() - kSearchesShown);
        }
        if (!running.empty()) running += ')';
        char line[224];
        const char* left = "";
        char leftText[40] = "";
        if (rate > 0) {
            const long s = std::lround(static_cast<double>(total_ - done) / rate);
            std::snprintf(leftText, sizeof leftText, "  %ld:%02ld left", s / 60, s % 60);
            left = leftText;
        }
        std::snprintf(line, sizeof line, "\r[%s%s] %zu/%zu files%s  %.1f spectra/s%s\033[K",
                      std::string(static_cast<size_t>(filled), '#').c_str(),
                      std::string(static_cast<size_t>(kBarWidth - filled), '-').c_str(), done,
                      total_, running.c_str(), rate, left);
        err_ << line << std::flush;
    }
    void clear() {
        if (shown_) err_ << "\r\033[K" << std::flush;
    }
    // Lines of their own above the bar, which the next draw puts back.
    void write(const std::vector<std::string>& lines) {
        if (lines.empty()) return;
        clear();
        for (const std::string& line : lines) err_ << line << '\n';
        err_ << std::flush;
    }
    double seconds() const { return secondsSince(start_); }

  private:
    std::ostream& err_;
    bool shown_;
    std::size_t total_;
    std::chrono::steady_clock::time_point start_;
};

int usageError(std::ostream& err, const std::string& what) {
    err << "peakfold-fit: " << what << "\n" << kBatchUsage;
    return kUsageError;
}

}  // namespace

const std::atomic<bool>& interruptFlag() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;  // a second Ctrl+C ends the program at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    return gInterrupted;
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        const std::string& f = fields[i];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    }
    line += '\n';
    return line;
}

int runBatch(const std::vector<std::string>& args, BatchStreams streams,
             const std::atomic<bool>& interrupted) {
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (!parsed.error.empty()) return usageError(streams.err, parsed.error);
    const BatchOptions& o = parsed.options;
    if (o.help) {
        streams.out << kHelp;
        return 0;
    }
    if (o.version) {
        streams.out << "Peakfold " << kVersion << "\n";
        return 0;
    }
    std::error_code ec;
    if (!o.fit.saveFolder.empty() && !std::filesystem::is_directory(o.fit.saveFolder, ec)) {
        return usageError(streams.err, "--save " + o.fit.saveFolder + ": no such folder");
    }
    std::ofstream file;
    if (!o.output.empty()) {
        file.open(o.output, std::ios::binary | std::ios::trunc);
        if (!file) return usageError(streams.err, "--output " + o.output + ": cannot write there");
    }
    std::ostream& out = o.output.empty() ? streams.out : file;

    const std::vector<std::string> files = shardFiles(o);
    const int jobs =
        o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (o.header) {
        std::vector<std::string> header{"file"};
        for (std::string& column : fitColumns()) header.push_back(std::move(column));
        out << csvLine(header) << std::flush;
    }

    std::vector<FileFit> results(files.size());
    std::size_t fitted = 0, failed = 0;
    Progress progress(streams.err, streams.errIsTerminal && !o.quiet, files.size());
    RunningFiles running;
    // Each worker hands the winner of its last successful search to its next
    // file, a neighbour in the series, whose search it lets prune from the
    // start; a file that was not fitted leaves the hint as it was.
    std::vector<NeighbourTrial> hints(std::min(static_cast<std::size_t>(jobs), files.size()));
    OrderedWork work;
    work.run = [&](std::size_t i, std::size_t notStarted, int worker) {
        FitWatch watch;
        watch.timeLimit = o.timeLimit;
        std::atomic<std::int64_t>* passed = nullptr;
        watch.searchStarting = [&](const SearchSize& size) {
            passed = &running.searchStarted(i, size.steps);
            const double speed = running.trialsPerSecond().value_or(kTrialsPerSecond);
            std::string line = longSearchLine(files[i], size.trials, speed, o.timeLimit);
            if (!line.empty()) running.addLine(std::move(line));
        };
        watch.stepPassed = [&] { passed->fetch_add(1, std::memory_order_relaxed); };
        NeighbourTrial& hint = hints[static_cast<std::size_t>(worker)];
        results[i] =
            fitFile(files[i], o.fit, searchThreadsFor(notStarted, jobs), interrupted, watch, hint);
        if (o.fit.pruning && results[i].winner.n > 0) hint = results[i].winner;
        running.fitEnded(i, results[i].trialsSearched, results[i].searchSeconds);
    };
    work.deliver = [&](std::size_t i) {
        FileFit fit = std::move(results[i]);
        if (fit.interrupted) return;
        if (fit.error.empty()) {
            ++fitted;
            for (const std::vector<std::string>& row : fit.rows) {
                std::vector<std::string> fields{files[i]};
                fields.insert(fields.end(), row.begin(), row.end());
                out << csvLine(fields);
            }
        } else {
            ++failed;
            std::vector<std::string> fields(fitColumns().size() + 1);
            fields.front() = files[i];
            fields.back() = fit.error;
            out << csvLine(fields);
        }
        out << std::flush;
        progress.write(running.takeLines());
        progress.draw(fitted + failed, running.searchesDone());
    };
    work.whileWaiting = [&] {
        progress.write(running.takeLines());
        progress.draw(fitted + failed, running.searchesDone());
    };
    progress.draw(0, {});
    runOrdered(files.size(), jobs, work, interrupted);
    progress.write(running.takeLines());
    progress.clear();

    const bool stopped = interrupted.load();
    if (!o.quiet) {
        char summary[160];
        std::snprintf(summary, sizeof summary, "peakfold-fit: %zu fitted, %zu failed, %.1f s%s\n",
                      fitted, failed, progress.seconds(), stopped ? ", stopped by Ctrl+C" : "");
        streams.err << summary << std::flush;
    }
    if (stopped) return kInterrupted;
    out.flush();
    if (!out) {
        // A full disk or a closed pipe: the table is not whole, whatever was fitted.
        streams.err << "peakfold-fit: the table could not be written completely\n";
        return kSomeFailed;
    }
    return failed > 0 ? kSomeFailed : 0;
}

}  // namespace peakfold
