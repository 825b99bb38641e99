// Reading the lines and numbers of the program's text files: spectrum files
// as instruments and spreadsheets write them, and result files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace peakfold {

// The text of a whole file as the line and number readers take it. A
// byte-order mark at the start is dropped: UTF-8 (EF BB BF), as spreadsheets
// and many editors write it, and UTF-16 little- and big-endian (FF FE, FE FF),
// whose text is then decoded to one character per code unit. Code units
// beyond ASCII, surrogates and a last byte without its partner become '?',
// which no number or line end is made of, so they can neither make digits nor
// join or split lines. Any other text is given back as it is, UTF-32 with its
// mark (FF FE 00 00) too: it holds no rows the readers can find. The decoded
// text is never longer than the file.
std::string decodeFileText(std::string bytes);

// The lines of a text, without their line ends. LF, CR LF and a lone CR
// each end a line; a line end after the last line opens no further line.
std::vector<std::string_view> splitLines(std::string_view text);

// The text with blanks, tabs and line feeds dropped from both ends.
std::string_view trimBlanks(std::string_view text);

// Whether TextNum finds a number at the start of the text (blanks, tabs and
// line feeds ignored, as TextNum ignores them).
bool startsWithNumber(std::string_view text);

// Where the number that starts exactly at pos ends: optional sign, digits
// with an optional point, an optional exponent (E or D). Gives pos itself
// when no number starts there. Blanks end the number.
size_t numberEnd(std::string_view text, size_t pos);

// A number read from one field of a line. TextNum reads a number beyond the
// range of a double as 0; tooLarge tells such a number from a real 0.
struct FieldNumber {
    bool found = false;     // the field starts with a number
    bool tooLarge = false;  // that number lies beyond the range of a double
    double value = 0;
};

// The number a field starts with, by TextNum. With commaMayBeDecimal a field
// made of digits, one comma and digits (no point), as spectrometer software
// writes numbers in many locales, reads the comma as the decimal point.
FieldNumber numberIn(std::string_view field, bool commaMayBeDecimal);

}  // namespace peakfold
