// The record filter's condition code, as report files store it and as the
// filter rebuilds it for evaluation: its token bytes, the size of every
// token, and the readers and writers of token values. Every reader and writer
// of either code steps and reads through these, so the layout is stated here
// only.
//
// Stored code: per condition row, [and|or] ( ... field-token operator
// operand-tokens* end-mark ) ... and a closing 0.
// Evaluation code: prefix order; and, or, one-of and none-of carry the byte
// length of what follows them (see the length helpers below).
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/byte_order.h"

// Token types. Every token is its type byte followed by its payload, all
// values little-endian.
constexpr uint8_t kCondField = 0x20;      // u32 field number
constexpr uint8_t kCondText = 0x22;       // text, NUL
constexpr uint8_t kCondNumber = 0x23;     // double
constexpr uint8_t kCondDate = 0x24;       // u32 day or day pattern
constexpr uint8_t kCondLogical = 0x25;    // one byte
constexpr uint8_t kCondText2 = 0x26;      // text, NUL
constexpr uint8_t kCondEndMark = 0x2A;
constexpr uint8_t kCondDateTime = 0x30;   // u32 day, double time
constexpr uint8_t kCondTime = 0x31;       // double
// Operators.
enum ConditionOperator : uint8_t {
  kCondEnd = 0,
  kCondEqual = 1,
  kCondNotEqual = 2,
  kCondGreater = 3,
  kCondGreaterEqual = 4,
  kCondLess = 5,
  kCondLessEqual = 6,
  kCondBetween = 7,
  kCondNotBetween = 8,
  kCondOneOf = 9,
  kCondNoneOf = 10,
  kCondLike = 11,
  kCondNotLike = 12,
  kCondIsNull = 13,
  kCondIsNotNull = 14,
  kCondAnd = 24,
  kCondOr = 25,
  kCondOpen = 40,
  kCondClose = 41,
};

// A value token (a field or a literal) rather than an operator or bracket.
constexpr bool IsConditionOperand(uint8_t b) {
  return b == kCondField || (b >= kCondText && b <= kCondText2) || b == kCondDateTime || b == kCondTime;
}
// One of the comparisons that make a condition (equal ... is not null).
constexpr bool IsConditionComparison(uint8_t op) { return op >= kCondEqual && op <= kCondIsNotNull; }

// ---- Token layout

// The payload follows the type byte; a date-time's time follows its day.
constexpr size_t kCondPayload = 1;
constexpr size_t kCondTimeOfDateTime = kCondPayload + 4;

// Size of a token whose size its type tells: the type byte and payload.
// A text token (type, bytes, NUL) has no fixed size: 0. Operators, brackets
// and marks are one byte.
constexpr size_t FixedConditionTokenSize(uint8_t type) {
  switch (type) {
    case kCondField:
    case kCondDate:
      return kCondPayload + 4;
    case kCondNumber:
    case kCondTime:
      return kCondPayload + 8;
    case kCondLogical:
      return kCondPayload + 1;
    case kCondDateTime:
      return kCondTimeOfDateTime + 8;
    case kCondText:
    case kCondText2:
      return 0;
    default:
      return 1;
  }
}
constexpr size_t kCondFieldSize = FixedConditionTokenSize(kCondField);
constexpr size_t kCondNumberSize = FixedConditionTokenSize(kCondNumber);
constexpr size_t kCondDateSize = FixedConditionTokenSize(kCondDate);
constexpr size_t kCondLogicalSize = FixedConditionTokenSize(kCondLogical);
constexpr size_t kCondDateTimeSize = FixedConditionTokenSize(kCondDateTime);
constexpr size_t kCondTimeSize = FixedConditionTokenSize(kCondTime);
// The longest token of fixed size.
constexpr size_t kCondLongestFixedToken = kCondDateTimeSize;
// A text token of n bytes before its NUL.
constexpr size_t ConditionTextSize(size_t n) { return kCondPayload + n + 1; }
// A stored condition's field token and the operator byte after it.
constexpr size_t kCondFieldAndOperator = kCondFieldSize + 1;

// Size of the token at p (0 when it runs past end).
size_t ConditionTokenSize(const uint8_t* p, const uint8_t* end);

// ---- Token values (t points at the type byte; the caller knows its type)

inline uint32_t ConditionFieldNumber(const uint8_t* t) { return GetU32(t + kCondPayload); }
inline void SetConditionFieldNumber(uint8_t* t, uint32_t n) { PutU32(t + kCondPayload, n); }
// A date's or date-time's day.
inline uint32_t ConditionDay(const uint8_t* t) { return GetU32(t + kCondPayload); }
// A number's value or a time's microseconds.
inline double ConditionNumber(const uint8_t* t) { return GetF64(t + kCondPayload); }
inline double ConditionDateTimeTime(const uint8_t* t) { return GetF64(t + kCondTimeOfDateTime); }
inline uint8_t ConditionLogical(const uint8_t* t) { return t[kCondPayload]; }
// A text token's bytes, up to its NUL.
inline const char* ConditionText(const uint8_t* t) { return reinterpret_cast<const char*>(t + kCondPayload); }
// Bytes of a text token of size n (ConditionTokenSize), without its NUL.
constexpr size_t ConditionTextLength(size_t n) { return n - ConditionTextSize(0); }

// Writers of whole tokens; each returns the bytes written.
namespace condition_code_detail {
inline size_t PutU32Token(uint8_t* out, uint8_t type, uint32_t v) {
  out[0] = type;
  PutU32(out + kCondPayload, v);
  return FixedConditionTokenSize(type);
}
inline size_t PutDoubleToken(uint8_t* out, uint8_t type, double v) {
  out[0] = type;
  PutF64(out + kCondPayload, v);
  return FixedConditionTokenSize(type);
}
}  // namespace condition_code_detail
inline size_t PutConditionField(uint8_t* out, uint32_t n) {
  return condition_code_detail::PutU32Token(out, kCondField, n);
}
inline size_t PutConditionDate(uint8_t* out, uint32_t day) {
  return condition_code_detail::PutU32Token(out, kCondDate, day);
}
inline size_t PutConditionNumber(uint8_t* out, double v) {
  return condition_code_detail::PutDoubleToken(out, kCondNumber, v);
}
inline size_t PutConditionTime(uint8_t* out, double micros) {
  return condition_code_detail::PutDoubleToken(out, kCondTime, micros);
}
inline size_t PutConditionDateTime(uint8_t* out, uint32_t day, double time) {
  condition_code_detail::PutU32Token(out, kCondDateTime, day);
  PutF64(out + kCondTimeOfDateTime, time);
  return kCondDateTimeSize;
}
inline size_t PutConditionLogical(uint8_t* out, uint8_t v) {
  out[0] = kCondLogical;
  out[kCondPayload] = v;
  return kCondLogicalSize;
}

// ---- Evaluation code lengths

// The operators the evaluation code follows with a length.
constexpr bool HasConditionLength(uint8_t op) {
  return op == kCondAnd || op == kCondOr || op == kCondOneOf || op == kCondNoneOf;
}
// A length is one byte below 128, else two with the high bit set (15 bits,
// high byte first).
constexpr size_t kCondMaxLength = 0x7FFF;
constexpr size_t ConditionLengthBytes(size_t n) { return n < 0x80 ? 1 : 2; }
// Writes n (at most kCondMaxLength); returns the bytes written.
inline size_t PutConditionLength(uint8_t* out, size_t n) {
  if (n < 0x80) {
    out[0] = static_cast<uint8_t>(n);
    return 1;
  }
  out[0] = static_cast<uint8_t>((n >> 8) | 0x80);
  out[1] = static_cast<uint8_t>(n & 0xFF);
  return 2;
}
// Reads the length at p and moves p past it.
inline size_t ReadConditionLength(const uint8_t*& p) {
  size_t n = *p++;
  if (n & 0x80) n = ((n & 0x7F) << 8) | *p++;
  return n;
}
// The same within [p, end): false, p unmoved, when the length runs past end.
inline bool ReadConditionLength(const uint8_t*& p, const uint8_t* end, size_t* n) {
  if (p >= end || ((*p & 0x80) && end - p < 2)) return false;
  *n = ReadConditionLength(p);
  return true;
}

// Calls fn with each field token of the stored code, up to its end mark.
template <typename Fn>
void ForEachConditionField(const uint8_t* code, size_t length, Fn fn) {
  if (code == nullptr) return;
  const uint8_t* p = code;
  const uint8_t* end = code + length;
  while (p < end && *p != kCondEnd) {
    const size_t n = ConditionTokenSize(p, end);
    if (n == 0) return;
    if (*p == kCondField) fn(const_cast<uint8_t*>(p));
    p += n;
  }
}

// Field n went: numbers above it move down and references to it become the
// no-field number. 1 when the code referred to n.
int ConditionRenumberAfterFieldDelete(uint8_t* code, size_t length, uint32_t n);
int ConditionReferencesField(const uint8_t* code, size_t length, uint32_t n);
void ConditionReplaceFieldReference(uint8_t* code, size_t length, uint32_t n, uint32_t to);
