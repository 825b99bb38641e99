#include "refine/refine_command.h"

#include <string>
#include <vector>

#include "files/result_file.h"
#include "graph/curves.h"
#include "model/calculate.h"
#include "model/equation.h"
#include "model/numbers.h"
#include "refine/fit_choices.h"
#include "refine/refine.h"

namespace peakfold {

namespace {

constexpr const char* kNothingToRefine =
    "There is nothing to refine: no listed equation would be saved. Calculate a fit first, or "
    "mark equations with Keep.";

std::vector<double> dataOver(const State& s, const SavedRows& rows) {
    std::vector<double> data;
    for (int w = rows.first; w <= rows.last; ++w) data.push_back(s.Spectrum[w]);
    return data;
}

// Whether the stored refinement is about the equations as they are listed
// now: the same slots with the same values, the same range, the same data.
bool stillRefined(const State& s, const std::vector<PeakEstimate>& listed, const SavedRows& rows) {
    const Refinement& r = s.LastRefinement;
    if (!r.hasErrors || r.first != rows.first || r.last != rows.last) return false;
    if (r.weights != s.Weights || r.baseline.kind != s.FitBaseline.kind ||
        r.baseline.c != s.FitBaseline.c || r.baseline.set != s.FitBaseline.set) {
        return false;
    }
    if (r.peaks.size() != listed.size() || s.LastRefinedData != dataOver(s, rows)) return false;
    for (size_t i = 0; i < listed.size(); ++i) {
        if (r.peaks[i].slot != listed[i].slot || !(r.peaks[i].value == listed[i].value)) {
            return false;
        }
    }
    return true;
}

// Each list line of a refined slot shows its new values, marked as kept or not.
void relist(const State& s, Toolkit& ui, const Refinement& r) {
    for (int line = 0; line < ui.listCount(Control::List); ++line) {
        const int slot = LineSlot(ui.listLine(Control::List, line));
        for (const PeakEstimate& peak : r.peaks) {
            if (peak.slot == slot) {
                ui.setListLine(Control::List, line, EquationLine(s, slot, s.EqKept[slot] == 1));
            }
        }
    }
}

}  // namespace

void Refine_Click(State& s, Toolkit& ui) {
    // The search writes the slots while it runs; a refinement now would
    // fit equations about to be replaced.
    if (!s.CalcState.empty()) return;
    const std::vector<PeakEstimate> listed = listedPeaks(s, gaussianCount(ui));
    if (listed.empty()) {
        ui.messageBox(kNothingToRefine);
        return;
    }
    const SavedRows rows = savedRows(s);
    const int points = rows.last - rows.first + 1;
    int parameters = 3 * static_cast<int>(listed.size()) + termCount(s.FitBaseline.kind);
    for (const PeakEstimate& peak : listed) parameters += peak.value.shape == PeakShape::PseudoVoigt;
    if (points <= parameters) {
        ui.messageBox("Nothing was refined: the fit range holds " +
                      std::to_string(points < 0 ? 0 : points) + " wavelengths, and " +
                      std::to_string(parameters) +
                      " parameters need more than that. Set the range by left and right clicks "
                      "on the graph.");
        return;
    }

    std::string problem;
    const FitModel model = fitModelOf(s, rows.first, rows.last, listed, problem);
    if (!problem.empty()) {
        ui.messageBox("Nothing was refined: " + problem);
        return;
    }
    Refinement r = refine(s.Spectrum, rows.first, rows.last, listed, model);
    r.weights = s.Weights;
    r.units = s.Units;
    if (!r.hasErrors) {
        ui.messageBox(
            "The refinement failed: a step ran beyond what the numbers can hold, so "
            "nothing was refined. Try another baseline, or a wider fit range.");
        return;
    }
    for (const PeakEstimate& peak : r.peaks) {
        s.EqIo[peak.slot] = peak.value.amplitude;
        s.EqXo[peak.slot] = peak.value.centre;
        s.EqW[peak.slot] = peak.value.halfWidth;
        s.EqEta[peak.slot] = peak.value.eta;
    }
    if (s.FitBaseline.kind != BaselineKind::None) s.FitBaseline = r.baseline;
    relist(s, ui, r);
    List_Click(s, ui);
    // The figure belongs to the refined equations whatever the plot mode,
    // as the one a result file carries must.
    ui.setText(Control::TryNbr, NumText(DeviationFigure(s)));
    s.LastRefinement = r;
    s.LastRefinedData = dataOver(s, rows);
}

void Report_Click(State& s, Toolkit& ui) {
    const std::vector<PeakEstimate> listed = listedPeaks(s, gaussianCount(ui));
    const SavedRows rows = savedRows(s);
    if (stillRefined(s, listed, rows)) {
        ui.showReport(s.LastRefinement);
        return;
    }
    // Weights that cannot be had leave the figures unweighted; Refine says why.
    std::string problem;
    FitModel model = fitModelOf(s, rows.first, rows.last, listed, problem);
    if (!inUse(s.FitBaseline)) model.baseline = Baseline{};
    Refinement r = describe(s.Spectrum, rows.first, rows.last, listed, model);
    r.weights = problem.empty() ? s.Weights : Weighting::None;
    r.units = s.Units;
    ui.showReport(r);
}

}  // namespace peakfold
