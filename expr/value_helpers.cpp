#include "expr/value_helpers.h"

#include <cmath>
#include <cstring>
#include <limits>

double GetPositiveInfinity() { return std::numeric_limits<double>::infinity(); }
double GetNegativeInfinity() { return -std::numeric_limits<double>::infinity(); }

uint64_t DoubleBits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

double DoubleFromBits(uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

static bool EqualsQword(uint32_t low, uint32_t high, double constant) {
  uint64_t b = DoubleBits(constant);
  return low == static_cast<uint32_t>(b) && high == static_cast<uint32_t>(b >> 32);
}

bool IsPositiveInfinity(uint32_t low, uint32_t high) {
  return EqualsQword(low, high, GetPositiveInfinity());
}
bool IsNegativeInfinity(uint32_t low, uint32_t high) {
  return EqualsQword(low, high, GetNegativeInfinity());
}
bool IsPositiveInfinity(double v) { return v == GetPositiveInfinity(); }

static const unsigned char kNullQword[8] = {0x00, 0x80, 0, 0, 0, 0, 0, 0};

bool IsNullQword(const void* value) { return std::memcmp(value, kNullQword, 8) == 0; }
void SetNullQword(void* out) { std::memcpy(out, kNullQword, 8); }

static const char kMinInt64Text[] = "-9223372036854775808";

bool IsMinInt64Text(const char* text) { return std::strcmp(text, kMinInt64Text) == 0; }
void SetMinInt64Text(char* out) { std::memcpy(out, kMinInt64Text, sizeof kMinInt64Text); }
