// How the program writes numbers into text and reads them back, and how it
// turns doubles into 16-bit integers and array indices. Independent of the
// user's locale: the decimal separator is always a point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace peakfold {

// At most 15 significant digits, no trailing zeros, no zero before the point,
// a blank before non-negative numbers: 0.5 -> " .5", -3.2 -> "-3.2".
// Fixed notation from 0.001 up to below 1E15, scientific outside ("5E-04").
std::string NumText(double value);

// The number the text starts with, after dropping blanks, tabs and line
// feeds anywhere in it; 0 when it starts with no number. A number beyond the
// range of a double also reads as 0, so no infinity enters the program.
double TextNum(std::string_view text);

// Nearest whole number, halves to the even neighbour, as a 16-bit integer:
// clamped to -32768..32767; NaN gives 0.
int16_t toInt16(double value);

// Nearest whole number, halves to even, clamped to the wavelength indices
// 0..1010. The only way a double becomes an index into a wavelength array.
int waveIndex(double value);

// Round half to even onto a whole double, unclamped (NaN stays NaN).
double roundHalfEven(double value);

// The value rounded to 15 significant decimal digits.
double round15(double value);

}  // namespace peakfold
