#include "designer/line_justify.h"

#include "designer/design_view.h"
#include "foundation/doc_base.h"
#include "foundation/page_metrics.h"
#include "foundation/units.h"
#include "layout/band_line_layout.h"
#include "platform/win/beep.h"

#include <algorithm>
#include <vector>

namespace {

// The lefts a row of items of these widths gets; false when it cannot fit.
bool RowLefts(const std::vector<ReportItemHead*>& row, LineJustify mode, int layoutWidth, std::vector<int>* lefts) {
  const int first = row.front()->left;
  int last = first, total = 0;
  for (const ReportItemHead* h : row) {
    last = std::max<int>(last, h->right);
    total += h->right - h->left + 1;
  }
  const int span = last - first + 1;
  if (mode == LineJustify::Spread ? total > layoutWidth : span > layoutWidth) return false;
  lefts->clear();
  if (mode == LineJustify::Spread) {
    const int gaps = static_cast<int>(row.size()) - 1;
    const int room = layoutWidth - total;
    int x = 0;
    for (size_t i = 0; i < row.size(); ++i) {
      // The remainder goes to the first gaps, so the last item ends at the edge.
      lefts->push_back(x);
      const int gap = gaps > 0 ? room / gaps + (static_cast<int>(i) < room % gaps ? 1 : 0) : 0;
      x += row[i]->right - row[i]->left + 1 + gap;
    }
    return true;
  }
  const int to = mode == LineJustify::Left ? 0 : mode == LineJustify::Right ? layoutWidth - span
                                                                           : (layoutWidth - span) / 2;
  for (const ReportItemHead* h : row) lefts->push_back(h->left - first + to);
  return true;
}

}  // namespace

bool JustifyMarkedLines(LayoutTables& t, LineJustify mode, int layoutWidth) {
  if (layoutWidth <= 0) return false;
  const BandLineTable& lines = t.Lines();
  if (lines.lines == nullptr) return false;
  std::vector<std::vector<ReportItemHead*>> rows(kBandLineCount);
  ForEachLayoutItem(t, [&](ReportItemHead& h) {
    if (h.flags & kItemGraphicKinds) return;  // lines, boxes and pictures keep their places
    const int line = h.bandLine;
    if (line < kBandLineCount && line <= lines.lastUsed && (lines.lines[line].flags & kLineMarked))
      rows[static_cast<size_t>(line)].push_back(&h);
  });
  bool moved = false;
  std::vector<int> lefts;
  for (std::vector<ReportItemHead*>& row : rows) {
    if (row.empty()) continue;
    std::stable_sort(row.begin(), row.end(),
                     [](const ReportItemHead* a, const ReportItemHead* b) { return a->left < b->left; });
    if (!RowLefts(row, mode, layoutWidth, &lefts)) continue;
    for (size_t i = 0; i < row.size(); ++i) {
      const int dx = lefts[i] - row[i]->left;
      if (dx == 0) continue;
      row[i]->left += dx;
      row[i]->right += dx;
      moved = true;
    }
  }
  if (moved) {
    BuildLayoutItemOrder(t);
    t.Hooks().SetModified();
  }
  return moved;
}

void CKmView::OnJustifyLines(UINT) {
  if (!ReportOpen() || m_pDoc == nullptr || MarkedLineCount() == 0) return;
  InstallLayoutHooks();
  LineJustify mode = LineJustify::Spread;
  if (!RunLineJustifyDialog(*m_pDoc, &mode)) {
    UpdateCaretAndStatus(FALSE);
    return;
  }
  // The row spans what prints: the layout up to the right margin.
  const int printable = m_pDoc->m_pageMetrics.printableWidth;
  const int width = printable > 0 ? std::min(LayoutWidth(), CharCellWidth(Layout()->metrics, printable)) : LayoutWidth();
  if (JustifyMarkedLines(*Layout(), mode, width)) {
    // The move undo names the old places of other objects: it no longer fits.
    ForgetMoveSnapshot();
    RedrawAllPanes();
  } else {
    MessageBeep(0);
  }
  UpdateCaretAndStatus(FALSE);
}
