// The Fit menu's least-squares items: Refine improves the listed equations
// in place, Report shows their values, errors and fit statistics.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Refine_Click(State& s, Toolkit& ui);
void Report_Click(State& s, Toolkit& ui);

}  // namespace peakfold
