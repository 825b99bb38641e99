#include "model/calculate.h"

namespace peakfold {

void Calculate_Click(State&, Toolkit&) {}
void CalculateNbr_Click(State&, Toolkit&) {}
void Cancel_Click(State&, Toolkit&) {}

}  // namespace peakfold
