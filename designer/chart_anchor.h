// The band line a chart hangs from follows its anchor mode: the line under
// its top, or the one under its bottom, so that it prints with that line.
#pragma once

#include "layout/layout_records.h"

// True when the object is a chart tied to the band line under its bottom.
bool AnchoredAtBottom(const LayoutTables& t, const ReportItemHead& item);
