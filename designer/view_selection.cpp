// What the designer's editing stands on: finding the object under a point,
// the selected bit of the items and its counts (taken from the bits, so the
// counts cannot drift from what is selected), the marked band lines.
#include "designer/band_view.h"
#include "designer/design_view.h"
#include "foundation/doc_base.h"

#include <algorithm>
#include <vector>

namespace {
bool Live(const ReportItemHead& h) { return (h.flags & (kItemDeleted | kItemInClipboard)) == 0; }
}  // namespace

RECT CKmView::InflateObjectRect(const ReportItemHead& item, bool handles) const {
  RECT r = ViewRect(item);
  if (item.flags & kItemKindLine) {
    // A thick line grows up (horizontal) or by its alignment (vertical).
    const LineBoxItem& l = reinterpret_cast<const LineBoxItem&>(item);
    const int t = std::max<int>(1, l.thickness);
    if (r.bottom - r.top < r.right - r.left) {
      r.top -= t - 1;
    } else if (l.alignment == kAlignRight) {
      r.left -= t - 1;
    } else if (l.alignment == kAlignCentre) {
      r.left -= t / 2;
      r.right += t / 2;
    } else {
      r.right += t - 1;
    }
  }
  if (handles) {
    const int m = (item.flags & kItemGraphicKinds) ? 4 : 1;
    const int across = (item.flags & kItemKindField) && HasWidthHandles(item) ? 4 : m;
    r.left -= across;
    r.top -= m;
    r.right += across;
    r.bottom += m;
  } else if (!(item.flags & kItemKindLine)) {
    r.left -= 1;
    r.top -= 1;
    r.right += 1;
    r.bottom += 1;
  }
  return r;
}

bool CKmView::HitTestOne(const ReportItemHead& item, int x, int y) const {
  if (!Live(item)) return false;
  RECT r = ViewRect(item);
  if (item.flags & kItemKindBox) {
    // Box interiors are transparent: only their borders take a click.
    const LineBoxItem& b = reinterpret_cast<const LineBoxItem&>(item);
    const int shrink = b.thickness / 2 + 3;
    const RECT outer{r.left - 4, r.top - 4, r.right + 4, r.bottom + 4};
    const RECT inner{r.left + shrink + 4, r.top + shrink + 4, r.right - shrink - 4, r.bottom - shrink - 4};
    const bool inOuter = x >= outer.left && x <= outer.right && y >= outer.top && y <= outer.bottom;
    const bool inInner = x > inner.left && x < inner.right && y > inner.top && y < inner.bottom;
    return inOuter && !inInner;
  }
  const int m = (item.flags & (kItemKindPicture | kItemKindChart | kItemKindOle)) ? 4
                : (item.flags & kItemKindLine)                                   ? 0
                                                                                 : 1;
  if (item.flags & kItemKindLine) r = InflateObjectRect(item, true);
  return x >= r.left - m && x <= r.right + m && y >= r.top && y <= r.bottom;
}

ReportItemHead* CKmView::HitTestObject(int x, int y) {
  LayoutTables* t = Layout();
  if (t == nullptr) return nullptr;
  if (t->currentItem && HitTestOne(*t->currentItem, x, y)) return t->currentItem;
  std::vector<ReportItemHead*> order;
  for (ReportItemHead* h = t->orderHead; h != nullptr && order.size() <= 100000; h = h->nextInOrder) order.push_back(h);
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if (HitTestOne(**it, x, y)) return *it;
  return nullptr;
}

bool CKmView::ClearSelection() {
  LayoutTables* t = Layout();
  if (t == nullptr) return false;
  bool changed = false;
  ForEachLayoutItem(*t, [&](ReportItemHead& h) {
    if (h.flags & kItemSelected) {
      h.flags &= ~kItemSelected;
      changed = true;
    }
  });
  if (changed && IsWindow(m_hWnd)) InvalidateRect(m_hWnd, nullptr, TRUE);
  return changed;
}

void CKmView::SelectObject(ReportItemHead& item, bool select) {
  const uint32_t before = item.flags;
  if (select)
    item.flags |= kItemSelected;
  else
    item.flags &= ~kItemSelected;
  if (before != item.flags && IsWindow(m_hWnd)) {
    m_rcInvalid = InflateObjectRect(item, true);
    m_rcInvalid.right += 1;
    m_rcInvalid.bottom += 1;
    if (m_pDoc) m_pDoc->UpdateViewsByHint(kHintStoredRect, this);
  }
}

int CKmView::CountSelected(uint32_t kindMask) const {
  LayoutTables* t = Layout();
  if (t == nullptr) return 0;
  int n = 0;
  ForEachLayoutItem(*t, [&](ReportItemHead& h) {
    if ((h.flags & kItemSelected) && (kindMask == 0 || (h.flags & kindMask))) ++n;
  });
  return n;
}

ReportItemHead* CKmView::FirstSelected() const {
  LayoutTables* t = Layout();
  if (t == nullptr) return nullptr;
  for (ReportItemHead* h = t->orderHead; h != nullptr; h = h->nextInOrder)
    if ((h->flags & kItemSelected) && Live(*h)) return h;
  return nullptr;
}

ReportItemHead* CKmView::ItemAtCaret() const {
  LayoutTables* t = Layout();
  if (t == nullptr) return nullptr;
  const int line = CaretLine();
  for (ReportItemHead* h = t->orderHead; h != nullptr; h = h->nextInOrder)
    if (Live(*h) && h->bandLine == line && m_nCaretX >= h->left && m_nCaretX <= h->right) return h;
  return nullptr;
}

int CKmView::MarkedLineCount() const {
  int n = 0;
  for (int i = 0; i <= LastUsedLine(); ++i) {
    const BandLineRec* r = Line(i);
    if (r && r->kind != kBandFree && (r->flags & kLineMarked)) ++n;
  }
  return n;
}

bool CKmView::UnmarkAllLines() {
  bool any = false;
  for (int i = 0; i < kBandLineTableRecords; ++i) {
    BandLineRec* r = const_cast<BandLineRec*>(Line(i));
    if (r && (r->flags & kLineMarked)) {
      r->flags &= static_cast<BYTE>(~kLineMarked);
      any = true;
    }
  }
  if (any && m_pBandView) m_pBandView->RedrawBandPane();
  return any;
}
