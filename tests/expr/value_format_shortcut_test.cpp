// FormatFieldValue's shortcuts (the usual numbers written straight into the
// buffer, the date of the call before kept, texts copied eight bytes at a
// time) against its general path, over
// random values, fields, output modes and regional settings: every case must
// give the same characters, suffix and length.
#include "expr/value_format.h"

#include "expr/calendar.h"
#include "expr/value_helpers.h"
#include "core/fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Random {
  uint64_t state;
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
};

double RandomNumber(Random& r) {
  const uint64_t bits = r.Next();
  switch (r.Below(10)) {
    case 0:  // an amount in cents
      return static_cast<double>(static_cast<int64_t>(bits % 20000000001ull) - 10000000000) / 100.0;
    case 1:  // a count
      return static_cast<double>(static_cast<int64_t>(bits % 20000001ull) - 10000000);
    case 2: {  // a few units of the last place from a half-way point
      double v = (static_cast<double>(bits % 1000000000ull) + 0.5) / std::pow(10.0, r.Below(10));
      for (int k = r.Below(9) - 4; k != 0; k += k > 0 ? -1 : 1) v = std::nextafter(v, k > 0 ? HUGE_VAL : 0.0);
      return (bits >> 63) ? -v : v;
    }
    case 3:  // any size
      return std::ldexp(static_cast<double>(bits >> 11), r.Below(130) - 110) * ((bits & 1) ? -1 : 1);
    case 4:  // about the thousandth where the shortcut stops
      return static_cast<double>(bits % 100000ull) / 1e7 * ((bits & 1) ? -1 : 1);
    case 5: {
      const double edges[] = {0.0, -0.0, 0.5, -0.5, 9.995, 999.9999999, 0.005, 1e15, 8.9e15, 9.1e15, 1e40, 2e40,
                              1e100, 1e-100, 123456789.125, -0.004};
      return edges[r.Below(16)];
    }
    case 6: {
      const double specials[] = {GetNullNumber(), GetPositiveInfinity(), -GetPositiveInfinity(), std::nan("")};
      return specials[r.Below(4)];
    }
    case 7: {  // just under and over powers of ten
      const double p = std::pow(10.0, r.Below(16));
      return p - std::pow(10.0, -r.Below(10)) * (bits % 3);
    }
    case 8: {  // any finite double
      double v;
      std::memcpy(&v, &bits, sizeof v);
      return std::isfinite(v) ? v : 1.0;
    }
    default:  // a share, as percent fields hold
      return static_cast<double>(static_cast<int64_t>(bits % 20001ull) - 10000) / 10000.0;
  }
}

FormatSettings RandomSettings(Random& r) {
  FormatSettings doc;
  switch (r.Below(4)) {
    case 0:
      break;  // the defaults
    case 1:
      doc.intl.sDecimal = ',';
      doc.intl.sThousand = '.';
      std::strcpy(doc.intl.sCurrency, " \x80");
      doc.intl.currencyBefore = 0;
      break;
    case 2:
      doc.intl.sDecimal = '.';
      doc.intl.sThousand = '\'';
      std::strcpy(doc.intl.sCurrency, "SFr. ");
      break;
    default: {  // what a hand-edited settings file may hold
      const char decimals[] = {'\0', '*', '5', '0', ' ', '\xB7', '.'};
      const char thousands[] = {'\0', ' ', '9', '*', '\xB7', ','};
      const char* currencies[] = {"", "kr", " \xA3", "$$$$$$$$$$$$$$$", "\xB7"};
      doc.intl.sDecimal = decimals[r.Below(7)];
      doc.intl.sThousand = thousands[r.Below(6)];
      std::strcpy(doc.intl.sCurrency, currencies[r.Below(5)]);
      doc.intl.currencyBefore = r.Below(2);
      break;
    }
  }
  const int forms[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 99};
  doc.intl.iNegCurr = static_cast<uint8_t>(forms[r.Below(18)]);
  doc.noWidthLimit = r.Below(8) == 0;
  const unsigned char pads[] = {183, 183, 183, '0', ',', '.', '-', '$', '(', 0x80};
  doc.padChar = pads[r.Below(10)];
  return doc;
}

// Formats with both paths and compares all that a caller can read.
void ExpectSame(const FormatSettings& doc, const FieldDef& f, const void* value, Random& r, const std::string& what) {
  const int modes[] = {kOutputReport, kOutputReport, kOutputText, kOutputTextFitted};
  const int mode = modes[r.Below(4)];
  const int position = r.Below(3) == 0 ? -1 : 300;
  const bool withSuffix = r.Below(4) != 0;
  char fast[600], general[600], fastSuffix[64], generalSuffix[64];
  std::memset(fast, 'x', sizeof fast);
  std::memset(general, 'x', sizeof general);
  const int n = FormatFieldValue(doc, &f, fast, value, position, mode, withSuffix ? fastSuffix : nullptr);
  const int m = FormatFieldValueGeneral(doc, &f, general, value, position, mode, withSuffix ? generalSuffix : nullptr);
  ASSERT_EQ(n, m) << what;
  ASSERT_EQ(std::string(fast, static_cast<size_t>(n) + 1), std::string(general, static_cast<size_t>(m) + 1)) << what;
  if (withSuffix) {
    ASSERT_STREQ(fastSuffix, generalSuffix) << what;
  }
}

TEST(FormatShortcuts, NumbersMatchTheGeneralPath) {
  Random r{0x2545F4914F6CDD1Dull};
  for (int i = 0; i < 60000; ++i) {
    const FormatSettings doc = RandomSettings(r);
    FieldDef f;
    f.flags = kFieldNumeric;
    f.formatCode = static_cast<uint32_t>(r.Below(16)) | (r.Below(4) == 0 ? 0x100u : 0) |
                   (r.Below(4) == 0 ? 0x200u : 0) | (static_cast<uint32_t>(r.Below(4)) << 12);
    const uint32_t wideWidths[] = {0, 254, 255, 300, 0xFFFFFFFFu};
    f.displayWidth = r.Below(8) == 0 ? wideWidths[r.Below(5)] : static_cast<uint32_t>(r.Below(21));
    const uint8_t wideDecimals[] = {10, 12, 20, 254, 255};
    f.displayDecimals = r.Below(10) == 0 ? wideDecimals[r.Below(5)] : static_cast<uint8_t>(r.Below(7));
    if (r.Below(10) == 0) f.displayDecimals = static_cast<uint8_t>(std::min<uint32_t>(f.displayWidth, 255));
    f.valueStatus = f.previousStatus = r.Below(20) == 0 ? 1 : 0;
    const double x = RandomNumber(r);
    ExpectSame(doc, f, &x, r,
               "value " + std::to_string(x) + " style " + std::to_string(f.formatCode) + " width " +
                   std::to_string(f.displayWidth) + " decimals " + std::to_string(f.displayDecimals));
  }
}

TEST(FormatShortcuts, RepeatedDatesFollowStyleAndPicture) {
  Random r{0x9E3779B97F4A7C15ull};
  const char* pictures[] = {"M/D/Y", "dd.MM.yyyy", "MMMM d, yyyy", "dddd, d. MMMM yyyy", "yy'x'MM", "d/M/yy",
                            "'on' ddd MMM \"d\" d", "MM-dd", "MM-dd-yyyy", "d/M/yyyy"};
  const uint32_t styles[] = {0x9000, 0xA000, 0xA000, 0xA000, 1, 4, 5, 6, 7, 8, 9, 10, 11, 0x1000,
                             0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000, 0x8000};
  // One document whose pictures and pad character change in place, as a
  // settings change would change them between two lines.
  FormatSettings doc;
  uint32_t day = 144599;
  for (int i = 0; i < 30000; ++i) {
    if (r.Below(20) == 0) std::strcpy(doc.intl.sShortDate, pictures[r.Below(10)]);
    if (r.Below(40) == 0) std::strcpy(doc.intl.sLongDate, pictures[r.Below(10)]);
    if (r.Below(30) == 0) {
      const unsigned char pads[] = {183, '/', '.', '0', '9'};
      doc.padChar = pads[r.Below(5)];
    }
    if (r.Below(3) == 0) {
      const uint32_t specials[] = {EmptyDate, InvalidDate, 0, static_cast<uint32_t>(kLastDay),
                                   static_cast<uint32_t>(kLastDay) + 1, 400000, 0x80000010u, 0x800001FEu};
      day = r.Below(4) == 0 ? specials[r.Below(8)] : static_cast<uint32_t>(r.Below(kLastDay + 1));
    }
    FieldDef f;
    f.flags = r.Below(5) == 0 ? kFieldDateTime : kFieldDate;
    f.formatCode = styles[r.Below(21)] | (r.Below(2) ? 0x10u : 0) | (static_cast<uint32_t>(r.Below(4)) << 8);
    f.timeFormat = 0x30 | 5;
    f.valueStatus = f.previousStatus = r.Below(20) == 0 ? 1 : 0;
    uint8_t value[12];
    const double t = 13.5 * 3600e6;
    std::memcpy(value, &day, 4);
    std::memcpy(value + 4, &t, 8);
    ExpectSame(doc, f, value, r,
               "day " + std::to_string(day) + " style " + std::to_string(f.formatCode) + " picture " +
                   doc.intl.sShortDate);
  }
}

TEST(FormatShortcuts, TextsMatchTheGeneralPath) {
  Random r{0xD1B54A32D192ED03ull};
  const char pieces[] = {'a', 'b', ' ', ' ', '\n', '\x1B', '\xB7', '0', '\xE9', 'z'};
  for (int i = 0; i < 20000; ++i) {
    FormatSettings doc = RandomSettings(r);
    std::string text(static_cast<size_t>(r.Below(4) == 0 ? r.Below(300) : r.Below(24)), 'q');
    for (char& c : text)
      if (r.Below(6) == 0) c = pieces[r.Below(10)];
    FieldDef f;
    f.flags = r.Below(8) == 0 ? kFieldLogical : r.Below(8) == 0 ? kFieldMemo : 0;
    f.flags2 = r.Below(2) ? 2 : 0;
    f.formatCode = static_cast<uint32_t>(r.Below(5)) << 4;
    f.displayWidth = r.Below(6) == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(r.Below(40));
    f.valueStatus = f.previousStatus = r.Below(20) == 0 ? 1 : 0;
    if (f.flags & kFieldLogical) {
      std::strcpy(doc.logF, pieces[r.Below(10)] == 'a' ? "Nein\n " : "F");
      const uint8_t logical = static_cast<uint8_t>(r.Below(2));
      ExpectSame(doc, f, &logical, r, "logical");
    } else {
      ExpectSame(doc, f, text.c_str(), r, "text " + text);
    }
  }
}

// The kept date belongs to the thread that formatted it: two threads with
// pictures of their own, formatting the same day, each get their own text.
TEST(FormatShortcuts, KeptDateIsEachThreadsOwn) {
  auto run = [](const char* picture, std::string* first, bool* same) {
    FormatSettings doc;
    std::strcpy(doc.intl.sShortDate, picture);
    FieldDef f;
    f.flags = kFieldDate;
    f.formatCode = 0xA000;
    uint32_t day = 144599;
    char buf[600];
    *same = true;
    for (int i = 0; i < 2000; ++i) {
      FormatFieldValue(doc, &f, buf, &day, -1, kOutputText, nullptr);
      if (i == 0) *first = buf;
      else if (*first != buf) *same = false;
    }
  };
  std::string a, b;
  bool sameA = false, sameB = false;
  std::thread ta(run, "M/D/Y", &a, &sameA);
  std::thread tb(run, "yyyy-MM-dd", &b, &sameB);
  ta.join();
  tb.join();
  EXPECT_TRUE(sameA);
  EXPECT_TRUE(sameB);
  EXPECT_NE(a, b);
  EXPECT_EQ(b.size(), 10u);
}

}  // namespace
