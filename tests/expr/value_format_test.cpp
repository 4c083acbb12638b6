#include "expr/value_format.h"

#include "expr/calendar.h"
#include "expr/value_helpers.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

FieldDef NumberField(uint32_t code, uint32_t width, uint8_t decimals) {
  FieldDef f;
  f.flags = kFieldNumeric;
  f.formatCode = code;
  f.displayWidth = width;
  f.displayDecimals = decimals;
  return f;
}

std::string Fmt(const FormatSettings& doc, const FieldDef& f, double x, int mode = kOutputText,
                char* suffix = nullptr) {
  char buf[600];
  int n = FormatFieldValue(doc, &f, buf, &x, -1, mode, suffix);
  if (n == 0) return "";
  int prefix = mode == kOutputReport ? kFormatPrefixSize : 0;
  EXPECT_EQ(static_cast<int>(std::strlen(buf + prefix)) + prefix, n);
  return std::string(buf + prefix);
}

std::string FmtDate(const FormatSettings& doc, uint32_t code, uint32_t day, uint8_t status = 0) {
  FieldDef f;
  f.flags = kFieldDate;
  f.formatCode = code;
  f.valueStatus = status;
  uint8_t value[12] = {};
  std::memcpy(value, &day, 4);
  f.value = value;
  char buf[600];
  int n = FormatFieldValue(doc, &f, buf, nullptr, -1, kOutputText, nullptr);
  return n ? std::string(buf) : std::string();
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

FormatSettings European() {
  FormatSettings doc;
  doc.intl.sDecimal = ',';
  doc.intl.sThousand = '.';
  std::strcpy(doc.intl.sCurrency, " \x80");
  doc.intl.currencyLength = 2;
  doc.intl.currencyBefore = 0;
  doc.intl.iNegCurr = 8;
  std::strcpy(doc.intl.sShortDate, "dd.MM.yyyy");
  std::strcpy(doc.intl.sLongDate, "dddd, d. MMMM yyyy");
  doc.intl.sTime = ':';
  doc.intl.timeFlags = kTimeFlagSeconds | kTimeFlag24Hour | kTimeFlagLeadingZero;
  return doc;
}

TEST(FormatNumber, FixedStyle) {
  FormatSettings us;
  FieldDef f = NumberField(5, 6, 2);
  EXPECT_EQ(Fmt(us, f, 1234.5), "1234.50");
  EXPECT_EQ(Fmt(us, f, -12.5), "-12.50");
  EXPECT_EQ(Fmt(us, f, 123456.7), "****.**");
  EXPECT_EQ(Fmt(us, f, -0.001), "0.00");  // no sign on a value that prints as zero
  FieldDef z = NumberField(5 | 0x100, 6, 0);
  EXPECT_EQ(Fmt(us, z, 42), "000042");
  EXPECT_EQ(Fmt(us, z, -42), "-000042");
  FieldDef b = NumberField(5 | 0x200, 6, 2);
  EXPECT_EQ(Fmt(us, b, 0), "");
  EXPECT_EQ(Fmt(us, b, -0.001), "");
  EXPECT_EQ(Fmt(us, b, 1e9), "****.**");  // stars are never blank
  EXPECT_EQ(Fmt(European(), f, 1234.5), "1234,50");
}

TEST(FormatNumber, MissingAndInvalidValues) {
  FormatSettings us;
  FieldDef f = NumberField(5, 6, 2);
  EXPECT_EQ(Fmt(us, f, GetNullNumber()), "");
  EXPECT_EQ(Fmt(us, f, GetPositiveInfinity()), "****.**");
  EXPECT_EQ(Fmt(us, f, std::nan("")), "****.**");
  EXPECT_EQ(Fmt(us, f, 2e40), "****.**");
  f.valueStatus = 1;
  double x = 5;
  f.value = reinterpret_cast<uint8_t*>(&x);
  char buf[600];
  FormatFieldValue(us, &f, buf, nullptr, -1, kOutputText, nullptr);
  EXPECT_STREQ(buf, "****.**");
  // The previous value reads the previous status.
  f.previousStatus = 0;
  double prev = 7;
  FormatFieldValue(us, &f, buf, &prev, -1, kOutputText, nullptr);
  EXPECT_STREQ(buf, "7.00");
}

TEST(FormatNumber, HostileWidthsStayBounded) {
  FormatSettings us;
  FieldDef f = NumberField(5, 0xFFFFFFFFu, 255);
  std::string s = Fmt(us, f, 1e30);
  EXPECT_LE(s.size(), 254u);
  f.formatCode = 2;
  EXPECT_LE(Fmt(us, f, 1.0 / 3).size(), 254u);
  f.formatCode = 1;
  EXPECT_LE(Fmt(us, f, 12345).size(), 254u);
  f.formatCode = 7;
  f.valueStatus = 1;
  double x = 1;
  f.value = reinterpret_cast<uint8_t*>(&x);
  char buf[600];
  EXPECT_LE(FormatFieldValue(us, &f, buf, nullptr, -1, kOutputText, nullptr), 254);
}

TEST(FormatNumber, AliasShowsItsTargetsStatus) {
  // The model's alias of an invalid number shows stars, as the number does;
  // without the model it shows its own (valid) status.
  CKmComposite model(nullptr);
  FieldDef* target = model.AddField(kFieldNumeric);
  target->formatCode = 5;
  target->displayWidth = 6;
  target->displayDecimals = 2;
  double x = 5;
  target->value = reinterpret_cast<uint8_t*>(&x);
  target->valueStatus = 1;
  FieldDef* alias = model.AddFieldAlias(target);
  ASSERT_NE(alias, nullptr);
  alias->formatCode = 5;
  alias->displayWidth = 6;
  alias->displayDecimals = 2;
  FormatSettings us;
  us.model = &model;
  char buf[600];
  FormatFieldValue(us, alias, buf, nullptr, -1, kOutputText, nullptr);
  EXPECT_STREQ(buf, "****.**");
  us.model = nullptr;
  FormatFieldValue(us, alias, buf, nullptr, -1, kOutputText, nullptr);
  EXPECT_STREQ(buf, "5.00");
  target->value = nullptr;
  alias->value = nullptr;
}

TEST(FormatNumber, ThousandsAndCurrency) {
  FormatSettings us;
  FieldDef t = NumberField(7, 9, 2);
  EXPECT_EQ(Fmt(us, t, 1234567.891), "1,234,567.89");
  EXPECT_EQ(Fmt(us, t, -5), "(5.00)");
  FieldDef c = NumberField(6, 9, 2);
  const char* expected[] = {"($5.00)", "-$5.00", "$-5.00", "$5.00-"};
  for (int neg = 0; neg < 4; ++neg) {
    us.intl.iNegCurr = static_cast<uint8_t>(neg);
    EXPECT_EQ(Fmt(us, c, -5), expected[neg]) << neg;
  }
  us.intl.iNegCurr = 0;
  char suffix[40];
  EXPECT_EQ(Fmt(us, c, -5, kOutputReport, suffix), "($5.00");
  EXPECT_STREQ(suffix, ")");
  us.intl.iNegCurr = 3;
  EXPECT_EQ(Fmt(us, c, -5, kOutputReport, suffix), "$5.00");
  EXPECT_STREQ(suffix, "-");
  FormatSettings eu = European();
  EXPECT_EQ(Fmt(eu, c, 1234567.5), "1.234.567,50 \x80");
  EXPECT_EQ(Fmt(eu, c, -5, kOutputReport, suffix), "-5,00");
  EXPECT_STREQ(suffix, " \x80");
  EXPECT_EQ(Fmt(eu, t, -1234.5), "-1.234,50");
  eu.intl.iNegCurr = 15;  // regional form "(1,1 $)"
  EXPECT_EQ(Fmt(eu, c, -5), "(5,00 \x80)");
  eu.intl.iNegCurr = 99;  // unknown forms keep the sign in front
  EXPECT_EQ(Fmt(eu, c, -5), "-5,00 \x80");
}

TEST(FormatNumber, PercentScientificGeneral) {
  FormatSettings us;
  EXPECT_EQ(Fmt(us, NumberField(4, 4, 1), 0.125), "12.5%");
  char suffix[40];
  EXPECT_EQ(Fmt(us, NumberField(4, 4, 1), 0.125, kOutputReport, suffix), "12.5");
  EXPECT_STREQ(suffix, "%");
  FieldDef s = NumberField(1, 8, 2);
  EXPECT_EQ(Fmt(us, s, 12345), "1.23E+04");
  EXPECT_EQ(Fmt(us, s, 0), "0.00E+00");
  EXPECT_EQ(Fmt(us, s, 1e200), "********");
  EXPECT_EQ(Fmt(European(), s, 12345), "1,23E+04");
  FieldDef g = NumberField(2, 10, 0);
  EXPECT_EQ(Fmt(us, g, 1.0 / 3), "0.33333333");
  EXPECT_EQ(Fmt(us, g, 100), "100");
  EXPECT_EQ(Fmt(us, g, -2.5), "-2.5");
  EXPECT_EQ(Fmt(us, g, 1e20), "1.0000E+20");
  EXPECT_EQ(Fmt(us, NumberField(2, 4, 0), 1e20), "****");
  EXPECT_EQ(Fmt(European(), g, 0.5), "0,5");
}

TEST(FormatNumber, ReportModePrefixAndAlignment) {
  FormatSettings us;
  FieldDef f = NumberField(5 | 0x1000, 6, 0);  // left aligned
  double x = 42;
  char buf[600];
  int n = FormatFieldValue(us, &f, buf, &x, 300, kOutputReport, nullptr);
  ASSERT_EQ(n, 20 + 2);
  EXPECT_EQ(buf[0], 27);
  EXPECT_EQ(buf[1], 1);
  EXPECT_EQ(static_cast<uint8_t>(buf[2]) | (static_cast<uint8_t>(buf[3]) << 8), 300);
  EXPECT_EQ(std::string(buf + 4, 16), std::string(16, '\0'));  // the run puts font and colour there
  EXPECT_EQ(std::string(buf + 20), "42");
  f.formatCode = 5;  // right
  n = FormatFieldValue(us, &f, buf, &x, 300, kOutputReport, nullptr);
  ASSERT_EQ(n, 18 + 2);
  EXPECT_EQ(buf[1], 5);
  EXPECT_EQ(std::string(buf + 18), "42");
  x = GetNullNumber();
  EXPECT_EQ(FormatFieldValue(us, &f, buf, &x, 300, kOutputReport, nullptr), 0);
}

TEST(FormatDate, StylesAndYearForms) {
  FormatSettings us;
  uint32_t d = Day(1999, 3, 5);
  EXPECT_EQ(FmtDate(us, 0x1000, d), "03/05/99");
  EXPECT_EQ(FmtDate(us, 0x3010, d), "05.03.1999");
  EXPECT_EQ(FmtDate(us, 0x4010, d), "1999-03-05");
  EXPECT_EQ(FmtDate(us, 0x0216, d), "March 5, 1999");  // alignment bits do not change the style
  EXPECT_EQ(FmtDate(us, 0x6010, d), "05/03");
  EXPECT_EQ(FmtDate(us, 0x0016, d), "March 5, 1999");
  EXPECT_EQ(FmtDate(us, 0x0006, d), "March 5, 99");
  EXPECT_EQ(FmtDate(us, 0x0007, d), "5 March 99");
  EXPECT_EQ(FmtDate(us, 0x1000, EmptyDate), "");
  EXPECT_EQ(FmtDate(us, 0x1000, InvalidDate), "**/**/**");
  EXPECT_EQ(FmtDate(us, 0x3010, d, 1), "**.**.****");
  EXPECT_EQ(FmtDate(us, 0x1000, 400000), "**/**/**");  // beyond the calendar
  EXPECT_EQ(FmtDate(us, 0xA000, d), "3/5/99");
  EXPECT_EQ(FmtDate(us, 0x9000, d), "March 5, 1999");
  EXPECT_EQ(FmtDate(us, 0xA000, InvalidDate), "*/*/**");
  FormatSettings eu = European();
  EXPECT_EQ(FmtDate(eu, 0xA000, d), "05.03.1999");
  EXPECT_EQ(FmtDate(eu, 0x9000, d), "Friday, 5. March 1999");
  FormatSettings wordy;
  std::string pic;
  for (int i = 0; i < 15; ++i) pic += "dddd,";
  pic += "dddd";
  std::strcpy(wordy.intl.sLongDate, pic.c_str());
  // Sixteen "Wednesday"s: longer than the old 128-byte text, no overrun.
  EXPECT_EQ(FmtDate(wordy, 0x9000, Day(1999, 3, 3)).size(), 16u * 9 + 15);
  if (std::strlen(GetResString(1223, 0)) == 0) GTEST_SKIP() << "month abbreviations not in the string table";
  EXPECT_EQ(FmtDate(us, 0x0001, d), "05-Mar-99");
}

TEST(FormatTime, FlagsAndRegionalSettings) {
  char b[64];
  FormatTimeWithFlags(false, 0, 5, 9, 5, b);
  EXPECT_STREQ(b, "12:05:09 am");
  FormatTimeWithFlags(false, 13, 0, 0, 5, b);
  EXPECT_STREQ(b, "01:00:00 pm");
  FormatTimeWithFlags(false, 13, 0, 0, 7, b);
  EXPECT_STREQ(b, "13:00:00");
  FormatTimeWithFlags(true, 0, 0, 0, 1, b);
  EXPECT_STREQ(b, "*:**:** am");
  FormatSettings us;
  FormatTimeText(us, false, 23, 1, 2, b, true);
  EXPECT_STREQ(b, "11:01:02 pm");
  FormatTimeText(European(), false, 23, 1, 2, b, true);
  EXPECT_STREQ(b, "23:01:02");

  FieldDef f;
  f.flags = kFieldDateTime;
  f.formatCode = 0x1010;
  f.timeFormat = 0x30 | 5;
  uint8_t value[12];
  uint32_t day = Day(1999, 3, 5);
  double t = 13.5 * 3600e6;
  std::memcpy(value, &day, 4);
  std::memcpy(value + 4, &t, 8);
  char buf[600];
  FormatFieldValue(us, &f, buf, value, -1, kOutputText, nullptr);
  EXPECT_STREQ(buf, "03/05/1999 01:30:00 pm");
  f.timeFormat = 0x20 | 0x8000;
  FormatFieldValue(European(), &f, buf, value, -1, kOutputText, nullptr);
  EXPECT_STREQ(buf, "13:30:00");
  f.timeFormat = 0x30;
  t = kNullNumber;
  day = EmptyDate;
  std::memcpy(value, &day, 4);
  std::memcpy(value + 4, &t, 8);
  EXPECT_EQ(FormatFieldValue(us, &f, buf, value, -1, kOutputText, nullptr), 0);
  f.timeFormat = 0x30 | 5;
  EXPECT_GE(MeasureDateTimeWidth(us, &f), 22);
}

TEST(FormatText, FittingLineFeedsAndLogicals) {
  FormatSettings us;
  FieldDef f;
  f.displayWidth = 5;
  char text[] = "abcdefgh";
  char buf[600];
  FormatFieldValue(us, &f, buf, text, -1, kOutputTextFitted, nullptr);
  EXPECT_STREQ(buf, "abcde");
  char lines[] = "a\nb\xB7" "c   ";
  f.displayWidth = 20;
  FormatFieldValue(us, &f, buf, lines, -1, kOutputTextFitted, nullptr);
  EXPECT_STREQ(buf, "a b c");
  char esc[] = "x\x1By";
  FormatFieldValue(us, &f, buf, esc, -1, kOutputTextFitted, nullptr);
  EXPECT_STREQ(buf, "x\x1B\x1By");
  f.valueStatus = 1;
  f.value = reinterpret_cast<uint8_t*>(text);
  f.displayWidth = 3;
  FormatFieldValue(us, &f, buf, nullptr, -1, kOutputTextFitted, nullptr);
  EXPECT_STREQ(buf, "***");
  FieldDef l;
  l.flags = kFieldLogical;
  l.displayWidth = 1;
  uint8_t yes = 1, no = 0;
  FormatFieldValue(us, &l, buf, &yes, -1, kOutputTextFitted, nullptr);
  EXPECT_STREQ(buf, "T");
  std::strcpy(us.logF, "Nein");
  FormatFieldValue(us, &l, buf, &no, -1, kOutputTextFitted, nullptr);
  EXPECT_STREQ(buf, "Nein");
  // A long text is never more than 254 characters.
  std::string big(1000, 'q');
  f.valueStatus = 0;
  f.flags2 = 2;  // not fitted
  EXPECT_EQ(FormatFieldValue(us, &f, buf, big.c_str(), -1, kOutputText, nullptr), 254);
  // An escape doubled at the cut keeps the first of its pair, as a cut after
  // doubling would.
  std::string cut = std::string(253, 'q') + "\x1Bz";
  ASSERT_EQ(FormatFieldValue(us, &f, buf, cut.c_str(), -1, kOutputText, nullptr), 254);
  EXPECT_EQ(buf[252], 'q');
  EXPECT_EQ(buf[253], '\x1B');
  EXPECT_EQ(buf[254], 0);
}

TEST(FieldPictures, NumbersDatesTimesTexts) {
  FormatSettings us;
  char b[600], s[40];
  FieldDef c = NumberField(6, 9, 2);
  BuildFieldPicture(us, &c, b, s);
  EXPECT_STREQ(b, "($9,999,999.99");
  EXPECT_STREQ(s, ")");
  FieldDef sc = NumberField(1, 8, 2);
  BuildFieldPicture(us, &sc, b, nullptr);
  EXPECT_STREQ(b, "x.xxE+xx");
  FieldDef d;
  d.flags = kFieldDate;
  d.formatCode = 0x1000;
  BuildFieldPicture(us, &d, b, nullptr);
  EXPECT_STREQ(b, "mm/dd/yy");
  d.formatCode = 0x0316;
  BuildFieldPicture(us, &d, b, nullptr);
  EXPECT_STREQ(b, ">mmmmmmmm dd, yyyy");
  d.formatCode = 0xA000;
  BuildFieldPicture(European(), &d, b, nullptr);
  EXPECT_STREQ(b, "dd.mm.yyyy");
  FieldDef t;
  t.flags = kFieldTime;
  t.timeFormat = 5;
  EXPECT_EQ(BuildFieldPicture(us, &t, b, nullptr), 11);
  EXPECT_STREQ(b, "hh:mm:ss am");
  EXPECT_EQ(t.displayWidth, 11u);
  FieldDef x;
  x.displayWidth = 4;
  x.formatCode = 0x20;
  BuildFieldPicture(us, &x, b, nullptr);
  EXPECT_STREQ(b, "^xxx");
}

TEST(FormatWithRegionalFile, EuropeanWinIniDrivesEveryStyle) {
  std::string dir = ::testing::TempDir() + "format_eu";
  std::string cmd = "mkdir -p '" + dir + "' && cp '" + std::string(VT_TEST_DATA_DIR) +
                    "/functions/win_european.ini' '" + dir + "/win.ini'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  setenv("VORTELLE_WINDIR", dir.c_str(), 1);
  FormatSettings eu;
  ReadIntlSettings(eu.intl);
  unsetenv("VORTELLE_WINDIR");
  EXPECT_EQ(Fmt(eu, NumberField(5, 6, 2), -12.5), "-12,50");
  EXPECT_EQ(Fmt(eu, NumberField(7, 9, 2), 1234567.891), "1.234.567,89");
  EXPECT_EQ(Fmt(eu, NumberField(6, 9, 2), -5), "-5,00 \x80");
  EXPECT_EQ(Fmt(eu, NumberField(4, 4, 1), 0.125), "12,5%");
  EXPECT_EQ(Fmt(eu, NumberField(2, 10, 0), 1.0 / 3), "0,33333333");
  EXPECT_EQ(FmtDate(eu, 0xA000, Day(1999, 3, 5)), "05.03.1999");
  EXPECT_EQ(FmtDate(eu, 0x9000, Day(1999, 3, 5)), "Friday, 5. March 1999");
  char b[64];
  FormatTimeText(eu, false, 13, 5, 9, b, true);
  EXPECT_STREQ(b, "13 05 09");  // an empty separator reads as a blank
}

}  // namespace
