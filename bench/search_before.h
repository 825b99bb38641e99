// The fast search as it stood before worker threads and vector lanes, the
// benchmark's measure of how far the search has come.
#pragma once

#include "search/fit_search.h"

namespace peakfold {

SearchResult FitSearchBefore(State& s, int n, double Q, const SearchProgress& progress);

}  // namespace peakfold
