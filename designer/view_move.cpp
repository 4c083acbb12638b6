// Moving the selection with the mouse or the cursor keys: the grab, the
// steps snapped to character cells and band lines, the limits at the
// layout's edges, the end of a move with its band lines given again, and the
// undo record of the last move.
#include "designer/band_view.h"
#include "designer/chart_anchor.h"
#include "designer/design_view.h"
#include "designer/layout_editing.h"
#include "foundation/doc_base.h"
#include "layout/item_tables.h"
#include "layout/layout_helpers.h"
#include "platform/win/capture.h"
#include "platform/win/cursor.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstdio>

namespace {
bool Live(const ReportItemHead& h) { return (h.flags & (kItemDeleted | kItemInClipboard)) == 0; }

template <class Fn>
void ForEachSelected(LayoutTables& t, Fn fn) {
  for (ReportItemHead* h = t.orderHead; h != nullptr; h = h->nextInOrder)
    if ((h->flags & kItemSelected) && Live(*h)) fn(*h);
}

bool IsHorizontalLine(const ReportItemHead& h) {
  if (!(h.flags & kItemKindLine)) return false;
  return !(reinterpret_cast<const LineBoxItem&>(h).borders & kBorderVertical);
}

// Where a text's baseline is, or a graphic object's top.
int ReferenceY(const ReportItemHead& h) { return IsTextLike(h) ? h.bottom - h.descent : h.top; }
}  // namespace

bool CKmView::AllOnAutoLines() const {
  LayoutTables* t = Layout();
  bool all = true;
  ForEachSelected(*t, [&](ReportItemHead& h) {
    const BandLineRec* r = Line(h.bandLine);
    if (IsGraphicItem(h) || r == nullptr || r->heightMode != kHeightAutomatic) all = false;
  });
  return all;
}

int CKmView::LineUnder(int layoutY) const { return BandAtY(Layout()->Lines(), layoutY); }

bool CKmView::SnapsToLines(const ReportItemHead& item) const {
  return (Mode() & kModeKeyMove) && SnapOn() && !AltKeyDown() && IsTextLike(item);
}

void CKmView::FindReferenceObjects() {
  m_pTopmost = m_pBottommost = m_pLeftmost = m_pRightmost = nullptr;
  ForEachSelected(*Layout(), [&](ReportItemHead& h) {
    if (m_pTopmost == nullptr || h.bottom < m_pTopmost->bottom) m_pTopmost = &h;
    if (m_pBottommost == nullptr || h.bottom > m_pBottommost->bottom) m_pBottommost = &h;
    if (m_pLeftmost == nullptr || h.left < m_pLeftmost->left) m_pLeftmost = &h;
    if (m_pRightmost == nullptr || h.right > m_pRightmost->right) m_pRightmost = &h;
  });
}

bool CKmView::BeginObjectDrag(bool byMouse, int x, int y, bool duplicate) {
  LayoutTables* t = Layout();
  if (t == nullptr) return false;
  if (byMouse && HitTestHandles(x, y, true)) return true;
  ReportItemHead* hit = nullptr;
  if (byMouse) {
    if (duplicate || x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight()) return false;
    hit = HitTestObject(x, y);
    if (hit == nullptr) return false;
  } else if (CountSelected() == 0) {
    return false;
  }
  DestroyCaretIfOwned();
  if (!byMouse) {
    SetLayoutMode(kModeKeyMove);
    char text[160];
    std::snprintf(text, sizeof text, LoadResString(102).c_str(), LoadResString(duplicate ? 303 : 101).c_str());
    m_pHost->ShowMessage(text);
  } else {
    UnmarkAllLines();
    if (!(hit->flags & kItemSelected)) SelectOnly(*hit);
    m_nLastX = x;
    m_nLastY = y;
    SetLayoutMode(kModeMoveSelection);
    SetCapture(m_hWnd);
    SetCursor(m_pHost->Cursors().Get(kCursorMove));
    m_pHost->ShowMessage(LoadResString(103).c_str());
  }
  m_nScrollXAtStep = t->scrollX;
  m_nScrollYAtStep = t->scrollY;
  m_nPendingDx = m_nPendingDy = 0;
  m_bDuplicate = duplicate;
  // Duplicate Fields moves copies; the sources stay, no longer selected.
  if (duplicate) InstallLayoutHooks();
  if (duplicate && CopySelectedItems(*this, true, 0) == 0) {
    m_bDuplicate = false;
    SetLayoutMode(0);
    m_pHost->ShowMessage("");
    UpdateCaretAndStatus(FALSE);
    return false;
  }
  m_bLineShift = AllOnAutoLines();
  m_moveSnapshot.clear();
  m_bMoveUndo = FALSE;
  ForEachSelected(*t, [&](ReportItemHead& h) {
    m_moveSnapshot.push_back(MoveSnapshotEntry{&h, h.bandLine, h.left, h.top, h.right, h.bottom});
  });
  FindReferenceObjects();
  if (m_pTopmost == nullptr) return false;
  m_nGrabX = x - (m_pTopmost->left - t->scrollX);
  m_nGrabY = y - (m_pTopmost->top - t->scrollY);
  if (CountSelected() == 1) t->currentLine = std::min<int>(m_pTopmost->bandLine, kBandLineCount - 1);
  if (byMouse) MoveStep(x, y);
  return true;
}

void CKmView::MoveStep(int x, int y) {
  if (TrackHandle(x, y)) return;
  if (m_pTopmost == nullptr) return;
  const int dx = SnapMoveX(x);
  const int dy = SnapMoveY(x, y, kSnapNearest);
  if (dx < 0) MoveSelectionLeft(-dx, false);
  if (dx > 0) MoveSelectionRight(dx, false);
  if (dy < 0 && y < m_nLastY) MoveSelectionUp(-dy);
  if (dy > 0 && y > m_nLastY && y >= 0) MoveSelectionDown(dy);
  m_nLastX = x;
  m_nLastY = y;
  if (m_nPendingDx || m_nPendingDy) AlignObjects(false);
  const bool outside = x < 0 || x >= ClientWidth() - 1 || y < 0 || y > ClientHeight();
  SetAutoScroll(outside, x, y);
}

int CKmView::SnapMoveX(int x) {
  if (x == m_nLastX || m_pTopmost == nullptr) return 0;
  LayoutTables& t = *Layout();
  const ReportItemHead& o = *m_pTopmost;
  const int w = o.right - o.left;
  const int left = x - m_nGrabX;
  const bool alt = AltKeyDown();
  int newLeft = left;
  switch (ItemAlignment(t, o)) {
    case 1: newLeft = SnapXToGrid(t, left + w / 2, kSnapNearest, alt) - w / 2; break;
    case 2: newLeft = SnapXToGrid(t, left + w, kSnapNearest, alt) - w; break;
    default: newLeft = SnapXToGrid(t, left, kSnapNearest, alt); break;
  }
  return newLeft - (o.left - t.scrollX);
}

// A layout y snapped on the band line (GetBandLineY answers view y on
// automatic lines and layout y on sized ones).
static int SnapLayoutY(LayoutTables& t, int line, int y, int mode) {
  const BandLineRec& r = t.Lines().lines[std::clamp(line, 0, kBandLineTableRecords - 1)];
  const bool alt = AltKeyDown();
  const int v = GetBandLineY(t, line, y, mode, alt);
  return (t.metrics.snapping && !alt && r.heightMode == kHeightAutomatic) ? v + t.scrollY : v;
}

int CKmView::SnapMoveY(int, int y, int mode) {
  if (y == m_nLastY || m_pTopmost == nullptr) return 0;
  LayoutTables& t = *Layout();
  const ReportItemHead& o = *m_pTopmost;
  int top = y - m_nGrabY + t.scrollY;  // layout
  if (SnapOn() && !AltKeyDown()) {
    // A text's line is the one under its baseline (its top may reach above its line).
    const int probe = IsTextLike(o) ? top + (o.bottom - o.top - o.descent) : top;
    int line = LineUnder(probe);
    const BandLineRec* r = Line(line);
    const bool automatic = r && r->heightMode == kHeightAutomatic;
    if (IsTextLike(o)) {
      const int h = o.bottom - o.top - o.descent;
      if (automatic) {
        if (mode == kSnapBottom) line = std::min(line + 1, kBandLineCount - 1);
        top = Line(line)->baseline - h;
      } else if (mode == kSnapBottom) {
        top = SnapLayoutY(t, line, top, kSnapBottom);
      } else {
        top = SnapLayoutY(t, line, top + h, mode) - h;
      }
    } else {
      const bool horizontal = IsHorizontalLine(o);
      if (automatic) {
        if ((Mode() & kModeKeyMove) && mode == kSnapBottom && !horizontal) line = std::min(line + 1, kBandLineCount - 1);
        if ((Mode() & kModeKeyMove) && mode == kSnapTop && horizontal) line = std::max(line - 1, 0);
        top = SnapLayoutY(t, line, top, horizontal ? kSnapBottom : kSnapTop);
      } else {
        top = SnapLayoutY(t, line, top, mode);
      }
    }
  }
  return top - o.top;
}

int CKmView::NextLineStep(bool down) const {
  if (m_pTopmost == nullptr) return 1;
  const ReportItemHead& o = *m_pTopmost;
  const int line = LineUnder(o.top);
  const BandLineRec* r = Line(line);
  if (r == nullptr) return 1;
  if (r->heightMode != kHeightAutomatic) return TextLineHeight();
  // To the top of the next line down, or of this line (the one above when already there).
  const int lineTop = r->bottom - r->pixelHeight + 1;
  if (down) return std::max(1, r->bottom + 1 - o.top);
  if (o.top > lineTop) return o.top - lineTop;
  const BandLineRec* above = Line(std::max(0, line - 1));
  return std::max(1, o.top - (above->bottom - above->pixelHeight + 1));
}

void CKmView::MoveSelectionLeft(int n, bool scroll) {
  LayoutTables& t = *Layout();
  if (m_pLeftmost == nullptr) return;
  const bool keys = (Mode() & kModeKeyMove) != 0;
  if (keys) {
    const int cell = CellWidth();
    if (!SnapOn() || AltKeyDown()) {
      n = m_pLeftmost->left > 0 ? 1 : 0;
    } else {
      const int anchor = GetAlignedX(t, *m_pLeftmost);
      const int distance = ((anchor % cell) + cell) % cell;
      if (distance != 0) {
        m_nPendingDx = -std::min(distance, m_pLeftmost->left);
        AlignObjects(false);
        return;
      }
    }
  }
  n = std::clamp(n, 0, std::max(0, m_pLeftmost->left));
  if (n == 0) return;
  if (scroll && m_pLeftmost->left - n < t.scrollX) {
    t.scrollX = std::max(0, t.scrollX - n);
  }
  m_nPendingDx = -n;
  if (keys) AlignObjects(false);
}

void CKmView::MoveSelectionRight(int n, bool scroll) {
  LayoutTables& t = *Layout();
  if (m_pRightmost == nullptr || m_pLeftmost == nullptr) return;
  const bool keys = (Mode() & kModeKeyMove) != 0;
  const int room = std::max(0, LayoutWidth() - 1 - m_pRightmost->right);
  if (keys) {
    const int cell = CellWidth();
    if (!SnapOn() || AltKeyDown()) {
      n = 1;
    } else {
      const int anchor = GetAlignedX(t, *m_pLeftmost);
      const int distance = (cell - ((anchor % cell) + cell) % cell) % cell;
      if (distance != 0) {
        m_nPendingDx = std::min(distance, room);
        AlignObjects(false);
        return;
      }
    }
  }
  n = std::clamp(n, 0, room);
  if (n == 0) return;
  if (scroll && m_pRightmost->right + n > t.scrollX + ClientWidth())
    t.scrollX = std::min(t.scrollX + n, std::max(0, LayoutWidth() - ClientWidth()));
  m_nPendingDx = n;
  if (keys) AlignObjects(false);
}

void CKmView::MoveSelectionUp(int n) {
  LayoutTables& t = *Layout();
  if (m_pTopmost == nullptr) return;
  const bool keys = (Mode() & kModeKeyMove) != 0;
  if (keys) {
    if (m_pTopmost->bandLine == 0 && IsTextLike(*m_pTopmost)) return;
    if (!SnapOn() || AltKeyDown()) n = 1;
    else if (IsTextLike(*m_pTopmost)) n = std::max(1, Line(m_pTopmost->bandLine)->pixelHeight);
    else n = NextLineStep(false);
  }
  // Nothing goes above the layout's top.
  n = std::clamp(n, 0, std::max(0, std::min(ReferenceY(*m_pTopmost), m_pTopmost->top)));
  if (n == 0) return;
  if (m_pTopmost->top - n < t.scrollY) t.scrollY = std::max(0, t.scrollY - n);
  m_nPendingDy = -n;
  if (keys) AlignObjects(false);
}

void CKmView::MoveSelectionDown(int n) {
  LayoutTables& t = *Layout();
  if (m_pTopmost == nullptr || m_pBottommost == nullptr) return;
  const bool keys = (Mode() & kModeKeyMove) != 0;
  if (keys) {
    if (m_pTopmost->bandLine >= kBandLineCount - 1) return;
    if (!SnapOn() || AltKeyDown()) n = 1;
    else if (IsTextLike(*m_pTopmost)) n = std::max(1, Line(m_pTopmost->bandLine + 1)->pixelHeight);
    else n = NextLineStep(true);
  }
  const int total = Line(kBandLineCount - 1)->bottom;
  n = std::clamp(n, 0, std::max(0, total - m_pBottommost->bottom));
  if (n == 0) return;
  if (m_pBottommost->bottom + n > t.scrollY + ClientHeight())
    t.scrollY = std::min(t.scrollY + n, std::max(0, total - ClientHeight()));
  m_nPendingDy = n;
  if (keys) AlignObjects(false);
}

void CKmView::MoveSelectionHome() {
  if (m_pLeftmost == nullptr) return;
  m_nPendingDx = -m_pLeftmost->left;
  Layout()->scrollX = 0;
  AlignObjects(false);
}

void CKmView::MoveSelectionEnd() {
  if (m_pLeftmost == nullptr || m_pRightmost == nullptr || m_pDoc == nullptr) return;
  const int w = CharCellWidth(Layout()->metrics, std::max(1, m_pDoc->m_pageMetrics.printableWidth));
  if (m_pRightmost->right - m_pLeftmost->left > w) return;
  m_nPendingDx = w - m_pRightmost->right;
  Layout()->scrollX = std::max(0, w - ClientWidth());
  AlignObjects(false);
}

void CKmView::AlignObjects(bool force) {
  LayoutTables& t = *Layout();
  const bool scrolled = t.scrollX != m_nScrollXAtStep || t.scrollY != m_nScrollYAtStep;
  const WORD mode = Mode();
  if (!force && !(mode & (kModeMoveSelection | kModeKeyMove)) &&
      (mode & (kModeGraphicResize | kModeLineBoxResize | kModeFieldWidth))) {
    ShiftRect(&m_tracker.outline, m_nPendingDx, m_nPendingDy);
  } else if (CountSelected() == 1 && m_pTopmost) {
    MoveObjectBy(*m_pTopmost, scrolled);
  } else {
    ForEachSelected(t, [&](ReportItemHead& h) { MoveObjectBy(h, scrolled); });
  }
  if (scrolled || m_nPendingDx || m_nPendingDy) InvalidateRect(m_hWnd, nullptr, TRUE);
  if (scrolled) {
    UpdateScrollBars();
    if (t.scrollY != m_nScrollYAtStep && m_pBandView) m_pBandView->RedrawBandPane();
    if (m_pDoc) m_pDoc->UpdateViewsByHint(kHintVerticalRuler, this);
    if (m_pDoc && t.scrollX != m_nScrollXAtStep) m_pDoc->UpdateViewsByHint(kHintHorizontalRuler, this);
  }
  if (CountSelected() == 1 && m_pTopmost && (mode & kModeMoveSelection))
    SetRulerMarker(GetAlignedX(t, *m_pTopmost) - t.scrollX + 1);
  m_nPendingDx = m_nPendingDy = 0;
  if (m_pDoc) m_pDoc->SetModifiedFlag(TRUE);
  m_nScrollXAtStep = t.scrollX;
  m_nScrollYAtStep = t.scrollY;
}

void CKmView::MoveObjectBy(ReportItemHead& item, bool) {
  LayoutTables& t = *Layout();
  if (m_nPendingDy != 0 && SnapsToLines(item)) {
    // Texts moved by keys go a whole band line at a time.
    int line = item.bandLine + (m_nPendingDy < 0 ? -1 : 1);
    line = std::clamp(line, 0, kBandLineCount - 1);
    const int height = item.bottom - item.top;
    item.bandLine = static_cast<uint8_t>(line);
    item.bottom = t.Lines().lines[line].bottom;
    item.top = item.bottom - height;
    item.left += m_nPendingDx;
    item.right += m_nPendingDx;
  } else {
    item.left += m_nPendingDx;
    item.right += m_nPendingDx;
    item.top += m_nPendingDy;
    item.bottom += m_nPendingDy;
  }
  if (CountSelected() == 1) t.currentLine = std::min<int>(item.bandLine, kBandLineCount - 1);
}

void CKmView::SetAutoScroll(bool on, int x, int y) {
  m_ptOutside = POINT{x, y};
  if (on == m_bAutoScrollTimer || !IsWindow(m_hWnd)) return;
  m_bAutoScrollTimer = on;
  if (on) {
    SetTimer(m_hWnd, kAutoScrollTimer, 50, nullptr);
    OnAutoScrollTimer();
  } else {
    KillTimer(m_hWnd, kAutoScrollTimer);
  }
}

void CKmView::AutoScrollMove(int x, int y, int stepX, int stepY) {
  if (x < 0) MoveSelectionLeft(stepX, true);
  else if (x >= ClientWidth() - 1) MoveSelectionRight(stepX, true);
  else if (y < 0) MoveSelectionUp(stepY);
  else if (y > ClientHeight()) MoveSelectionDown(stepY);
  if (m_nPendingDx || m_nPendingDy) AlignObjects(false);
}

void CKmView::FinishMouseAction() {
  LayoutTables* tp = Layout();
  if (tp == nullptr) return;
  LayoutTables& t = *tp;
  SetAutoScroll(false, 0, 0);
  if (!(Mode() & kModeKeyMove)) {
    ReleaseCapture();
    SetCursor(m_pHost->Cursors().Get(kCursorArrow));
  }
  if (EndHandleResize()) {
    SetLayoutMode(0);
    return;
  }
  int shift = 8000;
  if (m_bLineShift && AllOnAutoLines() && m_pTopmost) {
    const int h = m_pTopmost->bottom - m_pTopmost->top;
    shift = LineUnder(m_pTopmost->bottom - h / 2) - m_pTopmost->bandLine;
  }
  // An unchanged release keeps no undo record.
  bool changed = false;
  for (const MoveSnapshotEntry& e : m_moveSnapshot) {
    const ReportItemHead& h = *e.object;
    if (h.left != e.left || h.top != e.top || h.right != e.right || h.bottom != e.bottom || h.bandLine != e.line)
      changed = true;
  }
  if (!changed) m_moveSnapshot.clear();
  m_bMoveUndo = m_moveSnapshot.empty() ? FALSE : TRUE;
  if (m_bDuplicate && !changed) {
    // Copies let go where they started are not wanted: they go for good.
    m_bDuplicate = false;
    ZapItems(*this, kItemSelected);
    ForgetMoveSnapshot();
    BuildLayoutItemOrder(t);
    t.currentItem = nullptr;
    SetLayoutMode(0);
    RedrawAllPanes();
    m_pHost->UpdateFormatBar();
    m_pHost->ShowMessage("");
    UpdateCaretAndStatus(FALSE);
    return;
  }
  m_bDuplicate = false;
  int bottomLine = 0;
  int extra = 0;
  ForEachSelected(t, [&](ReportItemHead& h) {
    // Never outside the layout's width or its band area.
    ClampToPageWidth(t, h, h.right - h.left + 1);
    ClampToBandArea(t, h);
    int line = 0;
    if (shift == 8000) {
      line = LineUnder(IsTextLike(h) ? h.bottom - h.descent : AnchoredAtBottom(t, h) ? h.bottom : h.top);
    } else {
      line = h.bandLine + shift + extra;
      if (line < 0) {
        ++extra;
        line = 0;
      }
    }
    h.bandLine = static_cast<uint8_t>(std::clamp(line, 0, kBandLineCount - 1));
    const int last = IsTextLike(h) ? h.bandLine : LineUnder(h.bottom);
    bottomLine = std::max(bottomLine, std::min(last, kBandLineCount - 1));
  });
  InsertBandLines(t.Lines(), kBandRecord, bottomLine);
  RelayoutAfterFontChange(t, false, kNoAnchor);
  BuildLayoutItemOrder(t);
  SetLayoutMode(0);
  InvalidateRect(m_hWnd, nullptr, TRUE);
  if (CountSelected() == 1) {
    MakeObjectCurrent(FirstSelected());
  } else {
    t.currentItem = nullptr;
  }
  m_pHost->UpdateFormatBar();
  m_pHost->ShowMessage("");
  if (m_pBandView) m_pBandView->RedrawBandPane();
  if (m_pDoc) m_pDoc->UpdateViewsByHint(kHintVerticalRuler, this);
  UpdateScrollBars();
  UpdateCaretAndStatus(FALSE);
}

void CKmView::RestoreMoveSnapshot() {
  for (const MoveSnapshotEntry& e : m_moveSnapshot) {
    ReportItemHead& h = *e.object;
    h.bandLine = static_cast<uint8_t>(e.line);
    h.left = e.left;
    h.top = e.top;
    h.right = e.right;
    h.bottom = e.bottom;  // a move leaves the height as it was
  }
}

bool CKmView::UndoMove() {
  LayoutTables* t = Layout();
  if (t == nullptr || m_moveSnapshot.empty()) return false;
  RestoreMoveSnapshot();
  RelayoutAfterFontChange(*t, false, kNoAnchor);
  BuildLayoutItemOrder(*t);
  ForgetMoveSnapshot();
  if (m_pDoc) m_pDoc->SetModifiedFlag(TRUE);
  RedrawAllPanes();
  UpdateCaretAndStatus(FALSE);
  return true;
}

void CKmView::ForgetMoveSnapshot() {
  m_moveSnapshot.clear();
  m_bMoveUndo = FALSE;
}

void CKmView::ForgetItem(const ReportItemHead& item) {
  for (const MoveSnapshotEntry& e : m_moveSnapshot)
    if (e.object == &item) {
      ForgetMoveSnapshot();
      return;
    }
}
