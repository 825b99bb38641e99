// A spectrum file with a σ column (wavelength, TAB, intensity, TAB, σ),
// loaded as Get File loads it, then the Fit menu's Weights "From the file",
// a Baseline, one equation added and Refine. The input's first byte picks
// the baseline; the rest is the file. Whatever the file holds, nothing
// breaks, and a choice or a Refine that is refused with a message leaves the
// state as it was.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "equations/list_ops.h"
#include "load_fuzz_common.h"
#include "refine/fit_choices.h"
#include "refine/refine_command.h"

namespace peakfold {
namespace {

constexpr BaselineKind kKinds[] = {BaselineKind::None, BaselineKind::Constant, BaselineKind::Linear,
                                   BaselineKind::Quadratic, BaselineKind::Exponential};

template <typename T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool sameBaseline(const Baseline& a, const Baseline& b) {
    return a.kind == b.kind && a.set == b.set && a.first == b.first && a.last == b.last &&
           sameBits(a.c, b.c) && sameBits(a.level, b.level);
}

// Everything a Fit menu choice or Refine could change, bit for bit.
bool sameState(const State& a, const State& b) {
    return sameBits(a.EqIo, b.EqIo) && sameBits(a.EqW, b.EqW) && sameBits(a.EqXo, b.EqXo) &&
           a.EqKept == b.EqKept && sameBits(a.Spectrum, b.Spectrum) && sameBits(a.Sigma, b.Sigma) &&
           a.SigmaProblem == b.SigmaProblem && sameBits(a.PeakX, b.PeakX) && a.PeakW == b.PeakW &&
           sameBaseline(a.FitBaseline, b.FitBaseline) && a.Weights == b.Weights &&
           sameBits(a.Units.offset, b.Units.offset) && sameBits(a.Units.scale, b.Units.scale) &&
           a.Units.percent == b.Units.percent &&
           a.LastRefinement.hasErrors == b.LastRefinement.hasErrors &&
           a.LastRefinedData.size() == b.LastRefinedData.size() && a.CalcState == b.CalcState;
}

void check(const State& s, const MemoryToolkit& ui) {
    if (std::string why = brokenInvariant(s, ui); !why.empty()) fail(why);
}

// Runs a handler; when it shows a message, the state must be as before.
template <typename Handler>
bool refusedUnchanged(State& s, MemoryToolkit& ui, Handler handler) {
    const State before = s;
    const size_t messages = ui.messages.size();
    handler();
    if (ui.messages.size() == messages) return false;
    if (!sameState(before, s)) fail("a refusal changed the state: " + ui.messages.back());
    return true;
}

}  // namespace
}  // namespace peakfold

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace peakfold;
    if (size == 0) return 0;
    const BaselineKind kind = kKinds[data[0] % std::size(kKinds)];
    State s;
    MemoryToolkit ui;
    connect(s, ui);
    ui.files[ui.path("f.txt")] = std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    ui.answers.push_back("f");
    GetFile_Click(s, ui);
    check(s, ui);
    const bool loaded = ui.windowCaption != "Form1";

    const bool refused = refusedUnchanged(s, ui, [&] { Weights_Click(s, ui, Weighting::Column); });
    if (refused == s.SigmaProblem.empty()) fail("the σ column refused, or taken with a problem");
    if (!refused && s.Weights != Weighting::Column) fail("the weights From the file not taken");
    // The refusal quotes the file's first bad line, whose σ text may read
    // "NaN" or "Inf"; the checks of what the program computed skip it.
    if (refused) {
        if (ui.messages.back().find(s.SigmaProblem) == std::string::npos) {
            fail("the refusal does not say what is wrong: " + ui.messages.back());
        }
        ui.messages.pop_back();
    }

    Baseline_Click(s, ui, kind);
    if (s.FitBaseline.kind != kind) fail("the baseline not taken while no search runs");
    check(s, ui);
    if (!loaded) return 0;

    Add_Click(s, ui);
    ui.setListIndex(Control::List, ui.listCount(Control::List) - 1);
    if (!refusedUnchanged(s, ui, [&] { Refine_Click(s, ui); })) {
        const Refinement& r = s.LastRefinement;
        if (r.weights != s.Weights || r.baseline.kind != kind || r.peaks.size() != 1) {
            fail("a refinement of other choices than those made");
        }
    }
    check(s, ui);
    Report_Click(s, ui);
    check(s, ui);
    return 0;
}
