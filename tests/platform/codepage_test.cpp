#include "platform/win/codepage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {
// Reads a byte -> code point table written from Python's codecs.
std::vector<long> LoadMap(const char* name) {
  std::ifstream in(std::string(VT_TEST_DATA_DIR) + "/platform/" + name);
  std::vector<long> map(256, -2);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    std::string b, u;
    s >> b >> u;
    map[std::stoul(b, nullptr, 16)] = u == "-" ? -1 : static_cast<long>(std::stoul(u, nullptr, 16));
  }
  return map;
}
}  // namespace

TEST(CodePage, TablesAgreeWithPythonCodecs) {
  std::vector<long> ansi = LoadMap("cp1252.map");
  std::vector<long> oem = LoadMap("cp850.map");
  for (int b = 0; b < 256; ++b) {
    ASSERT_NE(ansi[b], -2);
    ASSERT_NE(oem[b], -2);
    // Bytes Windows-1252 leaves undefined pass through as their own code point.
    long want = ansi[b] == -1 ? b : ansi[b];
    EXPECT_EQ(static_cast<long>(AnsiToUnicode(static_cast<unsigned char>(b))), want) << b;
    EXPECT_EQ(UnicodeToAnsi(static_cast<uint32_t>(want)), b);
    EXPECT_EQ(static_cast<long>(OemToUnicode(static_cast<unsigned char>(b))), oem[b]) << b;
    EXPECT_EQ(UnicodeToOem(static_cast<uint32_t>(oem[b])), b);
  }
  EXPECT_EQ(UnicodeToAnsi(0x4E2D), -1);
}

TEST(CodePage, OemToAnsiMapsLettersAndLooksAlikeForBoxLines) {
  // 0x82 e-acute, 0x99 O-umlaut, 0xAE/0xAF guillemets, box lines, 0xB0 shade.
  const char oem[] = "\x82\x99\xAE\xAF\xC4\xB3\xC5\xDA\xB0\xD5";
  char out[sizeof oem];
  ASSERT_TRUE(OemToCharA(oem, out));
  EXPECT_EQ(std::string(out), "\xE9\xD6\xAB\xBB-|++?i");
  // In place, and the buffer form stops at the given length.
  char text[] = "\x82\x82\x82";
  ASSERT_TRUE(OemToCharBuffA(text, text, 2));
  EXPECT_EQ(std::string(text), "\xE9\xE9\x82");
  char back[4];
  ASSERT_TRUE(CharToOemA("\xE9\x80", back));  // the euro sign has no OEM 850 byte
  EXPECT_EQ(std::string(back), "\x82?");
}

TEST(CodePage, Utf8RoundTripAndHostileUtf8) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(AnsiToUtf8("\x80\xB7"), "\xE2\x82\xAC\xC2\xB7");
  // Truncated, stray continuation, characters outside the page.
  EXPECT_EQ(Utf8ToAnsi("a\xE2\x82"), "a??");
  EXPECT_EQ(Utf8ToAnsi("\x80z"), "?z");
  EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"), "?");
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80!"), "?!");
  // Overlong forms and code points past U+10FFFF never decode.
  EXPECT_EQ(Utf8ToAnsi("\xC0\xAFx"), "??x");
  EXPECT_EQ(Utf8ToAnsi("\xE0\x80\xAF"), "???");
  EXPECT_EQ(Utf8ToAnsi("\xF4\x90\x80\x80"), "????");
}

TEST(CodePage, CaseOfAccentedLetters) {
  EXPECT_EQ(AnsiUpper(0xE9), 0xC9);
  EXPECT_EQ(AnsiLower(0xC9), 0xE9);
  EXPECT_EQ(AnsiUpper(0xF7), 0xF7);  // division sign
  EXPECT_EQ(AnsiUpper(0xDF), 0xDF);  // sharp s has no capital here
  EXPECT_EQ(AnsiUpper(0xFF), 0x9F);
  EXPECT_EQ(AnsiUpper(0xB7), 0xB7);
  EXPECT_EQ(CompareAnsiNoCase("Stra\xC9", "STRA\xE9"), 0);
  EXPECT_LT(CompareAnsiNoCase("abc", "ABD"), 0);
  EXPECT_GT(CompareAnsiNoCase("abcd", "ABC"), 0);
}
