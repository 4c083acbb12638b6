#include "engine/calc_pass.h"
#include "foundation/byte_order.h"

#include "engine/summary_fields.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/field_dependencies.h"
#include "model/filter_spec.h"
#include "model/group_levels.h"
#include "model/record_pass.h"
#include "model/totals_readback.h"
#include "model/work_files.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A value as it goes into the totals file: its stored bytes and its state.
struct Snapshot {
  std::vector<uint8_t> bytes;
  uint8_t state = 0;
};

}  // namespace

// The pre-pass's own work: the totals file it writes, the level table that
// the totals read-back uses during the run, and per level where its open
// record lies and the values of the group that is open.
struct TotalsWork {
  WorkFile file;
  std::string name;
  SortKeyTable* table = nullptr;
  uint32_t deepest = 0;
  bool markAndCount = false;  // the deepest records carry their group's place in the components file
  uint32_t recordLength[kKeyLevels] = {};
  uint64_t position[kKeyLevels] = {};
  bool hasRecord[kKeyLevels] = {};
  uint32_t mark = 0;  // accepted records before the deepest level's open group
  Snapshot key1[kKeyLevels], key2[kKeyLevels];
  std::unordered_map<const FieldDef*, Snapshot> finished;
};

namespace {

bool IsPreprocessed(const FieldDef* f) { return IsTotal(f) && (f->totalFlags & kTotalPreprocessed); }
bool IsText(const FieldDef* f) { return FieldKind(f) == 0 || (f->flags & kFieldMemo); }

void FreeLevelTable(SortKeyTable* t) {
  if (t == nullptr) return;
  for (auto& e : t->entries) {
    for (TotalNode* n = e.chain; n != nullptr;) {
      TotalNode* next = n->next;
      delete n;
      n = next;
    }
    e.chain = nullptr;
  }
  delete t;
}

// The storage width of a value in the totals file (0: none).
uint16_t ValueWidth(CKmComposite* m, const FieldDef* f) {
  if (f == nullptr || f->value == nullptr) return 0;
  const uint32_t w = (f->flags & kFieldMemo) ? kMemoValueBytes : m->GetFieldWidth(f);
  return static_cast<uint16_t>(w > 0xFFFF ? 0xFFFF : w);
}

Snapshot Snap(CKmComposite* m, const FieldDef* f) {
  Snapshot s;
  const uint16_t n = ValueWidth(m, f);
  s.bytes.assign(f->value, f->value + n);
  s.state = f->valueStatus & 7;
  return s;
}

// One value: fixed width, or at the deepest level a text as a 16-bit length
// (with its terminator) and its characters.
bool PutValue(WorkFile& file, const FieldDef* f, const Snapshot& s, uint16_t width, bool deepest) {
  std::vector<uint8_t> bytes = s.bytes;
  bytes.resize(width, 0);
  if (deepest && IsText(f)) {
    size_t n = 0;
    while (n + 1 < bytes.size() && bytes[n] != 0) ++n;
    const uint16_t len = static_cast<uint16_t>(n + 1);
    const uint8_t head[2] = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8)};
    bytes[n] = 0;
    if (!file.Write(head, 2) || !file.Write(bytes.data(), len)) return false;
  } else if (width > 0 && !file.Write(bytes.data(), width)) {
    return false;
  }
  return file.Write(&s.state, 1);
}

const Snapshot& TotalValue(TotalsWork* w, CKmComposite* m, const FieldDef* f, bool ended, Snapshot& scratch) {
  if (!ended) {
    auto it = w->finished.find(f);
    if (it != w->finished.end()) return it->second;
  }
  scratch = Snap(m, f);
  return scratch;
}

bool WriteTotalsRecord(CKmComposite* m, TotalsWork* w, uint32_t level, bool ended) {
  const SortKeyDef& e = w->table->entries[level];
  const bool deepest = level == w->deepest;
  const uint8_t lv = static_cast<uint8_t>(level);
  if (!w->file.Write(&lv, 1)) return false;
  Snapshot scratch;
  if (e.storedLength1 != 0) {
    // A key that is a total takes the figure of its finished group.
    const Snapshot& k = IsTotal(e.key1) ? TotalValue(w, m, e.key1, ended, scratch) : w->key1[level];
    if (!PutValue(w->file, e.key1, k, e.storedLength1, deepest)) return false;
  }
  if (e.storedLength2 != 0 && !PutValue(w->file, e.key2, w->key2[level], e.storedLength2, deepest)) return false;
  for (const TotalNode* n = e.chain; n != nullptr; n = n->next)
    if (!PutValue(w->file, n->field, TotalValue(w, m, n->field, ended, scratch), n->storedLength, deepest))
      return false;
  if (deepest && w->markAndCount) {
    RecordPassState* st = GetRecordPassState(m);
    const uint32_t read = st->acceptedCount;
    // At a break the record that broke is already counted: it opens the next group.
    const uint32_t upTo = ended ? read : (read > 0 ? read - 1 : 0);
    const uint32_t count = upTo > w->mark ? upTo - w->mark : 0;
    if (!w->file.WriteU32(w->mark) || !w->file.WriteU32(count)) return false;
    w->mark = upTo;
  }
  return true;
}

bool WritePlaceholder(TotalsWork* w, uint32_t level) {
  w->position[level] = w->file.Tell();
  w->hasRecord[level] = true;
  const std::vector<uint8_t> zeros(w->recordLength[level], 0);
  return w->position[level] != UINT64_MAX && w->file.Write(zeros.data(), zeros.size());
}

// The records of the levels from `from` to the deepest are complete: the
// deepest is appended, the others overwrite their placeholders; then the
// groups that start get new placeholders.
int WriteTotalsUpTo(CKmComposite* m, TotalsWork* w, uint32_t from, bool ended) {
  uint64_t end = w->file.Tell();
  for (uint32_t level = w->deepest + 1; level-- > from;) {
    if (level == w->deepest) {
      if (!w->file.Seek(end) || !WriteTotalsRecord(m, w, level, ended)) return kEngineCannotWriteTotals;
      end = w->file.Tell();
    } else if (w->hasRecord[level]) {
      if (!w->file.Seek(w->position[level]) || !WriteTotalsRecord(m, w, level, ended))
        return kEngineCannotWriteTotals;
    }
  }
  if (ended) return 0;
  if (end == UINT64_MAX || !w->file.Seek(end)) return kEngineCannotWriteTotals;
  for (uint32_t level = from; level < w->deepest; ++level)
    if (!WritePlaceholder(w, level)) return kEngineCannotWriteTotals;
  return 0;
}

// The group values of the levels whose groups start with this record.
void KeepStartingKeys(CKmComposite* m, TotalsWork* w, uint32_t from) {
  for (uint32_t level = from; level <= w->deepest; ++level) {
    const SortKeyDef& e = w->table->entries[level];
    if (e.key1 != nullptr && e.storedLength1 != 0 && !IsTotal(e.key1)) w->key1[level] = Snap(m, e.key1);
    if (e.key2 != nullptr && e.storedLength2 != 0) w->key2[level] = Snap(m, e.key2);
  }
}

// The total a sort field rests on (following calculations and aliases).
FieldDef* SortTotalOf(CKmComposite* m, uint32_t id) {
  FieldDef* f = m->GetFieldAt(id);
  if (f == nullptr || !(IsTotal(f) || (f->flags & kFieldTotalRelated))) return nullptr;
  return RootTotal(m, f);
}

int Fail(CKmComposite* m, int code) {
  ReleaseTotalsWork(m);
  return code;
}

// A group level's direction in the totals sort: its sort slot's, as the
// records are ordered; ascending when no slot sorts on its field.
uint32_t GroupAscending(const RunCalcState* c, int level) {
  for (int i = 0; i < kRunGroupLevels && c->sortFields[i] != kNoField; ++i)
    if (c->sortFields[i] == c->levels[level].field) return c->sortAscending[i] ? 1 : 0;
  return 1;
}

}  // namespace

void KeepFinishedTotals(RunCalcState* c) {
  TotalsWork* w = c->totalsWork;
  if (w == nullptr) return;
  CKmComposite* m = c->model;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsPreprocessed(f) || f->value == nullptr) continue;
    if (f->totalReset < kRunGroupLevels && f->totalReset < c->levelsUsed &&
        (c->levels[f->totalReset].runBits & kRunBreakPending))
      w->finished[f] = Snap(m, f);
  }
}

void ReleaseTotalsWork(CKmComposite* m) { ReleaseTotalsWorkOf(RunCalcOf(m)); }

void ReleaseTotalsWorkOf(RunCalcState* c) {
  if (c == nullptr || c->totalsWork == nullptr || c->model == nullptr) return;
  CKmComposite* m = c->model;
  TotalsWork* w = c->totalsWork;
  w->file.Close();
  RecordPassState* st = GetRecordPassState(m);
  if (m->sortKeyTable == w->table) {
    st->totalsFile.Close();
    st->indexFile.Close();
    st->totalsSorted = 0;  // nothing left to read groups from
    st->preTotalFilter = 0;
    m->sortKeyTable = nullptr;
  }
  FreeLevelTable(w->table);
  delete w;
  c->totalsWork = nullptr;
  c->totalsFileExists = 0;
}

int RunTotalsPrepass(CKmComposite* m, int progressArg1, int progressArg2, int* needsReopen) {
  (void)progressArg1;
  (void)progressArg2;
  *needsReopen = 0;
  RunCalcState* c = RunCalcOf(m);
  if (c == nullptr) return 0;
  ReleaseTotalsWork(m);
  RecordPassState* st = GetRecordPassState(m);
  st->totalsSorted = 0;
  st->preTotalFilter = 0;
  // Records tested against their group's totals (the filter's conditions on
  // pre-processed totals, or a selection on them) are read group by group in
  // the run, each group's totals first: the totals file then keeps where
  // each group's records lie in the components file.
  const bool preFilter = st->deferredSelection != 0 ||
                         (st->filterOn && CodeUsesPreTotal(m, m->conditionCode, m->conditionLength));
  const bool hasSort = c->sortFields[0] != kNoField;

  bool anyPre = false;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    anyPre = anyPre || (IsPreprocessed(f) && f->value != nullptr);
  if (!anyPre) return 0;  // no totals file at all
  if (const int code = CheckPreprocessedTotals(m)) return code;

  // Groups sorted by their totals: a sort field that rests on a total.
  bool sorted = false;
  FieldDef* keyOfLevel[kRunGroupLevels] = {};
  uint16_t keyAscending[kRunGroupLevels] = {1, 1, 1, 1, 1, 1, 1, 1};
  if (hasSort) {
    GroupSetup setup;
    for (int i = 0; i < kRunGroupLevels; ++i) {
      setup.levels[i].field = i < c->levelsUsed ? c->levels[i].field : kNoField;
      setup.sortFields[i] = c->sortFields[i];
      setup.directions[i] = c->sortAscending[i];
    }
    FieldDef* keys[kKeyLevels];
    uint32_t kinds[kKeyLevels];
    if (CheckSortAndGroupFields(m, setup, keys, kinds) == 1) return m->lastEngineError;
    for (int i = 0; i < kRunGroupLevels && c->sortFields[i] != kNoField; ++i) {
      FieldDef* root = SortTotalOf(m, c->sortFields[i]);
      if (root == nullptr) continue;
      sorted = true;
      const int level = root->totalReset;
      if (!IsPreprocessed(root) || level >= c->levelsUsed) return kEngineUnsupportedTotalsSort;
      if (keyOfLevel[level] == nullptr) {
        keyOfLevel[level] = m->GetFieldAt(c->sortFields[i]);
        keyAscending[level] = c->sortAscending[i];
      }
    }
  }

  TotalsWork* w = new TotalsWork();
  c->totalsWork = w;
  w->table = new SortKeyTable();
  w->deepest = static_cast<uint32_t>(c->levelsUsed);
  w->table->keyLevels = w->deepest;
  w->markAndCount = sorted || preFilter;
  for (int g = 0; g < c->levelsUsed; ++g) {
    SortKeyDef& e = w->table->entries[g + 1];
    e.key2 = m->GetFieldAt(c->levels[g].field);
    e.storedLength2 = ValueWidth(m, e.key2);
    e.sortLength2 = e.storedLength2;
    if (keyOfLevel[g] != nullptr) {
      e.key1 = keyOfLevel[g];
      e.storedLength1 = ValueWidth(m, e.key1);
      e.sortLength1 = e.storedLength1;
      // Ordered by the total, then by the group value: groups whose totals
      // are equal keep their records apart, in the order they were read.
    }
  }
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsPreprocessed(f) || f->value == nullptr) continue;
    uint32_t level;
    if (f->totalReset == kSummaryResetNever) level = 0;
    else if (f->totalReset < c->levelsUsed) level = f->totalReset + 1u;
    else return Fail(m, kEnginePreTotalUnassigned);
    SortKeyDef& e = w->table->entries[level];
    e.chain = new TotalNode{f, e.chain, ValueWidth(m, f)};
  }
  for (uint32_t level = 0; level <= w->deepest; ++level) {
    const SortKeyDef& e = w->table->entries[level];
    uint32_t n = 1;
    if (e.storedLength1) n += e.storedLength1 + 1u;
    if (e.storedLength2) n += e.storedLength2 + 1u;
    for (const TotalNode* t = e.chain; t != nullptr; t = t->next) n += t->storedLength + 1u;
    w->recordLength[level] = n;
  }

  w->name = MakeTempFileName("TOT");
  if (w->name.empty() || !w->file.Create(w->name)) return Fail(m, kEngineCannotCreateTotals);
  c->totalsFileExists = 1;
  for (uint32_t level = 0; level < w->deepest; ++level)
    if (!WritePlaceholder(w, level)) return Fail(m, kEngineCannotWriteTotals);

  // The pass over every record, with summaries on and the pre-pass's own count.
  const int32_t oldPhase = m->passPhase;
  const bool oldSummaries = st->summaries;
  const uint32_t oldOutput = c->recordsOutputPrepass;
  // The pass reads the records in the report's order: the records the
  // program sorted through their positions, else the query's rows. The
  // components file keeps them in that order for the group-by-group read-back.
  ResetRunCounters(m);
  ResetGroupBreaks(c, 0);
  FinishSummaries(c);
  c->recordsOutputPrepass = 0;
  m->passPhase = kPhaseTotalsPrepass;
  st->summaries = true;
  ShowProgressPhase(m, 2, hasSort);
  auto restore = [&] {
    m->passPhase = oldPhase;
    st->summaries = oldSummaries;
    c->recordsOutputPrepass = oldOutput;
  };
  int r;
  while ((r = RunRecordPass(m, nullptr)) == 0) {
    uint32_t from = w->deepest + 1;
    for (int g = 0; g < c->levelsUsed; ++g)
      if (c->levels[g].runBits & kRunBreakPending) {
        from = static_cast<uint32_t>(g) + 1;
        break;
      }
    if (c->recordsOutputPrepass == 0) {
      KeepStartingKeys(m, w, 0);
    } else if (from <= w->deepest) {
      const int code = WriteTotalsUpTo(m, w, from, false);
      if (code != 0) {
        restore();
        return Fail(m, code);
      }
      KeepStartingKeys(m, w, from);
    }
    w->finished.clear();
    c->recordsOutputPrepass = 1;
    ClearGroupBreakFlags(m);
  }
  const bool anyRecord = c->recordsOutputPrepass != 0;
  if (r != kEngineEndOfData) {
    restore();
    return Fail(m, r);
  }
  // The end closes every group: their calculations, then the last records.
  ResetGroupBreaks(c, 1);
  int code = 0;
  for (int level = kRunGroupLevels - 1; level >= 0 && code == 0; --level)
    if (level < c->levelsUsed) code = CalcBandFields(m, level);
  if (code == 0) code = CalcBandFields(m, kPageList);
  if (code == 0) code = CalcBandFields(m, kReportList);
  if (code == 0 && anyRecord) code = WriteTotalsUpTo(m, w, 0, true);
  restore();
  if (code != 0) return Fail(m, code);
  if (!w->file.Close()) return Fail(m, kEngineCannotWriteTotals);

  // The run reads the file back, by group order when groups are sorted by totals.
  m->sortKeyTable = w->table;
  // The read-back expects the group counts then.
  st->totalsSorted = sorted ? 1 : 0;
  st->preTotalFilter = preFilter ? 1 : 0;
  code = OpenTotalsFiles(m, w->name, std::string());
  if (code != 0) return Fail(m, code);
  if (sorted) {
    uint32_t ascending[kKeyLevels * 2] = {};
    int n = 0;
    for (uint32_t level = 1; level <= w->deepest && n < kRunGroupLevels; ++level) {
      const SortKeyDef& e = w->table->entries[level];
      if (e.key1 != nullptr) ascending[n++] = keyAscending[level - 1];
      if (e.key2 != nullptr && !(e.flags & 1) && n < kRunGroupLevels) ascending[n++] = GroupAscending(c, level - 1);
    }
    std::string index;
    code = SortTotals(m, ascending, &index);
    if (code != 0) return Fail(m, code);
    code = OpenTotalsFiles(m, w->name, index);
    if (code != 0) return Fail(m, code);
  }
  if (w->markAndCount) {
    code = OpenPassFilesForRead(m, st->tmpName);
    if (code != 0) return Fail(m, code);
  }
  RewindScan(m);
  ResetGroupBreaks(c, 0);
  FinishSummaries(c);
  // Without the components file the report pass reads the records again.
  *needsReopen = w->markAndCount ? 0 : 1;
  return 0;
}
