// The line and box tools of the Insert menu: armed by the command, a drag on
// the layout (snapped to cells and band lines) outlines the new line or box,
// which is made on release.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "layout/layout_helpers.h"
#include "platform/win/capture.h"
#include "platform/win/cursor.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr DWORD kToolBox = 0x01;
constexpr DWORD kToolLine = 0x81;
constexpr DWORD kToolLineBit = 0x80;
constexpr int kLineBoxMinimum = 9;
}  // namespace

void CKmView::ArmLineOrBoxTool(bool line) {
  if (!ReportOpen()) return;
  DestroyCaretIfOwned();
  ClearSelection();
  UnmarkAllLines();
  m_dwToolMode = line ? kToolLine : kToolBox;
  SetCursor(m_pHost->Cursors().Get(line ? kCursorLineTool : kCursorBoxTool));
  m_pHost->ShowMessage(LoadResString(line ? 174 : 173).c_str());
}

void CKmView::CancelLineBoxTool() {
  if (m_dwToolMode == 0) return;
  m_dwToolMode = 0;
  SetCursor(m_pHost->Cursors().Get(kCursorArrow));
  m_pHost->ShowMessage("");
}

void CKmView::OnToolCommand(UINT id) {
  if (Mode() & (kModeMouseAction | kModeKeyMove)) return;
  ArmLineOrBoxTool(id == 30440);
}

int CKmView::SnapToolY(int viewY, int autoMode) const {
  LayoutTables& t = *Layout();
  const int line = LineUnder(viewY + t.scrollY);
  const BandLineRec& r = t.Lines().lines[line];
  const bool automatic = r.heightMode == kHeightAutomatic;
  const bool alt = AltKeyDown();
  // GetBandLineY answers view y on automatic lines and layout y on sized ones.
  if (automatic) return GetBandLineY(t, line, viewY, autoMode, alt);
  const int v = GetBandLineY(t, line, viewY + t.scrollY, kSnapNearest, alt);
  return (t.metrics.snapping && !alt) ? v - t.scrollY : v;
}

bool CKmView::DraggingLine(POINT* from, POINT* to) const {
  if (!(m_dwToolMode & kToolLineBit) || !(Mode() & kModeRubberBand)) return false;
  *from = POINT{m_nAnchorX, m_nAnchorY};
  *to = m_ptLineEnd;
  return true;
}

LineBoxItem* CKmView::CreateLineFromDrag(int x1, int y1, int x2, int y2) {
  LayoutTables& t = *Layout();
  const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
  RECT r{};
  bool vertical = false;
  if (dx < 3 && dy < 3) {
    // A click: a horizontal line an inch long.
    r.left = std::min(x1, x2);
    r.right = r.left - 1 + t.metrics.dpiX;
    r.top = r.bottom = y1;
  } else if (dx > dy) {
    r.left = std::min(x1, x2);
    r.right = r.left + dx;
    r.top = r.bottom = y1;
  } else {
    vertical = true;
    r.left = r.right = x1;
    r.top = std::min(y1, y2);
    r.bottom = std::max(y1, y2);
    // Starting on a line's bottom: it starts at the next line's top.
    const int line = LineUnder(r.top + t.scrollY);
    if (r.top == t.Lines().lines[line].bottom - t.scrollY && line + 1 < kBandLineCount) r.top += 1;
  }
  if (vertical)
    m_wLineBorders |= kBorderVertical;
  else
    m_wLineBorders &= static_cast<WORD>(~kBorderVertical);
  return AddLineOrBox(r, kItemKindLine);
}

LineBoxItem* CKmView::AddLineOrBox(const RECT& viewRect, uint32_t kind) {
  LayoutTables& t = *Layout();
  LineBoxItem record = kind == kItemKindLine ? MakeNewLine(m_wLineBorders) : MakeNewBox();
  const bool line = kind == kItemKindLine;
  const bool vertical = line && (record.borders & kBorderVertical);
  RECT r = viewRect;
  // At least nine pixels the ways it can be sized, ending where the drag ended.
  if ((!line || !vertical) && r.right - r.left < kLineBoxMinimum) r.left = r.right - kLineBoxMinimum;
  if ((!line || vertical) && r.bottom - r.top < kLineBoxMinimum) r.top = r.bottom - kLineBoxMinimum;
  ShiftRect(&r, t.scrollX, t.scrollY);
  record.head.left = r.left;
  record.head.right = r.right;
  record.head.top = r.top;
  record.head.bottom = r.bottom;
  record.head.height = std::max<int>(1, r.bottom - r.top + 1);
  ClampToPageWidth(t, record.head, record.head.right - record.head.left + 1);
  ClampToBandArea(t, record.head);
  record.head.bandLine = static_cast<uint8_t>(LineUnder(record.head.top));
  LineBoxItem* added = t.linesBoxes.Append(record);
  if (added == nullptr) return nullptr;
  if (m_pDoc) m_pDoc->SetModifiedFlag(TRUE);
  InsertBandLines(t.Lines(), kBandRecord, LineUnder(added->head.bottom));
  BuildLayoutItemOrder(t);
  CancelLineBoxTool();
  MakeObjectCurrent(&added->head);
  RedrawAllPanes();
  return added;
}
