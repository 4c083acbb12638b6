#include "core/condition_code.h"

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

namespace {
// Numbers from here up name the program's own fields, never the report's.
constexpr uint32_t kSpecialFieldFloor = 0xFFFFFF00u;
}  // namespace

int ConditionRenumberAfterFieldDelete(uint8_t* code, size_t length, uint32_t n) {
  int gone = 0;
  ForEachConditionField(code, length, [&](uint8_t* token) {
    uint32_t v = ConditionFieldNumber(token);
    if (v >= kSpecialFieldFloor) return;
    if (v == n) {
      v = 0xFFFFFFFFu;
      gone = 1;
    } else if (v > n) {
      --v;
    }
    SetConditionFieldNumber(token, v);
  });
  return gone;
}

int ConditionReferencesField(const uint8_t* code, size_t length, uint32_t n) {
  int found = 0;
  ForEachConditionField(code, length, [&](uint8_t* token) {
    if (ConditionFieldNumber(token) == n) found = 1;
  });
  return found;
}

void ConditionReplaceFieldReference(uint8_t* code, size_t length, uint32_t n, uint32_t to) {
  ForEachConditionField(code, length, [&](uint8_t* token) {
    if (ConditionFieldNumber(token) == n) SetConditionFieldNumber(token, to);
  });
}
