// Number text as users have always seen it: the rules of the legacy C
// runtime's printf, independent of the C library and of the locale.
// - exact decimal ties round half away from zero ("%.0f" of 2.5 is "3",
//   "%.2f" of 0.125 is "0.13");
// - digits beyond the 17th significant one print as zeros;
// - "%e"/"%E" print three exponent digits ("1.23E+004");
// - a negative number that rounds to zero prints without its sign (no "-0");
// - infinities and NaN print as "1.#INF" / "-1.#INF" / "1.#QNAN" text; callers
//   that print for output treat non-finite values as overflow first.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// printf-compatible: flags "-+ 0#", width and precision (numbers or '*'),
// length modifiers h l ll L; conversions d i u x X o c s f F e E g G %.
// Returns the length of the full text (as snprintf does) and writes at most
// size - 1 characters plus the terminator.
int LegacyFormat(char* out, size_t size, const char* format, ...);
int LegacyFormatV(char* out, size_t size, const char* format, va_list args);
std::string LegacyFormatString(const char* format, ...);

// "%.*f" of v.
std::string FormatFixed(double v, int decimals);
// "%.*E" (or "%.*e" when upper is false) of v, with three exponent digits.
std::string FormatScientific(double v, int decimals, bool upper = true);
// Removes the first digit of a three-digit exponent ("E+004" -> "E+04"), in place.
void DropExponentDigit(char* text);
