// Scrolling the layout: by character cells across and line pitches down, the
// scroll bars kept in step (the vertical bar counts tens of pixels), bringing
// a line or a column into sight, and the redraw helpers of the panes.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "designer/ruler_view.h"
#include "foundation/doc_base.h"
#include "layout/page_metrics.h"
#include "layout/band_line_layout.h"
#include "platform/win/dialog.h"

#include <algorithm>

namespace {
constexpr int kVerticalUnit = 10;
constexpr int kWheelStep = 120;
}  // namespace

void CKmView::UpdateScrollBars() {
  if (!ReportOpen()) return;
  const BandLineRec* last = Line(LastUsedLine());
  // A client larger than the layout scrolls nowhere: the ranges stay at 0.
  if (IsWindow(m_hHScroll)) {
    SetScrollRange(m_hHScroll, SB_CTL, 0, std::max(0, LayoutWidth() - ClientWidth()), FALSE);
    SetScrollPos(m_hHScroll, SB_CTL, ScrollX(), TRUE);
  }
  if (IsWindow(m_hVScroll)) {
    const int bottom = last ? last->bottom : 0;
    SetScrollRange(m_hVScroll, SB_CTL, 0, std::max(0, (bottom - ClientHeight()) / kVerticalUnit), FALSE);
    SetScrollPos(m_hVScroll, SB_CTL, ScrollY() / kVerticalUnit, TRUE);
  }
}

bool CKmView::HScrollLayout(int code, int position) {
  LayoutTables* t = Layout();
  if (t == nullptr) return false;
  const int cell = CellWidth();
  const int largest = std::max(0, SnapToCharCell(t->metrics, LayoutWidth() - ClientWidth()));
  const int old = t->scrollX;
  int x = old;
  switch (code) {
    case SB_LINELEFT: if (x > 0) x = std::max(0, x - cell); break;
    case SB_LINERIGHT: if (x < largest) x = std::min(largest, x + cell); break;
    case SB_PAGELEFT: if (x > 0) x = x > 20 * cell ? x - 20 * cell : 0; break;
    case SB_PAGERIGHT: if (x < largest) x = std::min(largest, x + 20 * cell); break;
    case SB_THUMBPOSITION: x = std::clamp(position, 0, largest); break;
    case SB_LEFT: x = 0; break;
    case SB_RIGHT: x = largest; break;
    default: return false;
  }
  if (x == old) return false;
  t->scrollX = x;
  RedrawLayoutAndHRuler();
  UpdateCaretAndStatus(FALSE);
  return true;
}

bool CKmView::VScrollLayout(int code, int position) {
  LayoutTables* t = Layout();
  const BandLineRec* end = Line(kBandLineCount - 1);
  if (t == nullptr || end == nullptr) return false;
  const int pitch = LinePitch();
  // Every line of the table can be scrolled to; the bar's range covers the used ones.
  const int largest = std::max(0, end->bottom - ClientHeight());
  const int old = t->scrollY;
  int y = old;
  switch (code) {
    case SB_LINEUP: if (y > 0) y = std::max(0, y - pitch); break;
    case SB_LINEDOWN: if (y < largest) y = std::min(largest, y + pitch); break;
    case SB_PAGEUP:
      if (y > 0) y = (LastUsedLine() > 0 && y > 10 * pitch) ? y - 10 * pitch : 0;
      break;
    case SB_PAGEDOWN: if (y < largest) y = std::min(largest, y + 10 * pitch); break;
    case SB_THUMBPOSITION: y = std::clamp(position * kVerticalUnit, 0, std::max(largest, 0)); break;
    case SB_TOP: y = 0; break;
    case SB_BOTTOM: y = largest; break;
    default: return false;
  }
  if (y == old) return false;
  t->scrollY = y;
  RedrawAllPanes();
  UpdateCaretAndStatus(FALSE);
  return true;
}

void CKmView::OnScrollMessage(bool vertical, int code, int position) {
  if (!Guards()) return;
  if ((Mode() & kModeMarkByKeys) && m_pBandView) m_pBandView->EndMarking(false);
  if (Mode() & (kModeFontBox | kModeSizeBox)) SetFocus(m_hWnd);
  if (vertical)
    VScrollLayout(code, position);
  else
    HScrollLayout(code, position);
}

void CKmView::OnMouseWheel(int delta, WPARAM keys) {
  if (!Guards() || delta == 0) return;
  // A notch is three line pitches down or up; with Shift, three cells across.
  const int notches = std::max(1, std::abs(delta) / kWheelStep);
  for (int i = 0; i < 3 * notches; ++i) {
    if (keys & 4)
      HScrollLayout(delta < 0 ? SB_LINERIGHT : SB_LINELEFT, 0);
    else
      VScrollLayout(delta < 0 ? SB_LINEDOWN : SB_LINEUP, 0);
  }
}

bool CKmView::EnsureLineVisible(int line, const ReportItemHead* item) {
  LayoutTables* t = Layout();
  const BandLineRec* r = Line(line);
  if (t == nullptr || r == nullptr) return false;
  if (item && (item->flags & kItemGraphicKinds)) return false;
  int height = 0, bottom = 0;
  if (item) {
    height = item->height;
    bottom = item->bottom;
  } else if (r->heightMode == 0 || r->kind == kBandFree) {
    height = r->pixelHeight;
    bottom = r->bottom;
  } else if (Mode() & kModeMarkByMouse) {
    height = r->pixelHeight;
    bottom = r->bottom;
  } else {
    height = TextLineHeight();
    bottom = t->caretY;
  }
  const int top = bottom - height;
  const int visibleTop = t->scrollY, visibleBottom = t->scrollY + ClientHeight();
  int y = t->scrollY;
  if (top >= visibleTop) {
    if (bottom >= visibleBottom) y += bottom - visibleBottom + 1;
  } else if (!(height >= ClientHeight() && bottom >= visibleTop && bottom < visibleBottom)) {
    y = std::max(0, y - (visibleTop - top - 1));
  }
  if (y == t->scrollY) return false;
  t->scrollY = y;
  RedrawAllPanes();
  return true;
}

bool CKmView::EnsureXVisible(int x, bool alignRight) {
  LayoutTables* t = Layout();
  if (t == nullptr) return false;
  const int visible = ClientWidth() - 2;
  if (x >= t->scrollX && x <= t->scrollX + visible) return false;
  const int old = t->scrollX;
  t->scrollX = x < visible ? 0 : (alignRight ? x - visible : x);
  if (t->scrollX == old) return false;
  RedrawLayoutAndHRuler();
  return true;
}

void CKmView::InvalidateLine(int line) {
  const BandLineRec* r = Line(line);
  const BandLineRec* next = Line(std::min(line + 1, kBandLineCount - 1));
  if (r == nullptr || next == nullptr || m_pDoc == nullptr) return;
  m_rcInvalid = RECT{0, r->bottom - r->pixelHeight - ScrollY(), ClientWidth(), next->bottom - ScrollY() + 1};
  m_pDoc->UpdateViewsByHint(kHintStoredRect, this);
}

void CKmView::RedrawLayoutAndHRuler() {
  if (m_pDoc == nullptr) return;
  m_pDoc->UpdateViewsByHint(kHintLayoutAll, this);
  if (m_pDoc->m_settings.shHzRul) m_pDoc->UpdateViewsByHint(kHintHorizontalRuler, this);
}

void CKmView::RedrawAllPanes() {
  if (m_pDoc == nullptr) return;
  m_pDoc->UpdateViewsByHint(kHintLayoutAll, this);
  m_pDoc->UpdateViewsByHint(kHintBandPane, this);
  if (m_pDoc->m_settings.shVtRul) m_pDoc->UpdateViewsByHint(kHintVerticalRuler, this);
}

void CKmView::ToggleHorizontalRuler() {
  if (m_pDoc == nullptr) return;
  m_pDoc->m_settings.shHzRul = m_pDoc->m_settings.shHzRul ? 0 : 1;
  if (m_pRulerView) m_pRulerView->ShowBar(m_pRulerView->HorizontalBar(), m_pDoc->m_settings.shHzRul != 0);
  DestroyCaretIfOwned();
  if (LayoutTables* t = Layout()) RelayoutAfterFontChange(*t, false, kNoAnchor);
  m_pDoc->UpdateViewsByHint(kHintLayoutAll, this);
  m_pDoc->UpdateViewsByHint(kHintBandPane, this);
  UpdateCaretAndStatus(FALSE);
}

void CKmView::ToggleVerticalRuler() {
  if (m_pDoc == nullptr) return;
  m_pDoc->m_settings.shVtRul = m_pDoc->m_settings.shVtRul ? 0 : 1;
  if (m_pRulerView) m_pRulerView->ShowBar(m_pRulerView->VerticalBar(), m_pDoc->m_settings.shVtRul != 0);
  m_pDoc->UpdateViewsByHint(kHintHorizontalRuler, this);
  DestroyCaretIfOwned();
  UpdateCaretAndStatus(FALSE);
}

void CKmView::OnRulerSpacing(bool vertical) {
  if (!ReportOpen() || OutputRunning() || Modal()) return;
  if (EditorOpen()) EndTextEdit(true);
  LayoutTables& t = *Layout();
  const DocSettings& s = m_pDoc->m_settings;
  const int across = s.rulPit, down = s.vRulPit;
  if (!m_pHost->EditRulerSpacing(vertical)) {
    UpdateCaretAndStatus(FALSE);
    return;
  }
  // The grid took the spacings the dialog stored; the caret stays on a cell.
  CalcPageMetrics(*m_pDoc);
  m_nCaretX = SnapToCharCell(t.metrics, m_nCaretX);
  UpdateCaretAndStatus(FALSE);
  // The spacings as shown, confirmed, change nothing.
  if (across == s.rulPit && down == s.vRulPit) return;
  m_pDoc->SetModifiedFlag(TRUE);
  m_pDoc->UpdateViewsByHint(kHintRulerSpacing, this);
  if (across != s.rulPit) m_pDoc->UpdateViewsByHint(kHintHorizontalRuler, this);
  if (down != s.vRulPit) m_pDoc->UpdateViewsByHint(kHintVerticalRuler, this);
}
