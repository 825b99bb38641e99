#include "files/file_dialogs.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "files/result_file.h"
#include "files/spectrum_file.h"
#include "graph/curves.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {

namespace {

// The plot's wavelengths, 190..1010 nm, and the frame's 200..1000 nm that a
// figure spans when there is no fit range to show.
constexpr double kPlotFirst = 190, kPlotLast = 1010;
constexpr double kFrameFirst = 200, kFrameLast = 1000;
// The margin on each side of the fit range: a share of its span, at least
// a few nanometres.
constexpr double kMarginShare = 0.05, kMinMargin = 5;

// The legend names what List_Click draws now, in the same colours: nothing
// without a selected equation line; the selected equation for Plot One; the
// kept equations and their total for Plot All; the total otherwise; and the
// baseline under any of them when one is in use.
std::vector<std::pair<std::string, int>> legendOf(const State& s, const Toolkit& ui) {
    std::vector<std::pair<std::string, int>> legend;
    const int n = LineSlot(ui.listSelectedText(Control::List));
    if (n <= 0) return legend;
    const std::string mode = ui.text(Control::PlotAll);
    if (mode == "Plot One") {
        legend.emplace_back(LegendLine(s, n, s.EqKept[n] == 1), slotColour(n));
    } else if (mode == "Plot All") {
        for (int i = 1; i <= kLastSlot; ++i) {
            if (s.EqKept[i] == 1) legend.emplace_back(LegendLine(s, i, true), slotColour(i));
        }
    }
    if (mode != "Plot One") legend.emplace_back("Total", kTotalColour);
    if (BaselineDrawn(s)) {
        legend.emplace_back("Baseline (" + std::string(baselineName(s.FitBaseline.kind)) + ")",
                            kBaselineColour);
    }
    return legend;
}

// The fit range with a margin on each side, inside the plot's wavelengths;
// the frame's span when the range leaves nothing of them.
FigureContent spanOf(const State& s, FigureContent figure) {
    const SavedRows rows = savedRows(s);
    const double margin = std::max(kMarginShare * (rows.last - rows.first), kMinMargin);
    const double left = std::clamp(rows.first - margin, kPlotFirst, kPlotLast);
    const double right = std::clamp(rows.last + margin, kPlotFirst, kPlotLast);
    if (rows.first < rows.last && left < right) {
        figure.left = left;
        figure.right = right;
    } else {
        figure.left = kFrameFirst;
        figure.right = kFrameLast;
    }
    return figure;
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

FigureContent figureOf(const State& s, const Toolkit& ui) {
    return spanOf(s, FigureContent{.legend = legendOf(s, ui)});
}

void ExportFigure_Click(State& s, Toolkit& ui) {
    const std::string path = ui.exportFileDialog();
    if (path.empty()) return;
    const std::string error = ui.exportFigure(path, figureOf(s, ui));
    if (!error.empty()) {
        ui.messageBox("Could not export the figure to " + path + " (" + error + ").");
    }
}

}  // namespace peakfold
