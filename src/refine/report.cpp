#include "refine/report.h"

#include <charconv>
#include <cmath>

namespace peakfold {

const std::array<std::string_view, 15> kReportColumns = {
    "equation", "amplitude", "amplitude_err", "centre", "centre_err", "half_width",
    "half_width_err", "fwhm", "fwhm_err", "area", "area_err", "at_bound", "shape", "eta", "eta_err"};

std::string fullPrecision(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // The shortest form that reads back as the same double; to_chars never
    // follows the locale, so the decimal sign is always a point.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

namespace {

std::string truth(bool value) {
    return value ? "true" : "false";
}

void appendLine(std::string& text, const std::vector<std::string>& fields, char separator) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += separator;
        text += fields[i];
    }
    text += '\n';
}

}  // namespace

const std::array<std::string_view, 6> kBaselineColumns = {"baseline_c0", "baseline_c0_err",
                                                          "baseline_c1", "baseline_c1_err",
                                                          "baseline_c2", "baseline_c2_err"};

std::vector<std::string> baselineFields(const Refinement& r) {
    std::vector<std::string> fields;
    const int terms = termCount(r.baseline.kind);
    for (int j = 0; j < kBaselineTerms; ++j) {
        const bool has = j < terms;
        fields.push_back(has ? fullPrecision(r.baseline.c[j]) : std::string());
        fields.push_back(has && r.hasErrors ? fullPrecision(r.baselineError[j]) : std::string());
    }
    return fields;
}

std::vector<std::string> reportRow(const PeakEstimate& peak, bool hasErrors) {
    const auto error = [hasErrors](double e) {
        return hasErrors ? fullPrecision(e) : std::string();
    };
    const bool eta = peak.value.shape == PeakShape::PseudoVoigt;
    return {std::to_string(peak.slot),   fullPrecision(peak.value.amplitude),
            error(peak.error.amplitude), fullPrecision(peak.value.centre),
            error(peak.error.centre),    fullPrecision(peak.value.halfWidth),
            error(peak.error.halfWidth), fullPrecision(peak.fwhm),
            error(peak.fwhmError),       fullPrecision(peak.area),
            error(peak.areaError),       truth(peak.atBound),
            std::string(shapeName(peak.value.shape)),
            eta ? fullPrecision(peak.value.eta) : std::string(),
            eta ? error(peak.error.eta) : std::string()};
}

Refinement inOwnUnits(const Refinement& r) {
    Refinement own = r;
    const double s = r.units.scale, o = r.units.offset;
    for (PeakEstimate& peak : own.peaks) {
        peak.value.amplitude *= s;
        peak.error.amplitude *= s;
        peak.area *= s;
        peak.areaError *= s;
    }
    Baseline& b = own.baseline;
    if (b.kind == BaselineKind::Exponential) {
        b.c[0] *= s;
        own.baselineError[0] *= s;
        b.level = o + s * b.level;
    } else if (b.kind != BaselineKind::None) {
        b.c[0] = o + s * b.c[0];
        for (int j = 1; j < kBaselineTerms; ++j) b.c[j] *= s;
        for (double& e : own.baselineError) e *= s;
    }
    FitStatistics& f = own.statistics;
    f.ssr *= s * s;
    if (r.weights == Weighting::None) {
        f.chiSquare *= s * s;
        f.reducedChiSquare *= s * s;
    }
    return own;
}

std::string unitsNote(const Refinement& r) {
    if (r.units.percent) {
        return "Amplitudes, areas and the baseline are in percent, as the result file holds its "
               "data.";
    }
    return "Amplitudes, areas, the baseline and their errors are in the units of the spectrum's "
           "file: a value p of the plot's percent is " +
           fullPrecision(r.units.offset) + " + " + fullPrecision(r.units.scale) + " × p there.";
}

std::string weightsNote(const Refinement& r) {
    switch (r.weights) {
        case Weighting::None:
            return "No weights: chi-square is the sum of squared residuals.";
        case Weighting::Counts:
            return "Weights of counting statistics: σ² = the intensity in the file's units, at "
                   "least 1; chi-square = Σ((y − f)/σ)².";
        case Weighting::Column:
            return "Weights from the file: σ from its third column; chi-square = Σ((y − f)/σ)².";
    }
    return {};
}

std::string baselineFormula(const Baseline& b) {
    const std::string t = "t = (x − " + fullPrecision((b.first + b.last) / 2.0) + ")/" +
                          fullPrecision(b.last > b.first ? (b.last - b.first) / 2.0 : 1.0);
    switch (b.kind) {
        case BaselineKind::None:
            return {};
        case BaselineKind::Constant:
            return "c0";
        case BaselineKind::Linear:
            return "c0 + c1·t, " + t;
        case BaselineKind::Quadratic:
            return "c0 + c1·t + c2·t², " + t;
        case BaselineKind::Exponential:
            return (b.level != 0 ? fullPrecision(b.level) + " + " : std::string()) +
                   "c0·exp(−c1·t), " + t;
    }
    return {};
}

std::string reportTable(const Refinement& r, char separator) {
    std::string text;
    appendLine(text, std::vector<std::string>(kReportColumns.begin(), kReportColumns.end()),
               separator);
    for (const PeakEstimate& peak : r.peaks)
        appendLine(text, reportRow(peak, r.hasErrors), separator);
    text += '\n';
    const FitStatistics& f = r.statistics;
    appendLine(text, {"statistic", "value"}, separator);
    appendLine(text, {"points", std::to_string(f.points)}, separator);
    appendLine(text, {"parameters", std::to_string(f.parameters)}, separator);
    appendLine(text, {"ssr", fullPrecision(f.ssr)}, separator);
    appendLine(text, {"chi_square", fullPrecision(f.chiSquare)}, separator);
    appendLine(text, {"reduced_chi_square", fullPrecision(f.reducedChiSquare)}, separator);
    appendLine(text, {"r_squared", fullPrecision(f.rSquared)}, separator);
    appendLine(text, {"iterations", std::to_string(f.iterations)}, separator);
    appendLine(text, {"converged", truth(f.converged)}, separator);
    appendLine(text, {"weights", std::string(weightingName(r.weights))}, separator);
    appendLine(text, {"units", r.units.percent ? "percent" : "file"}, separator);
    appendLine(text, {"scale", fullPrecision(r.units.scale)}, separator);
    appendLine(text, {"offset", fullPrecision(r.units.offset)}, separator);
    const std::vector<std::string> baseline = baselineFields(r);
    appendLine(text, {"baseline", std::string(baselineName(r.baseline.kind))}, separator);
    for (size_t k = 0; k < baseline.size(); ++k) {
        appendLine(text, {std::string(kBaselineColumns[k]), baseline[k]}, separator);
    }
    return text;
}

}  // namespace peakfold
