#include "files/file_dialogs.h"

#include <string>
#include <utility>
#include <vector>

#include "files/result_file.h"
#include "files/spectrum_file.h"
#include "graph/curves.h"
#include "model/equation.h"

namespace peakfold {

namespace {

// The equations in use, as the list writes them, each with its curve's
// colour: the figure's legend.
std::vector<std::pair<std::string, int>> legendOf(const State& s) {
    std::vector<std::pair<std::string, int>> legend;
    for (int i = 1; i <= kLastSlot; ++i) {
        if (s.EqIo[i] * s.EqW[i] != 0) {
            legend.emplace_back(EquationLine(s, i, s.EqKept[i] == 1), slotColour(i));
        }
    }
    return legend;
}

}  // namespace

// A cancelled dialog changes nothing; a chosen file loads as Get File loads.
void Open_Click(State& s, Toolkit& ui) {
    OpenPath(s, ui, ui.openFileDialog());
}

// Saves what the Save button saves, under the name chosen in the dialog.
void SaveAs_Click(State& s, Toolkit& ui) {
    PrepareSave(s, ui);
    const std::string path = ui.saveFileDialog();
    if (path.empty()) return;
    SaveResultFile(s, ui, path, NameUse::Save);
}

void ExportFigure_Click(State& s, Toolkit& ui) {
    const std::string path = ui.exportFileDialog();
    if (path.empty()) return;
    const std::string error = ui.exportFigure(path, FigureContent{legendOf(s)});
    if (!error.empty()) {
        ui.messageBox("Could not export the figure to " + path + " (" + error + ").");
    }
}

}  // namespace peakfold
