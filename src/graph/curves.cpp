#include "graph/curves.h"

namespace peakfold {

void List_Click(State&, Toolkit&) {}
void PlotAll_Click(State&, Toolkit&) {}
void PlotCurve(State&, Toolkit&, int) {}
void PlotTotal(State&, Toolkit&) {}

}  // namespace peakfold
