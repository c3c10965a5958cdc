// Numbers in map files, read and written the same way whatever locale the C
// library is in: the decimal separator of a map file is always the point.
#pragma once

#include <cstdint>
#include <string>

// As atoi: leading white space, an optional sign, decimal digits up to the
// first other character, 0 without digits. Values beyond 32 bits stop at
// the nearest limit instead of being undefined.
int32_t parse_int(const char* text);
// The same for the text [first, last), which need not end in a NUL.
int32_t parse_int(const char* first, const char* last);

// As atof: leading white space, an optional sign, then the longest prefix
// that reads as a decimal or hexadecimal floating-point number, an infinity
// or a NaN; 0.0 without one. Too large gives an infinity, too small zero.
double parse_double(const char* text);
// The same for the text [first, last), which need not end in a NUL.
double parse_double(const char* first, const char* last);

// The value as printf's "%f" writes it in the "C" locale: an optional minus
// sign, the integer digits, a point and six decimals, correctly rounded.
void append_fixed6(std::string& out, double value);

// The nearest float, an infinity beyond the float range (where a plain
// conversion would be undefined).
float narrow_to_float(double value);
