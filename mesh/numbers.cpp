// numbers.cpp: the two number readers used by every field, prompt and file.
// Locale-independent: the decimal separator is always the point.
#include "mesh/mesh.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipBlanks(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    return i;
}

}  // namespace

double readDecimal(std::string_view text)
{
    size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t start = i;

    // Mantissa: digits, optionally a point and more digits; at least one digit.
    // decimalExponent tracks where the first significant digit sits, to tell
    // overflow from underflow when the value does not fit a double.
    // The digits also build `mantissa` while they fit (significantDigits <= 19),
    // with fractionDigits the digits of it after the point.
    size_t digits = 0;
    int64_t decimalExponent = 0;
    bool significant = false;
    uint64_t mantissa = 0;
    int64_t significantDigits = 0, fractionDigits = 0;
    const auto addDigit = [&](char c, bool fraction) {
        significant = significant || c != '0';
        significantDigits += significant ? 1 : 0;
        if (significantDigits <= 19) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            fractionDigits += fraction ? 1 : 0;
        }
        ++digits;
    };
    while (i < text.size() && isDigit(text[i])) {
        if (significant || text[i] != '0') ++decimalExponent;
        addDigit(text[i++], false);
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            if (!significant && text[i] == '0') --decimalExponent;
            addDigit(text[i++], true);
        }
    }
    if (digits == 0) return 0.0;
    size_t end = i;

    // Exponent only if it has digits; "1e" reads as 1.
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (expNegative) exponent = -exponent;
            end = j;
        }
    }

    // Exact integers times or over exact powers of ten round once, as
    // from_chars rounds: the common short numbers need no more.
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const int64_t scale = exponent - fractionDigits;
    if (significantDigits <= 19 && mantissa <= (uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
        const auto m = static_cast<double>(mantissa);
        const double value = scale < 0 ? m / powersOfTen[-scale] : m * powersOfTen[scale];
        return negative ? -value : value;
    }

    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + end;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        value = decimalExponent + exponent > 0 ? HUGE_VAL : 0.0;
    } else if (ec != std::errc() || ptr != last) {
        value = 0.0;
    }
    return negative ? -value : value;
}

int32_t readWhole(std::string_view text)
{
    size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    while (i < text.size() && isDigit(text[i])) {
        value = std::min(limit, value * 10 + (text[i] - '0'));
        ++i;
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

int32_t readRoundedWhole(std::string_view text)
{
    const double d = readDecimal(text);
    if (std::isnan(d)) return 0;
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    if (d <= lo) return std::numeric_limits<int32_t>::min();
    if (d >= hi) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(roundHalfEven(d));
}

double roundHalfEven(double value)
{
    const double r = std::round(value);  // halves away from zero ...
    if (std::fabs(value - std::trunc(value)) != 0.5) return r;
    return 2.0 * std::round(value / 2.0);  // ... except on a tie, to the even neighbour
}

std::string formatDecimal(float value)
{
    char buffer[400];  // the largest float has 39 integer digits
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

float readDecimalFloat(std::string_view text)
{
    const double d = readDecimal(text);
    constexpr double largest = std::numeric_limits<float>::max();
    if (d > largest) return std::numeric_limits<float>::infinity();
    if (d < -largest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}
