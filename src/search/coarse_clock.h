// A clock for telling whether some milliseconds have passed, read in a few
// nanoseconds: the searches come past their check points up to a million
// times a second, and the precise clock costs several times as much.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace peakfold {

// Milliseconds since a fixed moment, behind by up to a few milliseconds.
inline std::int64_t coarseMilliseconds() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
#else
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
#endif
}

}  // namespace peakfold
