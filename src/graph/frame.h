// The plot frame and the raw-data trace.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void DrawGraphFrame(State& s, Toolkit& ui);
void PlotRawData(State& s, Toolkit& ui);
void PlotRawDots(State& s, Toolkit& ui);

}  // namespace peakfold
