#include "engine/chart_output.h"

#include "charts/chart.h"
#include "charts/chart_render.h"
#include "core/composite.h"
#include "engine/calc_pass.h"
#include "engine/page_objects.h"
#include "engine/summary_fields.h"
#include "model/record_pass.h"
#include "core/engine_errors.h"
#include "engine/report_run.h"
#include "expr/value_format.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "platform/chart/graphics_server.h"

#include <algorithm>
#include <cstdio>

namespace {


LayoutTables* LayoutOf(KmDocBase* doc) { return doc ? doc->m_pLayout : nullptr; }

bool Live(const ReportItemHead& h) { return !(h.flags & (kItemDeleted | kItemInClipboard)); }

template <class F>
void EachChart(KmDocBase* doc, F f) {
  LayoutTables* t = LayoutOf(doc);
  if (t == nullptr) return;
  for (int i = 0; i < t->charts.Count(); ++i) {
    ChartTableEntry* e = t->charts.At(i);
    if (CKmChart* c = ChartOf(*e)) f(*e, *c);
  }
}

// The run's field values as the charts read them.
class RunValues : public ChartValueSource {
 public:
  // Before band output has its settings (the pre-pass) the plain ones serve.
  RunValues(CKmComposite* m, const FormatSettings* format) : m_(m), format_(format ? format : &plain_) {}
  bool Number(uint32_t field, double* value) override {
    const FieldDef* f = m_ ? m_->GetFieldAt(field) : nullptr;
    if (f == nullptr || f->value == nullptr || (f->flags & kFieldMemo) || (f->valueStatus & 7)) return false;
    if (FieldKind(f) & kFieldLogical) {
      *value = f->value[0] != 0 ? 1.0 : 0.0;
      return true;
    }
    if (!(FieldKind(f) & kFieldNumeric)) return false;
    const double v = GetF64(f->value);
    if (IsNullNumber(v)) return false;
    *value = v;
    return true;
  }
  std::string Text(uint32_t field) override {
    const FieldDef* f = m_ ? m_->GetFieldAt(field) : nullptr;
    if (f == nullptr || f->value == nullptr || format_ == nullptr) return std::string();
    char buffer[20 + kMaxFormattedText + 20] = {};
    const int n = FormatFieldValue(*format_, f, buffer, nullptr, -1, kOutputText, nullptr);
    std::string s(buffer, static_cast<size_t>(std::max(0, std::min<int>(n, sizeof buffer - 1))));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t lead = s.find_first_not_of(' ');
    return lead == std::string::npos ? std::string() : s.substr(lead);
  }

 private:
  CKmComposite* m_;
  FormatSettings plain_;
  const FormatSettings* format_;
};

// The band line kind a chart item sits in.
BYTE BandOf(const LayoutTables& t, const ReportItemHead& h) { return t.Lines().lines[h.bandLine].kind; }

// A chart whose values belong to one group (it collects records or deeper
// groups and sits in a group's footer or the Record band) starts afresh
// once drawn. Header charts show the whole report's values.
bool ResetsAfterDrawing(BYTE band, int level) {
  if (band >= kBandGroupFooter && band < kBandGroupFooter + 8) return level > band - kBandGroupFooter;
  return band == kBandRecord && level == kChartLevelRecord;
}

bool IsHeaderBand(BYTE band) {
  return band == kBandTitle || band == kBandPageHeader || (band >= kBandGroupHeader && band < kBandGroupHeader + 8);
}

bool IsHeaderChart(KmDocBase* doc, const ChartTableEntry& e) {
  const LayoutTables* t = LayoutOf(doc);
  return t != nullptr && IsHeaderBand(BandOf(*t, e.head));
}

}  // namespace

int ImbedChart(ReportRun* run, ItemOutput& it, LONG y, LONG shift, int copies, LONG copyWidth) {
  BandOutputState* s = run->band;
  ChartTableEntry* entry = ChartOfItem(it.head);
  CKmChart* chart = entry ? ChartOf(*entry) : nullptr;
  if (chart == nullptr || s == nullptr || !run->driver || !run->driver->HasEntry(29)) return 1;
  ChartArrays values;
  if (!chart->BuildChartArrays(&values)) return 1;  // nothing collected: nothing placed
  const ReportItemHead& h = entry->head;
  const int width = std::max(1, h.right - h.left + 1), height = std::max(1, h.bottom - h.top + 1);
  HENHMETAFILE picture = RenderChartMetafile(*chart, width, height, &values);
  if (ResetsAfterDrawing(BandOf(*s->layout, h), chart->Settings().level)) chart->ClearDrawnValues();
  if (picture == nullptr) return 1;
  entry->metafileCache.Push(picture);
  entry->metafileCache.KeepNewest();  // the page keeps its own copy of what it drew
  // The HTML export's picture of the chart, when it asked for one.
  if (!chart->imageFileName.empty())
    RenderPictureToBitmap(picture, width, height, chart->imageFileName.c_str());
  for (int copy = 0; copy < std::max(1, copies); ++copy) {
    const GraphicPlace g = PlaceGraphic(run, it, shift + copy * copyWidth, y);
    ChartRecord r;
    r.chart = entry;
    r.x = g.x, r.y = g.y, r.width = g.width, r.height = g.height;
    r.metafile = picture;
    if (!run->driver->DrawChart(run->page, &r)) return RefuseGraphic(run);
  }
  return 1;
}

void FeedRunCharts(ReportRun* run, int level, bool atEnd) {
  KmDocBase* doc = run ? run->doc : nullptr;
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (m == nullptr || (m->passPhase != kPhaseReportRun && m->passPhase != kPhaseChartPrepass)) return;
  // Asked for every record: without charts, no values are made ready.
  const LayoutTables* t = LayoutOf(doc);
  if (t == nullptr || t->charts.Count() == 0) return;
  const bool prepass = m->passPhase == kPhaseChartPrepass;
  RunValues values(m, run->band ? &run->band->format : nullptr);
  EachChart(doc, [&](ChartTableEntry& e, CKmChart& c) {
    if (Live(e.head) && IsHeaderChart(doc, e) == prepass) c.FeedLevel(level, atEnd, values);
  });
}

void ResetRunCharts(KmDocBase* doc) {
  EachChart(doc, [&](ChartTableEntry& e, CKmChart& c) {
    if (!IsHeaderChart(doc, e)) c.ResetSeries();
  });
}

bool HasHeaderCharts(KmDocBase* doc) {
  bool any = false;
  EachChart(doc, [&](ChartTableEntry& e, CKmChart&) { any = any || (Live(e.head) && IsHeaderChart(doc, e)); });
  return any;
}

int RunChartPrepass(KmDocBase* doc) {
  ReportRun* run = doc ? RunOf(doc) : nullptr;
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (run == nullptr || run->calc == nullptr || m == nullptr) return 0;
  bool any = false;
  EachChart(doc, [&](ChartTableEntry& e, CKmChart& c) {
    if (Live(e.head) && IsHeaderChart(doc, e)) c.ResetSeries(), any = true;
  });
  if (!any) return 0;
  RunCalcState* c = &CalcOf(run);
  RecordPassState* st = GetRecordPassState(m);
  const int32_t oldPhase = m->passPhase;
  const bool oldSummaries = st->summaries;
  ResetGroupBreaks(c, 0);
  FinishSummaries(c);
  m->passPhase = kPhaseChartPrepass;
  st->summaries = true;
  int r;
  while ((r = RunRecordPass(m, nullptr)) == 0) ClearGroupBreakFlags(m);
  if (r == kEngineEndOfData) FeedChartsAtLevel(c);
  m->passPhase = oldPhase;
  st->summaries = oldSummaries;
  // The run counts and totals from zero.
  ResetRunCounters(m);
  ResetGroupBreaks(c, 0);
  FinishSummaries(c);
  return r == kEngineEndOfData ? 0 : r;
}

void RegisterChartFields(KmDocBase* doc) {
  CKmComposite* m = doc ? doc->m_pModel : nullptr;
  if (m == nullptr) return;
  for (FieldDef* f = m->fieldList; f; f = f->next) f->flags2 &= ~kField2UsedByChart;
  EachChart(doc, [&](ChartTableEntry& e, CKmChart& c) {
    if (!Live(e.head)) return;
    for (uint32_t n : c.UsedFields())
      if (FieldDef* f = m->GetFieldAt(n)) {
        f->flags2 |= kField2UsedByChart;
        f->flags |= kFieldNeeded;
      }
  });
}

bool ChartsFieldDeleted(KmDocBase* doc, uint32_t field) {
  bool unchanged = true;
  EachChart(doc, [&](ChartTableEntry&, CKmChart& c) {
    if (!c.FieldDeleted(field)) unchanged = false;
  });
  return unchanged;
}

void RenumberChartFieldRefs(KmDocBase* doc, uint32_t oldField, uint32_t newField) {
  EachChart(doc, [&](ChartTableEntry&, CKmChart& c) { c.RenumberFieldRefs(oldField, newField); });
}

