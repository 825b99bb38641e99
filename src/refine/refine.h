// Least-squares refinement of the listed equations, and the equations and
// fit range it works on. Plain values in and out: the optimiser stays inside
// least_squares.cpp.
#pragma once

#include <vector>

#include "model/state.h"
#include "refine/refinement.h"

namespace peakfold {

// What is fitted besides the peaks: a baseline (its coefficients the start,
// over the fit range), and the sigma of each wavelength first..last in the
// spectrum's percent, empty for a fit without weights.
struct FitModel {
    Baseline baseline;
    std::vector<double> sigma;
};

// Least squares over the whole wavelengths first..last of spectrum, jointly over every
// amplitude, centre and half-width and the baseline's coefficients, from the values in
// `start` (each with its slot). Centres stay within first..last, half-widths within
// 0.5..last-first, amplitudes and coefficients are free. With weights it minimises
// chi-square = sum(((y - f) / sigma)^2). With no more points than parameters nothing is
// refined: the result is describe() of the start.
Refinement refine(const WaveArray& spectrum, int first, int last,
                  const std::vector<PeakEstimate>& start, const FitModel& model = {});

// The values and fit statistics of the peaks on the baseline as they stand, without
// errors (hasErrors false, iterations 0).
Refinement describe(const WaveArray& spectrum, int first, int last,
                    const std::vector<PeakEstimate>& peaks, const FitModel& model = {});

// The equations the list shows that Save would save, in ascending slot order, with
// their current values and derived figures. The fit range they are refined over is
// the one Save writes its rows for (savedRows in files/result_file.h).
std::vector<PeakEstimate> listedPeaks(const State& s, int n);

// Peak figures derived from the value: FWHM = 2b and the shape's area.
void deriveFigures(PeakEstimate& peak);

// The variances and covariances of a peak's amplitude A, half-width b and
// (pseudo-Voigt) eta.
struct PeakCovariance {
    double amplitude, halfWidth, amplitudeHalfWidth;
    double eta = 0, amplitudeEta = 0, halfWidthEta = 0;
};

// The standard errors of a peak from its covariance (the centre's error is
// set apart): sigma_A, sigma_b, FWHM error 2 sigma_b and the area's error by
// its gradient; for a Gaussian
// var(area) = (pi / k) (b^2 var A + A^2 var b + 2 A b cov(A, b)).
void propagateErrors(PeakEstimate& peak, const PeakCovariance& c);

}  // namespace peakfold
