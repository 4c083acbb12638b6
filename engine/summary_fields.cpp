#include "engine/summary_fields.h"

#include "engine/band_line_helpers.h"
#include "engine/band_output.h"
#include "engine/calc_pass.h"
#include "engine/chart_output.h"
#include "engine/run_report.h"
#include "foundation/page_metrics.h"
#include "engine/output_values.h"
#include "expr/value_helpers.h"
#include "foundation/band_lines.h"
#include "foundation/byte_order.h"
#include "core/composite.h"
#include "core/fields.h"
#include "model/record_sort.h"
#include "model/totals_readback.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int32_t ReadDay(const uint8_t* p) {
  uint32_t d;
  std::memcpy(&d, p, sizeof d);
  return static_cast<int32_t>(d);
}
void WriteDay(uint8_t* p, uint32_t d) { std::memcpy(p, &d, sizeof d); }

// Run facts; a block bound to no run (a pass driven from outside a
// report run) answers 0.
uint32_t RecordsOutput(RunCalcState* c) {
  if (c->model != nullptr && c->model->passPhase == kPhaseTotalsPrepass) return c->recordsOutputPrepass;
  return c->run != nullptr ? c->run->recordsOutput : 0;
}
int32_t RecordHeight(RunCalcState* c) { return c->run != nullptr ? c->run->recordHeight : 0; }
// A printed Record band takes at least the label pitch on the page.
void SetRecordHeight(RunCalcState* c, int32_t h) {
  ReportRun* r = c->run;
  if (r == nullptr) return;
  r->recordHeight = h > 0 && r->doc != nullptr ? std::max(h, RecordPitch720(*r->doc)) : h;
}
// The document of the run the block belongs to, or null.
KmDocBase* DocOf(const RunCalcState* c) { return c->run != nullptr ? c->run->doc : nullptr; }
bool DoesNotFit(RunCalcState* c, int32_t height) {
  return DocOf(c) != nullptr && ::DoesNotFit(DocOf(c), height, c->run->pageFooterHeight);
}
int32_t BandHeight(RunCalcState* c, int band, int mode) {
  return DocOf(c) != nullptr ? ::BandHeight(DocOf(c), band, mode) : 0;
}
bool HasPageBreakLine(RunCalcState* c, int band) {
  return DocOf(c) != nullptr && BandHasFlaggedLine(DocOf(c), band, 1) != 0;
}
// The footer's height up to its first page-break line.
int32_t HeightToBreak(RunCalcState* c, int band) {
  return DocOf(c) != nullptr ? SumBandLines(DocOf(c), band, 1, 0) : 0;
}
bool RecordsAcross(const RunCalcState* c) { return c->run != nullptr && c->run->recordsAcrossExtra > 0; }

// Print and preview, or an export whose format lays out pages of its own kind.
bool PageFormat(RunCalcState* c, std::initializer_list<int> kinds) {
  const int k = c->run != nullptr ? static_cast<int>(c->run->exportRun) : 0;
  if (k == 0) return true;
  for (int kind : kinds)
    if (k == kind + 1) return true;
  return false;
}

// The text of a value bounded to the group slot: at most 254 characters.
void BoundedText(const uint8_t* v, size_t room, char out[kGroupSlotBytes]) {
  const size_t limit = room < kGroupSlotBytes - 1 ? room : kGroupSlotBytes - 1;
  const size_t n = strnlen(reinterpret_cast<const char*>(v), limit);
  std::memcpy(out, v, n);
  out[n] = 0;
}

int CompareText(CKmComposite* m, const char* a, const char* b) {
  if (m != nullptr && m->compareText != nullptr)
    return m->compareText(m, a, b, m->IdenticalCompare, m->CompareCaseCombined);
  return std::strcmp(a, b);
}

size_t TextRoom(CKmComposite* m, const FieldDef* f) {
  if (f->flags & kFieldMemo) return kMemoValueBytes;
  return m != nullptr ? m->GetFieldWidth(f) : kGroupSlotBytes - 1;
}

// The group break's own settings of the record sort: a group value's text
// is at most 254 characters, and a rank the server gave is the current
// record's own.
void InitGroupSort(CKmComposite* m, SortContext* sort) {
  InitRecordSortContext(m, sort);
  sort->textKeyLimit = kGroupSlotBytes - 1;
  sort->serverRanks = true;
}

// The field's value into its level's slot, as its key; a key that cannot be
// built leaves the slot holding none, so the next record breaks again.
void StoreGroupValue(const SortContext& sort, const FieldDef* f, uint8_t* slot) {
  if (FieldSortKey(sort, f, slot, kGroupKeyBytes) == 0) slot[0] = kGroupSlotFill;
}

FieldDef* SourceOf(CKmComposite* m, const FieldDef* total) {
  if (m == nullptr) return nullptr;
  FieldDef* s = m->GetFieldAt(total->refField);
  return s == total ? nullptr : s;
}

bool ZeroIsEmpty(const FieldDef* src, double v) {
  return (FieldKind(src) & kFieldNumeric) && (src->formatCode & kFormatZeroIsEmpty) && v == 0.0;
}

double SourceNumber(const FieldDef* src) {
  const uint32_t kind = FieldKind(src);
  if (src->flags & kFieldMemo) return 0.0;
  if (kind & kFieldLogical) return src->value[0] != 0 ? 1.0 : 0.0;
  if (kind & kFieldNumeric) return GetF64(src->value);
  return 0.0;
}

// Minimum (less = true) or Maximum of a source into the total, by the source's type.
void TakeExtreme(CKmComposite* m, FieldDef* total, const FieldDef* src, bool less) {
  uint8_t* t = total->value;
  const uint8_t* v = src->value;
  const uint32_t kind = FieldKind(src);
  auto better = [less](auto a, auto b) { return less ? a < b : a > b; };
  if (src->flags & kFieldMemo) {
  } else if (kind & kFieldNumeric) {
    const double x = GetF64(v);
    if (ZeroIsEmpty(src, x)) return;
    const double cur = GetF64(t);
    if (IsNullNumber(cur) || better(x, cur)) PutF64(t, x);
    return;
  } else if (kind & kFieldLogical) {
    if (less && v[0] == 0) t[0] = 0;
    if (!less && v[0] != 0) t[0] = 1;
    return;
  } else if (kind & kFieldDateTime) {
    const int32_t day = ReadDay(v), curDay = ReadDay(t);
    const double time = GetF64(v + 4), curTime = GetF64(t + 4);
    if (static_cast<uint32_t>(curDay) == kNoDayValue || better(day, curDay) || IsNullNumber(curTime) ||
        (day == curDay && better(time, curTime)))
      std::memcpy(t, v, 12);
    return;
  } else if (kind & kFieldTime) {
    const double time = GetF64(v + 4), cur = GetF64(t + 4);
    if (IsNullNumber(cur) || better(time, cur)) std::memcpy(t, v, 12);
    return;
  } else if (kind & kFieldDate) {
    const int32_t day = ReadDay(v), cur = ReadDay(t);
    if (static_cast<uint32_t>(cur) == kNoDayValue || better(day, cur)) WriteDay(t, static_cast<uint32_t>(day));
    return;
  }
  // Text, by the report's collation; an empty total takes any value.
  const size_t room = m != nullptr ? m->GetFieldWidth(total) : kGroupSlotBytes;
  if (room == 0) return;
  char a[kGroupSlotBytes], cur[kGroupSlotBytes];
  BoundedText(v, TextRoom(m, src), a);
  BoundedText(t, room - 1, cur);
  bool curEmpty = true;
  for (const char* p = cur; *p; ++p) curEmpty = curEmpty && *p == ' ';
  if (curEmpty || better(CompareText(m, a, cur), 0)) {
    const size_t n = std::min(std::strlen(a), room - 1);
    std::memcpy(t, a, n);
    t[n] = 0;
  }
}

void ClearLevelsForRecord(RunCalcState* c) {
  c->pageResetPending = 0;
  c->pageAffectingBreak = 0;
  c->footerSwap = 0;
  c->swapHeaderDone = 0;
  c->swapHeaderPending = 0;
  c->groupBreakPending = 0;
  c->headerSpace = 0;
  c->reservedFooterSpace = 0;
  c->pageFiguresKept = 0;
  c->recordPageTotals.clear();
}

}  // namespace

void ClosePageFigures(RunCalcState* c) {
  CKmComposite* m = c->model;
  for (FieldDef* f : c->bandLists[BandListIndex(kPageList)])
    if (f->flags & m->scanMask) KeepValueAsPrevious(m, f);
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsPageTotal(f) || IsAlias(f) || f->value == nullptr) continue;
    KeepValueAsPrevious(m, f);
    ResetSummary(c, f);
  }
  c->pageFiguresKept = 1;
}

namespace {

bool LevelPending(const RunCalcState* c, int level) {
  return level >= 0 && level < c->levelsUsed && (c->levels[level].runBits & kRunBreakPending);
}

void FeedCharts(RunCalcState* c, bool onlyPending) {
  if (c->run == nullptr) return;
  for (int level = kRunGroupLevels; level >= 0; --level) {
    if (onlyPending && level < kRunGroupLevels && !LevelPending(c, level)) continue;
    FeedRunCharts(c->run, level, !onlyPending);
  }
}

// Phase1 and Phase2 once a record, kept out of UpdateSummariesOf, which is
// called for every total of every record as well.
__attribute__((noinline)) int Phase1(RunCalcState* c) {
  CKmComposite* m = c->model;
  ClearLevelsForRecord(c);
  const uint32_t output = RecordsOutput(c);
  const bool broke = DetectGroupBreak(c);
  c->groupBreakPending = broke && output >= 1;
  if (c->groupBreakPending) {
    for (int level = kRunGroupLevels - 1; level >= 0; --level) {
      if (!LevelPending(c, level)) continue;
      const int r = CalcBandFields(m, level);
      if (r != 0) return r;
    }
  }
  FeedCharts(c, true);
  if (m->passPhase == kPhaseTotalsPrepass && c->groupBreakPending) KeepFinishedTotals(c);
  const bool phase3 = m->passPhase == kPhaseReportRun;
  // Only a level with a break pending resets totals: mostly none has.
  bool anyPending = false;
  for (int level = 0; level < c->levelsUsed && !anyPending; ++level) anyPending = LevelPending(c, level);
  for (FieldDef* f = anyPending ? m->fieldList : nullptr; f != nullptr; f = f->next) {
    if (!IsTotal(f) || f->value == nullptr || !LevelPending(c, f->totalReset)) continue;
    if (phase3 && (f->totalFlags & kTotalPreprocessed)) continue;
    ResetSummary(c, f);
  }
  c->bandInProgress = 0;
  // Pre-processed totals of the groups that start here (totals level = group level + 1).
  int first = -1;
  if (output == 0) first = 0;
  else if (broke && c->brokenLevel >= 0) first = c->brokenLevel + 1;
  if (first >= 0 && m->passPhase != kPhaseTotalsPrepass) {
    const int r = LoadPreprocessedTotals(m, first);
    if (r != 0) return r;
  }
  return 0;
}

__attribute__((noinline)) int Phase2(RunCalcState* c) {
  int pageBreakLine = 0;
  bool noFit = false;
  if (PageFormat(c, {0, 5, 8, 9})) {
    if (!RecordsAcross(c))
      SetRecordHeight(c, c->run != nullptr && c->run->printRecordBand ? BandHeight(c, kBandRecord, 0) : 0);
    noFit = GroupChangeDoesNotFit(c, &pageBreakLine);
  } else {
    SetRecordHeight(c, 0);
  }
  const int32_t height = RecordHeight(c);
  const bool due = height < 0 || noFit || c->pageAffectingBreak || c->reservedFooterSpace;
  const bool columnMode = c->run != nullptr && c->run->columnsAcross > 1;
  bool columnEnds = !columnMode || pageBreakLine || c->pageAffectingBreak;
  if (!columnEnds) columnEnds = c->run->currentColumn == c->run->columnsAcross;
  // Records across: the records of a row take no page before the row is
  // sent, and the row's flush settles the page figures.
  if (due && columnEnds && !RecordsAcross(c) && RecordsOutput(c) >= 1) {
    const int r = CalcBandFields(c->model, kPageList);
    if (r != 0) return r;
    ClosePageFigures(c);
  }
  return 0;
}

}  // namespace

bool IsSummarySourceEmpty(const FieldDef* f) {
  if (f == nullptr || f->value == nullptr) return true;
  if (f->flags & kFieldMemo) {
    for (size_t i = 0; i < kMemoValueBytes && f->value[i] != 0; ++i)
      if (f->value[i] != ' ') return false;
    return true;
  }
  return IsValueBlank(f, f->value, GetNullNumber()) != 0;
}

void AddSummaryValue(RunCalcState* c, FieldDef* total) {
  CKmComposite* m = c->model;
  FieldDef* src = SourceOf(m, total);
  if (src == nullptr || src->value == nullptr || total->value == nullptr) return;
  const uint8_t kind = total->totalFunction;
  if ((m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun) &&
      (total->totalFlags & kTotalPreprocessed))
    return;
  const uint8_t srcError = src->valueStatus & 7;
  if (kind != kSummaryCount) {
    if (total->valueStatus & 7) return;  // a total in error stays so until its reset
    if (srcError) {
      total->valueStatus = static_cast<uint8_t>((total->valueStatus & ~7u) | srcError);
      return;
    }
  }
  if (total->totalLevel < kSummaryEveryRecord && !LevelPending(c, total->totalLevel)) return;
  if (IsSummarySourceEmpty(src)) return;
  const double v = SourceNumber(src);
  uint8_t* t = total->value;
  switch (kind) {
    case kSummaryCount:
      if (!ZeroIsEmpty(src, v)) PutF64(t, GetF64(t) + 1.0);
      break;
    case kSummarySum:
      PutF64(t, GetF64(t) + v);
      break;
    case kSummaryAverage: {
      if (ZeroIsEmpty(src, v)) break;
      SummaryAccum& a = c->accum[total];
      a.sum += v;
      ++a.count;
      PutF64(t, a.sum / a.count);
      break;
    }
    case kSummaryMinimum:
    case kSummaryMaximum:
      TakeExtreme(m, total, src, kind == kSummaryMinimum);
      break;
    case kSummaryStdDeviation:
    case kSummaryVariance: {
      if (ZeroIsEmpty(src, v)) break;
      // Running mean and squared distances: no cancellation between two large sums.
      SummaryAccum& a = c->accum[total];
      a.sum += v;
      ++a.count;
      const double delta = v - a.mean;
      a.mean += delta / a.count;
      a.squares += delta * (v - a.mean);
      double variance = a.squares / a.count;
      if (!(variance >= 0.0)) variance = 0.0;
      PutF64(t, kind == kSummaryVariance ? variance : std::sqrt(variance));
      break;
    }
    default:
      break;
  }
}

void ResetSummary(RunCalcState* c, FieldDef* total) {
  c->accum.erase(total);
  total->valueStatus &= static_cast<uint8_t>(~7u);
  uint8_t* t = total->value;
  if (t == nullptr) return;
  const uint8_t kind = total->totalFunction;
  if (kind == kSummaryMinimum || kind == kSummaryMaximum) {
    const FieldDef* src = SourceOf(c->model, total);
    const uint32_t k = src != nullptr ? FieldKind(src) : FieldKind(total);
    const bool memo = src != nullptr && (src->flags & kFieldMemo);
    if (memo) {
      t[0] = 0;
    } else if (k & kFieldNumeric) {
      PutF64(t, GetNullNumber());
    } else if (k & kFieldLogical) {
      t[0] = kind == kSummaryMinimum ? 1 : 0;
    } else if (k & (kFieldDateTime | kFieldTime)) {
      WriteDay(t, kNoDayValue);
      PutF64(t + 4, GetNullNumber());
    } else if (k & kFieldDate) {
      WriteDay(t, kNoDayValue);
    } else {
      t[0] = 0;
    }
    return;
  }
  // Average and the deviations start from 0 too, so a group without values
  // never shows the figure of the group before it.
  PutF64(t, 0.0);
}

void FinishSummaries(RunCalcState* c) {
  for (FieldDef* f = c->model->fieldList; f != nullptr; f = f->next)
    if (IsTotal(f) && f->value != nullptr) ResetSummary(c, f);
}

void ResetPageTotals(RunCalcState* c) {
  CKmComposite* m = c->model;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsPageTotal(f) || f->value == nullptr) continue;
    ResetSummary(c, f);
    if (f->previous != nullptr) std::memcpy(f->previous, f->value, m->GetFieldStorageSize(f));
  }
}

void ClearGroupValues(RunCalcState* c) {
  std::memset(c->previousGroup, kGroupSlotFill, sizeof c->previousGroup);
}

void ResetGroupBreaks(RunCalcState* c, int setPending) {
  if (c->levelsUsed < 1) return;
  ClearGroupValues(c);
  for (int i = 0; i < c->levelsUsed; ++i) {
    uint8_t& bits = c->levels[i].runBits;
    bits = static_cast<uint8_t>(setPending ? (bits | kRunBreakPending) : (bits & ~7u));
  }
}

bool DetectGroupBreak(RunCalcState* c) {
  CKmComposite* m = c->model;
  // Values are one group when the program's sort ties them: whoever sorted,
  // each group is then one run of records.
  SortContext& sort = c->groupSort;
  InitGroupSort(m, &sort);
  // The record's key is built here once and, when it breaks, becomes the slot.
  uint8_t key[kGroupKeyBytes];
  for (int i = 0; i < c->levelsUsed; ++i) {
    const FieldDef* f = m->GetFieldAt(c->levels[i].field);
    if (f == nullptr || f->value == nullptr) continue;
    uint8_t* slot = c->previousGroup + i * kGroupKeyBytes;
    const uint32_t n = FieldSortKey(sort, f, key, sizeof key);
    // A key ends itself, so the same bytes are the same key, which ties in
    // any comparison: most records go on with their group.
    bool always = false;
    if (n > 0 && (std::memcmp(key, slot, n) == 0 ||
                  CompareSortKey(sort, SortKeyKindOf(sort, f), key, slot, &always) == 0))
      continue;
    c->brokenLevel = i;
    const bool noteOptions = m->passPhase == kPhaseReportRun && PageFormat(c, {0, 5, 9});
    for (int j = i; j < c->levelsUsed; ++j) {
      RunGroupLevel& level = c->levels[j];
      level.runBits = kRunBreakPending;
      if (noteOptions) {
        if (level.options & (kGroupResetPage | kGroupSwapFooter | kGroupSwapHeader)) c->pageAffectingBreak = 1;
        if (level.options & kGroupSwapFooter) {
          const int32_t h = HeightToBreak(c, kBandGroupFooter + j);
          if (h > 0) c->reservedFooterSpace += h;
          c->footerSwap = 1;
        }
        if (level.options & kGroupSwapHeader) c->swapHeaderPending = 1;
        if (level.options & kGroupResetPage) c->pageResetPending = 1;
      }
      const FieldDef* g = m->GetFieldAt(level.field);
      if (g == nullptr || g->value == nullptr) continue;
      uint8_t* gslot = c->previousGroup + j * kGroupKeyBytes;
      if (j == i && n > 0) std::memcpy(gslot, key, n);
      else StoreGroupValue(sort, g, gslot);
    }
    return true;
  }
  return false;
}

bool GroupChangeDoesNotFit(RunCalcState* c, int* pageBreakLine) {
  const uint32_t output = RecordsOutput(c);
  int32_t footers = 0;
  for (int i = 0; i < c->levelsUsed; ++i) {
    if (!LevelPending(c, i)) continue;
    if (!(c->levels[i].options & kGroupSwapHeader)) {
      if (HasPageBreakLine(c, kBandGroupHeader + i)) {
        *pageBreakLine = 1;
        return true;
      }
      const int32_t h = BandHeight(c, kBandGroupHeader + i, -1);
      if (h > 0) c->headerSpace += h;
    }
    if (output > 0 && c->reservedFooterSpace == 0) {
      if (HasPageBreakLine(c, kBandGroupFooter + i)) {
        *pageBreakLine = 1;
        return true;
      }
      const int32_t h = BandHeight(c, kBandGroupFooter + i, 1);
      if (h > 0) footers += h;
    }
  }
  const int32_t record = RecordHeight(c);
  return DoesNotFit(c, footers + c->headerSpace + (record > 0 ? record : 0));
}

int HandleGroupBreak(RunCalcState* c) {
  ReportRun* r = c->run;
  if (r == nullptr || r->doc == nullptr) return 0;
  KmDocBase* doc = r->doc;
  if (c->groupBreakPending) {
    r->groupEndedOnPage = true;
    if (RecordsAcross(c)) {
      if (FlushAcrossRow(r, 0) == 0) return 1;
      if (FlushPendingAdvance(doc) == 0) return 1;
    }
    if (OutputGroupFooters(doc) != 0) return 1;
  }
  const int32_t record = RecordHeight(c);
  if (RecordsOutput(c) > 0 && !c->pageAffectingBreak && c->headerSpace >= 1 &&
      DoesNotFit(c, c->headerSpace + (record > 0 ? record : 0))) {
    // The headers stay with their first record on the next page.
    NoteBreakBand(r, kBandGroupHeader + (c->brokenLevel > 0 ? c->brokenLevel : 0));
    if (HandlePageOverflow(doc, 0) == 0) return 1;
  }
  if (c->groupBreakPending && !c->swapHeaderPending && OutputGroupHeaders(doc, 1) != 0) return 1;
  return 0;
}

void FeedChartsAtLevel(RunCalcState* c) { FeedCharts(c, false); }

int UpdateSummariesOf(RunCalcState* c, FieldDef* total, int phase) {
  if (c == nullptr) return 0;
  if (phase == 1) return Phase1(c);
  if (phase == 2) return Phase2(c);
  if (total != nullptr) AddSummaryValue(c, total);
  return 0;
}

int UpdateSummaries(CKmComposite* model, FieldDef* total, int phase) {
  RunCalcState* c = RunCalcOf(model);
  // A page total of a report's pages takes the record when the record's
  // page is settled, not when it is read.
  if (phase != 1 && phase != 2 && total != nullptr && c != nullptr && IsPageTotal(total) && c->run != nullptr &&
      c->run->doc != nullptr && model->passPhase == kPhaseReportRun) {
    c->recordPageTotals.push_back(total);
    return 0;
  }
  return UpdateSummariesOf(c, total, phase);
}
