// What a least-squares refinement of the listed equations gives back: the
// refined values with their standard errors, the derived peak figures and
// the fit statistics. Plain values only, so the shared state can hold the
// last refinement and the report can be drawn from it.
#pragma once

#include <string>
#include <vector>

#include "model/curve.h"

namespace peakfold {

// A peak with what is known of it. Errors are standard errors; they are 0
// when the refinement gave none (see Refinement::hasErrors).
struct PeakEstimate {
    int slot = 0;  // the equation slot the peak came from and goes back to
    Peak value;
    Peak error;
    double fwhm = 0, fwhmError = 0;  // 2b and 2 sigma_b
    double area = 0, areaError = 0;  // A b sqrt(pi / k)
    // A centre or half-width ended on its bound: its error is unreliable.
    bool atBound = false;
    // Which one: a half-width on its bound also makes the errors of FWHM and
    // area unreliable.
    bool centreAtBound = false, halfWidthAtBound = false;
    // A pseudo-Voigt's eta ended on 0 or 1: the shape is one of the two.
    bool etaAtBound = false;
    bool operator==(const PeakEstimate& o) const {
        return slot == o.slot && value == o.value && error == o.error && sameBits(fwhm, o.fwhm) &&
               sameBits(fwhmError, o.fwhmError) && sameBits(area, o.area) &&
               sameBits(areaError, o.areaError) && atBound == o.atBound &&
               centreAtBound == o.centreAtBound && halfWidthAtBound == o.halfWidthAtBound &&
               etaAtBound == o.etaAtBound;
    }
};

struct FitStatistics {
    int points = 0;      // N: whole wavelengths of the fit range
    int parameters = 0;  // P: three for each peak and the baseline's coefficients
    double ssr = 0;      // sum of squared residuals over the fit range
    double chiSquare = 0;         // sum of ((y - f) / sigma)^2; ssr without weights
    double reducedChiSquare = 0;  // chiSquare / (N - P)
    double rSquared = 0;          // 1 - ssr / total sum of squares about the mean
    int iterations = 0;
    bool converged = false;
    bool operator==(const FitStatistics& o) const {
        return points == o.points && parameters == o.parameters && sameBits(ssr, o.ssr) &&
               sameBits(chiSquare, o.chiSquare) && sameBits(reducedChiSquare, o.reducedChiSquare) &&
               sameBits(rSquared, o.rSquared) && iterations == o.iterations &&
               converged == o.converged;
    }
};

struct Refinement {
    std::vector<PeakEstimate> peaks;  // in ascending slot order
    FitStatistics statistics;
    // Whether the errors above were computed: false for the values and
    // statistics of equations as they stand, before any refinement.
    bool hasErrors = false;
    // Fit range the refinement worked on, whole wavelengths first..last.
    int first = 0, last = -1;
    // The baseline fitted with the peaks (kind None when there is none), and
    // the standard errors of its coefficients.
    Baseline baseline;
    BaselineTerms baselineError{};
    Weighting weights = Weighting::None;
    // The spectrum's units: everything above is in its percent.
    SpectrumUnits units;
    bool operator==(const Refinement& o) const {
        return peaks == o.peaks && statistics == o.statistics && hasErrors == o.hasErrors &&
               first == o.first && last == o.last && baseline == o.baseline &&
               sameBits(baselineError, o.baselineError) && weights == o.weights && units == o.units;
    }
};

}  // namespace peakfold
