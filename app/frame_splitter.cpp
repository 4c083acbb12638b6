// The frame's splitter bar between the band pane and the ruler pane, dragged
// with the mouse, and the screen's colour notifications passed on to the
// layout's pictures.
#include "app/document.h"
#include "app/main_frame.h"
#include "layout/item_tables.h"
#include "platform/win/capture.h"
#include "platform/win/cursor.h"
#include "platform/win/menu.h"

#include <algorithm>

int CMainFrame::SplitterX() const { return IsWindow(m_wndBandView.m_hWnd) ? m_wndBandView.Width() : m_nBandWidth; }

void CMainFrame::FitBandPane() {
  RECT c{};
  if (!IsWindow(m_hWnd) || !GetClientRect(m_hWnd, &c)) return;
  const int wanted = std::min<int>(m_wndBandView.NamesWidth(), static_cast<int>(c.right) / 4);
  if (wanted <= m_nBandWidth) return;
  m_nBandWidth = wanted;
  RecalcLayout();
}

BOOL CMainFrame::OnSplitterMouse(UINT msg, WPARAM, int x, int y) {
  RECT c{};
  GetClientRect(m_hWnd, &c);
  const int top = GetMenuBarHeight(m_hWnd);
  const int bottom = c.bottom - (IsWindow(m_wndStatusBar.m_hWnd) ? m_wndStatusBar.Height() : 0);
  const int bar = SplitterX();
  const bool over = x >= bar && x < bar + kSplitterGap && y >= top && y < bottom;
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (!over || m_wState >= 0x8000 || m_pPreviewView != nullptr) return FALSE;
      // A press anywhere but the layout ends a text being typed there.
      if (m_wndLayoutView.EditorOpen()) m_wndLayoutView.EndTextEdit(true);
      m_bSplitterDrag = true;
      m_nSplitterGrab = x - bar;
      SetCapture(m_hWnd);
      SetCursor(m_cursors.Get(kCursorSplitter));
      return TRUE;
    case WM_MOUSEMOVE:
      if (m_bSplitterDrag) {
        m_nBandWidth = std::clamp(x - m_nSplitterGrab, 0, std::max(0, static_cast<int>(c.right) - kSplitterGap));
        RecalcLayout();
        SetCursor(m_cursors.Get(kCursorSplitter));
        return TRUE;
      }
      if (over) SetCursor(m_cursors.Get(kCursorSplitter));
      return over ? TRUE : FALSE;
    case WM_LBUTTONUP:
      if (!m_bSplitterDrag) return FALSE;
      m_bSplitterDrag = false;
      ReleaseCapture();
      SetCursor(m_cursors.Get(kCursorArrow));
      RecalcLayout();
      if (ReportOpen()) m_wndLayoutView.RedrawAllPanes();
      return TRUE;
    default:
      return FALSE;
  }
}

void CMainFrame::OnPaletteChanged(HWND sender) {
  if (sender != m_hWnd) OnQueryNewPalette();
}

BOOL CMainFrame::OnQueryNewPalette() {
  if (m_pDoc == nullptr || m_pDoc->m_pLayout == nullptr || !IsWindow(m_wndLayoutView.m_hWnd)) return FALSE;
  // Pictures are drawn again in the screen's colours.
  LayoutTables& t = *m_pDoc->m_pLayout;
  for (int i = 0; i < t.pictures.Count(); ++i) {
    RECT r = ItemViewRect(t, t.pictures.At(i)->head);
    r.right += 1;
    r.bottom += 1;
    InvalidateRect(m_wndLayoutView.m_hWnd, &r, TRUE);
  }
  UpdateWindow(m_hWnd);
  return t.pictures.Count() > 0 ? TRUE : FALSE;
}
