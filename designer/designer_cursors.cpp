#include "designer/designer_cursors.h"

#include "platform/win/cursor.h"

void DesignerCursors::Load() {
  const LPCSTR ids[kDesignerCursorCount] = {IDC_ARROW,  IDC_SIZEALL, IDC_SIZENS,   IDC_CROSS,    IDC_CROSS,
                                            IDC_CROSS,  IDC_SIZEWE,  IDC_SIZENS,   IDC_CROSS,    IDC_SIZENWSE,
                                            IDC_SIZENESW, IDC_SIZEWE, IDC_WAIT};
  for (int i = 0; i < kDesignerCursorCount; ++i) handles[i] = LoadCursorA(nullptr, ids[i]);
}

HCURSOR DesignerCursors::Get(int id) const {
  if (id < 0 || id >= kDesignerCursorCount) return handles[kCursorArrow];
  return handles[id] ? handles[id] : handles[kCursorArrow];
}

DesignerCursorId HandleCursorId(int handle) {
  switch (handle) {
    case 1: case 2: return kCursorSizeWE;
    case 4: case 8: return kCursorSizeNS;
    case 5: case 10: return kCursorSizeNWSE;
    case 6: case 9: return kCursorSizeNESW;
    default: return kCursorArrow;
  }
}
