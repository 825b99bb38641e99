#include "files/result_file.h"

namespace peakfold {

void SaveData_Click(State&, Toolkit&) {}

}  // namespace peakfold
