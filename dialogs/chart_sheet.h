// The chart property sheet (kind, data series, titles, value axis, font and
// palette of one chart) and the chart Font page the Chart Defaults sheet
// shows, with the chart preview control both use.
#pragma once

#include "charts/chart.h"
#include "platform/win/dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"

#include <string>

class KmDocBase;

// Control ids of the sheet (templates DCHARTFORMAT and DCHARTFONT).
enum : int {
  kChartTypeBox = 500, kChartStyleBox = 501, kChartAcross = 502, kChartDepth = 503, kChartGrid = 504,
  kChartAnchorBottom = 505, kChartValuesPer = 510, kChartLabelField = 511, kChartSeriesList = 512,
  kChartTitle = 520, kChartTitleX = 521, kChartTitleY = 522, kChartTitleYR = 523, kChartBackground = 524,
  kChartLegend = 530, kChartDataLabels = 531, kChartUserRange = 532, kChartRangeMin = 533, kChartRangeMax = 534,
  kChartFontFace = 540, kChartPalette = 541, kChartPreview = 650
};

// The working copy of chart settings a Font page edits.
struct CChartData {
  std::string baseFace = "Arial";
  int palette = 0;
};

// chartFormat: the sheet on a chart; the chart takes the settings on OK (true).
bool RunChartSheet(KmDocBase* doc, HWND owner, CKmChart& chart);
// The Font page on working data, with a preview of a scratch chart; true on OK.
bool RunChartFontPage(KmDocBase* doc, HWND owner, CChartData& data, const CKmChart* scratch);

// Owner-drawn colour items (the sheet's colour lists): 16 pixels high, a
// swatch of the colour and the item's name; the frame marks the selection.
void MeasureColorItem(MEASUREITEMSTRUCT* item);
void DrawColorItem(const DRAWITEMSTRUCT* item, COLORREF colour, bool noColour);
void DrawColorItemFrame(const DRAWITEMSTRUCT* item);

// The preview control's class: a chart (window's user data, a CKmChart*)
// drawn with sample values.
const char* RegisterChartPreviewClass();
