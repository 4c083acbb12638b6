// Reading a forward-only result ahead of its reader: a thread of its own
// fetches the statement's rows in blocks (a row array per fetch where the
// driver allows it) into a few buffers handed round between the threads,
// so the reader works on one block while the next is being fetched. Blocks
// of many rows are put in the reader's form by a second thread, so that the
// fetching thread, mostly the slowest of all, does nothing but fetch.
//
// While it runs, the statement belongs to the thread: its owner calls nothing
// on the statement but Next() until Stop(). The driver manager serialises the
// owner's calls on other handles with the thread's fetches.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qe_ahead {

// One column the reader wants, bound as it would be for a single-row fetch.
struct Column {
  SQLUSMALLINT number = 0;
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLLEN size = 0;     // bytes of one fetched value
  size_t outSize = 0;  // bytes of the reader's buffer for it
};

// Turns one fetched value (column index, value, indicator) into the reader's
// form: writes `out` (outSize bytes) and the length cell, returns the bytes
// of `out` it wrote. Runs on the fetching thread, so it may read only what
// stays fixed while rows are read ahead.
using Translator = std::function<size_t(size_t column, const char* value, SQLLEN indicator, char* out,
                                        int32_t* cell)>;

// The texts (driver UTF-8) of the first diagnostic records of a handle.
std::vector<std::string> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

class FetchAhead {
 public:
  // Binds the columns to its own buffers and starts fetching. maxRows > 0
  // stops after that many rows.
  FetchAhead(SQLHSTMT statement, std::vector<Column> columns, Translator translate, long maxRows);
  ~FetchAhead();  // ends the thread
  FetchAhead(const FetchAhead&) = delete;
  FetchAhead& operator=(const FetchAhead&) = delete;

  // Moves to the next row, giving what single-row fetches would have given in
  // turn: SQL_SUCCESS for a row (read it with Out, Written and Cell), a failure
  // where the driver failed (its diagnostics in Diagnostics()), SQL_NO_DATA
  // at the end and after it.
  SQLRETURN Next();
  // The current row's value of a column in the reader's form.
  const char* Out(size_t column) const;
  // The current row's value of a column as the driver gave it (RawSize bytes
  // of room), with its indicator.
  const char* Raw(size_t column, SQLLEN* indicator) const;
  SQLLEN RawSize(size_t column) const { return columns_[column].size; }
  size_t Written(size_t column) const;
  int32_t Cell(size_t column) const;
  const std::vector<std::string>& Diagnostics() const;

  // Ends the thread and gives the statement back unbound, one row a fetch.
  // Rows fetched and not read are lost: the cursor stands after them.
  void Stop();

  size_t RowsPerBlock() const { return rowsPerBlock_; }

 private:
  struct Block {
    std::vector<char> bytes;     // each column's values, then its indicators
    SQLULEN rows = 0;              // rows it holds
    std::vector<SQLUSMALLINT> status;  // per row, where the driver said
    SQLRETURN end = SQL_SUCCESS;   // what follows its rows: a failure, or the end
    std::vector<std::string> diagnostics;
  };
  void Run();
  void Translate();  // the translating thread's loop
  bool EndThread();  // false when it had ended before
  bool BindTo(Block& block);
  void TranslateRows(Block& block);
  void Deliver(Block* block);

  SQLHSTMT statement_;
  std::vector<Column> columns_;
  Translator translate_;
  // Where each column's arrays start in a block: fetched values, indicators,
  // values in the reader's form, bytes of them written, length cells.
  std::vector<size_t> valueAt_, indicatorAt_, outAt_, writtenAt_, cellAt_;
  long maxRows_;
  size_t rowsPerBlock_ = 1;
  bool translateApart_ = false;  // blocks are translated by translator_
  size_t blockBytes_ = 0;
  std::vector<std::unique_ptr<Block>> blocks_;
  // The driver's count and row states of the last fetch, the thread's.
  SQLULEN fetched_ = 0;
  std::vector<SQLUSMALLINT> fetchStatus_;
  bool haveStatus_ = false;

  std::mutex lock_;
  // One for each waiter, so that a hand-over wakes only the thread it is for:
  // the fetching thread waits for a free block, the translating thread for a
  // fetched one, the reader for a ready one.
  std::condition_variable freeChanged_, rawChanged_, readyChanged_;
  std::vector<Block*> free_;
  std::deque<Block*> ready_;  // in fetch order
  // Fetched blocks waiting for the translating thread, in fetch order, when
  // there is one.
  std::deque<Block*> fetchedRaw_;
  bool stopping_ = false;
  bool fetchDone_ = false;  // the fetching thread has given its last block
  bool finished_ = false;   // the last block is ready for the reader
  std::thread thread_;
  std::thread translator_;

  // The reader's.
  Block* current_ = nullptr;
  size_t row_ = 0, next_ = 0;
  bool endGiven_ = false;
};

// Read for every column of every row: inline.
inline const char* FetchAhead::Out(size_t column) const {
  return current_->bytes.data() + outAt_[column] + row_ * columns_[column].outSize;
}

inline const char* FetchAhead::Raw(size_t column, SQLLEN* indicator) const {
  if (current_ == nullptr) return nullptr;
  std::memcpy(indicator, current_->bytes.data() + indicatorAt_[column] + row_ * sizeof(SQLLEN), sizeof(SQLLEN));
  return current_->bytes.data() + valueAt_[column] + row_ * static_cast<size_t>(columns_[column].size);
}

inline size_t FetchAhead::Written(size_t column) const {
  uint32_t v;
  std::memcpy(&v, current_->bytes.data() + writtenAt_[column] + row_ * sizeof v, sizeof v);
  return v;
}

inline int32_t FetchAhead::Cell(size_t column) const {
  int32_t v;
  std::memcpy(&v, current_->bytes.data() + cellAt_[column] + row_ * sizeof v, sizeof v);
  return v;
}

}  // namespace qe_ahead
