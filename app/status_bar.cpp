#include "app/status_bar.h"

#include "app/document.h"
#include "foundation/heap_strings.h"
#include "foundation/startup.h"
#include "foundation/text_helpers.h"
#include "foundation/units.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
constexpr const char* kClassName = "KmStatusBar";
constexpr int kMainTextMax = 100;
constexpr int kPositionMax = 31;
constexpr UINT kNormalIds[4] = {kIndicatorSeparator, kIndicatorPosition, kIndicatorCaps, kIndicatorNum};

void CopyCut(char* out, const char* text, size_t max) {
  size_t n = text ? std::min(std::strlen(text), max) : 0;
  if (n) std::memcpy(out, text, n);
  out[n] = '\0';
}

void RegisterBarClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;  // replaced per window below
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  done = RegisterClassA(&wc) != 0;
}

int TextWidth(HDC dc, const char* text) {
  SIZE s{0, 0};
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &s);
  return s.cx;
}

// The library file's name without its folders.
std::string DisplayFileName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* back = std::strrchr(path, '\\');
  const char* cut = std::max(slash, back);
  return cut ? cut + 1 : path;
}
}  // namespace

CKmStatusBar::~CKmStatusBar() {
  FreeBuffer();
  if (IsWindow(m_hWnd)) {
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

BOOL CKmStatusBar::Create(HWND parent) {
  RegisterBarClass();
  HWND h = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<uintptr_t>(kStatusBarId)), nullptr, nullptr);
  if (h == nullptr) return FALSE;
  SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CKmStatusBar::WndProc));
  m_hWnd = h;
  // The frame's creation puts the four indicators in place.
  SetSinglePane(FALSE);
  return TRUE;
}

int CKmStatusBar::Height() const {
  HDC dc = GetDC(m_hWnd);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(m_hWnd, dc);
  return std::max<LONG>(20, tm.tmHeight + 8);
}

void CKmStatusBar::Attach(CKmDoc* doc) {
  if (m_pKept == nullptr) m_pKept = static_cast<char*>(HeapAllocZero(0, kMainTextMax + 1));
  m_pDoc = doc;
}

void CKmStatusBar::FreeBuffer() {
  if (m_pKept) HeapFreeBlock(m_pKept);
  m_pKept = nullptr;
}

void CKmStatusBar::SetText(const char* text) { SetTextEx(text, 0); }
void CKmStatusBar::SetTextFlagged(const char* text) { SetTextEx(text, 1); }
void CKmStatusBar::SetTextEx(const char* text, int flag) { SetPaneString(0, text, flag); }

void CKmStatusBar::SetPaneString(int selector, const char* text, int) {
  if (selector == 0) {
    CopyCut(m_text, text, kMainTextMax);
    SetPaneText(0, m_text);
  } else if (selector == 1) {
    CopyCut(m_position, text, kPositionMax);
  }
}

void CKmStatusBar::ShowMessage(const char* text) {
  SetSinglePane(TRUE);
  m_bMessageMode = TRUE;
  if (text && text[0]) {
    SetText(text);
    // Without the buffer (not attached) the message shows but is not kept.
    if (m_pKept) CopyCut(m_pKept, text, kMainTextMax);
  }
}

void CKmStatusBar::EndMessage() {
  if (!m_bMessageMode) return;
  SetSinglePane(FALSE);
  SetPaneText(0, m_text);
  ShowPosition();
  m_bMessageMode = FALSE;
}

void CKmStatusBar::Refresh() {
  if (m_bMessageMode) {
    // Copied first: ShowMessage copies into the kept buffer again.
    char kept[kMainTextMax + 1] = {};
    if (m_pKept) CopyCut(kept, m_pKept, kMainTextMax);
    ShowMessage(kept);
    return;
  }
  SetPaneText(0, m_text);
  if (m_pDoc && m_pDoc->m_pView) m_pDoc->m_pView->ForgetShownPosition();
  ShowPosition();
}

BOOL CKmStatusBar::SetSinglePane(BOOL single) {
  m_bSinglePane = single ? TRUE : FALSE;
  // The message pane keeps its text across the change of form.
  for (int i = 1; i < 4; ++i) m_panes[i][0] = '\0';
  if (!m_bSinglePane) {
    CopyCut(m_panes[1], m_position, kPositionMax);
  }
  Redraw();
  return TRUE;
}

void CKmStatusBar::ShowPosition() {
  if (m_pDoc == nullptr || m_pDoc->m_pView == nullptr) return;
  CKmView* view = m_pDoc->m_pView;
  if (view->m_nCaretLine == view->m_nShownLine && view->m_nCaretX == view->m_nShownX) return;
  if (!m_pDoc->m_bReportOpen) return;
  LayoutMetrics m;
  m.dpiX = g_screen.dpiX;
  m.dpiY = g_screen.dpiY;
  m.pitch = m_pDoc->m_settings.rulPit;
  m.metric = m_pDoc->m_measure != 1;
  UINT measure = PixelsToMeasure(m, std::max(0, view->m_nCaretX));
  char number[32];
  FormatScaledInt(static_cast<WORD>(std::min<UINT>(measure, 0xFFFF)), number, sizeof number, 2, m_pDoc->m_cDecimal);
  char line[16], unit[16];
  CopyCut(line, GetResString(46, 0), sizeof line - 1);
  CopyCut(unit, GetResString(m_pDoc->m_measure == 1 ? 51 : 156, 0), sizeof unit - 1);
  char text[96];
  std::snprintf(text, sizeof text, "%s: %3d   %s %s", line, view->m_nCaretLine + 1, unit, number);
  SetPaneString(1, text, 0);
  view->m_nShownLine = view->m_nCaretLine;
  view->m_nShownX = view->m_nCaretX;
  // The frame shows the kept position text in the position pane.
  if (!m_bSinglePane) SetPaneText(1, m_position);
}

void CKmStatusBar::ShowReportName() {
  ++m_reportNameShown;
  if (m_pDoc == nullptr || !m_pDoc->m_bReportOpen) return;
  char path[262] = {};
  if (m_pDoc->m_pDocPaths) std::memcpy(path, m_pDoc->m_pDocPaths + kDocPathsLibrary, 261);
  std::string label = GetResString(233, 0);
  std::string name = path[0] ? DisplayFileName(path) : std::string(GetResString(48, 1));
  std::string text = label + ": " + name;
  SetText(text.c_str());
}

UINT CKmStatusBar::GetItemID(int index) const {
  if (index < 0 || index >= GetPaneCount()) return 0;
  return m_bSinglePane ? 0 : kNormalIds[index];
}

BOOL CKmStatusBar::SetPaneText(int index, const char* text) {
  if (index < 0 || index >= GetPaneCount()) return FALSE;
  CopyCut(m_panes[index], text, kMainTextMax);
  Redraw();
  return TRUE;
}

const char* CKmStatusBar::GetPaneText(int index) const {
  if (index < 0 || index >= GetPaneCount()) return "";
  return m_panes[index];
}

void CKmStatusBar::Redraw() {
  if (IsWindow(m_hWnd)) InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT CKmStatusBar::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CKmStatusBar*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && msg == WM_PAINT) {
    self->Paint(hwnd);
    return 0;
  }
  if (self && msg == WM_NCDESTROY) self->m_hWnd = nullptr;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void CKmStatusBar::Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  HBRUSH edge = GetSysColorBrush(COLOR_BTNSHADOW);
  RECT panes[4];
  int count = GetPaneCount();
  if (m_bSinglePane) {
    panes[0] = client;
  } else {
    // Widths from the indicator texts; the message pane takes the rest.
    const char* sizing[3] = {GetResString(kIndicatorPosition, 0), "CAP", "NUM"};
    int right = client.right - 2;
    for (int i = 3; i >= 1; --i) {
      int w = TextWidth(dc, sizing[i - 1]) + 12;
      panes[i] = RECT{right - w, client.top + 2, right, client.bottom - 1};
      right -= w + 2;
    }
    panes[0] = RECT{client.left + 2, client.top + 2, right, client.bottom - 1};
  }
  for (int i = 0; i < count; ++i) {
    if (!m_bSinglePane) FrameRect(dc, &panes[i], edge);
    RECT t = panes[i];
    t.left += 4;
    t.right -= 2;
    DrawTextA(dc, m_panes[i], -1, &t, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}
