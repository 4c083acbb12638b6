// CompiledCode: the byte code of every expression. One opcode byte (0-44)
// followed by its inline operands, packed little-endian, ended by opcode 8.
// Jump operands are relative to the operand's own first byte. This header
// gives the opcodes, their operand sizes, a writer (used by the compiler and
// by tests), a bounds-checked reader and a disassembler for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum Opcode : uint8_t {
  OP_ADD = 0,
  OP_SUB = 1,
  OP_DIV = 2,
  OP_MUL = 3,
  OP_POW = 4,
  OP_PLUS = 5,
  OP_NEG = 6,
  OP_PERCENT = 7,
  OP_END = 8,
  OP_NUMBER = 9,         // u8 point count, f64
  OP_FIELD = 10,         // u32 field number
  OP_TABLE = 11,         // u32 table slot
  OP_CALL = 12,          // u32 word (bits 0-14 slot, bit 15 logical), u8 argc
  OP_TRUE = 13,
  OP_FALSE = 14,
  OP_EQ = 15,
  OP_NE = 16,
  OP_LE = 17,
  OP_GE = 18,
  OP_LT = 19,
  OP_GT = 20,
  OP_AND = 21,
  OP_OR = 22,
  OP_NOT = 23,
  OP_CONCAT = 24,
  OP_CONCAT_TRIM = 25,
  OP_CONTAINS = 26,
  OP_STRING = 27,        // u32 n (bytes incl. NUL), n bytes
  OP_EMPTY_ARG = 28,
  OP_DATE_DIFF = 29,
  OP_DATE_ADD = 30,
  OP_DATE_SUB = 31,
  OP_MERGE_FLAGS = 32,
  OP_FIELD_PREV = 33,    // u32 field number
  OP_EMPTY_LONGTEXT = 34,
  OP_PARAM = 35,         // u32 parameter index
  OP_UDF_CALL = 36,      // u32 word (bits 0-14 id, bit 15 logical), u8 argc
  OP_PARAM_PREV = 37,    // u32 parameter index
  OP_BAD_38 = 38,
  OP_JUMP_FALSE = 39,    // i32 offset
  OP_JUMP = 40,          // i32 offset
  OP_DATE = 41,          // u32 day
  OP_DATETIME = 42,      // u32 day, f64 time
  OP_TIME = 43,          // f64 time
  OP_KEYWORD = 44,       // u8 tag, u8 value
};

constexpr uint8_t kLastOpcode = 44;
constexpr uint32_t kCallLogicalBit = 0x8000;
constexpr uint32_t kCallIdMask = 0x7FFF;

// Inline operand bytes after an opcode; -1 for opcodes that are bad (38, > 44).
// OP_STRING gives 4: its text length follows in the operand.
int OperandSize(uint8_t op);

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

// Little-endian operand access.
inline uint32_t ReadU32(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint32_t v;
  __builtin_memcpy(&v, p, 4);
  return v;
#else
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
#endif
}
inline void WriteU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
double ReadF64(const uint8_t* p);
void WriteF64(uint8_t* p, double v);
