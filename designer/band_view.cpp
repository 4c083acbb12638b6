#include "designer/band_view.h"

#include "designer/design_view.h"
#include "designer/designer_cursors.h"
#include "designer/ruler_view.h"
#include "foundation/doc_base.h"
#include "foundation/text_helpers.h"
#include "layout/band_line_layout.h"
#include "platform/win/capture.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr const char* kBandClass = "KmBandPane";
constexpr int kGutter = 12;

void HLine(HDC dc, int x1, int x2, int y, HGDIOBJ pen) {
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, x1, y, nullptr);
  LineTo(dc, x2, y);
  SelectObject(dc, old);
}
}  // namespace

CBandView::~CBandView() { DestroyOwnWindow(); }

BOOL CBandView::Create(HWND parent, UINT id) {
  if (!RegisterPaneClass(kBandClass)) return FALSE;
  return CreateChild(kBandClass, WS_VISIBLE, parent, id);
}

LayoutTables* CBandView::Layout() const { return m_pDoc ? m_pDoc->m_pLayout : nullptr; }
HGDIOBJ CBandView::NamesFont() const {
  if (m_pDoc != nullptr && m_pDoc->m_hUiFont != nullptr) return m_pDoc->m_hUiFont;
  return GetStockObject(ANSI_VAR_FONT);
}
bool CBandView::ReportOpen() const { return m_pView && m_pView->ReportOpen(); }
bool CBandView::Busy() const { return m_pView == nullptr || m_pView->OutputRunning() || m_pView->Modal(); }

int CBandView::NamesWidth() const {
  if (!ReportOpen() || m_hWnd == nullptr) return 0;
  HDC dc = GetDC(m_hWnd);
  if (dc == nullptr) return 0;
  HGDIOBJ oldFont = SelectObject(dc, NamesFont());
  int widest = 0;
  for (int i = 0; i <= m_pView->LastUsedLine(); ++i) {
    const BandLineRec* r = m_pView->Line(i);
    if (r == nullptr || r->kind == kBandFree) break;
    char name[64];
    GetBandName(name, sizeof name, r->kind, [this](int level) { return m_pView->Host().GroupFieldName(level); });
    SIZE size{0, 0};
    if (GetTextExtentPoint32A(dc, name, static_cast<int>(std::strlen(name)), &size)) widest = std::max<int>(widest, size.cx);
  }
  SelectObject(dc, oldFont);
  ReleaseDC(m_hWnd, dc);
  // The name starts one pixel in and keeps a pixel clear of the gutter.
  return widest > 0 ? widest + 3 + kGutter : 0;
}

void CBandView::OnUpdate(int hint) {
  if (hint == kHintBandPane) RedrawBandPane();
}

void CBandView::RedrawBandPane() {
  if (IsWindow(m_hWnd)) InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CBandView::GetRulerOffset() const {
  if (m_pView == nullptr || m_pView->RulerView() == nullptr || m_pDoc == nullptr || !m_pDoc->m_settings.shHzRul)
    return 0;
  return m_pView->RulerView()->HorizontalBar().Shown() ? kRulerThickness : 0;
}

int CBandView::LineAtY(int y) const {
  LayoutTables* t = Layout();
  if (t == nullptr || t->Lines().lines == nullptr) return -1;
  const int line = std::min(BandAtY(t->Lines(), y - GetRulerOffset() + t->scrollY), m_pView->LastUsedLine());
  const BandLineRec* r = m_pView->Line(line);
  return r && r->kind != kBandFree ? line : -1;
}

// --- drawing ---

void CBandView::DrawEdgeMark(HDC dc, int right, int y, bool down) {
  HPEN blue = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
  for (int row = 0; row < 5; ++row) {
    const int yy = down ? y + row : y - row;
    HLine(dc, right - 9 + row, right - row, yy, blue);
  }
  DeleteObject(blue);
}

void CBandView::OnDraw(HDC dc) {
  RECT c;
  GetClientRect(m_hWnd, &c);
  if (!ReportOpen()) {
    FillRect(dc, &c, GetSysColorBrush(COLOR_WINDOW));
    return;
  }
  LayoutTables& t = *Layout();
  const int shift = GetRulerOffset();
  const int scroll = t.scrollY - shift;
  FillRect(dc, &c, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  HPEN dark = CreatePen(PS_SOLID, 1, RGB(0x55, 0x55, 0x55));
  HPEN white = static_cast<HPEN>(GetStockObject(WHITE_PEN));
  HPEN black = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  if (shift) HLine(dc, 0, c.right, shift - 1, black);
  HGDIOBJ old = SelectObject(dc, black);
  MoveToEx(dc, c.right - 11, 0, nullptr);
  LineTo(dc, c.right - 11, c.bottom);
  SelectObject(dc, dark);
  MoveToEx(dc, c.right - 12, 0, nullptr);
  LineTo(dc, c.right - 12, c.bottom);
  SelectObject(dc, old);
  HGDIOBJ oldFont = SelectObject(dc, NamesFont());
  SetBkMode(dc, TRANSPARENT);
  SetTextAlign(dc, TA_BASELINE);
  // A name sits on its line's baseline unless the report's font leaves less
  // room below it than the names' g, p and y need.
  TEXTMETRICA names{};
  GetTextMetricsA(dc, &names);

  // Shading: marked lines in the highlight colour, the current line grey.
  const int last = m_pView->LastUsedLine();
  const int caretLine = m_pView->CaretLine();
  for (int i = 0; i < kBandLineTableRecords; ++i) {
    const BandLineRec* r = m_pView->Line(i);
    int top = r->bottom - r->pixelHeight - scroll;
    const int bottom = r->bottom - scroll;
    if (top > c.bottom) break;
    top = std::max<int>(top, shift);
    if (bottom < top) continue;
    RECT strip{0, top, c.right - kGutter, bottom + 1};
    if (r->flags & kLineMarked) {
      HBRUSH hl = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
      FillRect(dc, &strip, hl);
      DeleteObject(hl);
    } else if (i == caretLine) {
      if (r->heightMode != 0 && r->kind != kBandFree) {
        strip.bottom = m_pView->CaretY() - scroll + 1;
        strip.top = std::max<int>(shift, strip.bottom - m_pView->TextLineHeight());
      }
      FillRect(dc, &strip, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    }
    if (i >= kBandLineCount - 1) break;
  }

  // Labels: "?" for a conditioned line, separators, band names on a band's last line.
  HPEN dotted = CreatePen(PS_DOT, 1, RGB(255, 255, 255));
  for (int i = 0; i <= last; ++i) {
    const BandLineRec* r = m_pView->Line(i);
    if (r->kind == kBandFree) break;
    const int base = r->baseline - scroll;
    if (r->bottom - r->pixelHeight - scroll > c.bottom) break;
    if (r->objectId != -1) {
      SetTextColor(dc, RGB(0, 0, 0));
      RECT gutter{c.right - 11, shift, c.right, c.bottom};
      ExtTextOutA(dc, c.right - 10, r->heightMode ? base - 5 : base, ETO_CLIPPED, &gutter, "?", 1, nullptr);
    }
    const BandLineRec* next = m_pView->Line(i + 1);
    if (next && next->kind == r->kind && i < last) {
      if (base >= shift) HLine(dc, 0, c.right - kGutter, base, dotted);
    } else {
      const int nextTop = r->bottom - scroll + 1;
      if (nextTop >= shift) {
        HLine(dc, 0, c.right, nextTop, black);
        HLine(dc, 0, c.right, nextTop + 1, white);
      }
      char name[64];
      GetBandName(name, sizeof name, r->kind, [this](int level) { return m_pView->Host().GroupFieldName(level); });
      SetTextColor(dc, (r->flags & kLineMarked) ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0));
      RECT clip{0, std::max(shift, r->bottom - r->pixelHeight - scroll), c.right - kGutter, r->bottom - scroll + 1};
      const int nameBase = std::min<int>(base, r->bottom - scroll - static_cast<int>(names.tmDescent));
      ExtTextOutA(dc, 1, nameBase, ETO_CLIPPED, &clip, name, static_cast<UINT>(std::strlen(name)), nullptr);
    }
  }
  // Freeform lines' edges, which can be dragged.
  for (int i = 0; i <= last; ++i) {
    const BandLineRec* r = m_pView->Line(i);
    if (r->kind == kBandFree) break;
    if (r->heightMode == 0) continue;
    const int top = r->bottom - r->pixelHeight - scroll;
    if (top > c.bottom) break;
    if (top + 1 >= shift) DrawEdgeMark(dc, c.right, top + 1, true);
    if (r->bottom - scroll - 1 >= shift) DrawEdgeMark(dc, c.right, r->bottom - scroll - 1, false);
  }
  SelectObject(dc, oldFont);
  DeleteObject(dotted);
  DeleteObject(dark);
}

// --- marking ---

bool CBandView::MarkLine(int line, bool mark) {
  LayoutTables* t = Layout();
  BandLineRec* r = const_cast<BandLineRec*>(m_pView ? m_pView->Line(line) : nullptr);
  if (t == nullptr || r == nullptr) return false;
  if (mark)
    r->flags |= kLineMarked;
  else
    r->flags &= static_cast<BYTE>(~kLineMarked);
  // Marking a line selects every item on it.
  bool changed = false;
  ForEachLayoutItem(*t, [&](ReportItemHead& h) {
    if (h.bandLine != line || ((h.flags & kItemSelected) != 0) == mark) return;
    m_pView->SelectObject(h, mark);
    changed = true;
  });
  m_pView->InvalidateLine(line);
  return changed;
}

void CBandView::ExtendMarking(int line) {
  if (m_pView == nullptr || line == m_nMarking) return;
  m_pView->EnsureLineVisible(line, nullptr);
  const int lo = std::min({m_nAnchor, m_nMarking < 0 ? m_nAnchor : m_nMarking, line});
  const int hi = std::max({m_nAnchor, m_nMarking < 0 ? m_nAnchor : m_nMarking, line});
  const int a = std::min(m_nAnchor, line), b = std::max(m_nAnchor, line);
  for (int i = lo; i <= hi; ++i) {
    const BandLineRec* r = m_pView->Line(i);
    if (r == nullptr || r->kind == kBandFree) continue;
    const bool want = i >= a && i <= b;
    if (((r->flags & kLineMarked) != 0) != want) MarkLine(i, want);
  }
  RedrawBandPane();
  m_nMarking = line;
}

void CBandView::BeginMarkLines(int, int y, bool clear, bool extend) {
  LayoutTables* t = Layout();
  const int line = LineAtY(y);
  if (t == nullptr || line < 0) return;
  t->currentLine = line;
  t->caretY = m_pView->Line(line)->bottom;
  SetCapture(m_hWnd);
  if (extend && m_pView->MarkedLineCount() > 0) {
    // Shift extends the marking from the line where it began.
    m_pView->SetLayoutMode(kModeMarkByMouse);
    m_nMarking = -1;
    ExtendMarking(line);
    return;
  }
  if (clear) {
    m_pView->ClearSelection();
    m_pView->UnmarkAllLines();
  }
  MarkLine(line, true);
  m_pView->SetLayoutMode(kModeMarkByMouse);
  RedrawBandPane();
  m_nMarking = m_nAnchor = line;
}

void CBandView::EndMouseMarking() {
  m_nMarking = -1;
  m_pView->SetLayoutMode(0);
  SyncMarkedLines();
  m_pView->UpdateCaretAndStatus(TRUE);
  ReleaseCapture();
}

void CBandView::SyncMarkedLines() {
  LayoutTables* t = Layout();
  if (t == nullptr || m_pView == nullptr) return;
  if (m_pView->MarkedLineCount() > 0) {
    const int anchor = std::clamp(m_nAnchor, 0, m_pView->LastUsedLine());
    t->currentLine = anchor;
    t->caretY = m_pView->Line(anchor)->bottom;
    m_pView->EnsureLineVisible(anchor, nullptr);
  }
}

void CBandView::BeginKeyboardMarking(bool clear) {
  LayoutTables* t = Layout();
  if (t == nullptr || m_pView == nullptr) return;
  const BandLineRec* current = m_pView->Line(t->currentLine);
  if (current == nullptr || m_pView->Line(0)->kind == kBandFree) return;
  m_pView->SetLayoutMode(kModeMarkByKeys);
  if (t->currentLine > m_pView->LastUsedLine()) {
    t->currentLine = m_pView->LastUsedLine();
    t->caretY = m_pView->Line(t->currentLine)->baseline;
  }
  if (clear) {
    m_pView->ClearSelection();
    m_pView->UnmarkAllLines();
  }
  MarkLine(t->currentLine, true);
  RedrawBandPane();
  m_nMarking = m_nAnchor = t->currentLine;
  if (m_pDoc) m_pDoc->SetStatusText(LoadResString(8220).c_str());
}

void CBandView::EndMarking(bool keepMode) {
  if (m_pView == nullptr) return;
  if (!keepMode) {
    m_pView->SetLayoutMode(0);
    m_pView->UpdateCaretAndStatus(TRUE);
    RedrawBandPane();
  }
  m_nMarking = -1;
  SyncMarkedLines();
}

// --- mouse ---

void CBandView::OnLButtonDown(WPARAM keys, int x, int y) {
  if (!ReportOpen() || Busy() || m_bLButtonDown || (m_pView->Mode() & kModeBlocksPress)) return;
  // A text being typed on the layout is stored, and that is all the press does.
  if (m_pView->EditorOpen()) {
    m_pView->EndTextEdit(true);
    return;
  }
  m_bLButtonDown = TRUE;
  if (m_pView->Mode() & kModeMarkByKeys) EndMarking(false);
  // A press on a freeform line's edge drags the line's height instead of marking.
  m_pView->InstallLayoutHooks();
  if (m_lineDrag.Press(*Layout(), DragWindows(), y - GetRulerOffset())) return;
  BeginMarkLines(x, y, !(keys & 8), (keys & 4) != 0);
}

LineDragView& CBandView::DragWindows() {
  if (!m_pDragWindows) {
    HCURSOR edge = m_pView->Host().Cursors().Get(kCursorBandEdge);
    m_pDragWindows = std::make_unique<WindowLineDragView>(m_hWnd, m_pView->m_hWnd, edge, edge);
  }
  return *m_pDragWindows;
}

void CBandView::OnLButtonUp() {
  if (m_lineDrag.Active()) {
    m_lineDrag.Release(*Layout(), DragWindows());
    if (m_pDoc && m_pDoc->m_settings.shVtRul) m_pDoc->UpdateViewsByHint(kHintVerticalRuler, nullptr);
  } else if (ReportOpen() && !Busy() && m_bLButtonDown && !(m_pView->Mode() & kModeBlocksRelease) &&
             (m_pView->Mode() & kModeMarkByMouse)) {
    EndMouseMarking();
  }
  if (m_pView && IsWindow(m_pView->m_hWnd)) SetFocus(m_pView->m_hWnd);
  m_bLButtonDown = FALSE;
}

void CBandView::OnMouseMove(int, int y) {
  if (m_pView == nullptr || !ReportOpen()) return;
  // The pane and the layout view share their rows below the ruler.
  if (m_lineDrag.Active()) {
    m_lineDrag.Track(*Layout(), DragWindows(), y - GetRulerOffset());
    return;
  }
  if (!Busy() && !(m_pView->Mode() & kModeMouseAction)) m_lineDrag.HoverEdge(*Layout(), DragWindows(), y - GetRulerOffset());
  if (!(m_pView->Mode() & kModeMarkByMouse) || y < 0) return;
  const int line = LineAtY(y);
  if (line >= 0) ExtendMarking(line);
}

void CBandView::OnRButtonDown(int x, int y) {
  if (!ReportOpen() || Busy() || m_bLButtonDown) return;
  // Text being typed in place keeps the right click: no popup over it.
  if (m_pView->EditorOpen()) {
    m_pView->KeepKeysInEditor();
    return;
  }
  m_bRButtonDown = TRUE;
  if (m_pView->Mode() & kModeMarkByKeys) EndMarking(false);
  m_pView->ShowLinePopupMenu(x, y);
  m_bRButtonDown = FALSE;
}

LRESULT CBandView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_hWnd, &ps);
      if (dc) OnDraw(dc);
      EndPaint(m_hWnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      OnLButtonDown(wParam, x, y);
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp();
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(x, y);
      return 0;
    case WM_RBUTTONDOWN:
      OnRButtonDown(x, y);
      return 0;
    case WM_RBUTTONUP:
      m_bRButtonDown = FALSE;
      break;
    case WM_MOUSEWHEEL:
      if (m_pView) return SendMessageA(m_pView->m_hWnd, msg, wParam, lParam);
      break;
    default:
      break;
  }
  return DefWindowProcA(m_hWnd, msg, wParam, lParam);
}
