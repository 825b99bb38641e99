#include "ui/history.h"

#include <utility>

#include "ui/controls.h"

namespace peakfold {

namespace {

bool hasText(ControlKind kind) {
    return kind == ControlKind::Button || kind == ControlKind::Label || kind == ControlKind::TextBox;
}

// What a snapshot holds, roughly: its arrays, tables and texts.
size_t bytesOf(const Snapshot& snapshot) {
    size_t bytes = sizeof(Snapshot) + snapshot.state.Trials.bytes() +
                   snapshot.state.LastRefinedData.size() * sizeof(double) +
                   snapshot.screen.plot.size() * sizeof(PlotCall);
    for (const std::string& line : snapshot.screen.list) bytes += line.size() + sizeof(line);
    for (const std::string& text : snapshot.screen.texts) bytes += text.size() + sizeof(text);
    return bytes;
}

}  // namespace

Snapshot takeSnapshot(const State& s, const Toolkit& ui) {
    Snapshot snapshot{s, {}};
    Screen& screen = snapshot.screen;
    for (const ControlLayout& layout : kControls) {
        if (hasText(layout.kind)) screen.texts.push_back(ui.text(layout.control));
    }
    for (int i = 0; i < ui.listCount(Control::List); ++i) {
        screen.list.push_back(ui.listLine(Control::List, i));
    }
    screen.listIndex = ui.listIndex(Control::List);
    screen.plot = ui.plotCalls();
    screen.caption = ui.currentCaption();
    return snapshot;
}

void restoreSnapshot(State& s, Toolkit& ui, const Snapshot& snapshot) {
    s = snapshot.state;
    const Screen& screen = snapshot.screen;
    size_t k = 0;
    for (const ControlLayout& layout : kControls) {
        if (hasText(layout.kind) && k < screen.texts.size()) {
            ui.setText(layout.control, screen.texts[k++]);
        }
    }
    ui.listClear(Control::List);
    for (const std::string& line : screen.list) ui.listAppend(Control::List, line);
    if (screen.listIndex >= 0) ui.selectQuietly(Control::List, screen.listIndex);
    ui.graphClear();
    for (const PlotCall& c : screen.plot) {
        switch (c.kind) {
            case PlotCall::Kind::Point: ui.graphPoint(c.x1, c.y1, c.colour); break;
            case PlotCall::Kind::Line: ui.graphLine(c.x1, c.y1, c.x2, c.y2, LineStyle::Line, c.colour); break;
            case PlotCall::Kind::Box: ui.graphLine(c.x1, c.y1, c.x2, c.y2, LineStyle::Box, c.colour); break;
            case PlotCall::Kind::FilledBox:
                ui.graphLine(c.x1, c.y1, c.x2, c.y2, LineStyle::FilledBox, c.colour);
                break;
        }
    }
    ui.setWindowCaption(screen.caption);
    ui.showFitChoices(s.FitBaseline.kind, s.Weights);
    ui.showPeakShape(s.FitShape);
}

History::History(size_t mostSteps, size_t mostBytes) : mostSteps_(mostSteps), mostBytes_(mostBytes) {}

void History::step(const std::string& name, State& s, Toolkit& ui,
                   const std::function<void()>& run) {
    if (!present_) present_ = takeSnapshot(s, ui);
    run();
    Snapshot after = takeSnapshot(s, ui);
    if (after == *present_) return;
    Step done{name, std::move(*present_), 0};
    done.bytes = bytesOf(done.snapshot);
    bytes_ += done.bytes;
    past_.push_back(std::move(done));
    present_ = std::move(after);
    // A new step after an undo ends what could be redone.
    for (const Step& undone : future_) bytes_ -= undone.bytes;
    future_.clear();
    keepWithinBounds();
    show(ui);
}

void History::refresh(const State& s, const Toolkit& ui) {
    if (s.CalcState.empty()) present_ = takeSnapshot(s, ui);
}

void History::undo(State& s, Toolkit& ui) {
    travel(past_, future_, s, ui);
}

void History::redo(State& s, Toolkit& ui) {
    travel(future_, past_, s, ui);
}

// The newest step of `from` becomes what is shown; what was shown goes to
// `to` under that step's name, to be undone or redone in turn.
void History::travel(std::deque<Step>& from, std::deque<Step>& to, State& s, Toolkit& ui) {
    if (!s.CalcState.empty() || from.empty()) return;
    Step step = std::move(from.back());
    from.pop_back();
    Step other{step.name, std::move(*present_), 0};
    other.bytes = bytesOf(other.snapshot);
    bytes_ = bytes_ + other.bytes - step.bytes;
    to.push_back(std::move(other));
    present_ = std::move(step.snapshot);
    restoreSnapshot(s, ui, *present_);
    keepWithinBounds();
    show(ui);
}

// The oldest steps go first; what can be redone is the newest and stays.
void History::keepWithinBounds() {
    while (!past_.empty() && (past_.size() > mostSteps_ || bytes_ > mostBytes_)) {
        bytes_ -= past_.front().bytes;
        past_.pop_front();
    }
}

void History::show(Toolkit& ui) const {
    ui.showHistory(past_.empty() ? std::string() : past_.back().name,
                   future_.empty() ? std::string() : future_.back().name);
}

}  // namespace peakfold
