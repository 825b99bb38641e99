// Drawing equations over the data, the plot modes and the deviation figure.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void List_Click(State& s, Toolkit& ui);
void PlotAll_Click(State& s, Toolkit& ui);
void PlotCurve(State& s, Toolkit& ui, int slot);
void PlotTotal(State& s, Toolkit& ui);

// The palette colour a slot's curve and legend square are drawn in.
int SlotColour(int slot);

}  // namespace peakfold
