// Items placed from their distances to their band line's bottom, and
// positions stored at another layout resolution scaled to ours.
#include "layout/object_shift.h"

#include "layout/band_line_layout.h"

#include <gtest/gtest.h>

namespace {

struct ObjectShift : ::testing::Test {
  LayoutTables t;
  void SetUp() override {
    CreateLinesRequest r;
    r.count = 2;
    r.placement = LinePlacement::Band;
    r.band = kBandRecord;
    ASSERT_TRUE(CreateBandLines(t, r));
    RelayoutAfterFontChange(t, false, kNoAnchor);
  }
};

TEST_F(ObjectShift, ReadItemsStandAboveTheirLineBottomByTheirOffsets) {
  const BandLineRec& line = t.bandRecords[1];
  TextItem text;
  text.head.bandLine = 1;
  LineBoxItem box, full;
  box.head.bandLine = full.head.bandLine = 1;
  std::vector<BandOffsetPlace> places = {{&text.head, 3, false, 0},
                                         {&box.head, 10, true, 4},
                                         {&full.head, 0, true, -1},
                                         {nullptr, 7, true, 2}};
  ShiftObjectsFromBandTop(t.Lines(), places);
  EXPECT_EQ(text.head.bottom, line.bottom - 3);
  EXPECT_EQ(box.head.top, line.bottom - 10);
  EXPECT_EQ(box.head.bottom, line.bottom - 10 + 3);
  // As high as its line.
  EXPECT_EQ(full.head.top, line.bottom);
  EXPECT_EQ(full.head.bottom, line.bottom + line.pixelHeight - 1);

  // A line number beyond the table places against no line, never past it.
  TextItem stray;
  stray.head.bandLine = 255;
  ShiftObjectsFromBandTop(BandLineTable{}, {{&stray.head, 5, false, 0}});
  EXPECT_EQ(stray.head.bottom, -5);
}

TEST_F(ObjectShift, OffsetsKeptWhileTheLinesAreMeasuredAgain) {
  LineBoxItem* box = t.linesBoxes.Append(MakeNewBox());
  ASSERT_NE(box, nullptr);
  const BandLineRec& line = t.bandRecords[1];
  box->head.bandLine = 1;
  box->head.top = line.bottom - 5;
  box->head.bottom = line.bottom - 2;
  box->head.height = 4;
  ShiftObjectsToBandTop(t);
  EXPECT_EQ(box->head.lineOffset, 5);
  // A box filling its line of automatic height becomes a full-height one.
  box->head.top = line.bottom - line.pixelHeight + 1;
  box->head.bottom = line.bottom;
  ShiftObjectsToBandTop(t);
  EXPECT_EQ(box->head.height, -1);
}

TEST_F(ObjectShift, OtherLayoutUnitsScaleEveryKindOfItem) {
  TextItem text;
  text.head.left = 100;
  text.head.right = 199;
  text.head.top = 40;
  text.head.bottom = 60;
  t.textHead = &text;
  t.textCount = 1;
  LineBoxItem* box = t.linesBoxes.Append(MakeNewBox());
  box->head.left = 50;
  box->head.right = 250;
  RescaleObjectsToGrid(&t, nullptr, 200, 50);
  EXPECT_EQ(text.head.left, 50);
  EXPECT_EQ(text.head.right, 99);
  EXPECT_EQ(text.head.top, 80);
  EXPECT_EQ(text.head.bottom, 120);
  EXPECT_EQ(box->head.left, 25);
  EXPECT_EQ(box->head.right, 125);
  // 0 (not given) and 100 (ours) change nothing.
  RescaleObjectsToGrid(&t, nullptr, 0, 100);
  EXPECT_EQ(text.head.left, 50);
  EXPECT_EQ(text.head.top, 80);
  t.textHead = nullptr;
}

}  // namespace
