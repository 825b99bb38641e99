// Any text reads as a finite number, and every number written reads back.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = peakfold::TextNum(text);
    if (!std::isfinite(value)) std::abort();
    const double back = peakfold::TextNum(peakfold::NumText(value));
    if (std::fabs(back - value) > std::fabs(value) * 1e-14) std::abort();
    peakfold::toInt16(value);
    peakfold::waveIndex(value);
    return 0;
}
