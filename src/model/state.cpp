#include "model/state.h"

namespace peakfold {

int TrialTable::cellOf(int gaussian, int item) {
    if (gaussian == 0 && item == 0) return 0;
    if (gaussian < 1 || gaussian > 3 || item < 1 || item > 3) return -1;
    return 3 * (gaussian - 1) + item;
}

double TrialTable::get(int trial, int gaussian, int item) const {
    const int cell = cellOf(gaussian, item);
    if (trial < 1 || trial > size() || cell < 0) return 0;
    return rows_[trial - 1][cell];
}

void TrialTable::set(int trial, int gaussian, int item, double value) {
    const int cell = cellOf(gaussian, item);
    if (trial < 1 || cell < 0) return;
    if (trial > size()) rows_.resize(trial, Row{});
    rows_[trial - 1][cell] = value;
}

}  // namespace peakfold
