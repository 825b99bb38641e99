// Undo and redo: a history of what the program held and showed after each
// step (the shared state, the captions and text boxes, the equation list
// with its selected line, the picture on the plot and the window's caption),
// as plain copies. Undo puts back the copy from before the step, redo the
// one after it.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

// What the window shows that a step can change.
struct Screen {
    std::vector<std::string> texts;  // of every button, label and text box, in kControls order
    std::vector<std::string> list;   // the lines of List
    int listIndex = -1;
    std::vector<PlotCall> plot;  // the calls drawn since the plot was last cleared
    std::string caption;
    bool operator==(const Screen&) const = default;
};

struct Snapshot {
    State state;
    Screen screen;
    bool operator==(const Snapshot&) const = default;
};

Snapshot takeSnapshot(const State& s, const Toolkit& ui);
// Puts the state back and the window as it was, without running a handler.
void restoreSnapshot(State& s, Toolkit& ui, const Snapshot& snapshot);

class History {
  public:
    // The oldest steps go once there are more than mostSteps or their copies
    // hold more than mostBytes.
    static constexpr size_t kMostSteps = 100;
    static constexpr size_t kMostBytes = size_t{64} << 20;
    explicit History(size_t mostSteps = kMostSteps, size_t mostBytes = kMostBytes);

    // Runs a step's handler and keeps it as one step when it changed what
    // the program holds or shows. The first time, what is there before it
    // is the start that undoing everything comes back to.
    void step(const std::string& name, State& s, Toolkit& ui, const std::function<void()>& run);
    // What an event that is no step changed (a list click, Save's redraw)
    // joins what the last step left, so undo and redo keep it.
    void refresh(const State& s, const Toolkit& ui);
    // Nothing happens while a search runs, or with nothing to undo or redo.
    void undo(State& s, Toolkit& ui);
    void redo(State& s, Toolkit& ui);

    size_t steps() const { return past_.size(); }
    size_t redoSteps() const { return future_.size(); }
    size_t bytes() const { return bytes_; }

  private:
    struct Step {
        std::string name;
        Snapshot snapshot;
        size_t bytes = 0;
    };
    void travel(std::deque<Step>& from, std::deque<Step>& to, State& s, Toolkit& ui);
    void keepWithinBounds();
    void show(Toolkit& ui) const;

    size_t mostSteps_, mostBytes_;
    std::optional<Snapshot> present_;  // after the last step, or the start
    std::deque<Step> past_;            // before each step, oldest first
    std::deque<Step> future_;          // after each step undone, latest undone last
    size_t bytes_ = 0;                 // of past_ and future_
};

}  // namespace peakfold
