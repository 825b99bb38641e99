// The grid search that fits one to three Gaussians to the residual of the
// loaded spectrum over the fit range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/state.h"

namespace peakfold {

// Progress calls supplied by the caller of the search.
struct SearchProgress {
    std::function<void(double x, double y, int colour)> ShowScanPoint;
    std::function<void(int trial, double best)> ShowBest;
    std::function<void()> PumpEvents;
    // Called at fixed points inside long width scans, the same in every
    // search: the caller may let events run there, and the search stops
    // right after it when CalcState has become "abort".
    std::function<void()> LetEventsRun;
    // Called every few milliseconds while the search waits for its worker
    // threads: the caller may let events run there too. An abort asked for
    // meanwhile is acted on at the next pump or LetEventsRun.
    std::function<void()> WhileWaiting;
};

// What a search cost, for the benchmark and the comparison tests.
struct SearchCounts {
    std::int64_t evaluated = 0;  // trials solved whose deviation decided whether they improve
    std::int64_t terms = 0;      // deviation terms actually summed
    std::size_t tableBytes = 0;  // largest working memory held by the search's tables
    std::int64_t checks = 0;     // abort checks inside the width scans
    std::int64_t ruledOut = 0;   // centre combinations ruled out as a whole, none solved
    std::int64_t rowsRuledOut = 0;  // rows of width trials ruled out as a whole, none solved
};

struct SearchResult {
    std::vector<int> found;    // slots of 1..n found, ascending
    bool tooManyKept = false;  // a kept slot in 1..n had nowhere to go: nothing was done
    SearchCounts counts;
};

// The search as a plain nested scan: the reference that every faster search
// must match double for double.
SearchResult FitSearch(State& s, int n, double Q, const SearchProgress& progress);

// The same search, with the same results, records and progress calls, bit
// for bit, but with the unit Gaussians tabulated and every trial that
// provably cannot improve on the best rejected without summing it in full.
SearchResult FitSearchFast(State& s, int n, double Q, const SearchProgress& progress);
// The same with the trials evaluated on `threads` worker threads (0: one
// for each core); the results do not depend on it.
SearchResult FitSearchFast(State& s, int n, double Q, const SearchProgress& progress, int threads);

// Whether Q is a quality the search accepts: a finite number above 0.5.
bool qualityAccepted(double Q);

}  // namespace peakfold
