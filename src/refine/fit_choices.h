// The Fit menu's Baseline and Weights choices, and what Calculate, Refine
// and Report take from them.
#pragma once

#include <string>
#include <vector>

#include "model/state.h"
#include "refine/refine.h"
#include "ui/toolkit.h"

namespace peakfold {

void Baseline_Click(State& s, Toolkit& ui, BaselineKind kind);
void Weights_Click(State& s, Toolkit& ui, Weighting weights);
// Fit > Peak Shape: the shape of every equation and of those to come; with
// selectedOnly, of the selected equation alone. A pseudo-Voigt starts with
// eta 0.5.
void PeakShape_Click(State& s, Toolkit& ui, PeakShape shape, bool selectedOnly);

// The chosen baseline estimated afresh over the fit range from the spectrum
// less the kept equations, as Calculate does before its search.
void EstimateBaseline(State& s);

// What Refine and Report fit over first..last besides the peaks: the chosen
// baseline over that range (estimated from the spectrum less the peaks when
// it has not been yet), and the sigma the chosen weights give. problem
// says why the weights cannot be had; it is empty when they can.
FitModel fitModelOf(const State& s, int first, int last, const std::vector<PeakEstimate>& peaks,
                    std::string& problem);

}  // namespace peakfold
