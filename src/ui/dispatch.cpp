#include "ui/dispatch.h"

#include <memory>
#include <string>

#include "equations/list_ops.h"
#include "equations/tuning.h"
#include "files/result_file.h"
#include "files/file_dialogs.h"
#include "files/spectrum_file.h"
#include "graph/curves.h"
#include "graph/picking.h"
#include "model/calculate.h"
#include "model/numbers.h"
#include "refine/fit_choices.h"
#include "refine/refine_command.h"
#include "ui/main_window.h"

namespace peakfold {

namespace {

void click(State& s, Toolkit& ui, Control control) {
    switch (control) {
        case Control::PeakNbr: return PeakNbr_Click(s, ui);
        case Control::PlotAll: return PlotAll_Click(s, ui);
        case Control::Keep: return Keep_Click(s, ui);
        case Control::Throw: return Throw_Click(s, ui);
        case Control::Add: return Add_Click(s, ui);
        case Control::Delete: return Delete_Click(s, ui);
        case Control::HelpCommand: return HelpCommand_Click(s, ui);
        case Control::List: return List_Click(s, ui);
        case Control::GetFile: return GetFile_Click(s, ui);
        case Control::Calculate: return Calculate_Click(s, ui);
        case Control::CalculateNbr: return CalculateNbr_Click(s, ui);
        case Control::Cancel: return Cancel_Click(s, ui);
        case Control::ClearGraph: return ClearGraph_Click(s, ui);
        case Control::SaveData: return SaveData_Click(s, ui);
        case Control::exitprogram: return exitprogram_Click(s, ui);
        case Control::HelpList: return HelpList_Click(s, ui);
        default: return;
    }
}

void mouseUp(State& s, Toolkit& ui, const Event& e) {
    const int16_t button = toInt16(e.button), shift = toInt16(e.shift);
    switch (e.control) {
        case Control::Graph: return Graph_MouseUp(s, ui, button, shift, e.x, e.y);
        case Control::Io: return Io_MouseUp(s, ui, button, shift, e.x, e.y);
        case Control::wl: return wl_MouseUp(s, ui, button, shift, e.x, e.y);
        case Control::PulseWidth: return PulseWidth_MouseUp(s, ui, button, shift, e.x, e.y);
        default: return;
    }
}

void menu(State& s, Toolkit& ui, MenuItem item) {
    switch (item) {
        case MenuItem::Open: return Open_Click(s, ui);
        case MenuItem::Save: return SaveAs_Click(s, ui);
        case MenuItem::ExportFigure: return ExportFigure_Click(s, ui);
        case MenuItem::Quit: return exitprogram_Click(s, ui);
        case MenuItem::Calculate: return Calculate_Click(s, ui);
        case MenuItem::Cancel: return Cancel_Click(s, ui);
        case MenuItem::Refine: return Refine_Click(s, ui);
        case MenuItem::Report: return Report_Click(s, ui);
        case MenuItem::BaselineNone: return Baseline_Click(s, ui, BaselineKind::None);
        case MenuItem::BaselineConstant: return Baseline_Click(s, ui, BaselineKind::Constant);
        case MenuItem::BaselineLinear: return Baseline_Click(s, ui, BaselineKind::Linear);
        case MenuItem::BaselineQuadratic: return Baseline_Click(s, ui, BaselineKind::Quadratic);
        case MenuItem::BaselineExponential:
            return Baseline_Click(s, ui, BaselineKind::Exponential);
        case MenuItem::WeightsNone: return Weights_Click(s, ui, Weighting::None);
        case MenuItem::WeightsCounts: return Weights_Click(s, ui, Weighting::Counts);
        case MenuItem::WeightsColumn: return Weights_Click(s, ui, Weighting::Column);
        case MenuItem::ShapeGaussian: return PeakShape_Click(s, ui, PeakShape::Gaussian, false);
        case MenuItem::ShapeLorentzian: return PeakShape_Click(s, ui, PeakShape::Lorentzian, false);
        case MenuItem::ShapePseudoVoigt:
            return PeakShape_Click(s, ui, PeakShape::PseudoVoigt, false);
        case MenuItem::SelectedGaussian: return PeakShape_Click(s, ui, PeakShape::Gaussian, true);
        case MenuItem::SelectedLorentzian:
            return PeakShape_Click(s, ui, PeakShape::Lorentzian, true);
        case MenuItem::SelectedPseudoVoigt:
            return PeakShape_Click(s, ui, PeakShape::PseudoVoigt, true);
        case MenuItem::Undo:
        case MenuItem::Redo: return;  // the history's, see connect
        case MenuItem::Help: return HelpCommand_Click(s, ui);
        case MenuItem::About: return About_Click(s, ui);
    }
}

}  // namespace

void Dispatch(State& s, Toolkit& ui, const Event& event) {
    switch (event.kind) {
        case Event::Kind::Click: return click(s, ui, event.control);
        case Event::Kind::MouseUp: return mouseUp(s, ui, event);
        case Event::Kind::KeyPress:
            if (event.control == Control::Help) Help_KeyPress(s, ui, toInt16(event.key));
            return;
        case Event::Kind::Menu: return menu(s, ui, event.item);
        case Event::Kind::Edited: return;  // the text is read where it is used
        case Event::Kind::Open: return OpenPath(s, ui, event.path);
    }
}

std::string StepName(const Event& e) {
    switch (e.kind) {
        case Event::Kind::Click:
            switch (e.control) {
                case Control::GetFile: return "Get File";
                case Control::Calculate: return "Calculate";
                case Control::CalculateNbr: return "Number of Gaussians";
                case Control::PeakNbr: return "Pick Selector";
                case Control::PlotAll: return "Plot Mode";
                case Control::Keep: return "Keep";
                case Control::Throw: return "Throw";
                case Control::Add: return "Add";
                case Control::Delete: return "Delete";
                case Control::ClearGraph: return "Clear Graph";
                default: return {};
            }
        case Event::Kind::MouseUp:
            switch (e.control) {
                case Control::Graph: return "Pick";
                case Control::Io: return "Io";
                case Control::wl: return "Xo";
                case Control::PulseWidth: return "W";
                default: return {};
            }
        case Event::Kind::KeyPress:
            return e.control == Control::Help && e.key == 13 ? "Settings" : "";
        case Event::Kind::Menu:
            switch (e.item) {
                case MenuItem::Open: return "Open";
                case MenuItem::Calculate: return "Calculate";
                case MenuItem::Refine: return "Refine";
                case MenuItem::BaselineNone:
                case MenuItem::BaselineConstant:
                case MenuItem::BaselineLinear:
                case MenuItem::BaselineQuadratic:
                case MenuItem::BaselineExponential: return "Baseline";
                case MenuItem::WeightsNone:
                case MenuItem::WeightsCounts:
                case MenuItem::WeightsColumn: return "Weights";
                case MenuItem::ShapeGaussian:
                case MenuItem::ShapeLorentzian:
                case MenuItem::ShapePseudoVoigt:
                case MenuItem::SelectedGaussian:
                case MenuItem::SelectedLorentzian:
                case MenuItem::SelectedPseudoVoigt: return "Peak Shape";
                default: return {};
            }
        case Event::Kind::Edited: return e.control == Control::Quality ? "Fit Quality" : "";
        case Event::Kind::Open: return "Open";
    }
    return {};
}

void Dispatch(State& s, Toolkit& ui, History& history, const Event& event) {
    // Events that arrive while a handler runs (inside a search's event pump,
    // or a list's click raised by a handler) belong to the step that runs.
    static thread_local int depth = 0;
    struct Inside {
        Inside() { ++depth; }
        ~Inside() { --depth; }
    } inside;
    if (event.kind == Event::Kind::Menu && event.item == MenuItem::Undo) {
        return history.undo(s, ui);
    }
    if (event.kind == Event::Kind::Menu && event.item == MenuItem::Redo) {
        return history.redo(s, ui);
    }
    const std::string name = StepName(event);
    if (depth > 1) return Dispatch(s, ui, event);
    if (name.empty()) {
        Dispatch(s, ui, event);
        return history.refresh(s, ui);
    }
    history.step(name, s, ui, [&] { Dispatch(s, ui, event); });
}

std::shared_ptr<History> connect(State& s, Toolkit& ui, bool keepHistory) {
    if (!keepHistory) {
        ui.setEventSink([&s, &ui](const Event& event) { Dispatch(s, ui, event); });
        return nullptr;
    }
    auto history = std::make_shared<History>();
    ui.setEventSink([&s, &ui, history](const Event& event) { Dispatch(s, ui, *history, event); });
    return history;
}

}  // namespace peakfold
