// The band pane: a strip beside the layout that shows every band line level
// with the same line in the layout, the bands' names on their last lines,
// the current and the marked lines, the freeform lines' draggable edges and
// "?" for a line printed on a condition. Lines are marked with the mouse
// (click, Shift+click, Ctrl+click, drag) and with the keys.
#pragma once

#include "designer/line_drag.h"
#include "layout/layout_records.h"
#include "platform/mfc/afxwin.h"
#include "platform/win/window.h"

#include <memory>

class CKmView;
class KmDocBase;

class CBandView : public CWnd {
 public:
  CBandView() = default;
  ~CBandView() override;
  CBandView(const CBandView&) = delete;
  CBandView& operator=(const CBandView&) = delete;

  BOOL Create(HWND parent, UINT id);
  void CacheDocument(KmDocBase* doc, CKmView* view) {
    m_pDoc = doc;
    m_pView = view;
  }
  // The stored width ("Save List", "BandWidth", default 80).
  int Width() const { return m_nWidth; }
  void SetWidth(int width) { m_nWidth = width; }
  void OnUpdate(int hint);
  void RedrawBandPane();
  // The width that shows every band's name of the report whole beside the gutter.
  int NamesWidth() const;

  // Marking.
  bool MarkLine(int line, bool mark);
  void ExtendMarking(int line);
  void BeginMarkLines(int x, int y, bool clear, bool extend);
  void EndMouseMarking();
  void BeginKeyboardMarking(bool clear);
  void EndMarking(bool keepMode);
  void SyncMarkedLines();
  // The band line under the pane's client y (the last used line below them); -1 when none is used.
  int LineAtY(int y) const;
  // The horizontal ruler's height, by which the pane is shifted.
  int GetRulerOffset() const;
  int AnchorLine() const { return m_nAnchor; }

 private:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnDraw(HDC dc);
  void DrawEdgeMark(HDC dc, int right, int y, bool down);
  void OnLButtonDown(WPARAM keys, int x, int y);
  void OnLButtonUp();
  void OnMouseMove(int x, int y);
  void OnRButtonDown(int x, int y);
  LineDragView& DragWindows();
  LayoutTables* Layout() const;
  // The band names' font: the program's bold interface font once made.
  HGDIOBJ NamesFont() const;
  bool ReportOpen() const;
  bool Busy() const;

  KmDocBase* m_pDoc = nullptr;
  CKmView* m_pView = nullptr;
  int m_nWidth = 80;
  BOOL m_bLButtonDown = FALSE;
  BOOL m_bRButtonDown = FALSE;
  int m_nMarking = -1;  // the line the mouse marking reached; -1 when none runs
  int m_nAnchor = 0;
  // A freeform line's edge dragged to a new height.
  LineEdgeDrag m_lineDrag;
  std::unique_ptr<WindowLineDragView> m_pDragWindows;
};
