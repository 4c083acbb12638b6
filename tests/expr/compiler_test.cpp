#include "expr/compiler.h"

#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "core/compiled_code.h"
#include "expr_model_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<int> Ops(const std::vector<uint8_t>& code) {
  std::vector<int> ops;
  CodeReader r(code.data(), code.size());
  Instruction in;
  while (r.Next(&in)) ops.push_back(in.op);
  EXPECT_FALSE(r.bad());
  return ops;
}

std::vector<Instruction> Decode(const std::vector<uint8_t>& code) {
  std::vector<Instruction> all;
  CodeReader r(code.data(), code.size());
  Instruction in;
  while (r.Next(&in)) all.push_back(in);
  return all;
}

struct CompilerTest : ::testing::Test {
  TestModel t;
  std::vector<uint8_t> code;
  uint32_t pos = 0;
  int Err(const char* text) { return t.Compile(text, &code, &pos); }
};

}  // namespace

TEST_F(CompilerTest, PrecedenceAndPostfixShape) {
  ASSERT_EQ(Err("2^3^2"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{9, 9, 4, 9, 4, 8}));
  ASSERT_EQ(Err("-2^2"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{9, 6, 9, 4, 8}));
  ASSERT_EQ(Err("1 + 2 * 3 - 4 / 5 % 6"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{9, 9, 9, 3, 0, 9, 9, 2, 9, 7, 1, 8}));
  t.Add("A", kFieldNumeric);
  t.Add("B", kFieldNumeric);
  ASSERT_EQ(Err("NOT A = B"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{10, 10, 15, 23, 8}));
  ASSERT_EQ(Err("A > 1 .AND. B < 2 OR .NOT. .T."), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{10, 9, 20, 10, 9, 19, 21, 13, 23, 22, 8}));
  ASSERT_EQ(Err("(1 + 2) * +3"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{9, 9, 0, 9, 5, 3, 8}));
  ASSERT_EQ(Err("12.50"), 0);
  EXPECT_EQ(Decode(code)[0].u8, 3);
}

TEST_F(CompilerTest, OperandTypesChooseOpcodes) {
  t.Add("MEMO", kFieldMemo);
  t.Add("S", 0);
  ASSERT_EQ(Err("'A' + 'B'"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{27, 27, 24, 8}));
  ASSERT_EQ(Err("'A ' - 'B'"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{27, 27, 25, 8}));
  ASSERT_EQ(Err("'A' $ S"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{27, 10, 26, 8}));
  ASSERT_EQ(Err("DATE() - 1"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{28, 12, 9, 31, 8}));
  ASSERT_EQ(Err("1 + DATE()"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{9, 28, 12, 30, 8}));
  ASSERT_EQ(Err("DATE() - {12/31/1999}"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{28, 12, 41, 29, 8}));
  EXPECT_EQ(Decode(code)[2].u32, 146036u);
  ASSERT_EQ(Err("MEMO = 'x'"), 0);
  ASSERT_EQ(Err("''"), 0);
  EXPECT_EQ(Decode(code)[0].u32, 1u);  // an empty literal keeps its terminator

  EXPECT_EQ(Err("'A' * 2"), 6);
  EXPECT_EQ(pos, 7u);  // found when the end of the text is read
  EXPECT_EQ(Err("MEMO + 'x'"), 6);
  EXPECT_EQ(Err("'x' = MEMO"), 6);
  EXPECT_EQ(Err("DATE() * 2"), 6);
  EXPECT_EQ(Err("2 - DATE()"), 6);
  EXPECT_EQ(Err("1 $ 'a'"), 6);
  EXPECT_EQ(Err("DATE() + DATE()"), 6);
}

TEST_F(CompilerTest, CallArguments) {
  ASSERT_EQ(Err("SUBSTR('ABC', 2)"), 0);
  auto in = Decode(code);
  EXPECT_EQ(Ops(code), (std::vector<int>{27, 9, 28, 12, 8}));
  EXPECT_EQ(in[3].u32, 12u);
  EXPECT_EQ(in[3].u8, 3);
  ASSERT_EQ(Err("DATE()"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{28, 12, 8}));
  EXPECT_EQ(Decode(code)[1].u8, 1);
  ASSERT_EQ(Err("ISALPHA('a')"), 0);
  EXPECT_EQ(Decode(code)[1].u32, 30u | kCallLogicalBit);
  ASSERT_EQ(Err("LEFT (\"a\", 2)"), 0);
  ASSERT_EQ(Err("INLIST(1, 2, 3)"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{9, 32, 9, 32, 9, 32, 12, 8}));

  EXPECT_EQ(Err("MIN(1)"), 5);
  EXPECT_EQ(Err("MIN(1, 2, 3)"), 2);
  EXPECT_EQ(pos, 10u);  // at the surplus argument
  EXPECT_EQ(Err("LEN(5)"), 4);
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(Err("ISNULL(1)"), 18);
  EXPECT_EQ(Err("DATE(1)"), 2);
  EXPECT_EQ(Err("MIN(1,)"), 5);
  EXPECT_EQ(Err("MIN 1"), 1);
  EXPECT_EQ(Err("DTEADD(YEAR, 1)"), 5);
}

TEST_F(CompilerTest, CaseRule) {
  t.Add("A", kFieldNumeric);
  ASSERT_EQ(Err("CASE(A, 1, 'X', 'Y')"), 0);
  EXPECT_EQ(Ops(code), (std::vector<int>{10, 32, 9, 32, 27, 32, 27, 32, 12, 8}));
  ASSERT_EQ(Err("CASE(A, 1, 'X', 2, 'Z', 'Y') + 'q'"), 0);
  EXPECT_EQ(Err("CASE(A, 1, 'X')"), 17);
  EXPECT_EQ(Err("CASE(A, 1, 'X', 2, 'Y')"), 17);
  EXPECT_EQ(Err("CASE(A, 'a', 'X', 'Y')"), 4);
  EXPECT_EQ(Err("CASE(A, 1, 'X', 3)"), 4);
  EXPECT_EQ(Err("CASE(A, , 'X', 'Y')"), 5);
}

TEST_F(CompilerTest, IifJumpsAndNesting) {
  ASSERT_EQ(Err("IIF(1 > 2, 'a', 'bc')"), 0);
  auto in = Decode(code);
  ASSERT_EQ(Ops(code), (std::vector<int>{9, 9, 20, 39, 27, 40, 27, 12, 8}));
  // Offsets are relative to the operand's first byte.
  EXPECT_EQ(in[3].offset + 1 + static_cast<size_t>(in[3].jump), in[6].offset);
  EXPECT_EQ(in[5].offset + 1 + static_cast<size_t>(in[5].jump), in[7].offset);
  EXPECT_EQ(in[7].u32, 56u);
  EXPECT_EQ(in[7].u8, 3);
  EXPECT_EQ(Err("IIF(1, 'a', 2)"), 4);

  auto nested = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "IIF(1,";
    s += "1";
    for (int i = 0; i < n; ++i) s += ",1)";
    return s;
  };
  EXPECT_EQ(Err(nested(100).c_str()), 0);
  EXPECT_EQ(Err(nested(101).c_str()), 20);
}

TEST_F(CompilerTest, ErrorsAndTheirPositions) {
  int cust = t.AddTable("CUST");
  int ord = t.AddTable("ORD");
  t.Add("NAME", 0, static_cast<uint8_t>(cust));
  t.Add("NAME", 0, static_cast<uint8_t>(ord));
  FieldDef* gone = t.Add("GONE", kFieldNumeric);
  gone->flags2 |= kField2NotInTable;
  FieldDef* q = t.Add("Q", 0);
  q->flags2 |= kField2FilterText;

  EXPECT_EQ(Err(""), 1);
  EXPECT_EQ(Err("1 2"), 1);
  EXPECT_EQ(Err("1 +"), 1);
  EXPECT_EQ(Err("(1 + 2"), 11);
  EXPECT_EQ(pos, 6u);
  EXPECT_EQ(Err("1 + 2)"), 11);
  EXPECT_EQ(Err("1 + NOSUCH"), 12);
  EXPECT_EQ(pos, 4u);
  EXPECT_EQ(Err("'abc"), 13);
  EXPECT_EQ(Err("NAME"), 15);
  EXPECT_EQ(Err("ORD.NAME + 'x'"), 0);
  EXPECT_EQ(Err("GONE"), 62);
  EXPECT_EQ(Err("Q"), 58);
  EXPECT_EQ(Err("{12/*/1999}"), 55);  // a wildcard pattern is no date value
  EXPECT_EQ(Err("{}"), 0);
  EXPECT_EQ(Err("CUST"), 1);  // a lone table is no value
  EXPECT_EQ(Err("YEAR"), 1);
  EXPECT_EQ(Err(std::string(1100, '1').c_str()), 9);
  std::string deep(400, '(');
  EXPECT_EQ(Err((deep + "1").c_str()), 11);

  EXPECT_STREQ(CompileErrorText(11), "Unbalanced parenthesis");
  EXPECT_STREQ(CompileErrorText(55), "Invalid date value");
  EXPECT_STREQ(CompileErrorText(3), "Syntax error");
  EXPECT_STREQ(CompileErrorText(0), "Syntax error");
  EXPECT_STREQ(CompileErrorText(999), "Syntax error");
}

TEST_F(CompilerTest, FieldsTryTheirTypesAndKeepPreviousValues) {
  FieldDef* amount = t.Add("AMOUNT", kFieldNumeric);
  FieldDef* total = t.AddCalc("RUNNING", "PREVIOUS(RUNNING) + AMOUNT");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(total->flags & kFieldKindMask, kFieldNumeric);
  EXPECT_TRUE(total->flags & kFieldDoubleWidth);
  EXPECT_FALSE(amount->flags & kFieldDoubleWidth);
  EXPECT_EQ(Ops(std::vector<uint8_t>(total->code, total->code + total->codeLength)),
            (std::vector<int>{33, 12, 10, 0, 8}));

  FieldDef* label = t.AddCalc("LABEL", "IIF(AMOUNT > 0, 'plus', 'minus')");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(label->flags & kFieldKindMask, 0u);
  FieldDef* when = t.AddCalc("WHEN", "DATE() + 30");
  ASSERT_EQ(t.lastError, 0);
  EXPECT_EQ(when->flags & kFieldKindMask, kFieldDate);
  FieldDef* flag = t.AddCalc("FLAG", "AMOUNT > 100");
  EXPECT_EQ(flag->flags & kFieldKindMask, kFieldLogical);
  t.AddCalc("BAD", "AMOUNT +");
  EXPECT_EQ(t.lastError, 1);
}

// Arbitrary bytes and mangled expressions never crash the compiler.
TEST_F(CompilerTest, SurvivesArbitraryInput) {
  t.Add("A", kFieldNumeric);
  t.Add("B", 0);
  t.AddTable("T");
  std::mt19937 rng(12345);
  const std::string corpus[] = {"IIF(A > 1, B, 'x')", "CASE(A, 1, 'a', 'b')", "{12/31/1999 10:30}",
                                "SUBSTR(B, 1, 2) + TRIM(B)", "DTEADD(MONTH, 1, NOW())", "A.AND.B"};
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    if (i % 2) {
      int n = static_cast<int>(rng() % 64);
      for (int k = 0; k < n; ++k) s += static_cast<char>(1 + rng() % 255);
    } else {
      s = corpus[rng() % 6];
      int edits = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < edits && !s.empty(); ++k) {
        size_t at = rng() % s.size();
        const char pool[] = "(),'\"[]{}+-*/^%$#<>=!.\\ AZ09";
        if (rng() % 2) s[at] = pool[rng() % (sizeof pool - 1)];
        else s.erase(at, 1);
      }
    }
    std::vector<uint8_t> c;
    uint32_t p = 0;
    int err = t.Compile(s.c_str(), &c, &p);
    if (err == 0) {
      ASSERT_FALSE(c.empty());
      ASSERT_EQ(CompiledCodeLength(c.data(), c.size()), c.size()) << s;
    } else {
      ASSERT_LE(p, s.size()) << s;
    }
  }
}
