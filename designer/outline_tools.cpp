// Insert > Picture and Insert > Chart: the tool is armed, the next drag on
// the layout outlines the area (snapped as the box tool's), and the release
// asks for the picture file or places the chart there.
#include "designer/design_view.h"
#include "designer/pictures.h"
#include "foundation/doc_base.h"
#include "platform/win/cursor.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <string>

namespace {
constexpr DWORD kToolPicture = 0x21;
constexpr DWORD kToolChart = 0x11;
constexpr UINT kCmdPicture = 30460;
constexpr UINT kPictureOutlineText = 172;
constexpr UINT kChartOutlineText = 4640;
constexpr int kSmallestOutline = 9;
}  // namespace

void CKmView::ArmOutlineTool(bool chart) {
  if (!ReportOpen()) return;
  ClearSelection();
  UnmarkAllLines();
  m_dwToolMode = chart ? kToolChart : kToolPicture;
  SetCursor(m_pHost->Cursors().Get(kCursorPictureOutline));
  m_pHost->ShowMessage(LoadResString(chart ? kChartOutlineText : kPictureOutlineText).c_str());
}

void CKmView::CancelOutlineMode() { CancelLineBoxTool(); }

void CKmView::OnOutlineToolCommand(UINT id) {
  if (Mode() & (kModeMouseAction | kModeKeyMove)) return;
  ArmOutlineTool(id != kCmdPicture);
}

void CKmView::FinishToolOutline(const RECT& band) {
  LayoutTables& t = *Layout();
  const bool chart = (m_dwToolMode & 0x10) != 0;
  CancelOutlineMode();
  InstallLayoutHooks();
  if (!chart) {
    std::string path;
    if (!m_pHost->AskPictureFile(false, &path)) {
      m_pHost->ShowPrompt(t.currentItem);
      return;
    }
    AddPictureFromFile(*this, path.c_str(), &band);
  } else {
    RECT r = band;
    // A click places a chart of three inches by one and a half at the point.
    if (r.right - r.left < kSmallestOutline || r.bottom - r.top < kSmallestOutline) {
      r.right = r.left + t.metrics.dpiX * 3 - 1;
      r.bottom = r.top + t.metrics.dpiY * 3 / 2 - 1;
    }
    ShiftRect(&r, t.scrollX, t.scrollY);
    r.left = std::max<LONG>(0, r.left);
    r.top = std::max<LONG>(0, r.top);
    ClearSelection();
    m_pHost->PlaceChart(r);
    if (t.currentItem != nullptr && (t.currentItem->flags & kItemKindChart)) SelectObject(*t.currentItem, true);
  }
  m_pHost->ShowPrompt(t.currentItem);
  UpdateCaretAndStatus(FALSE);
}
