#include "layout/field_width.h"

#include "tests/engine/stub_page_driver.h"
#include "app/document.h"
#include "layout/layout_helpers.h"
#include "expr/value_format.h"
#include "layout/page_metrics.h"
#include "foundation/startup.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A library whose width unit is a third of a hundredth of an inch and whose
// characters are all charWidth wide; it records what it was asked.
class MeasuringDriver : public StubPageDriver {
 public:
  int charWidth = 25;
  std::vector<int> widthsAsked;
  int font = -1, style = -1, size = -1;
  int SetFontSize(PageOutputState*, WORD hundredths) override {
    widthsAsked.push_back(hundredths);
    return hundredths * 3;
  }
  int CharWidth(PageOutputState*, int, int fontNumber, int styleNibble, int pointSize) override {
    font = fontNumber;
    style = styleNibble;
    size = pointSize;
    return charWidth;
  }
};

FieldDef TextField(int chars) {
  FieldDef f;
  f.head.flags = kItemKindField;
  f.head.width = static_cast<uint8_t>(chars);
  f.displayWidth = static_cast<uint32_t>(chars);
  return f;
}

TEST(FieldWidth, SetFieldWidthCapsAndKeepsTheUnitOfTheDocument) {
  FieldDef f = TextField(0);
  f.flags2 = 0x100;
  SetFieldWidth(f, 300, false, 1, 10);
  EXPECT_EQ(f.head.width, 254);
  EXPECT_EQ(f.displayWidth, 254u);
  EXPECT_EQ(f.head.measuredWidth, 2540);  // 254 characters at 10 per inch
  EXPECT_EQ(f.flags2, 0x100u | kField2WidthHundredths);

  SetFieldWidth(f, 20, false, 0, 10);  // metric: 2 inches in tenths of a millimetre
  EXPECT_EQ(f.head.measuredWidth, 508);
  EXPECT_EQ(f.flags2, 0x100u | kField2WidthTenthsMm);

  SetFieldWidth(f, 12, true, 1, 10);  // a fixed width keeps no unit
  EXPECT_EQ(f.head.width, 12);
  EXPECT_EQ(f.head.measuredWidth, 0);
  EXPECT_EQ(f.flags2, 0x100u);

  FieldDef n = TextField(0);
  n.flags = kFieldNumeric;
  SetFieldWidth(n, 9, false, 1, 10);
  EXPECT_EQ(n.head.width, 9);
  EXPECT_FALSE(HasUnitWidth(n));
  SetFieldWidth(n, -5, false, 1, 10);
  EXPECT_EQ(n.head.width, 0);
}

TEST(FieldWidth, FillTextMeasuredByThePrinterLibrary) {
  FormatSettings fmt;
  MeasuringDriver d;
  PageOutputState state;
  char buffer[kFillTextSize];
  FieldDef f = TextField(7);
  f.head.fontIndex = 3;
  f.head.fontStyle = 0x13;
  f.head.pointSize = 120;

  // One inch in hundredths: 300 driver units of 25-unit characters. A
  // character goes in while it is narrower than what is left (300 .. 50).
  f.flags2 = kField2WidthHundredths;
  f.head.measuredWidth = 100;
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '*', buffer, {&d, &state}), 11);
  EXPECT_STREQ(buffer, "***********");
  EXPECT_EQ(d.widthsAsked.back(), 100);
  EXPECT_EQ(d.font, 3);
  EXPECT_EQ(d.style, 3);
  EXPECT_EQ(d.size, 120);

  // The same inch kept in tenths of a millimetre is asked as hundredths.
  f.flags2 = kField2WidthTenthsMm;
  f.head.measuredWidth = 254;
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '*', buffer, {&d, &state}), 11);
  EXPECT_EQ(d.widthsAsked.back(), 100);

  // A character the library calls 0 wide stops at 254; one wider than the
  // field still gives one character.
  d.charWidth = 0;
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '*', buffer, {&d, &state}), 254);
  EXPECT_EQ(buffer[254], 0);
  d.charWidth = 100000;
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '*', buffer, {&d, &state}), 1);
  EXPECT_STREQ(buffer, "*");
}

TEST(FieldWidth, FillTextWithoutTheLibraryOrWithoutAUnitWidth) {
  FormatSettings fmt;
  MeasuringDriver d;
  char buffer[kFillTextSize];
  std::memset(buffer, 'Z', sizeof buffer);
  FieldDef f = TextField(7);
  f.flags2 = kField2WidthHundredths;
  f.head.measuredWidth = 100;
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '#', buffer), 7);
  EXPECT_STREQ(buffer, "#######");
  EXPECT_EQ(buffer[200], 0);  // the whole buffer is cleared first
  d.missing.insert(3);
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '#', buffer, {&d, nullptr}), 7);
  EXPECT_TRUE(d.widthsAsked.empty());
  d.missing.clear();
  f.flags2 = 0;
  EXPECT_EQ(CalcFieldFillText(fmt, f, true, '#', buffer, {&d, nullptr}), 7);
  EXPECT_TRUE(d.widthsAsked.empty());
}

TEST(FieldWidth, PicturesGiveTheSampleAndTheWidthOfNumbersAndDates) {
  FormatSettings fmt;
  char buffer[kFillTextSize], picture[4096];
  FieldDef text = TextField(5);
  // Not measured: the picture of a text field, one mark a column.
  EXPECT_EQ(CalcFieldFillText(fmt, text, false, '*', buffer), 5);
  EXPECT_EQ(GetObjectWidth(fmt, text), 5);

  FieldDef date = TextField(3);
  date.flags = kFieldTime;
  date.timeFormat = 3;  // seconds, 24-hour clock
  const int n = BuildFieldPicture(fmt, &date, picture, nullptr, ' ');
  ASSERT_GT(n, 0);
  EXPECT_EQ(CalcFieldFillText(fmt, date, true, '*', buffer), n);  // measured or not
  EXPECT_STREQ(buffer, picture);
  EXPECT_EQ(GetObjectWidth(fmt, date), n);


  // A damaged width never writes past the 255-byte buffer.
  FieldDef wide = TextField(0);
  wide.displayWidth = 100000;
  EXPECT_EQ(CalcFieldFillText(fmt, wide, false, '*', buffer), 254);
}

class UnitFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&page, 0, sizeof page);
    page.PaperWidth = 2159;
    page.PaperLength = 2794;
    doc.m_pPageSetup = &page;
    doc.m_pModel = &model;
    doc.m_pLayout = &layout;
    layout.model = &model;
  }
  void TearDown() override {
    doc.m_pPageSetup = nullptr;
    doc.m_pModel = nullptr;
    doc.m_pLayout = nullptr;
    g_screen = ScreenInfo();
  }
  FieldDef* Unit(uint32_t kind, int chars, int hundredths) {
    FieldDef* f = model.AddField(kind);
    f->head.flags = kItemKindField;
    f->head.width = static_cast<uint8_t>(chars);
    f->flags2 = kField2WidthHundredths;
    f->head.measuredWidth = hundredths;
    f->head.bottom = 40;
    return f;
  }
  PageSetupRec page;
  CKmDoc doc;
  CKmComposite model{nullptr};
  LayoutTables layout;
};

TEST_F(UnitFieldsTest, PageMetricsRecountFieldsKeptInAUnitAt96And120PixelsPerInch) {
  FieldDef* inch = Unit(0, 10, 100);
  FieldDef* unset = Unit(0, 10, 0);
  FieldDef* logical = Unit(kFieldLogical, 30, 300);
  FieldDef* plain = model.AddField(0);
  for (WORD dpi : {96, 120}) {
    SCOPED_TRACE(dpi);
    g_screen.dpiX = g_screen.dpiY = dpi;
    layout.metrics.dpiX = layout.metrics.dpiY = dpi;
    layout.metrics.pitch = 12;
    doc.m_settings.rulPit = 12;
    unset->head.measuredWidth = 0;
    unset->head.width = 10;
    logical->head.measuredWidth = 300;
    plain->head.width = 33;
    CalcPageMetrics(doc);
    EXPECT_EQ(inch->head.width, 12);  // one inch at 12 per inch
    EXPECT_EQ(unset->head.measuredWidth, 100);  // 10 characters at pitch 10
    EXPECT_EQ(unset->head.width, 12);
    EXPECT_EQ(logical->head.width, 15);
    EXPECT_EQ(logical->head.measuredWidth, 125);  // 15 characters at 12 per inch
    EXPECT_EQ(plain->head.width, 33);
    // Sized to the unit width: hundredths x cell x pitch / 100.
    const int cell = dpi == 96 ? 8 : 10;
    EXPECT_EQ(inch->head.right - inch->head.left, 100 * cell * 12 / 100);
    EXPECT_EQ(inch->head.top, inch->head.bottom - inch->head.height);
  }
}

TEST_F(UnitFieldsTest, AFieldOfHugeUnitWidthKeeps254Characters) {
  FieldDef* f = Unit(0, 10, 65535);
  UpdateUnitFieldWidths(&model, 10, nullptr);
  EXPECT_EQ(f->head.width, 254);
  f->head.measuredWidth = 1;  // under half a character still gives one
  UpdateUnitFieldWidths(&model, 10, nullptr);
  EXPECT_EQ(f->head.width, 1);
}

}  // namespace
