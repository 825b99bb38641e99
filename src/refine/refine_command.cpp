#include "refine/refine_command.h"

namespace peakfold {

void Refine_Click(State&, Toolkit&) {}

void Report_Click(State&, Toolkit&) {}

}  // namespace peakfold
