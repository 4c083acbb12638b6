#include "layout/band_line_layout.h"

#include <gtest/gtest.h>

namespace {

// Two screen fonts at 96 pixels per inch: a 12-point one (19 pixels high with
// its leading, 4 below the baseline) and a 10-point one (15 and 3).
void* const kFont = reinterpret_cast<void*>(static_cast<intptr_t>(1));

TextItem Text(uint8_t line, bool large) {
  TextItem x;
  x.head.bandLine = line;
  x.head.height = large ? 19 : 15;
  x.head.descent = large ? 4 : 3;
  x.head.pointSize = large ? 120 : 100;
  x.head.fontHandle = kFont;
  x.head.bottom = 1;  // placed: stands on its line's baseline
  return x;
}

struct Layout : ::testing::Test {
  LayoutTables t;
  TextItem texts[4];
  int nTexts = 0;
  void SetUp() override { t.metrics.snapping = false; }
  TextItem& AddText(uint8_t line, bool large) {
    TextItem& x = texts[nTexts++];
    x = Text(line, large);
    x.nextText = t.textHead;
    t.textHead = &x;
    ++t.textCount;
    return x;
  }
  void Records(int n) {
    CreateLinesRequest r;
    r.count = n;
    r.placement = LinePlacement::Band;
    r.band = kBandRecord;
    ASSERT_TRUE(CreateBandLines(t, r));
  }
};

TEST_F(Layout, EmptyTableLaysOutEveryEntryAtTheDefaultHeight) {
  RelayoutAfterFontChange(t, false, kNoAnchor);
  EXPECT_EQ(t.DefaultLineHeight(), 16);
  EXPECT_EQ(t.bandRecords[0].bottom, 15);
  EXPECT_EQ(t.bandRecords[256].pixelHeight, 16);
  EXPECT_EQ(t.bandRecords[256].bottom, 257 * 16 - 1);
  EXPECT_EQ(t.bandRecords[256].kind, kBandFree);  // the spare is never a line
}

TEST_F(Layout, AutomaticLinesFollowTheirFonts) {
  Records(3);
  EXPECT_EQ(t.Lines().lastUsed, 2);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(t.bandRecords[i].kind, kBandRecord);
  TextItem& a = AddText(0, true);
  TextItem& b = AddText(0, false);
  TextItem& c = AddText(1, false);
  EXPECT_TRUE(RelayoutAfterFontChange(t, false, kNoAnchor));
  // Line 0: the tallest item (19) and the greatest descent (4).
  EXPECT_EQ(t.bandRecords[0].pixelHeight, 19);
  EXPECT_EQ(t.bandRecords[0].bottom, 18);
  EXPECT_EQ(t.bandRecords[0].baseline, 14);
  // Line 1: the small font alone; line 2: empty, default height.
  EXPECT_EQ(t.bandRecords[1].pixelHeight, 15);
  EXPECT_EQ(t.bandRecords[1].bottom, 33);
  EXPECT_EQ(t.bandRecords[1].baseline, 30);
  EXPECT_EQ(t.bandRecords[2].bottom, 49);
  EXPECT_EQ(t.bandRecords[2].baseline, 49);
  EXPECT_EQ(t.bandRecords[256].bottom, 49 + 254 * 16);
  // Items stand on their line's baseline.
  EXPECT_EQ(a.head.bottom, 18);
  EXPECT_EQ(a.head.top, -1);
  EXPECT_EQ(b.head.bottom, 17);
  EXPECT_EQ(b.head.top, 2);
  EXPECT_EQ(c.head.bottom, 33);
  EXPECT_EQ(c.head.top, 18);
  EXPECT_FALSE(RelayoutAfterFontChange(t, false, kNoAnchor));  // nothing left to change
}

TEST_F(Layout, BoxAsTallAsItsLineKeepsFollowingIt) {
  Records(2);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  LineBoxItem box = MakeNewBox();
  box.head.bandLine = 1;
  box.head.top = 16;
  box.head.bottom = 31;  // exactly line 1 (16 to 31)
  box.head.height = 16;
  LineBoxItem* b = t.linesBoxes.Append(box);
  AddText(1, true);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  EXPECT_EQ(t.bandRecords[1].bottom, 16 + 19 - 1);
  EXPECT_EQ(b->head.height, 19);
  EXPECT_EQ(b->head.top, 16);
  EXPECT_EQ(b->head.bottom, 34);
}

TEST_F(Layout, GraphicsMoveWithTheirLineBottom) {
  Records(2);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  LineBoxItem line = MakeNewLine(0);  // horizontal: no height of its own
  line.head.bandLine = 1;
  line.head.top = line.head.bottom = 28;  // 3 above line 1's bottom (31)
  LineBoxItem* l = t.linesBoxes.Append(line);
  AddText(0, true);  // line 0 grows by 3
  RelayoutAfterFontChange(t, false, kNoAnchor);
  EXPECT_EQ(t.bandRecords[1].bottom, 34);
  EXPECT_EQ(l->head.top, 31);
  EXPECT_EQ(l->head.bottom, 31);
}

TEST_F(Layout, FreeformLineInPointsAndItsFloor) {
  Records(1);
  BandLineRec& r = t.bandRecords[0];
  r.heightMode = kHeightPoints;
  r.height = 360;  // half an inch
  r.pixelHeight = 0;
  AddText(0, true);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  EXPECT_EQ(r.pixelHeight, 48);
  EXPECT_EQ(r.bottom, 47);
  EXPECT_EQ(r.baseline, 47);  // freeform lines have no descent
  EXPECT_EQ(r.height, 360u);

  // A height below what the fonts need is raised to the point size.
  r.height = 50;
  r.pixelHeight = 0;
  RelayoutAfterFontChange(t, true, kNoAnchor);
  EXPECT_EQ(r.height, 120u);
}

TEST_F(Layout, InsertBandLineBelowTheLastExtendsTheBand) {
  Records(1);
  t.bandRecords[0].kind = kBandPageHeader;
  t.currentLine = 3;  // the caret is below the last line
  ASSERT_TRUE(InsertBandLine(t));
  EXPECT_EQ(t.Lines().lastUsed, 3);
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(t.bandRecords[i].kind, kBandPageHeader) << i;
  EXPECT_EQ(t.bandRecords[3].bottom, 4 * 16 - 1);
}

TEST_F(Layout, InsertAndCreateAboveMoveTheCurrentLineDown) {
  Records(2);
  t.bandRecords[1].kind = kBandSummary;
  t.bandRecords[1].objectId = 9;
  t.currentLine = 1;
  ASSERT_TRUE(InsertBandLine(t));
  EXPECT_EQ(t.Lines().lastUsed, 2);
  EXPECT_EQ(t.bandRecords[1].kind, kBandSummary);
  EXPECT_EQ(t.bandRecords[1].objectId, -1);  // the new line is cleared
  EXPECT_EQ(t.bandRecords[2].objectId, 9);

  CreateLinesRequest above;
  above.count = 3;
  above.newPage = true;
  ASSERT_TRUE(CreateBandLines(t, above));
  EXPECT_EQ(t.Lines().lastUsed, 5);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(t.bandRecords[i].flags & kLineNewPage, kLineNewPage);
  EXPECT_EQ(t.bandRecords[5].objectId, 9);
}

TEST_F(Layout, CreateRequestsAreChecked) {
  CreateLinesRequest r;
  r.count = 0;
  EXPECT_EQ(CheckCreateLines(t, r, false), kInvalidLineCount);
  r.count = 256;
  EXPECT_EQ(CheckCreateLines(t, r, false), kTooManyLines);
  r.count = 255;
  EXPECT_EQ(CheckCreateLines(t, r, false), kCreateLinesOk);
  r.newPage = true;
  EXPECT_EQ(CheckCreateLines(t, r, true), kNewPageInPageBand);
  // Full table: nothing is created.
  Records(255);
  EXPECT_EQ(t.Lines().lastUsed, 254);
  r.count = 1;
  r.newPage = false;
  ASSERT_TRUE(CreateBandLines(t, r));
  EXPECT_EQ(t.Lines().lastUsed, 255);
  EXPECT_FALSE(CreateBandLines(t, r));
  EXPECT_FALSE(InsertBandLine(t));
}

TEST_F(Layout, CreateIntoABandWithoutLinesUsesItsPlace) {
  Records(2);
  t.bandRecords[1].kind = kBandPageFooter;
  CreateLinesRequest r;
  r.count = 1;
  r.placement = LinePlacement::Band;
  r.band = kBandGroupFooter + 1;
  ASSERT_TRUE(CreateBandLines(t, r));
  r.band = kBandGroupFooter;
  ASSERT_TRUE(CreateBandLines(t, r));
  // Group footers stand in descending level order, above the page footer.
  EXPECT_EQ(t.bandRecords[1].kind, kBandGroupFooter + 1);
  EXPECT_EQ(t.bandRecords[2].kind, kBandGroupFooter);
  EXPECT_EQ(t.bandRecords[3].kind, kBandPageFooter);
}

TEST_F(Layout, ToggleMixedMarksMakesAllAutomatic) {
  Records(2);
  t.bandRecords[0].flags |= kLineMarked;
  t.bandRecords[1].flags |= kLineMarked;
  AddText(0, true);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  ToggleAutoFreeformLines(t);  // all automatic: all become freeform
  EXPECT_EQ(t.bandRecords[0].heightMode, kHeightMeasure);
  EXPECT_EQ(t.bandRecords[1].heightMode, kHeightMeasure);
  EXPECT_EQ(t.bandRecords[0].height, PixelsToDisplayUnits(t.metrics, 2, 19));
  EXPECT_EQ(t.bandRecords[0].pixelHeight, MeasureToPixelsY(t.metrics, t.bandRecords[0].height, 2));
  t.bandRecords[1].heightMode = kHeightAutomatic;  // now mixed
  ToggleAutoFreeformLines(t);
  EXPECT_EQ(t.bandRecords[0].heightMode, kHeightAutomatic);
  EXPECT_EQ(t.bandRecords[1].heightMode, kHeightAutomatic);
  int a = 0, f = 0;
  EXPECT_EQ(CountMarkedLines(t, &a, &f), 2);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(FirstMarkedLine(t), 0);
}

TEST_F(Layout, EdgeDragNeverCutsAboveTheBaseline) {
  Records(1);
  BandLineRec& r = t.bandRecords[0];
  r.heightMode = kHeightPoints;
  r.height = 720;  // an inch: 96 pixels
  r.pixelHeight = 0;
  TextItem& x = AddText(0, true);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  ASSERT_EQ(r.bottom, 95);
  // Put the text low in the line: baseline at 80.
  x.head.bottom = 84;
  x.head.top = 65;
  int line = -1;
  EXPECT_EQ(HitTestLineEdge(t, 93, &line), 2);
  EXPECT_EQ(line, 0);
  EXPECT_EQ(HitTestLineEdge(t, 3, &line), 1);
  EXPECT_EQ(HitTestLineEdge(t, 50, &line), 0);
  ASSERT_TRUE(EndLineDrag(t, 0, 2, 40));  // would leave 40 pixels
  // Rows 0 to 80 are kept (81 pixels), written in tenths of a point.
  EXPECT_EQ(r.height, 608u);
  EXPECT_EQ(r.pixelHeight, 81);
  EXPECT_FALSE(EndLineDrag(t, 0, 1, 500));  // negative height: nothing
  EXPECT_EQ(r.pixelHeight, 81);
}

}  // namespace

namespace {

struct ScriptedDialogs : BandLineDialogs {
  CreateLinesRequest create;
  LinePropertiesRequest props;
  bool answer = true;
  int beeps = 0;
  BYTE shownBand = 0;
  bool RunCreateLines(const LayoutTables&, CreateLinesRequest* r) override {
    shownBand = r->band;
    *r = create;
    return answer;
  }
  bool RunLineProperties(const LayoutTables&, LinePropertiesRequest* r) override {
    *r = props;
    return answer;
  }
  void ErrorBeep() override { ++beeps; }
};

struct Commands : ::testing::Test {
  LayoutTables t;
  ScriptedDialogs d;
  void SetUp() override {
    t.metrics.snapping = false;
    SetBandLineDialogs(&d);
  }
  void TearDown() override { SetBandLineDialogs(nullptr); }
};

TEST_F(Commands, CreateThroughTheDialogAndItsRefusals) {
  d.create.count = 3;
  d.create.placement = LinePlacement::Band;
  d.create.band = kBandRecord;
  ASSERT_TRUE(CreateBandLinesCommand(t));
  EXPECT_EQ(t.Lines().lastUsed, 2);
  EXPECT_EQ(t.bandRecords[0].bottom, t.bandRecords[0].pixelHeight - 1);

  t.currentLine = 1;
  d.create.placement = LinePlacement::Below;
  d.create.band = kBandPageHeader;  // ignored: Below takes the current line's band
  d.create.count = 1;
  d.create.newPage = true;
  ASSERT_TRUE(CreateBandLinesCommand(t));
  EXPECT_EQ(d.shownBand, kBandRecord);
  EXPECT_EQ(t.bandRecords[2].flags & kLineNewPage, kLineNewPage);

  d.create.placement = LinePlacement::Band;
  d.create.band = kBandPageFooter;  // new-page lines may not go there
  EXPECT_FALSE(CreateBandLinesCommand(t));
  EXPECT_EQ(t.Lines().lastUsed, 3);
  d.answer = false;  // cancelled
  EXPECT_FALSE(CreateBandLinesCommand(t));
  t.currentLine = 255;
  EXPECT_FALSE(CreateBandLinesCommand(t));
  EXPECT_FALSE(InsertBandLineCommand(t));
  EXPECT_EQ(d.beeps, 2);
}

TEST_F(Commands, PropertiesGoToEveryMarkedLine) {
  d.create.count = 3;
  d.create.placement = LinePlacement::Band;
  ASSERT_TRUE(CreateBandLinesCommand(t));
  EXPECT_FALSE(EditLinePropertiesCommand(t));  // nothing marked
  t.bandRecords[0].flags |= kLineMarked;
  t.bandRecords[2].flags |= kLineMarked | kLineNewPage;
  t.bandRecords[2].reserved = 9;
  d.props.objectId = 4;
  d.props.printWhenFalse = true;
  d.props.newPage = false;
  d.props.heightMode = kHeightPoints;
  d.props.height = 360;
  ASSERT_TRUE(EditLinePropertiesCommand(t));
  for (int i : {0, 2}) {
    EXPECT_EQ(t.bandRecords[i].objectId, 4);
    EXPECT_EQ(t.bandRecords[i].flags & kLinePrintWhenFalse, kLinePrintWhenFalse);
    EXPECT_EQ(t.bandRecords[i].pixelHeight, 48);
  }
  EXPECT_EQ(t.bandRecords[2].reserved, 0);
  EXPECT_EQ(t.bandRecords[2].flags & kLineNewPage, kLineNewPage);  // several lines: left alone
  EXPECT_EQ(t.bandRecords[1].objectId, -1);
  EXPECT_EQ(t.bandRecords[1].pixelHeight, 16);
  EXPECT_EQ(t.bandRecords[2].bottom, 48 + 16 + 48 - 1);
  // Without a field, print-when-false is not kept.
  d.props.objectId = -1;
  ASSERT_TRUE(EditLinePropertiesCommand(t));
  EXPECT_EQ(t.bandRecords[0].flags & kLinePrintWhenFalse, 0);
}

}  // namespace

namespace {

struct LineMoves : ::testing::Test {
  LayoutTables t;
  TextItem onLine[5];
  void SetUp() override {
    for (int i = 0; i < 5; ++i) {
      t.bandRecords[i].kind = kBandRecord;
      t.bandRecords[i].objectId = 100 + i;  // tells the lines apart
      onLine[i].head.bandLine = static_cast<uint8_t>(i);
      onLine[i].nextText = t.textHead;
      t.textHead = &onLine[i];
    }
    t.Lines().lastUsed = 4;
  }
};

TEST_F(LineMoves, RemovedLinesTakeTheItemsBelowUpAndComeBackOnUndo) {
  t.bandRecords[1].flags |= kLineMarked;
  t.bandRecords[3].flags |= kLineMarked;
  std::vector<BandLineRec> saved = SaveMarkedLines(t, true);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].savedIndex, 1);
  EXPECT_EQ(saved[1].savedIndex, 3);
  EXPECT_EQ(t.Lines().lastUsed, 2);
  EXPECT_EQ(t.bandRecords[0].objectId, 100);
  EXPECT_EQ(t.bandRecords[1].objectId, 102);
  EXPECT_EQ(t.bandRecords[2].objectId, 104);
  EXPECT_EQ(t.bandRecords[3].kind, kBandFree);
  EXPECT_EQ(onLine[2].head.bandLine, 1);
  EXPECT_EQ(onLine[4].head.bandLine, 2);

  EXPECT_EQ(RestoreSavedLines(t, saved), 2);
  EXPECT_EQ(t.Lines().lastUsed, 4);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t.bandRecords[i].objectId, 100 + i) << i;
  EXPECT_EQ(onLine[2].head.bandLine, 2);
  EXPECT_EQ(onLine[4].head.bandLine, 4);
}

TEST_F(LineMoves, RemovingEveryLineLeavesAnEmptyTable) {
  for (int i = 0; i < 5; ++i) t.bandRecords[i].flags |= kLineMarked;
  EXPECT_EQ(SaveMarkedLines(t, true).size(), 5u);
  EXPECT_EQ(t.Lines().lastUsed, 0);
  EXPECT_EQ(t.bandRecords[0].kind, kBandFree);
  // Copy leaves the table as it was.
  LayoutTables u;
  u.bandRecords[0].kind = kBandTitle;
  u.bandRecords[0].flags = kLineMarked;
  EXPECT_EQ(SaveMarkedLines(u, false).size(), 1u);
  EXPECT_EQ(u.bandRecords[0].kind, kBandTitle);
}

TEST_F(LineMoves, PastedLinesTakeTheirBandAndPushTheRestDown) {
  t.bandRecords[4].flags |= kLineMarked;
  std::vector<BandLineRec> copied = SaveMarkedLines(t, false);
  copied.push_back(copied[0]);
  ASSERT_TRUE(PasteLinesAt(t, 1, copied, kBandSummary));
  EXPECT_EQ(t.Lines().lastUsed, 6);
  EXPECT_EQ(t.bandRecords[1].kind, kBandSummary);
  EXPECT_EQ(t.bandRecords[2].objectId, 104);
  EXPECT_EQ(t.bandRecords[3].objectId, 101);
  EXPECT_EQ(onLine[1].head.bandLine, 3);
  EXPECT_EQ(onLine[0].head.bandLine, 0);
  // Lines that do not fit are refused whole.
  std::vector<BandLineRec> many(250, copied[0]);
  EXPECT_FALSE(PasteLinesAt(t, 0, many, kBandRecord));
  EXPECT_FALSE(PasteLinesAt(t, 8, copied, kBandRecord));  // past the end
  EXPECT_EQ(t.Lines().lastUsed, 6);
}

}  // namespace
