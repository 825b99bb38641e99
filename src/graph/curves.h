// Drawing equations over the data, the plot modes and the deviation figure.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void List_Click(State& s, Toolkit& ui);
void PlotAll_Click(State& s, Toolkit& ui);
void PlotCurve(State& s, Toolkit& ui, int slot);
void PlotTotal(State& s, Toolkit& ui);

// The deviation figure PlotTotal shows and a result file carries: the root of
// the summed squared difference between the data and the total of every slot
// in use over 200..1000 nm, to tenths.
double DeviationFigure(const State& s);

}  // namespace peakfold
