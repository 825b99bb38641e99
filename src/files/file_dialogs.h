// The File menu's items: open and save through the platform's file dialogs,
// and export the plot as a figure.
#pragma once

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Open_Click(State& s, Toolkit& ui);
void SaveAs_Click(State& s, Toolkit& ui);
void ExportFigure_Click(State& s, Toolkit& ui);

// What an exported figure shows beside the plot: a legend of the curves the
// plot draws now, and the fit range with a margin as its wavelength axis.
FigureContent figureOf(const State& s, const Toolkit& ui);

}  // namespace peakfold
