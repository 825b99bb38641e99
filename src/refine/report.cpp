#include "refine/report.h"

#include <charconv>
#include <cmath>

namespace peakfold {

const std::array<std::string_view, 12> kReportColumns = {
    "equation", "amplitude",      "amplitude_err", "centre", "centre_err", "half_width",
    "half_width_err", "fwhm", "fwhm_err",   "area",   "area_err",   "at_bound"};

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

std::string truth(bool value) { return value ? "true" : "false"; }

void appendLine(std::string& text, const std::vector<std::string>& fields, char separator) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += separator;
        text += fields[i];
    }
    text += '\n';
}

}  // namespace

std::vector<std::string> reportRow(const PeakEstimate& peak, bool hasErrors) {
    const auto error = [hasErrors](double e) { return hasErrors ? fullPrecision(e) : std::string(); };
    return {std::to_string(peak.slot),
            fullPrecision(peak.value.amplitude), error(peak.error.amplitude),
            fullPrecision(peak.value.centre),    error(peak.error.centre),
            fullPrecision(peak.value.halfWidth), error(peak.error.halfWidth),
            fullPrecision(peak.fwhm),            error(peak.fwhmError),
            fullPrecision(peak.area),            error(peak.areaError),
            truth(peak.atBound)};
}

std::string reportTable(const Refinement& r, char separator) {
    std::string text;
    appendLine(text, std::vector<std::string>(kReportColumns.begin(), kReportColumns.end()),
               separator);
    for (const PeakEstimate& peak : r.peaks) appendLine(text, reportRow(peak, r.hasErrors), separator);
    text += '\n';
    const FitStatistics& f = r.statistics;
    appendLine(text, {"statistic", "value"}, separator);
    appendLine(text, {"points", std::to_string(f.points)}, separator);
    appendLine(text, {"parameters", std::to_string(f.parameters)}, separator);
    appendLine(text, {"ssr", fullPrecision(f.ssr)}, separator);
    appendLine(text, {"reduced_chi_square", fullPrecision(f.reducedChiSquare)}, separator);
    appendLine(text, {"r_squared", fullPrecision(f.rSquared)}, separator);
    appendLine(text, {"iterations", std::to_string(f.iterations)}, separator);
    appendLine(text, {"converged", truth(f.converged)}, separator);
    return text;
}

}  // namespace peakfold
