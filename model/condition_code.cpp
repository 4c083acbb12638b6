#include "model/condition_code.h"

#include <cstring>

size_t ConditionTokenSize(const uint8_t* p, const uint8_t* end) {
  if (p >= end) return 0;
  size_t n = FixedConditionTokenSize(*p);
  if (n == 0) {  // a text: up to and with its NUL
    const void* nul = std::memchr(p + kCondPayload, 0, static_cast<size_t>(end - p - kCondPayload));
    if (nul == nullptr) return 0;
    n = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) + 1;
  }
  return n <= static_cast<size_t>(end - p) ? n : 0;
}
