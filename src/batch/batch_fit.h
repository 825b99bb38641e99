// Fitting one file as the window would: Get File, the picks, the fit range,
// the quality and Calculate, each through the window's own handler, then
// the refinement's figures of the equations Save would save.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/curve.h"
#include "model/state.h"

namespace peakfold {

// A peak given on the command line: a click at the centre, where the
// half-width is estimated from the data, or a centre and half-width typed
// on the settings line. The texts are kept as given, so they are typed as
// given.
struct PeakPick {
    std::string centre;
    std::string halfWidth;                          // empty: a click
    std::optional<PeakShape> shape = std::nullopt;  // none: FitSettings::shape
};

struct FitSettings {
    std::vector<PeakPick> peaks;  // one to three
    // The fit range as clicked at its two ends; the loaded extent when absent.
    std::optional<float> rangeLow, rangeHigh;
    std::string quality = "10";  // the Quality box's text
    bool refine = false;         // least squares with standard errors after the search
    std::string saveFolder;      // where the result files go; empty: none
    BaselineKind baseline = BaselineKind::None;  // the Fit menu's Baseline choice
    Weighting weights = Weighting::None;         // and its Weights choice
    PeakShape shape = PeakShape::Gaussian;       // and its Peak Shape choice
    // The search's pruning (State::SearchPruning); off, the search takes
    // its plain path, to check that the answers do not change.
    bool pruning = true;
};

// The size of a search: the steps of its centre scans, at each of which it
// lets events run once, and its trials, every width combination at every
// centre combination. Doubles, so that no picks can overflow them.
struct SearchSize {
    double steps = 0;
    double trials = 0;
};

// The size of the search that Calculate would start on the state as it is,
// for n Gaussians at quality Q, from the same scans the search makes.
SearchSize searchSize(const State& s, int n, double Q);

// What the batch follows of one file's fit while it runs, on the thread
// that fits it, and the time it allows the fit.
struct FitWatch {
    double timeLimit = 0;  // seconds from the start of the fit; 0: no limit
    // Called once, just before the search starts.
    std::function<void(const SearchSize&)> searchStarting;
    // Called at each step of the third centre scan that the search passes.
    std::function<void()> stepPassed;
};

// What fitting one file gave: the table's fields of each equation (without
// the file), or the window's message when the file could not be loaded,
// fitted or saved.
struct FileFit {
    std::vector<std::vector<std::string>> rows;
    std::string error;
    bool interrupted = false;  // stopped by Ctrl+C: neither rows nor a saved file
    // The trials of the search's steps passed and the seconds it ran; zero
    // when no search started. Their ratio is the search's speed.
    double trialsSearched = 0;
    double searchSeconds = 0;
    // The centres and widths of the equations the search found, as they
    // were before any refinement; n = 0 when it found none or was stopped.
    NeighbourTrial winner;
};

// The table's columns after `file`, up to and including `error`.
std::vector<std::string> fitColumns();

// Fits the file at path. searchThreads is handed to the search (0: one per
// core); the results do not depend on it. A search running when
// `interrupted` becomes true is cancelled; one still running at the watch's
// time limit is stopped too and gives an error. `neighbour` is the winner
// of the search on the spectrum fitted before, on the same grid, which lets
// the search rule trials out from its start; the rows do not depend on it.
FileFit fitFile(const std::string& path, const FitSettings& settings, int searchThreads,
                const std::atomic<bool>& interrupted, const FitWatch& watch = {},
                const NeighbourTrial& neighbour = {});

}  // namespace peakfold
