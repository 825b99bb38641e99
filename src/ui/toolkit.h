// The one seam between the program and the outside: every drawing call,
// caption, dialog, beep, event pump and file access of the handlers goes
// through a Toolkit. The Qt window implements it; the tests use a headless
// one that records what was drawn.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "refine/refinement.h"
#include "ui/controls.h"

namespace peakfold {

// Shapes of a line call on the drawing surface.
enum class LineStyle { Line, Box, FilledBox };

// Colour argument meaning "the surface's default drawing colour".
constexpr int kDefaultColour = -1;

// The items of the window's menu bar. Those that stand for a button run
// that button's handler.
enum class MenuItem {
    Open, Save, ExportFigure, Quit,   // File
    Calculate, Cancel, Refine, Report,  // Fit
    BaselineNone, BaselineConstant, BaselineLinear, BaselineQuadratic,
    BaselineExponential,                // Fit > Baseline, one of them checked
    WeightsNone, WeightsCounts, WeightsColumn,  // Fit > Weights, one checked
    ShapeGaussian, ShapeLorentzian, ShapePseudoVoigt,  // Fit > Peak Shape: every equation
    SelectedGaussian, SelectedLorentzian, SelectedPseudoVoigt,  // the selected one alone
    Undo, Redo,                         // Edit
    Help, About,                        // Help
};

// One call on the drawing surface, as the window keeps the picture.
struct PlotCall {
    enum class Kind : uint8_t { Line, Box, FilledBox, Point };
    Kind kind = Kind::Line;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int colour = -1;
    bool operator==(const PlotCall&) const = default;
};

// What an exported figure shows beside the plot's calls: the legend's lines,
// each in its curve's palette colour, and the wavelengths its axis spans.
struct FigureContent {
    std::vector<std::pair<std::string, int>> legend;
    double left = 200, right = 1000;  // nm
};

// An event of a control or a menu item, as the window delivers it to the
// handlers.
struct Event {
    // Edited: a text box's edit is complete (focus left it, or Enter).
    // Open: a file dropped on the window or named on the command line.
    enum class Kind { Click, MouseUp, KeyPress, Menu, Edited, Open };
    Control control = Control::Graph;
    Kind kind = Kind::Click;
    int button = 0;   // mouse-up: 1 left, 2 right, 4 middle
    int shift = 0;    // mouse-up: 1 Shift + 2 Ctrl + 4 Alt
    float x = 0;      // mouse-up on Graph: plot coordinates
    float y = 0;
    int key = 0;      // key press: character code, 13 = Enter
    MenuItem item = MenuItem::Open;  // menu: the item chosen
    std::string path = {};           // open: the file
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Where control events go; the program connects this to its dispatch.
    void setEventSink(std::function<void(const Event&)> sink) { sink_ = std::move(sink); }
    void raise(const Event& event) {
        if (sink_) sink_(event);
    }

    // Drawing surface Graph, in plot coordinates (x 190..1010, y -10..110);
    // each call shows at once, on top of what is there.
    virtual void graphClear() = 0;
    virtual void graphLine(float x1, float y1, float x2, float y2, LineStyle style,
                           int colour) = 0;
    virtual void graphPoint(float x, float y, int colour) = 0;

    // Caption of a button or label, text of a text box.
    virtual std::string text(Control control) const = 0;
    virtual void setText(Control control, std::string_view text) = 0;
    // Repaint a label now, also inside a running search.
    virtual void repaintNow(Control control) = 0;

    // List boxes List and HelpList. Setting the selected index raises the
    // list's click event at once, as a user click does.
    virtual void listAppend(Control list, std::string_view line) = 0;
    virtual void listClear(Control list) = 0;
    virtual int listCount(Control list) const = 0;
    virtual int listIndex(Control list) const = 0;  // -1 when none is selected
    virtual void setListIndex(Control list, int index) = 0;
    virtual std::string listSelectedText(Control list) const = 0;  // empty when none
    virtual std::string listLine(Control list, int index) const = 0;  // empty when none
    virtual void setListLine(Control list, int index, std::string_view line) = 0;
    virtual void setVisible(Control control, bool visible) = 0;
    virtual void setHeight(Control control, int twips) = 0;

    // Legend squares Shape1..Shape6.
    virtual void setFillColour(Control shape, int colour) = 0;

    // Main window.
    virtual void setWindowCaption(std::string_view caption) = 0;
    virtual void endProgram() = 0;

    // Modal dialogs: a message with an OK button; a one-line input box that
    // gives the typed text, or the empty text on Cancel.
    virtual void messageBox(std::string_view text) = 0;
    virtual std::string inputBox(std::string_view prompt) = 0;

    // The fit report's window (not modal): opens it, or brings it up to date
    // when it is open. Without a window there is nothing to show.
    virtual void showReport(const Refinement&) {}

    // The File menu's dialogs. Each gives the path of the file chosen, or the
    // empty text when the dialog was cancelled (as it always is without a
    // window). Open offers spectrum and result files, Save result files,
    // Export PNG, SVG and PDF figures.
    virtual std::string openFileDialog() { return {}; }
    virtual std::string saveFileDialog() { return {}; }
    virtual std::string exportFileDialog() { return {}; }
    // Writes the plot as it is drawn now to a figure file, in the format its
    // extension names, with the legend's lines in their palette colours.
    // Gives the empty text on success, otherwise what went wrong.
    virtual std::string exportFigure(const std::string& path, const FigureContent& figure) {
        (void)path;
        (void)figure;
        return "figures can be exported from the window only";
    }

    // The Fit menu's Baseline and Weights choices as they now stand: the
    // window checks the item of each.
    virtual void showFitChoices(BaselineKind baseline, Weighting weights) {
        (void)baseline;
        (void)weights;
    }
    // The Peak Shape choice as it now stands.
    virtual void showPeakShape(PeakShape shape) { (void)shape; }

    // What undo needs of the window: the calls drawn since the surface was
    // last cleared, the window's caption, a selection that raises no click
    // event, and the names of the steps Undo and Redo would take back or
    // do again (empty: nothing to undo or redo). A window that keeps no
    // picture gives no calls.
    virtual std::vector<PlotCall> plotCalls() const { return {}; }
    virtual std::string currentCaption() const { return {}; }
    virtual void selectQuietly(Control list, int index) { setListIndex(list, index); }
    virtual void showHistory(const std::string& undo, const std::string& redo) {
        (void)undo;
        (void)redo;
    }

    // Let pending events run; handlers may run inside it.
    virtual void pumpEvents() = 0;
    // Let pending events run if they have waited long; long computations
    // call it often. The default runs nothing, so a run without a window
    // is the same on every machine whatever its speed.
    virtual void pumpEventsIfDue() {}
    virtual void beep() = 0;

    // Files, in the current folder. The defaults use the real disk.
    virtual std::string currentFolder();
    virtual bool fileExists(const std::string& path);
    // Whether anything lies at the path: a file, a folder, a device.
    virtual bool pathExists(const std::string& path);
    // The whole file, or nothing when it cannot be read or is larger than
    // maxBytes; error then says why.
    virtual std::optional<std::string> readFile(const std::string& path, size_t maxBytes,
                                                std::string& error);
    // Writes the whole content to a temporary file beside path and renames
    // it over path only when complete. Gives the empty text on success,
    // otherwise what went wrong; an earlier file of that name is then kept.
    virtual std::string writeFileAtomically(const std::string& path, const std::string& content);

private:
    std::function<void(const Event&)> sink_;
};

// The platform's folder separator, inserted between folder and file name.
char folderSeparator();

}  // namespace peakfold
