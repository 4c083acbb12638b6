#include "expr/scanner.h"

#include "expr/builtin_table.h"
#include "expr/calendar.h"
#include "expr/date_text.h"
#include "expr_model_fixture.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> Tokens(TestModel& t, const char* text, std::vector<ScanToken>* all = nullptr) {
  ExpressionScan scan;
  std::vector<int> codes;
  int err = PrepareExpressionText(&t.m, scan, text);
  if (err) return {-err};
  ScanToken tok;
  for (int i = 0; i < 100; ++i) {
    int c = NextExpressionToken(&t.m, scan, tok, true);
    codes.push_back(c);
    if (all) all->push_back(tok);
    if (c == kTokEnd || c == kTokError) break;
  }
  return codes;
}

}  // namespace

TEST(Scanner, PreparesUpperCaseOutsideQuotesAndMarksDottedOperators) {
  TestModel t;
  ExpressionScan scan;
  ASSERT_EQ(PrepareExpressionText(&t.m, scan, "a.and.b + \"x.and.y\" + 'q' + [z]"), 0);
  EXPECT_EQ(scan.prepared, "A!AND!B + \"x.and.y\" + 'q' + [z]");
  ASSERT_EQ(scan.quoted.size(), 3u);
  EXPECT_EQ(PrepareExpressionText(&t.m, scan, "'abc"), 13);
  EXPECT_EQ(PrepareExpressionText(&t.m, scan, "[abc"), 13);
  // An escaped character stays as written.
  ASSERT_EQ(PrepareExpressionText(&t.m, scan, "a\\b"), 0);
  EXPECT_EQ(scan.prepared, "A\\b");
  // Texts beyond the prepared area, or with more quoted parts than its list, are refused.
  EXPECT_EQ(PrepareExpressionText(&t.m, scan, std::string(1024, 'A').c_str()), 9);
  std::string many;
  for (int i = 0; i < 201; ++i) many += "'a'+";
  EXPECT_EQ(PrepareExpressionText(&t.m, scan, many.c_str()), 9);
}

TEST(Scanner, OperatorsAndLiterals) {
  TestModel t;
  t.Add("A", kFieldNumeric);
  t.Add("B", kFieldNumeric);
  EXPECT_EQ(Tokens(t, "a.and.b"), (std::vector<int>{15, 23, 15, 11}));
  EXPECT_EQ(Tokens(t, "A<>B"), (std::vector<int>{15, 18, 15, 11}));
  EXPECT_EQ(Tokens(t, "A< >B"), (std::vector<int>{15, 21, 22, 15, 11}));
  EXPECT_EQ(Tokens(t, "A**2^3 # 1 <= 2 >= 3 % $ ,"),
            (std::vector<int>{15, 5, 13, 5, 13, 18, 13, 19, 13, 20, 13, 6, 30, 9, 11}));
  EXPECT_EQ(Tokens(t, ".T. .F. .NOT. a .OR. b"), (std::vector<int>{26, 27, 25, 15, 24, 15, 11}));
  EXPECT_EQ(Tokens(t, "TRUE yes On false NO off AND or NOT"),
            (std::vector<int>{26, 26, 26, 27, 27, 27, 23, 24, 25, 11}));
  EXPECT_EQ(Tokens(t, "!XYZ!"), (std::vector<int>{12}));

  std::vector<ScanToken> tok;
  EXPECT_EQ(Tokens(t, "12.50 7", &tok), (std::vector<int>{13, 13, 11}));
  EXPECT_EQ(tok[0].pointCount, 3);
  EXPECT_DOUBLE_EQ(tok[0].number, 12.5);
  EXPECT_EQ(tok[1].pointCount, 0);
  EXPECT_EQ(Tokens(t, "1.2.3"), (std::vector<int>{12}));

  tok.clear();
  EXPECT_EQ(Tokens(t, "'a b'", &tok), (std::vector<int>{31, 11}));
  EXPECT_EQ(tok[0].text, std::string("a") + static_cast<char>(0xB7) + "b");
  EXPECT_EQ(Tokens(t, "'abc"), (std::vector<int>{-13}));
}

TEST(Scanner, DateAndTimeLiterals) {
  TestModel t;
  std::vector<ScanToken> tok;
  EXPECT_EQ(Tokens(t, "{12/31/1999} {12/31/1999 10:30} {10:30pm} {}", &tok),
            (std::vector<int>{33, 39, 40, 33, 11}));
  EXPECT_EQ(tok[0].value, 146036u);
  EXPECT_EQ(tok[1].value, 146036u);
  EXPECT_DOUBLE_EQ(tok[1].time, 37800000000.0);
  EXPECT_EQ(tok[3].value, EmptyDate);
  EXPECT_EQ(Tokens(t, "{2/30/1999}"), (std::vector<int>{12}));
  EXPECT_EQ(Tokens(t, "{12/31/1999"), (std::vector<int>{12}));
}

TEST(Scanner, NameResolutionOrder) {
  TestModel t;
  int cust = t.AddTable("CUST");
  int ord = t.AddTable("ORD");
  t.Add("NAME", 0, static_cast<uint8_t>(cust));
  t.Add("NAME", 0, static_cast<uint8_t>(ord));
  t.Add("LEFT", kFieldNumeric);  // a field named like a function
  t.Add("MONTH", kFieldNumeric);
  std::vector<ScanToken> tok;
  EXPECT_EQ(Tokens(t, "NAME")[0], 36);
  EXPECT_EQ(Tokens(t, "ord.name", &tok), (std::vector<int>{15, 11}));
  EXPECT_EQ(tok[0].value, 1u);
  EXPECT_TRUE(tok[0].qualified);
  EXPECT_EQ(Tokens(t, "CUST"), (std::vector<int>{16, 11}));
  tok.clear();
  // Followed by "(" a function wins; otherwise the field does.
  EXPECT_EQ(Tokens(t, "LEFT ('A', 2)", &tok)[0], 14);
  EXPECT_EQ(tok[0].function, 35);
  tok.clear();
  EXPECT_EQ(Tokens(t, "LEFT", &tok)[0], 15);
  tok.clear();
  EXPECT_EQ(Tokens(t, "SUBS(x", &tok)[0], 14);
  EXPECT_EQ(tok[0].function, 12);
  EXPECT_EQ(Tokens(t, "SUB(")[0], 12);
  tok.clear();
  EXPECT_EQ(Tokens(t, "DTEA(", &tok)[0], 14);
  EXPECT_EQ(tok[0].function, 119);
  // Keywords come after fields.
  tok.clear();
  EXPECT_EQ(Tokens(t, "MONTH YYYY hh:mm", &tok), (std::vector<int>{15, 41, 41, 11}));
  EXPECT_EQ(tok[1].keywordTag, 24);
  EXPECT_EQ(tok[1].keywordValue, 1);
  EXPECT_EQ(tok[2].keywordTag, 27);
  EXPECT_EQ(tok[2].keywordValue, 4);
  // A function name without "(" is still a function.
  EXPECT_EQ(Tokens(t, "DATE")[0], 14);
  EXPECT_EQ(Tokens(t, "NOSUCH")[0], 12);
  // A name with an escaped blank.
  t.Add("MY FIELD", kFieldNumeric);
  EXPECT_EQ(Tokens(t, "my\\ field + 1"), (std::vector<int>{15, 1, 13, 11}));
}

