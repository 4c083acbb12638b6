// The record pass: value buffers for the fields a pass needs, the record step
// (fetch, calculations in three sweeps by level, selection and filter), the
// driver that delivers the next accepted record from the query or from a file
// of record positions, and the components file ("TMP") of the totals
// pre-pass. The pass state hangs from the model (GetRecordPassState).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/composite.h"
#include "core/row_source.h"
#include "model/work_files.h"

class CKmComposite;
struct FieldDef;

struct PassBuffers;
struct MemoReader;
struct TotalsPrepassResult;

// What the record pass and the record sort need of the layers above the
// model. The application installs every entry once at start-up; a model
// used on its own (a test of the model alone) leaves them null, and the
// steps they serve are then left out.
struct RecordPassHooks {
  // The engine's summary update, while a pass runs with summaries on:
  // (model, total, 0) for one total, (model, null, 1) after sweep 0 and
  // (model, null, 2) after sweep 1 in the report run; non-zero ends the
  // record step with that code.
  int (*updateSummaries)(CKmComposite* model, FieldDef* total, int what) = nullptr;
  // The engine's totals pre-pass of the sort pass: 0, or an engine code.
  int (*totalsPrepass)(CKmComposite* model, int progressArg1, int progressArg2, TotalsPrepassResult* out) = nullptr;
  // The data layer's reader of a memo field's text (conditions on it).
  MemoReader* (*memoReader)(CKmComposite* model, FieldDef* field) = nullptr;
  // Whether the user stopped the run (asked while sort runs merge).
  int (*cancelled)(CKmComposite* model) = nullptr;
  // The run status dialog: the phase text, and a labelled count ("Merge
  // files remaining:"; a null label takes it down).
  void (*showPhase)(CKmComposite* model, const char* text) = nullptr;
  void (*showStatus)(CKmComposite* model, const char* label, uint32_t value) = nullptr;
  // The pass's and the sort's messages (the error dialog).
  void (*message)(const char* text) = nullptr;
  // The run status dialog's "Group totals read:" counter while the totals
  // sort reads the totals back: step 0 resets it, 1 counts a group, 2 takes
  // it down.
  void (*groupTotalsCounter)(CKmComposite* model, int step) = nullptr;
  // Its "Records read:" and "Selected:" counters while the record sort
  // reads: step 0 resets them, 1 counts a record the sort takes.
  void (*selectedCounter)(CKmComposite* model, int step) = nullptr;
};
RecordPassHooks& GetRecordPassHooks();

struct RecordPassState : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kRecordPass;
  explicit RecordPassState(CKmComposite* owner);
  // Frees the pass's buffers, closing and removing its work files.
  ~RecordPassState() override;

  CKmComposite* model;
  RecordRowSource* rows = nullptr;
  bool summaries = false;       // the totals are updated as records pass (a report run)
  // The record filter is tested on every record: the SELECT could not
  // carry all of it (set where the report's query is prepared).
  int filterOn = 0;
  // The filter tests totals (or what rests on them or on PREVIOUS()). Where
  // their figures are not yet known (the record sort, the totals pre-pass)
  // those conditions hold; the report run tests them.
  int filterUsesTotals = 0;
  int deferredSelection = 0;
  int randomFetch = 0;          // the first record is fetched by number
  int totalsSorted = 0;         // groups are ordered by their pre-processed totals
  // The filter or the selection tests pre-processed totals: the run reads
  // the records group by group, each group's totals read back first.
  int preTotalFilter = 0;
  int alwaysEngineEval = 0;     // calculations with SQL text come from the server
  // Counters of the pass.
  uint32_t acceptedCount = 0;
  uint32_t recordsRead = 0;
  // The model's record numbers when the previous values were saved: those
  // of the record they belong to.
  uint32_t previousRecordNumber = 0;
  uint32_t previousReportRecordNumber = 0;
  int dataSeen = 0;
  int firstRecord = 1;
  int32_t lastStatus = 0;
  // Components file of the totals pre-pass and the caller's position file.
  WorkFile tmpFile;
  std::string tmpName;
  WorkFile positionFile;
  std::string positionName;
  // Totals file and its index (read back by group in phases 2 and 3).
  WorkFile totalsFile;
  WorkFile indexFile;
  std::string indexName;  // removed with the work files when this run made it
  uint32_t groupLeft = 0; // record numbers left in the current group
  // Record sort settings (kmw.ini [Special] SortPoolSize; model defaults).
  uint32_t sortPoolSize = 524288;
  int32_t nullOrder = 0;
  int32_t nullNumbersAsZero = 1;
  int memoErrorShown = 0;  // a memo read failure is told once per pass
  // The storage size of each field by its place in the field list, worked
  // out on the pass's first save: the previous values are saved every record.
  std::vector<std::pair<const FieldDef*, uint32_t>> savedSizes;
  // Buffers the pass allocated (freed by FreeFieldBuffers).
  std::unique_ptr<PassBuffers> ownedBuffers;
};

// Made on first use; it goes with the model.
RecordPassState* GetRecordPassState(CKmComposite* model);
// The run reads the records group by group from the totals file (groups
// ordered by their totals, or the records tested against their group's
// totals); pre-processed totals then change only where a group is read.
inline bool TotalsReadByGroup(const RecordPassState* st) { return st->totalsSorted || st->preTotalFilter; }

// Prepares a pass over the needed fields (0x8000): 0, or 1 when memory runs out.
int OpenScan(CKmComposite* model);
void ClearFieldValue(CKmComposite* model, FieldDef* field);
void ClearScanBuffers(CKmComposite* model);
void FreeFieldBuffers(CKmComposite* model);
void ResetRunCounters(CKmComposite* model);

// One record step on the next record (recordNumber 0) or on the given one.
// status: the caller's last result (3077 re-reads a rejected record).
int ScanRecords(CKmComposite* model, RecordCallback callback, int32_t status);
int ScanRecordAt(CKmComposite* model, uint32_t recordNumber, int32_t status);
// Delivers the next accepted record: 0, 3075 no more, 3074 stopped, or a code.
int RunRecordPass(CKmComposite* model, RecordCallback callback);

int EvaluateCalculation(CKmComposite* model, FieldDef* field);
// Whether the pass leaves a calculation as the fetched row gave it (SQLEXP,
// or a data source that computes calculations itself): it is not worked out
// again from other values, and its previous value is the record before's.
bool CalculationTakenFromRow(CKmComposite* model, const FieldDef* field);
bool EvaluateFieldCondition(CKmComposite* model, FieldDef* field);
// Gives one field a current value outside the pass's own needs (a value
// inserted into a memo text): what it rests on gets buffers, the fetched row
// is converted again and the calculations among them evaluated; the needed
// marks are as before afterwards. 0, or 1 when memory runs out.
int ReevaluateForField(CKmComposite* model, FieldDef* field);
// A previous-value buffer holding the current value, for a field without
// one; 0, or 1 when memory runs out.
int GivePreviousBuffer(CKmComposite* model, FieldDef* field);
void SaveFieldValues(CKmComposite* model);

// While it lives, the model's record numbers are those of the record whose
// values the previous-value buffers hold, so that what is computed with
// those values (a group footer after the next record was fetched) sees the
// numbers of its own record.
class PreviousRecordNumberScope {
 public:
  explicit PreviousRecordNumberScope(CKmComposite* model);
  ~PreviousRecordNumberScope();
  PreviousRecordNumberScope(const PreviousRecordNumberScope&) = delete;
  PreviousRecordNumberScope& operator=(const PreviousRecordNumberScope&) = delete;

 private:
  CKmComposite* model_;
  uint32_t current_;
  uint32_t currentInReport_;
};

// The position file (empty: none): 0, or 3171 when it cannot be opened.
int OpenPassFiles(CKmComposite* model, const std::string& positionFile);
// The same for a pass that reads the run's work files back: the totals index
// the run made is opened for reading too (3189 when it cannot be).
int OpenPassFilesForRead(CKmComposite* model, const std::string& positionFile);
void ClosePassFiles(CKmComposite* model);
// Closes and deletes the pass's work files (TMP, TOT, totals index).
void RemoveWorkFiles(CKmComposite* model);
// Back to the first record: clears the counters, seeks the position file.
void RewindScan(CKmComposite* model);

// A pass over the master table for the report's listing: every field
// needed, no previous values, no position file. Begin: 0, or 3121 when the
// scan cannot be prepared; next: 0, 3075 at the end, or an engine code.
int BeginTmpPass(CKmComposite* model);
int NextTmpRecord(CKmComposite* model);
int EndTmpPass(CKmComposite* model);
inline bool IsTmpPassActive(const CKmComposite* model) { return model->tmpPassActive != 0; }

// The progress texts: phase 0 "Fetching" (no sort fields) or "Sorting",
// 1 "Sorting Totals", 2 "Totaling", 3 "Merging", others "Merging Totals".
uint32_t ProgressPhaseTextId(int phase, bool hasSortFields);
void ShowProgressPhase(CKmComposite* model, int phase, bool hasSortFields);

// Shows an engine code after a pass: 3081 by the evaluation error kind,
// 3079 nothing, others their text.
void ReportScanError(CKmComposite* model, int32_t code);
// The pass's message (RecordPassHooks::message).
void ShowPassMessage(const char* text);
// The memo reader of a memo field (RecordPassHooks::memoReader), or null.
MemoReader* PassMemoReader(CKmComposite* model, FieldDef* field);
