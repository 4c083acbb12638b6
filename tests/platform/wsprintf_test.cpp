#include "platform/win/c_numbers.h"
#include "platform/win/muldiv.h"
#include "platform/win/wsprintf.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdarg>
#include <cstring>
#include <string>

namespace {
// Without the printf attribute, so the odd formats below compile quietly.
int Loose(char* buf, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfBounded(buf, size, format, args);
  va_end(args);
  return n;
}
}  // namespace

TEST(Format, ConversionsTheProgramUses) {
  char buf[128];
  wsprintfBounded(buf, sizeof buf, "%s (%d) %u %x %04x %02d %lu %ld|%10ld|%-4d|%c",
                  "Fatal", -7, 4000000000u, 0xBEEFu, 0x1Au, 5, 123456789ul, -5l, 42l, 9, 0x141);
  EXPECT_STREQ(buf, "Fatal (-7) 4000000000 beef 001a 05 123456789 -5|        42|9   |A");
  wsprintfBounded(buf, sizeof buf, "%%u.%%0%uu", 2u);
  EXPECT_STREQ(buf, "%u.%02u");
  Loose(buf, sizeof buf, "%s %.3s %5s %X %#x %+d %hd", static_cast<const char*>(nullptr), "abcdef", "ab", 255u, 255u, 3, 70000);
  EXPECT_STREQ(buf, "(null) abc    ab FF 0xff +3 4464");
  wsprintfBounded(buf, sizeof buf, "%d %d", -2147483647 - 1, 2147483647);
  EXPECT_STREQ(buf, "-2147483648 2147483647");
  // Unknown conversions and a lone percent at the end are copied, consuming nothing.
  Loose(buf, sizeof buf, "%f %q %o %d %", 12);
  EXPECT_STREQ(buf, "%f %q %o 12 %");
}

TEST(Format, OutputIsCutToTheBuffer) {
  char buf[16];
  std::memset(buf, 'Z', sizeof buf);
  std::string long_arg(600, 'x');
  int n = wsprintfBounded(buf, 8, "%s%s", long_arg.c_str(), long_arg.c_str());
  EXPECT_EQ(n, 7);
  EXPECT_STREQ(buf, "xxxxxxx");
  EXPECT_EQ(buf[8], 'Z');
  EXPECT_EQ(wsprintfBounded(buf, 1, "%d", 12345), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(wsprintfBounded(buf, sizeof buf, "%999999999d", 1), 15);
  EXPECT_EQ(CopyBounded(buf, 4, "abcdef"), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(AppendBounded(buf, 6, "defgh"), 5u);
  EXPECT_STREQ(buf, "abcde");
}

TEST(Format, MessageTextIsNeverAFormat) {
  char buf[64];
  CopyMessageText(buf, sizeof buf, "100%% done: %s %d %n");
  EXPECT_STREQ(buf, "100% done: %s %d %n");
  char small[4];
  EXPECT_EQ(CopyMessageText(small, sizeof small, "%%%%%%%%"), 3);
  EXPECT_STREQ(small, "%%%");
}

TEST(Format, NumbersIgnoreTheUserLocale) {
  // A locale with a decimal comma, when the machine has one.
  const char* de = std::setlocale(LC_ALL, "de_DE.UTF-8");
  char buf[32];
  FormatC(buf, sizeof buf, "%.2f", 1234.5);
  EXPECT_STREQ(buf, "1234.50");
  char* end = nullptr;
  EXPECT_DOUBLE_EQ(StrToDoubleC("2.75x", &end), 2.75);
  EXPECT_STREQ(end, "x");
  EXPECT_EQ(AtolC("  -120 sec"), -120);
  EXPECT_EQ(AtolC("99999999999"), 2147483647);
  EXPECT_EQ(AtolC("x"), 0);
  EXPECT_STREQ(LongToText(0x1A2B, buf, sizeof buf, 16), "1a2b");
  EXPECT_STREQ(LongToText(-1, buf, sizeof buf, 16), "ffffffff");
  EXPECT_STREQ(LongToText(-42, buf, sizeof buf, 10), "-42");
  EXPECT_STREQ(LongToText(123456, buf, 4, 10), "123");
  if (de != nullptr) std::setlocale(LC_ALL, "C");
}

TEST(Format, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(5, 3, 2), 8);     // 7.5
  EXPECT_EQ(MulDiv(-5, 3, 2), -8);   // -7.5
  EXPECT_EQ(MulDiv(5, -3, -2), 8);
  EXPECT_EQ(MulDiv(7, 1, 3), 2);
  EXPECT_EQ(MulDiv(720, 96, 96), 720);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(2147483647, 2, 1), -1);
  EXPECT_EQ(MulDiv(2147483647, 2147483647, 2147483647), 2147483647);
  EXPECT_EQ(MulDiv(65535, 65535, 65535), 65535);
}
