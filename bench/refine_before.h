// The least-squares refinement as it stood before its evaluations were
// shared between the residuals and the Jacobian, the benchmark's measure of
// how far it has come and its check that the answers stayed the same.
#pragma once

#include <vector>

#include "refine/refine.h"

namespace peakfold {

Refinement refineBefore(const WaveArray& spectrum, int first, int last,
                        const std::vector<PeakEstimate>& start, const FitModel& model = {});

}  // namespace peakfold
