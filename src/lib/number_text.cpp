#include "lib/number_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

// The white space of the "C" locale, as isspace() sees it there.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

bool is_digit_of(char c, bool hex)
{
    return is_decimal_digit(c) || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// Reads an exponent's digits, stopping far beyond any finite double's range
// so that no count of digits can overflow.
long long saturated_exponent(const char*& p, const char* last)
{
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long long value = 0;
    for (; p < last && is_decimal_digit(*p); ++p)
        if (value < 1000000000) value = value * 10 + (*p - '0');
    return negative ? -value : value;
}

// For a number that is out of the double range: whether it lies beyond the
// largest value (rather than below the smallest). Its order of magnitude
// from the position of the first significant digit and the exponent is far
// from zero either way, so its sign is all that counts.
bool beyond_largest(const char* first, const char* last, bool hex)
{
    const char* p = first;
    long long integer_digits = 0;
    long long zeros_after_point = 0;
    bool significant = false;
    for (; p < last && is_digit_of(*p, hex); ++p)
        if (significant || *p != '0') {
            significant = true;
            ++integer_digits;
        }
    if (p < last && *p == '.')
        for (++p; p < last && is_digit_of(*p, hex); ++p)
            if (!significant) {
                if (*p == '0')
                    ++zeros_after_point;
                else
                    significant = true;
            }
    long long magnitude = integer_digits > 0 ? integer_digits : -zeros_after_point;
    if (hex) magnitude *= 4;
    if (p < last && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        magnitude += saturated_exponent(p, last);
    }
    return magnitude > 0;
}

bool has_hex_prefix(const char* p) { return p[0] == '0' && (p[1] == 'x' || p[1] == 'X'); }

}  // namespace

int32_t parse_int(const char* text) { return parse_int(text, text + std::strlen(text)); }

int32_t parse_int(const char* first, const char* last)
{
    const char* p = first;
    while (p < last && is_blank(*p)) ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long value = 0;
    for (; p < last && is_decimal_digit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

double parse_double(const char* text) { return parse_double(text, text + std::strlen(text)); }

double parse_double(const char* first, const char* last)
{
    const char* p = first;
    while (p < last && is_blank(*p)) ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // from_chars would take a second sign itself; atof takes one at most.
    if (p < last && *p == '-') return 0.0;

    double value = 0.0;
    std::from_chars_result result;
    const bool hex = last - p >= 2 && has_hex_prefix(p);
    if (hex && p + 2 < last && p[2] == '-') return negative ? -0.0 : 0.0;
    if (hex) {
        result = std::from_chars(p + 2, last, value, std::chars_format::hex);
        // "0x" without hexadecimal digits reads as the zero before the x.
        if (result.ec == std::errc::invalid_argument) return negative ? -0.0 : 0.0;
    } else {
        result = std::from_chars(p, last, value, std::chars_format::general);
        if (result.ec == std::errc::invalid_argument) return 0.0;
    }
    if (result.ec == std::errc::result_out_of_range)
        value = beyond_largest(hex ? p + 2 : p, result.ptr, hex)
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    return negative ? -value : value;
}

void append_fixed6(std::string& out, double value)
{
    // 309 integer digits at most for a finite double, a sign, a point, six
    // decimals.
    char digits[330];
    const std::to_chars_result result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
    out.append(digits, result.ptr);
}

float narrow_to_float(double value)
{
    // Halfway between the largest float and the next power of two: from here
    // on, rounding to nearest gives an infinity.
    constexpr double rounds_to_infinity = 0x1.ffffffp127;
    if (value >= rounds_to_infinity) return std::numeric_limits<float>::infinity();
    if (value <= -rounds_to_infinity) return -std::numeric_limits<float>::infinity();
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}
