// A short run of handler calls decoded from the fuzz input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "action_player.h"

// The player cancels a search after some event pumps, as an impatient user
// would. Wide typed half-widths can put long width scans between two pumps,
// so here a search is also cancelled at this many abort checks inside its
// width scans: no input keeps a search busy for long, and only a true hang
// runs into the fuzzer's time limit.
constexpr int kChecksBeforeCancel = 2000;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    // One byte a choice; a choice among more than 256 (a position on the
    // plot) takes a second byte as the high one, so every position the
    // player offers, the whole plot included, can be reached.
    peakfold::ActionPlayer player([&](unsigned count) -> unsigned {
        if (at >= size) return 0;
        unsigned value = data[at++];
        if (count > 256 && at < size) value += 256u * data[at++];
        return value % count;
    });
    int checks = 0;
    player.ui.onCheck = [&] {
        if (++checks == kChecksBeforeCancel) player.ui.click(peakfold::Control::Cancel);
    };
    for (int i = 0; i < 40 && at < size; ++i) {
        checks = 0;
        const std::string broken = player.step();
        if (!broken.empty()) {
            std::fprintf(stderr, "broken: %s\n", broken.c_str());
            for (const std::string& line : player.log()) std::fprintf(stderr, "  %s\n", line.c_str());
            std::abort();
        }
    }
    return 0;
}
