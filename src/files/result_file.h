// Saving the fit to a result file.
#pragma once

#include <string>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void SaveData_Click(State& s, Toolkit& ui);

// The text Save writes: the first calculateNbr equations plus the kept ones
// (each only when its amplitude does not round to 0.0), the deviation
// figure after "RMS=," and the rows of the fit range.
std::string ResultFileText(const State& s, double calculateNbr, const std::string& deviation);

}  // namespace peakfold
