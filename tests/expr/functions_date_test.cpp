#include "expr/functions_date.h"

#include "expr/calendar.h"
#include "functions_fixture.h"

namespace {

uint32_t Day(int y, int m, int d) {
  DateParts p;
  p.year = y;
  p.month = static_cast<uint8_t>(m);
  p.day = static_cast<uint8_t>(d);
  DayNumber n = 0;
  EXPECT_EQ(YMDToJulian(p, n), 0);
  return static_cast<uint32_t>(n);
}

std::string Lit(int y, int m, int d) {
  char b[32];
  std::snprintf(b, sizeof b, "{%02d/%02d/%04d}", m, d, y);
  return b;
}

class DateFunctions : public FunctionsTest {
 protected:
  void SetUp() override {
    FunctionsTest::SetUp();
    ActiveBuiltinDocument().format = FormatSettings();
    ActiveBuiltinDocument().fixedToday = Day(2000, 3, 15);
    ActiveBuiltinDocument().fixedNowTime = 10.5 * 3600e6;
  }
  void TearDown() override {
    ActiveBuiltinDocument().fixedToday = 0xFFFFFFFFu;
    FunctionsTest::TearDown();
  }
  uint32_t D(const std::string& e) { return Eval(e).U32(); }
};

TEST_F(DateFunctions, MonthAndYearShiftsClampTheDay) {
  EXPECT_EQ(D("ADDMONS(" + Lit(2000, 1, 31) + ", 1)"), Day(2000, 2, 29));
  EXPECT_EQ(D("ADDMONS(" + Lit(2000, 3, 31) + ", -1)"), Day(2000, 2, 29));
  EXPECT_EQ(D("ADDMONS(" + Lit(2000, 1, 15) + ", -13)"), Day(1998, 12, 15));
  EXPECT_EQ(D("SUBMONS(" + Lit(2000, 1, 15) + ", 13)"), Day(1998, 12, 15));
  EXPECT_EQ(D("ADDYRS(" + Lit(2000, 2, 29) + ", 1)"), Day(2001, 2, 28));
  EXPECT_EQ(D("ADDYRS(" + Lit(2000, 1, 15) + ", -500)"), InvalidDate);
  // A year the calendar would read as two digits is refused, not moved to the 1900s.
  EXPECT_EQ(D("ADDYRS(" + Lit(2000, 1, 15) + ", -1950)"), InvalidDate);
  EXPECT_EQ(D("ADDYRS(" + Lit(2000, 1, 15) + ", -5000)"), InvalidDate);
  EXPECT_EQ(D("ADDDAYS(" + Lit(2000, 1, 15) + ", 1000000000)"), InvalidDate);
  EXPECT_EQ(D("SUBDAYS(" + Lit(1600, 3, 1) + ", 1)"), InvalidDate);
  EXPECT_EQ(D("ADDWKS(" + Lit(2000, 1, 1) + ", 2)"), Day(2000, 1, 15));
  EXPECT_EQ(D("ADDDAYS({}, 2)"), InvalidDate);
}

TEST_F(DateFunctions, Spans) {
  EXPECT_EQ(N("DAYSBTWN(" + Lit(2000, 1, 1) + ", " + Lit(1999, 12, 31) + ")"), 1);
  EXPECT_EQ(N("DTEDIFF(DAY, " + Lit(2000, 1, 1) + ", " + Lit(1999, 12, 31) + ")"), -1);
  EXPECT_EQ(N("MONSBTWN(" + Lit(2000, 3, 31) + ", " + Lit(2000, 2, 29) + ")"), 1);
  EXPECT_EQ(N("MONSBTWN(" + Lit(2000, 2, 29) + ", " + Lit(2000, 3, 31) + ")"), -1);
  EXPECT_EQ(N("WKSBTWN(" + Lit(2000, 1, 20) + ", " + Lit(2000, 1, 1) + ")"), 2);
  EXPECT_EQ(N("YRSBTWN(" + Lit(2000, 1, 1) + ", " + Lit(1990, 6, 1) + ")"), 9);
  FnResult r = Eval("DAYSBTWN({}, " + Lit(2000, 1, 1) + ")");
  EXPECT_EQ(r.flags & 1, 1u);
  EXPECT_EQ(r.Number(), 0);
}

TEST_F(DateFunctions, PartsOfADate) {
  EXPECT_EQ(N("WEEK(" + Lit(2000, 3, 1) + ")"), 1);
  EXPECT_EQ(N("WEEK(" + Lit(2000, 3, 5) + ")"), 2);
  EXPECT_EQ(N("DOW(" + Lit(2000, 3, 5) + ")"), 1);
  EXPECT_EQ(N("DAY(" + Lit(2000, 3, 5) + ")"), 5);
  EXPECT_EQ(N("MONTH(" + Lit(2000, 3, 5) + ")"), 3);
  EXPECT_EQ(N("YEAR(" + Lit(2000, 3, 5) + ")"), 2000);
  EXPECT_EQ(N("QTR(" + Lit(2000, 8, 5) + ")"), 3);
  EXPECT_EQ(N("HALF(" + Lit(2000, 8, 5) + ")"), 2);
  EXPECT_EQ(N("MONLEN(" + Lit(2000, 2, 5) + ")"), 29);
  EXPECT_EQ(D("DQTR(" + Lit(2000, 8, 5) + ")"), Day(2000, 7, 1));
  EXPECT_EQ(N("DAY({})"), 0);
  EXPECT_EQ(S("CDOW(" + Lit(2000, 3, 5) + ")"), "Sunday");
  EXPECT_EQ(S("CMONTH(" + Lit(2000, 3, 5) + ")"), "March");
  EXPECT_EQ(S("CDOW({})"), "");
  EXPECT_EQ(N("DTEPART(DAYOFYEAR, " + Lit(2000, 12, 31) + ")"), 366);
  EXPECT_EQ(N("DTEPART(DAYOFYEAR, " + Lit(1600, 3, 1) + ")"), 61);  // no failure in the first year
  EXPECT_EQ(Eval("DTEPART(WEEK, " + Lit(1600, 3, 1) + ")").rc, 0);
  EXPECT_EQ(N("DTEPART(QUARTER, " + Lit(2000, 12, 31) + ")"), 4);
}

TEST_F(DateFunctions, TodayRelativeTests) {
  std::string today = Lit(2000, 3, 15);
  EXPECT_EQ(N("PAST(" + today + ")"), 0);
  EXPECT_EQ(N("PAST(" + today + ", 1)"), 1);
  EXPECT_EQ(N("PAST(" + today + ", 2)"), 0);
  EXPECT_EQ(N("FUTURE(" + Lit(2000, 3, 16) + ")"), 1);
  EXPECT_EQ(N("OVER(" + Lit(2000, 3, 1) + ", 13)"), 1);
  EXPECT_EQ(N("AGED(" + Lit(2000, 3, 1) + ", 10, 20)"), 1);
  EXPECT_EQ(N("AGED(" + Lit(2000, 3, 1) + ", 20, 10)"), 0);
  EXPECT_EQ(D("DATE()"), Day(2000, 3, 15));
  EXPECT_EQ(S("TIME()"), "10:30:00");
  ActiveBuiltinDocument().fixedToday = 999999;  // a clock outside the calendar
  EXPECT_EQ(Eval("DATE()").rc, -1);
}

TEST_F(DateFunctions, NextAndPreviousWeekday) {
  uint32_t monday = Day(2000, 3, 6);
  EXPECT_EQ(D("NDOW(" + Lit(2000, 3, 6) + ", 2)"), monday + 7);
  EXPECT_EQ(D("PDOW(" + Lit(2000, 3, 6) + ", 2)"), monday - 7);
  EXPECT_EQ(D("NDOW(" + Lit(2000, 3, 6) + ", 3)"), monday + 1);
  EXPECT_EQ(D("NDOW(" + Lit(2000, 3, 6) + ", 8)"), InvalidDate);
}

TEST_F(DateFunctions, IntervalArithmetic) {
  // 3 March 2000 is a Friday.
  FnResult r = Eval("DTEADD(WEEKDAY, 1, " + Lit(2000, 3, 3) + ")");
  EXPECT_EQ(r.U32(), Day(2000, 3, 6));
  EXPECT_EQ(Eval("DTEADD(WEEKDAY, 1, " + Lit(2000, 3, 4) + ")").U32(), Day(2000, 3, 7));
  EXPECT_EQ(Eval("DTEADD(WEEKDAY, 1, " + Lit(2000, 3, 5) + ")").U32(), Day(2000, 3, 7));
  EXPECT_EQ(Eval("DTEADD(WEEKDAY, -1, " + Lit(2000, 3, 4) + ")").U32(), Day(2000, 3, 3));
  EXPECT_EQ(N("DTEDIFF(WEEKDAY, " + Lit(2000, 3, 3) + ", " + Lit(2000, 3, 6) + ")"), 1);
  EXPECT_EQ(N("DTEDIFF(WEEKDAY, " + Lit(2000, 3, 4) + ", " + Lit(2000, 3, 5) + ")"), 0);
  EXPECT_EQ(N("DTEDIFF(MONTH, " + Lit(2000, 1, 31) + ", " + Lit(2000, 3, 1) + ")"), 2);
  EXPECT_EQ(N("DTEDIFF(YEAR, " + Lit(1999, 12, 31) + ", " + Lit(2000, 1, 1) + ")"), 1);
}

TEST_F(DateFunctions, TimeTexts) {
  EXPECT_EQ(N("CTOS('90', MM)"), 5400);
  EXPECT_EQ(N("CTOS('1:30', HH:MM)"), 5400);
  EXPECT_EQ(N("CTOS('5', SS)"), 5);  // the longest prefix fits its block
  EXPECT_EQ(S("STOC(5400, HH:MM:SS)"), "1:30:00");
  EXPECT_EQ(S("STOC(-5400, HH:MM)"), "-1:30");
  EXPECT_EQ(S("STOC(65, SS)"), "65");
  EXPECT_EQ(S("STOC(5400)"), "1:30:00");
  EXPECT_EQ(S("STOC(5000000000, HH:MM)"), "*:**");
  EXPECT_EQ(N("TTOS(CTOT('10:30 pm'))"), 81000);
  EXPECT_EQ(Eval("CTOT('10:30 pm')").F64(4), 81000e6);
  EXPECT_EQ(S("DTOC({}, 1)"), "        ");
  EXPECT_EQ(S("DTOC({})"), "  /  /  ");
  EXPECT_EQ(S("DTOC(" + Lit(1999, 3, 5) + ", 1)"), "19990305");
  EXPECT_EQ(S("DTOC(" + Lit(1999, 3, 5) + ")"), "3/5/99");
  FnResult bad = Eval("CTDT('31/31/1999')");
  EXPECT_EQ(bad.flags & 1, 1u);
  FnResult t = Eval("CTDT('10:30')");
  EXPECT_EQ(t.U32(), 0u);
  EXPECT_EQ(t.F64(4), 10.5 * 3600e6);
  EXPECT_EQ(Eval("CTOD('')").U32(), EmptyDate);
  EXPECT_EQ(Eval("CTOD('13/45/1999')").flags & 1, 1u);
}

TEST_F(DateFunctions, TypeDescriptions) {
  EXPECT_EQ(Typed("CDOW(DATE())")->displayWidth, 9u);
  EXPECT_EQ(Typed("DTOC(DATE())")->displayWidth, 10u);
  EXPECT_EQ(Typed("YEAR(DATE())")->displayWidth, 4u);
  EXPECT_EQ(Typed("STOC(5, HH:MM)")->displayWidth, 5u);
  EXPECT_EQ(Typed("DTEPART(DAYOFYEAR, DATE())")->displayWidth, 3u);
}

}  // namespace
