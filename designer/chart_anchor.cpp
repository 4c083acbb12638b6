#include "designer/chart_anchor.h"

#include "charts/chart.h"

bool AnchoredAtBottom(const LayoutTables& t, const ReportItemHead& item) {
  if (!(item.flags & kItemKindChart)) return false;
  const ChartTableEntry* entry = t.charts.At(t.charts.Find(&item));
  const CKmChart* chart = entry != nullptr ? ChartOf(*entry) : nullptr;
  return chart != nullptr && chart->GetAnchorMode() != 0;
}
