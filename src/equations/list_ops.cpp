#include "equations/list_ops.h"

namespace peakfold {

void Add_Click(State&, Toolkit&) {}
void Keep_Click(State&, Toolkit&) {}
void Throw_Click(State&, Toolkit&) {}
void Delete_Click(State&, Toolkit&) {}

}  // namespace peakfold
