#include "model/record_pass.h"
#include "model/field_dependencies.h"

#include "expr/code_walks.h"
#include "expr/value_eval.h"
#include "expr/value_helpers.h"
#include "foundation/byte_order.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "model/group_levels.h"
#include "model/record_filter.h"
#include "model/record_sort.h"
#include "model/totals_readback.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint32_t kNullDay = 0x80000001u;
constexpr uint32_t kStackOverflowTextId = 1388;
constexpr uint32_t kFatalErrorTextId = 627;
constexpr uint32_t kLateCalculation = 0x40;  // flags2: evaluated after the totals
constexpr uint8_t kPageResetLevel = 254;


}  // namespace

void ShowPassMessage(const char* text) {
  if (GetRecordPassHooks().message != nullptr) GetRecordPassHooks().message(text);
}

struct PassBuffers {
  std::unordered_map<void*, size_t> blocks;  // block and its size
};

namespace {

PassBuffers& Owned(RecordPassState* st) {
  if (st->ownedBuffers == nullptr) st->ownedBuffers.reset(new PassBuffers());
  return *st->ownedBuffers;
}

bool IsMemo(const FieldDef* f) { return (f->flags & kFieldMemo) != 0; }

uint8_t* Allocate(RecordPassState* st, size_t size) {
  uint8_t* p = static_cast<uint8_t*>(std::calloc(1, size));
  if (p != nullptr) Owned(st).blocks.emplace(p, size);
  return p;
}

// A value buffer: the field's storage size, and never less than the largest
// fixed-size value (a date and time), whatever kinds a damaged file gave the
// field: its width and its value may follow different ones of them.
size_t ValueBlockSize(const CKmComposite* m, const FieldDef* f) {
  constexpr size_t kLargestFixedValue = 12;
  return std::max<size_t>(m->GetFieldStorageSize(f), kLargestFixedValue) + 1;
}

size_t MemoBlockSize(const CKmComposite* m, const FieldDef* f) {
  const bool dbl = m->doubleWidthWord || (f->flags & kFieldDoubleWidth);
  return kValueHeaderSize + (dbl ? 2 * kMemoValueBytes : kMemoValueBytes);
}

// 0 record calculations, 1 total-bound ones, 2 late ones.
int SweepOf(CKmComposite* m, RecordPassState* st, FieldDef* f) {
  FieldDef* root = nullptr;
  if (IsTotal(f)) {
    root = f;
  } else if (f->flags & kFieldTotalRelated) {
    root = RootTotal(m, f);
    if (root != nullptr && TotalsReadByGroup(st) && (m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun) &&
        (root->totalFlags & kTotalPreprocessed))
      return 0;
    if (root == nullptr) return 1;
  } else {
    return 0;
  }
  // A page total takes the record after the page-end decision (summary
  // call 2), so that a record moved to the next page counts there.
  const bool late = (f->flags2 & kLateCalculation) || (root != nullptr && root->totalReset == kPageResetLevel);
  return late ? 2 : 1;
}

// A value into its previous buffer: mostly a number or a date (8 or 12
// bytes), copied in words without a call.
void CopyValue(uint8_t* to, const uint8_t* from, size_t n) {
  if (n >= 8 && n <= 16) {
    uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, from + n - 8, 8);
    std::memcpy(to, &a, 8);
    std::memcpy(to + n - 8, &b, 8);
  } else {
    std::memcpy(to, from, n);
  }
}

// The cleared value of the field's kind (not a memo's) at v.
void ClearPlainValue(const FieldDef* f, uint8_t* v) {
  const double nullNumber = GetNullNumber();
  const uint32_t kind = FieldKind(f);
  if (kind & kFieldNumeric) {
    std::memcpy(v, &nullNumber, 8);
  } else if (kind & (kFieldDate | kFieldDateTime | kFieldTime)) {
    PutU32(v, kNullDay);
    std::memcpy(v + 4, &nullNumber, 8);
  } else {
    v[0] = 0;
  }
}

// The first record of a pass has none before it: the previous values of the
// record's fields and calculations (in previous buffers, or in the second
// half of a double-width value) are empty, whatever an earlier pass over the
// records (the program's sort, a pre-pass) left there. Totals and what rests
// on them keep theirs: the group breaks look after them.
void ClearPreviousValues(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (f->value == nullptr || IsAlias(f) || IsTotal(f) || (f->flags & kFieldTotalRelated)) continue;
    f->previousNull = false;
    f->previousBufferNulls = 0;
    if (f->previous != nullptr) {
      if (IsMemo(f)) f->previous[0] = 0;
      else ClearPlainValue(f, f->previous);
      f->previousStatus = 0;
    }
    if (!IsMemo(f) && (m->doubleWidthWord || (f->flags & kFieldDoubleWidth))) {
      ClearPlainValue(f, f->value + m->GetFieldWidth(f));
      f->valueStatus &= 7;
    }
  }
}

// SavedSize the first time the field is at place i: worked out and kept.
__attribute__((noinline)) uint32_t KeepSavedSize(CKmComposite* m, RecordPassState* st, size_t i,
                                                const FieldDef* f) {
  std::vector<std::pair<const FieldDef*, uint32_t>>& sizes = st->savedSizes;
  if (i >= sizes.size()) sizes.resize(i + 1, {nullptr, 0});
  sizes[i] = {f, m->GetFieldStorageSize(f)};
  return sizes[i].second;
}
// GetFieldStorageSize of the field at place i of the list, kept for the pass.
inline uint32_t SavedSize(CKmComposite* m, RecordPassState* st, size_t i, const FieldDef* f) {
  const std::vector<std::pair<const FieldDef*, uint32_t>>& sizes = st->savedSizes;
  if (i < sizes.size() && sizes[i].first == f) return sizes[i].second;
  return KeepSavedSize(m, st, i, f);
}

// One field's previous value taken from its current one (SaveFieldValues).
inline void SaveFieldValue(CKmComposite* m, RecordPassState* st, size_t place, FieldDef* f, bool phase23) {
  if (f->value == nullptr || f->previous == nullptr || IsAlias(f)) return;
  if (phase23 && TotalsReadByGroup(st) && (f->totalFlags & kTotalPreprocessed)) return;
  if (IsMemo(f)) {
    CKmComposite::CopyValueHeader(f->previous, f->value);
    std::memcpy(f->previous, f->value, kMemoValueBytes);
  } else {
    CopyValue(f->previous, f->value, SavedSize(m, st, place, f));
  }
  // With the status and null of the value kept in its second half.
  f->previousStatus = static_cast<uint8_t>(f->valueStatus & 077);
  f->previousBufferNulls = static_cast<uint8_t>(((f->totalFlags & kTotalNullValue) ? 1 : 0) | (f->previousNull ? 2 : 0));
  f->previousNull = (f->totalFlags & kTotalNullValue) != 0;
}

// One field's value as the record's calculations find it: a double-width
// field without a previous buffer keeps a copy in its second half, and the
// status is kept beside itself.
inline void PostProcessValue(CKmComposite* m, FieldDef* f) {
  if (f->value == nullptr || IsAlias(f)) return;
  const bool dbl = m->doubleWidthWord || (f->flags & kFieldDoubleWidth);
  // Also beside a previous buffer: that buffer is the group's pass's.
  if (dbl && (f->previous == nullptr || !IsMemo(f))) {
    if (IsMemo(f)) std::memcpy(f->value + kMemoValueBytes, f->value, kMemoValueBytes);
    else {
      const uint32_t w = m->GetFieldWidth(f);
      std::memcpy(f->value + w, f->value, w);
    }
    f->previousNull = (f->totalFlags & kTotalNullValue) != 0;
  }
  f->valueStatus = static_cast<uint8_t>((f->valueStatus & 7) | ((f->valueStatus & 7) << 3));
}

void PostProcessValues(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) PostProcessValue(m, f);
}

// SaveFieldValues and PostProcessValues in one walk of the fields: each
// touches only the field's own buffers, and nothing runs between them.
void SaveAndPostProcessValues(CKmComposite* m, RecordPassState* st) {
  const bool phase23 = m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun;
  size_t place = 0;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next, ++place) {
    SaveFieldValue(m, st, place, f, phase23);
    PostProcessValue(m, f);
  }
  st->previousRecordNumber = m->recordNumber;
  st->previousReportRecordNumber = m->reportRecordNumber;
}

int Step(CKmComposite* m, uint32_t recordNumber, RecordCallback callback, int32_t status) {
  RecordPassState* st = GetRecordPassState(m);
  const RecordPassHooks& hooks = GetRecordPassHooks();
  const bool summaries = st->summaries && hooks.updateSummaries != nullptr;
  const bool rereading = status == kEngineRecordRejected;
  m->lastEngineError = 0;
  m->stopRequested = 0;
  m->recordCallback = callback;
  m->ResetMemoBuffers();
  if (st->firstRecord) {
    if (recordNumber == 0) m->recordNumber = 0;
    for (FieldDef* f = m->prefetchCalcList; f != nullptr; f = f->orderNext)
      if ((f->flags & m->scanMask) && IsCalc(f)) EvaluateCalculation(m, f);
    st->firstRecord = 0;
    PostProcessValues(m);
    ClearPreviousValues(m);
  } else if (!rereading) {
    SaveAndPostProcessValues(m, st);
  }
  // After a record the filter rejected, the previous values (kept in
  // previous buffers, or in the second half of a double-width value) stay
  // those of the last record accepted: PREVIOUS() gives the record printed
  // before, as when the database left the rejected records out.

  if (st->rows != nullptr) {
    int r;
    if (recordNumber != 0) {
      r = st->rows->FetchRow(recordNumber);
    } else if (st->randomFetch) {
      r = st->rows->FetchRow(m->recordNumber + 1);
    } else {
      r = st->rows->FetchNextRow();
    }
    // The counter is the number of the record last fetched: the end of the
    // data fetches none, and the summary still counts the records there were.
    if (r != 0) return r == -1 ? kEngineFetchFailed : kEngineEndOfData;
    m->recordNumber = recordNumber != 0 ? recordNumber : m->recordNumber + 1;
    ++st->recordsRead;
    st->rows->ConvertFetchedRow(m);
  }
  // Rejected records take no place in the report.
  m->reportRecordNumber = st->acceptedCount + 1;

  for (int sweep = 0; sweep < 3; ++sweep) {
    for (FieldDef* f = m->calcOrderList; f != nullptr; f = f->orderNext) {
      if (!(f->flags & m->scanMask) || SweepOf(m, st, f) != sweep) continue;
      if (IsTotal(f)) {
        if (summaries && (f->conditionCode == nullptr || EvaluateFieldCondition(m, f))) {
          const int r = hooks.updateSummaries(m, f, 0);
          if (r != 0) return r;
        }
      } else if (IsAlias(f) && IsMemo(f)) {
        FieldDef* to = m->GetFieldAt(f->refField);
        if (to != nullptr && to->value != nullptr && f->value != nullptr && f->value != to->value)
          CKmComposite::CopyValueHeader(f->value, to->value);
      } else if (IsCalc(f)) {
        EvaluateCalculation(m, f);
      }
    }
    if (sweep == 0) {
      ++m->recordsDone;
      if (callback != nullptr && callback(m) != 0) return kEngineStopped;
      const bool phase23 = m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun;
      FieldDef* sel = m->selectionField;
      if (sel != nullptr && sel->value != nullptr && (!st->deferredSelection || phase23)) {
        if (sel->value[0] == 0) return kEngineRecordRejected;
      } else if (st->filterOn && FilterRejects(m, m->compiledFilter.get(), st->filterUsesTotals && !phase23)) {
        return kEngineRecordRejected;
      }
      if (summaries) {
        const int r = hooks.updateSummaries(m, nullptr, 1);
        if (r != 0) return r;
      }
    } else if (sweep == 1 && m->passPhase == kPhaseReportRun && summaries) {
      const int r = hooks.updateSummaries(m, nullptr, 2);
      if (r != 0) return r;
    }
  }
  ++st->acceptedCount;
  st->dataSeen = 1;
  return m->lastEngineError;
}

}  // namespace

RecordPassHooks& GetRecordPassHooks() {
  static RecordPassHooks hooks;
  return hooks;
}

MemoReader* PassMemoReader(CKmComposite* m, FieldDef* f) {
  const RecordPassHooks& hooks = GetRecordPassHooks();
  return hooks.memoReader != nullptr ? hooks.memoReader(m, f) : nullptr;
}

void ClearFieldValue(CKmComposite* m, FieldDef* f) {
  uint8_t* v = f->value;
  if (v == nullptr) return;
  if (IsMemo(f)) {
    uint8_t* h = v - kValueHeaderSize;
    std::memset(h + value_header::kInsertField, 0, 4);
    std::memset(h + value_header::kFirstPosition, 0, 12);
    std::memset(h + value_header::kReaderWork, 0, kValueHeaderSize - value_header::kReaderWork);
    v[0] = 0;
    return;
  }
  ClearPlainValue(f, v);
}

void ClearScanBuffers(CKmComposite* m) {
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (f->value != nullptr && !IsAlias(f)) ClearFieldValue(m, f);
}

namespace {

void FreeBuffersOf(CKmComposite* m, RecordPassState* st) {
  if (st->ownedBuffers == nullptr) return;
  PassBuffers& own = Owned(st);
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (f->value != nullptr) {
      uint8_t* block = IsMemo(f) ? f->value - kValueHeaderSize : f->value;
      if (own.blocks.count(block)) f->value = nullptr;
    }
    if (f->previous != nullptr) {
      uint8_t* block = IsMemo(f) ? f->previous - kValueHeaderSize : f->previous;
      if (own.blocks.count(block)) f->previous = nullptr;
    }
  }
  for (auto& e : own.blocks) std::free(e.first);
  own.blocks.clear();
  st->savedSizes.clear();
}

void ClosePassFilesOf(RecordPassState* st) {
  st->positionFile.Close();
  st->tmpFile.Close();
  // The totals index opened beside them is the pass's too; its name stays
  // so that a later read-back pass can open it again.
  st->indexFile.Close();
}

void RemoveWorkFilesOf(RecordPassState* st) {
  st->tmpFile.Close();
  if (st->positionName == st->tmpName) st->positionFile.Close();
  RemoveWorkFile(st->tmpName);
  st->tmpName.clear();
  st->totalsFile.Close();
  st->indexFile.Close();
  RemoveWorkFile(MakeTempFileName("TOT"));
  RemoveWorkFile(st->indexName);
  st->indexName.clear();
}

}  // namespace

RecordPassState::RecordPassState(CKmComposite* owner) : model(owner) {}

RecordPassState::~RecordPassState() {
  FreeBuffersOf(model, this);
  ClosePassFilesOf(this);
  RemoveWorkFilesOf(this);
}

RecordPassState* GetRecordPassState(CKmComposite* model) { return model->GetAttachment<RecordPassState>(); }

void FreeFieldBuffers(CKmComposite* m) { FreeBuffersOf(m, GetRecordPassState(m)); }

void ResetRunCounters(CKmComposite* m) {
  RecordPassState* st = GetRecordPassState(m);
  m->recordNumber = 0;
  m->reportRecordNumber = 0;
  m->recordsDone = 0;
  st->previousRecordNumber = 0;
  st->previousReportRecordNumber = 0;
  st->acceptedCount = 0;
  st->recordsRead = 0;
  st->firstRecord = 1;
  st->lastStatus = 0;
  st->dataSeen = 0;
  st->memoErrorShown = 0;
  st->savedSizes.clear();
}

int OpenScan(CKmComposite* m) {
  RecordPassState* st = GetRecordPassState(m);
  m->scanMask = kFieldNeeded;
  if (!m->InitEvalArea()) return 1;
  bool aliasSeen = false;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsAlias(f)) continue;
    aliasSeen = true;
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to == nullptr || to == f) continue;
    if (f->needsPrevious) to->needsPrevious = 1;
    if (f->flags & kFieldNeeded) to->flags |= kFieldNeeded;
  }
  auto fail = [&] {
    FreeFieldBuffers(m);
    return 1;
  };
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (IsAlias(f)) continue;
    if (IsMemo(f)) {
      const size_t size = MemoBlockSize(m, f);
      uint8_t* block = Allocate(st, size);
      if (block == nullptr) return fail();
      block[value_header::kStateBits] = 1;
      f->value = block + kValueHeaderSize;
      if (f->needsPrevious) {
        uint8_t* prev = Allocate(st, size);
        if (prev == nullptr) return fail();
        prev[value_header::kStateBits] = 1;
        f->previous = prev + kValueHeaderSize;
      }
      if (f->flags & kFieldNeeded) ClearFieldValue(m, f);
    } else if (f->flags & kFieldNeeded) {
      uint8_t* v = Allocate(st, ValueBlockSize(m, f));
      if (v == nullptr) return fail();
      f->value = v;
      ClearFieldValue(m, f);
    }
  }
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsAlias(f)) continue;
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to == nullptr || to == f) continue;
    if (IsMemo(f)) {
      // A memo alias reads its own window over the same text.
      const size_t size = MemoBlockSize(m, to);
      uint8_t* block = Allocate(st, size);
      if (block == nullptr) return fail();
      block[value_header::kStateBits] = 1;
      f->value = block + kValueHeaderSize;
      continue;
    }
    if (f->flags & kFieldNeeded) f->value = to->value;
    f->previous = nullptr;
  }
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (IsAlias(f) || IsMemo(f) || !f->needsPrevious) continue;
    uint8_t* p = Allocate(st, ValueBlockSize(m, f));
    if (p == nullptr) return fail();
    f->previous = p;
    if (f->value != nullptr) std::memcpy(p, f->value, m->GetFieldStorageSize(f));
  }
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!IsAlias(f) || IsMemo(f) || !f->needsPrevious) continue;
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to != nullptr && to != f) f->previous = to->previous;
  }
  ResetRunCounters(m);
  // Aliases passed their needs on: the order may have changed.
  if (aliasSeen) PropagateFieldDependencies(m);
  return 0;
}

bool CalculationTakenFromRow(CKmComposite* m, const FieldDef* f) {
  if (f->flags2 & kField2ValueSetElsewhere) return true;
  return f->sqlText != nullptr && GetRecordPassState(m)->alwaysEngineEval;
}

int EvaluateCalculation(CKmComposite* m, FieldDef* f) {
  f->totalFlags &= static_cast<uint8_t>(~kTotalWarned);
  f->valueStatus &= static_cast<uint8_t>(~7u);
  if (CalculationTakenFromRow(m, f)) return 0;
  if (f->value == nullptr || f->code == nullptr) return 0;
  const uint32_t kind = FieldKind(f);
  uint32_t flags = 0;
  int32_t rc;
  if (kind == 0) {
    const uint32_t w = m->GetFieldWidth(f);
    rc = EvaluateCompiledExpression(m, f->code, f->value, w > 1 ? w - 1 : 1, &flags, nullptr);
  } else {
    uint8_t result[16] = {};
    rc = EvaluateCompiledExpression(m, f->code, result, 0, &flags, nullptr);
    const uint32_t w = m->GetFieldWidth(f);
    std::memcpy(f->value, result, w < sizeof result ? w : sizeof result);
  }
  if (rc == kEvalStringCut) rc = kEvalOk;
  if (rc != kEvalOk) {
    if (m->lastEngineError == 0) {
      m->evalErrorKind = rc;
      m->lastEngineError = kEngineEvalError;
      m->evalErrorField = f;
    }
    return rc;
  }
  f->valueStatus = static_cast<uint8_t>((f->valueStatus & ~7u) | (flags & 7u));
  return 0;
}

bool EvaluateFieldCondition(CKmComposite* m, FieldDef* f) {
  if (f->conditionCode == nullptr) return true;
  uint8_t result[512] = {};
  uint32_t flags = 0;
  int32_t rc = EvaluateCompiledExpression(m, f->conditionCode, result, sizeof result - 1, &flags, nullptr);
  if (rc != kEvalOk && rc != kEvalStringCut) {
    if (m->lastEngineError == 0) {
      m->evalErrorKind = rc;
      m->lastEngineError = kEngineEvalError;
      m->evalErrorField = f;
    }
    return false;
  }
  if (flags & kValueFlagNull) return false;
  if (m->lastResultLogical) return result[0] != 0;
  // Texts count when something but blanks is left.
  for (size_t i = 0; i < sizeof result && result[i] != 0; ++i)
    if (result[i] != ' ') return true;
  return false;
}

void SaveFieldValues(CKmComposite* m) {
  RecordPassState* st = GetRecordPassState(m);
  const bool phase23 = m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun;
  size_t place = 0;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next, ++place) SaveFieldValue(m, st, place, f, phase23);
  st->previousRecordNumber = m->recordNumber;
  st->previousReportRecordNumber = m->reportRecordNumber;
}

PreviousRecordNumberScope::PreviousRecordNumberScope(CKmComposite* model)
    : model_(model), current_(model->recordNumber), currentInReport_(model->reportRecordNumber) {
  const RecordPassState* st = GetRecordPassState(model);
  model->recordNumber = st->previousRecordNumber;
  model->reportRecordNumber = st->previousReportRecordNumber;
}

PreviousRecordNumberScope::~PreviousRecordNumberScope() {
  model_->recordNumber = current_;
  model_->reportRecordNumber = currentInReport_;
}

int ScanRecords(CKmComposite* m, RecordCallback callback, int32_t status) {
  return Step(m, 0, callback, status);
}

int ScanRecordAt(CKmComposite* m, uint32_t recordNumber, int32_t status) {
  return Step(m, recordNumber, m->recordCallback, status);
}

namespace {

// The components file of the totals pre-pass after a record step ending
// with r: an accepted record's number is appended; the file stays open
// while records are accepted or passed over. The step's result, or the
// file's failure.
int KeepComponent(CKmComposite* m, RecordPassState* st, int r) {
  if (r == 0) {
    if (!st->tmpFile.IsOpen()) {
      st->tmpName = MakeTempFileName("TMP");
      if (!st->tmpFile.Create(st->tmpName)) {
        st->tmpName.clear();
        return kEngineCannotCreateComponents;
      }
    }
    return st->tmpFile.WriteU32(m->recordNumber) ? 0 : kEngineCannotWriteComponents;
  }
  if (r != kEngineRecordRejected && st->tmpFile.IsOpen() && !st->tmpFile.Close() && r == kEngineEndOfData)
    return kEngineCannotWriteComponents;
  return r;
}

}  // namespace

int RunRecordPass(CKmComposite* m, RecordCallback callback) {
  RecordPassState* st = GetRecordPassState(m);
  int r;
  do {
    if (!st->positionFile.IsOpen()) {
      r = ScanRecords(m, callback, st->lastStatus);
    } else {
      m->recordCallback = callback;
      if (callback != nullptr && callback(m) != 0) {
        r = kEngineStopped;
      } else {
        uint32_t n = 0;
        const bool byGroups = TotalsReadByGroup(st) && st->totalsFile.IsOpen() &&
                              (m->passPhase == kPhaseChartPrepass || m->passPhase == kPhaseReportRun);
        if (byGroups && st->groupLeft == 0) {
          uint32_t mark = 0, count = 0;
          const int g = ReadNextTotalsGroup(m, &mark, &count);
          if (g == kEngineEndOfData && st->lastStatus != kEngineRecordRejected) SaveFieldValues(m);
          if (g != 0) {
            st->lastStatus = g;
            return g;
          }
          if (!st->positionFile.Seek(static_cast<uint64_t>(mark) * 4)) {
            st->lastStatus = kEngineCannotReadComponents;
            return kEngineCannotReadComponents;
          }
          st->groupLeft = count;
        }
        if (byGroups && st->groupLeft == 0) {
          r = kEngineRecordRejected;  // an empty group: on to the next
          continue;
        }
        if (byGroups) --st->groupLeft;
        const int got = st->positionFile.ReadU32(&n);
        if (got < 0) {
          r = kEngineCannotReadComponents;
        } else if (got == 0 || n == 0) {
          if (st->lastStatus != kEngineRecordRejected) SaveFieldValues(m);
          r = kEngineEndOfData;
        } else {
          r = ScanRecordAt(m, n, st->lastStatus);
        }
      }
    }
    // The totals pre-pass keeps the accepted records in the order it read
    // them, from the query or from the records the program sorted: the run
    // reads them back group by group from there.
    if (m->passPhase == kPhaseTotalsPrepass) r = KeepComponent(m, st, r);
    st->lastStatus = r;
  } while (r == kEngineRecordRejected);
  return r;
}

int OpenPassFiles(CKmComposite* m, const std::string& positionFile) {
  RecordPassState* st = GetRecordPassState(m);
  st->positionFile.Close();
  st->positionName.clear();
  if (positionFile.empty()) return 0;
  if (!st->positionFile.OpenRead(positionFile)) return kEnginePositionFileOpen;
  st->positionName = positionFile;
  return 0;
}

int OpenPassFilesForRead(CKmComposite* m, const std::string& positionFile) {
  if (int r = OpenPassFiles(m, positionFile)) return r;
  // The run's extra work file, the totals index, is read beside it.
  RecordPassState* st = GetRecordPassState(m);
  if (st->indexName.empty() || st->indexFile.IsOpen()) return 0;
  if (!st->indexFile.OpenRead(st->indexName)) {
    st->positionFile.Close();
    st->positionName.clear();
    return kEngineCannotCreateTotalsIndex;
  }
  return 0;
}

void ClosePassFiles(CKmComposite* m) { ClosePassFilesOf(GetRecordPassState(m)); }

void RemoveWorkFiles(CKmComposite* m) { RemoveWorkFilesOf(GetRecordPassState(m)); }

void RewindScan(CKmComposite* m) {
  RecordPassState* st = GetRecordPassState(m);
  m->recordCallback = nullptr;
  ResetRunCounters(m);
  if (st->positionFile.IsOpen()) st->positionFile.Seek(0);
  if (st->totalsFile.IsOpen()) st->totalsFile.Seek(0);
  if (st->indexFile.IsOpen()) st->indexFile.Seek(0);
  st->groupLeft = 0;
}

int BeginTmpPass(CKmComposite* m) {
  m->tmpPassActive = 1;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    f->flags |= kFieldNeeded;
    f->needsPrevious = 0;
  }
  FreeFieldBuffers(m);
  if (OpenScan(m) != 0 || OpenPassFiles(m, std::string()) != 0) {
    FreeFieldBuffers(m);
    m->tmpPassActive = 0;
    return kEngineNoMemory;
  }
  return 0;
}

int NextTmpRecord(CKmComposite* m) { return RunRecordPass(m, nullptr); }

int EndTmpPass(CKmComposite* m) {
  m->tmpPassActive = 0;
  ClosePassFiles(m);
  RewindScan(m);
  FreeFieldBuffers(m);
  return 0;
}

uint32_t ProgressPhaseTextId(int phase, bool hasSortFields) {
  switch (phase) {
    case 0: return hasSortFields ? 212 : 1160;
    case 1: return 214;
    case 2: return 215;
    case 3: return 213;
    default: return 216;
  }
}

void ShowProgressPhase(CKmComposite* m, int phase, bool hasSortFields) {
  if (GetRecordPassHooks().showPhase != nullptr)
    GetRecordPassHooks().showPhase(m, GetResString(ProgressPhaseTextId(phase, hasSortFields), 0));
}

void ReportScanError(CKmComposite* m, int32_t code) {
  char text[600];
  if (code == kEngineEvalError) {
    if (m->evalErrorKind == kEvalStackOverflow) {
      const char* name = m->evalErrorField != nullptr ? m->evalErrorField->name : "";
      std::snprintf(text, sizeof text, GetResString(kStackOverflowTextId, 0), name);
    } else {
      std::snprintf(text, sizeof text, "%s (%d)", GetResString(kFatalErrorTextId, 0),
                    m->evalErrorKind == kEvalStringCut ? 9 : 2);
    }
    ShowPassMessage(text);
    return;
  }
  if (code == kEngineFetchFailed || !CKmComposite::IsReportableError(code)) return;
  ShowPassMessage(m->GetEngineErrorText(code));
}

namespace {

// Gives the needed bit to everything the needed fields' values rest on.
void NeedWhatFieldsUse(CKmComposite* m) {
  std::vector<FieldDef*> work;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (f->flags & kFieldNeeded) work.push_back(f);
  auto need = [&](FieldDef* g) {
    if (g != nullptr && !(g->flags & kFieldNeeded)) {
      g->flags |= kFieldNeeded;
      work.push_back(g);
    }
  };
  while (!work.empty()) {
    FieldDef* f = work.back();
    work.pop_back();
    if (IsAlias(f)) need(m->GetFieldAt(f->refField));
    auto visit = [&](uint32_t n, bool) { need(m->GetFieldAt(n)); };
    if ((f->flags & kFieldCalculation) && f->code != nullptr) ForEachFieldReference(f->code, f->codeLength, visit);
    if (f->conditionCode != nullptr) ForEachFieldReference(f->conditionCode, f->conditionLength, visit);
  }
}

}  // namespace

int ReevaluateForField(CKmComposite* m, FieldDef* field) {
  if (m == nullptr || field == nullptr) return 0;
  RecordPassState* st = GetRecordPassState(m);
  std::vector<FieldDef*> wasNeeded;
  std::unordered_set<FieldDef*> marked;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (f->flags & kFieldNeeded) {
      wasNeeded.push_back(f);
      marked.insert(f);
      f->flags &= ~kFieldNeeded;
    }
  auto restore = [&] {
    for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) f->flags &= ~kFieldNeeded;
    for (FieldDef* f : wasNeeded) f->flags |= kFieldNeeded;
  };
  const int32_t doubleWidth = m->doubleWidthWord;
  field->flags |= kFieldNeeded;
  NeedWhatFieldsUse(m);
  m->doubleWidthWord = doubleWidth;
  if (!m->InitEvalArea()) {
    restore();
    return 1;
  }

  // Fields needed only now, and needed ones whose buffers went with the
  // last pass, get a buffer of their storage size, cleared; a buffer of the
  // pass that is large enough is kept, and so is one a caller gave the field
  // (made for it).
  PassBuffers& own = Owned(st);
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!(f->flags & kFieldNeeded) || IsAlias(f) || IsMemo(f)) continue;
    if (marked.count(f) && f->value != nullptr) continue;
    const size_t size = ValueBlockSize(m, f);
    bool keep = false;
    if (f->value != nullptr) {
      auto it = own.blocks.find(f->value);
      keep = it == own.blocks.end() || it->second >= size;
    }
    if (!keep) {
      uint8_t* v = Allocate(st, size);
      if (v == nullptr) {
        restore();
        return 1;
      }
      f->value = v;
    }
    ClearFieldValue(m, f);
  }
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (!(f->flags & kFieldNeeded) || !IsAlias(f) || IsMemo(f) || f->value != nullptr) continue;
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to != nullptr && to != f) f->value = to->value;
  }

  // The pass's own error state is not this evaluation's business.
  const int32_t lastError = m->lastEngineError, errorKind = m->evalErrorKind;
  FieldDef* const errorField = m->evalErrorField;
  if (st->rows != nullptr && st->recordsRead > 0) st->rows->ConvertFetchedRow(m);
  const uint32_t accepted = st->acceptedCount;
  if (accepted > 0) --st->acceptedCount;
  for (FieldDef* f = m->prefetchCalcList; f != nullptr; f = f->orderNext)
    if ((f->flags & kFieldNeeded) && IsCalc(f) && !IsAlias(f)) EvaluateCalculation(m, f);
  for (FieldDef* f = m->calcOrderList; f != nullptr; f = f->orderNext)
    if ((f->flags & kFieldNeeded) && IsCalc(f) && !IsAlias(f)) EvaluateCalculation(m, f);
  st->acceptedCount = accepted;
  m->lastEngineError = lastError, m->evalErrorKind = errorKind, m->evalErrorField = errorField;
  restore();
  return 0;
}

int GivePreviousBuffer(CKmComposite* m, FieldDef* f) {
  if (f == nullptr || f->previous != nullptr || f->value == nullptr || IsAlias(f) || IsMemo(f)) return 0;
  uint8_t* p = Allocate(GetRecordPassState(m), ValueBlockSize(m, f));
  if (p == nullptr) return 1;
  std::memcpy(p, f->value, m->GetFieldStorageSize(f));
  f->previous = p;
  return 0;
}
