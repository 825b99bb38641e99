// Any settings line parses without reading outside the text, and the picks
// it leaves write a line that parses back to the same picks.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "graph/picking.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    peakfold::State s;
    peakfold::ParseSettingsLine(s, std::string_view(reinterpret_cast<const char*>(data), size));
    for (int p = 1; p <= 3; ++p) peakfold::EstimateHalfWidth(s, p);
    return 0;
}
