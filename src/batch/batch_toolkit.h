// A toolkit for fitting files without a window: it keeps captions, texts
// and list lines as the window's controls would, answers Get File's input
// box with one file, records message boxes and ignores drawing. The list's
// click runs through the handlers' dispatch as in the window, since it sets
// the deviation figure after a search.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

class BatchToolkit : public Toolkit {
public:
    // The state the handlers work on, so that an interrupt can cancel a
    // running search as the Cancel button does.
    BatchToolkit(State& s, const std::atomic<bool>& interrupted);

    std::vector<std::string> messages;  // message boxes in order
    bool captionSet = false;            // Get File sets it once a file has loaded

    // A search still running at `deadline` is cancelled at its next pump
    // and stoppedAtDeadline set.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool stoppedAtDeadline = false;
    // Called at each pump of a running search not yet cancelled: the search
    // pumps once per step of its third centre scan.
    std::function<void()> stepPassed;

    void graphClear() override {}
    void graphLine(float, float, float, float, LineStyle, int) override {}
    void graphPoint(float, float, int) override {}
    std::string text(Control control) const override;
    void setText(Control control, std::string_view text) override;
    void repaintNow(Control) override {}
    void listAppend(Control list, std::string_view line) override;
    void listClear(Control list) override;
    int listCount(Control list) const override;
    int listIndex(Control list) const override;
    void setListIndex(Control list, int index) override;
    std::string listSelectedText(Control list) const override;
    std::string listLine(Control list, int index) const override;
    void setListLine(Control list, int index, std::string_view line) override;
    void setVisible(Control, bool) override {}
    void setHeight(Control, int) override {}
    void setFillColour(Control, int) override {}
    void setWindowCaption(std::string_view) override { captionSet = true; }
    void endProgram() override {}
    void messageBox(std::string_view text) override { messages.emplace_back(text); }
    // Files are named on the command line and opened by their path, as a
    // file dropped on the window is; no input box is ever asked.
    std::string inputBox(std::string_view) override { return {}; }
    void pumpEvents() override;
    void pumpEventsIfDue() override { cancelIfDue(); }
    void beep() override {}

private:
    struct List {
        std::vector<std::string> lines;
        int index = -1;
    };
    void cancelIfDue();

    State& s_;
    const std::atomic<bool>& interrupted_;
    std::map<Control, std::string> texts_;
    std::map<Control, List> lists_;
};

}  // namespace peakfold
