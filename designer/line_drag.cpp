#include "designer/line_drag.h"

#include "layout/band_line_layout.h"
#include "platform/win/capture.h"
#include "platform/win/cursor.h"
#include "platform/win/gdi.h"

#include <algorithm>

int LineEdgeDrag::HoverEdge(const LayoutTables& t, LineDragView& v, int y) const {
  int line = 0;
  const int edge = Active() ? edge_ : HitTestLineEdge(t, y, &line);
  v.SetEdgeCursor(edge);
  return edge;
}

bool LineEdgeDrag::Press(LayoutTables& t, LineDragView& v, int y) {
  if (Active()) return false;
  int line = 0;
  const int edge = HitTestLineEdge(t, y, &line);
  if (edge == 0) return false;
  v.CaptureMouse(true);
  t.modeWord = kModeLineEdgeDrag;
  line_ = line;
  edge_ = edge;
  lowestY_ = y;
  v.ToggleDragLine(y);
  lastY_ = y;
  erased_ = false;
  return true;
}

void LineEdgeDrag::EraseLine(LineDragView& v) {
  if (!erased_ && lastY_ >= 0) v.ToggleDragLine(lastY_);
  erased_ = true;
}

void LineEdgeDrag::AutoScroll(LayoutTables& t, LineDragView& v, bool up) {
  const int step = 2 * t.DefaultLineHeight();
  if (up) {
    t.scrollY = std::max(0, t.scrollY - step);
  } else {
    // Not past the end of all laid-out entries.
    const int end = t.bandRecords[kBandLineTableRecords - 1].bottom - v.LayoutClientHeight();
    t.scrollY = std::max(t.scrollY, std::min(t.scrollY + step, end));
  }
  t.Hooks().UpdateScrollBars();
  v.RedrawPanes();
  // The redraw took the dotted line away, whether or not the panes moved.
  erased_ = true;
}

void LineEdgeDrag::Track(LayoutTables& t, LineDragView& v, int y) {
  if (!Active()) return;
  if (y < 0) {
    AutoScroll(t, v, true);
    return;
  }
  if (y >= v.LayoutClientHeight()) {
    AutoScroll(t, v, false);
    return;
  }
  if (y == lastY_ && !erased_) return;
  EraseLine(v);
  v.ToggleDragLine(y);
  lastY_ = y;
  erased_ = false;
  lowestY_ = std::max(lowestY_, y);
}

bool LineEdgeDrag::Release(LayoutTables& t, LineDragView& v) {
  if (!Active()) return false;
  EraseLine(v);
  v.SetEdgeCursor(0);
  v.CaptureMouse(false);
  t.modeWord = 0;
  const bool changed = EndLineDrag(t, line_, edge_, lastY_);
  line_ = -1;
  edge_ = 0;
  v.UpdateAfterDrop();
  return changed;
}

void LineEdgeDrag::Cancel(LayoutTables& t, LineDragView& v) {
  if (!Active()) return;
  EraseLine(v);
  v.SetEdgeCursor(0);
  v.CaptureMouse(false);
  t.modeWord = 0;
  line_ = -1;
  edge_ = 0;
}

// ---- over the window layer

void WindowLineDragView::CaptureMouse(bool on) {
  if (on) SetCapture(pane_);
  else if (GetCapture() == pane_) ReleaseCapture();
}

int WindowLineDragView::LayoutClientWidth() {
  RECT r{};
  return GetClientRect(view_, &r) ? r.right - r.left : 0;
}

int WindowLineDragView::LayoutClientHeight() {
  RECT r{};
  return GetClientRect(view_, &r) ? r.bottom - r.top : 0;
}

void WindowLineDragView::ToggleDragLine(int y) {
  if (y == drawnY_) {
    // Redrawing the view takes the line away.
    InvalidateRect(view_, nullptr, TRUE);
    drawnY_ = -1;
    return;
  }
  if (drawnY_ >= 0) InvalidateRect(view_, nullptr, TRUE);
  HDC dc = GetDC(view_);
  if (dc == nullptr) return;
  HPEN pen = CreatePen(PS_DOT, 1, 0);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, 0, y, nullptr);
  LineTo(dc, LayoutClientWidth(), y);
  SelectObject(dc, old);
  DeleteObject(pen);
  ReleaseDC(view_, dc);
  drawnY_ = y;
}

void WindowLineDragView::SetEdgeCursor(int edge) {
  HCURSOR c = edge == 1 ? topCursor_ : edge == 2 ? bottomCursor_ : nullptr;
  SetCursor(c != nullptr ? c : LoadCursorA(nullptr, IDC_ARROW));
}

void WindowLineDragView::RedrawPanes() {
  InvalidateRect(view_, nullptr, TRUE);
  InvalidateRect(pane_, nullptr, TRUE);
  drawnY_ = -1;
}

void WindowLineDragView::UpdateAfterDrop() {
  RedrawPanes();
  UpdateWindow(view_);
  UpdateWindow(pane_);
}
