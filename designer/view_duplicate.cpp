// Edit > Duplicate Fields (Shift+F7): the selection is copied and the copies
// are placed with the cursor keys; copies left where they started go again.
// Ctrl+F7: the one selected object centred in the report's width.
#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "layout/layout_helpers.h"
#include "platform/win/beep.h"

#include <algorithm>

namespace {
// The object's alignment made centred, where its kind has one (a word-wrapped
// field keeps its own; charts and OLE items have none).
void MakeCentred(ReportItemHead& h) {
  if (h.flags & (kItemKindChart | kItemKindOle)) return;
  if (h.flags & kItemKindField) {
    FieldDef& f = reinterpret_cast<FieldDef&>(h);
    const uint32_t kind = f.flags & kFieldKindMask;
    if (kind == 0 && ((f.formatCode >> 4) & 0xF) == 4) return;
    const int shift = (kind & kFieldNumeric) ? 12 : (kind & (kFieldDate | kFieldDateTime | kFieldTime)) ? 8 : 4;
    f.formatCode = (f.formatCode & ~(0xFu << shift)) | (2u << shift);
    return;
  }
  BYTE* alignment = nullptr;
  if (h.flags & (kItemKindLine | kItemKindBox)) alignment = &reinterpret_cast<LineBoxItem&>(h).alignment;
  else if (h.flags & kItemKindPicture) alignment = &reinterpret_cast<PictureItem&>(h).alignment;
  else alignment = &reinterpret_cast<TextItem&>(h).alignment;
  *alignment = static_cast<BYTE>((*alignment & 0x0F) | kAlignCentre);
}
}  // namespace

void CKmView::OnDuplicateCommand(UINT) {
  if (Mode() & (kModeMouseAction | kModeKeyMove)) return;
  BeginObjectDrag(false, 0, 0, true);
}

void CKmView::OnCentreCommand(UINT) { CentreSelectedObject(); }

void CKmView::CentreSelectedObject() {
  LayoutTables* t = Layout();
  if (t == nullptr || m_pDoc == nullptr) return;
  if (CountSelected() != 1) {
    MessageBeep(0);
    return;
  }
  ReportItemHead* o = FirstSelected();
  if (o == nullptr) return;
  const int w = CharCellWidth(t->metrics, std::max(1, m_pDoc->m_pageMetrics.printableWidth));
  const int width = o->right - o->left + 1;
  if (width >= w) return;
  MakeCentred(*o);
  m_pTopmost = m_pBottommost = m_pLeftmost = m_pRightmost = o;
  m_nScrollXAtStep = t->scrollX;
  m_nScrollYAtStep = t->scrollY;
  m_nPendingDx = (w - width) / 2 - o->left;
  m_nPendingDy = 0;
  AlignObjects(true);
  if (!(Mode() & kModeMouseAction)) BuildLayoutItemOrder(*t);
  m_nCaretX = GetAlignedX(*t, *o);
  RedrawAllPanes();
  m_pHost->UpdateFormatBar();
  UpdateCaretAndStatus(FALSE);
}
