#include "model/group_levels.h"

#include "foundation/byte_order.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "model/external_sort.h"
#include "model/record_pass.h"
#include "model/record_sort.h"
#include "model/totals_readback.h"

#include <cstring>

namespace {

constexpr uint32_t kUnsupportedTotalsSortBit = 2;  // flags2
constexpr int kMaxRefHops = 64;

bool TotalLike(const FieldDef* f) { return IsTotal(f) || (f->flags & kFieldTotalRelated); }

int Fail(CKmComposite* m, int32_t code) {
  m->lastEngineError = code;
  return 1;
}

}  // namespace

FieldDef* RootTotal(CKmComposite* m, FieldDef* f) {
  // Bounded: a reference cycle must not hang the check.
  for (int hop = 0; f != nullptr && hop < kMaxRefHops; ++hop) {
    if (IsTotal(f)) return f;
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to == f) return nullptr;
    f = to;
  }
  return nullptr;
}

GroupSetup ModelGroupSetup(const CKmComposite* m) {
  GroupSetup setup;
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    setup.levels[i].field = m->groupFields[i];
    setup.levels[i].flags = m->groupFlags[i];
    setup.sortFields[i] = m->sortFields[i];
    setup.directions[i] = SortSlotAscending(m->sortWords[i]);
  }
  return setup;
}

int CheckSortAndGroupFields(CKmComposite* m, GroupSetup& s, FieldDef* keys[kKeyLevels], uint32_t kinds[kKeyLevels]) {
  for (int i = 0; i < kMaxGroupLevels && s.sortFields[i] != kNoField; ++i) {
    FieldDef* f = m->GetFieldAt(s.sortFields[i]);
    if (f != nullptr && TotalLike(f)) {
      FieldDef* root = RootTotal(m, f);
      if (root == nullptr || !(root->totalFlags & kTotalPreprocessed)) return Fail(m, kEngineSortRunningTotal);
    }
  }
  for (int i = 0; i < kMaxGroupLevels && s.levels[i].field != kNoField; ++i) {
    FieldDef* f = m->GetFieldAt(s.levels[i].field);
    if (f != nullptr && TotalLike(f)) {
      FieldDef* root = RootTotal(m, f);
      if (root == nullptr || !(root->totalFlags & kTotalPreprocessed)) return Fail(m, kEngineSortRunningTotal2);
    }
  }
  for (int i = 0; i < kKeyLevels; ++i) keys[i] = nullptr, kinds[i] = 0;
  int n = 0;
  s.totalsSorted = 0;
  for (int i = 0; i < kMaxGroupLevels && s.sortFields[i] != kNoField; ++i) {
    FieldDef* f = m->GetFieldAt(s.sortFields[i]);
    if (f == nullptr) continue;
    if (!TotalLike(f)) {
      keys[n] = f;
      kinds[n++] = s.directions[i];
      continue;
    }
    s.totalsSorted = 1;
    if (f->flags2 & kUnsupportedTotalsSortBit) return Fail(m, kEngineUnsupportedTotalsSort);
    FieldDef* root = RootTotal(m, f);
    if (root == nullptr) continue;
    // The groups of the level the total restarts at are what it sorts.
    const int level = root->totalReset;
    if (level < kMaxGroupLevels && s.levels[level].field != kNoField) {
      keys[n] = m->GetFieldAt(s.levels[level].field);
      if (keys[n] != nullptr) kinds[n++] = 1;
    }
  }
  if (s.totalsSorted) {
    if (n == 0) return -1;
    // Later duplicates go; the rest move to the front.
    int packed = 0;
    for (int i = 0; i < n; ++i) {
      bool dup = false;
      for (int j = 0; j < packed; ++j) dup = dup || keys[j] == keys[i];
      if (!dup) keys[packed] = keys[i], kinds[packed++] = kinds[i];
    }
    for (int i = packed; i < n; ++i) keys[i] = nullptr, kinds[i] = 0;
    n = packed;
    int lastKey = -1;
    for (int g = 0; g < kMaxGroupLevels && s.levels[g].field != kNoField; ++g) {
      FieldDef* gf = m->GetFieldAt(s.levels[g].field);
      if (gf == nullptr) continue;
      int at = -1;
      for (int j = 0; j < n; ++j)
        if (keys[j] == gf) at = j;
      if (at >= 0) {
        if (at < lastKey) return Fail(m, kEngineSortGroupOutOfSynch);
        lastKey = at;
      } else if (!(gf->totalFlags & kTotalPreprocessed) && n < kKeyLevels - 1) {
        keys[n] = gf;
        kinds[n] = 1;
        lastKey = n++;
      }
    }
  }
  bool inProgram = false;
  for (int i = 0; i < n; ++i) {
    const FieldDef* k = keys[i];
    if ((k->flags & kFieldCalculation) && k->sqlText == nullptr && !(k->flags2 & kField2ValueSetElsewhere))
      inProgram = true;
  }
  if (s.alwaysPreFetch || (n > 0 && s.recordLimit)) inProgram = true;
  return inProgram ? -2 : -1;
}

int CheckSortForTotals(CKmComposite* m, GroupSetup& s, FieldDef* keys[kKeyLevels], uint32_t kinds[kKeyLevels]) {
  const int r = CheckSortAndGroupFields(m, s, keys, kinds);
  // The run lists fetch the sort fields for as long as the program sorts.
  m->totalsSortWord = r == -2 ? 1 : 0;
  if (r == -2) {
    s.totalsSortNeeded = 1;
    ShowProgressPhase(m, 0, keys[0] != nullptr);
  }
  return r;
}

void RecalculateTotalChains(CKmComposite* m) {
  RecalculatePreprocessed(m, m->levelTotalChains[9]);
  for (int level = 7; level >= 0; --level) RecalculatePreprocessed(m, m->levelTotalChains[level]);
  RecalculatePreprocessed(m, m->levelTotalChains[8]);
}

// ---------------------------------------------------------------------------
// The totals sort

namespace {

struct TotalsSortState {
  SortKeyTable* table;
  FieldDef* keys[kMaxGroupLevels + 1];
  uint32_t written[kKeyLevels];
  bool anyWritten = false;
};

void TellGroupTotalsCounter(CKmComposite* m, int step) {
  if (GetRecordPassHooks().groupTotalsCounter != nullptr) GetRecordPassHooks().groupTotalsCounter(m, step);
}

int TotalsBegin(SortContext& ctx) {
  TellGroupTotalsCounter(ctx.model, 0);
  return 0;
}

void TotalsEnd(SortContext& ctx) { TellGroupTotalsCounter(ctx.model, 2); }

int TotalsNext(SortContext& ctx) {
  TotalsSortState* ts = static_cast<TotalsSortState*>(ctx.user);
  RecordPassState* st = GetRecordPassState(ctx.model);
  for (;;) {
    const uint64_t at = st->totalsFile.Tell();
    int level = 0;
    const int r = ReadTotalsRecordWithKeys(ctx.model, &level);
    if (r == 1) return kEngineEndOfData;
    if (r == 2 || at > 0xFFFFFFFFu) return kEngineCannotReadTotals;
    ts->table->entries[level].position = static_cast<uint32_t>(at);
    if (r == 3) {
      uint32_t mark, count;
      if (st->totalsFile.ReadU32(&mark) != 1 || st->totalsFile.ReadU32(&count) != 1) return kEngineCannotReadTotals;
      // Keys that rest on the totals see this group's values.
      RecalculateTotalChains(ctx.model);
      TellGroupTotalsCounter(ctx.model, 1);
      return 0;
    }
  }
}

int TotalsKey(SortContext& ctx, uint8_t* area, uint32_t room) {
  TotalsSortState* ts = static_cast<TotalsSortState*>(ctx.user);
  const uint32_t end = BuildFieldKeys(ctx, ts->keys, area, room);
  if (end == 0) return 1;
  PutU32(area, end);
  for (uint32_t l = 0; l < ctx.payloadWords; ++l) PutU32(area + 8 + 4 * l, ts->table->entries[l].position);
  if (end > ctx.longest) ctx.longest = end;
  return 0;
}

int TotalsOutput(SortContext& ctx, WorkFile& file, const uint8_t* record) {
  TotalsSortState* ts = static_cast<TotalsSortState*>(ctx.user);
  uint32_t first = 0;
  if (ts->anyWritten)
    while (first < ctx.payloadWords && GetU32(record + 8 + 4 * first) == ts->written[first]) ++first;
  if (first == ctx.payloadWords) first = ctx.payloadWords - 1;  // the same group again: its own record
  for (uint32_t l = first; l < ctx.payloadWords; ++l) {
    ts->written[l] = GetU32(record + 8 + 4 * l);
    if (file.IsOpen() && !file.WriteU32(ts->written[l])) return 1;
  }
  ts->anyWritten = true;
  return 0;
}

}  // namespace

int SortTotals(CKmComposite* m, const uint32_t* ascending, std::string* indexName) {
  RecordPassState* st = GetRecordPassState(m);
  SortKeyTable* table = m->sortKeyTable;
  indexName->clear();
  if (table == nullptr || !st->totalsFile.IsOpen() || table->keyLevels >= kKeyLevels) return kEngineSilent3188;
  TotalsSortState ts{table, {}, {}};
  int n = 0;
  for (uint32_t l = 1; l <= table->keyLevels && n < kMaxGroupLevels; ++l) {
    const SortKeyDef& e = table->entries[l];
    if (e.key1 != nullptr) ts.keys[n++] = e.key1;
    if (e.key2 != nullptr && !(e.flags & 1) && n < kMaxGroupLevels) ts.keys[n++] = e.key2;
  }
  st->totalsFile.Seek(0);
  if (n == 0) return 0;
  for (auto& e : table->entries) e.position = 0xFFFFFFFFu;
  SortContext ctx;
  InitRecordSortContext(m, &ctx);
  ctx.user = &ts;
  const int r = RunExternalSort(ctx, ts.keys, ascending, indexName, TotalsBegin, TotalsEnd, TotalsNext, TotalsOutput,
                                TotalsKey, table->keyLevels + 1, "GF#", 4);
  st->totalsFile.Seek(0);
  if (r != 0) {
    indexName->clear();
    return kEngineSilent3188;
  }
  st->indexName = *indexName;  // removed with the run's work files
  return 0;
}
