// CompiledCode: the byte code of every expression. One opcode byte (0-44)
// followed by its inline operands, packed little-endian, ended by opcode 8.
// Jump operands are relative to the operand's own first byte. This header
// gives the opcodes and their formats (one list), a writer (used by the
// compiler and by tests), a bounds-checked reader and a disassembler for tests.
#pragma once

#include "foundation/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/byte_order.h"

// Operand layouts, packed little-endian after the opcode byte.
enum class Operands : uint8_t {
  kNone,
  kU32,       // field or parameter number, table slot, day
  kNumber,    // u8 point count (0 without a point, else 1 + decimals), f64
  kCall,      // u32 word (bits 0-14 slot or id, bit 15 logical result), u8 argc
  kString,    // u32 n (bytes incl. NUL), then the n bytes
  kJump,      // i32 offset from the operand's first byte
  kDateTime,  // u32 day, f64 time
  kTime,      // f64 time
  kKeyword,   // u8 tag, u8 value
  kBad,       // not an opcode
};

// Fixed operand bytes of a layout; a string's text follows its 4.
constexpr int OperandLayoutSize(Operands layout) {
  switch (layout) {
    case Operands::kNone: return 0;
    case Operands::kU32: return 4;
    case Operands::kNumber: return 1 + 8;
    case Operands::kCall: return 4 + 1;
    case Operands::kString: return 4;
    case Operands::kJump: return 4;
    case Operands::kDateTime: return 4 + 8;
    case Operands::kTime: return 8;
    case Operands::kKeyword: return 1 + 1;
    case Operands::kBad: return -1;
  }
  return -1;
}

// Every opcode once, in order: its name, number and operand layout, and for
// an operator a data source can compute, the key of its SQL template. The
// enum, the operand sizes, the disassembler's names and the SQL translation
// all come from this list.
#define VORTELLE_OPCODES(X)             \
  X(ADD, 0, kNone, "plus")              \
  X(SUB, 1, kNone, "minus")             \
  X(DIV, 2, kNone, "div")               \
  X(MUL, 3, kNone, "mul")               \
  X(POW, 4, kNone, "oexp")              \
  X(PLUS, 5, kNone, "uplus")            \
  X(NEG, 6, kNone, "uminus")            \
  X(PERCENT, 7, kNone, "pct")           \
  X(END, 8, kNone, nullptr)             \
  X(NUMBER, 9, kNumber, nullptr)        \
  X(FIELD, 10, kU32, nullptr)           \
  X(TABLE, 11, kU32, nullptr)           \
  X(CALL, 12, kCall, nullptr)           \
  X(TRUE, 13, kNone, nullptr)           \
  X(FALSE, 14, kNone, nullptr)          \
  X(EQ, 15, kNone, "eq")                \
  X(NE, 16, kNone, "neq")               \
  X(LE, 17, kNone, "le")                \
  X(GE, 18, kNone, "ge")                \
  X(LT, 19, kNone, "lt")                \
  X(GT, 20, kNone, "gt")                \
  X(AND, 21, kNone, "and")              \
  X(OR, 22, kNone, "or")                \
  X(NOT, 23, kNone, "not")              \
  X(CONCAT, 24, kNone, "cat")           \
  X(CONCAT_TRIM, 25, kNone, "tcat")     \
  X(CONTAINS, 26, kNone, "osubstr")     \
  X(STRING, 27, kString, nullptr)       \
  X(EMPTY_ARG, 28, kNone, nullptr)      \
  X(DATE_DIFF, 29, kNone, "datedif")    \
  X(DATE_ADD, 30, kNone, "plusdays")    \
  X(DATE_SUB, 31, kNone, "osubdays")    \
  X(MERGE_FLAGS, 32, kNone, nullptr)    \
  X(FIELD_PREV, 33, kU32, nullptr)      \
  X(EMPTY_LONGTEXT, 34, kNone, nullptr) \
  X(PARAM, 35, kU32, nullptr)           \
  X(UDF_CALL, 36, kCall, nullptr)       \
  X(PARAM_PREV, 37, kU32, nullptr)      \
  X(BAD_38, 38, kBad, nullptr)          \
  X(JUMP_FALSE, 39, kJump, nullptr)     \
  X(JUMP, 40, kJump, nullptr)           \
  X(DATE, 41, kU32, nullptr)            \
  X(DATETIME, 42, kDateTime, nullptr)   \
  X(TIME, 43, kTime, nullptr)           \
  X(KEYWORD, 44, kKeyword, nullptr)

// The names are pasted, never expanded: TRUE, DATE and the like stay words.
enum Opcode : uint8_t {
#define VORTELLE_OPCODE_ENUM(name, number, layout, sqlKey) OP_##name = number,
  VORTELLE_OPCODES(VORTELLE_OPCODE_ENUM)
#undef VORTELLE_OPCODE_ENUM
};

struct OpcodeFormat {
  uint8_t number;
  Operands operands;
  const char* name;    // for the disassembler
  const char* sqlKey;  // template key of an operator; null for anything else
};

inline constexpr OpcodeFormat kOpcodeFormats[] = {
#define VORTELLE_OPCODE_FORMAT(name, number, layout, sqlKey) {number, Operands::layout, #name, sqlKey},
    VORTELLE_OPCODES(VORTELLE_OPCODE_FORMAT)
#undef VORTELLE_OPCODE_FORMAT
};

constexpr size_t kOpcodeCount = sizeof kOpcodeFormats / sizeof kOpcodeFormats[0];
constexpr uint8_t kLastOpcode = static_cast<uint8_t>(kOpcodeCount - 1);
constexpr uint32_t kCallLogicalBit = 0x8000;
constexpr uint32_t kCallIdMask = 0x7FFF;

// The formats are looked up by opcode, so the list must run 0, 1, 2, ...
constexpr bool OpcodeFormatsInOrder() {
  for (size_t i = 0; i < kOpcodeCount; ++i)
    if (kOpcodeFormats[i].number != i) return false;
  return true;
}
static_assert(OpcodeFormatsInOrder(), "VORTELLE_OPCODES must list the opcodes in order");

constexpr Operands OperandLayout(uint8_t op) {
  return op < kOpcodeCount ? kOpcodeFormats[op].operands : Operands::kBad;
}

// Inline operand bytes after an opcode; -1 for opcodes that are bad (38, > 44).
// OP_STRING gives 4: its text length follows in the operand.
constexpr int OperandSize(uint8_t op) { return OperandLayoutSize(OperandLayout(op)); }

// Operand bytes of an opcode known when compiling, for the evaluators' steps;
// opcodes handled by one case must share their layout.
template <uint8_t Op, uint8_t... Same>
constexpr size_t OperandBytesOf() {
  static_assert(OperandSize(Op) >= 0, "a bad opcode has no operands");
  static_assert(((OperandLayout(Same) == OperandLayout(Op)) && ...), "opcodes of one case differ in layout");
  return static_cast<size_t>(OperandSize(Op));
}
template <uint8_t Op, uint8_t... Same>
constexpr size_t kOperandBytes = OperandBytesOf<Op, Same...>();

// The SQL template key of an operator opcode; null when it has none.
constexpr const char* OpcodeSqlKey(uint8_t op) { return op < kOpcodeCount ? kOpcodeFormats[op].sqlKey : nullptr; }

// Builds code in a growing buffer. Each Emit* returns the offset of the
// instruction it wrote; jumps are patched once their target is known.
class CodeWriter {
 public:
  size_t Op(uint8_t op);
  size_t Number(double value, uint8_t pointCount = 0);
  size_t Field(uint32_t n) { return U32Op(OP_FIELD, n); }
  size_t FieldPrev(uint32_t n) { return U32Op(OP_FIELD_PREV, n); }
  size_t Table(uint32_t slot) { return U32Op(OP_TABLE, slot); }
  size_t Call(uint32_t slot, uint8_t argc, bool logical = false);
  size_t UdfCall(uint32_t id, uint8_t argc, bool logical = false);
  size_t String(const char* text, size_t length);
  size_t String(const std::string& text) { return String(text.data(), text.size()); }
  size_t Param(uint32_t index) { return U32Op(OP_PARAM, index); }
  size_t ParamPrev(uint32_t index) { return U32Op(OP_PARAM_PREV, index); }
  size_t Date(uint32_t day) { return U32Op(OP_DATE, day); }
  size_t DateTime(uint32_t day, double time);
  size_t Time(double time);
  size_t Keyword(uint8_t tag, uint8_t value);
  // A jump with a zero offset; returns the offset of its operand for PatchJump.
  size_t Jump(uint8_t op);
  // Makes the jump whose operand is at operandAt land on target.
  void PatchJump(size_t operandAt, size_t target);
  size_t End() { return Op(OP_END); }

  size_t size() const { return bytes_.size(); }
  const uint8_t* data() const { return bytes_.data(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  size_t U32Op(uint8_t op, uint32_t v);
  void PutU32(uint32_t v);
  void PutF64(double v);
  std::vector<uint8_t> bytes_;
};

// One decoded instruction.
struct Instruction {
  uint8_t op = 0;
  size_t offset = 0;        // of the opcode byte
  size_t length = 0;        // opcode and operands
  uint8_t u8 = 0;           // point count, argc, keyword tag
  uint8_t u8b = 0;          // keyword value
  uint32_t u32 = 0;         // field, table, slot word, index, day, string length
  int32_t jump = 0;         // jump offset
  double f64 = 0.0;         // number, time
  const char* text = nullptr;  // string literal bytes (u32 of them, NUL included)
};

// Steps through code without ever reading past its end.
class CodeReader {
 public:
  CodeReader(const uint8_t* code, size_t length) : code_(code), length_(length) {}
  // False at the end of the buffer, on a bad opcode or a truncated operand
  // (bad() tells which); the instruction is valid only when true.
  bool Next(Instruction* out);
  bool bad() const { return bad_; }
  size_t position() const { return pos_; }
  void Seek(size_t pos) { pos_ = pos; }

 private:
  const uint8_t* code_;
  size_t length_;
  size_t pos_ = 0;
  bool bad_ = false;
};

// Length of code up to and including its opcode 8; 0 when the code is bad or
// has no end within maxLength.
size_t CompiledCodeLength(const uint8_t* code, size_t maxLength);

// One line per instruction ("0009 NUMBER 2.5"), for tests and debugging.
std::string DisassembleCode(const uint8_t* code, size_t length);

// Little-endian operands, doubles among them: foundation/byte_order.h.
