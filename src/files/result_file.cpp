#include "files/result_file.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "files/file_names.h"
#include "graph/curves.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTitle =
    "Peakfold Data of form y=A*exp(-k*((x-c)/b)^2),k=,0.6931472,ZK 2004";

std::string resultFileText(const State& s, const std::vector<int>& slots,
                           const std::string& deviation);

}  // namespace

void SaveData_Click(State& s, Toolkit& ui) {
    PrepareSave(s, ui);
    const std::string answer =
        ui.inputBox("Enter a filename. Only first " + ui.text(Control::CalculateNbr) +
                    " equations plus equations marked with > will be saved. Use Keep to mark "
                    "equations.");
    if (answer.empty()) return;
    SaveResultFile(s, ui, answer, NameUse::Save);
}

void PrepareSave(State& s, Toolkit& ui) {
    ui.setText(Control::PlotAll, "Plot All");
    List_Click(s, ui);
}

void SaveResultFile(State& s, Toolkit& ui, const std::string& name, NameUse use) {
    const std::vector<NamedFile> files = resolveName(name, use, programFolder(s, ui), homeFolder());
    if (files.empty()) {
        ui.messageBox("Cannot save " + name + ": not a usable file name. Nothing was saved.");
        return;
    }
    const NamedFile& file = files.front();
    const std::string content =
        ResultFileText(s, TextNum(ui.text(Control::CalculateNbr)), ui.text(Control::TryNbr));
    // The whole file goes to a temporary file renamed over the target only
    // when complete, so a failure never leaves a half-written result file and
    // never destroys an earlier one of that name.
    const std::string error = ui.writeFileAtomically(file.path, content);
    if (!error.empty()) {
        ui.messageBox("Could not save " + file.shown + " (" + error +
                      "). Nothing was saved; an earlier file of that name is unchanged.");
        return;
    }
    s.DataName = name;
    if (use == NameUse::Exact || hasFolderPart(name)) moveProgramFolder(s, file.path);
}

std::string ResultFileText(const State& s, double calculateNbr, const std::string& deviation) {
    return resultFileText(s, savedSlots(s, calculateNbr), deviation);
}

std::vector<int> savedSlots(const State& s, double calculateNbr) {
    std::vector<int> slots;
    for (int i = 1; i <= kLastSlot; ++i) {
        const bool chosen = i <= calculateNbr || s.EqKept[i] == 1;
        if (chosen && std::floor(10 * s.EqIo[i] + 0.5) / 10 != 0) slots.push_back(i);
    }
    return slots;
}

SavedRows savedRows(const State& s) {
    return {std::max<int>(toInt16(s.PeakX[0]), 0), std::min<int>(s.PeakW[0], kMaxWave)};
}

// The baseline rides on the deviation line, which a loader that knows
// nothing of baselines skips: ",Baseline=,linear, c0, c1, c2, first, last, level".
constexpr std::string_view kBaselineMark = ",Baseline=,";
// Shapes other than the Gaussian ride there too, one for each saved
// equation and then each one's eta: ",Shapes=,gaussian,pseudo-voigt,Eta=, 0, .42".
constexpr std::string_view kShapeMark = ",Shapes=,";

std::string BaselineFields(const Baseline& b) {
    if (!inUse(b)) return {};
    std::string text = std::string(kBaselineMark) + std::string(baselineName(b.kind));
    for (const double v : {b.c[0], b.c[1], b.c[2], double(b.first), double(b.last), b.level}) {
        text += "," + NumText(v);
    }
    return text;
}

std::string ShapeFields(const State& s, const std::vector<int>& slots) {
    bool gaussians = true;
    for (int i : slots) gaussians = gaussians && s.EqShape[i] == PeakShape::Gaussian;
    if (gaussians) return {};
    std::string text(kShapeMark);
    for (int i : slots) text += std::string(shapeName(s.EqShape[i])) + ",";
    text += "Eta=";
    for (int i : slots) text += "," + NumText(s.EqEta[i]);
    return text;
}

std::vector<Peak> ShapesOfLine(std::string_view line) {
    std::vector<Peak> shapes;
    const size_t mark = line.find(kShapeMark);
    if (mark == std::string_view::npos) return shapes;
    std::string_view rest = line.substr(mark + kShapeMark.size());
    size_t eta = 0;  // the next shape to take an eta
    bool etas = false;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view field = rest.substr(0, comma);
        if (field == "Eta=") {
            etas = true;
        } else if (!etas) {
            Peak p;
            p.shape = shapeNamed(field).value_or(PeakShape::Gaussian);
            shapes.push_back(p);
        } else if (eta < shapes.size()) {
            if (shapes[eta].shape == PeakShape::PseudoVoigt) {
                shapes[eta].eta = std::clamp(TextNum(field), 0.0, 1.0);
            }
            ++eta;
        }
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return shapes;
}

Baseline BaselineOfLine(std::string_view line) {
    const size_t mark = line.find(kBaselineMark);
    if (mark == std::string_view::npos) return {};
    std::vector<std::string_view> fields;
    std::string_view rest = line.substr(mark + kBaselineMark.size());
    while (true) {
        const size_t comma = rest.find(',');
        fields.push_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    const std::optional<BaselineKind> kind = baselineNamed(fields[0]);
    constexpr size_t kFields = 7;
    if (!kind || *kind == BaselineKind::None || fields.size() < kFields) return {};
    Baseline b;
    b.kind = *kind;
    b.set = true;
    b.c = {TextNum(fields[1]), TextNum(fields[2]), TextNum(fields[3])};
    b.first = waveIndex(TextNum(fields[4]));
    b.last = waveIndex(TextNum(fields[5]));
    b.level = TextNum(fields[6]);
    for (int j = termCount(b.kind); j < kBaselineTerms; ++j) b.c[j] = 0;
    if (b.kind != BaselineKind::Exponential) b.level = 0;
    return b;
}

namespace {

void appendParameterLine(std::string& text, std::string_view label, const SlotArray& values,
                         const std::vector<int>& slots) {
    text += label;
    for (int i : slots) text += "," + NumText(values[i]);
    text += kLineEnd;
}

std::string resultFileText(const State& s, const std::vector<int>& slots,
                           const std::string& deviation) {
    std::string text;
    text += kTitle;
    text += kLineEnd;
    appendParameterLine(text, "Amplitude", s.EqIo, slots);
    appendParameterLine(text, "Peak Location", s.EqXo, slots);
    appendParameterLine(text, "Peak Width", s.EqW, slots);
    text += "RMS=," + deviation + BaselineFields(s.FitBaseline) + ShapeFields(s, slots);
    text += kLineEnd;
    const bool baseline = inUse(s.FitBaseline);
    text += "Wavelength,Data,Equation,";
    for (int i : slots) text += EquationLine(s, i, false) + ",";
    if (baseline) text += "Baseline,";
    text += kLineEnd;

    // Rows of the fit range, only those inside the array. A saved width of
    // 0 gives the values drawing uses: the amplitude at the centre, else 0.
    const SavedRows rows = savedRows(s);
    std::vector<double> values(slots.size());
    for (int w = rows.first; w <= rows.last; ++w) {
        double total = 0;
        for (size_t k = 0; k < slots.size(); ++k) {
            const int i = slots[k];
            values[k] = peakValue(SlotPeak(s, i), w);
            total = round15(total + values[k]);
        }
        const double under = baseline ? baselineValue(s.FitBaseline, w) : 0;
        if (baseline) total = round15(total + under);
        text += NumText(w) + "," + NumText(s.Spectrum[w]) + "," + NumText(total);
        for (double value : values) text += "," + NumText(value);
        if (baseline) text += "," + NumText(under);
        text += kLineEnd;
    }
    return text;
}

}  // namespace

}  // namespace peakfold
