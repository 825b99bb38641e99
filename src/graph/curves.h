// Drawing equations over the data, the plot modes and the deviation figure.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

// Slots 1..6 have the legend's colours 9..14; slots 7..9 repeat those of 1..3.
int slotColour(int slot);
constexpr int kBaselineColour = 3;  // dark cyan: no equation and no other curve has it
constexpr int kTotalColour = 15;    // white: the sum of all equations

void List_Click(State& s, Toolkit& ui);
void PlotAll_Click(State& s, Toolkit& ui);
void PlotCurve(State& s, Toolkit& ui, int slot);
void PlotTotal(State& s, Toolkit& ui);

// Whether List_Click draws some of the baseline, when an equation is selected.
bool BaselineDrawn(const State& s);

// The deviation figure PlotTotal shows and a result file carries: the root of
// the summed squared difference between the data and the total of every slot
// in use over 200..1000 nm, to tenths.
double DeviationFigure(const State& s);

}  // namespace peakfold
