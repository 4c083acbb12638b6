#include "model/totals_readback.h"
#include "model/field_compile.h"

#include "expr/code_walks.h"
#include "foundation/byte_order.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "model/group_levels.h"
#include "model/record_pass.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

bool IsTextField(const FieldDef* f) { return FieldKind(f) == 0 || (f->flags & kFieldMemo); }

bool Skip(WorkFile& file, uint32_t n) {
  uint8_t buf[256];
  while (n > 0) {
    const uint32_t take = n < sizeof buf ? n : sizeof buf;
    if (file.Read(buf, take) != static_cast<long>(take)) return false;
    n -= take;
  }
  return true;
}

bool ReadU16(WorkFile& file, uint32_t* v) {
  uint8_t b[2];
  if (file.Read(b, 2) != 2) return false;
  *v = GetU16(b);
  return true;
}

// A stored value into the field's buffer; a length beyond it is a damaged file.
bool ReadValue(CKmComposite* m, WorkFile& file, FieldDef* f, uint32_t n) {
  const uint32_t room = (f->flags & kFieldMemo) ? kMemoValueBytes : m->GetFieldWidth(f);
  if (n > room) return false;
  if (file.Read(f->value, n) != static_cast<long>(n)) return false;
  if (IsTextField(f) && n < room) f->value[n] = 0;
  return true;
}

}  // namespace

int OpenTotalsFiles(CKmComposite* m, const std::string& totalsFile, const std::string& indexFile) {
  RecordPassState* st = GetRecordPassState(m);
  st->totalsFile.Close();
  st->indexFile.Close();
  st->groupLeft = 0;
  if (!st->totalsFile.OpenRead(totalsFile)) return kEngineCannotOpenTotals;
  if (!indexFile.empty()) {
    if (!st->indexFile.OpenRead(indexFile)) {
      st->totalsFile.Close();
      return kEngineCannotReadTotalsIndex;
    }
    st->indexName = indexFile;
  }
  return 0;
}

namespace {
int ReadRecord(CKmComposite* m, int level, bool loadKeys, int* levelOut);
}  // namespace

int ReadTotalsRecord(CKmComposite* m, int level) { return ReadRecord(m, level, false, nullptr); }
int ReadTotalsRecordWithKeys(CKmComposite* m, int* level) { return ReadRecord(m, 255, true, level); }

namespace {
int ReadRecord(CKmComposite* m, int level, bool loadKeys, int* levelOut) {
  RecordPassState* st = GetRecordPassState(m);
  const SortKeyTable* table = m->sortKeyTable;
  WorkFile& file = st->totalsFile;
  if (table == nullptr || !file.IsOpen()) return 2;
  const int lowest = GetLowestPreTotalLevel(m);
  const int clearLevel = lowest == 255 ? 0 : lowest + 1;
  uint8_t byte;
  const long got = file.Read(&byte, 1);
  if (got == 0) return 1;
  if (got != 1) return 2;
  if (level == 255) level = byte;
  if (level < 0 || level >= kKeyLevels || static_cast<uint32_t>(level) > table->keyLevels) return 2;
  if (level == clearLevel) st->dataSeen = 0;
  if (levelOut != nullptr) *levelOut = level;
  const bool lastKey = static_cast<uint32_t>(level) == table->keyLevels;
  const SortKeyDef& e = table->entries[level];
  const struct {
    FieldDef* field;
    uint16_t stored;
  } keys[2] = {{e.key1, e.storedLength1}, {e.key2, e.storedLength2}};
  for (const auto& k : keys) {
    if (k.stored == 0) continue;
    uint32_t n = k.stored;
    if (lastKey && k.field != nullptr && IsTextField(k.field) && !ReadU16(file, &n)) return 2;
    if (loadKeys && k.field != nullptr && k.field->value != nullptr) {
      if (!ReadValue(m, file, k.field, n)) return 2;
      uint8_t state;
      if (file.Read(&state, 1) != 1) return 2;
      k.field->valueStatus = static_cast<uint8_t>((k.field->valueStatus & ~7u) | (state & 7u));
    } else if (!Skip(file, n + 1)) {
      return 2;
    }
  }
  int nodes = 0;
  for (const TotalNode* node = e.chain; node != nullptr && nodes < 4096; node = node->next, ++nodes) {
    FieldDef* f = node->field;
    uint32_t n = node->storedLength;
    if (lastKey && f != nullptr && IsTextField(f) && !ReadU16(file, &n)) return 2;
    if (f == nullptr || f->value == nullptr) {
      if (!Skip(file, n)) return 2;
    } else {
      if (!ReadValue(m, file, f, n)) return 2;
      if (level == 0 && f->previous != nullptr) std::memcpy(f->previous, f->value, n);
    }
    uint8_t flags;
    if (file.Read(&flags, 1) != 1) return 2;
    if (f != nullptr) f->valueStatus = static_cast<uint8_t>((f->valueStatus & ~7u) | (flags & 7u));
  }
  return lastKey && TotalsReadByGroup(st) ? 3 : 0;
}
}  // namespace

void SavePreprocessedValues(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!(f->totalFlags & kTotalPreprocessed) || f->value == nullptr || f->previous == nullptr) continue;
    std::memcpy(f->previous, f->value, m->GetFieldStorageSize(f));
    f->previousStatus = static_cast<uint8_t>(f->valueStatus & 7);
  }
}

int ReadNextTotalsGroup(CKmComposite* m, uint32_t* mark, uint32_t* count) {
  RecordPassState* st = GetRecordPassState(m);
  if (st->dataSeen) SavePreprocessedValues(m);
  const bool indexed = st->indexFile.IsOpen();
  for (;;) {
    if (indexed) {
      uint32_t pos = 0;
      const int r = st->indexFile.ReadU32(&pos);
      if (r == 0) return kEngineEndOfData;
      if (r < 0) return kEngineCannotReadTotalsIndex;
      if (!st->totalsFile.Seek(pos)) return kEngineCannotReadTotals;
    }
    const int r = ReadTotalsRecord(m, 255);
    if (r == 1) return indexed ? kEngineCannotReadTotals : kEngineEndOfData;
    if (r == 2) return kEngineCannotReadTotals;
    if (r == 3) {
      if (st->totalsFile.ReadU32(mark) != 1 || st->totalsFile.ReadU32(count) != 1) return kEngineCannotReadTotals;
      return 0;
    }
  }
}

int CompileSelectionField(CKmComposite* m, const char* text) {
  RemoveSelectionField(m);
  RecordPassState* st = GetRecordPassState(m);
  st->deferredSelection = 0;
  if (text == nullptr || text[0] == 0) return 0;
  const uint32_t before = m->fieldCount;
  FieldDef* f = CompileField(m, "", text, false, nullptr);
  if (f == nullptr) return m->fieldCount > before ? kEngineNoMemory : kEngineSelectionCompile;
  int result = 0;
  if (!(f->flags & kFieldLogical)) result = kEngineInvalidFilter;
  const int lowest = GetLowestPreTotalLevel(m);
  bool deferred = false;
  if (result == 0 && f->code != nullptr) {
    ForEachFieldReference(f->code, f->codeLength, [&](uint32_t n, bool) {
      const FieldDef* g = m->GetFieldAt(n);
      if (g == nullptr || !(g->totalFlags & kTotalIsTotal)) return;
      if (!(g->totalFlags & kTotalPreprocessed) || g->totalReset != lowest) result = kEngineInvalidFilter;
      else deferred = true;
    });
  }
  if (result != 0) {
    m->DeleteField(f, 2 | 4);
    return result;
  }
  f->flags |= kFieldCalculation | kFieldItem | kFieldNeeded;
  f->totalFlags |= kTotalHidden;
  m->selectionField = f;
  st->deferredSelection = deferred ? 1 : 0;
  return 0;
}

void RemoveSelectionField(CKmComposite* m) {
  if (m->selectionField == nullptr) return;
  FieldDef* f = m->selectionField;
  m->selectionField = nullptr;
  m->DeleteField(f, 2);
}

void RecalculatePreprocessed(CKmComposite* m, FieldDef* chain) {
  for (FieldDef* f = chain; f != nullptr; f = f->orderNext)
    if ((f->flags & kFieldNeeded) && (f->flags & kFieldCalculation) && !(f->totalFlags & kTotalIsTotal) &&
        !(f->flags & kFieldAlias) && !(f->flags2 & 2))
      EvaluateCalculation(m, f);
}

int LoadPreprocessedTotals(CKmComposite* m, int firstLevel) {
  RecordPassState* st = GetRecordPassState(m);
  const SortKeyTable* table = m->sortKeyTable;
  if (TotalsReadByGroup(st) || m->passPhase == kPhaseTotalsPrepass || table == nullptr ||
      !st->totalsFile.IsOpen())
    return 0;
  if (firstLevel < 0) firstLevel = 0;
  for (uint32_t level = static_cast<uint32_t>(firstLevel); level <= table->keyLevels; ++level) {
    const int r = ReadTotalsRecord(m, static_cast<int>(level));
    if (r == 2 || r == 1) return kEngineCannotReadTotals;
  }
  RecalculatePreprocessed(m, m->calcOrderList);
  for (int level = 7; level >= 0; --level) RecalculatePreprocessed(m, m->levelTotalChains[level]);
  RecalculatePreprocessed(m, m->levelTotalChains[9]);
  return 0;
}

void SwapValueBuffers(CKmComposite* m) {
  RecordPassState* st = GetRecordPassState(m);
  auto evaluateMarked = [&] {
    bool any = false;
    for (FieldDef* f = m->prefetchCalcList; f != nullptr; f = f->orderNext)
      if ((f->flags & kFieldNeeded) && (f->flags & kFieldPageNumber) && (f->flags & kFieldCalculation)) {
        EvaluateCalculation(m, f);
        any = true;
      }
    for (FieldDef* f = m->calcOrderList; f != nullptr; f = f->orderNext)
      if ((f->flags & kFieldNeeded) && (f->flags & kFieldPageNumber) && !(f->flags & kFieldAlias) &&
          (f->flags & kFieldCalculation) && !(f->totalFlags & kTotalIsTotal)) {
        EvaluateCalculation(m, f);
        any = true;
      }
    return any;
  };
  auto exchange = [&] {
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
      if (f->value != nullptr && f->previous != nullptr && !(f->flags & kFieldAlias)) std::swap(f->value, f->previous);
    // Aliases of plain fields share their buffers: follow them.
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
      if (!(f->flags & kFieldAlias) || (f->flags & kFieldMemo)) continue;
      FieldDef* to = m->GetFieldAt(f->refField);
      if (to == nullptr || to == f) continue;
      if (f->value != nullptr) f->value = to->value;
      if (f->previous != nullptr) f->previous = to->previous;
    }
  };
  const uint32_t start = st->acceptedCount;
  st->acceptedCount = start - 1;
  if (evaluateMarked()) {
    exchange();
    st->acceptedCount = start - 2;
    {
      PreviousRecordNumberScope previousRecord(m);
      evaluateMarked();
    }
    exchange();
  }
  st->acceptedCount = start;
}
