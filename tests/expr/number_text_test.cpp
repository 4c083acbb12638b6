#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "expr/number_text.h"

namespace {

uint64_t XorShift(uint64_t* state) {
  *state ^= *state << 13;
  *state ^= *state >> 7;
  *state ^= *state << 17;
  return *state;
}

}  // namespace

TEST(NumberTextTest, ExactTiesRoundAwayFromZero) {
  EXPECT_EQ(LegacyFormatString("%.0f", 2.5), "3");
  EXPECT_EQ(LegacyFormatString("%.0f", 0.5), "1");
  EXPECT_EQ(LegacyFormatString("%.0f", -2.5), "-3");
  EXPECT_EQ(LegacyFormatString("%.2f", 0.125), "0.13");
  EXPECT_EQ(LegacyFormatString("%.1f", 0.25), "0.3");
  EXPECT_EQ(LegacyFormatString("%10.0f", 2.5), "         3");
  // Not ties: the binary value lies below the half.
  EXPECT_EQ(LegacyFormatString("%.2f", 1.005), "1.00");
  EXPECT_EQ(LegacyFormatString("%.1f", 0.35), "0.3");
  // Carries run through every digit.
  EXPECT_EQ(LegacyFormatString("%.2f", 9.995), "9.99");
  EXPECT_EQ(LegacyFormatString("%.1f", 9.96), "10.0");
  EXPECT_EQ(LegacyFormatString("%.0f", 999.5), "1000");
}

TEST(NumberTextTest, NoNegativeZeroAndSeventeenDigits) {
  EXPECT_EQ(LegacyFormatString("%.0f", -0.4), "0");
  EXPECT_EQ(LegacyFormatString("%.2f", -0.001), "0.00");
  EXPECT_EQ(LegacyFormatString("%.1f", -0.0), "0.0");
  EXPECT_EQ(LegacyFormatString("%5.1f", -0.04), "  0.0");
  EXPECT_EQ(LegacyFormatString("%.2f", -1.005), "-1.00");
  // Past the 17th significant digit the text is zeros.
  EXPECT_EQ(LegacyFormatString("%.0f", 1e20), "100000000000000000000");
  EXPECT_EQ(LegacyFormatString("%.0f", 123456789012345678901.0), "123456789012345680000");
  EXPECT_EQ(LegacyFormatString("%.20f", 0.1), "0.10000000000000001000");
  EXPECT_EQ(LegacyFormatString("%021.0f", 12345.0), "000000000000000012345");
  EXPECT_EQ(LegacyFormatString("%021.0f", -12.0), "-00000000000000000012");
}

TEST(NumberTextTest, ExponentsHaveThreeDigits) {
  EXPECT_EQ(LegacyFormatString("%.2E", 12345.0), "1.23E+004");
  EXPECT_EQ(LegacyFormatString("%.2e", 0.000125), "1.25e-004");  // a tie rounds up
  EXPECT_EQ(LegacyFormatString("%.3E", 99999.5), "1.000E+005");
  EXPECT_EQ(LegacyFormatString("%E", 0.0), "0.000000E+000");
  EXPECT_EQ(LegacyFormatString("%.1E", 1e300), "1.0E+300");
  char text[32] = "1.23E+004";
  DropExponentDigit(text);
  EXPECT_STREQ(text, "1.23E+04");
  char two[32] = "1.23E+04";  // already short: left alone
  DropExponentDigit(two);
  EXPECT_STREQ(two, "1.23E+04");
  EXPECT_EQ(FormatScientific(-1234.5, 1), "-1.2E+003");
}

TEST(NumberTextTest, GeneralIntegersAndPadding) {
  EXPECT_EQ(LegacyFormatString("%g", 0.0001), "0.0001");
  EXPECT_EQ(LegacyFormatString("%g", 1234567.0), "1.23457e+006");
  EXPECT_EQ(LegacyFormatString("%g", 2.5), "2.5");
  EXPECT_EQ(LegacyFormatString("%.0g", 2.5), "3");
  EXPECT_EQ(LegacyFormatString("%-6.1f|", 1.25), "1.3   |");
  EXPECT_EQ(LegacyFormatString("%+.1f", 1.0), "+1.0");
  EXPECT_EQ(LegacyFormatString("%*.*f", 8, 2, 3.14159), "    3.14");
  EXPECT_EQ(LegacyFormatString("%02d:%04ld %s %u%%", 5, 12L, "x", 7u), "05:0012 x 7%");
  EXPECT_EQ(LegacyFormatString("%.1f", INFINITY), "1.#INF");
  char small[5];
  EXPECT_EQ(LegacyFormat(small, sizeof small, "%.3f", 3.14159), 5);
  EXPECT_STREQ(small, "3.14");  // cut to the buffer, length of the whole text returned
  EXPECT_EQ(FormatFixed(2.675, 2), "2.67");  // 2.67499999... is below the half
}

#include "expr/value_helpers.h"

TEST(ValueHelpersTest, NullAndInfinityMarkers) {
  EXPECT_TRUE(IsNullNumber(GetNullNumber()));
  EXPECT_FALSE(IsNullNumber(-1e308));
  const uint64_t inf = DoubleBits(GetPositiveInfinity());
  EXPECT_TRUE(IsPositiveInfinity(static_cast<uint32_t>(inf), static_cast<uint32_t>(inf >> 32)));
  EXPECT_FALSE(IsPositiveInfinity(static_cast<uint32_t>(inf), 0));
  const uint64_t ninf = DoubleBits(GetNegativeInfinity());
  EXPECT_TRUE(IsNegativeInfinity(static_cast<uint32_t>(ninf), static_cast<uint32_t>(ninf >> 32)));
  unsigned char q[8];
  SetNullQword(q);
  EXPECT_EQ(q[1], 0x80);
  EXPECT_EQ(q[0] | q[2] | q[7], 0);
  EXPECT_TRUE(IsNullQword(q));
  q[7] = 1;
  EXPECT_FALSE(IsNullQword(q));
  char text[24];
  SetMinInt64Text(text);
  EXPECT_STREQ(text, "-9223372036854775808");
  EXPECT_TRUE(IsMinInt64Text(text));
  EXPECT_FALSE(IsMinInt64Text("-9223372036854775807"));
}

// The digits come from the library's exact conversion, not printf: they
// must be printf's to the 17th digit for any double, and the direct forms
// must print what the format string prints.
TEST(NumberTextTest, DigitsMatchPrintfAndDirectFormsMatchTheFormat) {
  uint64_t state = 88172645463325252ull;
  auto next = [&state] { return XorShift(&state); };
  for (int i = 0; i < 20000; ++i) {
    double v;
    const uint64_t bits = next();
    if (i % 2 == 0) {
      std::memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) continue;
    } else {
      v = static_cast<double>(static_cast<int64_t>(bits % 2000000001ull) - 1000000000) / 100.0;
    }
    char c[64];
    std::snprintf(c, sizeof c, "%.16e", std::fabs(v));
    const std::string legacy = LegacyFormatString("%.16e", std::fabs(v));
    // Only the exponent's width differs (three digits against printf's two or more).
    ASSERT_EQ(legacy.substr(0, 18), std::string(c, 18)) << v;
    const int decimals = static_cast<int>(bits % 7);
    ASSERT_EQ(FormatFixed(v, decimals), LegacyFormatString("%.*f", decimals, v)) << v;
    ASSERT_EQ(FormatScientific(v, decimals), LegacyFormatString("%.*E", decimals, v)) << v;
  }
  for (double v : {0.0, -0.0, 2.5, -2.5, 0.125, 9.995, 1e300, -1e-300, HUGE_VAL, -HUGE_VAL, static_cast<double>(NAN)}) {
    for (int decimals : {-1, 0, 2, 20}) {
      EXPECT_EQ(FormatFixed(v, decimals), LegacyFormatString("%.*f", decimals, v)) << v << " " << decimals;
      EXPECT_EQ(FormatScientific(v, decimals, false), LegacyFormatString("%.*e", decimals, v)) << v;
    }
  }
}

namespace {

// The legacy rule written out plainly: the value's 17 significant digits
// (as %.16e gives them), rounded half away from zero to `decimals` places.
std::string SeventeenDigitsFixed(double v, int decimals) {
  const std::string e = LegacyFormatString("%.16e", std::fabs(v));
  std::string digits = e.substr(0, 1) + e.substr(2, 16);
  int exp10 = std::atoi(e.c_str() + e.find('e') + 1);
  const int keep = exp10 + 1 + decimals;  // digits before the cut
  std::string kept;
  if (keep < 0) {
    kept = "0";
  } else {
    kept = digits.substr(0, std::min<size_t>(keep, 17));
    bool up = keep < 17 && digits[keep] >= '5';
    kept.append(keep > 17 ? keep - 17 : 0, '0');
    if (up) {
      int i = static_cast<int>(kept.size()) - 1;
      for (; i >= 0 && kept[i] == '9'; --i) kept[i] = '0';
      if (i < 0) kept.insert(kept.begin(), '1');
      else ++kept[i];
    }
    if (kept.empty()) kept = "0";
  }
  while (static_cast<int>(kept.size()) <= decimals) kept.insert(kept.begin(), '0');
  std::string out = kept.substr(0, kept.size() - decimals);
  if (decimals > 0) out += "." + kept.substr(kept.size() - decimals);
  const bool zero = kept.find_first_not_of('0') == std::string::npos;
  return (v < 0 && !zero ? "-" : "") + out;
}

}  // namespace

// Report amounts, and values a few units of the last place either side of
// the half-way points where the 17 digits and the exact value could part.
TEST(NumberTextTest, FixedTextKeepsTheSeventeenDigitRuleNearHalves) {
  uint64_t state = 2463534242ull;
  auto next = [&state] { return XorShift(&state); };
  int checked = 0;
  for (int i = 0; i < 60000; ++i) {
    const uint64_t bits = next();
    const int decimals = static_cast<int>(bits % 10);
    const double scale = std::pow(10.0, decimals);
    double v;
    switch (i % 4) {
      case 0:  // an amount of cents
        v = static_cast<double>(static_cast<int64_t>(bits % 20000000001ull) - 10000000000) / 100.0;
        break;
      case 1:  // on a half, moved by a few units of the last place
        v = (static_cast<double>(bits % 1000000000ull) + 0.5) / scale;
        for (int k = static_cast<int>((bits >> 40) % 9) - 4; k != 0; k += k > 0 ? -1 : 1)
          v = std::nextafter(v, k > 0 ? HUGE_VAL : 0.0);
        break;
      case 2:  // any size from a thousandth up
        v = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>((bits & 0x3F)) - 63);
        break;
      default:  // small values about the 1e-3 edge
        v = static_cast<double>(bits % 100000ull) / 1e7;
        break;
    }
    if (bits & (1ull << 63)) v = -v;
    ASSERT_EQ(FormatFixed(v, decimals), SeventeenDigitsFixed(v, decimals)) << v << " " << decimals;
    ASSERT_EQ(LegacyFormatString("%.*f", decimals, v), SeventeenDigitsFixed(v, decimals)) << v;
    ++checked;
  }
  EXPECT_EQ(checked, 60000);
  EXPECT_EQ(FormatFixed(1234567.125, 2), "1234567.13");  // an exact half rounds away
  EXPECT_EQ(FormatFixed(0.0004, 2), "0.00");
  EXPECT_EQ(FormatFixed(-0.0004, 2), "0.00");
  EXPECT_EQ(FormatFixed(999.9999999, 3), "1000.000");
}

// The digit count steps at each power of ten, where the bit length alone
// cannot tell; the scaled digits keep their leading decimal zeros.
TEST(NumberTextTest, DigitCountsAndScaledDigits) {
  EXPECT_EQ(DecimalDigitCount(0), 1);
  EXPECT_EQ(DecimalDigitCount(UINT64_MAX), 20);
  for (int k = 1; k < 20; ++k) {
    EXPECT_EQ(DecimalDigitCount(kPowerOfTen[k]), k + 1) << k;
    EXPECT_EQ(DecimalDigitCount(kPowerOfTen[k] - 1), k) << k;
  }
  char out[48];
  EXPECT_EQ(std::string(out, PutScaledDigits(1234567891234ull, 2, ',', true, '.', out)), "12.345.678.912,34");
  EXPECT_EQ(std::string(out, PutScaledDigits(5ull, 3, '.', true, ',', out)), "0.005");
  EXPECT_EQ(std::string(out, PutScaledDigits(123456ull, 0, '.', true, '\0', out)), std::string("123\0" "456", 7));
  EXPECT_EQ(std::string(out, PutScaledDigits(8999999999999999ull, 9, '.', false, ',', out)), "8999999.999999999");
}
