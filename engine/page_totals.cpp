#include "engine/page_totals.h"

#include "engine/band_output.h"
#include "engine/calc_pass.h"
#include "engine/report_run.h"
#include "engine/summary_fields.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/group_levels.h"
#include "model/record_pass.h"

#include <cstring>

namespace {

bool HoldsPageTotal(const FieldDef* f) { return IsPageTotal(f) && !IsAlias(f) && f->value != nullptr; }

bool RecordsAcross(const RunCalcState* c) {
  return c->run != nullptr && c->run->recordsAcrossExtra > 0 && c->run->band != nullptr;
}

TotalFigure FigureOf(RunCalcState* c, FieldDef* f) {
  TotalFigure t;
  t.total = f;
  t.value.assign(f->value, f->value + c->model->GetFieldStorageSize(f));
  t.status = static_cast<uint8_t>(f->valueStatus & 7);
  const auto a = c->accum.find(f);
  t.running = a != c->accum.end();
  if (t.running) t.accum = a->second;
  return t;
}

void PutFigure(RunCalcState* c, const TotalFigure& t) {
  FieldDef* f = t.total;
  std::memcpy(f->value, t.value.data(), t.value.size());
  f->valueStatus = static_cast<uint8_t>((f->valueStatus & ~7u) | t.status);
  if (t.running) c->accum[f] = t.accum;
  else c->accum.erase(f);
}

// The calculations over page totals follow their totals (the record pass
// worked them out before the record counted).
void EvaluatePageTotalCalculations(CKmComposite* m) {
  for (FieldDef* f = m->calcOrderList; f != nullptr; f = f->orderNext) {
    if (!IsCalc(f) || !(f->flags & m->scanMask) || !(f->flags & kFieldTotalRelated)) continue;
    const FieldDef* root = RootTotal(m, f);
    if (root != nullptr && IsPageTotal(root)) EvaluateCalculation(m, f);
  }
}

// The row's own figure of a page total takes the record too.
void AddToRowFigure(RunCalcState* c, FieldDef* f) {
  for (TotalFigure& row : c->ofRow) {
    if (row.total != f) continue;
    const TotalFigure page = FigureOf(c, f);
    PutFigure(c, row);
    AddSummaryValue(c, f);
    row = FigureOf(c, f);
    PutFigure(c, page);
    return;
  }
}

}  // namespace

void TakeRecordPageTotals(RunCalcState* c) {
  if (c == nullptr || c->model == nullptr) return;
  const bool across = RecordsAcross(c);
  if (across && c->run->band->rowRecords == 0) {
    // A new row: the figures before it, and its own from nothing.
    ForgetRowFigures(c);
    for (FieldDef* f = c->model->fieldList; f != nullptr; f = f->next) {
      if (!HoldsPageTotal(f)) continue;
      const TotalFigure page = FigureOf(c, f);
      c->beforeRow.push_back(page);
      ResetSummary(c, f);
      c->ofRow.push_back(FigureOf(c, f));
      PutFigure(c, page);
    }
  }
  if (c->recordPageTotals.empty()) return;
  for (FieldDef* f : c->recordPageTotals) {
    AddSummaryValue(c, f);
    if (across) AddToRowFigure(c, f);
  }
  c->recordPageTotals.clear();
  EvaluatePageTotalCalculations(c->model);
}

void LeaveRowToNextPage(RunCalcState* c) {
  if (c == nullptr || c->beforeRow.empty()) return;
  for (const TotalFigure& t : c->beforeRow) PutFigure(c, t);
  EvaluatePageTotalCalculations(c->model);
  CalcBandFields(c->model, kPageList);
  ClosePageFigures(c);
}

void StartPageWithRow(RunCalcState* c) {
  if (c == nullptr || c->ofRow.empty()) return;
  for (const TotalFigure& t : c->ofRow) PutFigure(c, t);
  EvaluatePageTotalCalculations(c->model);
  ForgetRowFigures(c);
}

void ForgetRowFigures(RunCalcState* c) {
  if (c == nullptr) return;
  c->beforeRow.clear();
  c->ofRow.clear();
}
