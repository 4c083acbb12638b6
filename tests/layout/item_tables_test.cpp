#include "layout/item_tables.h"

#include "core/composite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Records what the view is asked for; the bitmap is the view's to build.
struct CountingHooks : LayoutHooks {
  int redraws = 0;
  bool bitmapBuilds = true;
  bool BuildPictureBitmap(PictureItem& p) override {
    if (!bitmapBuilds) return false;
    p.screenBitmap = nullptr;  // a bitmap nobody has to delete
    return true;
  }
  void RedrawAllPanes() override { ++redraws; }
};

// A picture with a real two-by-two image of the tables' image library.
PictureItem Picture(LayoutTables& t, int top) {
  PictureItem p;
  p.head.flags = kNewPictureFlags;
  p.head.top = top;
  p.head.bottom = top + 9;
  const uint8_t pixels[16] = {};
  p.image = t.images.ImgCreateHandle(2, 2, pixels, sizeof pixels);
  return p;
}

TEST(ItemTables, RecordsStayPutWhileTheTableChanges) {
  LayoutTables t;
  LineBoxItem* first = t.linesBoxes.Append(MakeNewBox());
  ASSERT_NE(first, nullptr);
  first->head.top = 5;
  t.currentItem = &first->head;
  for (int i = 0; i < 50; ++i) ASSERT_NE(t.linesBoxes.Append(MakeNewLine(0)), nullptr);
  LineBoxItem* third = t.linesBoxes.At(2);
  EXPECT_EQ(t.currentItem, &first->head);  // growth moved nothing
  EXPECT_EQ(first->head.top, 5);
  ASSERT_TRUE(DeleteLineOrBox(t, 1, false));
  EXPECT_EQ(t.linesBoxes.At(1), third);  // the tail moved down by index only
  EXPECT_EQ(LineBoxIndexOf(t, third), 1);
  EXPECT_EQ(t.currentItem, nullptr);     // removal leaves no current item
}

TEST(ItemTables, NewLinesAndBoxesTakeTheToolDefaults) {
  LineBoxItem l = MakeNewLine(kBorderVertical);
  EXPECT_EQ(l.borders, kBorderVertical | kBorderDrawnAsLine);
  EXPECT_EQ(l.head.flags, kItemKindLine | kItemFixedPosition);
  EXPECT_EQ(l.thickness, 1);
  EXPECT_EQ(l.pattern, kNoPattern);
  EXPECT_EQ(l.backColour, kNoColour);
  EXPECT_EQ(l.alignment, kAlignLeft);
  LineBoxItem b = MakeNewBox();
  EXPECT_EQ(b.borders, kNewBoxBorders);
  EXPECT_TRUE(IsLineOrBox(b.head));
  EXPECT_TRUE(IsGraphicItem(b.head));
  TextItem text;
  EXPECT_TRUE(IsTextLike(text.head));  // a text has no kind bit
  EXPECT_EQ(ColorTableValue(1), 0x000080u);
  EXPECT_EQ(ColorTableValue(12), 0xFF0000u);
  EXPECT_EQ(ColorTableValue(kNoColour), 0u);
}

TEST(ItemTables, DuplicateOnlyOfItsOwnKind) {
  LayoutTables t;
  LineBoxItem notALine;  // no line or box bit
  t.linesBoxes.Append(notALine);
  EXPECT_EQ(DuplicateLineOrBox(t, 0), nullptr);
  EXPECT_EQ(DuplicateLineOrBox(t, 9), nullptr);
  t.linesBoxes.At(0)->head.flags = kItemKindBox;
  t.linesBoxes.At(0)->thickness = 6;
  LineBoxItem* copy = DuplicateLineOrBox(t, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->thickness, 6);
  EXPECT_EQ(t.linesBoxes.Count(), 2);

  ChartTableEntry c;
  t.charts.Append(c);
  EXPECT_EQ(DuplicateChart(t, 0), nullptr);
  t.charts.At(0)->head.flags = kItemKindChart;
  ASSERT_NE(DuplicateChart(t, 0), nullptr);
  EXPECT_EQ(t.charts.Count(), 2);
}

TEST(ItemTables, PictureDuplicateGetsItsOwnImageOrNothing) {
  LayoutTables t;
  CountingHooks h;
  t.hooks = &h;
  // A pasted picture: the copy takes the pixels it holds.
  PictureItem pasted = Picture(t, 0);
  pasted.fromClipboard = 1;
  t.pictures.Append(pasted);
  PictureItem* copy = DuplicatePicture(t, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->image, t.pictures.At(0)->image);
  EXPECT_EQ(t.pictures.Count(), 2);
  EXPECT_EQ(t.images.Count(), 2);

  // A picture from a file: the copy reads the file again and is fitted at the
  // source's place; once the file has gone nothing is copied, though the
  // source still shows its image.
  const std::string file = testing::TempDir() + "item_tables_copy.png";
  PictureItem placed = Picture(t, 30);
  ASSERT_EQ(t.images.ImgSaveBitmap(placed.image, file.c_str()), 0);
  std::snprintf(placed.fileName, sizeof placed.fileName, "%s", file.c_str());
  placed.head.left = 4;
  placed.head.right = 13;
  placed.scaling = kScaleStretch;
  t.pictures.Append(placed);
  copy = DuplicatePicture(t, 2);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(t.images.Count(), 4);
  EXPECT_EQ(copy->head.left, 4);
  EXPECT_EQ(copy->head.top, 30);
  EXPECT_EQ(copy->head.right, 13);
  EXPECT_EQ(copy->head.bottom, 39);
  std::remove(file.c_str());
  EXPECT_EQ(DuplicatePicture(t, 2), nullptr);
  EXPECT_EQ(t.pictures.Count(), 4);
  EXPECT_EQ(t.images.Count(), 4);

  h.bitmapBuilds = false;  // no screen bitmap: the copy is taken out again, its image freed
  EXPECT_EQ(DuplicatePicture(t, 0), nullptr);
  EXPECT_EQ(t.pictures.Count(), 4);
  EXPECT_EQ(t.images.Count(), 4);
}

TEST(ItemTables, CropKeptInsideTheImageOnceItIsRead) {
  LayoutTables t;
  std::vector<uint8_t> px(40 * 30 * 4, 0xFF);
  PictureItem p;
  p.image = t.images.ImgCreateHandle(40, 30, px.data(), px.size());
  ASSERT_NE(p.image, nullptr);
  // A crop stored for a larger image (the file was replaced by a smaller one).
  const int32_t stored[4] = {10, 5, 120, 90};
  std::copy(stored, stored + 4, p.source);
  ClampPictureCrop(t, p);
  EXPECT_EQ(std::vector<int32_t>(p.source, p.source + 4), (std::vector<int32_t>{10, 5, 40, 30}));
  // Hostile values: negative or inverted edges end inside the image too.
  const int32_t bad[4] = {-7, 500, -3, -1};
  std::copy(bad, bad + 4, p.source);
  ClampPictureCrop(t, p);
  EXPECT_EQ(std::vector<int32_t>(p.source, p.source + 4), (std::vector<int32_t>{0, 30, 0, 30}));
  // A crop inside the image stays as it is; without an image nothing changes.
  const int32_t inside[4] = {1, 2, 20, 10};
  std::copy(inside, inside + 4, p.source);
  ClampPictureCrop(t, p);
  EXPECT_TRUE(std::equal(inside, inside + 4, p.source));
  t.images.ImgDeleteBitmap(p.image);
  p.image = nullptr;
  std::copy(stored, stored + 4, p.source);
  ClampPictureCrop(t, p);
  EXPECT_EQ(p.source[2], 120);
}

TEST(ItemTables, DeletingAPictureFreesWhatItOwns) {
  LayoutTables t;
  CountingHooks h;
  t.hooks = &h;
  t.pictures.Append(Picture(t, 0));      // no screen bitmap yet
  PictureItem* withBitmap = t.pictures.Append(Picture(t, 20));
  withBitmap->screenBitmap = CreateCompatibleBitmap(nullptr, 4, 4);
  t.currentPicture = 1;
  DeleteCurrentPicture(t, true);
  EXPECT_EQ(t.currentPicture, 0);
  EXPECT_EQ(t.images.Count(), 1);
  EXPECT_EQ(h.redraws, 1);
  ASSERT_TRUE(DeletePicture(t, 0, false));
  EXPECT_EQ(t.images.Count(), 0);
  EXPECT_EQ(t.pictures.Count(), 0);
  EXPECT_FALSE(DeletePicture(t, 0, false));
}

TEST(ItemTables, LookupOfAForeignRecordGivesZero) {
  LayoutTables t;
  t.linesBoxes.Append(MakeNewBox());
  LineBoxItem* second = t.linesBoxes.Append(MakeNewBox());
  LineBoxItem stranger;
  EXPECT_EQ(LineBoxIndexOf(t, second), 1);
  EXPECT_EQ(LineBoxIndexOf(t, &stranger), 0);
  EXPECT_EQ(PictureIndexOf(t, second), 0);
  EXPECT_EQ(ChartIndexOf(t, nullptr), 0);
}

TEST(ItemTables, LastLineRemovedThenTableUsableAgain) {
  LayoutTables t;
  t.linesBoxes.Append(MakeNewLine(0));
  BuildLayoutItemOrder(t);
  EXPECT_NE(t.orderHead, nullptr);
  ASSERT_TRUE(DeleteLineOrBox(t, 0, false));
  EXPECT_EQ(t.linesBoxes.Count(), 0);
  EXPECT_EQ(t.orderHead, nullptr);  // no link into the freed record
  ASSERT_NE(t.linesBoxes.Append(MakeNewBox()), nullptr);
  FreeLinesAndBoxes(t);
  EXPECT_EQ(t.linesBoxes.Count(), 0);
  EXPECT_EQ(t.currentLineBox, 0);
}

TEST(ItemTables, ViewRectsAndTracking) {
  LayoutTables t;
  t.scrollX = 10;
  t.scrollY = 100;
  RECT r;
  EXPECT_FALSE(GetPictureViewRect(t, -1, &r));
  LineBoxItem box = MakeNewBox();
  box.head.left = 30;
  box.head.top = 150;
  box.head.right = 60;
  box.head.bottom = 170;
  box.thickness = 4;
  t.linesBoxes.Append(box);
  LineBoxTracking tr;
  ASSERT_TRUE(LoadLineBoxTracking(t, -1, &tr));
  EXPECT_EQ(tr.rect.left, 20);
  EXPECT_EQ(tr.rect.top, 50);
  EXPECT_EQ(tr.rect.bottom, 70);
  EXPECT_EQ(tr.thickness, 4);
  EXPECT_EQ(tr.borders, kNewBoxBorders);
  EXPECT_EQ(tr.record, t.linesBoxes.At(0));

  struct Rects : LayoutHooks {
    std::vector<RECT> got;
    void InvalidateViewRect(const RECT& r) override { got.push_back(r); }
  } hooks;
  t.hooks = &hooks;
  t.pictures.Append(Picture(t, 120));
  t.pictures.Append(Picture(t, 300));
  InvalidateAllPictures(t);
  ASSERT_EQ(hooks.got.size(), 2u);
  EXPECT_EQ(hooks.got[1].top, 200);
  EXPECT_EQ(hooks.got[1].bottom, 209);
  ASSERT_TRUE(GetPictureViewRect(t, 1, &r));
  EXPECT_EQ(r.top, 200);
  ASSERT_TRUE(GetPictureViewRect(t, -1, &r));  // the current picture, 0
  EXPECT_EQ(r.top, 20);
}

TEST(ItemTables, VerticalOrderIsLineThenTopThenLeftThenKind) {
  LayoutTables t;
  auto add = [&](uint8_t line, int top, int left, uint32_t kind) {
    LineBoxItem l;
    l.head.flags = kind;
    l.head.bandLine = line;
    l.head.top = top;
    l.head.left = left;
    return &t.linesBoxes.Append(l)->head;
  };
  ReportItemHead* e = add(1, 0, 0, kItemKindLine);    // later line, even with a smaller top
  ReportItemHead* d = add(0, 40, 0, kItemKindLine);
  ReportItemHead* c = add(0, 10, 50, kItemKindBox);   // same line and top: by left
  ReportItemHead* b = add(0, 10, 20, kItemKindBox);   // same place: by kind
  ReportItemHead* a = add(0, 10, 20, kItemKindLine);
  ReportItemHead* held = add(0, 0, 0, kItemKindLine | kItemDeleted);
  BuildLayoutItemOrder(t);
  std::vector<ReportItemHead*> got;
  for (ReportItemHead* h = t.orderHead; h != nullptr; h = h->nextInOrder) got.push_back(h);
  EXPECT_EQ(got, (std::vector<ReportItemHead*>{a, b, c, d, e}));
  EXPECT_EQ(t.orderTail, e);
  EXPECT_EQ(e->prevInOrder, d);
  EXPECT_EQ(a->prevInOrder, nullptr);
  (void)held;
}

TEST(ItemTables, HiddenFieldsAreNotLayoutItems) {
  // A field item whose display flags hide it (a new report's fields, a cleared
  // one) keeps its kind and its place values but is not on the layout.
  CKmComposite m(nullptr);
  LayoutTables t;
  t.model = &m;
  FieldDef* shown = m.AddField(0);
  FieldDef* hidden = m.AddField(0);
  FieldDef* kindless = m.AddField(0);
  ASSERT_TRUE(shown && hidden && kindless);
  shown->head.bandLine = 3;
  hidden->head.flags = kItemKindField | kItemFixedPosition;
  hidden->totalFlags = kTotalHidden | kTotalIsTotal;
  kindless->head.flags = 0;
  EXPECT_TRUE(IsPlacedField(shown));
  EXPECT_FALSE(IsPlacedField(hidden));
  EXPECT_FALSE(IsPlacedField(kindless));
  BuildLayoutItemOrder(t);
  std::vector<ReportItemHead*> got;
  for (ReportItemHead* h = t.orderHead; h != nullptr; h = h->nextInOrder) got.push_back(h);
  EXPECT_EQ(got, (std::vector<ReportItemHead*>{&shown->head}));
  EXPECT_EQ(m.itemListHead, &shown->head);
  hidden->totalFlags = kTotalIsTotal;  // placed: only the display flag changed
  BuildLayoutItemOrder(t);
  EXPECT_EQ(t.orderHead, &hidden->head);
  while (m.fieldList != nullptr) m.DeleteField(m.fieldList, 2 | 4);
}

TEST(ItemTables, GraphicsGetBandLinesDownToTheirBottom) {
  LayoutTables t;
  // Laid-out empty table: every entry 16 pixels high.
  for (int i = 0; i < kBandLineTableRecords; ++i) {
    t.bandRecords[i].pixelHeight = 16;
    t.bandRecords[i].bottom = 16 * (i + 1) - 1;
  }
  LineBoxItem b = MakeNewBox();
  b.head.bottom = 40;  // inside entry 2
  t.linesBoxes.Append(b);
  EnsureLinesForGraphics(t);
  EXPECT_EQ(t.Lines().lastUsed, 2);
  for (int i = 0; i <= 2; ++i) EXPECT_EQ(t.bandRecords[i].kind, kBandRecord);
  EXPECT_EQ(t.bandRecords[3].kind, kBandFree);
  EXPECT_EQ(LineAtY(t, 40), 2);
}

}  // namespace

namespace {

TEST(ItemTables, WorksOnTheDocumentsBandLineTableOnceAttached) {
  LayoutTables t;
  BandLineTable empty;
  EXPECT_FALSE(t.AttachBandLineTable(&empty));  // no block: refused
  EXPECT_FALSE(t.AttachBandLineTable(nullptr));
  static BandLineRec block[kBandLineTableRecords];
  BandLineTable doc;
  doc.lines = block;
  ClearBandLineTable(doc);
  ASSERT_TRUE(t.AttachBandLineTable(&doc));
  InsertBandLines(t.Lines(), kBandSummary, 2);
  EXPECT_EQ(doc.lastUsed, 2);
  EXPECT_EQ(block[2].kind, kBandSummary);
  EXPECT_EQ(t.bandRecords, block);
}

}  // namespace
