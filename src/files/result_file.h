// Saving the fit to a result file.
#pragma once

#include <string>

#include "files/file_names.h"
#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void SaveData_Click(State& s, Toolkit& ui);

// What comes before every save: Plot All, and the list's click event, so the
// plot shows every kept equation and the deviation figure is up to date.
void PrepareSave(State& s, Toolkit& ui);

// Writes the result file for the name as the Save button writes it (the
// first equations by the Calculate count plus the kept ones, and the fit
// range's rows), atomically; a failure is told in a message box.
void SaveResultFile(State& s, Toolkit& ui, const std::string& name, NameUse use);

}  // namespace peakfold
