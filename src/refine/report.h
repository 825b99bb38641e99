// The fit report as text: full-precision numbers and the table that Copy
// puts on the clipboard and "Save as CSV" writes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "refine/refinement.h"

namespace peakfold {

// The shortest text that reads back as the same double, a point as the decimal
// sign; NaN and infinities as "nan", "inf" and "-inf".
std::string fullPrecision(double value);

// The refinement in the units of the spectrum's file (the percent of a result
// file's data): amplitudes, areas, the baseline's coefficients and their
// errors scaled, ssr in those units squared, and so chi-square unless
// weights made it a pure number.
Refinement inOwnUnits(const Refinement& r);

// Sentences for the report: which units its numbers are in, and which
// weights the fit used with how its errors are scaled.
std::string unitsNote(const Refinement& r);
std::string weightsNote(const Refinement& r);
// The baseline as a formula with its coefficients' names ("c0 + c1·t,
// t = (x − 560)/140"), empty for none.
std::string baselineFormula(const Baseline& b);

// Column names of the table's equation rows.
extern const std::array<std::string_view, 15> kReportColumns;

// The 15 fields of one equation in the order of kReportColumns; the error fields
// are empty without errors. The equation is its slot number.
std::vector<std::string> reportRow(const PeakEstimate& peak, bool hasErrors);

// The baseline's coefficients and their errors, in the order of
// kBaselineColumns; empty where the kind has no such term or there are no
// errors.
extern const std::array<std::string_view, 6> kBaselineColumns;
std::vector<std::string> baselineFields(const Refinement& r);

// The header, one row per equation, a blank line, then "statistic,value" lines
// for points, parameters, ssr, chi_square, reduced_chi_square, r_squared,
// iterations, converged, weights, units, scale, offset, baseline and each of
// the baseline's coefficients with its error, each field separated by
// `separator`; every line ends with "\n". Takes the refinement in its own
// units (inOwnUnits).
std::string reportTable(const Refinement& r, char separator);

}  // namespace peakfold
