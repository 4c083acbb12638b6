#include "app/chart_commands.h"

#include "app/document.h"
#include "charts/chart.h"
#include "dialogs/chart_sheet.h"
#include "foundation/settings.h"
#include "layout/band_line_layout.h"
#include "layout/chart_size.h"
#include "layout/item_tables.h"
#include "platform/win/profile.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kFaceKept = 31;

int LineHolding(const BandLineTable& lines, int y) {
  for (int i = 0; i < kBandLineCount; ++i)
    if (lines.lines[i].bottom >= y) return i;
  return kBandLineCount - 1;
}

}  // namespace

ChartTableEntry* AddChart(CKmDoc& doc, const RECT& rect) {
  if (doc.m_pLayout == nullptr || doc.m_pModel == nullptr || !doc.m_bReportOpen) return nullptr;
  LayoutTables& t = *doc.m_pLayout;
  BandLineTable& lines = t.Lines();
  if (lines.lines == nullptr) return nullptr;
  ChartTableEntry e;
  ReportItemHead& h = e.head;
  h.flags = kItemKindChart | kItemFixedPosition;
  h.left = std::max<LONG>(0, rect.left);
  h.top = std::max<LONG>(0, rect.top);
  h.right = std::max<LONG>(h.left + 1, rect.right);
  h.bottom = std::max<LONG>(h.top + 1, rect.bottom);
  h.height = h.bottom - h.top + 1;
  h.bandLine = static_cast<uint8_t>(LineHolding(lines, h.top));
  h.lineOffset = lines.lines[h.bandLine].bottom - h.top;  // keeps its place when lines are laid out again
  StoreChartSize(t.metrics, h, e.sizeWords);
  e.chart.reset(NewDefaultChart(&doc));
  ChartTableEntry* added = t.charts.Append(e);
  if (added == nullptr) return nullptr;
  const BYTE kind = lines.lines[h.bandLine].kind != kBandFree ? lines.lines[h.bandLine].kind : kBandRecord;
  InsertBandLines(lines, kind, LineHolding(lines, h.bottom));
  BuildLayoutItemOrder(t);
  t.currentChart = t.charts.Count() - 1;
  t.currentItem = &added->head;
  doc.SetModifiedFlag(TRUE);
  t.Hooks().RedrawAllPanes();
  return added;
}

ChartTableEntry* PlaceChart(CKmDoc& doc, const RECT& rect) {
  if (doc.m_pLayout == nullptr || doc.m_pLayout->Lines().lines == nullptr) return nullptr;
  // What the new chart changes, kept so that Cancel in its sheet takes it back.
  BandLineTable& lines = doc.m_pLayout->Lines();
  const std::vector<BandLineRec> linesBefore(lines.lines, lines.lines + kBandLineTableRecords);
  const int lastUsedBefore = lines.lastUsed;
  const BOOL modifiedBefore = doc.IsModified();
  ChartTableEntry* added = AddChart(doc, rect);
  if (added == nullptr) return nullptr;
  const int index = doc.m_pLayout->charts.Count() - 1;
  if (chartFormat(doc, index)) return added;
  // Cancelled: the chart just drawn goes, and the lines it added with it.
  LayoutTables& t = *doc.m_pLayout;
  DeleteChart(t, index, false);
  std::copy(linesBefore.begin(), linesBefore.end(), lines.lines);
  lines.lastUsed = lastUsedBefore;
  t.currentChart = 0;
  BuildLayoutItemOrder(t);
  doc.SetModifiedFlag(modifiedBefore);
  t.Hooks().RedrawAllPanes();
  return nullptr;
}

bool chartFormat(CKmDoc& doc, int index) {
  if (doc.m_pLayout == nullptr) return false;
  LayoutTables& t = *doc.m_pLayout;
  ChartTableEntry* e = t.charts.At(index < 0 ? t.currentChart : index);
  CKmChart* chart = e ? ChartOf(*e) : nullptr;
  if (chart == nullptr || !RunChartSheet(&doc, doc.GetOwnerWindow(), *chart)) return false;
  e->metafileCache.Clear();  // drawn again from the new settings
  doc.SetModifiedFlag(TRUE);
  t.Hooks().RedrawAllPanes();
  return true;
}

bool RunChartDefaultsSheet(CKmDoc& doc) {
  DocSettings& s = doc.m_settings;
  CChartData data;
  data.baseFace = s.chartFont[0][0] ? s.chartFont[0] : "Arial";
  data.palette = s.chartPalette;
  std::unique_ptr<CKmChart> scratch = NewDefaultChart(&doc);
  if (!RunChartFontPage(&doc, doc.GetOwnerWindow(), data, scratch.get())) return false;
  const std::string face = data.baseFace.substr(0, kFaceKept);
  std::snprintf(s.chartFont[0], sizeof s.chartFont[0], "%s", face.c_str());
  s.chartPalette = data.palette;
  WritePrivateProfileStringA("Defaults", "ChartFontBase", face.c_str(), SettingsIniPath().c_str());
  WriteIniInt("Defaults", "ChartPalette", data.palette);
  return true;
}

// The charts are drawn by the program's own chart layer, which is always there.
int OnNewReportCharts() { return 1; }

BOOL DispatchChartCommand(CKmDoc& doc, UINT id) {
  switch (id) {
    case kCmdChartDefaults:
      RunChartDefaultsSheet(doc);
      return TRUE;
    case kCmdFormatProperties: {
      // Only a chart's properties are answered here; the rest is the designer's.
      const LayoutTables* t = doc.m_pLayout;
      if (t == nullptr || t->currentItem == nullptr || !(t->currentItem->flags & kItemKindChart)) return FALSE;
      if (doc.m_pView != nullptr && doc.m_pView->MarkedLineCount() > 0) return FALSE;
      for (int i = 0; i < t->charts.Count(); ++i)
        if (&t->charts.At(i)->head == t->currentItem) return chartFormat(doc, i), TRUE;
      return FALSE;
    }
    default:
      return FALSE;
  }
}
