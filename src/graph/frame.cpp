#include "graph/frame.h"

namespace peakfold {

void DrawGraphFrame(State&, Toolkit&) {}
void PlotRawData(State&, Toolkit&) {}
void PlotRawDots(State&, Toolkit&) {}

}  // namespace peakfold
