// Loading a spectrum: a result file, a spectrum file or the test spectrum.
#pragma once

#include <string>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void GetFile_Click(State& s, Toolkit& ui);

// Loads the file at the path as Get File loads a typed name, with the same
// clearing, messages and caption: a result file when it ends in .pkd, a
// spectrum file otherwise. For File -> Open, a drop and the command line.
void OpenPath(State& s, Toolkit& ui, const std::string& path);

}  // namespace peakfold
