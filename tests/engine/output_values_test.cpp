#include "engine/band_line_helpers.h"
#include "engine/output_values.h"
#include "tests/engine/stub_page_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr double kBlank = -1.0e300;

struct Value {
  BYTE bytes[kTextValueSlot] = {};
  void Day(DWORD d) { std::memcpy(bytes, &d, 4); }
  void Number(double d, int at = 0) { std::memcpy(bytes + at, &d, 8); }
};

TEST(OutputValues, BlankByKind) {
  FieldDef f;
  Value v;
  f.flags = kFieldLogical;
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 0);
  f.flags = kFieldNumeric;
  v.Number(kBlank);
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 1);
  v.Number(std::numeric_limits<double>::infinity());
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 1);
  v.Number(0);
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 0);
  f.flags = kFieldDate;
  for (DWORD empty : {0x80000000u, 0x7FFFFFFFu, 0x80000001u}) {
    v.Day(empty);
    EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 1) << empty;
  }
  v.Day(730000);
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 0);
  // Date-time: both halves must be empty.
  f.flags = kFieldDateTime;
  v.Day(0x80000001u);
  v.Number(0.5, 4);
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 0);
  v.Number(kBlank, 4);
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 1);
  f.flags = kFieldTime;
  v.Day(5);
  EXPECT_EQ(IsValueBlank(&f, v.bytes, kBlank), 1);
  f.flags = 0;
  Value text;
  std::memcpy(text.bytes, "   ", 3);
  EXPECT_EQ(IsValueBlank(&f, text.bytes, kBlank), 1);
  text.bytes[1] = 'x';
  EXPECT_EQ(IsValueBlank(&f, text.bytes, kBlank), 0);
  // An unterminated text is read no further than its slot.
  std::memset(text.bytes, ' ', sizeof text.bytes);
  EXPECT_EQ(IsValueBlank(&f, text.bytes, kBlank), 1);
}

TEST(OutputValues, CopyByKindAndLongTextCut) {
  std::string long300(300, 'a');
  std::vector<BYTE> source(long300.begin(), long300.end());
  source.push_back(0);
  FieldDef f;
  f.value = source.data();
  BYTE dest[kTextValueSlot + 8];
  std::memset(dest, 0x55, sizeof dest);
  CopyFieldValue(&f, dest);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dest)), std::string(254, 'a'));
  EXPECT_EQ(dest[254], 0);
  EXPECT_EQ(dest[kTextValueSlot], 0x55);  // nothing past the slot

  BYTE number[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  f.flags = kFieldNumeric;
  f.value = number;
  std::memset(dest, 0, sizeof dest);
  CopyFieldValue(&f, dest);
  EXPECT_EQ(std::memcmp(dest, number, 8), 0);
  EXPECT_EQ(dest[8], 0);
  CopyFieldValue(&f, nullptr);  // nothing to do
}

TEST(PageRoom, FlushPendingAdvanceIsCappedByTheRoomLeft) {
  StubPageDriver d;
  PageOutputState s;
  d.spaceLeft = 1000;
  PendingAdvance a{360, 120};
  LONG runState = 0;
  ASSERT_EQ(FlushPendingAdvance(&d, &s, &a, 360, 100, 1, &runState), 1);
  ASSERT_EQ(d.moves.size(), 1u);
  EXPECT_EQ(d.moves[0], 240);
  EXPECT_EQ(a.used, 0);
  // Used more than the advance: up to the next multiple, within the room.
  a = {360, 800};
  d.spaceLeft = 250;
  FlushPendingAdvance(&d, &s, &a, 360, 100, 0, &runState);
  EXPECT_EQ(d.moves[1], 150);
  EXPECT_EQ(d.lastRender, 0);
  // Without room nothing moves; equal amounts move nothing either.
  a = {360, 120};
  d.spaceLeft = 50;
  FlushPendingAdvance(&d, &s, &a, 360, 100, 1, &runState);
  a = {360, 360};
  d.spaceLeft = 1000;
  FlushPendingAdvance(&d, &s, &a, 360, 100, 1, &runState);
  EXPECT_EQ(d.moves.size(), 2u);
  // A refused move stops the run.
  a = {360, 120};
  d.moveResult = 0;
  EXPECT_EQ(FlushPendingAdvance(&d, &s, &a, 360, 100, 1, &runState), 0);
  EXPECT_EQ(runState, -2);
  // Without ordinal 10 there is no room at all.
  d.missing.insert(10);
  EXPECT_EQ(RoomLeftOnPage(&d, &s, 360, 0), 0);
}

bool SetWhenOdd(void*, LONG object, int) { return object % 2 == 1; }
LONG HundredEach(void*, int) { return 100; }

TEST(BandLines, ConditionsInversionAndTrailingHeight) {
  BandLineSet set;
  set.isSet = SetWhenOdd;
  set.lineHeight = HundredEach;
  //            kind flags cond  items
  set.lines = {{1, 0, -1, true},  {2, 0, 3, true}, {2, 8, 3, false}, {2, 0, -1, false},
               {2, 1, -1, false}, {2, 0, 4, false}, {3, 0, -1, false}};
  EXPECT_EQ(IsLineShown(set, 0, -1), 1);  // no condition
  EXPECT_EQ(IsLineShown(set, 1, -1), 1);  // condition set
  EXPECT_EQ(IsLineShown(set, 2, -1), 0);  // inverted: prints when not set
  EXPECT_EQ(IsLineShown(set, 5, -1), 0);
  set.runMode = 1;
  EXPECT_EQ(IsLineShown(set, 5, -1), 1);  // the test pattern prints every line
  set.runMode = 0;
  EXPECT_EQ(FindBandLine(set, 2, 0), 1);
  EXPECT_EQ(FindBandLine(set, 3, 1), 6);
  EXPECT_EQ(FindBandLine(set, 9, 0), 0);
  EXPECT_EQ(BandHasFlaggedLine(set, 2, 0), 1);
  EXPECT_EQ(BandHasFlaggedLine(set, 1, 1), 0);
  // From the bottom: line 5 fails its condition before anything was added
  // and is passed over, line 4 is skipped, line 3 adds, line 2 fails after
  // that and ends the walk.
  EXPECT_EQ(TrailingBandHeight(set, 2, 1), 100);
  // Without the condition test, lines 5, 3 and 2 add until line 1's items.
  EXPECT_EQ(TrailingBandHeight(set, 2, 0), 300);
  EXPECT_EQ(TrailingBandHeight(set, 1, 0), 0);
}

}  // namespace
