// Charts from the menus: a chart placed by Insert > Chart, the chart property sheet
// (Format > Properties on a chart) and Options > Chart Settings.
#pragma once

#include "layout/layout_records.h"
#include "platform/win/win_types.h"

class CKmDoc;

constexpr UINT kCmdInsertChart = 30470;
constexpr UINT kCmdFormatProperties = 30504;
constexpr UINT kCmdChartDefaults = 32025;

// A new chart with the defaults of new charts over the layout rectangle
// (what the design view's outline tool gives); null when none could be added.
ChartTableEntry* AddChart(CKmDoc& doc, const RECT& rect);
// The end of Insert > Chart (the designer's outline tool): a new chart over
// the outlined layout rectangle, its sheet opened on it. Returns the new
// chart, or null.
ChartTableEntry* PlaceChart(CKmDoc& doc, const RECT& rect);
// The sheet on a chart of the chart table (negative: the current chart); true when it changed.
bool chartFormat(CKmDoc& doc, int index);
// Options > Chart Settings: the defaults of new charts (base font, palette)
// into kmw.ini [Defaults]. True when they were written.
bool RunChartDefaultsSheet(CKmDoc& doc);
// The chart hook of a report opened or made new: 1 when charts can be placed
// on it (the document keeps the answer; Insert > Chart asks for it).
int OnNewReportCharts();
// TRUE when the command was a chart command and has been done.
BOOL DispatchChartCommand(CKmDoc& doc, UINT id);
