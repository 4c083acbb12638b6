#include "expr/calendar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

namespace {

DateParts Ymd(int y, int m, int d) {
  DateParts p;
  p.year = y;
  p.month = static_cast<uint8_t>(m);
  p.day = static_cast<uint8_t>(d);
  return p;
}

DayNumber Day(int y, int m, int d) {
  DayNumber n = -1;
  EXPECT_EQ(YMDToJulian(Ymd(y, m, d), n), 0) << y << "-" << m << "-" << d;
  return n;
}

bool Invalid(int y, int m, int d) {
  DayNumber n = 12345;
  int r = YMDToJulian(Ymd(y, m, d), n);
  return r == 1 && n == 12345;
}

}  // namespace

// Every day of the range against the C library's proleptic Gregorian calendar.
TEST(Calendar, EveryDayRoundTripsAndMatchesTheCLibrary) {
  std::tm base{};
  base.tm_year = 1600 - 1900;
  base.tm_mon = 2;
  base.tm_mday = 1;
  base.tm_hour = 12;
  std::time_t t0 = timegm(&base);
  for (DayNumber n = kFirstDay; n <= kLastDay; ++n) {
    std::time_t t = t0 + static_cast<std::time_t>(n) * 86400;
    std::tm tm{};
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    DateParts p;
    ASSERT_EQ(JulianToYMD(n, p), 0);
    ASSERT_EQ(p.year, tm.tm_year + 1900) << n;
    ASSERT_EQ(p.month, tm.tm_mon + 1) << n;
    ASSERT_EQ(p.day, tm.tm_mday) << n;
    ASSERT_EQ(p.weekday, tm.tm_wday) << n;
    DayNumber back = -1;
    ASSERT_EQ(YMDToJulian(p, back), 0) << n;
    ASSERT_EQ(back, n);
  }
  DateParts p;
  EXPECT_EQ(JulianToYMD(kLastDay + 1, p), 1);
  EXPECT_EQ(JulianToYMD(-1, p), 1);
  EXPECT_EQ(JulianToYMD(static_cast<DayNumber>(EmptyDate), p), 1);
}

TEST(Calendar, RangeEndsAndFixedDays) {
  EXPECT_EQ(Day(1600, 3, 1), 0);
  EXPECT_EQ(Day(2400, 12, 31), 292499);
  EXPECT_EQ(Day(1900, 1, 1), 109513);
  EXPECT_EQ(Day(2000, 1, 1), 146037);
  EXPECT_EQ(Day(2000, 2, 29), 146096);
  EXPECT_TRUE(Invalid(1600, 2, 29));
  EXPECT_TRUE(Invalid(1600, 1, 1));
  EXPECT_TRUE(Invalid(2401, 1, 1));
  EXPECT_TRUE(Invalid(100, 1, 1));
  EXPECT_TRUE(Invalid(1599, 12, 31));
  EXPECT_TRUE(Invalid(1900, 2, 29));
  EXPECT_TRUE(Invalid(2000, 4, 31));
  EXPECT_TRUE(Invalid(2000, 13, 1));
  EXPECT_TRUE(Invalid(2000, 0, 1));
  EXPECT_TRUE(Invalid(2000, 1, 0));
  EXPECT_TRUE(Invalid(2000, 1, 32));
}

TEST(Calendar, TwoDigitYearsMeanTheNineteenHundreds) {
  EXPECT_EQ(Day(99, 12, 31), 146036);
  EXPECT_EQ(Day(0, 1, 1), 109513);
  EXPECT_TRUE(Invalid(0, 2, 29));
  DateParts p = Ymd(5, 6, 7);
  ASSERT_EQ(ValidateDateParts(p), 0);
  EXPECT_EQ(p.year, 305);
  p = Ymd(2000, 6, 7);
  ASSERT_EQ(ValidateDateParts(p), 0);
  EXPECT_EQ(p.year, 400);
}

TEST(Calendar, WildcardMarkersValidateButNeverConvert) {
  DateParts p = Ymd(-2, 254, 255);
  EXPECT_EQ(ValidateDateParts(p), 0);
  EXPECT_EQ(p.year, -2);
  EXPECT_TRUE(Invalid(-1, 1, 1));
  EXPECT_TRUE(Invalid(2000, 254, 1));
  EXPECT_TRUE(Invalid(2000, 1, 255));
}

TEST(Calendar, WeekdaysAndLeapDay) {
  DateParts p;
  JulianToYMD(146036, p);
  EXPECT_EQ(p.year, 1999);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 31);
  EXPECT_EQ(p.weekday, 5);
  JulianToYMD(146096, p);
  EXPECT_EQ(p.year, 2000);
  EXPECT_EQ(p.month, 2);
  EXPECT_EQ(p.day, 29);
  JulianToYMD(0, p);
  EXPECT_EQ(p.weekday, 3);
}

TEST(Calendar, SpansInYearsAndMonths) {
  DateSpan s;
  DateDiffYMD(Day(2000, 1, 31), Day(2000, 3, 1), s);
  EXPECT_EQ(s.years, 0);
  EXPECT_EQ(s.months, 1);
  DateDiffYMD(Day(1999, 1, 15), Day(2000, 1, 15), s);
  EXPECT_EQ(s.years, 1);
  EXPECT_EQ(s.months, 0);
  DateDiffYMD(Day(1999, 1, 16), Day(2000, 1, 15), s);
  EXPECT_EQ(s.years, 0);
  EXPECT_EQ(s.months, 11);
  DateDiffYMD(Day(2000, 3, 15), Day(1999, 5, 10), s);
  EXPECT_EQ(s.years, -1);
  EXPECT_EQ(s.months, 1);
}

TEST(Calendar, TimeConversions) {
  TimeParts t;
  MicrosecondsToTime(86399999999.0, t);
  EXPECT_EQ(t.hours, 23);
  EXPECT_EQ(t.minutes, 59);
  EXPECT_EQ(t.seconds, 59);
  EXPECT_EQ(t.microseconds, 999999u);
  double us = 0;
  TimeToMicroseconds(t, us);
  EXPECT_EQ(us, 86399999999.0);
  // Values no time can have must not reach an undefined conversion.
  MicrosecondsToTime(kNullNumber, t);
  MicrosecondsToTime(1e300, t);
  MicrosecondsToTime(0.0 / 0.0, t);

  uint32_t w[3] = {7, 7, 7};
  SplitSeconds(3725.0, w, 1);
  EXPECT_EQ(w[0], 1u);
  EXPECT_EQ(w[1], 2u);
  EXPECT_EQ(w[2], 5u);
  uint32_t v[3] = {7, 7, 7};
  SplitSeconds(3725.0, v, 2);
  EXPECT_EQ(v[0], 7u);
  EXPECT_EQ(v[1], 62u);
  EXPECT_EQ(v[2], 5u);
  SplitSeconds(1e30, v, 1);
  SplitSeconds(-5, v, 2);
}

TEST(Calendar, NamesAndTextHelpers) {
  EXPECT_STREQ(GetDayName(5), "Friday");
  EXPECT_STREQ(GetMonthName(12), "December");
  EXPECT_STREQ(GetMonthName(1), "January");
  EXPECT_STREQ(GetMonthName(13), "");

  char a[] = "abc   ";
  EXPECT_EQ(TrimTrailingChar(a, ' '), 3);
  EXPECT_STREQ(a, "abc");
  char b[] = "   ";
  EXPECT_EQ(StripTrailingChar(b, ' '), 0);
  EXPECT_STREQ(b, "");

  const char* p1 = "C:\\dir.x\\name";
  EXPECT_EQ(FindExtension(p1), p1 + std::strlen(p1));
  const char* p2 = "name.ext";
  EXPECT_STREQ(FindExtension(p2), ".ext");
}
