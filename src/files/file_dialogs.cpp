#include "files/file_dialogs.h"

namespace peakfold {

void Open_Click(State&, Toolkit&) {}

void SaveAs_Click(State&, Toolkit&) {}

void ExportFigure_Click(State&, Toolkit&) {}

}  // namespace peakfold
