#include "equations/tuning.h"

namespace peakfold {

void Io_MouseUp(State&, Toolkit&, int16_t, int16_t, float, float) {}
void wl_MouseUp(State&, Toolkit&, int16_t, int16_t, float, float) {}
void PulseWidth_MouseUp(State&, Toolkit&, int16_t, int16_t, float, float) {}

}  // namespace peakfold
