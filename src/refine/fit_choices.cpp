#include "refine/fit_choices.h"

#include <algorithm>
#include <cmath>

#include "files/result_file.h"
#include "graph/curves.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {

namespace {

// The spectrum over first..last less the given curve, for the estimate.
std::vector<double> dataLess(const State& s, int first, int last, const std::vector<Peak>& peaks) {
    std::vector<double> data;
    for (int w = first; w <= last; ++w) {
        double v = s.Spectrum[w];
        for (const Peak& peak : peaks) v -= peakValue(peak, w);
        data.push_back(v);
    }
    return data;
}

// Whether the first pick marks a dip: the data there lie below the line
// through the range's ends. Only a polynomial baseline is told apart so; an
// exponential's curve sags below that line, and its peaks are taken as
// peaks.
bool firstPickIsADip(const State& s, const std::vector<double>& data, int first, int last) {
    if (s.FitBaseline.kind == BaselineKind::Exponential) return false;
    const int x = waveIndex(s.PeakX[1]);
    if (x < first || x > last) return false;
    return data[x - first] < endsLineAt(data, first, last, x);
}

Baseline estimateOver(const State& s, int first, int last, const std::vector<Peak>& peaks) {
    if (first > last) return {.kind = s.FitBaseline.kind};
    const std::vector<double> data = dataLess(s, first, last, peaks);
    return estimateBaseline(s.FitBaseline.kind, data, first, last, s.Units.fileZero(),
                            firstPickIsADip(s, data, first, last));
}

// Sigma in the spectrum's percent for each wavelength first..last.
std::vector<double> sigmaOver(const State& s, int first, int last, std::string& problem) {
    std::vector<double> sigma;
    if (s.Weights == Weighting::None) return sigma;
    if (s.Weights == Weighting::Column && !s.SigmaProblem.empty()) {
        problem = "the weights From the file need a σ in the third column of every line, but " +
                  s.SigmaProblem + ".";
        return {};
    }
    for (int w = first; w <= last; ++w) {
        double inFile = 0;
        if (s.Weights == Weighting::Counts) {
            inFile = std::sqrt(std::max(s.Units.inFile(s.Spectrum[w]), 1.0));
        } else {
            inFile = s.Sigma[w];
        }
        if (!(inFile > 0) || !std::isfinite(inFile)) {
            problem = "the spectrum has no σ at " + std::to_string(w) + " nm.";
            return {};
        }
        sigma.push_back(inFile / s.Units.scale);
    }
    return sigma;
}

// The plot shows the new curve when it shows one now.
void redrawFit(State& s, Toolkit& ui) {
    if (LineSlot(ui.listSelectedText(Control::List)) > 0) List_Click(s, ui);
}

}  // namespace

void Baseline_Click(State& s, Toolkit& ui, BaselineKind kind) {
    // The search subtracts the baseline it started with; a new one now
    // would not be the one its answer sits on.
    if (s.CalcState.empty()) {
        s.FitBaseline = Baseline{.kind = kind};
        if (kind != BaselineKind::None) EstimateBaseline(s);
        redrawFit(s, ui);
    }
    ui.showFitChoices(s.FitBaseline.kind, s.Weights);
}

void Weights_Click(State& s, Toolkit& ui, Weighting weights) {
    if (weights == Weighting::Column && !s.SigmaProblem.empty()) {
        ui.messageBox(
            "The weights From the file need a σ in the third column of every line of "
            "the spectrum file (wavelength, TAB, intensity, TAB, σ), but " +
            s.SigmaProblem + ". The weights were not changed.");
    } else {
        s.Weights = weights;
    }
    ui.showFitChoices(s.FitBaseline.kind, s.Weights);
}

void PeakShape_Click(State& s, Toolkit& ui, PeakShape shape, bool selectedOnly) {
    // The search writes the slots and their shapes while it runs.
    if (!s.CalcState.empty()) return ui.showPeakShape(s.FitShape);
    const int selected = LineSlot(ui.listSelectedText(Control::List));
    if (selectedOnly && selected <= 0) {
        ui.messageBox("Select the line of an equation first: its shape is the one that changes.");
        return;
    }
    if (!selectedOnly) s.FitShape = shape;
    for (int i = 1; i <= kLastSlot; ++i) {
        if ((selectedOnly && i != selected) || s.EqShape[i] == shape) continue;
        s.EqShape[i] = shape;
        s.EqEta[i] = shape == PeakShape::PseudoVoigt ? kStartEta : 0;
        for (int line = 0; line < ui.listCount(Control::List); ++line) {
            if (LineSlot(ui.listLine(Control::List, line)) == i) {
                ui.setListLine(Control::List, line, EquationLine(s, i, s.EqKept[i] == 1));
            }
        }
    }
    redrawFit(s, ui);
    ui.showPeakShape(s.FitShape);
}

void EstimateBaseline(State& s) {
    if (s.FitBaseline.kind == BaselineKind::None) return;
    const SavedRows rows = savedRows(s);
    std::vector<Peak> kept;
    for (int i = 1; i <= kLastSlot; ++i) {
        if (s.EqKept[i] == 1) kept.push_back(SlotPeak(s, i));
    }
    s.FitBaseline = estimateOver(s, rows.first, rows.last, kept);
}

FitModel fitModelOf(const State& s, int first, int last, const std::vector<PeakEstimate>& peaks,
                    std::string& problem) {
    FitModel model;
    if (s.FitBaseline.kind != BaselineKind::None && first <= last) {
        if (inUse(s.FitBaseline)) {
            model.baseline = overRange(s.FitBaseline, first, last);
        } else {
            std::vector<Peak> values;
            for (const PeakEstimate& peak : peaks) values.push_back(peak.value);
            model.baseline = estimateOver(s, first, last, values);
        }
    }
    model.sigma = sigmaOver(s, first, last, problem);
    return model;
}

}  // namespace peakfold
