#include "model/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "model/state.h"

namespace peakfold {

namespace {

constexpr int kSignificant = 15;

struct Decimal {
    std::string digits;  // significant digits, no trailing zeros, at least one
    int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent + 1)
};

// |value| to 15 significant digits, correctly rounded.
Decimal decimalOf(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, kSignificant - 1);
    const std::string_view text(buffer, result.ptr - buffer);  // d.dddddddddddddde+XX
    const auto e = text.find('e');
    Decimal d;
    d.digits.push_back(text[0]);
    for (char c : text.substr(2, e - 2)) d.digits.push_back(c);
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    d.exponent);
    return d;
}

std::string fixedText(const Decimal& d) {
    const int digitCount = static_cast<int>(d.digits.size());
    std::string whole, fraction;
    if (d.exponent >= 0) {
        const int wholeCount = d.exponent + 1;
        for (int i = 0; i < wholeCount; ++i) whole.push_back(i < digitCount ? d.digits[i] : '0');
        if (digitCount > wholeCount) fraction = d.digits.substr(wholeCount);
    } else {
        fraction.assign(-d.exponent - 1, '0');
        fraction += d.digits;
    }
    // A zero standing alone before the point is dropped: ".5", not "0.5".
    return fraction.empty() ? whole : whole + "." + fraction;
}

std::string scientificText(const Decimal& d) {
    std::string text(1, d.digits[0]);
    if (d.digits.size() > 1) text += "." + d.digits.substr(1);
    const int magnitude = std::abs(d.exponent);
    text += d.exponent < 0 ? "E-" : "E+";
    if (magnitude < 10) text += "0";
    text += std::to_string(magnitude);
    return text;
}

}  // namespace

std::string NumText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : " Inf";
    const std::string sign = value < 0 ? "-" : " ";
    if (value == 0) return " 0";
    const Decimal d = decimalOf(value);
    const bool fixed = d.exponent >= -3 && d.exponent < 15;
    return sign + (fixed ? fixedText(d) : scientificText(d));
}

double TextNum(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
    }
    const auto isDigit = [&](size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };

    // Collect sign, mantissa and exponent in the form from_chars reads.
    std::string number;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') number.push_back('-');
        ++i;
    }
    bool anyDigit = false;
    while (isDigit(i)) number.push_back(s[i++]), anyDigit = true;
    if (i < s.size() && s[i] == '.') {
        number.push_back('.');
        ++i;
        while (isDigit(i)) number.push_back(s[i++]), anyDigit = true;
    }
    if (!anyDigit) return 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent.push_back(s[j++]);
        if (isDigit(j)) {
            while (isDigit(j)) exponent.push_back(s[j++]);
            number += exponent;
        }
    }
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small reads as 0 by nature; too large has no double: 0 as well.
        return 0;
    }
    return std::isfinite(value) ? value : 0;
}

double roundHalfEven(double value) { return std::nearbyint(value); }

int16_t toInt16(double value) {
    if (std::isnan(value)) return 0;
    const double r = roundHalfEven(value);
    if (r <= std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    if (r >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    return static_cast<int16_t>(r);
}

int waveIndex(double value) {
    if (std::isnan(value)) return 0;
    const double r = roundHalfEven(value);
    if (r <= 0) return 0;
    if (r >= kMaxWave) return kMaxWave;
    return static_cast<int>(r);
}

double round15(double value) {
    if (value == 0 || !std::isfinite(value)) return value;
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific, kSignificant - 1).ptr;
    double rounded = 0;
    std::from_chars(buffer, end, rounded);
    return rounded;
}

}  // namespace peakfold
