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
#include <cstdint>
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
// Powers of ten that fit 64 bits.
inline constexpr uint64_t kPowerOfTen[20] = {1ull,
                                             10ull,
                                             100ull,
                                             1000ull,
                                             10000ull,
                                             100000ull,
                                             1000000ull,
                                             10000000ull,
                                             100000000ull,
                                             1000000000ull,
                                             10000000000ull,
                                             100000000000ull,
                                             1000000000000ull,
                                             10000000000000ull,
                                             100000000000000ull,
                                             1000000000000000ull,
                                             10000000000000000ull,
                                             100000000000000000ull,
                                             1000000000000000000ull,
                                             10000000000000000000ull};

// How many decimal digits v has (1 for 0): the bit length gives the count
// or one less (1233 / 4096 is just over log10(2)).
inline int DecimalDigitCount(uint64_t v) {
  v |= 1;
  const int guess = ((64 - __builtin_clzll(v)) * 1233) >> 12;
  return guess + 1 - (v < kPowerOfTen[guess] ? 1 : 0);
}

// a times 10^decimals rounded as "%.*f" of a rounds it, for the usual report
// number: a at least 1e-3, decimals 0 to 9, a * 10^decimals below 9e15, and a
// not too near a half-way point of the last decimal. False otherwise.
bool FixedScaledInteger(double a, int decimals, uint64_t* scaled);
// The text of scaled / 10^decimals (decimals 0 to 9) as "%.*f" writes it,
// with `point` for the point and, when grouped, `thousands` between every
// three integer digits. out holds 40 characters; returns the length.
int PutScaledDigits(uint64_t scaled, int decimals, char point, bool grouped, char thousands, char* out);
// "%.*E" (or "%.*e" when upper is false) of v, with three exponent digits.
std::string FormatScientific(double v, int decimals, bool upper = true);
// Removes the first digit of a three-digit exponent ("E+004" -> "E+04"), in place.
void DropExponentDigit(char* text);
