#include "action_player.h"

#include <cmath>

#include "files/spectrum_file.h"
#include "invariants.h"
#include "model/equation.h"
#include "model/numbers.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"

namespace peakfold {

namespace {

// Pumps a search lets run before the player cancels it, so a sequence ends.
constexpr int kPumpsBeforeCancel = 40;
constexpr int kMaxPumpDepth = 2;

std::string spectrumText(double a1, double c1, double w1, double a2, double c2, double w2,
                         int from, int to, int step, const char* lineEnd) {
    std::string text;
    for (int w = from; step > 0 ? w <= to : w >= to; w += step) {
        const double v = GaussianValue(a1, c1, w1, w) + GaussianValue(a2, c2, w2, w) +
                         0.5 * std::sin(w * 0.7);
        text += std::to_string(w) + "\t" + NumText(v) + lineEnd;
    }
    return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> sampleFiles() {
    return {
        {"good.txt", spectrumText(80, 520, 15, 40, 600, 25, 400, 700, 1, "\r\n")},
        {"steps.txt", spectrumText(60, 500, 30, 20, 650, 10, 300, 900, 2, "\n")},
        {"down.txt", spectrumText(50, 700, 20, 30, 760, 8, 900, 600, -1, "\r")},
        {"comma.txt", "wavelength,intensity\n400,1\n401,5,5\n402,3\n403\t2,5\n"},
        {"flat.txt", "400\t5\n401\t5\n402\t5\n"},
        {"empty.txt", ""},
        {"far.txt", "-5\t1\n2000\t3\n99999999\t4\n500\t1E400\n"},
        {"binary.txt", std::string("\x00\xff\t\x01,\x7f\r\n\x80\t9", 12)},
        {"short.pkd", "Peakfold Data\nAmplitude, 5\n"},
        {"odd.pkd",
         "x\nAmplitude, 50,-3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9\nPeak Location, 400, 500\n"
         "Peak Width, 0, 12\nRMS=, 1\nWavelength,Data,Equation,\n 400, 10, 0\n 401\n"
         " 402, 30,\n 5000, 1, 1\n"},
    };
}

ActionPlayer::ActionPlayer(std::function<unsigned(unsigned)> next) : next_(std::move(next)) {
    for (const auto& [name, content] : sampleFiles()) ui.files[ui.path(name)] = content;
    connect(s, ui);
    Form_Load(s, ui);
    Form_Activate(s, ui);
    // Inside a search: now and then another handler runs, as a user would
    // click during a long fit; after a while the user gives up and cancels.
    ui.onPump = [this] {
        if (++pumpsThisSearch_ == kPumpsBeforeCancel) ui.click(Control::Cancel);
        if (pumpDepth_ < kMaxPumpDepth && next_(8) == 0) {
            ++pumpDepth_;
            log_.push_back("  (inside the pump)");
            act(pumpDepth_);
            --pumpDepth_;
        }
    };
}

float ActionPlayer::coordinate() {
    static const float kSpecial[] = {-1e9f, -40000, -20, 0, 189.5f, 200, 1010, 1011, 5000, 1e9f};
    if (next_(6) == 0) return kSpecial[next_(10)];
    return 190.0f + static_cast<float>(next_(8200)) / 10.0f;
}

std::string ActionPlayer::pick(const std::vector<std::string>& choices) {
    return choices[next_(static_cast<unsigned>(choices.size()))];
}

std::string ActionPlayer::step() {
    pumpsThisSearch_ = 0;
    const std::string broken = act(0);
    if (!broken.empty()) return broken;
    if (!s.CalcState.empty()) return "CalcState is '" + s.CalcState + "' after a handler ended";
    return brokenInvariant(s, ui);
}

std::string ActionPlayer::act(int depth) {
    const std::string indent(2 * depth, ' ');
    const auto say = [&](const std::string& what) { log_.push_back(indent + what); };
    switch (next_(22)) {
        case 0:
        case 18: {
            const std::string name = pick({"", "good", "steps", "down", "comma", "flat", "empty",
                                           "far", "binary", "short", "odd", "saved", "none",
                                           "../good", "a/b"});
            say("Get File '" + name + "'");
            ui.answers.push_back(name);
            ui.click(Control::GetFile);
            break;
        }
        case 1:
        case 19: {
            const std::string quality = pick({"10", "10", "5", "12", "7.5", "0", "0.5", "-3",
                                              "abc", "1E400", ""});
            say("Calculate at Quality '" + quality + "'");
            ui.setText(Control::Quality, quality);
            ui.click(Control::Calculate);
            break;
        }
        case 2: say("Cancel"); ui.click(Control::Cancel); break;
        case 20:
        case 21: {
            // The Fit menu's items, also inside a running search.
            static const std::pair<MenuItem, const char*> kItems[] = {
                {MenuItem::Refine, "Refine"},
                {MenuItem::Report, "Report"},
                {MenuItem::Refine, "Refine"},
                {MenuItem::Report, "Report"},
                {MenuItem::BaselineNone, "Baseline None"},
                {MenuItem::BaselineLinear, "Baseline Linear"},
                {MenuItem::BaselineQuadratic, "Baseline Quadratic"},
                {MenuItem::BaselineExponential, "Baseline Exponential"},
                {MenuItem::WeightsCounts, "Weights Counting statistics"},
                {MenuItem::WeightsColumn, "Weights From the file"},
                {MenuItem::Undo, "Undo"},
                {MenuItem::Redo, "Redo"},
                {MenuItem::ShapePseudoVoigt, "Peak Shape Pseudo-Voigt"},
                {MenuItem::SelectedLorentzian, "Shape of Selected Equation Lorentzian"},
            };
            const auto& [item, name] = kItems[next_(14)];
            Event event;
            event.kind = Event::Kind::Menu;
            event.item = item;
            say(name);
            ui.raise(event);
            break;
        }
        case 3: say("CalculateNbr"); ui.click(Control::CalculateNbr); break;
        case 4: say("Add"); ui.click(Control::Add); break;
        case 5: say("Keep"); ui.click(Control::Keep); break;
        case 6: say("Throw"); ui.click(Control::Throw); break;
        case 7: say("Delete"); ui.click(Control::Delete); break;
        case 8: {
            const int count = ui.listCount(Control::List);
            if (count == 0) break;
            const int index = static_cast<int>(next_(static_cast<unsigned>(count)));
            say("click list line " + std::to_string(index));
            ui.clickListLine(index);
            break;
        }
        case 9: say("PlotAll"); ui.click(Control::PlotAll); break;
        case 10: say("PeakNbr"); ui.click(Control::PeakNbr); break;
        case 11: say("Clear Graph"); ui.click(Control::ClearGraph); break;
        case 12:
        case 13: {
            static const int kButtons[] = {1, 2, 1, 2, 4, 0, 3};
            const int button = kButtons[next_(7)];
            const int shift = static_cast<int>(next_(8));
            const float x = coordinate(), y = coordinate() / 8 - 20;
            static const Control kTargets[] = {Control::Graph, Control::Graph, Control::Io,
                                               Control::wl, Control::PulseWidth};
            const Control control = kTargets[next_(5)];
            say("mouse-up on " + std::string(layoutOf(control).name) + " button " +
                std::to_string(button) + " shift " + std::to_string(shift) + " at " +
                std::to_string(x) + ", " + std::to_string(y));
            ui.mouseUp(control, button, shift, x, y);
            break;
        }
        case 14: {
            const std::string line =
                pick({"Peak 1:  520 -  15 Peak 2:  600 -  25 Peak 3:  650 -  5",
                      "Peak 1: 450.5 - 12.5 Peak 2: 520 - 8 Peak 3: 610 - 15",
                      "Peak 1:  -20 -  99999 Peak 2:  2000 -  -5", "Peak 3: 5 - 5 Peak 1:",
                      "", "garbage", "Peak 1:  1E300 -  1E300 Peak 2:  500 -  40000 Peak 3: "});
            say("Enter in the settings line '" + line + "'");
            ui.setText(Control::Help, line);
            ui.keyPress(Control::Help, next_(4) == 0 ? 'a' : 13);
            break;
        }
        case 15: {
            const std::string name = pick({"saved", "saved", "", "good", "x/y", "..", "odd"});
            say("Save as '" + name + "'");
            ui.answers.push_back(name);
            ui.click(Control::SaveData);
            if (!name.empty()) return afterSave(name + ".pkd");
            break;
        }
        case 16:
        case 17: {
            // A careful user: the selector back to "Peak 1", then the highest
            // point of the data and two points to its left as the peaks.
            int top = 0;
            for (int w = 0; w <= kMaxWave; ++w) {
                if (s.Spectrum[w] > s.Spectrum[top]) top = w;
            }
            say("pick three peaks around " + std::to_string(top));
            for (int i = 0; i < 4 && ui.text(Control::PeakNbr) != "Peak 1"; ++i) {
                ui.click(Control::PeakNbr);
            }
            for (const int offset : {-45, 0, -110}) {
                ui.mouseUp(Control::Graph, 1, 0, static_cast<float>(top + offset) + 0.5f, 50);
            }
            if (next_(2) == 0) {
                say("  and Calculate at Quality 10");
                ui.setText(Control::Quality, "10");
                ui.click(Control::Calculate);
            }
            break;
        }
    }
    return {};
}

// Every result file written loads back into a fresh program without a
// broken invariant.
std::string ActionPlayer::afterSave(const std::string& fileName) {
    const auto it = ui.files.find(ui.path(fileName));
    if (it == ui.files.end()) return {};
    State fresh;
    MemoryToolkit other;
    connect(fresh, other);
    other.files[other.path(fileName)] = it->second;
    other.answers.push_back(fileName.substr(0, fileName.size() - 4));
    GetFile_Click(fresh, other);
    const std::string broken = brokenInvariant(fresh, other);
    return broken.empty() ? std::string() : "loading the saved " + fileName + ": " + broken;
}

}  // namespace peakfold
