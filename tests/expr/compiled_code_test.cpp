#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/compiled_code.h"

// Code for every opcode, read back instruction by instruction.
TEST(CompiledCodeTest, EveryOpcodeRoundTrips) {
  CodeWriter w;
  for (uint8_t op : {0, 1, 2, 3, 4, 5, 6, 7}) w.Op(op);
  w.Number(2.5, 2);
  w.Field(7), w.Table(3), w.Call(56, 3, true);
  for (uint8_t op = 13; op <= 26; ++op) w.Op(op);
  w.String("AB", 2), w.Op(OP_EMPTY_ARG);
  for (uint8_t op : {29, 30, 31, 32}) w.Op(op);
  w.FieldPrev(8), w.Op(OP_EMPTY_LONGTEXT), w.Param(1), w.UdfCall(0x7FFF, 2), w.ParamPrev(0);
  const size_t j = w.Jump(OP_JUMP_FALSE);
  const size_t k = w.Jump(OP_JUMP);
  w.Date(292499), w.DateTime(5, 1.5), w.Time(-2.0), w.Keyword(24, 7);
  w.PatchJump(j, w.size());
  w.PatchJump(k, w.size());
  w.End();

  std::vector<uint8_t> code = w.bytes();
  EXPECT_EQ(CompiledCodeLength(code.data(), code.size()), code.size());
  CodeReader r(code.data(), code.size());
  Instruction in;
  std::vector<uint8_t> ops;
  while (r.Next(&in)) {
    ops.push_back(in.op);
    switch (in.op) {
      case OP_NUMBER: EXPECT_EQ(in.f64, 2.5); EXPECT_EQ(in.u8, 2); break;
      case OP_FIELD: EXPECT_EQ(in.u32, 7u); break;
      case OP_CALL: EXPECT_EQ(in.u32, 56u | kCallLogicalBit); EXPECT_EQ(in.u8, 3); break;
      case OP_STRING: EXPECT_EQ(in.u32, 3u); EXPECT_STREQ(in.text, "AB"); break;
      case OP_UDF_CALL: EXPECT_EQ(in.u32 & kCallIdMask, 0x7FFFu); EXPECT_EQ(in.u8, 2); break;
      case OP_JUMP_FALSE: EXPECT_EQ(in.offset + 1 + in.jump, code.size() - 1); break;
      case OP_DATETIME: EXPECT_EQ(in.u32, 5u); EXPECT_EQ(in.f64, 1.5); break;
      case OP_TIME: EXPECT_EQ(in.f64, -2.0); break;
      case OP_KEYWORD: EXPECT_EQ(in.u8, 24); EXPECT_EQ(in.u8b, 7); break;
      default: break;
    }
  }
  EXPECT_FALSE(r.bad());
  EXPECT_EQ(ops.size(), 45u - 1u);  // every opcode but 38
  EXPECT_EQ(ops.back(), OP_END);
  // Operands are little-endian whatever the machine.
  EXPECT_EQ(code[18], OP_FIELD);
  EXPECT_EQ(code[19], 7);
  EXPECT_EQ(code[22], 0);

  const std::string text = DisassembleCode(code.data(), code.size());
  EXPECT_NE(text.find("NUMBER 2.5 (2)"), std::string::npos);
  EXPECT_NE(text.find("CALL 56/3 L"), std::string::npos);
  EXPECT_NE(text.find("STRING \"AB\""), std::string::npos);
  EXPECT_NE(text.find("KEYWORD 24:7"), std::string::npos);
}

TEST(CompiledCodeTest, EmptyStringAndOperandSizes) {
  CodeWriter w;
  w.String("", 0);
  EXPECT_EQ(w.size(), 6u);  // opcode, length 1, one zero byte
  EXPECT_EQ(w.bytes()[1], 1);
  EXPECT_EQ(OperandSize(OP_NUMBER), 9);
  EXPECT_EQ(OperandSize(OP_CALL), 5);
  EXPECT_EQ(OperandSize(OP_DATETIME), 12);
  EXPECT_EQ(OperandSize(38), -1);
  EXPECT_EQ(OperandSize(45), -1);
}

// Hostile code: the reader stops, never reading past the buffer.
TEST(CompiledCodeTest, ReaderRefusesBadAndTruncatedCode) {
  const uint8_t bad[] = {OP_TRUE, 38, OP_END};
  CodeReader r(bad, sizeof bad);
  Instruction in;
  EXPECT_TRUE(r.Next(&in));
  EXPECT_FALSE(r.Next(&in));
  EXPECT_TRUE(r.bad());
  EXPECT_EQ(CompiledCodeLength(bad, sizeof bad), 0u);

  const uint8_t truncated[] = {OP_NUMBER, 0, 1, 2};
  CodeReader t(truncated, sizeof truncated);
  EXPECT_FALSE(t.Next(&in));
  EXPECT_TRUE(t.bad());

  // A string whose length runs past the end of the code.
  const uint8_t longString[] = {OP_STRING, 0xFF, 0xFF, 0xFF, 0x7F, 'A', 0, OP_END};
  CodeReader s(longString, sizeof longString);
  EXPECT_FALSE(s.Next(&in));
  EXPECT_TRUE(s.bad());
  EXPECT_NE(DisassembleCode(longString, sizeof longString).find("BAD"), std::string::npos);

  const uint8_t noEnd[] = {OP_TRUE, OP_FALSE};
  EXPECT_EQ(CompiledCodeLength(noEnd, sizeof noEnd), 0u);
  EXPECT_EQ(CompiledCodeLength(nullptr, 10), 0u);
}

TEST(CompiledCodeTest, JumpsAreRelativeToTheirOperand) {
  CodeWriter w;
  w.Op(OP_TRUE);
  const size_t at = w.Jump(OP_JUMP_FALSE);
  w.Number(1);
  w.PatchJump(at, w.size());
  w.End();
  std::vector<uint8_t> code = w.bytes();
  EXPECT_EQ(GetU32(&code[at]), 4u + 10u);  // own operand and the number
  // Moved code runs the same: nothing in it is absolute.
  std::vector<uint8_t> moved(7 + code.size(), OP_PLUS);
  std::copy(code.begin(), code.end(), moved.begin() + 7);
  CodeReader r(moved.data(), moved.size());
  Instruction in;
  while (r.Next(&in) && in.op != OP_JUMP_FALSE) {
  }
  EXPECT_EQ(moved[in.offset + 1 + in.jump], OP_END);
}
