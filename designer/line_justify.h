// Format > Band Line Justify: the fields and texts of each marked band line
// set across the layout as one row, in their left-to-right order.
#pragma once

#include "dialogs/line_justify_dialog.h"
#include "layout/layout_records.h"

// Left, Center and Right move each line's row as a block, keeping the gaps;
// Spread puts the first at the layout's left edge, the last against its
// right edge and equal gaps between. A line whose row is wider than the
// layout stays as it is. True when an item moved.
bool JustifyMarkedLines(LayoutTables& t, LineJustify mode, int layoutWidth);
