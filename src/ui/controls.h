// The controls of the main window with their initial texts and positions.
#pragma once

#include <array>
#include <string_view>

namespace peakfold {

enum class Control {
    Graph, PeakNbr, PlotAll, Io, wl, PulseWidth, Keep, Throw, Add, Delete, HelpCommand,
    Label1, Quality, Shape1, Shape2, Shape3, Shape4, Shape5, Shape6, List, Help, GetFile,
    Calculate, CalculateNbr, Cancel, ClearGraph, SaveData, exitprogram, TryNbr, HelpList,
};

enum class ControlKind { Surface, Button, Label, TextBox, Square, ListBox };

struct ControlLayout {
    Control control;
    std::string_view name;
    ControlKind kind;
    std::string_view initialText;
    int left, top, width, height;  // twips inside the client area
};

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidth = 11295;   // twips
constexpr int kClientHeight = 6000;
constexpr int kHelpShownHeight = 6048;

inline constexpr std::array<ControlLayout, 30> kControls{{
    {Control::Graph, "Graph", ControlKind::Surface, "", 120, 120, 11055, 3855},
    {Control::PeakNbr, "PeakNbr", ControlKind::Button, "Peak 1", 120, 4080, 1215, 255},
    {Control::PlotAll, "PlotAll", ControlKind::Button, "Plot All", 120, 4320, 1215, 255},
    {Control::Io, "Io", ControlKind::Button, "Io", 120, 4560, 375, 255},
    {Control::wl, "wl", ControlKind::Button, "Xo", 480, 4560, 495, 255},
    {Control::PulseWidth, "PulseWidth", ControlKind::Button, "W", 960, 4560, 375, 255},
    {Control::Keep, "Keep", ControlKind::Button, "Keep", 120, 4800, 615, 255},
    {Control::Throw, "Throw", ControlKind::Button, "Throw", 720, 4800, 615, 255},
    {Control::Add, "Add", ControlKind::Button, "Add", 120, 5040, 615, 255},
    {Control::Delete, "Delete", ControlKind::Button, "Delete", 720, 5040, 615, 255},
    {Control::HelpCommand, "HelpCommand", ControlKind::Button, "Help", 120, 5280, 1215, 255},
    // Reaches into the free margin on its left and the gaps above and below
    // it, so "Fit Quality" shows whole beside its box, in two lines if the
    // font needs them.
    {Control::Label1, "Label1", ControlKind::Label, "Fit Quality", 15, 5535, 945, 465},
    {Control::Quality, "Quality", ControlKind::TextBox, "10", 960, 5640, 375, 285},
    {Control::Shape1, "Shape1", ControlKind::Square, "", 1320, 4080, 255, 255},
    {Control::Shape2, "Shape2", ControlKind::Square, "", 1320, 4320, 255, 255},
    {Control::Shape3, "Shape3", ControlKind::Square, "", 1320, 4560, 255, 255},
    {Control::Shape4, "Shape4", ControlKind::Square, "", 1320, 4800, 255, 255},
    {Control::Shape5, "Shape5", ControlKind::Square, "", 1320, 5040, 255, 255},
    {Control::Shape6, "Shape6", ControlKind::Square, "", 1320, 5280, 255, 255},
    {Control::List, "List", ControlKind::ListBox, "", 1560, 4080, 8295, 1500},
    {Control::Help, "Help", ControlKind::TextBox, "Text1", 1560, 5640, 8295, 285},
    {Control::GetFile, "GetFile", ControlKind::Button, "Get File", 9960, 4080, 1215, 255},
    {Control::Calculate, "Calculate", ControlKind::Button, "Calculate", 9960, 4320, 975, 255},
    {Control::CalculateNbr, "CalculateNbr", ControlKind::Button, "3", 10920, 4320, 255, 255},
    {Control::Cancel, "Cancel", ControlKind::Button, "Cancel", 9960, 4560, 1215, 255},
    {Control::ClearGraph, "ClearGraph", ControlKind::Button, "Clear Graph", 9960, 4800, 1215, 255},
    {Control::SaveData, "SaveData", ControlKind::Button, "Save", 9960, 5040, 1215, 255},
    {Control::exitprogram, "exitprogram", ControlKind::Button, "Exit", 9960, 5280, 1215, 255},
    {Control::TryNbr, "TryNbr", ControlKind::Label, "Label1", 9960, 5640, 1215, 255},
    {Control::HelpList, "HelpList", ControlKind::ListBox, "", 120, 0, 11055, 300},
}};

constexpr const ControlLayout& layoutOf(Control control) {
    return kControls[static_cast<size_t>(control)];
}

// Plot coordinates of the drawing surface's inner area.
constexpr double kPlotLeft = 190, kPlotTop = 110, kPlotWidth = 820, kPlotHeight = -120;

// The standard 16-colour palette as 0xRRGGBB.
inline constexpr std::array<unsigned, 16> kPalette{
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

}  // namespace peakfold

namespace peakfold {
constexpr bool controlsInEnumOrder() {
    for (size_t i = 0; i < kControls.size(); ++i) {
        if (static_cast<size_t>(kControls[i].control) != i) return false;
    }
    return true;
}
static_assert(controlsInEnumOrder(), "kControls must list the controls in enum order");
}  // namespace peakfold
