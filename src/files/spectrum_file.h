// Loading a spectrum: a result file, a spectrum file or the test spectrum.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void GetFile_Click(State& s, Toolkit& ui);

}  // namespace peakfold
