#include "foundation/file_removal.h"
#include "foundation/text_helpers.h"
#include "core/fields.h"
#include "platform/win/process.h"
#include "platform/win/string_compare.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

TEST(TextHelpers, TrimmingPadsAndHighBytes) {
  const unsigned char pad = 183;
  // Bytes above 0x7F are letters or pads, never white space.
  EXPECT_STREQ(SkipWhiteSpace(" \t\r\n\xA0x"), "\xA0x");
  EXPECT_STREQ(SkipLeadingSpace("\xE9t\xE9"), "\xE9t\xE9");
  char text[] = "Caf\xE9 \xB7\xB7 \t";
  EXPECT_EQ(TrimmedLength(text, pad), 4u);
  EXPECT_EQ(TrimTrailing(text, pad), 4u);
  EXPECT_STREQ(text, "Caf\xE9");
  char padded[] = "a\xB7" "b\xB7";
  EXPECT_STREQ(PadCharsToBlanks(padded, pad), "a b ");
  char buf[8] = "ab";
  PadString(buf, '*', 5);
  EXPECT_STREQ(buf, "ab***");
  PadString(buf, '-', 3);
  EXPECT_STREQ(buf, "ab***");
  char out[32];
  RemoveTabsAndCrLf("a\tb\r\nc\rd\ne", out);
  EXPECT_STREQ(out, "abc\rd\ne");
}

TEST(TextHelpers, FileNamesAndExtensions) {
  EXPECT_STREQ(FileNamePart("C:\\dir\\sub/name.rpt"), "name.rpt");
  EXPECT_STREQ(FileNamePart("C:name.rpt"), "name.rpt");
  EXPECT_STREQ(FileNamePart("name"), "name");
  char p[32] = "C:\\OUT\\SALES.TXT";
  EXPECT_EQ(ApplyFileExtension(p, sizeof p, "CSV", 0), 0);
  EXPECT_STREQ(p, "C:\\OUT\\SALES.TXT");
  EXPECT_EQ(ApplyFileExtension(p, sizeof p, "CSV", 1), 1);
  EXPECT_STREQ(p, "C:\\OUT\\SALES.CSV");
  char q[32] = "/out.d/sales";
  EXPECT_EQ(ApplyFileExtension(q, sizeof q, "CSV", 0), 1);
  EXPECT_STREQ(q, "/out.d/sales.CSV");
  EXPECT_EQ(ApplyFileExtension(q, sizeof q, "", 1), 1);
  EXPECT_STREQ(q, "/out.d/sales");
  EXPECT_EQ(ApplyFileExtension(q, sizeof q, "", 0), 0);
  char e[4] = "";
  EXPECT_EQ(ApplyFileExtension(e, sizeof e, "CSV", 1), 0);
  // A result that would not fit leaves the path as it was.
  char tight[10] = "abc.TXT";
  EXPECT_EQ(ApplyFileExtension(tight, sizeof tight, "LONGER", 1), 0);
  EXPECT_STREQ(tight, "abc.TXT");
  EXPECT_EQ(ApplyFileExtension(tight, sizeof tight, "HTML", 1), 1);
  EXPECT_STREQ(tight, "abc.HTML");
}

TEST(TextHelpers, ShortenedPaths) {
  char b[64];
  ShortenPathForDisplay("C:\\a.rpt", b, sizeof b);
  EXPECT_STREQ(b, "C:\\a.rpt");
  ShortenPathForDisplay("C:\\one\\a.rpt", b, sizeof b);
  EXPECT_STREQ(b, "C:\\...\\a.rpt");
  ShortenPathForDisplay("C:\\one\\two\\a.rpt", b, sizeof b);
  EXPECT_STREQ(b, "C:\\one\\...\\a.rpt");
  ShortenPathForDisplay("C:\\one\\two\\three\\four\\a.rpt", b, sizeof b);
  EXPECT_STREQ(b, "C:\\one\\...\\four\\a.rpt");
  ShortenPathForDisplay("\\\\server\\share\\x\\y\\a.rpt", b, sizeof b);
  EXPECT_STREQ(b, "\\\\server\\...\\y\\a.rpt");
  ShortenPathForDisplay("/home/me/reports/2026/a.rpt", b, sizeof b);
  EXPECT_STREQ(b, "/home/.../2026/a.rpt");
  ShortenPathForDisplay("/home/me/reports/2026/a.rpt", b, 8);
  EXPECT_STREQ(b, "/home/.");
  ShortenPathForDisplay("plain.rpt", b, sizeof b);
  EXPECT_STREQ(b, "plain.rpt");
}

TEST(TextHelpers, ScaledIntegersBothWays) {
  char b[16];
  EXPECT_EQ(FormatScaledInt(12345, b, sizeof b, 2, ','), 6);
  EXPECT_STREQ(b, "123,45");
  FormatScaledInt(12345, b, sizeof b, 0, ',');
  EXPECT_STREQ(b, "12345");
  FormatScaledInt(5, b, sizeof b, 2, '.');
  EXPECT_STREQ(b, "0.05");
  FormatScaledInt(65535, b, sizeof b, 6, '.');
  EXPECT_STREQ(b, "0.065535");
  FormatScaledInt(65535, b, 4, 2, '.');
  EXPECT_STREQ(b, "655");

  WORD v = 0;
  EXPECT_EQ(strToInt("1.50", &v, 1, '.'), 15);
  EXPECT_EQ(v, 15);
  EXPECT_EQ(strToInt("1.55", &v, 1, '.'), -2);
  EXPECT_EQ(strToInt("1.5.5", &v, 2, '.'), -1);
  EXPECT_EQ(strToInt("3277", &v, 0, '.'), 3277);
  EXPECT_EQ(strToInt("32770", &v, 0, '.'), -1);
  EXPECT_EQ(strToInt("12,5", &v, 2, ','), 1250);
  EXPECT_EQ(strToInt("1a", &v, 0, '.'), -1);
  EXPECT_EQ(strToInt("", &v, 2, '.'), 0);
  // Filling decimal places may not pass 16 bits; with no decimals a fraction
  // is refused rather than glued onto the whole part.
  EXPECT_EQ(strToInt("3276", &v, 2, '.'), -1);
  EXPECT_EQ(strToInt("327.67", &v, 2, '.'), 32767);
  EXPECT_EQ(strToInt("6.6", &v, 4, '.'), -1);
  EXPECT_EQ(strToInt("3.2", &v, 4, '.'), 32000);
  EXPECT_EQ(strToInt("1.5", &v, 0, '.'), -2);
  EXPECT_EQ(strToInt("1.0", &v, 0, '.'), 1);
  EXPECT_EQ(strToInt(nullptr, &v, 0, '.'), -1);
}

TEST(TextHelpers, TempNamesInThePrivateFolder) {
  char tmpl[] = "/tmp/vt-tmpname-XXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  std::string saved = old != nullptr ? old : "";
  ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  char b[300];
  MakeTempFileName("TOT", b, sizeof b);
  char pid[16];
  std::snprintf(pid, sizeof pid, "%x", static_cast<unsigned>(GetCurrentProcessId()));
  EXPECT_EQ(std::string(b), dir + "/vortelle/KMW" + pid + ".TOT");
  FILE* f = std::fopen(b, "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(DeleteFileIfExists(b), 1);
  EXPECT_EQ(DeleteFileIfExists(b), 0);
  EXPECT_EQ(DeleteFileIfExists(dir.c_str()), 0);
  EXPECT_EQ(DeleteFileIfExists(nullptr), 0);
  MakeTempFileName("TOT", b, 10);
  EXPECT_EQ(std::strlen(b), 9u);
  if (old != nullptr) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else ::unsetenv("XDG_RUNTIME_DIR");
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(TextHelpers, BandNamesMonthsAndKinds) {
  char b[64];
  GetBandName(b, sizeof b, 21, [](int) { return nullptr; });
  EXPECT_STREQ(b, "2-GrpHead");
  GetBandName(b, sizeof b, 71, [](int) { return nullptr; });
  EXPECT_STREQ(b, "2-GrpFoot");
  GetBandName(b, sizeof b, 20, [](int level) { return level == 0 ? "REGION" : nullptr; });
  EXPECT_STREQ(b, "1GH-REGION");
  GetBandName(b, sizeof b, 77, [](int) { return ""; });
  EXPECT_STREQ(b, "8GF-");
  GetBandName(b, sizeof b, 120, nullptr);
  EXPECT_STREQ(b, "Page Footer");
  GetBandName(b, sizeof b, 255, nullptr);
  EXPECT_STREQ(b, "");
  GetBandName(b, 4, 10, nullptr);
  EXPECT_STREQ(b, "Pag");
  auto level2 = [](int level, unsigned mask) { return level == 2 && (mask & 24) != 0; };
  EXPECT_TRUE(IsPageOrGroupBand(120, nullptr));
  EXPECT_TRUE(IsPageOrGroupBand(22, level2));
  EXPECT_TRUE(IsPageOrGroupBand(72, level2));
  EXPECT_FALSE(IsPageOrGroupBand(21, level2));
  EXPECT_FALSE(IsPageOrGroupBand(60, level2));
  EXPECT_STREQ(GetMonthAbbrev(1), "Jan");
  EXPECT_STREQ(GetMonthAbbrev(12), "Dec");
  EXPECT_STREQ(GetMonthAbbrev(13), "");
  EXPECT_EQ(ObjectKindCode(kFieldNumeric | kFieldCalculation), 8);
  EXPECT_EQ(ObjectKindCode(kFieldLogical), 11);
  EXPECT_EQ(ObjectKindCode(kFieldMemo), 12);
  EXPECT_EQ(ObjectKindCode(kFieldDate), 10);
  EXPECT_EQ(ObjectKindCode(kFieldDateTime), 800);
  EXPECT_EQ(ObjectKindCode(kFieldTime), 801);
  EXPECT_EQ(ObjectKindCode(0), 9);
  EXPECT_EQ(LogicalTextWidth("Yes", "No"), 3);
}

TEST(TextHelpers, OemValuesPadsAndSorting) {
  char v[] = "\x82t\xFA\x82 x";
  OemTextToAnsi(v, 6, 183);
  EXPECT_STREQ(v, "\xE9t\xB7\xE9\xB7x");
  char buf[255];
  std::memset(buf, 'Z', sizeof buf);
  CopyWithoutPadChars("a\xB7" "b", 3, 183, buf);
  EXPECT_STREQ(buf, "a b");
  EXPECT_EQ(buf[254], '\0');
  std::string big(400, 'q');
  CopyWithoutPadChars(big.c_str(), big.size(), 183, buf);
  EXPECT_EQ(std::strlen(buf), 254u);

  const char* names[] = {"zeta", "Alpha", "\xC9lan", "co-op", "coop", "beta", "ELAN"};
  ShellSortA(names, 7, lstrcmpiA);
  EXPECT_STREQ(names[0], "Alpha");
  EXPECT_STREQ(names[1], "beta");
  EXPECT_STREQ(names[6], "zeta");
  EXPECT_EQ(lstrcmpiA("co-op", "coop") != 0, true);
  EXPECT_EQ(lstrcmpiA("\xC9lan", "elan") > 0 || lstrcmpiA("\xC9lan", "elan") < 0, true);
  EXPECT_LT(lstrcmpiA("\xC9lan", "Ezra"), 0);  // accents sort with their letter
  EXPECT_EQ(lstrcmpiA("ABC", "abc"), 0);
  int nums[] = {5, 3, 9, 1, 5, 0, -2};
  ShellSortB(nums, 7, [](int a, int b) { return a - b; });
  for (int i = 1; i < 7; ++i) EXPECT_LE(nums[i - 1], nums[i]);
  ShellSortA(nums, 0, [](int a, int b) { return a - b; });
}

TEST(TextHelpers, ControlFreeLengthFindsTheFirstControlByteAtAnyLengthAndPlace) {
  // Against a byte-by-byte look: every length up to three words, a control
  // byte (or two) anywhere or nowhere, high bytes and blanks around it.
  for (size_t n = 0; n <= 24; ++n) {
    for (size_t at = 0; at <= n; ++at) {
      for (const unsigned char control : {0x00, 0x01, 0x1B, 0x1F}) {
        std::string text;
        for (size_t k = 0; k < n; ++k) text += static_cast<char>(k % 3 == 0 ? 0xA0 : k % 3 == 1 ? ' ' : 'x' + k % 2);
        if (at < n) text[at] = static_cast<char>(control);
        if (at + 5 < n) text[at + 5] = '\x10';
        size_t want = 0;
        while (want < n && static_cast<unsigned char>(text[want]) >= 0x20) ++want;
        EXPECT_EQ(ControlFreeLength(text.data(), n), want) << "length " << n << ", control at " << at;
      }
    }
  }
}
