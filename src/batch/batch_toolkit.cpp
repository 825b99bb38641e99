#include "batch/batch_toolkit.h"

#include <filesystem>

#include "files/file_names.h"
#include "model/calculate.h"

namespace peakfold {

BatchToolkit::BatchToolkit(State& s, const std::atomic<bool>& interrupted)
    : s_(s), interrupted_(interrupted) {
    for (const ControlLayout& layout : kControls) {
        if (layout.kind != ControlKind::ListBox && layout.kind != ControlKind::Surface &&
            layout.kind != ControlKind::Square) {
            texts_[layout.control] = std::string(layout.initialText);
        }
    }
}

std::string BatchToolkit::text(Control control) const {
    const auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
}

void BatchToolkit::setText(Control control, std::string_view text) {
    texts_[control] = std::string(text);
}

void BatchToolkit::listAppend(Control list, std::string_view line) {
    lists_[list].lines.emplace_back(line);
}

void BatchToolkit::listClear(Control list) { lists_[list] = List{}; }

int BatchToolkit::listCount(Control list) const {
    const auto it = lists_.find(list);
    return it == lists_.end() ? 0 : static_cast<int>(it->second.lines.size());
}

int BatchToolkit::listIndex(Control list) const {
    const auto it = lists_.find(list);
    return it == lists_.end() ? -1 : it->second.index;
}

void BatchToolkit::setListIndex(Control list, int index) {
    List& l = lists_[list];
    if (index < -1 || index >= static_cast<int>(l.lines.size())) return;
    l.index = index;
    if (index >= 0) raise({list, Event::Kind::Click});
}

std::string BatchToolkit::listSelectedText(Control list) const {
    const auto it = lists_.find(list);
    if (it == lists_.end() || it->second.index < 0) return {};
    return it->second.lines[static_cast<size_t>(it->second.index)];
}

std::string BatchToolkit::listLine(Control list, int index) const {
    const auto it = lists_.find(list);
    if (it == lists_.end() || index < 0 || index >= static_cast<int>(it->second.lines.size())) {
        return {};
    }
    return it->second.lines[static_cast<size_t>(index)];
}

void BatchToolkit::setListLine(Control list, int index, std::string_view line) {
    List& l = lists_[list];
    if (index >= 0 && index < static_cast<int>(l.lines.size())) {
        l.lines[static_cast<size_t>(index)] = std::string(line);
    }
}

void BatchToolkit::pumpEvents() {
    if (stepPassed && s_.CalcState == kProcessing) stepPassed();
    cancelIfDue();
}

void BatchToolkit::cancelIfDue() {
    if (interrupted_.load(std::memory_order_relaxed)) {
        Cancel_Click(s_, *this);
    } else if (deadline && s_.CalcState == kProcessing &&
               std::chrono::steady_clock::now() >= *deadline) {
        Cancel_Click(s_, *this);
        stoppedAtDeadline = true;
    }
}

}  // namespace peakfold
