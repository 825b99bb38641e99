#include "model/calculate.h"

#include <cmath>
#include <vector>

#include "graph/frame.h"
#include "graph/picking.h"
#include "model/equation.h"
#include "model/numbers.h"
#include "refine/fit_choices.h"
#include "search/fit_search.h"

namespace peakfold {

namespace {

constexpr const char* kBadQuality =
    "Fit Quality must be a number greater than 0.5 (1 is the finest fit, 10 a rough one).";
constexpr const char* kMissingPicks =
    "You must approximate peak locations and set up range by left/right clicking on graph. "
    "See Help file.";
constexpr const char* kTooMany = "Too many Gaussians.";
constexpr int kTotalColour = 6;

// The one place the Calculate command starts a search.
SearchResult runSearch(State& s, int n, double Q, const SearchProgress& progress) {
    return FitSearchFast(s, n, Q, progress, s.SearchThreads);
}

// Whether every kept slot of 1..n finds a slot that is not kept above n to
// move to, as the search moves kept equations out of the slots it writes.
bool keptSlotsHaveRoom(const State& s, int n) {
    int keptInside = 0, freeAbove = 0;
    for (int i = 1; i <= kLastSlot; ++i) {
        const bool kept = s.EqKept[i] == 1;
        if (i <= n && kept) ++keptInside;
        if (i > n && !kept) ++freeAbove;
    }
    return keptInside <= freeAbove;
}

// The search's progress, shown on the window as it advances.
SearchProgress windowProgress(Toolkit& ui) {
    SearchProgress progress;
    progress.ShowScanPoint = [&ui](double x, double y, int colour) {
        ui.graphPoint(plotCoordinate(x), plotCoordinate(y), colour);
    };
    progress.ShowBest = [&ui](int trial, double best) {
        ui.setText(Control::TryNbr, NumText(trial) + ":" + NumText(std::floor(best)));
        ui.repaintNow(Control::TryNbr);
    };
    progress.PumpEvents = [&ui] { ui.pumpEvents(); };
    progress.LetEventsRun = [&ui] { ui.pumpEventsIfDue(); };
    progress.WhileWaiting = [&ui] { ui.pumpEventsIfDue(); };
    return progress;
}

// The sum of slots 1..3 at x, whatever the number of Gaussians fitted, on
// the baseline.
double totalOfFirstThree(const State& s, double x) {
    double total = 0;
    for (int i = 1; i <= 3; ++i) total += peakValue(SlotPeak(s, i), x);
    if (inUse(s.FitBaseline)) total += baselineValue(s.FitBaseline, x);
    return total;
}

// The model of slots 1..3 in colour 6, segments starting inside 0..100.
void drawTotal(State& s, Toolkit& ui) {
    // A free slot 2 or 3 gets a width, so that the slot draws as a flat zero.
    if (s.EqIo[2] == 0) s.EqW[2] = 1;
    if (s.EqIo[3] == 0) s.EqW[3] = 1;
    for (int w = 200; w <= 999; ++w) {
        // On a baseline the total is known over the baseline's range only.
        if (segmentBeyond(s.FitBaseline, w)) continue;
        const double t1 = totalOfFirstThree(s, w);
        if (t1 >= 0 && t1 < 100) {
            const double t2 = totalOfFirstThree(s, w + 1);
            ui.graphLine(plotCoordinate(w), plotCoordinate(t1), plotCoordinate(w + 1),
                         plotCoordinate(t2), LineStyle::Line, kTotalColour);
        }
    }
}

// After a refused search: every kept equation, so none drops out of sight.
void listKeptSlots(const State& s, Toolkit& ui) {
    ui.listClear(Control::List);
    for (int i = 1; i <= kLastSlot; ++i) {
        if (s.EqKept[i] == 1) ui.listAppend(Control::List, EquationLine(s, i, true));
    }
}

void selectLastLine(Toolkit& ui) {
    const int count = ui.listCount(Control::List);
    if (count > 0) ui.setListIndex(Control::List, count - 1);
}

}  // namespace

void Calculate_Click(State& s, Toolkit& ui) {
    // A press while a search runs comes in through the search's own event
    // pump; a second search inside the first would rewrite its slots.
    if (!s.CalcState.empty()) return;

    const double Q = TextNum(ui.text(Control::Quality));
    if (!qualityAccepted(Q)) {
        ui.messageBox(kBadQuality);
        return;
    }
    const int n = gaussianCount(ui);
    if (!keptSlotsHaveRoom(s, n)) {
        ui.messageBox(kTooMany);
        return;
    }

    s.CalcState = kProcessing;
    ui.listAppend(Control::List, "Calculating...");
    if (s.PeakX[1] == 0) ui.messageBox(kMissingPicks);

    ui.setText(Control::Help, SettingsLine(s, 3));
    Help_KeyPress(s, ui, 13);
    // The search fits the peaks on what the baseline leaves.
    EstimateBaseline(s);

    const SearchResult result = runSearch(s, n, Q, windowProgress(ui));
    s.CalcState.clear();
    if (result.tooManyKept) {
        ui.messageBox(kTooMany);
        listKeptSlots(s, ui);
        return;
    }

    // Handlers that ran inside the search may have changed the slots, the
    // list and the captions: only n, read before, and slots 1..9 are used.
    ui.listClear(Control::List);
    bool listedNew = false;
    for (const int i : result.found) {
        if (i < 1 || i > n) continue;
        ui.listAppend(Control::List, EquationLine(s, i, false));
        listedNew = true;
    }
    for (int i = n + 1; i <= kLastSlot; ++i) {
        if (s.EqKept[i] == 1) ui.listAppend(Control::List, EquationLine(s, i, true));
    }

    if (!listedNew) {
        ui.listAppend(Control::List, "No fit found.");
        selectLastLine(ui);
        return;
    }
    drawTotal(s, ui);
    selectLastLine(ui);
    ui.beep();
}

int gaussianCount(const Toolkit& ui) {
    const int n = toInt16(TextNum(ui.text(Control::CalculateNbr)));
    return n < 1 ? 1 : n > 3 ? 3 : n;
}

void CalculateNbr_Click(State&, Toolkit& ui) {
    double v = TextNum(ui.text(Control::CalculateNbr)) + 1;
    if (v > 3) v = 1;
    const std::string text = NumText(v);
    ui.setText(Control::CalculateNbr, text.substr(text.size() - 1));
}

void Cancel_Click(State& s, Toolkit&) {
    if (s.CalcState == kProcessing) s.CalcState = kAbort;
}

}  // namespace peakfold
