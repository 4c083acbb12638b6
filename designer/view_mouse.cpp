// The layout's mouse: a press starts a resize, a move or a rubber band; the
// pointer's moves drive it with its cursor and autoscroll; the release ends
// it. The rubber band selects what it touches, inverting.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "layout/layout_helpers.h"
#include "platform/win/capture.h"
#include "platform/win/cursor.h"

#include <algorithm>
#include <vector>

namespace {
bool Live(const ReportItemHead& h) { return (h.flags & (kItemDeleted | kItemInClipboard)) == 0; }

bool Intersects(const RECT& a, const RECT& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}
bool Contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}
constexpr uint32_t kFramedKinds = kItemKindBox | kItemKindPicture | kItemKindChart | kItemKindOle;
}  // namespace

void CKmView::SelectOnly(ReportItemHead& item) {
  if (item.flags & kItemSelected) return;
  ClearSelection();
  SelectObject(item, true);
}

void CKmView::OnLButtonDown(WPARAM keys, int x, int y) {
  if (!ReportOpen() || OutputRunning() || Modal() || m_bLButtonDown || (Mode() & kModeBlocksPress)) return;
  if (EditorOpen()) EndTextEdit(true);
  m_bLButtonDown = TRUE;
  // Ctrl (and Shift) add to the selection: the press draws a band that
  // inverts. Shift on a handle keeps a corner on its diagonal instead.
  m_bCtrlPress = (keys & (kMouseControl | kMouseShift)) != 0;
  if (Mode() & kModeKeyMove) FinishMouseAction();
  if ((Mode() & kModeMarkByKeys) && m_pBandView) m_pBandView->EndMarking(false);
  SetFocus(m_hWnd);
  m_wMouseKeys = keys;
  if (m_dwToolMode == 0 && !(keys & kMouseControl) && (keys & kMouseShift) && HitTestHandles(x, y, true)) return;
  if (m_dwToolMode == 0 && !m_bCtrlPress && BeginObjectDrag(true, x, y, false)) return;
  BeginRubberBand(x, y, !m_bCtrlPress);
}

void CKmView::OnMouseMove(WPARAM keys, int x, int y) {
  m_wMouseKeys = keys;
  if (ReportOpen()) {
    if (!SetHandleCursor() && !OutputRunning() && !SetHoverCursor(x, y))
      SetCursor(m_pHost->Cursors().Get((Mode() & kModeMoveSelection) ? kCursorMove : kCursorArrow));
  }
  if (!m_bLButtonDown || EditorOpen() || OutputRunning() || Modal() || !ReportOpen()) return;
  const WORD mode = Layout()->modeWord;
  if (mode & kModeMoveSelection) {
    if (keys & kMouseLeftButton)
      MoveStep(x, y);
    else
      FinishMouseAction();
  } else if (mode & kModeRubberBand) {
    RubberBandStep(x, y);
  } else if (mode & (kModeGraphicResize | kModeLineBoxResize | kModeFieldWidth)) {
    TrackHandle(x, y);
  }
}

void CKmView::OnLButtonUp(int x, int y) {
  if (m_bLButtonDown && ReportOpen() && !OutputRunning() && !(Mode() & kModeBlocksRelease)) {
    const WORD mode = Layout()->modeWord;
    const bool outside = x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight();
    if ((mode & (kModeMoveSelection | kModeGraphicResize | kModeLineBoxResize | kModeFieldWidth | kModeRubberBand)) &&
        outside) {
      CancelMouseAction();
    } else if (mode & (kModeMoveSelection | kModeGraphicResize | kModeLineBoxResize | kModeFieldWidth)) {
      FinishMouseAction();
    } else if (mode & kModeRubberBand) {
      if (!FinishOutline(x, y)) MoveCaretToPoint(x, y, !m_bCtrlPress, false);
    }
  }
  m_bLButtonDown = FALSE;
}

void CKmView::CancelMouseAction() {
  LayoutTables* t = Layout();
  if (t == nullptr) return;
  const WORD mode = t->modeWord;
  SetAutoScroll(false, 0, 0);
  if (mode & kModeMoveSelection) {
    // Every object back where the press found it; no undo record is left.
    RestoreMoveSnapshot();
    ForgetMoveSnapshot();
    BuildLayoutItemOrder(*t);
  }
  m_tracker = Tracker{};
  m_rcBand = RECT{0, 0, 0, 0};
  CancelLineBoxTool();
  ReleaseCapture();
  SetCursor(m_pHost->Cursors().Get(kCursorArrow));
  SetLayoutMode(0);
  m_pHost->ShowMessage("");
  RedrawAllPanes();
  UpdateCaretAndStatus(FALSE);
}

void CKmView::OnAutoScrollTimer() {
  LayoutTables* t = Layout();
  if (t == nullptr || !m_bLButtonDown) {
    SetAutoScroll(false, 0, 0);
    return;
  }
  const int x = m_ptOutside.x, y = m_ptOutside.y;
  // Two character cells across, two text lines down.
  const int stepX = CharCellWidth(t->metrics, 2), stepY = LinePitch() * 2;
  const WORD mode = t->modeWord;
  if (mode & kModeMoveSelection) {
    AutoScrollMove(x, y, stepX, stepY);
    return;
  }
  if (!(mode & (kModeRubberBand | kModeGraphicResize | kModeLineBoxResize | kModeFieldWidth))) {
    SetAutoScroll(false, 0, 0);
    return;
  }
  // The band or outline scrolls with the layout.
  const int oldX = t->scrollX, oldY = t->scrollY;
  const int maxX = std::max(0, LayoutWidth() - ClientWidth());
  const int maxY = std::max(0, Line(kBandLineCount - 1)->bottom - ClientHeight());
  if (x >= ClientWidth() - 1) t->scrollX = std::min(maxX, t->scrollX + stepX);
  else if (x < 0) t->scrollX = std::max(0, t->scrollX - stepX);
  if (y > ClientHeight()) t->scrollY = std::min(maxY, t->scrollY + stepY);
  else if (y < 0) t->scrollY = std::max(0, t->scrollY - stepY);
  const int dx = oldX - t->scrollX, dy = oldY - t->scrollY;
  if (dx == 0 && dy == 0) return;
  if (mode & kModeRubberBand) {
    m_nAnchorX += dx;
    m_nAnchorY += dy;
    UpdateRubberBand(std::clamp(x, 0, ClientWidth() - 1), std::clamp(y, 0, ClientHeight() - 1));
  } else {
    ShiftRect(&m_tracker.outline, dx, dy);
  }
  UpdateScrollBars();
  RedrawAllPanes();
}

bool CKmView::SetHoverCursor(int x, int y) {
  if (x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight()) return false;
  if (m_dwToolMode != 0) {
    SetCursor(m_pHost->Cursors().Get((m_dwToolMode & 0x80)   ? kCursorLineTool
                                     : (m_dwToolMode & 0x30) ? kCursorPictureOutline
                                                             : kCursorBoxTool));
    return true;
  }
  if (Mode() != 0) return false;
  if (const int handle = HitTestHandles(x, y, false)) {
    SetCursor(m_pHost->Cursors().Get(HandleCursorId(handle)));
    return true;
  }
  if (HitTestObject(x, y) != nullptr) {
    SetCursor(m_pHost->Cursors().Get(kCursorMove));
    return true;
  }
  return false;
}

// --- the rubber band ---

bool CKmView::BeginRubberBand(int x, int y, bool clearSelection) {
  if (x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight()) {
    CancelLineBoxTool();
    return false;
  }
  if ((Mode() & kModeMarkByKeys) && m_pBandView) m_pBandView->EndMarking(false);
  SetLayoutMode(kModeRubberBand);
  if (clearSelection) {
    ClearSelection();
    UnmarkAllLines();
  }
  if (m_dwToolMode & 0x80) {
    // The line tool starts on the grid and on a band line's bottom.
    x = SnapXToGrid(*Layout(), x, kSnapNearest, AltKeyDown());
    y = SnapToolY(y, kSnapBottom);
  }
  m_ptLineEnd = POINT{x, y};
  m_nAnchorX = x;
  m_nAnchorY = y;
  m_rcBand = RECT{x, y, x + 1, y + 1};
  SetCapture(m_hWnd);
  return true;
}

void CKmView::UpdateRubberBand(int x, int y) {
  m_rcBand = RECT{std::min(m_nAnchorX, x), std::min(m_nAnchorY, y), std::max(m_nAnchorX, x), std::max(m_nAnchorY, y)};
  if (m_dwToolMode == 0) return;
  LayoutTables& t = *Layout();
  const bool alt = AltKeyDown();
  // A tool's outline keeps to the grid and to the band lines.
  if (t.scrollX == 0) m_rcBand.left = std::max<int>(m_rcBand.left, 0);
  if (t.scrollY == 0) m_rcBand.top = std::max<int>(m_rcBand.top, 0);
  m_rcBand.left = SnapXToGrid(t, m_rcBand.left, kSnapNearest, alt);
  m_rcBand.right = SnapXToGrid(t, m_rcBand.right, kSnapNearest, alt);
  m_rcBand.top = SnapToolY(m_rcBand.top, kSnapTop);
  m_rcBand.bottom = SnapToolY(m_rcBand.bottom, kSnapBottom);
  if (m_dwToolMode & 0x80) {
    const bool across = std::abs(x - m_nAnchorX) > std::abs(y - m_nAnchorY);
    m_ptLineEnd = POINT{SnapXToGrid(t, x, kSnapNearest, alt),
                        SnapToolY(y, across || y > m_nAnchorY ? kSnapBottom : kSnapTop)};
  }
}

void CKmView::RubberBandStep(int x, int y) {
  UpdateRubberBand(x, y);
  InvalidateRect(m_hWnd, nullptr, TRUE);
  SetCurrentLineAtY(std::clamp(y, 0, std::max(0, ClientHeight() - 1)));
  const bool outside = x < 0 || x >= ClientWidth() - 1 || y < 0 || y > ClientHeight();
  SetAutoScroll(outside, x, y);
}

const RECT* CKmView::DraggedOutline() const {
  const WORD mode = Layout() ? Layout()->modeWord : 0;
  if ((mode & kModeRubberBand) && (m_dwToolMode & 0x80)) return nullptr;  // drawn as a line
  if (mode & kModeRubberBand) {
    const bool visible = m_rcBand.right - m_rcBand.left > 2 || m_rcBand.bottom - m_rcBand.top > 2;
    return visible ? &m_rcBand : nullptr;
  }
  if ((mode & (kModeGraphicResize | kModeLineBoxResize | kModeFieldWidth)) && m_tracker.handle) return &m_tracker.outline;
  return nullptr;
}

bool CKmView::FinishOutline(int x, int y) {
  LayoutTables* t = Layout();
  if (t == nullptr) return false;
  SetAutoScroll(false, 0, 0);
  if (m_dwToolMode != 0) {
    // The armed tool makes its line or box from the drag.
    UpdateRubberBand(x, y);
    const RECT band = m_rcBand;
    m_rcBand = RECT{0, 0, 0, 0};
    ReleaseCapture();
    SetLayoutMode(0);
    if (m_dwToolMode & 0x80)
      CreateLineFromDrag(m_nAnchorX, m_nAnchorY, m_ptLineEnd.x, m_ptLineEnd.y);
    else if (m_dwToolMode & 0x30)
      FinishToolOutline(band);
    else
      AddLineOrBox(band, kItemKindBox);
    SetFocus(m_hWnd);
    m_pHost->UpdateFormatBar();
    return true;
  }
  RECT band = m_rcBand;
  if (band.bottom == band.top) band.top -= 1;
  if (band.right == band.left) band.right += 1;
  m_rcBand = RECT{0, 0, 0, 0};
  InvalidateRect(m_hWnd, nullptr, TRUE);
  std::vector<ReportItemHead*> order;
  for (ReportItemHead* h = t->orderHead; h != nullptr; h = h->nextInOrder)
    if (Live(*h)) order.push_back(h);
  ReportItemHead* last = nullptr;
  const bool tinyBand = band.right - band.left < 2 && band.bottom - band.top < 2;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    ReportItemHead& h = **it;
    RECT r = InflateObjectRect(h, false);
    if (!Intersects(r, band)) continue;
    const bool box = (h.flags & kItemKindBox) != 0;
    // A band drawn inside a box selects what lies inside, not the box.
    if (box && Contains(r, band) && !HitTestOne(h, x, y)) continue;
    const bool clickOnGraphic = (h.flags & kFramedKinds) && CountSelected(kFramedKinds) > 0 && tinyBand;
    SelectObject(h, !(h.flags & kItemSelected));
    last = &h;
    if (clickOnGraphic || (!box && Contains(r, band))) break;
  }
  if (last != nullptr) {
    if (last->flags & kItemSelected)
      MakeObjectCurrent(last);
    else
      t->currentItem = nullptr;
  }
  SetFocus(m_hWnd);
  m_pHost->UpdateFormatBar();
  ReleaseCapture();
  SetLayoutMode(0);
  if (last == nullptr)
    UpdateScrollBars();
  else
    UpdateCaretAndStatus(FALSE);
  if (m_pBandView) m_pBandView->RedrawBandPane();
  return last != nullptr;
}
