#include "equations/tuning.h"

#include "graph/curves.h"
#include "graph/frame.h"
#include "model/equation.h"

namespace peakfold {

namespace {

// Mouse buttons and key states as the toolkit reports them with a mouse-up.
constexpr int16_t kLeftButton = 1;
constexpr int16_t kRightButton = 2;
constexpr int16_t kShiftAlone = 1;
constexpr int16_t kCtrlAlone = 2;

// Left lowers and right raises by 1; Shift alone makes it 0.1, Ctrl alone 10.
// Any other button steps by 0, any other key state leaves the step at 1.
double stepOf(int16_t button, int16_t shift) {
    double step = 0;
    if (button == kLeftButton) step = -1;
    if (button == kRightButton) step = 1;
    if (shift == kShiftAlone) step = step / 10;
    if (shift == kCtrlAlone) step = step * 10;
    return step;
}

// Steps one parameter of the selected equation and shows the result. No
// bound applies: a width of 0 draws as the curve's limit, a negative value
// shows as it is.
void tune(State& s, Toolkit& ui, SlotArray& parameter, int16_t button, int16_t shift) {
    DrawGraphFrame(s, ui);
    const int n = LineSlot(ui.listSelectedText(Control::List));
    const double step = stepOf(button, shift);
    if (n <= 0) return;
    parameter[n] = parameter[n] + step;
    List_Click(s, ui);
    // ": Y=" whatever the kept flag: the flag, not the marker, decides what
    // the search and the result file do with the slot.
    ui.setListLine(Control::List, ui.listIndex(Control::List), EquationLine(s, n, false));
}

}  // namespace

void Io_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float, float) {
    tune(s, ui, s.EqIo, button, shift);
}

void wl_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float, float) {
    tune(s, ui, s.EqXo, button, shift);
}

void PulseWidth_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float, float) {
    tune(s, ui, s.EqW, button, shift);
}

}  // namespace peakfold
