// The designer's own editing driven through the view's commands: Clear and
// Undo of items and band lines, Cut, Copy and Paste through the designer's
// clipboard, the band-line commands through their dialogs, the menu texts
// that follow what is held, and pictures placed by their scaling mode.
#include "designer/layout_editing.h"
#include "designer/pictures.h"
#include "platform/win/unattended.h"
#include "tests/designer/surface/surface_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

enum : UINT { kUndo = 30100, kCut = 30110, kCopy = 30120, kPaste = 30130, kClear = 30140, kInsertLine = 30410,
              kCreateLines = 30420, kLineProperties = 30508 };

// The band-line dialogs answered by the test.
class ScriptedLineDialogs : public BandLineDialogs {
 public:
  bool RunCreateLines(const LayoutTables&, CreateLinesRequest* r) override {
    *r = create;
    return answer;
  }
  bool RunLineProperties(const LayoutTables&, LinePropertiesRequest* r) override {
    *r = properties;
    return answer;
  }
  bool RunPasteLines(const LayoutTables&, CreateLinesRequest* r) override {
    *r = paste;
    ++pastes;
    return answer;
  }
  bool answer = true;
  int pastes = 0;
  CreateLinesRequest create, paste;
  LinePropertiesRequest properties;
};

class EditingTest : public Surface {
 protected:
  void SetUp() override {
    Surface::SetUp();
    SetBandLineDialogs(&dialogs);
    // Messages go to standard error, where the test reads them.
    SetUnattendedRun(true);
  }
  void TearDown() override {
    SetUnattendedRun(false);
    SetBandLineDialogs(nullptr);
    Surface::TearDown();
  }
  // Title, page header, six record lines (a text on 2, 3 and 4, a box on 3), summary.
  void Build() {
    AddText(AddLine(kBandTitle), 0, "Orders");
    AddText(AddLine(kBandPageHeader), 4, "Order");
    for (int i = 0; i < 6; ++i) AddLine(kBandRecord);
    AddLine(kBandSummary);
    a = AddText(2, 10, "Alpha");
    b = AddText(3, 10, "Beta");
    c = AddText(4, 10, "Gamma");
    Finish();
    box = AddBox(3, 200, lines[3].bottom - 8, 260, lines[3].bottom);
    BuildLayoutItemOrder(layout);
    Open();
  }
  void Mark(int line) {
    Band().MarkLine(line, true);
    Band().SyncMarkedLines();
  }
  int Live() const {
    int n = 0;
    ForEachLayoutItem(const_cast<LayoutTables&>(layout), [&](ReportItemHead&) { ++n; });
    return n;
  }
  int Texts() const {
    int n = 0;
    for (TextItem* x = layout.textHead; x; x = x->nextText) ++n;
    return n;
  }
  std::string MenuText(UINT id) {
    CCmdUI ui(id);
    View().UpdateCommand(&ui);
    return ui.m_strText;
  }
  int TextsReading(const char* s) const {
    int n = 0;
    ForEachLayoutItem(const_cast<LayoutTables&>(layout), [&](ReportItemHead& h) {
      if (!(h.flags & kItemGraphicKinds) && std::strcmp(reinterpret_cast<TextItem&>(h).text, s) == 0) ++n;
    });
    return n;
  }

  ScriptedLineDialogs dialogs;
  TextItem *a = nullptr, *b = nullptr, *c = nullptr;
  LineBoxItem* box = nullptr;
};

TEST_F(EditingTest, ClearThenUndoBringsItemsAndLinesBackOnce) {
  Build();
  const int before = Live(), last = doc.m_bandLines.lastUsed;
  // A marked line takes its items with it; a selected text on another line goes too.
  Mark(3);
  View().SelectObject(a->head, true);
  EXPECT_EQ(MenuText(kUndo), "&Undo\bCtrl+Z");
  Command(kClear);
  EXPECT_EQ(Live(), before - 3);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last - 1);
  EXPECT_EQ(c->head.bandLine, 3) << "the lines below moved up";
  EXPECT_TRUE(b->head.flags & kItemDeleted);
  EXPECT_TRUE(doc.m_bModified);
  EXPECT_EQ(MenuText(kUndo), "&Undo Last Clear\bCtrl+Z");
  Command(kUndo);
  EXPECT_EQ(Live(), before);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last);
  EXPECT_EQ(c->head.bandLine, 4);
  EXPECT_EQ(b->head.bandLine, 3);
  EXPECT_EQ(View().MarkedLineCount(), 1) << "the restored line stays marked";
  EXPECT_EQ(View().CountSelected(), 3);
  EXPECT_FALSE(View().IsCommandEnabled(kUndo)) << "one level only";

  // Two Clears in a row: Undo brings back only the second; the first is freed.
  View().ClearSelection();
  View().UnmarkAllLines();
  View().SelectObject(a->head, true);
  Command(kClear);
  View().SelectObject(c->head, true);
  Command(kClear);
  EXPECT_EQ(Texts(), 4) << "Alpha is gone for good";
  Command(kUndo);
  EXPECT_EQ(TextsReading("Gamma"), 1);
  EXPECT_EQ(TextsReading("Alpha"), 0);
  // Nothing selected: Clear only beeps and changes nothing.
  View().ClearSelection();
  const int n = Live();
  Command(kClear);
  EXPECT_EQ(Live(), n);
}

TEST_F(EditingTest, CopyPastesAtTheCaretAgainAndAgainInsideTheLayout) {
  Build();
  EXPECT_FALSE(View().IsCommandEnabled(kPaste));
  View().SelectObject(a->head, true);
  Command(kCopy);
  EXPECT_EQ(MenuText(kPaste), "&Paste Objects\bCtrl+V");
  EXPECT_TRUE(a->head.flags & kItemSelected) << "a copy leaves the source selected";
  // To line 6 at column 30.
  View().CaretToLine(6);
  View().m_nCaretX = 300;
  Command(kPaste);
  EXPECT_EQ(TextsReading("Alpha"), 2);
  const ReportItemHead* pasted = View().FirstSelected();
  ASSERT_NE(pasted, nullptr);
  EXPECT_NE(pasted, &a->head);
  EXPECT_EQ(pasted->bandLine, 6);
  EXPECT_EQ(pasted->left, 300);
  EXPECT_EQ(pasted->bottom - pasted->descent, lines[6].baseline) << "on the line's baseline";
  EXPECT_EQ(a->head.bandLine, 2);
  // The clipboard is filled again after each Paste.
  Command(kPaste);
  EXPECT_EQ(TextsReading("Alpha"), 3);
  // Near the right edge the items move left so none passes the layout's width.
  View().m_nCaretX = LayoutWidthPixels(layout) - 5;
  Command(kPaste);
  const ReportItemHead* edge = View().FirstSelected();
  ASSERT_NE(edge, nullptr);
  EXPECT_LT(edge->right, LayoutWidthPixels(layout));
  EXPECT_EQ(edge->right - edge->left, a->head.right - a->head.left);
}

TEST_F(EditingTest, CutLinesPasteWhereTheDialogSaysWithTheirItems) {
  Build();
  const int last = doc.m_bandLines.lastUsed;
  Mark(2);
  Mark(3);
  Mark(4);
  Command(kCut);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last - 3);
  EXPECT_EQ(TextsReading("Beta"), 0);
  EXPECT_EQ(MenuText(kPaste), "&Paste Lines\bCtrl+V");
  // Paste at the end of the Summary band.
  dialogs.paste.placement = LinePlacement::Band;
  dialogs.paste.band = kBandSummary;
  Command(kPaste);
  EXPECT_EQ(dialogs.pastes, 1);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last);
  const int first = doc.m_bandLines.lastUsed - 2;
  for (int i = first; i <= last; ++i) EXPECT_EQ(lines[i].kind, kBandSummary) << i;
  EXPECT_EQ(a->head.bandLine, first);
  EXPECT_EQ(b->head.bandLine, first + 1);
  EXPECT_EQ(box->head.bandLine, first + 1) << "the box follows its line";
  EXPECT_EQ(c->head.bandLine, first + 2);
  EXPECT_EQ(View().MarkedLineCount(), 3);
  // A cancelled dialog pastes nothing; the clipboard stays for the next try.
  dialogs.answer = false;
  Command(kPaste);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last);
  EXPECT_TRUE(View().IsCommandEnabled(kPaste));
  // More lines than the table has room for are refused with the message.
  dialogs.answer = true;
  doc.m_bandLines.lastUsed = 254;
  for (int i = last + 1; i <= 254; ++i) lines[i].kind = kBandSummary;
  testing::internal::CaptureStderr();
  Command(kPaste);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Too many lines. Maximum is 256"), std::string::npos);
  EXPECT_EQ(doc.m_bandLines.lastUsed, 254);
}

TEST_F(EditingTest, LineCommandsGoThroughTheirDialogsAndEndTheUndo) {
  Build();
  const int last = doc.m_bandLines.lastUsed;
  View().SelectObject(a->head, true);
  Command(kClear);
  ASSERT_TRUE(View().IsCommandEnabled(kUndo));
  // Insert > Band Line: one line at the caret; the table changed shape, so no Undo.
  View().CaretToLine(2);
  Command(kInsertLine);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last + 1);
  EXPECT_EQ(lines[2].kind, kBandRecord);
  EXPECT_EQ(b->head.bandLine, 4);
  EXPECT_FALSE(View().IsCommandEnabled(kUndo));
  // Create Band Lines: two new-page lines below the current line.
  dialogs.create.count = 2;
  dialogs.create.placement = LinePlacement::Below;
  dialogs.create.newPage = true;
  Command(kCreateLines);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last + 3);
  EXPECT_TRUE(lines[3].flags & kLineNewPage);
  EXPECT_TRUE(lines[4].flags & kLineNewPage);
  EXPECT_EQ(b->head.bandLine, 6);
  // Properties of the marked line: freeform, 0.50 inch.
  Mark(6);
  dialogs.properties.heightMode = kHeightMeasure;
  dialogs.properties.height = 50;
  Command(kLineProperties);
  EXPECT_EQ(lines[6].heightMode, kHeightMeasure);
  EXPECT_EQ(lines[6].pixelHeight, 48);
  // A cancelled Create changes nothing.
  dialogs.answer = false;
  Command(kCreateLines);
  EXPECT_EQ(doc.m_bandLines.lastUsed, last + 3);
}

TEST_F(EditingTest, UndoTakesTheLastMoveFirst) {
  Build();
  const RECT was{b->head.left, b->head.top, b->head.right, b->head.bottom};
  // A key move of the selected item: Edit > Move Fields, two cells right, Enter.
  auto moveRight = [&] {
    View().ClearSelection();
    b->head.flags |= kItemSelected;
    Command(30150);
    Key(VK_RIGHT);
    Key(VK_RIGHT);
    Key(VK_RETURN);
  };
  moveRight();
  ASSERT_NE(b->head.left, was.left);
  EXPECT_EQ(MenuText(kUndo), "&Undo Last Move\bCtrl+Z");
  Command(kUndo);
  EXPECT_EQ(b->head.left, was.left);
  EXPECT_EQ(b->head.right, was.right);
  EXPECT_TRUE(b->head.flags & kItemSelected);
  EXPECT_FALSE(View().m_bMoveUndo);
  // A Cut drops the snapshot so Undo never writes into an item that left.
  moveRight();
  ASSERT_TRUE(View().m_bMoveUndo);
  Command(kCut);
  EXPECT_EQ(View().MoveSnapshotCount(), 0);
  EXPECT_FALSE(View().m_bMoveUndo);
}

TEST_F(EditingTest, PicturesFitTheirBoxByScalingModeAndRefuseDamagedFiles) {
  Build();
  const std::string dir = testing::TempDir();
  // A 100 x 50 picture written by the image library itself.
  std::vector<uint8_t> pixels(100 * 50 * 4, 0x80);
  void* made = layout.images.ImgCreateHandle(100, 50, pixels.data(), pixels.size());
  ASSERT_NE(made, nullptr);
  const std::string png = dir + "/fit.png";
  ASSERT_EQ(layout.images.ImgSaveBitmap(made, png.c_str()), 0);
  layout.images.ImgDeleteBitmap(made);
  View().CaretToLine(4);
  View().m_nCaretX = 100;
  PictureItem* p = AddPictureFromFile(View(), png.c_str(), nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->head.right - p->head.left + 1, 100);
  EXPECT_EQ(p->head.bottom - p->head.top + 1, 50);
  EXPECT_EQ(p->head.left, 100);
  EXPECT_EQ(p->shownWidth, 100) << "hundredths of an inch";
  EXPECT_NE(p->screenBitmap, NoScreenBitmap());
  EXPECT_EQ(layout.currentItem, &p->head);
  FitPictureAspect(layout, *p, 0, 0, 60, 60);
  EXPECT_EQ(p->head.right + 1, 60);
  EXPECT_EQ(p->head.bottom + 1, 30);
  p->scaling = kScaleCrop;
  FitPictureAspect(layout, *p, 0, 0, 60, 60);
  EXPECT_EQ(p->head.bottom + 1, 50);
  EXPECT_EQ(p->source[2], 60);
  EXPECT_EQ(p->source[3], 50);
  p->scaling = kScaleStretch;
  FitPictureAspect(layout, *p, 0, 0, 60, 60);
  EXPECT_EQ(p->head.bottom + 1, 60);
  EXPECT_EQ(p->source[2], 100);
  // Copy and paste of a picture gives it its own image.
  View().ClearSelection();
  View().SelectObject(p->head, true);
  Command(kCopy);
  Command(kPaste);
  // The pasted copy, and the clipboard's next copy.
  ASSERT_EQ(layout.pictures.Count(), 3);
  EXPECT_EQ(View().FirstSelected(), &layout.pictures.At(1)->head);
  EXPECT_NE(layout.pictures.At(1)->image, p->image);
  EXPECT_NE(layout.pictures.At(1)->image, nullptr);
  // A damaged file adds nothing.
  const std::string bad = dir + "/bad.png";
  std::ofstream(bad) << "\x89PNG\r\n\x1a\nnot really";
  EXPECT_EQ(AddPictureFromFile(View(), bad.c_str(), nullptr), nullptr);
  EXPECT_EQ(layout.pictures.Count(), 3);
  std::filesystem::remove(png);
  std::filesystem::remove(bad);
}

}  // namespace
