// Writes stored condition code the way the filter dialogs do, for tests of
// the record filter and of its SQL text.
#pragma once

#include "model/record_filter.h"

#include <cstdint>
#include <cstring>
#include <vector>

struct Cond {
  std::vector<uint8_t> b;
  Cond& Op(uint8_t op) { b.push_back(op); return *this; }
  Cond& Field(uint32_t n) { b.push_back(kCondField); U32(n); return *this; }
  Cond& Number(double v) {
    b.push_back(kCondNumber);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&v);
    b.insert(b.end(), p, p + 8);
    return *this;
  }
  Cond& Text(const char* s) {
    b.push_back(kCondText);
    b.insert(b.end(), s, s + std::strlen(s) + 1);
    return *this;
  }
  Cond& Date(uint32_t d) { b.push_back(kCondDate); U32(d); return *this; }
  Cond& Logical(uint8_t v) { b.push_back(kCondLogical); b.push_back(v); return *this; }
  Cond& EndMark() { b.push_back(kCondEndMark); return *this; }
  void U32(uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); }
};
