#include "files/file_text.h"

#include <algorithm>
#include <string>

#include "model/numbers.h"

namespace peakfold {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits, one comma, digits, with an optional sign in front: "3501,6".
bool isDecimalCommaNumber(std::string_view field) {
    size_t i = 0;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
    const size_t wholeStart = i;
    while (i < field.size() && isDigit(field[i])) ++i;
    if (i == wholeStart || i == field.size() || field[i] != ',') return false;
    const size_t fractionStart = ++i;
    while (i < field.size() && isDigit(field[i])) ++i;
    return i > fractionStart && i == field.size();
}

// Whether the number that TextNum found to be 0 in the text is in truth one
// too large for a double (TextNum reads those as 0 too). Reads the decimal
// magnitude of the mantissa and the exponent without converting.
bool beyondDoubleRange(std::string_view text) {
    std::string s;
    for (char c : text) {
        if (!isBlank(c)) s.push_back(c);
    }
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    long wholeDigits = 0;      // significant digits before the point
    long zerosAfterPoint = 0;  // zeros between the point and the first significant digit
    bool significant = false;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        if (significant || s[i] != '0') significant = true, ++wholeDigits;
    }
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && isDigit(s[i]); ++i) {
            if (significant) continue;
            if (s[i] == '0') {
                ++zerosAfterPoint;
            } else {
                significant = true;
            }
        }
    }
    if (!significant) return false;  // a true zero
    long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        const bool negative = j < s.size() && s[j] == '-';
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        for (; j < s.size() && isDigit(s[j]); ++j) {
            exponent = std::min(exponent * 10 + (s[j] - '0'), 1000000L);
        }
        if (negative) exponent = -exponent;
    }
    const long magnitude =
        wholeDigits > 0 ? wholeDigits - 1 + exponent : exponent - zerosAfterPoint - 1;
    return magnitude > 0;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigMark = "\xFE\xFF";
constexpr std::string_view kUtf32LittleMark{"\xFF\xFE\0\0", 4};

// UTF-16 after its mark, one character per code unit; see decodeFileText.
std::string fromUtf16(std::string_view units, bool littleEndian) {
    std::string text;
    text.reserve(units.size() / 2 + 1);
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(units[i]);
        const unsigned second = static_cast<unsigned char>(units[i + 1]);
        const unsigned unit = littleEndian ? (second << 8 | first) : (first << 8 | second);
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    if (units.size() % 2 != 0) text.push_back('?');
    return text;
}

}  // namespace

std::string decodeFileText(std::string bytes) {
    const std::string_view text = bytes;
    if (text.starts_with(kUtf8Mark)) {
        bytes.erase(0, kUtf8Mark.size());
        return bytes;
    }
    if (text.starts_with(kUtf32LittleMark)) return bytes;
    if (text.starts_with(kUtf16LittleMark)) return fromUtf16(text.substr(2), true);
    if (text.starts_with(kUtf16BigMark)) return fromUtf16(text.substr(2), false);
    return bytes;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool startsWithNumber(std::string_view text) {
    char first[3] = {0, 0, 0};  // the first three characters TextNum looks at
    size_t n = 0;
    for (size_t i = 0; i < text.size() && n < 3; ++i) {
        if (!isBlank(text[i])) first[n++] = text[i];
    }
    const size_t k = (first[0] == '+' || first[0] == '-') ? 1 : 0;
    return isDigit(first[k]) || (first[k] == '.' && isDigit(first[k + 1]));
}

size_t numberEnd(std::string_view text, size_t pos) {
    size_t i = pos;
    const auto digitAt = [&](size_t j) { return j < text.size() && isDigit(text[j]); };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool anyDigit = false;
    while (digitAt(i)) ++i, anyDigit = true;
    if (i < text.size() && text[i] == '.') {
        const size_t point = i++;
        while (digitAt(i)) ++i, anyDigit = true;
        if (!anyDigit) i = point;
    }
    if (!anyDigit) return pos;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (digitAt(j)) {
            while (digitAt(j)) ++j;
            i = j;
        }
    }
    return i;
}

FieldNumber numberIn(std::string_view field, bool commaMayBeDecimal) {
    field = trimBlanks(field);
    std::string withPoint;
    if (commaMayBeDecimal && isDecimalCommaNumber(field)) {
        withPoint.assign(field);
        std::replace(withPoint.begin(), withPoint.end(), ',', '.');
        field = withPoint;
    }
    FieldNumber number;
    if (!startsWithNumber(field)) return number;
    number.found = true;
    number.value = TextNum(field);
    number.tooLarge = number.value == 0 && beyondDoubleRange(field);
    return number;
}

}  // namespace peakfold
