#include "graph/picking.h"

namespace peakfold {

void Graph_MouseUp(State&, Toolkit&, int16_t, int16_t, float, float) {}
void PeakNbr_Click(State&, Toolkit&) {}
void ClearGraph_Click(State&, Toolkit&) {}
void Help_KeyPress(State&, Toolkit&, int16_t) {}
std::string SettingsLine(const State&, int) { return {}; }
void ParseSettingsLine(State&, std::string_view) {}
int16_t EstimateHalfWidth(const State&, int) { return 0; }
void DrawPickStrip(State&, Toolkit&, int) {}

}  // namespace peakfold
