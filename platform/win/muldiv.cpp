#include "platform/win/muldiv.h"

#include <cstdint>

INT MulDiv(INT a, INT b, INT c) {
  if (c == 0) return -1;
  int64_t product = static_cast<int64_t>(a) * b;
  int64_t divisor = c;
  if (divisor < 0) {
    divisor = -divisor;
    product = -product;
  }
  // Half the divisor added away from zero, then a truncating division.
  int64_t q = product >= 0 ? (product + divisor / 2) / divisor : (product - divisor / 2) / divisor;
  if (q > INT32_MAX || q < -INT32_MAX) return -1;
  return static_cast<INT>(q);
}
