// Checks that hold after every handler, whatever a user or a file did.
#pragma once

#include <string>

#include "headless_toolkit.h"

namespace peakfold {

// The first broken invariant of the state and of what the toolkit showed
// (drawing calls from `firstDraw` on), or the empty text when all hold:
// every number finite, every index-like field inside the arrays, no "NaN"
// or "Inf" in any caption, list line or message.
std::string brokenInvariant(const State& s, const HeadlessToolkit& ui, size_t firstDraw = 0);

}  // namespace peakfold
