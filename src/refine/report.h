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

// Column names of the table's equation rows.
extern const std::array<std::string_view, 12> kReportColumns;

// The 12 fields of one equation in the order of kReportColumns; the error fields
// are empty without errors. The equation is its slot number.
std::vector<std::string> reportRow(const PeakEstimate& peak, bool hasErrors);

// The header, one row per equation, a blank line, then "statistic,value" lines
// for points, parameters, ssr, reduced_chi_square, r_squared, iterations and
// converged, each field separated by `separator`; every line ends with "\n".
std::string reportTable(const Refinement& r, char separator);

}  // namespace peakfold
