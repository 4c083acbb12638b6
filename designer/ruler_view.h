// The ruler pane: the layout view with a horizontal ruler along its top, a
// vertical ruler along its left side and the layout's scroll bars. The
// horizontal ruler counts character cells and labels inches (or the pitch's
// unit), with the right margin and a marker at the caret; the vertical ruler
// counts text lines from the top of each band.
#pragma once

#include "layout/layout_records.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/window.h"

class CKmView;
class KmDocBase;

constexpr DWORD kBarTop = 0x2000;
constexpr DWORD kBarLeft = 0x1000;
constexpr int kRulerThickness = 22;

class CRulerBar : public CWnd {
 public:
  CRulerBar() = default;
  ~CRulerBar() override;
  CRulerBar(const CRulerBar&) = delete;
  CRulerBar& operator=(const CRulerBar&) = delete;

  BOOL Create(HWND parent, KmDocBase* doc, DWORD style);
  void SetSibling(CRulerBar* sibling) { m_pSibling = sibling; }
  void SetView(CKmView* view) { m_pView = view; }
  void SetMarker(int x);
  int Marker() const { return m_nMarker; }
  bool Horizontal() const { return (m_dwStyle & 0xA000) != 0; }
  bool Shown() const;
  // Where tick k (or text line k of a band) stands on the bar, for its painting and for tests.
  int TickX(int k) const;
  void OnPaint(HDC dc, const RECT& paint);

 private:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void PaintHorizontal(HDC dc, const RECT& paint);
  void PaintVertical(HDC dc, const RECT& paint);
  int Offset() const;
  LayoutTables* Layout() const;

  KmDocBase* m_pDoc = nullptr;
  CKmView* m_pView = nullptr;
  CRulerBar* m_pSibling = nullptr;
  DWORD m_dwStyle = 0;
  int m_nMarker = -1;
};

class CRulerView : public CWnd {
 public:
  CRulerView() = default;
  ~CRulerView() override;
  CRulerView(const CRulerView&) = delete;
  CRulerView& operator=(const CRulerView&) = delete;

  // The pane with its layout view (made by the caller, created here), rulers and scroll bars.
  BOOL Create(HWND parent, UINT id, CKmView* view, KmDocBase* doc);
  void ShowBar(CRulerBar& bar, bool show);
  void RepositionBars();
  void OnUpdate(int hint);
  CRulerBar& HorizontalBar() { return m_wndHBar; }
  CRulerBar& VerticalBar() { return m_wndVBar; }
  CKmView* LayoutView() const { return m_pView; }

 private:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  CKmView* m_pView = nullptr;
  KmDocBase* m_pDoc = nullptr;
  CRulerBar m_wndHBar;
  CRulerBar m_wndVBar;
  HWND m_hHScroll = nullptr;
  HWND m_hVScroll = nullptr;
};
