// Saving the fit to a result file.
#pragma once

#include <string>
#include <vector>

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

}  // namespace peakfold
