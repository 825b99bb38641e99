#include "files/spectrum_file.h"

namespace peakfold {

void GetFile_Click(State&, Toolkit&) {}

}  // namespace peakfold
