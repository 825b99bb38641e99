#include "headless_toolkit.h"

#include "files/spectrum_file.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"

namespace peakfold {

HeadlessToolkit::HeadlessToolkit() {
    for (const ControlLayout& layout : kControls) {
        if (layout.kind == ControlKind::ListBox) {
            lists[layout.control].height = layout.height;
        } else if (layout.kind != ControlKind::Surface && layout.kind != ControlKind::Square) {
            texts[layout.control] = std::string(layout.initialText);
        }
    }
    lists[Control::HelpList].visible = false;
}

std::vector<DrawCall> HeadlessToolkit::drawsSinceClear() const {
    std::vector<DrawCall> result;
    for (const DrawCall& call : draws) {
        if (call.kind == DrawCall::Kind::Clear) {
            result.clear();
        } else {
            result.push_back(call);
        }
    }
    return result;
}

std::vector<PlotCall> HeadlessToolkit::plotCalls() const {
    std::vector<PlotCall> calls;
    for (const DrawCall& d : drawsSinceClear()) {
        const PlotCall::Kind kind = d.kind == DrawCall::Kind::Point  ? PlotCall::Kind::Point
                                    : d.kind == DrawCall::Kind::Box  ? PlotCall::Kind::Box
                                    : d.kind == DrawCall::Kind::Line ? PlotCall::Kind::Line
                                                                     : PlotCall::Kind::FilledBox;
        calls.push_back({kind, d.x1, d.y1, d.x2, d.y2, d.colour});
    }
    return calls;
}

void HeadlessToolkit::graphClear() { draws.push_back({DrawCall::Kind::Clear}); }

void HeadlessToolkit::graphLine(float x1, float y1, float x2, float y2, LineStyle style,
                                int colour) {
    const DrawCall::Kind kind = style == LineStyle::Line  ? DrawCall::Kind::Line
                                : style == LineStyle::Box ? DrawCall::Kind::Box
                                                          : DrawCall::Kind::FilledBox;
    draws.push_back({kind, x1, y1, x2, y2, colour});
}

void HeadlessToolkit::graphPoint(float x, float y, int colour) {
    draws.push_back({DrawCall::Kind::Point, x, y, x, y, colour});
}

std::string HeadlessToolkit::text(Control control) const {
    const auto it = texts.find(control);
    return it == texts.end() ? std::string() : it->second;
}

void HeadlessToolkit::setText(Control control, std::string_view text) {
    texts[control] = std::string(text);
}

void HeadlessToolkit::listAppend(Control list, std::string_view line) {
    lists[list].lines.emplace_back(line);
}

void HeadlessToolkit::listClear(Control list) {
    lists[list].lines.clear();
    lists[list].index = -1;
}

int HeadlessToolkit::listCount(Control list) const {
    const auto it = lists.find(list);
    return it == lists.end() ? 0 : static_cast<int>(it->second.lines.size());
}

int HeadlessToolkit::listIndex(Control list) const {
    const auto it = lists.find(list);
    return it == lists.end() ? -1 : it->second.index;
}

void HeadlessToolkit::setListIndex(Control list, int index) {
    HeadlessList& l = lists[list];
    if (index < -1 || index >= static_cast<int>(l.lines.size())) return;
    l.index = index;
    if (index >= 0) raise({list, Event::Kind::Click});
}

std::string HeadlessToolkit::listSelectedText(Control list) const {
    const auto it = lists.find(list);
    if (it == lists.end() || it->second.index < 0) return {};
    return it->second.lines[it->second.index];
}

std::string HeadlessToolkit::listLine(Control list, int index) const {
    const auto it = lists.find(list);
    if (it == lists.end() || index < 0 || index >= static_cast<int>(it->second.lines.size())) {
        return {};
    }
    return it->second.lines[index];
}

void HeadlessToolkit::setListLine(Control list, int index, std::string_view line) {
    HeadlessList& l = lists[list];
    if (index >= 0 && index < static_cast<int>(l.lines.size())) l.lines[index] = std::string(line);
}

void HeadlessToolkit::setVisible(Control control, bool visible) {
    lists[control].visible = visible;
}

void HeadlessToolkit::setHeight(Control control, int twips) { lists[control].height = twips; }

std::string HeadlessToolkit::inputBox(std::string_view prompt) {
    prompts.emplace_back(prompt);
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
}

void HeadlessToolkit::pumpEvents() {
    ++pumps;
    if (onPump) onPump();
}

std::string HeadlessToolkit::currentFolder() {
    return folder.empty() ? Toolkit::currentFolder() : folder;
}

void HeadlessToolkit::click(Control control) { raise({control, Event::Kind::Click}); }

void HeadlessToolkit::mouseUp(Control control, int button, int shift, float x, float y) {
    raise({control, Event::Kind::MouseUp, button, shift, x, y});
}

void HeadlessToolkit::keyPress(Control control, int key) {
    Event e{control, Event::Kind::KeyPress};
    e.key = key;
    raise(e);
}

HeadlessApp::HeadlessApp(bool startUp) {
    history = connect(s, ui);
    if (startUp) {
        Form_Load(s, ui);
        Form_Activate(s, ui);
        history->refresh(s, ui);
    }
}

State loadedSpectrum(const std::string& fileName) {
    HeadlessApp app;
    app.ui.folder = PEAKFOLD_DATA_DIR;
    app.ui.answers.push_back(fileName.substr(0, fileName.rfind('.')));
    GetFile_Click(app.s, app.ui);
    return app.s;
}

std::string dataFile(const std::string& name) { return std::string(PEAKFOLD_DATA_DIR) + "/" + name; }

}  // namespace peakfold
