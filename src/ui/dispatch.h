// Delivers control events to their handlers.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Dispatch(State& s, Toolkit& ui, const Event& event);

// Routes the toolkit's events to Dispatch on this state.
void connect(State& s, Toolkit& ui);

}  // namespace peakfold
