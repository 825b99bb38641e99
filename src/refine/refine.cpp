#include "refine/refine.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "files/result_file.h"
#include "model/equation.h"

namespace peakfold {

std::vector<PeakEstimate> listedPeaks(const State& s, int n) {
    std::vector<PeakEstimate> peaks;
    for (const int i : savedSlots(s, n)) {
        PeakEstimate peak;
        peak.slot = i;
        peak.value = SlotPeak(s, i);
        deriveFigures(peak);
        peaks.push_back(peak);
    }
    return peaks;
}

void deriveFigures(PeakEstimate& peak) {
    peak.fwhm = peakFwhm(peak.value);
    peak.area = peakArea(peak.value);
}

void propagateErrors(PeakEstimate& peak, const PeakCovariance& c) {
    const double A = peak.value.amplitude, b = peak.value.halfWidth;
    peak.error.amplitude = std::sqrt(c.amplitude);
    peak.error.halfWidth = std::sqrt(c.halfWidth);
    peak.fwhmError = 2 * peak.error.halfWidth;
    if (peak.value.shape == PeakShape::Gaussian) {
        peak.areaError = std::sqrt(std::numbers::pi / kShape *
                                   (b * b * c.amplitude + A * A * c.halfWidth +
                                    2 * A * b * c.amplitudeHalfWidth));
        return;
    }
    const AreaSlopes g = areaSlopes(peak.value);
    peak.areaError = std::sqrt(
        g.amplitude * g.amplitude * c.amplitude + g.halfWidth * g.halfWidth * c.halfWidth +
        g.eta * g.eta * c.eta + 2 * g.amplitude * g.halfWidth * c.amplitudeHalfWidth +
        2 * g.amplitude * g.eta * c.amplitudeEta + 2 * g.halfWidth * g.eta * c.halfWidthEta);
}

Refinement describe(const WaveArray& spectrum, int first, int last,
                    const std::vector<PeakEstimate>& peaks, const FitModel& fit) {
    Refinement r;
    r.first = first;
    r.last = last;
    r.baseline = fit.baseline;
    for (const PeakEstimate& given : peaks) {
        PeakEstimate peak;
        peak.slot = given.slot;
        peak.value = given.value;
        deriveFigures(peak);
        r.peaks.push_back(peak);
    }
    FitStatistics& f = r.statistics;
    const bool baseline = inUse(fit.baseline);
    // Weights only when there is one sigma for each wavelength of the range.
    const bool weighted =
        !fit.sigma.empty() && fit.sigma.size() == static_cast<size_t>(last - first + 1);
    f.parameters =
        3 * static_cast<int>(peaks.size()) + (baseline ? termCount(fit.baseline.kind) : 0);
    for (const PeakEstimate& peak : peaks) f.parameters += peak.value.shape == PeakShape::PseudoVoigt;
    double sum = 0;
    for (int w = first; w <= last; ++w) {
        if (w < 0 || w > kMaxWave) continue;
        ++f.points;
        sum += spectrum[w];
    }
    const double mean = f.points > 0 ? sum / f.points : 0;
    double total = 0;
    for (int w = first; w <= last; ++w) {
        if (w < 0 || w > kMaxWave) continue;
        double model = 0;
        for (const PeakEstimate& peak : r.peaks) model += peakValue(peak.value, w);
        if (baseline) model += baselineValue(fit.baseline, w);
        const double d = spectrum[w] - model;
        f.ssr += d * d;
        if (weighted) {
            const double z = d / fit.sigma[w - first];
            f.chiSquare += z * z;
        }
        total += (spectrum[w] - mean) * (spectrum[w] - mean);
    }
    if (!weighted) f.chiSquare = f.ssr;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    // Without more points than parameters there is no scatter left to judge
    // the fit by; a flat spectrum has nothing a fit could explain.
    f.reducedChiSquare = f.points > f.parameters ? f.chiSquare / (f.points - f.parameters) : nan;
    f.rSquared = total > 0 ? 1 - f.ssr / total : nan;
    return r;
}

}  // namespace peakfold
