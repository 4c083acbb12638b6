// The record cache: the rows of the report's query as the database gave them,
// kept in a work file ("KMW<pid>.CAC") so that running the report again with
// the same query (preview then print, a second print, a later copy, the pass
// after a totals pre-pass) replays them instead of asking the database again.
// A cache is replayed only when it holds every row of a query with the same
// statement text, connection, record limit and bound columns; anything else
// executes the query afresh and records it anew. The file is bounded: a query
// whose rows outgrow it is not cached. The file goes with the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/model_attachment.h"
#include "data/sql_literals.h"
#include "model/work_files.h"

class CKmComposite;
struct FieldBinding;

// Largest cache file kept (bytes); a query whose rows need more is read from
// the database each time.
constexpr uint64_t kRecordCacheLimit = 64ull << 20;

struct RecordCache : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kRecordCache;
  enum class Mode { kOff, kRecording, kReplaying };
  // Closes and deletes the file.
  ~RecordCache() override;

  Mode mode = Mode::kOff;
  WorkFile file;
  std::string path;                 // the model's cache file, named once
  std::string signature;            // what the rows were fetched for
  std::vector<uint32_t> offsets;    // where each row starts in the file
  // The columns being recorded, in binding order, gathered once per query so
  // that writing a row walks no field lists.
  std::vector<const FieldBinding*> columns;
  uint64_t size = 0;                // bytes written
  uint64_t limit = kRecordCacheLimit;
  bool complete = false;            // the rows reach the query's end
  // False when nothing will read this query's rows again (a run that reads
  // them once and ends the program): writing them down would only cost time.
  bool record = true;
  uint32_t readRow = UINT32_MAX;    // the row the file is positioned after (unknown: all ones)
  bool rowFromFile = false;         // the current row was read back from the file
  int32_t lastError = 0;            // why the last cache was given up (3173, 3175) or 0
  // Rows asked of the database and rows replayed, over the model's life.
  uint64_t rowsFetched = 0;
  uint64_t rowsReplayed = 0;
};

// The model's cache, made on first use.
RecordCache* GetRecordCache(CKmComposite* model);
// Whether the row the fetch buffers hold was read back from the cache file.
bool RowFromRecordCache(CKmComposite* model);

// Opens the report's query for a run as OpenReportQuery does (0; 1 failed
// with its message shown; 3121 no memory), replaying the cache when it holds
// every row of this very query, else executing it and recording its rows.
int OpenRunQuery(CKmComposite* model);
// The end of a run: the cache is closed; its file stays for a later run when
// it holds the whole query, else it goes.
void OpenCacheFile(CKmComposite* model);
// Closes the cache, deleting its file unless keep.
void CloseRecordCache(CKmComposite* model, bool keep);

// The query's rows through the record cache: recorded while the database
// gives them, or replayed from the file.
class CachedRowSource : public SqlRowSource {
 public:
  explicit CachedRowSource(CKmComposite* model) : SqlRowSource(model), model_(model) {}
  int FetchNextRow() override;
  int FetchRow(uint32_t recordNumber) override;

 private:
  CKmComposite* model_;
};
