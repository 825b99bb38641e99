#include "ui/dispatch.h"

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
    }
}

void connect(State& s, Toolkit& ui) {
    ui.setEventSink([&s, &ui](const Event& event) { Dispatch(s, ui, event); });
}

}  // namespace peakfold
