#include "layout/layout_helpers.h"

#include "layout/band_line_layout.h"
#include "layout/field_width.h"
#include "core/composite.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A placed field of the kind whose format word keeps the alignment nibble
// (1 left, 2 centred, 3 right) at the given shift.
FieldDef* Placed(CKmComposite& model, uint32_t kind, uint32_t nibble, int shift) {
  FieldDef* f = model.AddField(kind);
  f->head.flags = kItemKindField;
  f->formatCode = nibble << shift;
  return f;
}

struct Helpers : ::testing::Test {
  LayoutTables t;
  TextItem texts[3];
  void SetUp() override {
    // 96 pixels per inch, 10 characters and 6 lines an inch: cells of 10
    // pixels, text lines of 16, a layout 2540 wide and 257 x 16 high.
    RelayoutAfterFontChange(t, false, kNoAnchor);
    const BYTE alignments[3] = {kAlignLeft, kAlignCentre, kAlignRight};
    for (int i = 0; i < 3; ++i) {
      texts[i].alignment = alignments[i];
      texts[i].nextText = i ? &texts[i - 1] : nullptr;
      texts[i].head.left = 100;
      texts[i].head.right = 150;
    }
    t.textHead = &texts[2];
    t.textCount = 3;
  }
  // Line 0 sized: 48 pixels ending at 147 (raster 99, 115, 131, 147); line 1
  // automatic, 16 pixels ending at 163.
  void TwoLines(int lineHeight = 16) {
    BandLineRec& sized = t.bandRecords[0];
    sized.kind = kBandRecord;
    sized.heightMode = kHeightMeasure;
    sized.pixelHeight = 3 * lineHeight;
    sized.bottom = 3 * lineHeight + 99;
    BandLineRec& automatic = t.bandRecords[1];
    automatic.kind = kBandRecord;
    automatic.heightMode = kHeightAutomatic;
    automatic.pixelHeight = 16;
    automatic.bottom = sized.bottom + 16;
    t.Lines().lastUsed = 1;
  }
};

TEST_F(Helpers, AnchorAndColumnFollowTheAlignment) {
  EXPECT_EQ(GetAlignedX(t, texts[0].head), 100);
  EXPECT_EQ(GetAlignedX(t, texts[1].head), 125);
  EXPECT_EQ(GetAlignedX(t, texts[2].head), 150);
  EXPECT_EQ(GetAlignedColumn(t, texts[1].head), 12);
  CKmComposite model(nullptr);
  t.model = &model;
  FieldDef* number = Placed(model, kFieldNumeric, 3, 12);
  FieldDef* date = Placed(model, kFieldDate, 2, 8);
  FieldDef* text = Placed(model, 0, 3, 4);
  for (FieldDef* f : {number, date, text}) f->head.left = 10, f->head.right = 70;
  EXPECT_EQ(GetAlignedX(t, number->head), 70);
  number->formatCode = 0;  // without an alignment of its own a number prints right-aligned
  EXPECT_EQ(GetAlignedX(t, number->head), 70);
  number->formatCode = 0x1000;
  EXPECT_EQ(GetAlignedX(t, number->head), 10);
  EXPECT_EQ(GetAlignedX(t, date->head), 40);
  EXPECT_EQ(GetAlignedX(t, text->head), 70);
  text->formatCode = 0x240;  // the stretching kind keeps it in the third nibble, 2 meaning left
  EXPECT_EQ(GetAlignedX(t, text->head), 10);
  text->formatCode = 0x140;
  EXPECT_EQ(GetAlignedX(t, text->head), 10);
  text->formatCode = 0x340;
  EXPECT_EQ(GetAlignedX(t, text->head), 70);
  t.model = nullptr;
}

TEST_F(Helpers, FieldsAreSizedToTheSampleTheyShowAroundTheirAnchor) {
  CKmComposite model(nullptr);
  t.model = &model;
  FieldDef* left = Placed(model, 0, 1, 4);
  FieldDef* centred = Placed(model, 0, 2, 4);
  FieldDef* right = Placed(model, 0, 3, 4);
  for (FieldDef* f : {left, centred, right}) {
    f->displayWidth = 6;
    f->head.left = 100, f->head.right = 300, f->head.bottom = 50;
  }
  // A text field shows its alignment mark and a mark per further column.
  EXPECT_EQ(FieldShownText(t, left->head), "<xxxxx");
  EXPECT_EQ(FieldShownText(t, centred->head), "^xxxxx");
  EXPECT_EQ(FieldShownText(t, right->head), ">xxxxx");
  EXPECT_EQ(FieldShownText(t, texts[0].head), "");
  auto shown = [&](FieldDef* f) {
    const std::string s = FieldShownText(t, f->head);
    return MeasureTextWidth(t, nullptr, s.c_str(), static_cast<int>(s.size()));
  };
  const int w = shown(left), wc = shown(centred), wr = shown(right);
  ASSERT_GT(w, 0);
  for (FieldDef* f : {left, centred, right}) SizeObjectToText(t, f->head);
  EXPECT_EQ(left->head.left, 100);
  EXPECT_EQ(left->head.right, 100 + w);
  EXPECT_EQ(centred->head.left, 200 - wc / 2);
  EXPECT_EQ(centred->head.right, 200 - wc / 2 + wc);
  EXPECT_EQ(right->head.right, 300);
  EXPECT_EQ(right->head.left, 300 - wr);
  EXPECT_EQ(right->head.top, 50 - right->head.height);
  // A longer field is wider; sizing again leaves an item as it is.
  left->displayWidth = 12;
  SizeObjectToText(t, left->head);
  EXPECT_GT(left->head.right - left->head.left, w);
  const ReportItemHead before = centred->head;
  SizeObjectToText(t, centred->head);
  EXPECT_EQ(centred->head.left, before.left);
  EXPECT_EQ(centred->head.right, before.right);
  t.model = nullptr;
}

TEST_F(Helpers, ClampsKeepItemsInsideTheLayoutWidthAndBandArea) {
  ReportItemHead& h = texts[0].head;
  h.left = 2520, h.right = 2560;
  ClampToPageWidth(t, h, 40);
  EXPECT_EQ(h.left, 2500);
  EXPECT_EQ(h.right, 2540);
  h.left = -15, h.right = 25;
  ClampToPageWidth(t, h, 40);
  EXPECT_EQ(h.left, 0);
  EXPECT_EQ(h.right, 40);
  h.left = 100, h.right = 3000;  // wider than the layout: from 0
  ClampToPageWidth(t, h, 2900);
  EXPECT_EQ(h.left, 0);

  ASSERT_EQ(t.bandRecords[256].bottom, 4111);
  h.top = 4100, h.bottom = 4130;
  ClampToBandArea(t, h);
  EXPECT_EQ(h.top, 4081);
  EXPECT_EQ(h.bottom, 4111);
  h.top = -5, h.bottom = 10;
  ClampToBandArea(t, h);
  EXPECT_EQ(h.top, 0);
  EXPECT_EQ(h.bottom, 15);
}

TEST_F(Helpers, MoveToColumnAndSnapToCells) {
  ReportItemHead &left = texts[0].head, &centre = texts[1].head, &right = texts[2].head;
  MoveObjectToColumn(t, left, 300);  // past the layout: one cell before its end
  EXPECT_EQ(left.left, 2530);
  EXPECT_EQ(left.right, 2580);
  centre.left = 0, centre.right = 40;
  MoveObjectToColumn(t, centre, 1);  // would start at -10
  EXPECT_EQ(centre.left, 0);
  EXPECT_EQ(centre.right, 40);
  MoveObjectToColumn(t, right, 20);
  EXPECT_EQ(right.left, 150);
  EXPECT_EQ(right.right, 200);

  for (auto c : {std::pair<int, int>{104, 100}, {105, 100}, {106, 110}}) {
    left.left = c.first, left.right = c.first + 30;
    SnapObjectToCells(t, left);
    EXPECT_EQ(left.left, c.second) << c.first;
    EXPECT_EQ(left.right, c.second + 30);
  }
}

TEST_F(Helpers, XOnTheCellGridCountsTheHorizontalScroll) {
  t.scrollX = 3;  // layout x = view x + 3; cells of 10
  EXPECT_EQ(SnapXToGrid(t, 14, kSnapXDown, false), 7);
  EXPECT_EQ(SnapXToGrid(t, 14, kSnapXUp, false), 17);
  EXPECT_EQ(SnapXToGrid(t, 14, 0, false), 17);
  EXPECT_EQ(SnapXToGrid(t, 12, 0, false), 7);  // a tie goes down
  EXPECT_EQ(SnapXToGrid(t, 17, kSnapXUp, false), 17);  // already on a cell
  EXPECT_EQ(SnapXToGrid(t, -4, 0, false), -3);  // left of the layout: still on the grid
  EXPECT_EQ(SnapXToGrid(t, -8, 0, false), -13);
  EXPECT_EQ(SnapXToGrid(t, 14, 0, true), 14);
  t.metrics.snapping = false;
  EXPECT_EQ(SnapXToGrid(t, 14, 0, false), 14);
  EXPECT_EQ(MeasureTextWidth(t, nullptr, nullptr, 3), 10);  // nothing to measure: one cell
  EXPECT_GT(MeasureTextWidth(t, nullptr, "abc", 3), 0);
}

TEST_F(Helpers, SnappingOnASizedLineMovesTheBottomToTheNearestTextLineOnce) {
  TwoLines();
  ReportItemHead& h = texts[0].head;
  h.left = 100, h.right = 130, h.top = 105, h.bottom = 120;
  SnapObjectToCells(t, h);
  EXPECT_EQ(h.bottom, 115);
  EXPECT_EQ(h.top, 100);
  SnapObjectToCells(t, h);  // already on the raster: stays
  EXPECT_EQ(h.bottom, 115);
  h.bandLine = 1, h.bottom = 120;  // automatic lines place their items themselves
  SnapObjectToCells(t, h);
  EXPECT_EQ(h.bottom, 120);
  EXPECT_EQ(LineTopInBand(t, 0, 120), 115);
  EXPECT_EQ(NearestLineInBand(t, 0, 125), 131);
  EXPECT_EQ(NearestLineInBand(t, 300, 125), 125);  // no such record
}

TEST_F(Helpers, BandLineYAt96And120PixelsPerInch) {
  TwoLines();
  t.scrollY = 10;
  EXPECT_EQ(GetBandLineY(t, 1, 150, kSnapTop, false), 163 - 16 + 1 - 10);
  EXPECT_EQ(GetBandLineY(t, 1, 150, kSnapNearest, false), 153);
  EXPECT_EQ(GetBandLineY(t, 0, 120, kSnapTop, false), 115);
  EXPECT_EQ(GetBandLineY(t, 0, 120, kSnapBottom, false), 131);
  EXPECT_EQ(GetBandLineY(t, 0, 120, kSnapNearest, false), 115);
  EXPECT_EQ(GetBandLineY(t, 0, 125, kSnapNearest, false), 131);
  EXPECT_EQ(GetBandLineY(t, 0, 123, kSnapNearest, false), 115);  // a tie: the upper line
  EXPECT_EQ(GetBandLineY(t, 0, 131, kSnapBottom, false), 131);
  EXPECT_EQ(GetBandLineY(t, 0, 90, kSnapNearest, false), 99);
  EXPECT_EQ(GetBandLineY(t, 0, 200, kSnapTop, false), 147);
  EXPECT_EQ(GetBandLineY(t, 0, 120, kSnapTop, true), 120);  // Alt held
  t.metrics.snapping = false;
  EXPECT_EQ(GetBandLineY(t, 1, 150, kSnapTop, false), 150);
  EXPECT_EQ(GetBandLineY(t, 500, 150, kSnapTop, false), 150);

  t.metrics.snapping = true;
  t.metrics.dpiX = t.metrics.dpiY = 120;  // text lines of 20: raster 119 .. 179
  t.scrollY = 0;
  TwoLines(20);
  EXPECT_EQ(GetBandLineY(t, 0, 150, kSnapNearest, false), 159);
  EXPECT_EQ(GetBandLineY(t, 0, 150, kSnapTop, false), 139);
  EXPECT_EQ(LayoutWidthPixels(t), 254 * 12);
}

TEST_F(Helpers, MeasureAndSizeKeepTheAnchor) {
  LineBoxItem box = MakeNewBox();
  box.head.left = 10, box.head.right = 49, box.head.top = 5, box.head.bottom = 24;
  int height = 0, descent = 0, chars = 0;
  EXPECT_EQ(MeasureObjectText(t, box.head, "", &height, &descent, &chars), 40);
  EXPECT_EQ(height, 20);

  char text[] = "Total";
  TextItem& x = texts[2];  // right-aligned at 150
  x.text = text;
  x.head.bottom = 60;
  SizeObjectToText(t, x.head);
  EXPECT_EQ(x.head.right, 150);
  EXPECT_GT(x.head.right - x.head.left, 0);
  EXPECT_EQ(x.head.width, 5);
  EXPECT_GT(x.head.height, 0);
  EXPECT_EQ(x.head.top, 60 - x.head.height);
  x.text = nullptr;
}

TEST_F(Helpers, FieldsKeptInAUnitMeasureThatWidthInEitherSystem) {
  CKmComposite model(nullptr);
  t.model = &model;
  FieldDef* f = Placed(model, 0, 3, 4);
  f->head.left = 0, f->head.right = 500, f->head.bottom = 40;
  f->flags2 = kField2WidthHundredths;
  f->head.measuredWidth = 100;  // one inch: 10 cells of 10 pixels
  SizeObjectToText(t, f->head);
  EXPECT_EQ(f->head.right, 500);
  EXPECT_EQ(f->head.left, 400);
  f->flags2 = kField2WidthTenthsMm;
  f->head.measuredWidth = 254;
  EXPECT_EQ(MeasureObjectText(t, f->head, "12345", nullptr, nullptr, nullptr), 100);
  // A width read from a damaged file measures as the largest 16-bit width
  // and the item stays inside the layout.
  f->flags2 = kField2WidthHundredths;
  f->head.measuredWidth = 0x7FFFFFFF;
  EXPECT_EQ(MeasureObjectText(t, f->head, "", nullptr, nullptr, nullptr), 65535 * 10 * 10 / 100);
  SizeObjectToText(t, f->head);
  EXPECT_EQ(f->head.left, 0);
  t.model = nullptr;
}

}  // namespace
