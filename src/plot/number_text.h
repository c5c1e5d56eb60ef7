#pragma once
// Numbers as plot files hold them and as page files write them.
#include <string>
#include <string_view>

namespace qel::plot {

// The longest leading decimal number of the text, read as the C library's atof reads it
// (leading white space, an optional sign; 0 when there is none), independent of the locale.
double parseReal(std::string_view text);
// The same for integers, as atoi reads them; values beyond the int range are clamped.
int parseInt(std::string_view text);

// trunc(v) as an int, clamped to the int range; 0 for NaN.
int truncToInt(double v);

// A coordinate in the default format of a standard output stream: at most six significant
// digits, no trailing zeros, exponent form from one million up ("123457", "1e+06", "0.5").
void appendNumber(std::string& out, double v);
// Writes the number at `out` (room for 32 characters) and returns the end.
char* writeNumber(char* out, double v);
std::string formatNumber(double v);

}  // namespace qel::plot
