#include "expr/date_text.h"
#include "foundation/intl_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

DateSettings Mdy() {
  DateSettings s;
  GetDateOrder(s);
  return s;
}

uint32_t Day(int y, int m, int d) {
  DateParts p;
  p.year = y;
  p.month = static_cast<uint8_t>(m);
  p.day = static_cast<uint8_t>(d);
  DayNumber n = 0;
  EXPECT_EQ(YMDToJulian(p, n), 0);
  return static_cast<uint32_t>(n);
}

double Hms(int h, int m, int s) { return ((h * 60.0 + m) * 60 + s) * 1e6; }

}  // namespace

TEST(DateText, OrderFromThePicture) {
  DateSettings s;
  std::string pics[] = {"dd.MM.yyyy", "yyyy-MM-dd", "", "M/D/Y", "d/y/m", "y.d.m", "mm yy dd"};
  const char* orders[] = {"dmy", "ymd", "mdy", "mdy", "dym", "ydm", "myd"};
  const char seps[] = {'.', '-', '-', '/', '/', '.', ' '};
  for (int i = 0; i < 7; ++i) {
    std::snprintf(s.shortDate, sizeof s.shortDate, "%s", pics[i].c_str());
    GetDateOrder(s);
    EXPECT_EQ(std::string(s.dateOrder, 3), orders[i]) << pics[i];
    EXPECT_EQ(s.dateSeparator, seps[i]) << pics[i];  // empty keeps the previous one
  }
  char text[6];
  std::snprintf(s.shortDate, sizeof s.shortDate, "dd.MM.yyyy");
  FormatDateOrder(s, text);
  EXPECT_STREQ(text, "d/m/y");
}

TEST(DateText, DigitGroups) {
  int32_t v = 0;
  EXPECT_EQ(ParseDigitGroup(" 12 ", 4, v, false), 0);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(ParseDigitGroup("1 2", 3, v, false), 1);
  EXPECT_EQ(ParseDigitGroup("  ", 2, v, false), 1);
  EXPECT_EQ(ParseDigitGroup("*", 2, v, false), 1);
  EXPECT_EQ(ParseDigitGroup(" *", 2, v, true), 0);
  EXPECT_EQ(v, -2);
  EXPECT_EQ(ParseDigitGroup("@ ", 2, v, true), 0);
  EXPECT_EQ(v, -1);
  EXPECT_EQ(ParseDigitGroup("1*", 2, v, true), 1);
  EXPECT_EQ(ParseDigitGroup("**", 2, v, true), 1);
  EXPECT_EQ(ParseDigitGroup("123", 2, v, false), 0);  // only width characters are read
  EXPECT_EQ(v, 12);
}

TEST(DateText, PlainDatesInTheRegionalOrder) {
  DateSettings s = Mdy();
  EXPECT_EQ(ParseDateText(s, "12/31/1999"), Day(1999, 12, 31));
  EXPECT_EQ(ParseDateText(s, "12-31-99"), Day(1999, 12, 31));
  EXPECT_EQ(ParseDateText(s, " 1/ 2/5"), Day(1905, 1, 2));
  EXPECT_EQ(ParseDateText(s, "1/1/00"), Day(1900, 1, 1));
  EXPECT_EQ(ParseDateText(s, "12/31/19999"), Day(1999, 12, 31));
  EXPECT_EQ(ParseDateText(s, "12 31 1999"), Day(1999, 12, 31));
  EXPECT_EQ(ParseDateText(s, "2/30/1999"), InvalidDate);
  EXPECT_EQ(ParseDateText(s, "12/31"), InvalidDate);
  EXPECT_EQ(ParseDateText(s, "123/1/1999"), InvalidDate);
  EXPECT_EQ(ParseDateText(s, "1/1/1599"), InvalidDate);
  EXPECT_EQ(ParseDateText(s, ""), EmptyDate);
  EXPECT_EQ(ParseDateText(s, "   "), EmptyDate);
  // The pad character reads as a blank.
  std::string padded = std::string("12/31/") + s.padChar + "99";
  EXPECT_EQ(ParseDateText(s, padded.c_str()), Day(1999, 12, 31));

  std::snprintf(s.shortDate, sizeof s.shortDate, "dd.MM.yyyy");
  GetDateOrder(s);
  EXPECT_EQ(ParseDateText(s, "31.12.1999"), Day(1999, 12, 31));
  EXPECT_EQ(ParseDateText(s, "31-12-1999"), Day(1999, 12, 31));
  std::snprintf(s.shortDate, sizeof s.shortDate, "yyyy-MM-dd");
  GetDateOrder(s);
  EXPECT_EQ(ParseDateText(s, "2000-02-29"), Day(2000, 2, 29));
}

TEST(DateText, WildcardPatterns) {
  DateSettings s = Mdy();
  uint32_t v = ParseDateText(s, "12/*/1999");
  EXPECT_EQ(v, 0x818F0CFEu);
  EXPECT_TRUE(IsDatePattern(v));
  EXPECT_EQ(ParseDateText(s, "@/1/*"), 0xFFFEFF01u);
  EXPECT_TRUE(IsDatePattern(ParseDateText(s, "*/*/99")));
  EXPECT_EQ(ParseDateText(s, "1*/1/1999"), InvalidDate);
  EXPECT_EQ(ParseDateText(s, "13/*/1999"), InvalidDate);
  EXPECT_EQ(ParseDateText(s, "12/*/1500"), InvalidDate);
}

TEST(DateText, WorkFormChecks) {
  uint32_t v = 0;
  EXPECT_EQ(ParseWorkDate("        ", v), 0);
  EXPECT_EQ(v, EmptyDate);
  EXPECT_EQ(ParseWorkDate("12311999", v), 0);
  EXPECT_EQ(v, Day(1999, 12, 31));
  EXPECT_EQ(ParseWorkDate("1231", v), 1);
  EXPECT_EQ(CheckWorkDate("        "), -1);
  EXPECT_EQ(CheckWorkDate("02301999"), 1390);
  EXPECT_EQ(CheckWorkDate("13011999"), 0);
  EXPECT_EQ(CheckWorkDate("12 *1999"), -1);
  EXPECT_EQ(CheckWorkDate("1x011999"), 0);
}

TEST(DateText, TimeText) {
  DateSettings s = Mdy();
  const double inf = INFINITY;
  EXPECT_EQ(ReadTimeText(s, "10:30", 0), 37800000000.0);
  EXPECT_EQ(ReadTimeText(s, "2:05:09pm", 0), 50709000000.0);
  EXPECT_EQ(ReadTimeText(s, "12am", 0), 0.0);
  EXPECT_EQ(ReadTimeText(s, "12:00pm", 0), Hms(12, 0, 0));
  EXPECT_EQ(ReadTimeText(s, "10 a.m.", 0), inf);  // hours keep the blank
  EXPECT_EQ(ReadTimeText(s, "10a.m.", 0), Hms(10, 0, 0));
  EXPECT_EQ(ReadTimeText(s, "24:00", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "10:75", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "2:05:09 pm", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "1:2:3:4", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "10:", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "10xm", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "99999999999999999999999", 0), inf);
  EXPECT_EQ(ReadTimeText(s, "90:00", 1), 324000.0);
  s.timeSeparator = '.';
  EXPECT_EQ(ReadTimeText(s, "10.30", 0), 37800000000.0);
  // A report's own afternoon marker counts only with the report flag.
  std::snprintf(s.afternoonMarker, sizeof s.afternoonMarker, "pmx");
  EXPECT_EQ(ReadTimeText(s, "2pmx", 0), inf);
  s.timeFlags |= 0x8000;
  EXPECT_EQ(ReadTimeText(s, "2pmx", 0), Hms(14, 0, 0));
}

TEST(DateText, LiteralsOfDatesAndTimes) {
  DateSettings s = Mdy();
  double t = 0;
  uint32_t d = 0;
  const uint32_t dec31 = Day(1999, 12, 31);
  EXPECT_EQ(ParseDateTimeLiteral(s, "12/31/1999", t, d), 1);
  EXPECT_EQ(d, dec31);
  EXPECT_EQ(t, kNullNumber);
  EXPECT_EQ(ParseDateTimeLiteral(s, "10:30pm", t, d), 3);
  EXPECT_EQ(t, Hms(22, 30, 0));
  EXPECT_EQ(d, EmptyDate);
  EXPECT_EQ(ParseDateTimeLiteral(s, "10:30 pm", t, d), 3);
  EXPECT_EQ(t, Hms(22, 30, 0));
  EXPECT_EQ(ParseDateTimeLiteral(s, "12:00 pm", t, d), 3);
  EXPECT_EQ(t, Hms(12, 0, 0));
  EXPECT_EQ(ParseDateTimeLiteral(s, "13:00 pm", t, d), -1);
  EXPECT_EQ(ParseDateTimeLiteral(s, "10pm", t, d), 3);
  EXPECT_EQ(t, Hms(22, 0, 0));
  EXPECT_EQ(ParseDateTimeLiteral(s, "1030pm", t, d), -1);
  EXPECT_EQ(ParseDateTimeLiteral(s, "10pm ", t, d), -1);

  for (const char* text : {"12/31/1999 10:30", "10:30 12/31/1999", "12/31/1999 10:30 pm", "10:30 pm 12/31/1999"}) {
    EXPECT_EQ(ParseDateTimeLiteral(s, text, t, d), 2) << text;
    EXPECT_EQ(d, dec31) << text;
  }
  ParseDateTimeLiteral(s, "12/31/1999 10:30 pm", t, d);
  EXPECT_EQ(t, Hms(22, 30, 0));
  ParseDateTimeLiteral(s, "10:30 pm 12/31/1999", t, d);
  EXPECT_EQ(t, Hms(10, 30, 0));

  EXPECT_EQ(ParseDateTimeLiteral(s, "12 31 1999", t, d), 1);
  EXPECT_EQ(d, dec31);
  EXPECT_EQ(ParseDateTimeLiteral(s, "", t, d), 1);
  EXPECT_EQ(d, EmptyDate);
  EXPECT_EQ(ParseDateTimeLiteral(s, "garbage", t, d), -1);
  // Long texts are read from a bounded copy.
  std::string longText(5000, '1');
  EXPECT_EQ(ParseDateTimeLiteral(s, longText.c_str(), t, d), -1);
}

TEST(DateText, TakesTheDocumentsRegionalSettings) {
  IntlSettings intl;
  std::snprintf(intl.sShortDate, sizeof intl.sShortDate, "dd.MM.yyyy");
  std::snprintf(intl.s1159, sizeof intl.s1159, "VM");
  intl.sTime = '.';
  DateSettings s;
  ApplyIntlDateSettings(intl, s);
  EXPECT_EQ(std::string(s.dateOrder, 3), "dmy");
  EXPECT_EQ(s.dateSeparator, '.');
  EXPECT_STREQ(s.morningMarker, "vm");
  EXPECT_EQ(s.timeSeparator, '.');
  EXPECT_EQ(ParseDateText(s, "31.12.1999"), Day(1999, 12, 31));
}
