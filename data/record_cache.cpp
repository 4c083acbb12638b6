#include "data/record_cache.h"

#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "foundation/byte_order.h"
#include "model/record_pass.h"
#include "platform/qe/qe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

static_assert(kRecordCacheLimit < UINT32_MAX, "row offsets are 32-bit");

// The bit of a row's byte count that says the text's lost characters follow.
constexpr uint32_t kLostCharsFollow = 0x80000000u;
// ...and that the value's rank (FieldBinding::rankBuffer) ends the column.
constexpr uint32_t kRankFollows = 0x40000000u;
constexpr uint32_t kRankBytes = 8;

// Column kinds whose fetch buffer holds a binary value of its whole size; the
// others hold text ended by a NUL.
bool IsBinaryColumn(uint8_t columnType) {
  switch (columnType) {
    case 3: case 4: case 5: case 6: case 7: case 9: case 10: return true;
    default: return false;
  }
}

// Caches of the process's models are told apart by a number in the kind.
uint32_t g_cacheNames = 0;

std::string NewCachePath() {
  char kind[16];
  if (g_cacheNames == 0) std::snprintf(kind, sizeof kind, "CAC");
  else std::snprintf(kind, sizeof kind, "C%x", g_cacheNames);
  ++g_cacheNames;
  return MakeTempFileName(kind);
}

// Everything the fetched rows depend on: the statement as executed, where it
// ran, the row limit, and the columns bound with their buffers.
std::string Signature(CKmComposite* m, const std::string& text, int sortColumns, bool engineSort) {
  DataAccess* da = GetDataAccess(m);
  char connect[1024] = {};
  da->GetConnectStringWithoutLogin(connect, sizeof connect);
  std::string s = text;
  s += '\n';
  s += connect;
  char head[96];
  std::snprintf(head, sizeof head, "\n%d %d %ld %u\n", sortColumns, engineSort ? 1 : 0,
                GetSqlRunState(m)->recordLimit, GetSqlRunState(m)->longestValue);
  s += head;
  ForEachBoundField(m, [&](FieldDef* f, uint32_t n) -> int {
    const FieldBinding* b = f->dataBinding;
    char one[96];
    std::snprintf(one, sizeof one, "%u:%u:%u;", m->GetFieldIndex(f), n, b != nullptr ? b->columnType : 0u);
    s += one;
    s += f->name;
    s += '\n';
    return 0;
  });
  return s;
}

// The fetch buffers a replay fills, as the binding of an executed query would
// make them (no statement is bound).
int AllocateFetchBuffers(CKmComposite* m) {
  MarkServerRankedKeys(m);
  return ForEachBoundField(m, [&](FieldDef* f, uint32_t n) -> int {
    FieldBinding* b = GetFieldBinding(f, true);
    if (b == nullptr) return 1;
    FreeFieldValueBuffer(f);
    b->fetchBuffer = static_cast<uint8_t*>(std::calloc(n, 1));
    if (b->fetchBuffer == nullptr) return 1;
    b->fetchSize = n;
    b->fetchedLength = QE_LEN_NULL;
    b->storageSize = m->GetFieldStorageSize(f);
    b->keepsLostChars = IsGroupOrSortKey(m, f);
    return 0;
  });
}

// Gives the cache up; code says why (0: the rows outgrew the limit).
void Abandon(CKmComposite* m, RecordCache* c, int32_t code) {
  CloseRecordCache(m, false);
  c->lastError = code;
}

// Appends the row the database just gave; the cache is given up when the
// row cannot be written or would pass the limit.
void RecordRow(CKmComposite* m, RecordCache* c) {
  // A row: per column its length cell and byte count, then the bytes; a text
  // that lost characters to the code page has kLostCharsFollow in its count
  // and, after its bytes, their count and what they were.
  constexpr size_t kSmallRow = 64;
  uint32_t small[kSmallRow];
  std::vector<uint32_t> large;
  uint32_t* counts = small;
  if (c->columns.size() > kSmallRow) {
    large.resize(c->columns.size());
    counts = large.data();
  }
  // Mostly none: only texts that came with a '?' are asked.
  std::vector<std::pair<size_t, std::string>> lost;
  uint64_t rowSize = 0;
  for (size_t i = 0; i < c->columns.size(); ++i) {
    const FieldBinding* b = c->columns[i];
    uint32_t n = 0;
    if (b->fetchBuffer != nullptr && b->fetchedLength != QE_LEN_NULL)
      n = IsBinaryColumn(b->columnType)
              ? b->fetchSize
              : static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(b->fetchBuffer), b->fetchSize));
    counts[i] = n;
    rowSize += 8 + n + (b->ranked ? kRankBytes : 0);
    if (n > 0 && !IsBinaryColumn(b->columnType) && std::memchr(b->fetchBuffer, '?', n) != nullptr) {
      std::string what;
      if (GetDataAccess(m)->ColumnLostChars(b->column, &what)) {
        rowSize += 4 + what.size();
        lost.emplace_back(i, std::move(what));
      }
    }
  }
  if (c->size + rowSize > c->limit) {
    Abandon(m, c, 0);
    return;
  }
  // The row goes to the file in one piece, put together here (on the stack
  // when it is small, as rows of ordinary columns are).
  uint8_t stackRow[2048];
  std::vector<uint8_t> heapRow;
  uint8_t* row = stackRow;
  if (rowSize > sizeof stackRow) {
    heapRow.resize(static_cast<size_t>(rowSize));
    row = heapRow.data();
  }
  uint8_t* at = row;
  size_t nextLost = 0;
  for (size_t i = 0; i < c->columns.size(); ++i) {
    const FieldBinding* b = c->columns[i];
    const bool withLost = nextLost < lost.size() && lost[nextLost].first == i;
    PutU32(at, static_cast<uint32_t>(b->fetchBuffer != nullptr ? b->fetchedLength : QE_LEN_NULL));
    PutU32(at + 4, counts[i] | (withLost ? kLostCharsFollow : 0) | (b->ranked ? kRankFollows : 0));
    if (counts[i] > 0) std::memcpy(at + 8, b->fetchBuffer, counts[i]);
    at += 8 + counts[i];
    if (withLost) {
      const std::string& what = lost[nextLost++].second;
      PutU32(at, static_cast<uint32_t>(what.size()));
      std::memcpy(at + 4, what.data(), what.size());
      at += 4 + what.size();
    }
    if (b->ranked) {
      // A missing rank (no row gives one) reads back as 0, as converted.
      std::memset(at, 0, kRankBytes);
      if (b->rankLength != QE_LEN_NULL) std::memcpy(at, b->rankBuffer, kRankBytes);
      at += kRankBytes;
    }
  }
  // A query without bound columns still has its rows, each of no bytes.
  const bool written = rowSize == 0 || c->file.Write(row, static_cast<size_t>(rowSize));
  if (!written) {
    Abandon(m, c, kEngineCannotWriteCache);
    return;
  }
  c->offsets.push_back(static_cast<uint32_t>(c->size));
  c->size += rowSize;
  c->readRow = UINT32_MAX;  // the file is positioned after the row written
}

// Fills the fetch buffers with row n (from 1): 0, 1 past the last row, -1
// when the file cannot be read back (told here; the cache is given up).
int ReplayRow(CKmComposite* m, RecordCache* c, uint32_t n) {
  if (n == 0 || n > c->offsets.size()) return 1;
  bool ok = true;
  if (c->readRow != n - 1) ok = c->file.Seek(c->offsets[n - 1]);
  if (ok) {
    ok = ForEachBoundField(m, [&](FieldDef* f, uint32_t) -> int {
           FieldBinding* b = f->dataBinding;
           uint8_t head[8];
           if (b == nullptr || b->fetchBuffer == nullptr || c->file.Read(head, 8) != 8) return 1;
           const int32_t length = static_cast<int32_t>(GetU32(head));
           const bool withLost = (GetU32(head + 4) & kLostCharsFollow) != 0;
           const bool withRank = (GetU32(head + 4) & kRankFollows) != 0;
           const uint32_t count = GetU32(head + 4) & ~(kLostCharsFollow | kRankFollows);
           // A text keeps room for its end; nothing lands outside the buffer.
           const bool binary = IsBinaryColumn(b->columnType);
           if (binary ? count > b->fetchSize : count >= b->fetchSize) return 1;
           if (count > 0 && c->file.Read(b->fetchBuffer, count) != static_cast<long>(count)) return 1;
           if (!binary) b->fetchBuffer[count] = 0;
           b->fetchedLength = length;
           b->lostChars.clear();
           if (withLost) {
             // At most four bytes for each character of the text.
             uint8_t size[4];
             if (binary || c->file.Read(size, 4) != 4 || GetU32(size) > 4u * count) return 1;
             b->lostChars.resize(GetU32(size));
             if (!b->lostChars.empty() &&
                 c->file.Read(&b->lostChars[0], b->lostChars.size()) != static_cast<long>(b->lostChars.size()))
               return 1;
           }
           if (withRank != b->ranked) return 1;
           if (withRank) {
             if (c->file.Read(b->rankBuffer, kRankBytes) != static_cast<long>(kRankBytes)) return 1;
             b->rankLength = static_cast<int32_t>(kRankBytes);
           }
           return 0;
         }) == 0;
  }
  if (!ok) {
    Abandon(m, c, kEngineCannotReadCache);
    m->ShowEngineError(kEngineCannotReadCache);
    return -1;
  }
  c->readRow = n;
  c->rowFromFile = true;
  ++c->rowsReplayed;
  return 0;
}

// The query's end: the file holds every row once they are all written out.
void EndOfRows(CKmComposite* m, RecordCache* c) {
  if (!c->file.Flush()) {
    Abandon(m, c, kEngineCannotWriteCache);
    return;
  }
  c->complete = true;
  // Rows are read again from the file from here on.
  GetDataAccess(m)->EndTransactionOfReadRows();
}

}  // namespace

RecordCache::~RecordCache() {
  file.Close();
  RemoveWorkFile(path);
}

RecordCache* GetRecordCache(CKmComposite* m) { return m->GetAttachment<RecordCache>(); }

bool RowFromRecordCache(CKmComposite* m) {
  const RecordCache* c = m->FindAttachment<RecordCache>();
  return c != nullptr && c->rowFromFile;
}

void CloseRecordCache(CKmComposite* m, bool keep) {
  RecordCache* c = m->FindAttachment<RecordCache>();
  if (c == nullptr) return;
  c->file.Close();
  c->mode = RecordCache::Mode::kOff;
  c->readRow = UINT32_MAX;
  c->rowFromFile = false;
  if (keep) return;
  RemoveWorkFile(c->path);
  c->signature.clear();
  c->offsets.clear();
  c->columns.clear();
  c->size = 0;
  c->complete = false;
}

void OpenCacheFile(CKmComposite* m) {
  RecordCache* c = m->FindAttachment<RecordCache>();
  if (c != nullptr) CloseRecordCache(m, c->complete);
}

int OpenRunQuery(CKmComposite* m) {
  RecordCache* c = GetRecordCache(m);
  std::string text;
  int sortColumns = 0;
  if (int rc = PrepareReportQuery(m, &text, &sortColumns)) return rc;
  // A data source set to compute calculations itself gives them their values
  // as columns of the SELECT; the pass then leaves them as fetched.
  GetRecordPassState(m)->alwaysEngineEval = !text.empty() && GetDataAccess(m)->AlwaysEngineEval() ? 1 : 0;
  const bool engineSort = GetSelectResult(m)->engineSortNeeded;
  std::string signature = text.empty() ? std::string() : Signature(m, text, sortColumns, engineSort);
  if (c->complete && !signature.empty() && signature == c->signature) {
    c->file.Close();
    if (AllocateFetchBuffers(m) == 0 && c->file.OpenRead(c->path)) {
      c->mode = RecordCache::Mode::kReplaying;
      c->readRow = 0;
      MarkEngineSortedColumns(m);
      return 0;
    }
  }
  // What the cache held is of no use to this query.
  CloseRecordCache(m, false);
  c->lastError = 0;
  if (!text.empty() && ExecuteSelect(m, text.c_str(), 0, sortColumns, engineSort) != 0) {
    FreeFieldBuffers(m);
    return 1;
  }
  MarkEngineSortedColumns(m);
  if (signature.empty() || !c->record) return 0;
  // A cache that cannot be made leaves the run reading the database.
  if (c->path.empty()) c->path = NewCachePath();
  if (!c->file.Create(c->path)) {
    c->lastError = kEngineCannotCreateCache;
    return 0;
  }
  c->signature = std::move(signature);
  c->columns.clear();
  if (ForEachBoundField(m, [&](FieldDef* f, uint32_t) -> int {
        if (f->dataBinding == nullptr) return 1;
        c->columns.push_back(f->dataBinding);
        return 0;
      }) != 0) {
    CloseRecordCache(m, false);
    return 0;
  }
  c->mode = RecordCache::Mode::kRecording;
  return 0;
}

int CachedRowSource::FetchNextRow() {
  RecordCache* c = GetRecordCache(model_);
  if (c->mode == RecordCache::Mode::kReplaying) return ReplayRow(model_, c, c->readRow + 1);
  c->rowFromFile = false;
  const int r = SqlRowSource::FetchNextRow();
  if (r == 0) ++c->rowsFetched;
  if (c->mode != RecordCache::Mode::kRecording || c->complete) return r;
  if (r == 0) RecordRow(model_, c);
  else if (r == 1) EndOfRows(model_, c);
  else Abandon(model_, c, 0);
  return r;
}

int CachedRowSource::FetchRow(uint32_t recordNumber) {
  RecordCache* c = GetRecordCache(model_);
  // Every row is in the file once the query's end was reached.
  if (c->mode == RecordCache::Mode::kReplaying || (c->mode == RecordCache::Mode::kRecording && c->complete))
    return ReplayRow(model_, c, recordNumber);
  c->rowFromFile = false;
  const int r = SqlRowSource::FetchRow(recordNumber);
  if (r == 0) ++c->rowsFetched;
  if (c->mode != RecordCache::Mode::kRecording) return r;
  // Only rows read in their order make a cache.
  const bool next = recordNumber == c->offsets.size() + 1;
  if (r == 0 && next) RecordRow(model_, c);
  else if (r == 1 && next) EndOfRows(model_, c);
  else Abandon(model_, c, 0);
  return r;
}
