// The Calculate command around the fit search, and its two small buttons.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Calculate_Click(State& s, Toolkit& ui);
void CalculateNbr_Click(State& s, Toolkit& ui);
void Cancel_Click(State& s, Toolkit& ui);

// The number of Gaussians shown on the CalculateNbr button, 1..3.
int gaussianCount(const Toolkit& ui);

}  // namespace peakfold
