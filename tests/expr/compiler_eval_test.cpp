// Texts compiled and run by the value evaluator: the operators, and a call of
// every built-in that has a handler, with arguments of the declared types.
#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/compiler.h"
#include "expr/functions_common.h"
#include "expr/value_eval.h"
#include "expr_model_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct EvalRun {
  int compileError = 0;
  int32_t rc = -1;
  uint32_t flags = 0;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(8016);
  double number() const {
    double v;
    std::memcpy(&v, bytes.data(), 8);
    return v;
  }
  uint32_t u32() const {
    uint32_t v;
    std::memcpy(&v, bytes.data(), 4);
    return v;
  }
  std::string text() const { return reinterpret_cast<const char*>(bytes.data()); }
};

struct CompilerEval : ::testing::Test {
  TestModel t;
  std::vector<std::vector<uint8_t>> buffers;
  void SetUp() override {
    InstallBuiltinFunctionHandlers();
    Value("N", kFieldNumeric, 5.0);
    Value("M", kFieldNumeric, 7.0);
    FieldDef* s = t.Add("S", 0, 0);
    s->width = 10;
    buffers.emplace_back(2400, 0);
    s->value = buffers.back().data();
    s->previous = s->value + 1200;
    std::strcpy(reinterpret_cast<char*>(s->value), "abc");
  }
  void Value(const char* name, uint32_t kind, double v) {
    FieldDef* f = t.Add(name, kind, 0);
    buffers.emplace_back(2400, 0);
    f->value = buffers.back().data();
    f->previous = f->value + 1200;
    std::memcpy(f->value, &v, 8);
    std::memcpy(f->previous, &v, 8);
  }
  EvalRun Eval(const std::string& text) {
    EvalRun r;
    std::vector<uint8_t> code;
    uint32_t pos = 0;
    r.compileError = t.Compile(text.c_str(), &code, &pos);
    if (r.compileError) return r;
    int32_t prev = 0;
    r.rc = EvaluateCompiledExpression(&t.m, code.data(), r.bytes.data(), 0, &r.flags, &prev);
    return r;
  }
};

}  // namespace

TEST_F(CompilerEval, OperatorsEndToEnd) {
  EXPECT_DOUBLE_EQ(Eval("2^3^2").number(), 64);
  EXPECT_DOUBLE_EQ(Eval("-2^2").number(), 4);
  EXPECT_DOUBLE_EQ(Eval("N * M + (N - M) / 2").number(), 34);
  EXPECT_DOUBLE_EQ(Eval("200 % 10").number(), 20);
  EXPECT_EQ(Eval("N > 4 .AND. 'b' $ S").bytes[0], 1);  // a logical result is stored as a flag
  EXPECT_EQ(Eval("NOT N = 5").bytes[0], 0);
  EXPECT_EQ(Eval("S + 'x'").text().substr(0, 4), "abcx");
  EXPECT_EQ(Eval("S - 'cd'").text(), "abccd");
  // Blanks inside literals are pad characters, which the trimming keeps.
  EXPECT_EQ(Eval("'ab ' - 'cd'").text(), "ab\xB7" "cd");
  EXPECT_DOUBLE_EQ(Eval("IIF(N > 4, 10, 20)").number(), 10);
  EXPECT_DOUBLE_EQ(Eval("IIF(N > 9, 10, IIF(M = 7, 30, 40))").number(), 30);
  EXPECT_EQ(Eval("CASE(N, 1, 'one', 5, 'five', 'many')").text(), "five");
  EXPECT_DOUBLE_EQ(Eval("INLIST(M, 1, 3, 7)").number(), 3);  // the position of the match
  EXPECT_EQ(Eval("{12/31/1999} + 1").u32(), 146037u);
  EXPECT_EQ(Eval("{1/1/2000} - 1").u32(), 146036u);
  EXPECT_DOUBLE_EQ(Eval("{3/1/2000} - {2/1/2000}").number(), 29);
  EXPECT_DOUBLE_EQ(Eval("YEAR({12/31/1999})").number(), 1999);
  EXPECT_DOUBLE_EQ(Eval("LEN(SUBS('abcdef', 2))").number(), 5);
  EvalRun div = Eval("N / 0");
  EXPECT_EQ(div.rc, 0);
  EXPECT_TRUE(div.flags & 1);
}

TEST_F(CompilerEval, EveryBuiltinWithAHandlerCompilesAndRuns) {
  int ran = 0;
  for (uint32_t slot = 0; slot <= kHighestBuiltinSlot; ++slot) {
    const BuiltinFunctionRecord* rec = GetBuiltinFunction(slot);
    if (!rec || !rec->evaluate || !rec->name || !rec->name[0]) continue;
    std::string name = rec->name;
    // Calls that reach outside the process or need a data source.
    if (name == "CDLL" || name == "SQLEXP" || name == "QUERY" || name == "KMUNIN") continue;
    std::string call = name + "(";
    uint8_t count = BuiltinArgCount(slot);
    if (count == kArgCountCase) {
      call += "N, 1, 'a', 'b'";
    } else {
      unsigned n = count == kArgCountRepeat ? 3 : count;
      std::string last;
      for (unsigned i = 0; i < n; ++i) {
        uint8_t type = BuiltinArgType(slot, i) & 0x5F;
        std::string arg;
        switch (type) {
          case kArgNone: break;
          case kArgString: case kArgText: arg = "'ab c'"; break;
          case kArgField: arg = "N"; break;
          case kArgDate: arg = "{12/31/1999}"; break;
          case kArgDateTime: arg = "{12/31/1999 10:30}"; break;
          case kArgTime: arg = "{10:30}"; break;
          case kArgDatePart: arg = "YEAR"; break;
          case kArgInterval: case kArgInterval2: arg = "DAY"; break;
          case kArgTimeLayout: arg = "HH:MM"; break;
          case kArgSame: arg = last; break;
          default: arg = "2"; break;
        }
        if (i) call += ", ";
        call += arg;
        last = arg;
      }
    }
    call += ")";
    EvalRun r = Eval(call);
    EXPECT_EQ(r.compileError, 0) << call;
    if (r.compileError == 0) {
      EXPECT_TRUE(r.rc == 0 || r.rc == -1) << call << " gave " << r.rc;
      ++ran;
    }
  }
  EXPECT_GT(ran, 90);
}

// The slots the program names directly are the slots of those names in the
// table (an off-by-one here once sent PERCOMP to the SQL template of NOW).
TEST(BuiltinSlots, NamedSlotsHoldTheirFunctions) {
  const struct {
    uint32_t slot;
    const char* name;
  } named[] = {{kSlotPageNo, "PAGENO"}, {kSlotRecNo, "RECNO"},   {kSlotIif, "IIF"},       {kSlotInList, "INLIST"},
               {kSlotCase, "CASE"},     {kSlotError, "ERROR"},   {kSlotPrevious, "PREVIOUS"}, {kSlotCopy, "COPY"},
               {kSlotQuery, "QUERY"},   {kSlotLike, "LIKE"},     {kSlotKmUnin, "KMUNIN"}, {kSlotRiParam, "RIPARAM"}, {kSlotCdll, "CDLL"},     {kSlotSqlExp, "SQLEXP"},
               {kSlotPerComp, "PERCOMP"}, {kSlotNow, "NOW"}};
  for (const auto& n : named) EXPECT_STREQ(GetBuiltinFunction(n.slot)->name, n.name) << n.slot;
}
