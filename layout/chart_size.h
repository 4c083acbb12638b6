// A chart's two stored size words from its rectangle on the layout.
#pragma once

#include "layout/layout_records.h"

// Width and height in hundredths of an inch on the layout's grid (tenths of
// a millimetre in a metric report).
void StoreChartSize(const LayoutMetrics& m, const ReportItemHead& h, uint32_t words[2]);
inline void StoreChartSize(const LayoutMetrics& m, ChartTableEntry& e) { StoreChartSize(m, e.head, e.sizeWords); }
