#pragma once
// Numbers as text in the C locale, whatever the process locale is. Every
// settings, parameter and list file goes through these, so a user whose
// locale writes a decimal comma still reads and writes "1.500000".

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// printf("%d").
std::string FormatInt(long long value);

// printf("%.*f", precision, value): fixed notation, C locale. NaN and
// infinities come out as "nan", "inf", "-inf" as printf writes them.
std::string FormatDouble(double value, int precision = 6);

// atof-like: skips leading white space, parses the longest leading decimal
// number (optional sign, digits, '.', exponent); text that does not start
// with a number gives 0. Never a hexadecimal number ("0x10" gives 0);
// "inf", "infinity" and "nan" are numbers. A magnitude beyond the range of
// double gives an infinity, one below the smallest subnormal gives 0, as
// strtod does.
double ParseDouble(std::string_view text);

// atoi-like: leading white space, optional sign, digits; anything else
// gives 0. Values beyond the range of int clamp to INT_MIN / INT_MAX.
int ParseInt(std::string_view text);

// Strict parse: the whole text (white space around it allowed) must be a
// number; false otherwise, leaving *out untouched. A number that does not
// fit (beyond the range of double or of long long) is refused too.
bool TryParseDouble(std::string_view text, double* out);
bool TryParseInt(std::string_view text, long long* out);

} // namespace platform
