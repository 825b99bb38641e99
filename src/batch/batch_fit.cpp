#include "batch/batch_fit.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>

#include "batch/batch_toolkit.h"
#include "files/file_names.h"
#include "files/result_file.h"
#include "files/spectrum_file.h"
#include "graph/picking.h"
#include "model/calculate.h"
#include "model/equation.h"
#include "model/numbers.h"
#include "refine/fit_choices.h"
#include "refine/refine.h"
#include "refine/refine_command.h"
#include "refine/report.h"
#include "search/fit_search.h"
#include "search/search_steps.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"

namespace peakfold {

namespace {

constexpr const char* kNoFit = "No fit found.";
constexpr const char* kNotFound = "File not found";  // Get File's message for a name it cannot find
constexpr int16_t kEnter = 13;
constexpr int16_t kLeft = 1, kRight = 2;
// Seconds beyond which a time limit is never reached (some 30 years), and
// would overflow the clock's count.
constexpr double kNeverReached = 1e9;

constexpr const char* kStatisticColumns[] = {
    "points", "parameters", "ssr", "reduced_chi_square", "r_squared", "deviation", "chi_square"};
constexpr const char* kUnitColumns[] = {"scale", "offset"};

// The peaks as the window places them: each click with PeakNbr showing its
// peak, then the two ends of the range with PeakNbr showing "Range" (every
// click estimates the half-widths again, from the same centres), and last
// the typed peaks on the settings line, which a click would overwrite.
void placePicks(State& s, BatchToolkit& ui, const FitSettings& settings) {
    const int n = static_cast<int>(settings.peaks.size());
    bool typed = false;
    for (int k = 1; k <= n; ++k) {
        const PeakPick& pick = settings.peaks[static_cast<size_t>(k - 1)];
        if (!pick.halfWidth.empty()) {
            typed = true;
            continue;
        }
        ui.setText(Control::PeakNbr, "Peak " + std::to_string(k));
        Graph_MouseUp(s, ui, kLeft, 0, static_cast<float>(TextNum(pick.centre)), 0);
    }
    if (settings.rangeLow) {
        ui.setText(Control::PeakNbr, "Range");
        Graph_MouseUp(s, ui, kLeft, 0, *settings.rangeLow, 0);
        Graph_MouseUp(s, ui, kRight, 0, *settings.rangeHigh, 0);
    }
    if (!typed) return;
    std::string line;
    for (int k = 1; k <= 3; ++k) {
        std::string centre = NumText(s.PeakX[k]), width = NumText(s.PeakW[k]);
        if (k <= n && !settings.peaks[static_cast<size_t>(k - 1)].halfWidth.empty()) {
            centre = settings.peaks[static_cast<size_t>(k - 1)].centre;
            width = settings.peaks[static_cast<size_t>(k - 1)].halfWidth;
        }
        line += (k > 1 ? " Peak " : "Peak ") + std::to_string(k) + ": " + centre + " - " + width;
    }
    ui.setText(Control::Help, line);
    Help_KeyPress(s, ui, kEnter);
}

// The refinement's rows in the file's own units.
// A peak given its own shape: its line selected and the shape chosen for
// the selected equation, as in the window. Peak k is the search's slot k.
void setOwnShapes(State& s, BatchToolkit& ui, const FitSettings& settings) {
    for (size_t k = 0; k < settings.peaks.size(); ++k) {
        if (!settings.peaks[k].shape) continue;
        for (int line = 0; line < ui.listCount(Control::List); ++line) {
            if (LineSlot(ui.listLine(Control::List, line)) != static_cast<int>(k + 1)) continue;
            ui.setListIndex(Control::List, line);
            PeakShape_Click(s, ui, *settings.peaks[k].shape, true);
        }
    }
}

std::vector<std::vector<std::string>> tableRows(const Refinement& fitted,
                                                const std::string& deviation) {
    const Refinement r = inOwnUnits(fitted);
    const FitStatistics& f = r.statistics;
    std::vector<std::string> statistics = {
        std::to_string(f.points),          std::to_string(f.parameters), fullPrecision(f.ssr),
        fullPrecision(f.reducedChiSquare), fullPrecision(f.rSquared),    deviation,
        fullPrecision(f.chiSquare)};
    const std::vector<std::string> baseline = baselineFields(r);
    statistics.insert(statistics.end(), baseline.begin(), baseline.end());
    statistics.push_back(fullPrecision(r.units.scale));
    statistics.push_back(fullPrecision(r.units.offset));
    std::vector<std::vector<std::string>> rows;
    for (const PeakEstimate& peak : r.peaks) {
        std::vector<std::string> row = reportRow(peak, r.hasErrors);
        row.insert(row.end(), statistics.begin(), statistics.end());
        row.emplace_back();  // no error
        rows.push_back(std::move(row));
    }
    return rows;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string stoppedAtLimit(double seconds) {
    char text[80];
    std::snprintf(text, sizeof text, "search stopped at the time limit of %g s", seconds);
    return text;
}

// Calculate, with the search's size told before it starts and its steps
// counted as it passes them, for the batch's progress and speed.
void calculate(State& s, BatchToolkit& ui, const FitSettings& settings, const FitWatch& watch,
               FileFit& fit) {
    const int n = static_cast<int>(settings.peaks.size());
    const double Q = TextNum(settings.quality);
    const SearchSize size = qualityAccepted(Q) ? searchSize(s, n, Q) : SearchSize{};
    if (watch.searchStarting) watch.searchStarting(size);
    double passed = 0;
    ui.stepPassed = [&] {
        ++passed;
        if (watch.stepPassed) watch.stepPassed();
    };
    const auto started = std::chrono::steady_clock::now();
    Calculate_Click(s, ui);
    fit.searchSeconds = secondsSince(started);
    ui.stepPassed = nullptr;
    if (size.steps > 0) fit.trialsSearched = size.trials * (passed / size.steps);
}

FileFit fitLoaded(State& s, BatchToolkit& ui, const FitSettings& settings, const std::string& path,
                  const std::atomic<bool>& interrupted, const FitWatch& watch) {
    FileFit fit;
    const int n = static_cast<int>(settings.peaks.size());
    placePicks(s, ui, settings);
    ui.setText(Control::Quality, settings.quality);
    const size_t messagesBefore = ui.messages.size();
    // The Fit menu's choices, as a user would make them before Calculate;
    // weights the file cannot give are refused with the window's message.
    Baseline_Click(s, ui, settings.baseline);
    Weights_Click(s, ui, settings.weights);
    PeakShape_Click(s, ui, settings.shape, false);
    if (ui.messages.size() > messagesBefore) {
        fit.error = ui.messages[messagesBefore];
        return fit;
    }
    calculate(s, ui, settings, watch, fit);
    if (interrupted.load()) {
        fit.interrupted = true;
        return fit;
    }
    if (ui.stoppedAtDeadline) {
        fit.error = stoppedAtLimit(watch.timeLimit);
        return fit;
    }
    if (ui.messages.size() > messagesBefore) {
        fit.error = ui.messages[messagesBefore];
        return fit;
    }
    const int lines = ui.listCount(Control::List);
    if (lines == 0 || ui.listSelectedText(Control::List) == kNoFit) {
        fit.error = kNoFit;
        return fit;
    }
    fit.winner.n = n;
    for (int i = 1; i <= n; ++i) {
        fit.winner.c[static_cast<size_t>(i)] = s.EqXo[i];
        fit.winner.b[static_cast<size_t>(i)] = s.EqW[i];
    }
    setOwnShapes(s, ui, settings);
    // With --refine, the window's Refine: it writes the refined values into
    // their slots and shows the deviation figure of the refined equations,
    // so the saved file and the figure belong to them. Without it, the
    // values and statistics of the search's equations, as Report shows them.
    Refinement r;
    if (settings.refine) {
        Refine_Click(s, ui);
        if (ui.messages.size() > messagesBefore) {
            fit.error = ui.messages[messagesBefore];
            return fit;
        }
        r = s.LastRefinement;
    } else {
        const SavedRows range = savedRows(s);
        const std::vector<PeakEstimate> listed = listedPeaks(s, n);
        std::string problem;
        FitModel model = fitModelOf(s, range.first, range.last, listed, problem);
        if (!problem.empty()) {
            fit.error = "No figures could be given: " + problem;
            return fit;
        }
        r = describe(s.Spectrum, range.first, range.last, listed, model);
        r.weights = s.Weights;
        r.units = s.Units;
    }
    // The figure the window shows, which Save writes too.
    const std::string deviation = ui.text(Control::TryNbr);
    fit.rows = tableRows(r, deviation);
    if (!settings.saveFolder.empty()) {
        // NAME.pkd for the file NAME.txt (or .csv, .pkd, ...), beside the others.
        const std::string fileName = std::filesystem::path(path).stem().string() + ".pkd";
        const std::string error = ui.writeFileAtomically(
            pathInFolder(settings.saveFolder, fileName), ResultFileText(s, n, deviation));
        if (!error.empty()) {
            fit.error = "Could not save " + fileName + " (" + error + ").";
            fit.rows.clear();
        }
    }
    return fit;
}

}  // namespace

SearchSize searchSize(const State& s, int n, double Q) {
    // The search drops the half-widths of the peaks it does not fit: their
    // centre scans and width scans have one value each.
    search::Picks picks{s.PeakX, s.PeakW};
    for (int j = n + 1; j <= 3; ++j) picks.w[static_cast<size_t>(j)] = 0;
    const search::CentreScans centres = search::centreScans(picks);
    SearchSize size{1, 1};
    for (size_t j = 1; j <= 3; ++j) {
        size.steps *= static_cast<double>(centres[j].size());
        size.trials *= static_cast<double>(search::scanValues(Q, picks.w[j] + Q, Q).size());
    }
    size.trials *= size.steps;
    return size;
}

std::vector<std::string> fitColumns() {
    std::vector<std::string> columns(kReportColumns.begin(), kReportColumns.end());
    columns.insert(columns.end(), std::begin(kStatisticColumns), std::end(kStatisticColumns));
    columns.insert(columns.end(), kBaselineColumns.begin(), kBaselineColumns.end());
    columns.insert(columns.end(), std::begin(kUnitColumns), std::end(kUnitColumns));
    columns.emplace_back("error");
    return columns;
}

FileFit fitFile(const std::string& path, const FitSettings& settings, int searchThreads,
                const std::atomic<bool>& interrupted, const FitWatch& watch,
                const NeighbourTrial& neighbour) {
    // A state and a toolkit of its own for each file, started as the window
    // starts, so a file's rows never depend on the files fitted before it;
    // the neighbour's trial only speeds its search.
    State s;
    s.SearchThreads = searchThreads;
    s.SearchPruning = settings.pruning;
    if (settings.pruning) s.SearchNeighbour = neighbour;
    BatchToolkit ui(s, interrupted);
    if (watch.timeLimit > 0 && watch.timeLimit < kNeverReached) {
        ui.deadline = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(watch.timeLimit));
    }
    connect(s, ui, false);
    Form_Load(s, ui);
    Form_Activate(s, ui);
    ui.setText(Control::CalculateNbr, std::to_string(settings.peaks.size()));

    FileFit fit;
    if (path.empty()) {
        fit.error = kNotFound;
        return fit;
    }
    try {
        // The file goes through Get File's own loading, as a file dropped on
        // the window does: the same scaling, messages and refusals.
        OpenPath(s, ui, path);
        if (!ui.captionSet) {
            fit.error = ui.messages.empty() ? kNotFound : ui.messages.front();
            return fit;
        }
        return fitLoaded(s, ui, settings, path, interrupted, watch);
    } catch (const std::exception& e) {
        fit.rows.clear();
        fit.error = std::string("Fitting failed: ") + e.what();
        return fit;
    }
}

}  // namespace peakfold
