// Editing the layout by mouse and keys on the surface offscreen: selection by
// clicks and bands, moves snapped to cells and lines and kept inside the
// layout, cancelled moves, handle resizing with its minimums and a picture's
// aspect, in-place text entry, and the cursors shown over objects.
#include "dialogs/edit_text.h"
#include "layout/item_tables.h"
#include "layout/picture_size.h"
#include "platform/win/cursor.h"
#include "tests/designer/surface/surface_fixture.h"

#include <cstring>

namespace {

class MouseEditingTest : public Surface {
 protected:
  // Title, page header (Order, Product), six record lines with "Inside" in a
  // box over lines 3 to 5, summary.
  void Build() {
    title = AddText(AddLine(kBandTitle), 0, "Orders by customer", 140);
    const int header = AddLine(kBandPageHeader);
    order = AddText(header, 4, "Order");
    product = AddText(header, 24, "Product");
    for (int i = 0; i < 6; ++i) AddLine(kBandRecord);
    inside = AddText(4, 36, "Inside");
    AddLine(kBandSummary);
    Finish();
    box = AddBox(3, 300, lines[3].bottom - lines[3].pixelHeight + 1, 499, lines[5].bottom);
    BuildLayoutItemOrder(layout);
    Open();
  }
  static LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }
  void Press(int x, int y, WPARAM keys = 0) { SendMessageA(View().m_hWnd, WM_LBUTTONDOWN, keys | 1, At(x, y)); }
  void MoveTo(int x, int y, WPARAM keys = 1) { SendMessageA(View().m_hWnd, WM_MOUSEMOVE, keys, At(x, y)); }
  void Release(int x, int y, WPARAM keys = 0) { SendMessageA(View().m_hWnd, WM_LBUTTONUP, keys, At(x, y)); }
  void Drag(POINT from, POINT to, WPARAM keys = 0) {
    Press(from.x, from.y, keys);
    MoveTo((from.x + to.x) / 2, (from.y + to.y) / 2, keys | 1);
    MoveTo(to.x, to.y, keys | 1);
    Release(to.x, to.y, keys);
  }
  POINT Centre(const ReportItemHead& h) {
    const RECT r = View().ViewRect(h);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  static bool Selected(const ReportItemHead& h) { return (h.flags & kItemSelected) != 0; }
  void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  }
  void Type(HWND w, const char* text) {
    for (const char* c = text; *c; ++c) SendMessageA(w, WM_CHAR, static_cast<unsigned char>(*c), 1);
  }
  void EditorKey(int vk) {
    ASSERT_NE(View().TextEditor(), nullptr);
    SendMessageA(View().TextEditor()->Window(), WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
    Pump();
  }
  TextItem* FindText(const char* s) {
    for (TextItem* x = layout.textHead; x; x = x->nextText)
      if (x->text && std::strcmp(x->text, s) == 0) return x;
    return nullptr;
  }

  TextItem* title = nullptr;
  TextItem* order = nullptr;
  TextItem* product = nullptr;
  TextItem* inside = nullptr;
  LineBoxItem* box = nullptr;
};

TEST_F(MouseEditingTest, ClicksAndBandsSelectAcrossBandLines) {
  Build();
  CKmView& v = View();
  const POINT o = Centre(order->head), p = Centre(product->head);
  Click(v.m_hWnd, o.x, o.y);
  EXPECT_TRUE(Selected(order->head));
  EXPECT_EQ(v.CountSelected(), 1);
  Click(v.m_hWnd, p.x, p.y, kMouseControl);
  EXPECT_EQ(v.CountSelected(), 2) << "Ctrl adds";
  Click(v.m_hWnd, p.x, p.y, kMouseShift);
  EXPECT_FALSE(Selected(product->head)) << "Shift inverts too";
  EXPECT_TRUE(Selected(order->head));
  // A click on empty layout clears the selection and puts the caret there.
  Click(v.m_hWnd, 620, lines[7].baseline - 2);
  EXPECT_EQ(v.CountSelected(), 0);
  EXPECT_EQ(v.CaretLine(), 7);
  // A band from the title's line to the header's touches all three: by intersection.
  Drag(POINT{260, (lines[0].bottom + lines[0].baseline) / 2}, POINT{35, lines[1].baseline - 3});
  EXPECT_TRUE(Selected(title->head) && Selected(order->head) && Selected(product->head));
  EXPECT_EQ(v.Mode(), 0);
  // Inside the box a band selects what lies inside, not the box.
  Drag(POINT{320, lines[4].bottom - lines[4].pixelHeight + 3}, POINT{480, lines[4].bottom - 2});
  EXPECT_TRUE(Selected(inside->head));
  EXPECT_FALSE(Selected(box->head));
  EXPECT_EQ(v.CountSelected(), 1);
  // The box's interior takes no click; its border does.
  Click(v.m_hWnd, 340, lines[4].bottom - 8);
  EXPECT_FALSE(Selected(box->head));
  Click(v.m_hWnd, 300, lines[4].bottom - 8);
  EXPECT_TRUE(Selected(box->head));
  EXPECT_EQ(v.CountSelected(), 1);
}

TEST_F(MouseEditingTest, MouseMovesSnapAndCancelledDragsLeaveTheLayout) {
  Build();
  CKmView& v = View();
  const RECT before = v.ViewRect(order->head);
  const int height = order->head.height;
  const POINT o = Centre(order->head);
  Drag(o, POINT{o.x + 23, o.y + 2});
  EXPECT_EQ(order->head.left, before.left + 20) << "to the nearest cell";
  EXPECT_EQ(order->head.bandLine, 1);
  EXPECT_EQ(v.MoveSnapshotCount(), 1);
  EXPECT_TRUE(v.m_bMoveUndo);
  EXPECT_TRUE(doc.IsModified());
  Command(30100);  // Edit > Undo
  EXPECT_EQ(order->head.left, before.left);
  EXPECT_EQ(order->head.height, height) << "an undone move leaves the height as it was";
  EXPECT_EQ(v.MoveSnapshotCount(), 0);
  // Esc in the middle of a drag puts the object back.
  Press(o.x, o.y);
  MoveTo(o.x + 60, o.y + 20);
  EXPECT_EQ(v.Mode(), kModeMoveSelection);
  Command(20045);
  EXPECT_EQ(v.Mode(), 0);
  EXPECT_EQ(order->head.left, before.left);
  EXPECT_EQ(order->head.bandLine, 1);
  Release(o.x + 60, o.y + 20);
  EXPECT_EQ(order->head.left, before.left);
  // A release outside the view leaves it too.
  Press(o.x, o.y);
  MoveTo(o.x + 40, o.y);
  Release(-30, o.y);
  EXPECT_EQ(order->head.left, before.left);
  EXPECT_EQ(v.MoveSnapshotCount(), 0);
  // A press and release without moving keeps no undo record.
  Click(v.m_hWnd, o.x, o.y);
  EXPECT_EQ(v.MoveSnapshotCount(), 0);
  // Two lines down: the text lands on the record line's baseline.
  Drag(o, POINT{o.x, o.y + lines[2].bottom - lines[0].bottom});
  EXPECT_EQ(order->head.bandLine, 3);
  EXPECT_EQ(order->head.bottom - order->head.descent, lines[3].baseline);
}

TEST_F(MouseEditingTest, MovesStayInsideTheLayoutAndGiveLinesBelowTheLast) {
  Build();
  CKmView& v = View();
  const POINT o = Centre(order->head);
  // Far left: stops at x 0.
  Drag(o, POINT{o.x - 55, o.y});
  EXPECT_EQ(order->head.left, 0);
  // Below the last used line: lines are given down to the text.
  const int lastBefore = layout.Lines().lastUsed;
  const POINT o2 = Centre(order->head);
  Drag(o2, POINT{o2.x, lines[lastBefore].bottom + 40});
  EXPECT_GT(order->head.bandLine, lastBefore);
  EXPECT_LT(order->head.bandLine, lastBefore + 4) << "the line under the pointer";
  EXPECT_GE(layout.Lines().lastUsed, order->head.bandLine);
  EXPECT_NE(lines[order->head.bandLine].kind, kBandFree);
  EXPECT_LE(order->head.bottom, lines[kBandLineTableRecords - 1].bottom);
  // A box moved far right by keys keeps inside the layout's width.
  Click(v.m_hWnd, 300 - layout.scrollX, lines[4].bottom - 8 - layout.scrollY);
  ASSERT_TRUE(Selected(box->head));
  Command(30150);
  for (int i = 0; i < 60; ++i) Key(VK_RIGHT, FCONTROL);
  Key(VK_RETURN);
  EXPECT_EQ(box->head.right, v.LayoutWidth() - 1);
  EXPECT_GT(layout.scrollX, 0) << "the view follows";
  EXPECT_GE(box->head.left, 0);
  EXPECT_EQ(box->head.right - box->head.left, 199) << "its size kept";
}

TEST_F(MouseEditingTest, KeyMovesStepByCellsAndLinesUntilEnterOrEsc) {
  Build();
  CKmView& v = View();
  const POINT p = Centre(product->head);
  Click(v.m_hWnd, p.x, p.y);
  const int left = product->head.left;
  Command(30150);  // Edit > Move Fields
  EXPECT_EQ(v.Mode(), kModeKeyMove);
  EXPECT_EQ(host.message, "MOVE: Position fields with cursor keys. Press Enter when done");
  Key(VK_RIGHT);
  Key(VK_RIGHT);
  EXPECT_EQ(product->head.left, left + 20);
  Key(VK_RIGHT, FCONTROL);
  EXPECT_EQ(product->head.left, left + 70);
  Key(VK_DOWN);
  Key(VK_DOWN);
  Key(VK_RETURN);
  EXPECT_EQ(v.Mode(), 0);
  EXPECT_EQ(product->head.bandLine, 3) << "whole band lines at a time";
  EXPECT_EQ(product->head.left, left + 70);
  EXPECT_EQ(product->head.bottom - product->head.descent, lines[3].baseline);
  // Up on line 0 does nothing; Esc also ends the move where it is.
  Click(v.m_hWnd, Centre(title->head).x, Centre(title->head).y);
  Command(30150);
  Key(VK_UP);
  Key(VK_HOME);
  Key(VK_ESCAPE);
  EXPECT_EQ(title->head.bandLine, 0);
  EXPECT_EQ(title->head.left, 0);
  // Move Fields with nothing selected does nothing.
  v.ClearSelection();
  Command(30150);
  EXPECT_EQ(v.Mode(), 0);
  // Undo takes the last move back.
  v.ClearSelection();
  v.SelectObject(product->head, true);
  Command(30150);
  Key(VK_LEFT);
  Key(VK_RETURN);
  EXPECT_EQ(product->head.left, left + 60);
  Command(30100);
  EXPECT_EQ(product->head.left, left + 70);
}

TEST_F(MouseEditingTest, HandlesResizeBoxesLinesAndPicturesByTheirRules) {
  Build();
  CKmView& v = View();
  layout.metrics.snapping = false;
  Click(v.m_hWnd, 300, lines[4].bottom - 8);
  ASSERT_TRUE(Selected(box->head));
  const int left = box->head.left, top = box->head.top;
  const int midY = (box->head.top + box->head.bottom) / 2;
  EXPECT_EQ(v.HitTestHandles(box->head.right + 2, midY, false), 2);
  // The right handle dragged to three pixels: ten pixels wide, the left side kept.
  Drag(POINT{box->head.right + 2, midY}, POINT{left + 3, midY});
  EXPECT_EQ(box->head.left, left);
  EXPECT_EQ(box->head.right, left + 9);
  EXPECT_EQ(v.Mode(), 0);
  // Shift on the bottom-right corner: 30 right and 10 down grows both ways by 10.
  const int right = box->head.right, bottom = box->head.bottom;
  Drag(POINT{right + 1, bottom + 1}, POINT{right + 31, bottom + 11}, kMouseShift);
  EXPECT_EQ(box->head.right, right + 10);
  EXPECT_EQ(box->head.bottom, bottom + 10);
  EXPECT_EQ(box->head.top, top);
  // With snapping the left side lands on a cell, the top on a line's top.
  layout.metrics.snapping = true;
  Drag(POINT{box->head.left - 1, box->head.top - 1}, POINT{263, lines[2].bottom - 5});
  EXPECT_EQ(box->head.left, 260);
  EXPECT_EQ(box->head.top, lines[2].bottom - lines[2].pixelHeight + 1);
  EXPECT_EQ(box->head.bandLine, 2);
  // A horizontal line has only its two ends; no handle makes it narrower than nine pixels.
  layout.metrics.snapping = false;
  LineBoxItem* rule = AddBox(6, 100, lines[6].bottom, 199, lines[6].bottom, true);
  BuildLayoutItemOrder(layout);
  v.ClearSelection();
  v.SelectObject(rule->head, true);
  EXPECT_EQ(v.HitTestHandles(150, lines[6].bottom, false), 0);
  Drag(POINT{200, lines[6].bottom}, POINT{103, lines[6].bottom + 30});
  EXPECT_EQ(rule->head.left, 100);
  EXPECT_EQ(rule->head.right, 109);
  EXPECT_EQ(rule->head.top, rule->head.bottom) << "still horizontal";
  // A picture keeps its aspect on paper (in inches: the layout's pixels are
  // fewer down an inch than across); it cannot be made smaller than ten pixels.
  PictureItem pic;
  pic.head.flags = kNewPictureFlags;
  pic.head.bandLine = 3;
  pic.head.left = 600;
  pic.head.top = lines[3].bottom - lines[3].pixelHeight + 1;
  pic.head.right = 659;
  pic.head.bottom = pic.head.top + 49;
  pic.head.height = 50;
  pic.source[2] = 60;
  pic.source[3] = 50;
  PictureItem* p = layout.pictures.Append(pic);
  ASSERT_NE(p, nullptr);
  BuildLayoutItemOrder(layout);
  v.ClearSelection();
  Click(v.m_hWnd, 630, p->head.top + 20);
  ASSERT_TRUE(Selected(p->head));
  EXPECT_EQ(v.HitTestHandles(660, p->head.top + 25, false), 0) << "no edge handles while zoomed";
  Press(660, p->head.bottom + 1);
  MoveTo(720, p->head.bottom + 21);
  Release(720, p->head.bottom + 21);
  const int w = p->head.right - p->head.left + 1, h = p->head.bottom - p->head.top + 1;
  EXPECT_EQ(p->head.left, 600);
  EXPECT_LE(std::abs(ToHundredthsX(layout.metrics, w) * 50 - ToHundredthsY(layout.metrics, h) * 60), 60)
      << w << " x " << h;
  EXPECT_EQ(h, 70);
  // Its size in hundredths gives the same rectangle back when it is read again.
  EXPECT_EQ(p->shownWidth, ToHundredthsX(layout.metrics, w));
  EXPECT_EQ(FromHundredthsX(layout.metrics, p->shownWidth), w);
  const int keepRight = p->head.right, keepBottom = p->head.bottom;
  Press(p->head.right + 1, p->head.bottom + 1);
  MoveTo(604, p->head.top + 4);
  Release(604, p->head.top + 4);
  EXPECT_EQ(p->head.right, keepRight);
  EXPECT_EQ(p->head.bottom, keepBottom);
}

TEST_F(MouseEditingTest, TextIsTypedInPlaceEditedAndCancelled) {
  Build();
  CKmView& v = View();
  Click(v.m_hWnd, 403, lines[7].baseline - 3);
  ASSERT_EQ(v.m_nCaretX, 400);
  const int texts = layout.textCount;
  SendMessageA(v.m_hWnd, WM_CHAR, 'N', 1);
  ASSERT_TRUE(v.EditorOpen());
  EXPECT_EQ(host.message, "Edit text field. Press Enter when done, Esc to cancel");
  Type(v.TextEditor()->Window(), "ew  one");
  EditorKey(VK_RETURN);
  EXPECT_FALSE(v.EditorOpen());
  TextItem* added = FindText("New  one");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(layout.textCount, texts + 1);
  EXPECT_EQ(added->head.left, 400);
  EXPECT_EQ(added->head.bandLine, 7);
  EXPECT_EQ(added->head.bottom - added->head.descent, lines[7].baseline);
  EXPECT_EQ(layout.currentItem, &added->head);
  // Editing it: Esc keeps the text as it was.
  Click(v.m_hWnd, Centre(added->head).x, Centre(added->head).y);
  Command(32771);
  ASSERT_TRUE(v.EditorOpen());
  EXPECT_EQ(v.TextEditor()->Text(), "New  one");
  Type(v.TextEditor()->Window(), "zzz");
  EditorKey(VK_ESCAPE);
  EXPECT_FALSE(v.EditorOpen());
  EXPECT_STREQ(added->text, "New  one");
  // A longer text is stored and sized to it.
  const int width = added->head.right - added->head.left;
  Command(32771);
  Type(v.TextEditor()->Window(), " more");
  EditorKey(VK_RETURN);
  EXPECT_STREQ(added->text, "New  one more");
  EXPECT_GT(added->head.right - added->head.left, width);
  // A press on the layout stores the open entry first.
  Command(32771);
  Type(v.TextEditor()->Window(), "!");
  Click(v.m_hWnd, 620, lines[2].baseline - 2);
  EXPECT_FALSE(v.EditorOpen());
  EXPECT_STREQ(added->text, "New  one more!");
  // Emptied and stored: the text goes.
  v.MakeObjectCurrent(&added->head);
  v.SelectObject(added->head, true);
  Command(32771);
  for (int i = 0; i < 20; ++i) SendMessageA(v.TextEditor()->Window(), WM_CHAR, VK_BACK, 1);
  EditorKey(VK_RETURN);
  EXPECT_EQ(FindText("New  one more!"), nullptr);
  EXPECT_EQ(layout.textCount, texts);
  EXPECT_EQ(layout.currentItem, nullptr);
  // Space where nothing is opens the editor with a blank; Down stores and goes a line down.
  Click(v.m_hWnd, 203, lines[6].baseline - 3);
  Command(20017);
  ASSERT_TRUE(v.EditorOpen());
  EXPECT_EQ(v.TextEditor()->Text(), " ");
  Type(v.TextEditor()->Window(), "x");
  EditorKey(VK_DOWN);
  EXPECT_FALSE(v.EditorOpen());
  ASSERT_NE(FindText(" x"), nullptr);
  EXPECT_EQ(v.CaretLine(), 7);
  // Near the layout's right edge the text is cut to what fits.
  v.m_nCaretX = v.LayoutWidth() - 30;
  SendMessageA(v.m_hWnd, WM_CHAR, 'W', 1);
  ASSERT_TRUE(v.EditorOpen());
  Type(v.TextEditor()->Window(), "WWWWWWWWWW");
  EditorKey(VK_RETURN);
  TextItem* cut = layout.currentItem ? reinterpret_cast<TextItem*>(layout.currentItem) : nullptr;
  ASSERT_NE(cut, nullptr);
  EXPECT_LT(std::strlen(cut->text), 11u);
  EXPECT_GE(std::strlen(cut->text), 1u);
  EXPECT_LE(cut->head.right, v.LayoutWidth());
}

TEST_F(MouseEditingTest, CursorsShowWhatAPressWouldDo) {
  Build();
  CKmView& v = View();
  const DesignerCursors& c = host.Cursors();
  MoveTo(Centre(order->head).x, Centre(order->head).y, 0);
  EXPECT_EQ(GetCursor(), c.Get(kCursorMove));
  MoveTo(640, lines[7].baseline - 2, 0);
  EXPECT_EQ(GetCursor(), c.Get(kCursorArrow));
  Click(v.m_hWnd, 300, lines[4].bottom - 8);
  MoveTo(box->head.right + 1, box->head.bottom + 1, 0);
  EXPECT_EQ(GetCursor(), c.Get(kCursorSizeNWSE));
  MoveTo(box->head.left, box->head.bottom + 1, 0);
  EXPECT_EQ(GetCursor(), c.Get(kCursorSizeNESW));
  MoveTo(box->head.left, (box->head.top + box->head.bottom) / 2, 0);
  EXPECT_EQ(GetCursor(), c.Get(kCursorSizeWE));
  // While resizing the sizing cursor stays, wherever the pointer goes.
  Press(box->head.left, box->head.top);
  MoveTo(10, 10);
  EXPECT_EQ(GetCursor(), c.Get(kCursorSizeNWSE));
  Release(10, 10);
  EXPECT_EQ(GetCursor(), c.Get(kCursorArrow));
  EXPECT_NE(c.Get(kCursorMove), c.Get(kCursorArrow));
}

TEST_F(MouseEditingTest, DraggingPastTheViewScrollsTheLayoutWithTheObject) {
  Build();
  CKmView& v = View();
  const POINT o = Centre(order->head);
  Press(o.x, o.y);
  MoveTo(o.x, v.ClientHeight() + 20);
  const int top = order->head.top;
  // Each idle step moves the selection two text lines further and the view follows.
  SendMessageA(v.m_hWnd, WM_TIMER, kAutoScrollTimer, 0);
  SendMessageA(v.m_hWnd, WM_TIMER, kAutoScrollTimer, 0);
  EXPECT_EQ(order->head.top, top + 4 * v.LinePitch());
  EXPECT_GT(layout.scrollY, 0);
  const int scrolled = layout.scrollY;
  // Back inside, released: the text stays on the line it reached.
  MoveTo(o.x, v.ClientHeight() - 20);
  Release(o.x, v.ClientHeight() - 20);
  EXPECT_EQ(v.Mode(), 0);
  EXPECT_GT(order->head.bandLine, 8);
  EXPECT_EQ(layout.scrollY, scrolled);
  EXPECT_EQ(order->head.bottom - order->head.descent, lines[order->head.bandLine].baseline);
  // A rubber band scrolls the layout too, its anchor staying on the layout.
  SendMessageA(v.m_hWnd, WM_VSCROLL, 6, 0);  // to the top
  ASSERT_EQ(layout.scrollY, 0);
  Press(640, 40);
  MoveTo(700, v.ClientHeight() + 30);
  SendMessageA(v.m_hWnd, WM_TIMER, kAutoScrollTimer, 0);
  EXPECT_GT(layout.scrollY, 0);
  ASSERT_NE(v.DraggedOutline(), nullptr);
  EXPECT_EQ(v.DraggedOutline()->top, 40 - layout.scrollY);
  Command(20045);
  EXPECT_EQ(v.DraggedOutline(), nullptr);
  Release(700, v.ClientHeight() + 30);
}

TEST_F(MouseEditingTest, LineAndBoxToolsDrawOnTheGrid) {
  Build();
  CKmView& v = View();
  const int count = layout.linesBoxes.Count();
  Command(30450);  // Insert > Box
  EXPECT_EQ(v.ToolMode(), 1u);
  EXPECT_EQ(host.message, "Draw box.  Release button when done.");
  MoveTo(650, 30, 0);
  EXPECT_EQ(GetCursor(), host.Cursors().Get(kCursorBoxTool));
  Drag(POINT{603, lines[6].bottom - 10}, POINT{707, lines[7].bottom - 4});
  ASSERT_EQ(layout.linesBoxes.Count(), count + 1);
  const ReportItemHead& drawn = layout.linesBoxes.At(count)->head;
  EXPECT_TRUE(drawn.flags & kItemKindBox);
  EXPECT_EQ(drawn.left, 600);
  EXPECT_EQ(drawn.right, 710);
  EXPECT_EQ(drawn.top, lines[6].bottom - lines[6].pixelHeight + 1);
  EXPECT_EQ(drawn.bottom, lines[7].bottom);
  EXPECT_EQ(drawn.bandLine, 6);
  EXPECT_EQ(v.ToolMode(), 0u) << "one box per arming";
  EXPECT_EQ(layout.currentItem, &drawn);
  // Without snapping a tiny drag still makes ten pixels, ending where the drag ended.
  layout.metrics.snapping = false;
  Command(30450);
  Drag(POINT{620, 300}, POINT{624, 304});
  ASSERT_EQ(layout.linesBoxes.Count(), count + 2);
  const ReportItemHead& tiny = layout.linesBoxes.At(count + 1)->head;
  EXPECT_EQ(tiny.right, 624);
  EXPECT_EQ(tiny.left, 615);
  EXPECT_EQ(tiny.bottom, 304);
  EXPECT_EQ(tiny.top, 295);
  EXPECT_NE(lines[tiny.bandLine].kind, kBandFree) << "lines given down to it";
  // The line tool: a click makes a horizontal line an inch long; a steep drag a vertical one.
  Command(30440);
  EXPECT_EQ(v.ToolMode(), 0x81u);
  Click(v.m_hWnd, 403, 120);
  ASSERT_EQ(layout.linesBoxes.Count(), count + 3);
  const LineBoxItem& flat = *layout.linesBoxes.At(count + 2);
  EXPECT_TRUE(flat.head.flags & kItemKindLine);
  EXPECT_EQ(flat.head.left, 403);
  EXPECT_EQ(flat.head.right, 498);
  EXPECT_EQ(flat.head.top, flat.head.bottom);
  EXPECT_FALSE(flat.borders & kBorderVertical);
  Command(30440);
  Drag(POINT{450, 200}, POINT{452, 260});
  ASSERT_EQ(layout.linesBoxes.Count(), count + 4);
  const LineBoxItem& steep = *layout.linesBoxes.At(count + 3);
  EXPECT_TRUE(steep.borders & kBorderVertical);
  EXPECT_EQ(steep.head.left, 450);
  EXPECT_EQ(steep.head.top, 200);
  EXPECT_EQ(steep.head.bottom, 260);
  // Esc puts an armed tool away.
  Command(30450);
  Command(20045);
  EXPECT_EQ(v.ToolMode(), 0u);
  EXPECT_EQ(layout.linesBoxes.Count(), count + 4);
}

}  // namespace
