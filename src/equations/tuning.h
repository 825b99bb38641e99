// Stepping the amplitude, centre and width of the selected equation by hand.
#pragma once

#include <cstdint>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Io_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float x, float y);
void wl_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float x, float y);
void PulseWidth_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float x, float y);

}  // namespace peakfold
