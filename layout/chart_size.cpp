#include "layout/chart_size.h"

#include "foundation/units.h"

#include <algorithm>
#include <cstdint>

namespace {
uint32_t InReportMeasure(const LayoutMetrics& m, int64_t hundredths) {
  const WORD h = static_cast<WORD>(std::clamp<int64_t>(hundredths, 0, 0xFFFF));
  return m.metric ? ConvertVertMeasure(h, kVertTenthsMm, kVertHundredths, 0) : h;
}
}  // namespace

void StoreChartSize(const LayoutMetrics& m, const ReportItemHead& h, uint32_t words[2]) {
  const int64_t across = std::max(1, CharCellWidth(m, 1) * GridPitch(m));
  const int64_t down = std::max(1, LineHeightPixels(m) * GridLinesPerInch(m));
  words[0] = InReportMeasure(m, (int64_t(h.right) - h.left) * 100 / across);
  words[1] = InReportMeasure(m, (int64_t(h.bottom) - h.top) * 100 / down);
}
