#include "designer/ruler_view.h"

#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr const char* kRulerViewClass = "KmRulerView";
constexpr const char* kRulerBarClass = "KmRulerBar";
constexpr UINT kHBarId = 0x8004;
constexpr UINT kVBarId = 0x8005;
constexpr UINT kLayoutViewId = 0xE900;

bool RegisterClasses() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA view{};
    view.lpfnWndProc = DefWindowProcA;
    view.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    view.lpszClassName = kRulerViewClass;
    WNDCLASSA bar{};
    bar.style = 0x0008;
    bar.lpfnWndProc = DefWindowProcA;
    bar.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    bar.lpszClassName = kRulerBarClass;
    registered = RegisterClassA(&view) != 0 && RegisterClassA(&bar) != 0;
  }
  return registered;
}

void Line(HDC dc, int x1, int y1, int x2, int y2, HGDIOBJ pen) {
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  SelectObject(dc, old);
}
}  // namespace

// --- the bars ---

CRulerBar::~CRulerBar() { DestroyOwnWindow(); }

BOOL CRulerBar::Create(HWND parent, KmDocBase* doc, DWORD style) {
  if (!RegisterClasses()) return FALSE;
  m_pDoc = doc;
  m_dwStyle = style & ~0x0F00u;
  const UINT id = Horizontal() ? kHBarId : kVBarId;
  return CreateChild(kRulerBarClass, 0, parent, id);
}

bool CRulerBar::Shown() const { return IsWindow(m_hWnd) && (GetWindowLongA(m_hWnd, GWL_STYLE) & WS_VISIBLE); }

LayoutTables* CRulerBar::Layout() const { return m_pDoc ? m_pDoc->m_pLayout : nullptr; }

int CRulerBar::Offset() const {
  if (m_pSibling == nullptr || !m_pSibling->Shown()) return 0;
  RECT r;
  GetClientRect(m_pSibling->m_hWnd, &r);
  return r.right + 1;
}

int CRulerBar::TickX(int k) const {
  const LayoutTables* t = Layout();
  if (t == nullptr) return 0;
  return Offset() + k * std::max(1, CharCellWidth(t->metrics, 1)) - t->scrollX;
}

void CRulerBar::SetMarker(int x) {
  if (x == m_nMarker) return;
  if (!Shown()) {
    m_nMarker = x;
    return;
  }
  const int s = Offset();
  if (m_nMarker >= 0) {
    RECT old{s + m_nMarker - 2, 2, s + m_nMarker + 3, kRulerThickness - 3};
    InvalidateRect(m_hWnd, &old, TRUE);
  }
  m_nMarker = x;
  RECT now{s + x - 2, 2, s + x + 3, kRulerThickness - 3};
  InvalidateRect(m_hWnd, &now, TRUE);
}

void CRulerBar::OnPaint(HDC dc, const RECT& paint) {
  const LayoutTables* t = Layout();
  if (t == nullptr || m_pDoc == nullptr || !m_pDoc->m_bReportOpen) {
    RECT c;
    GetClientRect(m_hWnd, &c);
    FillRect(dc, &c, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    return;
  }
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(ANSI_VAR_FONT));
  SetBkMode(dc, TRANSPARENT);
  if (Horizontal())
    PaintHorizontal(dc, paint);
  else
    PaintVertical(dc, paint);
  SelectObject(dc, oldFont);
}

void CRulerBar::PaintHorizontal(HDC dc, const RECT& paint) {
  const LayoutTables& t = *Layout();
  RECT c;
  GetClientRect(m_hWnd, &c);
  c.right -= 1;
  c.bottom -= 1;
  const int s = Offset();
  HGDIOBJ black = GetStockObject(BLACK_PEN), white = GetStockObject(WHITE_PEN);
  RECT fill{c.left, c.top, c.right + 1, c.bottom + 1};
  FillRect(dc, &fill, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  Line(dc, c.left, c.bottom, c.right + 1, c.bottom, black);
  Line(dc, s, c.top, s, c.bottom, black);
  Line(dc, c.left, c.top, c.right + 1, c.top, white);
  const int cell = std::max(1, CharCellWidth(t.metrics, 1));
  const int pitch = GridPitch(t.metrics);
  const bool halves = pitch % 2 == 0;
  const int margin = m_pDoc->m_pageMetrics.printableWidth;
  const int first = std::max(0, (t.scrollX + paint.left - s) / cell - 1);
  for (int k = first;; ++k) {
    const int x = s + k * cell - t.scrollX;
    if (x > paint.right || x > c.right) break;
    if (x < s) continue;
    RECT clip{s, c.top, c.right, c.bottom};
    if (k == margin && margin > 0) {
      Line(dc, x, c.top + 5, x, c.bottom, black);
      if (x + 1 <= c.right) Line(dc, x + 1, c.top + 5, x + 1, c.bottom, white);
      SetTextColor(dc, RGB(255, 255, 255));
      SetTextAlign(dc, TA_TOP | TA_LEFT);
      ExtTextOutA(dc, x + 2, c.top + 4, ETO_CLIPPED, &clip, "R", 1, nullptr);
    } else if (k % pitch == 0) {
      char label[16];
      std::snprintf(label, sizeof label, "%d", k / pitch);
      // At most two characters (one below 10).
      const UINT n = std::min<UINT>(static_cast<UINT>(std::strlen(label)), 2);
      SetTextColor(dc, RGB(0, 0, 0));
      SetTextAlign(dc, TA_TOP | TA_LEFT);
      ExtTextOutA(dc, x + 2, c.top + 4, ETO_CLIPPED, &clip, label, n, nullptr);
      if (k != 0) Line(dc, x, c.top + 5, x, c.bottom, black);
    } else {
      const int from = (halves && k % pitch == pitch / 2) ? c.bottom - 7 : c.bottom - 3;
      Line(dc, x, from, x, c.bottom, black);
      if (x + 1 <= c.right) Line(dc, x + 1, from, x + 1, c.bottom, white);
    }
  }
  if (m_nMarker >= 0) {
    HBRUSH grey = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
    RECT m{s + m_nMarker - 1, c.bottom - 18, s + m_nMarker + 2, c.bottom - 3};
    if (m.left >= s) FillRect(dc, &m, grey);
    DeleteObject(grey);
  }
}

void CRulerBar::PaintVertical(HDC dc, const RECT& paint) {
  const LayoutTables& t = *Layout();
  const BandLineTable& table = t.Lines();
  if (table.lines == nullptr) return;
  RECT c;
  GetClientRect(m_hWnd, &c);
  c.right -= 1;
  c.bottom -= 1;
  HGDIOBJ black = GetStockObject(BLACK_PEN), white = GetStockObject(WHITE_PEN);
  HPEN dark = CreatePen(PS_SOLID, 1, RGB(0x55, 0x55, 0x55));
  RECT fill{c.left, c.top, c.right + 1, c.bottom + 1};
  FillRect(dc, &fill, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  Line(dc, c.left, c.top, c.left, c.bottom + 1, dark);
  Line(dc, c.right, c.top, c.right, c.bottom + 1, black);
  Line(dc, c.left + 1, c.top, c.left + 1, c.bottom + 1, white);
  // Marked at the spacing the user chose for this ruler; the layout's own
  // text line stays what the report prints with.
  LayoutMetrics ruler = t.metrics;
  ruler.linesPerInch = m_pDoc->m_settings.vRulPit;
  const int lh = std::max(1, LineHeightPixels(ruler));
  const int pitch = GridLinesPerInch(ruler);
  const bool halves = pitch % 2 == 0;
  const int lastUsed = std::clamp(table.lastUsed, 0, kBandLineCount - 1);
  const int last = table.lines[lastUsed].bottom;
  // Band starts: the top of every line whose band differs from the line above
  // (a growable list, so a table read from a file with unsorted bands cannot overflow it).
  std::vector<int> starts;
  for (int i = 1; i <= lastUsed; ++i)
    if (table.lines[i].kind != table.lines[i - 1].kind)
      starts.push_back(table.lines[i].bottom - table.lines[i].pixelHeight);
  starts.push_back(last);
  SetTextColor(dc, RGB(0, 0, 0));
  SetTextAlign(dc, TA_TOP | TA_LEFT);
  size_t next = 0;
  // Walk the layout from the top of the visible part.
  int b = 0;
  int y = 0;
  for (; y < t.scrollY && y <= last; ++y) {
    if (next < starts.size() && b != 0 && y == starts[next]) {
      b = 0;
      ++next;
    }
    ++b;
  }
  for (int sy = c.top; y <= last && sy <= std::min<int>(paint.bottom, c.bottom); ++y) {
    if (next < starts.size() && b != 0 && y == starts[next]) {
      Line(dc, c.left, sy, c.right, sy, black);
      Line(dc, c.left, sy + 1, c.right, sy + 1, white);
      if (next + 1 < starts.size()) TextOutA(dc, c.left + 4, sy + 1, "0", 1);
      b = 0;
      ++next;
      continue;
    }
    if (b % lh == 0) {
      const int n = b / lh;
      if (n % pitch == 0) {
        if (n == 0) {
          if (y != last) TextOutA(dc, c.left + 4, sy + 1, "0", 1);
        } else {
          Line(dc, c.left + 5, sy, c.right, sy, black);
          char label[16];
          std::snprintf(label, sizeof label, "%d", n / pitch);
          SetTextAlign(dc, TA_BOTTOM | TA_LEFT);
          TextOutA(dc, c.left + 4, sy - 1, label, std::min(2, static_cast<int>(std::strlen(label))));
          SetTextAlign(dc, TA_TOP | TA_LEFT);
        }
      } else {
        const int from = (halves && n % pitch == pitch / 2) ? c.right - 7 : c.right - 3;
        Line(dc, from, sy, c.right, sy, black);
      }
    }
    ++sy;
    ++b;
  }
  DeleteObject(dark);
}

LRESULT CRulerBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (dc) OnPaint(dc, ps.rcPaint);
    EndPaint(m_hWnd, &ps);
    return 0;
  }
  // A double click or a right click asks for the ruler's spacing.
  if (msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN) {
    const LRESULT r = DefWindowProcA(m_hWnd, msg, wParam, lParam);
    if (m_pView != nullptr) m_pView->OnRulerSpacing(!Horizontal());
    return r;
  }
  return DefWindowProcA(m_hWnd, msg, wParam, lParam);
}

// --- the pane ---

CRulerView::~CRulerView() { DestroyOwnWindow(); }

BOOL CRulerView::Create(HWND parent, UINT id, CKmView* view, KmDocBase* doc) {
  if (!RegisterClasses() || view == nullptr) return FALSE;
  m_pView = view;
  m_pDoc = doc;
  if (!CreateChild(kRulerViewClass, WS_VISIBLE, parent, id)) return FALSE;
  if (!view->Create(m_hWnd, kLayoutViewId)) return FALSE;
  m_wndHBar.SetSibling(&m_wndVBar);
  m_wndHBar.SetView(view);
  m_wndVBar.SetView(view);
  m_wndVBar.SetSibling(&m_wndHBar);
  if (!m_wndHBar.Create(m_hWnd, doc, kBarTop) || !m_wndVBar.Create(m_hWnd, doc, kBarLeft)) return FALSE;
  m_hHScroll = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, 0, 0, m_hWnd, nullptr,
                               nullptr, nullptr);
  m_hVScroll = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, 0, 0, m_hWnd, nullptr,
                               nullptr, nullptr);
  if (m_hHScroll == nullptr || m_hVScroll == nullptr) return FALSE;
  view->SetScrollBars(m_hHScroll, m_hVScroll);
  return TRUE;
}

void CRulerView::ShowBar(CRulerBar& bar, bool show) {
  if (!IsWindow(bar.m_hWnd)) return;
  ShowWindow(bar.m_hWnd, show ? SW_SHOWNOACTIVATE : SW_HIDE);
  RepositionBars();
}

void CRulerView::RepositionBars() {
  if (!IsWindow(m_hWnd)) return;
  RECT c;
  GetClientRect(m_hWnd, &c);
  const bool hBar = m_wndHBar.Shown(), vBar = m_wndVBar.Shown();
  const bool hScroll = m_pDoc == nullptr || m_pDoc->m_settings.scrBarHz;
  const bool vScroll = m_pDoc == nullptr || m_pDoc->m_settings.scrBarVt;
  const int sbw = vScroll ? GetSystemMetrics(SM_CXVSCROLL) : 0;
  const int sbh = hScroll ? GetSystemMetrics(SM_CYHSCROLL) : 0;
  const int top = hBar ? kRulerThickness : 0;
  const int left = vBar ? kRulerThickness : 0;
  const int w = std::max<int>(0, c.right - left - sbw), h = std::max<int>(0, c.bottom - top - sbh);
  if (hBar) MoveWindow(m_wndHBar.m_hWnd, 0, 0, std::max<int>(0, c.right - sbw), kRulerThickness, TRUE);
  if (vBar) MoveWindow(m_wndVBar.m_hWnd, 0, top, kRulerThickness, h, TRUE);
  ShowWindow(m_hHScroll, hScroll ? SW_SHOWNOACTIVATE : SW_HIDE);
  ShowWindow(m_hVScroll, vScroll ? SW_SHOWNOACTIVATE : SW_HIDE);
  if (hScroll) MoveWindow(m_hHScroll, left, top + h, w, sbh, TRUE);
  if (vScroll) MoveWindow(m_hVScroll, left + w, top, sbw, h, TRUE);
  if (m_pView && IsWindow(m_pView->m_hWnd)) MoveWindow(m_pView->m_hWnd, left, top, w, h, TRUE);
}

void CRulerView::OnUpdate(int hint) {
  if ((hint == kHintHorizontalRuler || hint == kHintLayoutAndHorizontalRuler) && m_wndHBar.Shown())
    InvalidateRect(m_wndHBar.m_hWnd, nullptr, TRUE);
  if ((hint == kHintVerticalRuler || hint == kHintLayoutAndVerticalRuler) && m_wndVBar.Shown())
    InvalidateRect(m_wndVBar.m_hWnd, nullptr, TRUE);
}

LRESULT CRulerView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      DefWindowProcA(m_hWnd, msg, wParam, lParam);
      RepositionBars();
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      // The layout view's own scroll bars stand beside it in this pane.
      if (m_pView) return SendMessageA(m_pView->m_hWnd, msg, wParam, lParam);
      return 0;
    default:
      return DefWindowProcA(m_hWnd, msg, wParam, lParam);
  }
}
