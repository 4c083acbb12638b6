#include "engine/band_line_helpers.h"
#include "engine/output_values.h"
#include "engine/report_run.h"
#include "core/composite.h"
#include "foundation/band_lines.h"
#include "foundation/doc_base.h"
#include "tests/engine/stub_page_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

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

TEST(PageRoom, FlushPendingAdvanceIsCappedByTheRoomLeft) {
  StubPageDriver d;
  PageOutputState s;
  KmDocBase doc;
  ReportRun run;
  run.doc = &doc;
  doc.m_pRun = &run;
  run.driver = &d;
  run.page = &s;
  run.pageBottom = 360;
  run.pageFooterHeight = 100;  // the page's reserve
  run.pageCount = 1;
  auto advance = [&](LONG fixed, LONG used) {
    run.fixedAdvance = fixed;
    run.advanceUsed = used;
  };
  d.spaceLeft = 1000;
  advance(360, 120);
  ASSERT_EQ(FlushPendingAdvance(&doc), 1);
  ASSERT_EQ(d.moves.size(), 1u);
  EXPECT_EQ(d.moves[0], 240);
  EXPECT_EQ(run.advanceUsed, 0);
  // Used more than the advance: up to the next multiple, within the room
  // (a page before the first to print moves without drawing).
  advance(360, 800);
  d.spaceLeft = 250;
  run.startPage = 2;
  FlushPendingAdvance(&doc);
  EXPECT_EQ(d.moves[1], 150);
  EXPECT_EQ(d.lastRender, 0);
  run.startPage = 1;
  // Without room nothing moves; equal amounts move nothing either, nor does
  // a record that used a whole number of advances.
  advance(360, 120);
  d.spaceLeft = 50;
  FlushPendingAdvance(&doc);
  advance(360, 360);
  d.spaceLeft = 1000;
  FlushPendingAdvance(&doc);
  advance(360, 720);
  FlushPendingAdvance(&doc);
  EXPECT_EQ(d.moves.size(), 2u);
  // A refused move stops the run.
  advance(360, 120);
  d.moveResult = 0;
  EXPECT_EQ(FlushPendingAdvance(&doc), 0);
  EXPECT_EQ(doc.m_nRunState, -2);
  // Without ordinal 10 there is no room at all.
  d.missing.insert(10);
  EXPECT_EQ(RoomLeftOnPage(&run, 0), 0);
  doc.m_pRun = nullptr;
}

// Band lines of kinds 1, 2 and 3 with conditions on logical fields: field 3
// is set, field 4 is not; every empty line is 100 high.
TEST(BandLines, ConditionsInversionAndTrailingHeight) {
  KmDocBase doc;
  CKmComposite model(&doc);
  doc.m_pModel = &model;
  std::vector<FieldDef*> logical;
  for (int i = 0; i < 5; ++i) logical.push_back(model.AddField(kFieldLogical));
  BYTE values[5] = {0, 0, 0, 1, 0};
  for (int i = 0; i < 5; ++i) model.GetFieldAt(static_cast<uint32_t>(i))->value = &values[i];
  ReportRun run;
  run.doc = &doc;
  doc.m_pRun = &run;
  std::vector<BandLineRec> table(kBandLineTableRecords);
  doc.m_bandLines.lines = table.data();
  ClearBandLineTable(doc.m_bandLines);
  struct Line {
    BYTE kind, flags;
    int32_t condition;
    bool items;
  } lines[] = {{1, 0, -1, true},  {2, 0, 3, true}, {2, 8, 3, false}, {2, 0, -1, false},
               {2, 1, -1, false}, {2, 0, 4, false}, {3, 0, -1, false}};
  ReportItemHead items[2];
  int placed = 0;
  for (int i = 0; i < 7; ++i) {
    BandLineRec& r = table[static_cast<size_t>(i)];
    r.kind = lines[i].kind;
    r.flags = lines[i].flags;
    r.objectId = lines[i].condition;
    r.heightMode = 1;  // tenths of a point
    r.height = 100;
    if (lines[i].items) {
      items[placed].bandLine = static_cast<uint8_t>(i);
      if (placed > 0) items[placed - 1].nextInOrder = &items[placed];
      ++placed;
    }
  }
  doc.m_bandLines.lastUsed = 6;
  model.itemListHead = &items[0];
  EXPECT_EQ(IsLineShown(&doc, 0, -1), 1);  // no condition
  EXPECT_EQ(IsLineShown(&doc, 1, -1), 1);  // condition set
  EXPECT_EQ(IsLineShown(&doc, 2, -1), 0);  // inverted: prints when not set
  EXPECT_EQ(IsLineShown(&doc, 5, -1), 0);
  doc.m_nRunMode = 1;
  EXPECT_EQ(IsLineShown(&doc, 5, -1), 1);  // the test pattern prints every line
  doc.m_nRunMode = 0;
  EXPECT_EQ(FindBandLine(&doc, 2, 0), 1);
  EXPECT_EQ(FindBandLine(&doc, 3, 1), 6);
  EXPECT_EQ(FindBandLine(&doc, 9, 0), 0);
  EXPECT_EQ(BandHasFlaggedLine(&doc, 2, 0), 1);
  EXPECT_EQ(BandHasFlaggedLine(&doc, 1, 1), 0);
  // From the bottom: line 5 fails its condition before anything was added
  // and is passed over, line 4 is skipped, line 3 adds, line 2 fails after
  // that and ends the walk.
  EXPECT_EQ(TrailingBandHeight(&doc, 2, 1), 100);
  // Without the condition test, lines 5, 3 and 2 add until line 1's items.
  EXPECT_EQ(TrailingBandHeight(&doc, 2, 0), 300);
  EXPECT_EQ(TrailingBandHeight(&doc, 1, 0), 0);
  model.itemListHead = nullptr;
  for (int i = 0; i < 5; ++i) model.GetFieldAt(static_cast<uint32_t>(i))->value = nullptr;
  doc.m_pRun = nullptr;
  doc.m_pModel = nullptr;
  doc.m_bandLines.lines = nullptr;
}

}  // namespace
