#include "invariants.h"

#include <cctype>
#include <cmath>

namespace peakfold {

namespace {

template <typename Array>
bool allFinite(const Array& values) {
    for (double v : values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// "NaN" or "Inf" as NumText writes them, not as the start of a word ("Info").
bool showsNonNumber(const std::string& text) {
    for (const char* word : {"NaN", "Inf"}) {
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
            const size_t end = at + 3;
            if (end == text.size() || !std::isalpha(static_cast<unsigned char>(text[end]))) return true;
        }
    }
    return false;
}

}  // namespace

std::string brokenInvariant(const State& s, const HeadlessToolkit& ui, size_t firstDraw) {
    if (!allFinite(s.EqIo) || !allFinite(s.EqW) || !allFinite(s.EqXo)) {
        return "an equation slot holds NaN or infinity";
    }
    if (!allFinite(s.Spectrum)) return "Spectrum holds NaN or infinity";
    if (!allFinite(s.FitBaseline.c)) return "the baseline holds NaN or infinity";
    if (!allFinite(s.PeakX)) return "a pick holds NaN or infinity";
    for (int16_t kept : s.EqKept) {
        if (kept != 0 && kept != 1) return "a kept flag is neither 0 nor 1";
    }
    if (!s.CalcState.empty() && s.CalcState != kProcessing && s.CalcState != kAbort) {
        return "CalcState is '" + s.CalcState + "'";
    }
    for (size_t i = firstDraw; i < ui.draws.size(); ++i) {
        const DrawCall& d = ui.draws[i];
        if (!std::isfinite(d.x1) || !std::isfinite(d.y1) || !std::isfinite(d.x2) ||
            !std::isfinite(d.y2)) {
            return "drawing call " + std::to_string(i) + " has a coordinate that is not finite";
        }
        if (d.colour < kDefaultColour || d.colour > 15) {
            return "drawing call " + std::to_string(i) + " has colour " + std::to_string(d.colour);
        }
    }
    for (const auto& [control, text] : ui.texts) {
        if (showsNonNumber(text)) return "the text of " + std::string(layoutOf(control).name) + ": " + text;
    }
    for (const auto& [control, list] : ui.lists) {
        for (const std::string& line : list.lines) {
            if (showsNonNumber(line)) return "a line of " + std::string(layoutOf(control).name) + ": " + line;
        }
        if (list.index < -1 || list.index >= static_cast<int>(list.lines.size())) {
            return "the selected index of " + std::string(layoutOf(control).name) + " is outside the list";
        }
    }
    for (const std::string& message : ui.messages) {
        if (showsNonNumber(message)) return "a message box: " + message;
    }
    return {};
}

}  // namespace peakfold
