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
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Two digits at a time: the text of 0..99.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the last `count` digits of v (leading zeros included) ending just
// before `end`; 32-bit steps once v fits them.
inline void PutDigitsBackward(uint64_t v, int count, char* end) {
  for (; count >= 2 && v > UINT32_MAX; count -= 2) {
    const unsigned pair = static_cast<unsigned>(v % 100);
    v /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * pair, 2);
  }
  uint32_t w = static_cast<uint32_t>(v);
  for (; count >= 2; count -= 2) {
    const uint32_t pair = w % 100;
    w /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * pair, 2);
  }
  if (count > 0) *--end = static_cast<char>('0' + w % 10);
}

// a times 10^decimals rounded as "%.*f" of a rounds it, for the usual report
// number: a at least 1e-3, decimals 0 to 9, a * 10^decimals below 9e15, and a
// not too near a half-way point of the last decimal. False otherwise. Such a
// value rounds the same from its exact binary value as from its 17 digits,
// and that exact rounding takes only integer arithmetic.
inline bool FixedScaledInteger(double a, int decimals, uint64_t* scaled) {
  if (decimals < 0 || decimals > 9 || !(a >= 1e-3)) return false;
  const double y = a * static_cast<double>(kPowerOfTen[decimals]);
  if (!(y < 9.0e15)) return false;
  // A whole number (ids, counts) has nothing to round.
  if (a < 4503599627370496.0) {  // 2^52
    const uint64_t integral = static_cast<uint64_t>(a);
    // Its rest is zero: the test against the half below, with fraction 0.
    if (static_cast<double>(integral) == a) {
      if (0.5 <= y * 1e-16 + 1e-15) return false;
      *scaled = integral * kPowerOfTen[decimals];
      return true;
    }
  }
  // a is normal here: its 53-bit significand m and a = m / 2^shift exactly,
  // read off its bits (a call of frexp and ldexp costs more than the rest).
  uint64_t bits = 0;
  std::memcpy(&bits, &a, sizeof bits);
  const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
  const int shift = 1075 - static_cast<int>((bits >> 52) & 0x7FF);
  if (shift < 0 || shift > 100) return false;
  const unsigned __int128 p = static_cast<unsigned __int128>(m) * kPowerOfTen[decimals];
  uint64_t whole = static_cast<uint64_t>(p >> shift);
  if (shift > 0) {
    const unsigned __int128 rest = p - (static_cast<unsigned __int128>(whole) << shift);
    // 2^-shift is a normal double for shift up to 100: its bits are its exponent.
    const uint64_t scaleBits = static_cast<uint64_t>(1023 - shift) << 52;
    double scale = 0;
    std::memcpy(&scale, &scaleBits, sizeof scale);
    // From a thousandth up the rest has fewer than 64 bits, and converts
    // without the library's 128-bit routine (to the same double).
    const double restValue =
        shift < 64 ? static_cast<double>(static_cast<uint64_t>(rest)) : static_cast<double>(rest);
    const double fraction = restValue * scale;
    // The 17 digits lie within half a unit of their 17th digit of the value,
    // at most y * 0.5e-16 in units of the last decimal asked for.
    if (std::fabs(fraction - 0.5) <= y * 1e-16 + 1e-15) return false;
    if (fraction > 0.5) ++whole;
  }
  *scaled = whole;
  return true;
}

// The text of scaled / 10^decimals (decimals 0 to 9) as "%.*f" writes it,
// with `point` for the point and, when grouped, `thousands` between every
// three integer digits. out holds 40 characters; returns the length.
int PutScaledDigits(uint64_t scaled, int decimals, char point, bool grouped, char thousands, char* out);
// "%.*E" (or "%.*e" when upper is false) of v, with three exponent digits.
std::string FormatScientific(double v, int decimals, bool upper = true);
// Removes the first digit of a three-digit exponent ("E+004" -> "E+04"), in place.
void DropExponentDigit(char* text);
