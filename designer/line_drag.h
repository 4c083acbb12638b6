// Dragging a freeform band line's top or bottom edge in the band pane: the
// press that starts it, the dotted line tracked across the layout view (the
// panes scroll when the pointer leaves the view), and the release that gives
// the line its new height.
#pragma once

#include "layout/layout_records.h"

constexpr WORD kModeLineEdgeDrag = 0x200;

// What the drag needs from the windows.
class LineDragView {
 public:
  virtual ~LineDragView() = default;
  virtual void CaptureMouse(bool /*on*/) {}
  virtual int LayoutClientWidth() { return 0; }
  virtual int LayoutClientHeight() { return 0; }
  // Toggles the dotted line across the layout view at its client y: drawn
  // twice at the same y it is gone.
  virtual void ToggleDragLine(int /*y*/) {}
  // 0 the normal cursor, 1 the top-edge and 2 the bottom-edge cursor.
  virtual void SetEdgeCursor(int /*edge*/) {}
  // After a scroll: every pane drawn again.
  virtual void RedrawPanes() {}
  // After the drop: the layout, the main window, the band pane and, when
  // shown, the vertical ruler are brought up to date.
  virtual void UpdateAfterDrop() {}
};

class LineEdgeDrag {
 public:
  // The cursor over the band pane at client y (inside the pane).
  int HoverEdge(const LayoutTables& t, LineDragView& v, int y) const;
  // A press at the pane's client y: true when it lies on a freeform line's
  // edge and the drag began.
  bool Press(LayoutTables& t, LineDragView& v, int y);
  // The pointer at the layout view's client y.
  void Track(LayoutTables& t, LineDragView& v, int y);
  // Ends the drag: true when the line took a new height.
  bool Release(LayoutTables& t, LineDragView& v);
  void Cancel(LayoutTables& t, LineDragView& v);

  bool Active() const { return line_ >= 0; }
  int Line() const { return line_; }
  int Edge() const { return edge_; }
  int LastY() const { return lastY_; }
  int LowestY() const { return lowestY_; }

 private:
  void AutoScroll(LayoutTables& t, LineDragView& v, bool up);
  void EraseLine(LineDragView& v);

  int line_ = -1;
  int edge_ = 0;
  int lastY_ = -1;
  int lowestY_ = 0;
  bool erased_ = true;
};

// The drag over real windows: the band pane holds the capture; the dotted
// line is drawn on the layout view and taken away by redrawing the view.
class WindowLineDragView : public LineDragView {
 public:
  WindowLineDragView(HWND pane, HWND layoutView, HCURSOR topEdge, HCURSOR bottomEdge)
      : pane_(pane), view_(layoutView), topCursor_(topEdge), bottomCursor_(bottomEdge) {}
  void CaptureMouse(bool on) override;
  int LayoutClientWidth() override;
  int LayoutClientHeight() override;
  void ToggleDragLine(int y) override;
  void SetEdgeCursor(int edge) override;
  void RedrawPanes() override;
  void UpdateAfterDrop() override;
  int DrawnY() const { return drawnY_; }

 private:
  HWND pane_, view_;
  HCURSOR topCursor_, bottomCursor_;
  int drawnY_ = -1;
};
