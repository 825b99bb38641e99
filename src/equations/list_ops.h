// Adding, keeping, throwing back and deleting equations of the list.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Add_Click(State& s, Toolkit& ui);
void Keep_Click(State& s, Toolkit& ui);
void Throw_Click(State& s, Toolkit& ui);
void Delete_Click(State& s, Toolkit& ui);

}  // namespace peakfold
