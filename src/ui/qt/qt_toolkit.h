// The real window: a Qt Widgets implementation of the toolkit. Every control
// of the main window sits at its place from the layout table, scaled with
// the window, and the drawing surface keeps what was drawn so that it can
// draw it again at any size.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/state.h"
#include "ui/history.h"
#include "ui/toolkit.h"

class QWidget;

namespace peakfold {

class MainWindow;
class ReportWindow;

class QtToolkit : public Toolkit {
  public:
    // Creates the window with its controls, hidden; needs a QApplication.
    QtToolkit();
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    QWidget* window() const;
    // The client area under the menu bar, which holds every control.
    QWidget* client() const;
    QWidget* widget(Control control) const;

    // The program ends here: by "Exit" and by the window's close control.
    // Waiting output is flushed and the process ends at once, also from
    // inside a running search's event pump, so no handler runs on a window
    // that is being torn down.
    [[noreturn]] static void endProcess();

    void graphClear() override;
    void graphLine(float x1, float y1, float x2, float y2, LineStyle style, int colour) override;
    void graphPoint(float x, float y, int colour) override;
    std::string text(Control control) const override;
    void setText(Control control, std::string_view text) override;
    void repaintNow(Control control) override;
    void listAppend(Control list, std::string_view line) override;
    void listClear(Control list) override;
    int listCount(Control list) const override;
    int listIndex(Control list) const override;
    void setListIndex(Control list, int index) override;
    std::string listSelectedText(Control list) const override;
    void setListLine(Control list, int index, std::string_view line) override;
    std::string listLine(Control list, int index) const override;
    void setVisible(Control control, bool visible) override;
    void setHeight(Control control, int twips) override;
    void setFillColour(Control shape, int colour) override;
    void setWindowCaption(std::string_view caption) override;
    void endProgram() override;
    void messageBox(std::string_view text) override;
    std::string inputBox(std::string_view prompt) override;
    void pumpEvents() override;
    void pumpEventsIfDue() override;
    void beep() override;
    void showReport(const Refinement& report) override;
    void showFitChoices(BaselineKind baseline, Weighting weights) override;
    void showPeakShape(PeakShape shape) override;
    std::vector<PlotCall> plotCalls() const override;
    std::string currentCaption() const override;
    void selectQuietly(Control list, int index) override;
    void showHistory(const std::string& undo, const std::string& redo) override;
    // The File menu's dialogs and the figure, in qt_file_dialogs.cpp.
    std::string openFileDialog() override;
    std::string saveFileDialog() override;
    std::string exportFileDialog() override;
    std::string exportFigure(const std::string& path, const FigureContent& figure) override;

  private:
    // Longest wait of pending events inside a long computation: short
    // enough that the window repaints and "Exit" and "Cancel" act at once.
    static constexpr std::int64_t kEventWaitMs = 20;

    std::unique_ptr<MainWindow> window_;
    ReportWindow* report_ = nullptr;  // made when first shown; a child of the window
    std::int64_t eventsRanAt_ = -1;   // coarse milliseconds; -1 until events first ran
};

// The program on the real window: the shared state and the toolkit,
// connected to the dispatch.
struct QtApp {
    State s;
    QtToolkit ui;
    std::shared_ptr<History> history;  // of the steps, for Edit > Undo and Redo
    QtApp();
    QtApp(const QtApp&) = delete;
    QtApp& operator=(const QtApp&) = delete;

    // Start-up: the load step, then the window is shown and the activation
    // step runs, once. Switching between applications later does not run it
    // again.
    void start();
};

// The plot's tooltip for the pointer at plot position x: the whole
// nanometre a left click there stores, and inside the loaded data the
// spectrum's value there, to one decimal ("612 nm, 45.3").
std::string pointerText(const State& s, float x);

// Pixels of the window at its start size for a length in twips.
int twipsToPixels(int twips);

}  // namespace peakfold
