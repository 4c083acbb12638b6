// The markers of missing 8-byte values shared by the expression language and
// the report: the null number, infinities, the 8-byte null pattern and the
// text form of the 64-bit null integer, and the null and invalid dates.
#pragma once

#include <cfloat>
#include <cstdint>

// The application's null number is the negated largest double (the calendar
// header names it too); the null date is 0x80000001, the invalid date 0x7FFFFFFF.
// Inline: asked for every value of every record.
inline double GetNullNumber() { return -DBL_MAX; }
inline bool IsNullNumber(double v) { return v == -DBL_MAX; }
double GetPositiveInfinity();
double GetNegativeInfinity();
bool IsPositiveInfinity(uint32_t low, uint32_t high);
bool IsNegativeInfinity(uint32_t low, uint32_t high);
bool IsPositiveInfinity(double v);
// The 8-byte null marker: bytes 00 80 00 00 00 00 00 00 in memory order.
bool IsNullQword(const void* value);
void SetNullQword(void* out);
// "-9223372036854775808", the null 64-bit integer in text form.
bool IsMinInt64Text(const char* text);
void SetMinInt64Text(char* out);  // at least 21 bytes

// Bit patterns of doubles, for the tolerance comparisons.
uint64_t DoubleBits(double v);
double DoubleFromBits(uint64_t bits);
