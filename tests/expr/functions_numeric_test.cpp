#include "expr/functions_numeric.h"

#include "functions_fixture.h"

#include <cmath>

namespace {

using NumericFunctions = FunctionsTest;

TEST_F(NumericFunctions, ArithmeticFamily) {
  EXPECT_EQ(N("MIN(3, -2)"), -2);
  EXPECT_EQ(N("MAX(3, -2)"), 3);
  EXPECT_DOUBLE_EQ(N("EXP(1)"), std::exp(1.0));
  EXPECT_EQ(N("INT(-3.7)"), -3);
  EXPECT_EQ(N("INT(3.7)"), 3);
  EXPECT_EQ(N("ABS(-4.5)"), 4.5);
  EXPECT_EQ(N("MOD(-7, 3)"), 2);
  EXPECT_EQ(N("MOD(7, -3)"), -2);
  EXPECT_DOUBLE_EQ(N("SQRT(2)"), std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(N("LOG(10)"), std::log(10.0));
  EXPECT_EQ(N("KMUNIN()"), 0);
}

TEST_F(NumericFunctions, DomainErrorsSetTheFlagAndErrorSeesIt) {
  for (const char* e : {"MOD(5, 0)", "LOG(0)", "LOG(-1)", "SQRT(-1)"}) {
    FnResult r = Eval(e);
    EXPECT_EQ(r.rc, 0) << e;
    EXPECT_EQ(r.flags & 1, 1u) << e;
    EXPECT_EQ(r.Number(), 0) << e;
  }
  EXPECT_EQ(N("ERROR(MOD(5, 0))"), 1);
  EXPECT_EQ(Flags("ERROR(MOD(5, 0))"), 0u);
  EXPECT_EQ(N("ERROR(MOD(5, 2))"), 0);
  EXPECT_EQ(N("ERROR(SUBSTR('abc', 1) + 'x')"), 0);
}

TEST_F(NumericFunctions, RoundHalfAwayAndItsLimits) {
  EXPECT_EQ(N("ROUND(2.675, 2)"), 2.68);
  EXPECT_EQ(N("ROUND(-2.5, 0)"), -3);
  EXPECT_EQ(N("ROUND(1234.5, -2)"), 1200);
  EXPECT_EQ(N("ROUND(0.125, 2)"), 0.13);
  // Values past the last fraction bit stay as they are.
  EXPECT_EQ(RoundHalfAway(4503599627370495.0, 0), 4503599627370495.0);
  EXPECT_EQ(RoundHalfAway(1e16 + 2, 0), 1e16 + 2);
  EXPECT_EQ(RoundHalfAway(2251799813685249.5, 0), 2251799813685250.0);
  EXPECT_EQ(RoundHalfAway(-2251799813685249.0, 0), -2251799813685249.0);
  EXPECT_EQ(RoundHalfAway(1.5, 400), 1.5);   // scale overflows
  EXPECT_EQ(RoundHalfAway(2.5, -400), 0.0);  // scale underflows
  EXPECT_FALSE(std::isnan(RoundHalfAway(-2.5, -400)));
  // Decimal-looking inputs round as their text would.
  for (int i = 0; i < 20000; ++i) {
    double x = i / 1000.0;
    double expect = std::floor(i / 10.0 + 0.5) / 100.0;
    ASSERT_EQ(RoundHalfAway(x, 2), expect) << x;
  }
}

TEST_F(NumericFunctions, ValReadsLikeTheRuntime) {
  EXPECT_EQ(N("VAL('  12.5abc')"), 12.5);
  EXPECT_EQ(N("VAL('abc')"), 0);
  EXPECT_EQ(N("VAL('1e3')"), 1000);
  EXPECT_EQ(N("VAL('-.5e')"), -0.5);
  EXPECT_EQ(ReadLeadingNumber("0x10"), 0);
  EXPECT_EQ(ReadLeadingNumber("inf"), 0);
  EXPECT_EQ(ReadLeadingNumber("nan"), 0);
  std::string longText(300, '1');
  double v = N("VAL('" + longText + "')");  // only the first 200 characters count
  EXPECT_GT(v, 1e199);
  EXPECT_LT(v, 2e199);
}

TEST_F(NumericFunctions, ListAndCaseChoices) {
  EXPECT_EQ(N("INLIST(2, 1, 2, 3)"), 2);
  EXPECT_EQ(N("INLIST(2, 2, 2)"), 2);
  EXPECT_EQ(N("INLIST(9, 1, 2)"), 0);
  EXPECT_EQ(N("INLIST('b', 'a', 'b  ')"), 2);
  EXPECT_EQ(N("INLIST('x', 1, 'x')"), 2);  // a list value of another class is not equal
  EXPECT_EQ(S("CASE(2, 1, 'one', 2, 'two', 2, 'again', 'other')"), "again");
  EXPECT_EQ(S("CASE(5, 1, 'one', 2, 'two', 'other')"), "other");
  EXPECT_EQ(N("CASE('b', 'a', 10, 'b', 20, 0)"), 20);
  EXPECT_EQ(N("INRANGE('ab  ', 'ab', 'ac')"), 1);
  EXPECT_EQ(N("INRANGE(5, 1, 4.9999999)"), 0);
  EXPECT_EQ(N("INRANGE(3, 1, 5)"), 1);
  EXPECT_EQ(N("IIF(1 > 2, 10, 20)"), 20);
}

TEST_F(NumericFunctions, SpellNumWords) {
  EXPECT_EQ(S("SPELLNUM(0)"), "Zero");
  EXPECT_EQ(S("SPELLNUM(100)"), "One hundred");
  EXPECT_EQ(S("SPELLNUM(1000001)"), "One million one");
  EXPECT_EQ(S("SPELLNUM(-15)"), "Minus fifteen");
  EXPECT_EQ(S("SPELLNUM(1234.56)"), "One thousand two hundred thirty-four");
  EXPECT_EQ(S("SPELLNUM(-0.5)"), "Zero");
  std::string s;
  EXPECT_TRUE(SpellNumber(999999999999999999999.0 / 10, 8000, &s));
  EXPECT_FALSE(SpellNumber(1e21, 8000, &s));
  EXPECT_FALSE(SpellNumber(std::nan(""), 8000, &s));
  EXPECT_FALSE(SpellNumber(1234, 10, &s));
  EXPECT_EQ(s, "**********");
}

TEST_F(NumericFunctions, DocumentCounters) {
  ActiveBuiltinDocument().pageNumber = 7;
  ActiveBuiltinDocument().copyNumber = 2;
  t.m.reportRecordNumber = 0;
  EXPECT_EQ(N("PAGENO()"), 7);
  EXPECT_EQ(N("COPY()"), 2);
  EXPECT_EQ(N("RECNO()"), 1);
  // On the fourth record of the report RECNO() is 4, in its band and in a
  // summary after it, whatever row of the query it was.
  t.m.reportRecordNumber = 4;
  t.m.recordNumber = 9;
  EXPECT_EQ(N("RECNO()"), 4);
  t.m.reportRecordNumber = 0;
  t.m.recordNumber = 0;
  EXPECT_FALSE(Eval("PAGENO()").logical);
  EXPECT_TRUE(Eval("PAGENO() > 1").logical);
}

TEST_F(NumericFunctions, TypeDescriptions) {
  FieldDef* f = Typed("ROUND(1.2345, 2)");
  EXPECT_EQ(f->displayDecimals, 2);
  f = Typed("INLIST(1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10)");
  EXPECT_EQ(f->displayWidth, 2u);
  f = Typed("PAGENO()");
  EXPECT_EQ(f->displayWidth, 4u);
  f = Typed("SPELLNUM(5)");
  EXPECT_EQ(f->displayWidth, 45u);
  f = Typed("MAX(1.25, 100)");
  EXPECT_EQ(f->displayDecimals, 2);
  EXPECT_EQ(f->displayWidth, 5u);
  f = Typed("CASE(1, 1, 12.5, 2, 1000, 0)");
  EXPECT_EQ(f->displayDecimals, 1);
  EXPECT_EQ(f->displayWidth, 5u);
}

}  // namespace
