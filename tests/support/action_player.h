// Drives the program like an impatient user: a sequence of handler calls
// decoded from a source of numbers (a random generator or fuzz input),
// including handlers fired from inside the event pump while a search runs.
// After every step it checks the invariants that must always hold.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "memory_toolkit.h"

namespace peakfold {

class ActionPlayer {
public:
    // next(n) gives a number in 0..n-1.
    explicit ActionPlayer(std::function<unsigned(unsigned)> next);
    ActionPlayer(const ActionPlayer&) = delete;
    ActionPlayer& operator=(const ActionPlayer&) = delete;

    // Runs one action; gives the first broken invariant, or the empty text.
    std::string step();
    // The actions run so far, one short description each, for replaying.
    const std::vector<std::string>& log() const { return log_; }

    State s;
    MemoryToolkit ui;

private:
    std::string act(int depth);
    std::string afterSave(const std::string& fileName);
    float coordinate();
    std::string pick(const std::vector<std::string>& choices);

    std::function<unsigned(unsigned)> next_;
    std::vector<std::string> log_;
    int pumpDepth_ = 0;
    int pumpsThisSearch_ = 0;
};

// Spectrum and result files of many kinds, good and bad, by file name.
std::vector<std::pair<std::string, std::string>> sampleFiles();

}  // namespace peakfold
