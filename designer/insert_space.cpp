// Alt+Ins and Alt+Del: space inserted or deleted at the caret, moving the
// items on the caret's text line right of it by one step each.
#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "layout/layout_helpers.h"

#include <algorithm>

namespace {

struct TextBand {
  int top, bottom;
};

}  // namespace

int CKmView::SpaceStep(const ReportItemHead& item, bool right) {
  if (!SnapOn()) return 1;
  // To the next cell boundary from the item's anchor; a whole cell when it is on one.
  const int cell = CellWidth();
  const int off = ((GetAlignedX(*Layout(), item) % cell) + cell) % cell;
  if (right) return cell - off;
  return off == 0 ? cell : off;
}

// Whether the item lies on the caret's text line of the current line and
// begins right of x.
bool CKmView::ShiftsAtCaret(const ReportItemHead& h, int x) {
  LayoutTables& t = *Layout();
  if (h.bandLine != t.currentLine || h.left <= x) return false;
  const BandLineRec& r = t.bandRecords[t.currentLine];
  const bool automatic = r.heightMode == kHeightAutomatic;
  const int caretY = CaretY();
  // The text band: an automatic line whole, on a freeform line the text line above the caret.
  const TextBand band{automatic ? r.bottom - r.pixelHeight : caretY - TextLineHeight(), caretY};
  const bool onLine = h.top < caretY || (IsLineOrBox(h) && (automatic || h.top == caretY));
  const int base = IsTextLike(h) ? h.bottom - h.descent : h.top;
  return onLine && base >= band.top && base <= band.bottom;
}

int CKmView::CountItemsRightOfCaret(bool* blocked) {
  LayoutTables& t = *Layout();
  const int width = LayoutWidth();
  int n = 0;
  *blocked = false;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (!ShiftsAtCaret(h, m_nCaretX)) return;
    ++n;
    if (h.right + SpaceStep(h, true) >= width) *blocked = true;
  });
  return n;
}

void CKmView::ShiftItemsAtCaret(bool right) {
  LayoutTables& t = *Layout();
  const int x = right ? m_nCaretX : m_nCaretX - 1;
  RECT changed{0, 0, -1, -1};
  bool any = false;
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (!ShiftsAtCaret(h, x)) return;
    const int dx = right ? SpaceStep(h, true) : -SpaceStep(h, false);
    const RECT before{h.left, h.top, h.right, h.bottom};
    h.left += dx;
    h.right += dx;
    const RECT r{std::min<LONG>(before.left, h.left), h.top, std::max<LONG>(before.right, h.right), h.bottom};
    changed = any ? RECT{std::min(changed.left, r.left), std::min(changed.top, r.top), std::max(changed.right, r.right),
                         std::max(changed.bottom, r.bottom)}
                  : r;
    any = true;
  });
  if (!any) return;
  BuildLayoutItemOrder(t);
  SetViewRect(RECT{changed.left - t.scrollX, changed.top - t.scrollY, changed.right - t.scrollX + 1,
                   changed.bottom - t.scrollY + 1});
  m_pDoc->UpdateViewsByHint(kHintStoredRect, this);
  UpdateWindow(GetAncestor(m_hWnd, GA_ROOT));
  m_pDoc->SetModifiedFlag(TRUE);
  t.currentItem = nullptr;
}

bool CKmView::InsertSpace() {
  LayoutTables* t = Layout();
  if (t == nullptr || t->currentLine < 0 || t->currentLine >= kBandLineCount ||
      (t->bandRecords[t->currentLine].flags & kLineNewPage))
    return false;
  bool blocked = false;
  if (CountItemsRightOfCaret(&blocked) == 0 || blocked) return false;
  ShiftItemsAtCaret(true);
  UpdateCaretAndStatus(FALSE);
  return true;
}

bool CKmView::DeleteSpace() {
  LayoutTables* t = Layout();
  if (t == nullptr || t->currentLine < 0 || t->currentLine >= kBandLineCount ||
      (t->bandRecords[t->currentLine].flags & kLineNewPage))
    return false;
  // An item already at the layout's left edge has no space to give up.
  bool blocked = false, any = false;
  ForEachLayoutItem(*t, [&](ReportItemHead& h) {
    if (!ShiftsAtCaret(h, m_nCaretX - 1)) return;
    any = true;
    if (h.left - SpaceStep(h, false) < 0) blocked = true;
  });
  if (!any || blocked) return false;
  ShiftItemsAtCaret(false);
  UpdateCaretAndStatus(FALSE);
  return true;
}
