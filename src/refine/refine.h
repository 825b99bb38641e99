// Least-squares refinement of the listed equations, and the equations and
// fit range it works on. Plain values in and out: the optimiser stays inside
// least_squares.cpp.
#pragma once

#include <vector>

#include "model/state.h"
#include "refine/refinement.h"

namespace peakfold {

// Least squares over the whole wavelengths first..last of spectrum, jointly over every
// amplitude, centre and half-width, from the values in `start` (each with its slot).
// Centres stay within first..last, half-widths within 0.5..last-first, amplitudes are
// free. With no more points than parameters nothing is refined: the result is
// describe() of the start.
Refinement refine(const WaveArray& spectrum, int first, int last,
                  const std::vector<PeakEstimate>& start);

// The values and fit statistics of the peaks as they stand, without errors (hasErrors
// false, iterations 0).
Refinement describe(const WaveArray& spectrum, int first, int last,
                    const std::vector<PeakEstimate>& peaks);

// The equations the list shows that Save would save, in ascending slot order, with
// their current values and derived figures. The fit range they are refined over is
// the one Save writes its rows for (savedRows in files/result_file.h).
std::vector<PeakEstimate> listedPeaks(const State& s, int n);

// Peak figures derived from the value: FWHM = 2b and area = A b sqrt(pi / k).
void deriveFigures(PeakEstimate& peak);

}  // namespace peakfold
