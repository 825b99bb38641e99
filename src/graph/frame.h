// The plot frame and the raw-data trace.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void DrawGraphFrame(State& s, Toolkit& ui);
void PlotRawData(State& s, Toolkit& ui);
void PlotRawDots(State& s, Toolkit& ui);

// A value as a drawing coordinate: single precision, held within a band far
// wider than the visible plot, so that no infinity or NaN reaches the surface
// however extreme a typed pick or an equation is. Inside the band it is the
// plain conversion to float.
float plotCoordinate(double value);

}  // namespace peakfold
