// The cells of the two evaluators' stacks. The value evaluator keeps
// TaggedStackValue cells in a byte stack: payload, one status byte, one tag
// byte, read from their end. The type evaluator keeps ValueCell descriptions.
#pragma once

#include <cstddef>
#include <cstdint>

// Tags of TaggedStackValue cells.
enum StackTag : uint8_t {
  kTagNumber = 1,
  kTagString = 4,
  kTagFieldRef = 5,
  kTagEmptyArg = 6,
  kTagDate = 7,
  kTagTable = 8,
  kTagFieldPrevRef = 19,
  kTagEmptyLongText = 20,
  kTagQuery = 21,
  kTagDateTime = 22,
  kTagTime = 23,
  kTagDatePart = 24,
  kTagTimePart = 25,
  kTagTimeLayout = 27,
};

// A decoded view of the top cell (or any cell) of the value stack.
struct TaggedStackValue {
  uint8_t tag = 0;
  uint8_t status = 0;
  const uint8_t* payload = nullptr;  // first payload byte
  uint32_t payloadSize = 0;          // string: chars + NUL + 4
  uint32_t cellSize = 0;             // payload + status + tag
};

// Kinds of ValueCell.
enum ValueKind : uint32_t {
  kKindNumber = 1,
  kKindDate = 2,
  kKindString = 3,
  kKindLogical = 4,
  kKindTable = 5,
  kKindEmpty = 6,
  kKindDateTime = 7,
  kKindTime = 8,
  kKindKeyword = 9,
};
constexpr uint32_t kKindConstant = 0x8000;
constexpr uint32_t kKindMask = 0x7FFF;

// Output format words described by the type evaluator.
constexpr uint32_t kFormatNumber = 0x3005;
constexpr uint32_t kFormatText = 0x11;
constexpr uint32_t kFormatLongText = 0x140;
constexpr uint32_t kFormatDate = 0xA100;
constexpr uint32_t kFormatTime = 0x100;
constexpr uint32_t kFormat2DateTime = 0x8030;
constexpr uint32_t kFormat2Time = 0x8000;

// One description on the type evaluator's stack.
struct ValueCell {
  uint32_t kind = 0;
  uint32_t format = 0;
  uint32_t format2 = 0;
  uint32_t length = 0;   // string length in characters
  uint32_t width = 0;    // output width in characters
  uint8_t decimals = 0;
  uint8_t intDigits = 0;
  double value = 0.0;    // constants: number, keyword value, table slot
  uint8_t keywordTag = 0;
  // A string literal read as a number: digits before and after its point.
  uint8_t textIntDigits = 0;
  uint8_t textDecimals = 0;
};

inline uint32_t CellKind(const ValueCell& c) { return c.kind & kKindMask; }
