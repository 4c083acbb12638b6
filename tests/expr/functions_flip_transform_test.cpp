#include "expr/functions_flip_transform.h"

#include "functions_fixture.h"

namespace {

using FlipTransform = FunctionsTest;

TEST_F(FlipTransform, FlipAroundTheSeparator) {
  EXPECT_EQ(S("FLIP('last, first', ',')"), "first last");
  EXPECT_EQ(S("FLIP('last, first', '*,')"), "last");
  EXPECT_EQ(S("FLIP('last, first', ',*')"), "first");
  EXPECT_EQ(S("FLIP('last', ',')"), "last");
  EXPECT_EQ(FlipText("last , first", ","), "first last ");
  EXPECT_EQ(FlipText("abc", ""), "abc");
  EXPECT_EQ(FlipText("abc", "*"), "abc");
}

TEST_F(FlipTransform, NumbersThroughTemplates) {
  EXPECT_EQ(S("TRANSFORM(1234.5, '9,999.99')"), "1,234.50");
  EXPECT_EQ(S("TRANSFORM(12.5, '9,999.99')"), "   12.50");
  EXPECT_EQ(S("TRANSFORM(12.5, '$$$,$$9.99')"), "$$$$$12.50");
  EXPECT_EQ(S("TRANSFORM(-12.5, '@( 999.99')"), "( 12.50)");
  EXPECT_EQ(S("TRANSFORM(12.5, '@( 999.99')"), "  12.50");
  EXPECT_EQ(S("TRANSFORM(-12.5, '@X 999.99')"), " 12.50 DB");
  EXPECT_EQ(S("TRANSFORM(12.5, '@C 999.99')"), " 12.50 CR");
  EXPECT_EQ(S("TRANSFORM(-12.5, '@C 999.99')"), "-12.50");
  EXPECT_EQ(S("TRANSFORM(0, '@Z 999.99')"), "      ");
  EXPECT_EQ(S("TRANSFORM(12345, '999.99')"), "***.**");
  EXPECT_EQ(S("TRANSFORM(12.5, '')"), "        12.50");
  EXPECT_EQ(S("TRANSFORM(12.5, '@B 9999.99')"), "12.50  ");
  EXPECT_EQ(TransformNumber(1e12, ""), "1000000000000.00");  // too wide without a template: as printed
}

TEST_F(FlipTransform, TextsThroughTemplates) {
  EXPECT_EQ(S("TRANSFORM('abc', '@! XXX')"), "ABC");
  EXPECT_EQ(S("TRANSFORM('5551234', '@R XXX-XXXX')"), "555-1234");
  EXPECT_EQ(S("TRANSFORM('5551234', 'XXX-XXXX')"), "555-234");
  EXPECT_EQ(S("TRANSFORM('abc', 'AAA')"), "AAA");
  EXPECT_EQ(S("TRANSFORM('abc', '@!')"), "ABC");
  EXPECT_EQ(S("TRANSFORM('abcdef', 'X!')"), "aB");
}

TEST_F(FlipTransform, LongTemplatesDoNotOverrun) {
  std::string templ(9000, '9');
  std::string r = TransformNumber(-1, "@( " + templ);
  EXPECT_EQ(r.size(), 9002u);
  EXPECT_EQ(r.front(), '(');
  EXPECT_EQ(r.back(), ')');
  EXPECT_EQ(TransformText(std::string(9000, 'a'), "@R " + std::string(9000, '-') + "X").size(), 9001u);
}

}  // namespace
