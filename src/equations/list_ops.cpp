#include "equations/list_ops.h"

#include "graph/curves.h"
#include "model/equation.h"

namespace peakfold {

namespace {

// Defaults of an equation made by "Add".
constexpr double kNewAmplitude = 50;
constexpr double kNewWidth = 20;
constexpr double kNewCentre = 400;

// The first slot of 1..9 whose amplitude is exactly 0, or 0 when all are in use.
int firstFreeSlot(const State& s) {
    for (int i = 1; i <= kLastSlot; ++i) {
        if (s.EqIo[i] == 0) return i;
    }
    return 0;
}

// The slot the selected line of List names, 0 for none.
int selectedSlot(const Toolkit& ui) {
    return LineSlot(ui.listSelectedText(Control::List));
}

// Rewrites the selected line with the slot's values and marks the slot.
void markSelected(State& s, Toolkit& ui, bool kept) {
    const int n = selectedSlot(ui);
    if (n <= 0) return;
    ui.setListLine(Control::List, ui.listIndex(Control::List), EquationLine(s, n, kept));
    s.EqKept[n] = kept ? 1 : 0;
}

}  // namespace

void Add_Click(State& s, Toolkit& ui) {
    const int slot = firstFreeSlot(s);
    if (slot == 0) {
        ui.messageBox("Too many Gaussians.");
        return;
    }
    s.EqIo[slot] = kNewAmplitude;
    s.EqW[slot] = kNewWidth;
    s.EqXo[slot] = kNewCentre;
    s.EqShape[slot] = s.FitShape;
    s.EqEta[slot] = s.FitShape == PeakShape::PseudoVoigt ? kStartEta : 0;
    // The line goes at the end whatever the slot number; the selection stays.
    ui.listAppend(Control::List, EquationLine(s, slot, true));
    s.EqKept[slot] = 1;
    List_Click(s, ui);
}

void Keep_Click(State& s, Toolkit& ui) {
    markSelected(s, ui, true);
}

void Throw_Click(State& s, Toolkit& ui) {
    markSelected(s, ui, false);
}

void Delete_Click(State& s, Toolkit& ui) {
    const int n = selectedSlot(ui);
    if (n > 0) {
        // The line is blanked rather than removed, so the other lines keep
        // their positions. Width and centre stay; amplitude 0 frees the slot.
        ui.setListLine(Control::List, ui.listIndex(Control::List), "");
        s.EqKept[n] = 0;
        s.EqIo[n] = 0;
    }
    // Selecting the first line redraws through the list's click event.
    if (ui.listCount(Control::List) > 0) ui.setListIndex(Control::List, 0);
    List_Click(s, ui);
}

}  // namespace peakfold
