// Label stock lines as kmlabels.ini holds them: what a line gives, every
// reason a line is refused, and a stock laid onto the page set-up.
#include "app/label_stocks.h"
#include "foundation/page_metrics.h"
#include "layout/page_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

LabelStockDef Parse(const char* value, bool expectOk = true) {
  LabelStockDef d;
  EXPECT_EQ(ParseLabelStockLine("Key", value, &d), expectOk) << value;
  return d;
}

TEST(LabelStockLine, ALetterStockGivesHundredthsOfAnInch) {
  const LabelStockDef d = Parse("Address labels, L, 1, 2.63, 3, 10, 0.5, 0.19, 2.75, 1");
  EXPECT_STREQ(d.Description, "Address labels");
  EXPECT_EQ(d.Type, kStockLetter);
  EXPECT_EQ(d.LabelHeight, 100);
  EXPECT_EQ(d.LabelWidth, 263);
  EXPECT_EQ(d.CountAcross, 3);
  EXPECT_EQ(d.CountDown, 10);
  EXPECT_EQ(d.TopMargin, 50);
  EXPECT_EQ(d.SideMargin, 19);
  EXPECT_EQ(d.HorizontalPitch, 275);
  EXPECT_EQ(d.VerticalPitch, 100);
  EXPECT_EQ(FormatLabelDescription(d, '.'), "Address labels (Letter, 3 across, 10 down, 2.63 x 1.00 In)");
  EXPECT_EQ(FormatLabelDescription(d, ','), "Address labels (Letter, 3 across, 10 down, 2,63 x 1,00 In)");
}

TEST(LabelStockLine, TypesByFirstLetterAndTheirScale) {
  EXPECT_EQ(Parse("x, a4 sheet, 63.5, 38.1, 3, 7, 15.1, 7.2, 66, 38.1").Type, kStockA4);
  const LabelStockDef a4 = Parse("x, A, 63.5, 38.1, 3, 7, 15.1, 7.2, 66, 38.1");
  EXPECT_EQ(a4.LabelHeight, 635);  // tenths of a millimetre
  EXPECT_EQ(a4.LabelWidth, 381);
  EXPECT_EQ(FormatLabelDescription(a4, '.'), "x (A4, 3 across, 7 down, 3.81 x 6.35 Cm)");
  EXPECT_EQ(Parse("x, mini, 1, 1, 1, 1, 0, 0, 1, 1").Type, kStockMini);
  EXPECT_EQ(Parse("x, Pin, 1, 1, 1, 1, 0, 0, 1, 1").Type, kStockPin);
  EXPECT_EQ(Parse("x, user, 1, 1, 1, 1, 0, 0, 1, 1").Type, kStockUser);
}

TEST(LabelStockLine, RoundingClampsAndCounts) {
  EXPECT_EQ(Parse("x, U, 0.125, 123.456, 0, 0, 0.124, 0, 1, 1").LabelHeight, 13);  // 12.5 rounds up
  EXPECT_EQ(Parse("x, U, 0.125, 123.456, 0, 0, 0.124, 0, 1, 1").LabelWidth, 9999);
  EXPECT_EQ(Parse("x, U, 0.125, 123.456, 0, 0, 0.124, 0, 1, 1").TopMargin, 12);
  const LabelStockDef zero = Parse("x, U, 1, 1, 0, 0, 0, 0, 1, 1");
  EXPECT_EQ(zero.CountAcross, 1);
  EXPECT_EQ(zero.CountDown, 1);
  const LabelStockDef big = Parse("x, U, 1, 1, 150, 5000, 0, 0, 1, 1");
  EXPECT_EQ(big.CountAcross, 99);
  EXPECT_EQ(big.CountDown, 999);
  EXPECT_EQ(Parse("x, U, 1, 1, 3.9, 2, 0, 0, 1, 1").CountAcross, 3);  // the whole part
}

TEST(LabelStockLine, EveryRefusal) {
  LabelStockDef untouched;
  std::strcpy(untouched.Description, "kept");
  const char* const refused[] = {
      "",                                           // no value
      "No commas at all",                           // nothing after the description
      "x, Q, 1, 1, 1, 1, 0, 0, 1, 1",               // unknown type letter
      "x, 4, 1, 1, 1, 1, 0, 0, 1, 1",               // not a letter
      "x, L, 1.0.0, 1, 1, 1, 0, 0, 1, 1",           // two points
      "x, L, 1, 1a, 1, 1, 0, 0, 1, 1",              // a letter in a number
      "x, L, 1, 1, -3, 1, 0, 0, 1, 1",              // a sign is not a digit
      "x, L, 1, 1, 1, 1, 0, 0, 1",                  // the comma before the last field is missing
      "x, L, 1, 1, 1, 1, 0, 0",                     // fields missing
  };
  for (const char* v : refused) {
    LabelStockDef d = untouched;
    EXPECT_FALSE(ParseLabelStockLine("Key", v, &d)) << v;
    EXPECT_STREQ(d.Description, "kept") << v;
  }
}

TEST(LabelStockLine, PaddingSeparatorsAndTheLineLimit) {
  // Tabs, '=', blanks and characters above 165 go before a field; ';' and
  // padding after it; the first character of a field always stays.
  const LabelStockDef d = Parse("=\tMy labels \xC4, \t\xE9L;,  1;\t, 2 , 3,4 ,0, 0 ,1, 1;;  ");
  EXPECT_STREQ(d.Description, "My labels");
  EXPECT_EQ(d.Type, kStockLetter);
  EXPECT_EQ(d.LabelHeight, 100);
  EXPECT_EQ(d.VerticalPitch, 100);
  // A long description is cut to 25 characters.
  EXPECT_STREQ(Parse("A description longer than 25, U, 1, 1, 1, 1, 0, 0, 1, 1").Description,
               "A description longer than");
  // Only 74 characters of the value are seen: a last field beyond them is lost.
  std::string longLine = "x" + std::string(60, ' ') + ", U, 1, 1, 1, 1, 0, 0, 1, 1";
  LabelStockDef cut;
  EXPECT_FALSE(ParseLabelStockLine("Key", longLine.c_str(), &cut));
  // The key keeps 15 characters.
  LabelStockDef keyed;
  ASSERT_TRUE(ParseLabelStockLine("A very long stock key", "x, U, 1, 1, 1, 1, 0, 0, 1, 1", &keyed));
  EXPECT_STREQ(keyed.Key, "A very long sto");
}

TEST(LabelStockPage, ArrangementSizeAndMargins) {
  PageSetupRec ps{};
  ps.Landscape = 1;
  LabelStockDef d = Parse("x, L, 1, 2.63, 3, 10, 0.5, 0.19, 2.75, 1");
  ApplyLabelStockToPage(ps, d, false);
  EXPECT_EQ(ps.ExtraColumns, 2);
  EXPECT_EQ(ps.RecordsAcross, 1);
  EXPECT_EQ(ps.DownOrder, 0);
  EXPECT_EQ(ps.RecordWidth, 275);
  EXPECT_EQ(ps.RecordHeight, 100);
  EXPECT_EQ(ps.LeftMargin, 19);
  EXPECT_EQ(ps.RightMargin, 19);
  EXPECT_EQ(ps.TopMargin, 50);
  EXPECT_EQ(ps.BottomMargin, 50);
  EXPECT_EQ(ps.Landscape, 0);
  ApplyLabelStockToPage(ps, d, true);
  EXPECT_EQ(ps.ExtraColumns, 0);
  EXPECT_EQ(ps.RecordsAcross, 3);
  EXPECT_EQ(ps.DownOrder, 1);
}

TEST(LabelStockPage, PinStocksCentreTheirLabelsAndNeverGoBelowZero) {
  PageSetupRec ps{};
  // Label height 1.00 in a pitch of 1.20; stock 9.50 wide, pitch 3.00, label 2.80, three across.
  ApplyLabelStockToPage(ps, Parse("x, P, 1, 2.8, 3, 1, 0, 9.5, 3, 1.2"), false);
  EXPECT_EQ(ps.TopMargin, 10);
  EXPECT_EQ(ps.BottomMargin, 10);
  EXPECT_EQ(ps.LeftMargin, 35);
  EXPECT_EQ(ps.RightMargin, 35);
  // A stock narrower than its label row, a label higher than its pitch.
  ApplyLabelStockToPage(ps, Parse("x, P, 1.5, 2.8, 3, 1, 0, 8.5, 3, 1.2"), false);
  EXPECT_EQ(ps.LeftMargin, 0);
  EXPECT_EQ(ps.TopMargin, 0);
}

TEST(LabelStockPage, UnitsFollowTheReport) {
  LabelStockDef inches = Parse("x, L, 1, 2.63, 3, 10, 0.5, 0.19, 2.75, 1");
  ConvertLabelStockUnits(&inches, 0);
  EXPECT_EQ(inches.LabelHeight, 254);  // 1 inch in tenths of a millimetre
  EXPECT_EQ(inches.CountAcross, 3);
  LabelStockDef a4 = Parse("x, A, 63.5, 38.1, 3, 7, 15.1, 7.2, 66, 38.1");
  ConvertLabelStockUnits(&a4, 1);
  EXPECT_EQ(a4.LabelHeight, 250);  // 63.5 mm in hundredths of an inch
  LabelStockDef same = Parse("x, A, 63.5, 38.1, 3, 7, 15.1, 7.2, 66, 38.1");
  ConvertLabelStockUnits(&same, 0);
  EXPECT_EQ(same.LabelHeight, 635);
}

}  // namespace
