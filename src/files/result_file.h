// Saving the fit to a result file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "files/file_names.h"
#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void SaveData_Click(State& s, Toolkit& ui);

// The slots Save writes: the first n (the Gaussians of the last search) plus
// the kept ones, each only when its amplitude does not round to 0.0 at tenths,
// in ascending order.
std::vector<int> savedSlots(const State& s, double calculateNbr);

// The wavelengths first..last a result file has rows for: the fit range,
// only what lies inside the array.
struct SavedRows {
    int first = 0, last = -1;
};
SavedRows savedRows(const State& s);

// The text Save writes: the first calculateNbr equations plus the kept ones
// (each only when its amplitude does not round to 0.0), the deviation
// figure after "RMS=," and the rows of the fit range.
std::string ResultFileText(const State& s, double calculateNbr, const std::string& deviation);

// The baseline's fields at the end of the deviation line ("RMS=,..."), empty
// when no baseline is in use; and the baseline such a line holds, kind None
// when it holds none.
std::string BaselineFields(const Baseline& b);
Baseline BaselineOfLine(std::string_view line);
// The shapes of the saved slots on the same line when any is not a
// Gaussian, empty otherwise; and the shapes (with eta) such a line holds,
// in the order of the saved equations, none when it holds none.
std::string ShapeFields(const State& s, const std::vector<int>& slots);
std::vector<Peak> ShapesOfLine(std::string_view line);

// What comes before every save: Plot All, and the list's click event, so the
// plot shows every kept equation and the deviation figure is up to date.
void PrepareSave(State& s, Toolkit& ui);

// Writes the result file for the name as the Save button writes it (the
// first equations by the Calculate count plus the kept ones, and the fit
// range's rows), atomically; a failure is told in a message box.
void SaveResultFile(State& s, Toolkit& ui, const std::string& name, NameUse use);

}  // namespace peakfold
