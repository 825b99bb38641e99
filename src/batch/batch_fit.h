// Fitting one file as the window would: Get File, the picks, the fit range,
// the quality and Calculate, each through the window's own handler, then
// the refinement's figures of the equations Save would save.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "model/curve.h"

namespace peakfold {

// A peak given on the command line: a click at the centre, where the
// half-width is estimated from the data, or a centre and half-width typed
// on the settings line. The texts are kept as given, so they are typed as
// given.
struct PeakPick {
    std::string centre;
    std::string halfWidth;  // empty: a click
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
};

// What fitting one file gave: the table's fields of each equation (without
// the file), or the window's message when the file could not be loaded,
// fitted or saved.
struct FileFit {
    std::vector<std::vector<std::string>> rows;
    std::string error;
    bool interrupted = false;  // stopped by Ctrl+C: neither rows nor a saved file
};

// The table's columns after `file`, up to and including `error`.
std::vector<std::string> fitColumns();

// Fits the file at path. searchThreads is handed to the search (0: one per
// core); the results do not depend on it. A search running when
// `interrupted` becomes true is cancelled.
FileFit fitFile(const std::string& path, const FitSettings& settings, int searchThreads,
                const std::atomic<bool>& interrupted);

}  // namespace peakfold
