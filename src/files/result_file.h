// Saving the fit to a result file.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void SaveData_Click(State& s, Toolkit& ui);

}  // namespace peakfold
