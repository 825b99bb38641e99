#include "load_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    peakfold::loadAndCheck(data, size, ".pkd");
    return 0;
}
