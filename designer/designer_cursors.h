// The designer's cursor set: the arrow, moving, the band pane's edge, the
// drawing tools and the sizing cursors of handles and the splitter.
#pragma once

#include "platform/win/window.h"

enum DesignerCursorId : int {
  kCursorArrow,
  kCursorMove,
  kCursorBandEdge,
  kCursorBoxTool,
  kCursorLineTool,
  kCursorPictureOutline,
  kCursorSizeWE,
  kCursorSizeNS,
  kCursorCross,
  kCursorSizeNWSE,
  kCursorSizeNESW,
  kCursorSplitter,
  kCursorWait,
  kDesignerCursorCount
};

struct DesignerCursors {
  // Fills every handle (shared system cursors: nothing to free).
  void Load();
  HCURSOR Get(int id) const;
  HCURSOR handles[kDesignerCursorCount] = {};
};

// The sizing cursor of a handle code (1 left, 2 right, 4 top, 8 bottom).
DesignerCursorId HandleCursorId(int handle);
