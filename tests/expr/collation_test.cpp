#include "expr/collation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Each test gets its own tables and switches and leaves the defaults behind.
class CollationTest : public ::testing::Test {
 protected:
  SortOrderTables tables;
  CollationSwitches switches;
  std::vector<std::string> messages;

  void SetUp() override { SetActiveCollation(&tables, &switches); }
  void TearDown() override {
    SetActiveCollation(nullptr, nullptr);
    InstallDefaultCompareCallbacks();
  }
  void Load(const std::string& text) {
    messages.clear();
    ParseSortOrderText(text.data(), text.size(), tables, switches,
                       [this](const std::string& m) { messages.push_back(m); });
  }
  int Cmp(const std::string& a, const std::string& b, int identical, int fold = 0) {
    return CompareCallbacks.CompareText(a.c_str(), b.c_str(), identical, fold);
  }
};

TEST(CharClasses, Windows1252CaseRules) {
  EXPECT_EQ(CharLowerByte('A'), 'a');
  EXPECT_EQ(CharLowerByte(0xC9), 0xE9);  // É -> é
  EXPECT_EQ(CharUpperByte(0xFF), 0x9F);  // ÿ -> Ÿ
  EXPECT_EQ(CharUpperByte(0xDF), 0xDF);  // ß has no upper case
  EXPECT_EQ(CharLowerByte(0xD7), 0xD7);  // × is no letter
  EXPECT_TRUE(IsCharLowerByte(0xDF));
  EXPECT_TRUE(IsCharAlphaByte(0xAA));
  EXPECT_FALSE(IsCharLowerByte(0xAA));
  EXPECT_FALSE(IsCharAlphaByte(0xB7));  // the pad character
  EXPECT_EQ(OemByteToAnsi(0x82), 0xE9);  // é
  EXPECT_EQ(OemByteToAnsi(0xE1), 0xDF);  // ß
  EXPECT_EQ(OemByteToAnsi('a'), 'a');
}

TEST_F(CollationTest, DefaultComparisons) {
  EXPECT_LT(Cmp("B", "a", 0), 0);  // bytes: upper case first
  EXPECT_EQ(Cmp("abc", "ABC", 0, 1), 0);
  EXPECT_EQ(CompareNoCase("abcd", "abXd"), -3);
  EXPECT_EQ(CompareNoCase("abz", "ABa"), 3);
  EXPECT_EQ(CompareNoCase("ab", "abc"), -3);
  EXPECT_GT(CompareBytes("\xE9", "e", 1), 0);  // unsigned
  EXPECT_EQ(CompareStrings("abcdef", "abcxyz", 3, 0, 0), 0);
  EXPECT_LT(CompareStrings("abcdef", "abdxyz", 3, 0, 0), 0);
  std::string longA(5000, 'a'), longB = longA + "b";
  EXPECT_EQ(CompareStrings(longA.c_str(), longB.c_str(), 5000, 0, 0), 0);
  EXPECT_EQ(CompareByMode("ABCx", "abcy", 3, 1, 0), 0);
  std::string big(1000, 'q');
  EXPECT_EQ(CompareByMode(big.c_str(), big.c_str(), 900, 0, 0), 0);  // no fixed 251-byte copy
}

TEST_F(CollationTest, SettingsWithoutRulesKeepDefaultCallbacks) {
  Load("COMPARISONS=IDENTICAL ; comment\r\nSORTCASE=COMBINED\r\nSPACEDOT=250\r\n");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(switches.IdenticalCompare, 1);
  EXPECT_EQ(switches.SortCaseCombined, 1);
  EXPECT_EQ(switches.CompareCaseCombined, 0);
  EXPECT_EQ(switches.SpaceDotChar, 250);
  EXPECT_EQ(tables.rulesInstalled, 0);
  EXPECT_EQ(CompareCallbacks.CompareText, &CompareTextDefault);
  Load("abc\n   \n\n");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(switches.SpaceDotChar, 183);
}

TEST_F(CollationTest, SettingErrorsReportAndKeepFirstValue) {
  Load("SORTCASE=COMBINED\nSORTCASE=DISTINCT\nCASE=DISTINCT\nSPACEDOT=32\nFOO=1\nCOMPARISONS=MAYBE\n");
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0], "Multiple SORTCASE settings in KMW.SRT");
  EXPECT_EQ(messages[1], "Multiple CASE settings in KMW.SRT");
  EXPECT_EQ(messages[2], "Invalid setting for SPACEDOT (32) in KMW.SRT");
  EXPECT_EQ(messages[3], "Invalid setting (FOO) on line 5 of KMW.SRT");  // LF-only lines counted
  EXPECT_EQ(messages[4], "Invalid setting for COMPARISONS (MAYBE) in KMW.SRT");
  EXPECT_EQ(switches.SortCaseCombined, 1);
  EXPECT_EQ(switches.SpaceDotChar, 183);
  // COMPARECASE and CASE may follow each other: the later one wins.
  Load("CASE=COMBINED\r\nCOMPARECASE=DISTINCT\r\n");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(switches.CompareCaseCombined, 0);
  EXPECT_EQ(switches.SortCaseCombined, 1);
}

TEST_F(CollationTest, EquivalenceIsSecondaryDifference) {
  Load("SRTCHARS=ANSI\ne=\xE9\n");
  ASSERT_TRUE(messages.empty());
  EXPECT_EQ(tables.rulesInstalled, 1);
  EXPECT_EQ(Cmp("resume", "r\xE9sum\xE9", 0), 0);
  EXPECT_GT(Cmp("r\xE9sum\xE9", "resume", 1), 0);
  EXPECT_LT(Cmp("r\xE9sum\xE9", "resumf", 1), 0);  // the letter decides before the accent
  EXPECT_LT(CompareCallbacks.CompareSortText("resume", "r\xE9sum\xE9"), 0);
}

TEST_F(CollationTest, OemRuleBytesAreConverted) {
  Load("e=\x82\n");  // é in the OEM page
  ASSERT_TRUE(messages.empty());
  EXPECT_EQ(tables.equivalence[1][0], 0xE9);
  EXPECT_EQ(Cmp("e", "\xE9", 0), 0);
}

TEST_F(CollationTest, InequalityIsPrimaryDifference) {
  Load("SRTCHARS=ANSI\na<\xE1\n");
  EXPECT_LT(Cmp("ab", "\xE1" "a", 0), 0);
  EXPECT_LT(Cmp("\xE1z", "b", 0), 0);
  EXPECT_NE(Cmp("a", "\xE1", 0), 0);
  EXPECT_NE(Cmp("a", "\xE1", 1), 0);
  EXPECT_GT(Cmp("\xE1", "az", 0), 0);
}

TEST_F(CollationTest, ExpansionComparesAsTwoLetters) {
  Load("SRTCHARS=ANSI\nss=\xDF\n");
  EXPECT_EQ(Cmp("stra\xDF" "e", "strasse", 0), 0);
  EXPECT_GT(Cmp("stra\xDF" "e", "strasse", 1), 0);
  EXPECT_LT(Cmp("strasse", "stra\xDF" "e", 1), 0);
  EXPECT_LT(Cmp("stra\xDF", "strat", 0), 0);
  EXPECT_GT(Cmp("stra\xDF", "stras", 0), 0);
  EXPECT_EQ(MatchWildcard("stra\xDF" "e", "strasse"), 1);
}

TEST_F(CollationTest, RuleErrorsAndLimits) {
  std::string text = "SRTCHARS=ANSI\n";
  for (int i = 0; i < 129; ++i) text += std::string("a=") + static_cast<char>(0x80 + (i % 127)) + "\n";
  text += "x=y\nab<\xE1\n=\xE9\n";
  Load(text);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], "Too many 'equivalences' in KMW.SRT");
  EXPECT_EQ(messages[1], "Invalid 'equivalence' on line 131 of KMW.SRT");
  EXPECT_EQ(messages[2], "Invalid 'inequality' on line 132 of KMW.SRT");
  EXPECT_EQ(messages[3], "Invalid 'equivalence' on line 133 of KMW.SRT");
  EXPECT_EQ(tables.equivalenceCount, 129);
}

TEST_F(CollationTest, ChainsAddOneRulePerCharacter) {
  Load("SRTCHARS=ANSI\ne=\xE9=\xE8=\xEA\na<\xE4<\xE1\n");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(tables.equivalenceCount, 4);
  EXPECT_EQ(tables.inequalityCount, 3);
  EXPECT_LT(Cmp("\xE4", "\xE1", 0), 0);  // file order
  EXPECT_EQ(Cmp("\xE8t\xEA", "ete", 0), 0);
}

TEST_F(CollationTest, HostileFilesNeverCrash) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    size_t n = rng() % 300;
    std::string data;
    for (size_t i = 0; i < n; ++i) {
      // Weight the bytes that drive the parser.
      static const char drive[] = "=<;\r\n\f\x1A" " eEsS\xE9\xDF\xE1" "ACDINOPRT";
      data += (rng() % 2) ? drive[rng() % (sizeof drive - 1)] : static_cast<char>(rng() % 256);
    }
    Load(data);
    EXPECT_LE(tables.equivalenceCount, kMaxSortRules + 1);
    // Whatever was loaded, comparisons and matching stay well-defined.
    Cmp("\xDF\xE9\xE1z", "ss\xE9" "a", 1, round & 1);
    MatchWildcard("*\xDF?*", "xssy\xE1");
  }
  Load(std::string(100000, '='));
  Load(std::string(50, 'A') + "=" + std::string(60, 'B'));
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(CollationTest, MissingFileKeepsDefaults) {
  switches.IdenticalCompare = 1;
  LoadSortOrderFile("/nonexistent/kmw.srt", tables, switches, nullptr);
  EXPECT_EQ(switches.IdenticalCompare, 0);
  EXPECT_EQ(CompareCallbacks.CompareText, &CompareTextDefault);
  std::string dir = ::testing::TempDir();
  std::string path = dir + "/KMW.SRT";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string body = "COMPARECASE=COMBINED\r\n" + std::string(500, ' ') + "\r\nSRTCHARS=ANSI\r\ne=\xE9\r\n";
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
  LoadSortOrderFile(SortOrderFilePath(dir), tables, switches, nullptr);
  std::remove(path.c_str());
  EXPECT_EQ(switches.CompareCaseCombined, 1);
  EXPECT_EQ(tables.rulesInstalled, 1);
}

// The plain recursive definition of wildcard matching, for comparison.
bool RefMatch(const char* p, const char* s, const SortOrderTables& t) {
  if (!*p) return !*s;
  unsigned char c = *p;
  if (c == '*' || c == t.multiWildcard) {
    while (*p == '*' || static_cast<unsigned char>(*p) == t.multiWildcard) ++p;
    for (const char* q = s;; ++q) {
      if (RefMatch(p, q, t)) return true;
      if (!*q) return false;
    }
  }
  if (!*s) return false;
  if (c == '?' || c == t.singleWildcard) return RefMatch(p + 1, s + 1, t);
  if (t.escapeChar && c == t.escapeChar) {
    ++p;
    if (!*p) return false;
  }
  if (CharLowerByte(*p) != CharLowerByte(*s)) return false;
  return RefMatch(p + 1, s + 1, t);
}

TEST_F(CollationTest, WildcardMatchesRecursiveDefinition) {
  tables.escapeChar = '\\';
  switches.IdenticalCompare = 1;
  switches.CompareCaseCombined = 1;
  EXPECT_EQ(MatchWildcard("a*c", "abbbc"), 1);
  EXPECT_EQ(MatchWildcard("a?c", "abc"), 1);
  EXPECT_EQ(MatchWildcard("a%c", "abc"), 1);
  EXPECT_EQ(MatchWildcard("a_c", "aXc"), 1);
  EXPECT_EQ(MatchWildcard("a\\%c", "a%c"), 1);
  EXPECT_EQ(MatchWildcard("a\\%c", "abc"), 0);
  EXPECT_EQ(MatchWildcard("a\\", "a"), 0);
  EXPECT_EQ(MatchWildcard("", ""), 1);
  EXPECT_EQ(MatchWildcard("*", ""), 1);
  EXPECT_EQ(MatchWildcard("?", ""), 0);
  std::mt19937 rng(99);
  const char alphabet[] = "abAB*?%_\\";
  for (int i = 0; i < 20000; ++i) {
    std::string p, s;
    for (size_t k = rng() % 8; k > 0; --k) p += alphabet[rng() % 9];
    for (size_t k = rng() % 10; k > 0; --k) s += "abAB%_"[rng() % 6];
    ASSERT_EQ(MatchWildcard(p.c_str(), s.c_str()) != 0, RefMatch(p.c_str(), s.c_str(), tables))
        << "pattern " << p << " text " << s;
  }
}

TEST_F(CollationTest, ManyStarsOnLongTextStayLinear) {
  std::string text(8000, 'a');
  EXPECT_EQ(MatchWildcard("*a*a*a*a*a*a*a*a*b", text.c_str()), 0);
  EXPECT_EQ(MatchWildcard("*a*a*a*a*a*a*a*a*a", text.c_str()), 1);
  switches.CompareCaseCombined = 1;  // default first-character callback, case folded
  EXPECT_EQ(MatchWildcard("*A?A*", "xxaya"), 1);
  switches.CompareCaseCombined = 0;
  EXPECT_EQ(MatchWildcard("*A?A*", "xxaya"), 0);
}

TEST_F(CollationTest, CollatingFirstCharCallback) {
  Load("SRTCHARS=ANSI\ne=\xE9\nss=\xDF\na<\xE1\n");
  const unsigned char* a = reinterpret_cast<const unsigned char*>("\xE9");
  const unsigned char* b = reinterpret_cast<const unsigned char*>("e");
  EXPECT_EQ(CompareCallbacks.CompareFirstChar(&a, &b), 0);
  const unsigned char* c = reinterpret_cast<const unsigned char*>("\xE1");
  const unsigned char* d = reinterpret_cast<const unsigned char*>("a");
  EXPECT_NE(CompareCallbacks.CompareFirstChar(&c, &d), 0);
  EXPECT_EQ(MatchWildcard("r\xE9sum?", "resume"), 1);
  EXPECT_EQ(MatchWildcard("*\xE1*", "banana"), 0);
}

}  // namespace
