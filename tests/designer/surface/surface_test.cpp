// The design surface driven offscreen: what it paints where, scrolling by the
// bars, the keys and the wheel, the caret by keys and clicks, marking lines in
// the band pane, the rulers' marks, the popups per state, and layouts that are
// damaged or odd.
#include "designer/layout_drawing.h"
#include "platform/win/caret.h"
#include "platform/win/dialog.h"
#include "platform/win/menu.h"
#include "tests/designer/surface/surface_fixture.h"

#include <functional>

namespace {

// The layout drawn into a bitmap of the view's size, as a paint would.
struct Picture {
  Picture(CKmView& view, int w, int h) : width(w), height(h) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateCompatibleBitmap(nullptr, w, h);
    SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    DrawLayoutView(view, dc, all);
  }
  ~Picture() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
  // Pixels in the rectangle (inclusive) that are not the window colour.
  int Inked(int l, int t, int r, int b) const {
    int n = 0;
    for (int y = std::max(0, t); y <= std::min(b, height - 1); ++y)
      for (int x = std::max(0, l); x <= std::min(r, width - 1); ++x)
        if (At(x, y) != GetSysColor(COLOR_WINDOW)) ++n;
    return n;
  }
  HDC dc;
  HBITMAP bitmap;
  int width, height;
};

class SurfaceTest : public Surface {
 protected:
  // Title (one line), page header, six record lines, summary.
  void Sample() {
    const int title = AddLine(kBandTitle);
    AddText(title, 0, "Orders by customer", 140);
    const int header = AddLine(kBandPageHeader);
    AddText(header, 4, "Order");
    AddText(header, 24, "Product");
    for (int i = 0; i < 6; ++i) AddLine(kBandRecord);
    AddLine(kBandSummary);
    Finish();
  }
};

TEST_F(SurfaceTest, TextsAndBoxesArePaintedInsideTheirRectanglesOnly) {
  Sample();
  const BandLineRec& rec = lines[3];
  LineBoxItem* box = AddBox(3, 100, rec.bottom - rec.pixelHeight + 1, 199, rec.bottom);
  box->borders = kBorderLeft | kBorderBottom;
  box->borderColour = 9;  // red
  LineBoxItem* rule = AddBox(4, 300, lines[4].baseline, 399, lines[4].baseline, true);
  rule->thickness = 5;
  BuildLayoutItemOrder(layout);
  Open();
  Picture p(View(), View().ClientWidth(), View().ClientHeight());
  // Every text has ink inside its rectangle.
  for (TextItem* x = layout.textHead; x; x = x->nextText) {
    const RECT r = View().ViewRect(x->head);
    EXPECT_GT(p.Inked(r.left, r.top, r.right, r.bottom), 10) << x->text;
  }
  // Nothing is drawn between the page header's texts, nor right of the title.
  const RECT order = View().ViewRect(layout.textHead->nextText->head);
  EXPECT_EQ(p.Inked(order.right + 3, order.top, 24 * 10 - 3, order.bottom), 0);
  // The box shows its left and bottom borders only, in red.
  const RECT b = View().ViewRect(box->head);
  EXPECT_EQ(p.At(b.left, b.top + 2), RGB(255, 0, 0));
  EXPECT_EQ(p.At(b.left + 5, b.bottom), RGB(255, 0, 0));
  EXPECT_EQ(p.Inked(b.left + 1, b.top, b.right, b.bottom - 1), 0) << "no top or right border, no fill";
  // A 5-pixel horizontal line drawn at y occupies y - 4 to y.
  const RECT l = View().ViewRect(rule->head);
  EXPECT_EQ(p.At(l.left + 10, l.top), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(p.At(l.left + 10, l.top - 4), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(p.At(l.left + 10, l.top - 5), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(p.At(l.left + 10, l.top + 1), GetSysColor(COLOR_WINDOW));
}

TEST_F(SurfaceTest, HeldObjectsAndColourFifteenFollowTheirRules) {
  Sample();
  LineBoxItem* box = AddBox(3, 100, lines[3].bottom - 10, 160, lines[3].bottom);
  box->backColour = 15;  // the window colour, not the table's white
  box->borderColour = 0;
  TextItem* held = AddText(5, 30, "Gone");
  held->head.flags |= kItemDeleted;
  RecalcObjectExtents(layout, fonts, false, false, true);
  BuildLayoutItemOrder(layout);
  Open();
  EXPECT_EQ(ColorFromCode(15), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(ColorFromCode(0), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(ColorFromCode(12), RGB(0, 0, 255));
  Picture p(View(), View().ClientWidth(), View().ClientHeight());
  const RECT h = View().ViewRect(held->head);
  EXPECT_EQ(p.Inked(h.left, h.top, h.right, h.bottom), 0) << "an item held for undo is not drawn";
}

TEST_F(SurfaceTest, ScrollsByBarKeysAndWheel) {
  for (int i = 0; i < 80; ++i) AddLine(kBandRecord);
  Finish();
  Open(700, 400);
  CKmView& v = View();
  const int pitch = v.LinePitch();
  // The bar: a line down, then a thumb position (tens of pixels).
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(layout.scrollY, pitch);
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 7), 0);
  EXPECT_EQ(layout.scrollY, 70);
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 30), 0);
  EXPECT_EQ(layout.scrollY, 70) << "tracking the thumb moves nothing";
  EXPECT_EQ(GetScrollPos(v.VScrollBar(), SB_CTL), 7);
  // Keys: Shift+PgDn a page of ten pitches; Page Up from five pitches goes to the top.
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  Key(VK_NEXT, FSHIFT);
  EXPECT_EQ(layout.scrollY, 10 * pitch);
  layout.scrollY = 5 * pitch;
  Key(VK_PRIOR, FSHIFT);
  EXPECT_EQ(layout.scrollY, 0);
  Key(VK_DOWN, FSHIFT);
  EXPECT_EQ(layout.scrollY, pitch);
  // The wheel: three pitches a notch.
  SendMessageA(v.m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
  EXPECT_EQ(layout.scrollY, 4 * pitch);
  SendMessageA(v.m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(240)), 0);
  EXPECT_EQ(layout.scrollY, 0);
  // Across: a cell, a page of 20 cells, the far right and no further.
  const int cell = v.CellWidth();
  Key(VK_RIGHT, FSHIFT);
  EXPECT_EQ(layout.scrollX, cell);
  Key(VK_RIGHT, FCONTROL | FSHIFT);
  EXPECT_EQ(layout.scrollX, 21 * cell);
  SendMessageA(Rulers().m_hWnd, WM_HSCROLL, MAKEWPARAM(SB_RIGHT, 0), 0);
  const int largest = layout.scrollX;
  EXPECT_EQ(largest, SnapToCharCell(layout.metrics, v.LayoutWidth() - v.ClientWidth()));
  Key(VK_RIGHT, FSHIFT);
  EXPECT_EQ(layout.scrollX, largest) << "Shift+Right at the largest offset does nothing";
  // A layout ten cells wider than the view: a page right goes ten cells, not twenty.
  layout.scrollX = largest - 10 * cell;
  Key(VK_RIGHT, FCONTROL | FSHIFT);
  EXPECT_EQ(layout.scrollX, largest);
  Key(VK_HOME);  // Home is the caret's key, never the far-left scroll
  EXPECT_EQ(v.m_nCaretX, 0);
}

TEST_F(SurfaceTest, ANarrowLayoutInAWideViewNeverScrollsNegative) {
  Sample();
  Open(3200, 3000);
  CKmView& v = View();
  SendMessageA(Rulers().m_hWnd, WM_HSCROLL, MAKEWPARAM(SB_RIGHT, 0), 0);
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 500), 0);
  EXPECT_GE(layout.scrollX, 0);
  EXPECT_GE(layout.scrollY, 0);
  EXPECT_EQ(v.ScrollX(), 0);
}

TEST_F(SurfaceTest, CaretFollowsArrowKeysAndClicks) {
  Sample();
  Open();
  CKmView& v = View();
  const int cell = v.CellWidth();
  Key(VK_RIGHT);
  EXPECT_EQ(v.m_nCaretX, cell);
  v.m_nCaretX = 25;  // off the grid: Left goes to the cell boundary, then by cells
  Key(VK_LEFT);
  EXPECT_EQ(v.m_nCaretX, 20);
  Key(VK_LEFT);
  EXPECT_EQ(v.m_nCaretX, 10);
  Key(VK_LEFT, FALT);
  EXPECT_EQ(v.m_nCaretX, 9) << "Alt inverts snapping: one pixel";
  Key(VK_RIGHT, FCONTROL);
  EXPECT_EQ(v.m_nCaretX, 10) << "off the grid even Ctrl+Right first goes to the boundary";
  Key(VK_RIGHT, FCONTROL);
  EXPECT_EQ(v.m_nCaretX, 60) << "then five cells";
  const long beeps = BeepCount();
  Key(VK_HOME);
  Key(VK_LEFT);
  EXPECT_EQ(BeepCount(), beeps + 1) << "the left edge beeps";
  // Down goes line by line onto each automatic line's baseline; Up at line 0 beeps.
  Key(VK_DOWN);
  EXPECT_EQ(v.CaretLine(), 1);
  EXPECT_EQ(v.CaretY(), lines[1].baseline);
  Key(VK_UP);
  Key(VK_UP);
  EXPECT_EQ(v.CaretLine(), 0);
  EXPECT_EQ(BeepCount(), beeps + 2);
  // Ctrl+End: below the last used line.
  Key(VK_END, FCONTROL);
  EXPECT_EQ(v.CaretLine(), layout.Lines().lastUsed + 1);
  Key(VK_HOME, FCONTROL);
  EXPECT_EQ(v.CaretLine(), 0);
  // The caret is drawn on the view, never taller than 32 pixels.
  HWND owner = nullptr;
  RECT caret{};
  ASSERT_TRUE(GetShownCaret(&owner, &caret));
  EXPECT_EQ(owner, v.m_hWnd);
  EXPECT_LE(caret.bottom - caret.top, 32);
  // A click puts the caret on the nearest cell of the line under it.
  const int y = lines[4].baseline - 2 - layout.scrollY;
  Click(v.m_hWnd, 57, y);
  EXPECT_EQ(v.m_nCaretX, 60);
  EXPECT_EQ(v.CaretLine(), 4);
  const int before = host.positions;
  Click(v.m_hWnd, 31, lines[2].baseline - layout.scrollY);
  EXPECT_EQ(v.m_nCaretX, 30);
  EXPECT_EQ(v.CaretLine(), 2);
  EXPECT_GT(host.positions, before) << "the status line's position follows";
  // Tab steps the current object through the item order and wraps.
  Key(VK_HOME, FCONTROL);
  Key(VK_TAB);
  ASSERT_NE(layout.currentItem, nullptr);
  const ReportItemHead* first = layout.currentItem;
  EXPECT_EQ(first, layout.orderHead->nextInOrder) << "the first object right of the caret";
  EXPECT_EQ(host.prompted, first) << "the status line prompts for the current object";
  Key(VK_TAB);
  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(layout.currentItem, first) << "after the last comes the first";
  Key(VK_TAB, FSHIFT);
  EXPECT_EQ(layout.currentItem, layout.orderHead);
  Key(VK_TAB, FSHIFT);
  const ReportItemHead* last = layout.orderHead;
  while (last->nextInOrder) last = last->nextInOrder;
  EXPECT_EQ(layout.currentItem, last) << "before the first comes the last";
}

TEST_F(SurfaceTest, BandPaneMarksLinesByClickShiftClickAndDrag) {
  Sample();
  AddText(4, 10, "On line four");
  RecalcObjectExtents(layout, fonts, false, false, true);
  BuildLayoutItemOrder(layout);
  Open();
  HWND pane = Band().m_hWnd;
  const int offset = Band().GetRulerOffset();
  auto yOf = [&](int line) { return lines[line].bottom - 2 - layout.scrollY + offset; };
  auto marked = [&]() {
    std::vector<int> out;
    for (int i = 0; i <= layout.Lines().lastUsed; ++i)
      if (lines[i].flags & kLineMarked) out.push_back(i);
    return out;
  };
  Click(pane, 10, yOf(4));
  EXPECT_EQ(marked(), (std::vector<int>{4}));
  EXPECT_EQ(View().CountSelected(), 1) << "marking a line selects its items";
  Click(pane, 10, yOf(6), 4);  // Shift: from the anchor to here
  EXPECT_EQ(marked(), (std::vector<int>{4, 5, 6}));
  Click(pane, 10, yOf(1), 8);  // Ctrl: added, the rest kept
  EXPECT_EQ(marked(), (std::vector<int>{1, 4, 5, 6}));
  Click(pane, 10, yOf(2));  // plain: the others go
  EXPECT_EQ(marked(), (std::vector<int>{2}));
  EXPECT_EQ(View().CountSelected(), 0);
  // A drag marks the lines passed over; dragging back unmarks them.
  SendMessageA(pane, WM_LBUTTONDOWN, 1, MAKELPARAM(10, static_cast<WORD>(yOf(3))));
  SendMessageA(pane, WM_MOUSEMOVE, 1, MAKELPARAM(10, static_cast<WORD>(yOf(5))));
  SendMessageA(pane, WM_MOUSEMOVE, 1, MAKELPARAM(10, static_cast<WORD>(yOf(7))));
  EXPECT_EQ(marked(), (std::vector<int>{3, 4, 5, 6, 7}));
  SendMessageA(pane, WM_MOUSEMOVE, 1, MAKELPARAM(10, static_cast<WORD>(yOf(4))));
  SendMessageA(pane, WM_LBUTTONUP, 0, MAKELPARAM(10, static_cast<WORD>(yOf(4))));
  EXPECT_EQ(marked(), (std::vector<int>{3, 4}));
  EXPECT_EQ(layout.modeWord, 0);
  EXPECT_EQ(View().CaretLine(), 3) << "the current line is where the marking began";
  // A press below the last used line marks the last used line.
  Click(pane, 10, 490);
  EXPECT_EQ(marked(), (std::vector<int>{layout.Lines().lastUsed}));
  // Shift+Space marks with the keys; Down extends; Enter ends it.
  Key(VK_HOME, FCONTROL);
  Key(VK_SPACE, FSHIFT);
  EXPECT_EQ(layout.modeWord, kModeMarkByKeys);
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(marked(), (std::vector<int>{0, 1, 2}));
  Key(VK_RETURN);
  EXPECT_EQ(layout.modeWord, 0);
  EXPECT_EQ(marked(), (std::vector<int>{0, 1, 2}));
}

TEST_F(SurfaceTest, RulerTicksStandAtTheUnitsSpacing) {
  Sample();
  doc.m_settings.shVtRul = 0;
  Open();
  CRulerBar& bar = Rulers().HorizontalBar();
  ASSERT_TRUE(bar.Shown());
  const int cell = View().CellWidth();
  EXPECT_EQ(bar.TickX(0), 0) << "with the vertical ruler hidden the ticks start at the bar's edge";
  EXPECT_EQ(bar.TickX(7), 7 * cell);
  auto paint = [&](int width) {
    const int cell = View().CellWidth();
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(nullptr, width, kRulerThickness);
    SelectObject(dc, bmp);
    RECT r{0, 0, width, kRulerThickness};
    bar.OnPaint(dc, r);
    std::vector<bool> full, half, shortTick;
    const int bottom = kRulerThickness - 2;
    for (int k = 0; k * cell < width; ++k) {
      full.push_back(GetPixel(dc, k * cell, bottom - 10) == RGB(0, 0, 0));
      half.push_back(GetPixel(dc, k * cell, bottom - 5) == RGB(0, 0, 0));
      shortTick.push_back(GetPixel(dc, k * cell, bottom - 2) == RGB(0, 0, 0));
    }
    DeleteDC(dc);
    DeleteObject(bmp);
    return std::vector<std::vector<bool>>{full, half, shortTick};
  };
  // Ten to the inch: a full tick every ten cells, a half-inch tick at five, short ticks between.
  auto ticks = paint(400);
  for (int k = 1; k < 40; ++k) {
    EXPECT_EQ(ticks[0][k], k % 10 == 0) << k;
    EXPECT_EQ(ticks[1][k], k % 5 == 0) << k;
    EXPECT_TRUE(ticks[2][k]) << k;
  }
  // Twelve to the inch (another pitch, and the cell narrows with it).
  layout.metrics.pitch = 12;
  const int cell12 = View().CellWidth();
  ASSERT_EQ(cell12, 8);
  ticks = paint(400);
  for (int k = 1; k * cell12 < 400; ++k) {
    EXPECT_EQ(ticks[0][k], k % 12 == 0) << k;
    EXPECT_EQ(ticks[1][k], k % 6 == 0) << k;
  }
  layout.metrics.pitch = 10;
  // The marker follows the caret.
  Key(VK_RIGHT);
  EXPECT_EQ(bar.Marker(), cell);
  // Showing the vertical ruler moves the ticks right by its width and a pixel.
  Command(30212);
  EXPECT_EQ(bar.TickX(0), kRulerThickness + 1);
}

TEST_F(SurfaceTest, PopupsOfferTheirItemsWithEnableStatesByState) {
  Sample();
  LineBoxItem* box = AddBox(3, 100, lines[3].bottom - 8, 180, lines[3].bottom);
  BuildLayoutItemOrder(layout);
  Open();
  CKmView& v = View();
  std::vector<std::pair<UINT, bool>> seen;
  SetTrackPopupMenuHook([&](HMENU menu, int, int) -> UINT {
    seen.clear();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      const UINT id = GetMenuItemID(menu, i);
      if (id == 0) continue;
      seen.emplace_back(id, !(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED));
    }
    return 0;
  });
  auto state = [&](UINT id) {
    for (auto& s : seen)
      if (s.first == id) return s.second ? 1 : 0;
    return -1;  // not offered
  };
  // Empty layout: nothing to cut, copy or clear; Paste only while the designer's clipboard holds items.
  SendMessageA(v.m_hWnd, WM_RBUTTONDOWN, 2, MAKELPARAM(600, 5));
  EXPECT_EQ(state(30110), 0);
  EXPECT_EQ(state(30120), 0);
  EXPECT_EQ(state(30140), 0);
  EXPECT_EQ(state(30130), 0);
  EXPECT_EQ(state(30500), -1) << "Alignment only for graphic objects";
  host.pasteHolds = 1;
  SendMessageA(v.m_hWnd, WM_RBUTTONDOWN, 2, MAKELPARAM(600, 5));
  EXPECT_EQ(state(30130), 1);
  // On the box's border: it becomes the one selected object; Alignment and Properties are offered.
  const RECT b = v.ViewRect(box->head);
  SendMessageA(v.m_hWnd, WM_RBUTTONDOWN, 2, MAKELPARAM(static_cast<WORD>(b.left), static_cast<WORD>(b.bottom)));
  EXPECT_EQ(layout.currentItem, &box->head);
  EXPECT_EQ(state(30110), 1);
  EXPECT_EQ(state(30140), 1);
  EXPECT_EQ(state(30500), 1);
  EXPECT_EQ(state(30504), 1);
  EXPECT_EQ(state(30502), 0) << "no font for a box";
  // The line popup from the band pane marks the line under the pointer.
  SendMessageA(Band().m_hWnd, WM_RBUTTONDOWN, 2,
               MAKELPARAM(10, static_cast<WORD>(lines[2].bottom - 2 + Band().GetRulerOffset())));
  EXPECT_TRUE(lines[2].flags & kLineMarked);
  ASSERT_EQ(seen.size(), 8u);
  EXPECT_EQ(state(30410), 1);
  EXPECT_EQ(state(30508), 1);
  EXPECT_EQ(state(30110), 1) << "marked lines can be cut";
  // Shift+F10 opens the line popup for the marked lines.
  seen.clear();
  Key(VK_F1 + 9, FSHIFT);
  EXPECT_EQ(state(30420), 1);
  // While output runs, the view takes no command.
  host.output = true;
  const int x = v.m_nCaretX;
  Key(VK_RIGHT);
  EXPECT_EQ(v.m_nCaretX, x);
  host.output = false;
  // Without a report every layout command is off, and a command shows the report-name line.
  doc.m_bReportOpen = FALSE;
  EXPECT_FALSE(v.IsCommandEnabled(30410));
  EXPECT_FALSE(v.IsCommandEnabled(30214));
  EXPECT_TRUE(v.IsCommandEnabled(32020)) << "the Options commands stay";
  const int names = host.reportNames;
  Command(30214);
  EXPECT_GT(host.reportNames, names);
  SetTrackPopupMenuHook(nullptr);
}

TEST_F(SurfaceTest, MenuTextsFollowTheState) {
  Sample();
  AddBox(3, 100, lines[3].bottom - 8, 180, lines[3].bottom);
  BuildLayoutItemOrder(layout);
  Open();
  CKmView& v = View();
  CCmdUI undo(30100);
  ASSERT_TRUE(v.UpdateCommand(&undo));
  EXPECT_EQ(undo.m_strText, "&Undo\bCtrl+Z");
  v.m_bMoveUndo = TRUE;
  undo = CCmdUI(30100);
  v.UpdateCommand(&undo);
  EXPECT_EQ(undo.m_strText, "&Undo Last Move\bCtrl+Z");
  // Clear names the kind of the one selected object, and nothing for two.
  ReportItemHead* box = &layout.linesBoxes.At(0)->head;
  box->flags |= kItemSelected;
  CCmdUI clear(30140);
  v.UpdateCommand(&clear);
  EXPECT_EQ(clear.m_strText, "Cle&ar Box\bDelete");
  layout.textHead->head.flags |= kItemSelected;
  clear = CCmdUI(30140);
  v.UpdateCommand(&clear);
  EXPECT_EQ(clear.m_strText, "Cle&ar \bDelete");
  // Insert > Band Line is off when all 256 lines are used.
  EXPECT_TRUE(v.IsCommandEnabled(30410));
  lines[255].kind = kBandRecord;
  EXPECT_FALSE(v.IsCommandEnabled(30410));
  lines[255].kind = kBandFree;
  // The View switches carry check marks.
  doc.m_settings.shGrd = 1;
  CCmdUI grid(30214);
  v.UpdateCommand(&grid);
  EXPECT_EQ(grid.m_nCheck, 1);
}

TEST_F(SurfaceTest, OddLayoutsDrawWhatTheyCan) {
  const int title = AddLine(kBandTitle);
  AddText(title, 0, "Fine");
  AddLine(kBandRecord, 1, 0);  // a freeform line of no height
  TextItem* far = AddText(1, 300, "Far right of the page");
  TextItem* noFont = AddText(1, 2, "No face");
  noFont->head.faceAtom = 0;
  noFont->head.pointSize = 0;
  TextItem* empty = AddText(0, 40, "x");
  Finish();
  far->head.left = 40000;
  far->head.right = 40500;
  empty->text[0] = 0;
  // An item of a kind nobody knows, on a line past the table, and a box above the layout.
  LineBoxItem* odd = AddBox(250, -50, -400, 40, -300);
  odd->head.flags |= 0x800;
  odd->pattern = 77;  // no such hatch
  odd->thickness = 0;
  noFont->head.fontHandle = nullptr;
  // A table that claims more lines than it has.
  doc.m_bandLines.lastUsed = 400;
  BuildLayoutItemOrder(layout);
  doc.m_settings.shGrd = 1;
  doc.m_settings.fieldNames = 1;
  Open();
  Picture p(View(), View().ClientWidth(), View().ClientHeight());
  EXPECT_GT(p.Inked(0, 0, 200, 40), 0) << "the ordinary text is still drawn";
  for (int k : {VK_DOWN, VK_NEXT, VK_END, VK_TAB, VK_RIGHT}) Key(k);
  Key(VK_END, FCONTROL);
  SendMessageA(Rulers().m_hWnd, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  Picture q(View(), View().ClientWidth(), View().ClientHeight());
  RECT all{0, 0, 300, 300};
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(nullptr, 300, 300);
  SelectObject(dc, bmp);
  Rulers().VerticalBar().OnPaint(dc, all);
  Rulers().HorizontalBar().OnPaint(dc, all);
  DeleteDC(dc);
  DeleteObject(bmp);
  UpdateWindow(Band().m_hWnd);
}

}  // namespace
