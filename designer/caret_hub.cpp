// The caret: where the next object goes. It moves with the cursor keys, the
// mouse and Tab (which steps the current object), and every change of the
// layout ends in UpdateCaretAndStatus, which redraws the caret and brings the
// ruler marker, the scroll bars and the status line up to date.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/ruler_view.h"
#include "foundation/doc_base.h"
#include "layout/layout_helpers.h"
#include "platform/win/caret.h"
#include "platform/win/dialog.h"

#include <algorithm>

namespace {
constexpr int kCaretWidth = 2;
constexpr int kMaxCaretHeight = 32;
constexpr UINT kCmdCtrlLeft = 20008, kCmdCtrlRight = 20009, kCmdAltLeft = 20112, kCmdAltRight = 20116;

bool Automatic(const BandLineRec& r) { return r.heightMode == 0 || r.kind == kBandFree; }
}  // namespace

void CKmView::DestroyCaretIfOwned() {
  // The program has one caret; the view makes it anew at every update.
  POINT p;
  if (GetCaretPos(&p)) DestroyCaret();
}

void CKmView::UpdateCaretAndStatus(BOOL clearCurrent) {
  ++m_caretUpdates;
  if (!ReportOpen() || (Mode() & kModeMarkByKeys)) return;
  if (!EditorOpen()) {
    UpdateCaret();
    SetRulerMarker(m_nCaretX - ScrollX());
    if (IsWindow(m_hVScroll)) SetScrollPos(m_hVScroll, SB_CTL, ScrollY() / 10, TRUE);
    if (IsWindow(m_hHScroll)) SetScrollPos(m_hHScroll, SB_CTL, ScrollX(), TRUE);
  }
  if (clearCurrent) Layout()->currentItem = nullptr;
  m_pHost->ShowPrompt(Layout()->currentItem);
  m_pHost->ShowPosition();
}

void CKmView::UpdateCaret() {
  DestroyCaretIfOwned();
  m_nCaretHeight = 0;
  if (!ReportOpen() || !IsWindow(m_hWnd)) return;
  const BandLineRec* r = Line(CaretLine());
  if (r == nullptr) return;
  const int vx = m_nCaretX - ScrollX(), vy = CaretY() - ScrollY();
  if (vx < 0 || vx >= ClientWidth() || vy < 0 || vy > ClientHeight()) return;
  const bool automatic = Automatic(*r);
  int height = automatic ? r->pixelHeight : TextLineHeight();
  const int foot = (automatic ? r->bottom : CaretY()) - ScrollY();
  int top = foot - height;
  if (top < 0) {
    height += top;
    top = 0;
  }
  height = std::clamp(height, 1, kMaxCaretHeight);
  m_nCaretHeight = height;
  CreateCaret(m_hWnd, nullptr, kCaretWidth, height);
  SetCaretPos(std::max(0, vx), foot - height);
  ShowCaret(m_hWnd);
}

void CKmView::PlaceCaretAfterMove() {
  if (!ReportOpen()) return;
  Layout()->currentItem = nullptr;
  m_pHost->ShowPrompt(nullptr);
  const int vx = m_nCaretX - ScrollX();
  POINT p;
  if (vx >= 0 && vx < ClientWidth() && GetCaretPos(&p)) {
    const BandLineRec* r = Line(CaretLine());
    const int foot = (r && Automatic(*r) ? r->bottom : CaretY()) - ScrollY();
    SetCaretPos(vx, foot - m_nCaretHeight);
    SetRulerMarker(vx);
  } else {
    UpdateCaretAndStatus(TRUE);
  }
  m_pHost->ShowPosition();
}

void CKmView::SetRulerMarker(int viewX) {
  if (m_pDoc && m_pDoc->m_settings.shHzRul && m_pRulerView) m_pRulerView->HorizontalBar().SetMarker(viewX);
}

// --- horizontal keys ---

void CKmView::CaretLeft(UINT command) {
  if (!ReportOpen()) return;
  const int cell = CellWidth();
  const bool snap = command == kCmdAltLeft ? !SnapOn() : SnapOn();
  int x = m_nCaretX;
  if (x <= 0) {
    Beep();
    return;
  }
  int step = snap ? cell : 1;
  if (command == kCmdCtrlLeft) step *= 5;
  if (snap && x % cell != 0) step = x % cell;
  step = std::min(step, x);
  LayoutTables& t = *Layout();
  if (x - step < t.scrollX) {
    t.scrollX = std::max(0, t.scrollX - step);
    RedrawLayoutAndHRuler();
  }
  m_nCaretX = x - step;
  PlaceCaretAfterMove();
}

void CKmView::CaretRight(UINT command) {
  if (!ReportOpen()) return;
  const int cell = CellWidth();
  const bool snap = command == kCmdAltRight ? !SnapOn() : SnapOn();
  const int width = LayoutWidth();
  int x = m_nCaretX;
  if (x >= width) {
    Beep();
    return;
  }
  int step = snap ? cell : 1;
  if (command == kCmdCtrlRight) step *= 5;
  if (snap && x % cell != 0) step = cell - x % cell;
  step = std::min(step, width - x);
  LayoutTables& t = *Layout();
  const int visible = ClientWidth() - 2;
  if (x + step - t.scrollX > visible) {
    const int largest = std::max(0, width - visible);
    const int old = t.scrollX;
    t.scrollX = std::min(largest, t.scrollX + std::max(step, x + step - t.scrollX - visible));
    if (t.scrollX != old) RedrawLayoutAndHRuler();
  }
  m_nCaretX = x + step;
  PlaceCaretAfterMove();
}

void CKmView::CaretHome() {
  if (!ReportOpen()) return;
  m_nCaretX = 0;
  if (Layout()->scrollX != 0) {
    Layout()->scrollX = 0;
    RedrawLayoutAndHRuler();
  }
  PlaceCaretAfterMove();
}

void CKmView::CaretEnd() {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const int line = CaretLine();
  int x = 0;
  ForEachLayoutItem(t, [&](ReportItemHead& item) {
    if (item.bandLine == line) x = std::max(x, item.right + 1);
  });
  if (x != 0) x = SnapToCharCell(t.metrics, x);
  m_nCaretX = x;
  const int visible = ClientWidth() - 2;
  const int old = t.scrollX;
  t.scrollX = x > visible ? SnapToCharCell(t.metrics, x - visible) + CellWidth() : 0;
  if (t.scrollX != old) RedrawLayoutAndHRuler();
  PlaceCaretAfterMove();
}

// --- vertical keys ---

namespace {
// The foot of the text line that holds y in the sized line.
int FootAt(LayoutTables& t, int line, int y, int lineHeight) {
  return LineTopInBand(t, line, y) + lineHeight - 1;
}
}  // namespace

void CKmView::CaretUp(bool alt) {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const int line = CaretLine();
  const BandLineRec* r = Line(line);
  if (r == nullptr) return;
  const bool marking = (Mode() & kModeMarkByKeys) != 0;
  const bool snap = alt ? !SnapOn() : SnapOn();
  const int lh = TextLineHeight();
  auto toPrevious = [&]() {
    if (line == 0) return Beep();
    t.currentLine = line - 1;
    const BandLineRec* p = Line(line - 1);
    t.caretY = Automatic(*p) ? p->baseline : p->bottom;
    return true;
  };
  if (Automatic(*r) || marking) {
    if (!toPrevious()) return;
  } else {
    const int step = snap ? lh : 1;
    const int top = r->bottom - r->pixelHeight;
    if (top < t.caretY - step) {
      t.caretY = snap ? std::max(top + 1, FootAt(t, line, t.caretY - step, lh)) : t.caretY - 1;
    } else if (!toPrevious()) {
      return;
    }
  }
  EnsureLineVisible(CaretLine(), nullptr);
  if (m_pBandView) m_pBandView->RedrawBandPane();
  UpdateCaretAndStatus(TRUE);
}

void CKmView::CaretDown(bool alt) {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const int line = CaretLine();
  const BandLineRec* r = Line(line);
  if (r == nullptr) return;
  const bool marking = (Mode() & kModeMarkByKeys) != 0;
  // Below the report's last line the caret goes on down the empty lines, so
  // that the report grows where the user goes on writing; marking stays on
  // the lines that exist.
  const int limit = marking ? LastUsedLine() : kBandLineCount - 1;
  const bool snap = alt ? !SnapOn() : SnapOn();
  const int lh = TextLineHeight();
  auto toNext = [&]() {
    if (line >= limit) return Beep();
    t.currentLine = line + 1;
    const BandLineRec* n = Line(line + 1);
    if (Automatic(*n))
      t.caretY = n->baseline;
    else
      t.caretY = snap ? n->bottom - n->pixelHeight + lh : n->bottom - n->pixelHeight + 1;
    return true;
  };
  if (Automatic(*r) || marking) {
    if (!toNext()) return;
  } else {
    const int step = snap ? lh : 1;
    if (t.caretY + step > r->bottom) {
      if (t.caretY < r->bottom)
        t.caretY = r->bottom;
      else if (!toNext())
        return;
    } else {
      t.caretY = snap ? std::min(r->bottom, FootAt(t, line, t.caretY + 1, lh)) : t.caretY + 1;
    }
  }
  EnsureLineVisible(CaretLine(), nullptr);
  if (m_pBandView) m_pBandView->RedrawBandPane();
  UpdateCaretAndStatus(TRUE);
}

void CKmView::CaretPageDown() {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const int limit = (Mode() & kModeMarkByKeys) ? LastUsedLine() : kBandLineCount - 1;
  const int line = CaretLine();
  if (line >= limit) {
    Beep();
    return;
  }
  const int next = std::min(limit, line + 10);
  const BandLineRec* r = Line(next);
  const BandLineRec* end = Line(kBandLineCount - 1);
  t.currentLine = next;
  if (r->bottom >= t.scrollY + ClientHeight()) {
    const int total = end ? end->bottom : r->bottom;
    t.scrollY = std::max(0, std::min(r->bottom - ClientHeight() / 2, total - ClientHeight()));
  }
  t.caretY = r->baseline;
  RedrawAllPanes();
  UpdateCaretAndStatus(TRUE);
}

void CKmView::CaretPageUp() {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const int line = CaretLine();
  if (line == 0 && t.scrollY == 0) {
    Beep();
    return;
  }
  const int prev = std::max(0, line - 10);
  const BandLineRec* r = Line(prev);
  t.currentLine = prev;
  if (r->bottom - r->pixelHeight < t.scrollY) {
    if (prev == 0)
      t.scrollY = 0;
    else
      t.scrollY = r->bottom > ClientHeight() ? std::max(0, r->bottom - ClientHeight() / 2) : 0;
  }
  t.caretY = Automatic(*r) ? r->baseline : r->bottom - r->pixelHeight + TextLineHeight();
  RedrawAllPanes();
  UpdateCaretAndStatus(TRUE);
}

void CKmView::CaretTop() {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const bool scrolled = t.scrollY != 0 || t.scrollX != 0;
  t.currentLine = 0;
  const BandLineRec* r = Line(0);
  t.caretY = Automatic(*r) ? r->baseline : TextLineHeight();
  m_nCaretX = 0;
  t.scrollX = 0;
  t.scrollY = 0;
  RedrawAfterJump(scrolled);
}

void CKmView::CaretToLine(int line) {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  line = std::clamp(line, 0, kBandLineCount - 1);
  const BandLineRec* r = Line(line);
  const int oldX = t.scrollX, oldY = t.scrollY;
  m_nCaretX = 0;
  t.scrollX = 0;
  t.currentLine = line;
  t.caretY = r->baseline;
  t.scrollY = std::max(0, r->bottom - ClientHeight() - 1 + r->pixelHeight);
  RedrawAfterJump(t.scrollY != oldY || t.scrollX != oldX);
}

void CKmView::RedrawAfterJump(bool scrolled) {
  if (scrolled)
    RedrawAllPanes();
  else if (m_pBandView)
    m_pBandView->RedrawBandPane();
  UpdateCaretAndStatus(TRUE);
}

// --- the current object by Tab ---

void CKmView::StepCurrentObject(bool forward) {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  std::vector<ReportItemHead*> order;
  for (ReportItemHead* h = t.orderHead; h != nullptr && order.size() <= 100000; h = h->nextInOrder)
    if (!(h->flags & (kItemDeleted | kItemInClipboard))) order.push_back(h);
  if (order.empty()) {
    Beep();
    return;
  }
  ReportItemHead* next = nullptr;
  auto at = std::find(order.begin(), order.end(), t.currentItem);
  if (t.currentItem == nullptr || at == order.end()) {
    const int line = CaretLine();
    if (forward) {
      for (ReportItemHead* h : order)
        if (h->bandLine > line || (h->bandLine == line && h->bottom >= t.caretY && h->left > m_nCaretX)) {
          next = h;
          break;
        }
      if (next == nullptr) next = order.front();
    } else {
      for (auto it = order.rbegin(); it != order.rend(); ++it)
        if ((*it)->bandLine < line || ((*it)->bandLine == line && (*it)->left < m_nCaretX)) {
          next = *it;
          break;
        }
      if (next == nullptr) next = order.back();
    }
  } else if (forward) {
    next = (at + 1 == order.end()) ? order.front() : *(at + 1);
  } else {
    next = (at == order.begin()) ? order.back() : *(at - 1);
  }
  MakeObjectCurrent(next);
}

void CKmView::MakeObjectCurrent(ReportItemHead* item) {
  LayoutTables* t = Layout();
  if (t == nullptr || item == nullptr) return;
  const int oldLine = t->currentLine, oldY = t->caretY;
  t->currentItem = item;
  t->currentLine = std::min<int>(item->bandLine, kBandLineCount - 1);
  const BandLineRec* r = Line(t->currentLine);
  const bool graphic = (item->flags & kItemGraphicKinds) != 0;
  m_nCaretX = GetAlignedX(*t, *item);
  t->caretY = (!graphic || (r && Automatic(*r))) ? item->bottom - item->descent : item->top + TextLineHeight();
  EnsureLineVisible(t->currentLine, graphic ? nullptr : item);
  EnsureXVisible(m_nCaretX, true);
  UpdateCaretAndStatus(FALSE);
  if ((t->currentLine != oldLine || t->caretY != oldY) && m_pBandView) m_pBandView->RedrawBandPane();
}

// --- the mouse ---

void CKmView::MoveCaretToPoint(int x, int y, bool clearSelection, bool force) {
  if (!ReportOpen()) return;
  if (!force && (x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight())) return;
  LayoutTables& t = *Layout();
  int lx = std::max(x, 0) + t.scrollX;
  if (SnapOn() && !AltKeyDown()) lx = SnapToCharCell(t.metrics, lx);
  m_nCaretX = std::min(lx, LayoutWidth());
  const int ly = y + t.scrollY;
  const int line = std::clamp(BandAtY(t.Lines(), ly), 0, kBandLineCount - 1);
  t.currentLine = line;
  const BandLineRec* r = Line(line);
  t.caretY = Automatic(*r) ? r->baseline : std::min<int>(r->bottom, FootAt(t, line, ly, TextLineHeight()));
  EnsureLineVisible(line, nullptr);
  bool cleared = false;
  if (clearSelection) cleared = ClearSelection() | UnmarkAllLines();
  if (cleared) RedrawAllPanes();
  UpdateCaretAndStatus(TRUE);
  if (m_pBandView) m_pBandView->RedrawBandPane();
}

void CKmView::SetCurrentLineAtY(int viewY) {
  if (!ReportOpen()) return;
  LayoutTables& t = *Layout();
  const int ly = viewY + t.scrollY;
  const int line = std::clamp(BandAtY(t.Lines(), ly), 0, kBandLineCount - 1);
  const BandLineRec* r = Line(line);
  if (line != t.currentLine || !Automatic(*r)) {
    t.currentLine = line;
    t.caretY = Automatic(*r) ? r->baseline : FootAt(t, line, ly, TextLineHeight());
    if (m_pBandView) m_pBandView->RedrawBandPane();
  }
}
