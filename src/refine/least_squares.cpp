#include "refine/refine.h"

namespace peakfold {

Refinement refine(const WaveArray& spectrum, int first, int last,
                  const std::vector<PeakEstimate>& start) {
    return describe(spectrum, first, last, start);
}

}  // namespace peakfold
