#include "engine/calc_pass.h"

#include "foundation/doc_base.h"
#include "engine/report_run.h"
#include "engine/summary_fields.h"
#include "foundation/heap_strings.h"
#include "foundation/band_lines.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/group_levels.h"
#include "model/record_pass.h"

#include <cstring>
#include <optional>

namespace {

bool IsPreprocessed(const FieldDef* f) { return IsTotal(f) && (f->totalFlags & kTotalPreprocessed); }

// The block of a run driven from outside the document, bound to its model
// (the run owns the block).
struct BoundRunCalc : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kRunCalc;
  RunCalcState* calc = nullptr;
};

size_t ValueBytes(CKmComposite* m, const FieldDef* f) {
  return (f->flags & kFieldMemo) ? kMemoValueBytes : m->GetFieldStorageSize(f);
}

// Exchanges a field's current and previous values (both buffers stay where
// they are, so that aliases sharing them see the exchange too).
void SwapBuffers(CKmComposite* m, FieldDef* f) {
  const size_t n = ValueBytes(m, f);
  uint8_t tmp[kMemoValueBytes > 512 ? kMemoValueBytes : 512];
  for (size_t at = 0; at < n; at += sizeof tmp) {
    const size_t k = n - at < sizeof tmp ? n - at : sizeof tmp;
    std::memcpy(tmp, f->value + at, k);
    std::memcpy(f->value + at, f->previous + at, k);
    std::memcpy(f->previous + at, tmp, k);
  }
  // The statuses of both halves, and whether each value was SQL NULL (ISNULL
  // reads it), go with the values.
  const uint8_t cur = f->valueStatus & 077;
  f->valueStatus = static_cast<uint8_t>((f->valueStatus & ~077u) | (f->previousStatus & 077));
  f->previousStatus = cur;
  const uint8_t nulls = static_cast<uint8_t>(((f->totalFlags & kTotalNullValue) ? 1 : 0) | (f->previousNull ? 2 : 0));
  f->totalFlags = static_cast<uint8_t>((f->previousBufferNulls & 1) ? (f->totalFlags | kTotalNullValue)
                                                                    : (f->totalFlags & ~kTotalNullValue));
  f->previousNull = (f->previousBufferNulls & 2) != 0;
  f->previousBufferNulls = nulls;
}

// A calculated field whose alias chain ends in a pre-processed total reset
// from firstBroken to 7.
bool ResetsWithBrokenLevel(CKmComposite* m, const FieldDef* f, int firstBroken) {
  const FieldDef* t = f;
  if (!IsTotal(t)) {
    FieldDef* root = RootTotal(m, const_cast<FieldDef*>(f));
    if (root == nullptr) return false;
    t = root;
  }
  return IsPreprocessed(t) && t->totalReset >= firstBroken && t->totalReset <= 7;
}

// Which fields hold the record that ended the group in their previous
// buffers at the time of the pass: the record values and the calculations
// made with them. Running totals and the calculations that rest on them are
// not yet updated with the new record, so they stay.
bool SwapsForPass(CKmComposite* m, const FieldDef* f, int firstBroken, bool preTotalsRead) {
  if (f->value == nullptr || f->previous == nullptr || IsAlias(f) || !(f->flags & m->scanMask)) return false;
  if (IsTotal(f) || (f->flags & kFieldTotalRelated)) {
    if (!preTotalsRead) return false;
    return ResetsWithBrokenLevel(m, f, firstBroken);
  }
  return true;
}

}  // namespace

RunCalcState* NewRunCalcState(CKmComposite* model) {
  RunCalcState* c = new RunCalcState();
  c->model = model;
  if (model != nullptr) {
    for (int i = 0; i < kRunGroupLevels && model->groupFields[i] != kNoField; ++i) {
      c->levels[i].field = model->groupFields[i];
      c->levels[i].options = model->groupFlags[i];
      c->levelsUsed = i + 1;
    }
    for (int i = 0; i < kRunGroupLevels && model->sortFields[i] != kNoField; ++i) {
      c->sortFields[i] = model->sortFields[i];
      c->sortAscending[i] = SortSlotAscending(model->sortWords[i]);
    }
  }
  return c;
}

void DeleteRunCalcState(RunCalcState* calc) {
  if (calc == nullptr) return;
  if (calc->model != nullptr) {
    ReleaseTotalsWorkOf(calc);
    BindRunCalc(calc->model, nullptr);
  }
  delete calc;
}

void BindRunCalc(CKmComposite* model, RunCalcState* calc) {
  if (calc == nullptr) {
    model->DropAttachment(AttachmentSlot::kRunCalc);
    return;
  }
  if (BoundRunCalc* bound = model->GetAttachment<BoundRunCalc>()) bound->calc = calc;
}

RunCalcState* RunCalcOf(CKmComposite* model) {
  if (model == nullptr) return nullptr;
  if (model->owner != nullptr && model->owner->m_pRun != nullptr && model->owner->m_pRun->calc != nullptr)
    return model->owner->m_pRun->calc;
  const BoundRunCalc* bound = model->FindAttachment<BoundRunCalc>();
  return bound == nullptr ? nullptr : bound->calc;
}

int BandListIndex(int list) {
  if (list >= 0 && list < kRunGroupLevels) return list;
  if (list == kPageList) return kRunGroupLevels;
  if (list == kReportList) return kRunGroupLevels + 1;
  return -1;
}

void BuildBandLists(RunCalcState* c, const BandLineRec* lines, int count) {
  for (auto& l : c->bandLists) l.clear();
  c->bandListsBuilt = true;
  if (c->model == nullptr || lines == nullptr) return;
  for (FieldDef* f = c->model->fieldList; f != nullptr; f = f->next) {
    const bool memoAlias = IsAlias(f) && (f->flags & kFieldMemo);
    if (!IsTotal(f) && !IsCalc(f) && !memoAlias) continue;
    if (!IsPlacedField(f) || (f->head.flags & kItemDeleted)) continue;
    if (f->head.bandLine >= count) continue;
    // A copy of a calculation or total (the field placed a second time)
    // shows that field's values: the field itself is worked out for the band.
    FieldDef* worked = f;
    if (IsAlias(f) && !memoAlias) {
      worked = const_cast<FieldDef*>(c->model->AliasedField(f));
      if (worked == f || (!IsTotal(worked) && !IsCalc(worked))) continue;
    }
    const int band = lines[f->head.bandLine].kind;
    int list = -1;
    if (band >= kBandGroupHeader && band < kBandGroupHeader + kRunGroupLevels) list = band - kBandGroupHeader;
    else if (band >= kBandGroupFooter && band < kBandGroupFooter + kRunGroupLevels) list = band - kBandGroupFooter;
    else if (band == kBandPageHeader || band == kBandPageFooter) list = kPageList;
    else if (band == kBandTitle || band == kBandSummary) list = kReportList;
    const int at = BandListIndex(list);
    if (at < 0) continue;
    auto& l = c->bandLists[at];
    bool present = false;
    for (FieldDef* g : l) present = present || g == worked;
    if (!present) l.push_back(worked);
  }
}

int CalcBandFields(CKmComposite* m, int list) {
  RunCalcState* c = RunCalcOf(m);
  const int at = BandListIndex(list);
  if (c == nullptr || at < 0) return 0;
  if (!c->bandListsBuilt && c->run != nullptr && c->run->doc != nullptr)
    BuildBandLists(c, c->run->doc->m_bandLines.lines, kBandLineCount);
  int firstBroken = kRunGroupLevels;
  for (int i = 0; i < c->levelsUsed; ++i)
    if (c->levels[i].runBits & kRunBreakPending) {
      firstBroken = i;
      break;
    }
  const bool phase23 = m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun;
  const bool preTotalsRead = phase23 && TotalsReadByGroup(GetRecordPassState(m));
  // A copy: an evaluation may not change the list, but the lists belong to the run.
  const std::vector<FieldDef*> fields = c->bandLists[at];
  auto listed = [&fields](const FieldDef* f) {
    for (const FieldDef* g : fields)
      if (g == f) return true;
    return false;
  };
  // The fields of the list are computed in place; what they are computed
  // from holds the record that ended the group for the time of the pass.
  std::vector<FieldDef*> swapped;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (!listed(f) && SwapsForPass(m, f, firstBroken, preTotalsRead)) swapped.push_back(f);
  for (FieldDef* f : swapped) SwapBuffers(m, f);
  // The record number too is the one of the record that ended the group.
  std::optional<PreviousRecordNumberScope> previousRecord(std::in_place, m);

  // Totals that the record step reaches are accumulated there; the pass
  // takes values only for those it does not, so none counts a record twice.
  std::vector<const FieldDef*> stepped;
  for (FieldDef* f = m->calcOrderList; f != nullptr; f = f->orderNext)
    if (IsTotal(f)) stepped.push_back(f);
  auto inStep = [&stepped](const FieldDef* f) {
    for (const FieldDef* g : stepped)
      if (g == f) return true;
    return false;
  };
  int code = 0;
  std::vector<uint8_t> current;
  for (FieldDef* f : fields) {
    if (!(f->flags & m->scanMask) || f->value == nullptr) continue;
    if (IsAlias(f) && (f->flags & kFieldMemo)) {
      FieldDef* to = m->GetFieldAt(f->refField);
      if (to != nullptr && to != f && to->value != nullptr && to->value != f->value)
        CKmComposite::CopyValueHeader(f->value, to->value);
    } else if (IsCalc(f)) {
      // A value the database gave with each row: the record that ended the
      // group left its own in the previous buffer.
      if (CalculationTakenFromRow(m, f)) continue;
      // A footer's figure goes to the previous value; the record keeps its own.
      const bool keep = list != kPageList && f->previous != nullptr && f->previous != f->value &&
                        !(f->flags & kFieldMemo);
      const uint8_t status = f->valueStatus;
      if (keep) current.assign(f->value, f->value + m->GetFieldStorageSize(f));
      if (EvaluateCalculation(m, f) != 0 && code == 0) code = m->lastEngineError;
      if (keep) {
        std::memcpy(f->previous, f->value, current.size());
        f->previousStatus = static_cast<uint8_t>(f->valueStatus & 7);
        std::memcpy(f->value, current.data(), current.size());
        f->valueStatus = status;
        continue;
      }
    } else if (IsTotal(f)) {
      if (!inStep(f) && EvaluateFieldCondition(m, f)) UpdateSummariesOf(c, f, 0);
      if (IsPreprocessed(f) && preTotalsRead) continue;
    } else {
      continue;
    }
    if (list != kPageList) KeepValueAsPrevious(m, f);
  }

  previousRecord.reset();
  for (FieldDef* f : swapped) SwapBuffers(m, f);
  return code;
}

void KeepValueAsPrevious(CKmComposite* m, FieldDef* f) {
  if (f->value == nullptr || f->previous == nullptr || f->previous == f->value) return;
  if (f->flags & kFieldMemo) {
    CKmComposite::CopyValueHeader(f->previous, f->value);
    std::memcpy(f->previous, f->value, kMemoValueBytes);
  } else {
    std::memcpy(f->previous, f->value, m->GetFieldStorageSize(f));
  }
  f->previousStatus = static_cast<uint8_t>(f->valueStatus & 7);
}

bool IsPageTotal(const FieldDef* f) { return IsTotal(f) && f->totalReset == kSummaryResetPage; }

bool ShowsClosedPageFigure(const RunCalcState* c, const FieldDef* f) {
  return c != nullptr && c->pageFiguresKept && IsPageFigure(c, f);
}

bool IsPageFigure(const RunCalcState* c, const FieldDef* f) {
  if (c == nullptr || f == nullptr) return false;
  if (IsAlias(f) && c->model != nullptr) f = c->model->AliasedField(f);
  if (IsPageTotal(f)) return true;
  for (const FieldDef* g : c->bandLists[BandListIndex(kPageList)])
    if (g == f) return true;
  return false;
}

void ClearGroupBreakFlags(CKmComposite* m) {
  RunCalcState* c = RunCalcOf(m);
  if (c == nullptr) return;
  for (int i = 0; i < c->levelsUsed; ++i) c->levels[i].runBits &= static_cast<uint8_t>(~kRunBreakPending);
}

bool IsSortField(CKmComposite* m, uint32_t id) {
  for (int i = 0; i < kRunGroupLevels && m->sortFields[i] != kNoField; ++i)
    if (m->sortFields[i] == id) return true;
  return false;
}

bool IsGroupField(CKmComposite* m, uint32_t id) {
  for (int i = 0; i < kRunGroupLevels && m->groupFields[i] != kNoField; ++i)
    if (m->groupFields[i] == id) return true;
  return false;
}

bool HasTotalOfField(CKmComposite* m, uint32_t id) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (IsTotal(f) && f->refField == id) return true;
  return false;
}

bool HasAliasOfField(CKmComposite* m, uint32_t id) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (IsAlias(f) && f->refField == id) return true;
  return false;
}

namespace {

bool IsTemporaryLink(const FieldDef* f) {
  return (f->flags & kFieldCalculation) && !(f->flags & (kFieldItem | kFieldAlias)) && !IsTotal(f);
}

}  // namespace

void ReleaseFieldDependencies(CKmComposite* m, uint32_t tableSlot) {
  if (tableSlot >= static_cast<uint32_t>(kMaxTables) || m->tableSlots[tableSlot] == nullptr) return;
  TableSlot* t = m->tableSlots[tableSlot];
  std::vector<FieldDef*> doomed;
  auto drop = [&doomed](FieldDef* f) {
    for (FieldDef* g : doomed)
      if (g == f) return;
    doomed.push_back(f);
  };
  // Bounded walk: a damaged chain must not hang the release.
  int blocks = 0;
  for (JoinLink* b = &t->link; b != nullptr && blocks < 1000; b = b->next, ++blocks) {
    for (auto& pair : b->pairs) {
      if (pair[0] == kNoField) continue;
      if (FieldDef* first = m->GetFieldAt(pair[0])) {
        if (first->joinUses > 0) --first->joinUses;
        if (first->joinUses == 0) {
          first->flags &= ~kFieldJoin;
          if (IsTemporaryLink(first)) drop(first);
        }
      }
      FieldDef* second = pair[1] != kNoField ? m->GetFieldAt(pair[1]) : nullptr;
      if (second != nullptr && IsTemporaryLink(second)) {
        if (second->joinUses > 0) --second->joinUses;
        if (second->joinUses == 0) drop(second);
      }
    }
  }
  JoinLink* chain = t->link.next;
  t->link.next = nullptr;
  while (chain != nullptr) {
    JoinLink* next = chain->next;
    HeapFreeBlock(chain);
    chain = next;
  }
  for (auto& pair : t->link.pairs) pair[0] = pair[1] = kNoField;
  // Deleting renumbers the fields after each one: the pairs are gone by now.
  for (FieldDef* f : doomed) m->DeleteField(f, 0);
}
