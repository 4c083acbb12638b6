#include "platform/qe/fetch_ahead.h"

#include <algorithm>
#include <cstring>

namespace qe_ahead {

namespace {

// A block's size aims at this many bytes (a few rows of long texts, a few
// hundred of a usual report): enough to make a fetch call worth its cost,
// small enough that the blocks in flight stay a fixed, small amount.
constexpr size_t kBlockBytes = 256 * 1024;
constexpr size_t kMostRowsPerBlock = 256;
// Blocks in flight: enough for either side to run ahead through the other's
// slow stretches (a page handed to the printer, the database merging its
// sort) rather than wait on it; at most 8 MB.
constexpr size_t kBlocks = 32;
// Blocks of at least this many rows are translated on a thread of their own;
// smaller ones are not worth the hand-over.
constexpr size_t kTranslateApart = 16;

size_t RoundUp(size_t n) { return (n + 15) & ~static_cast<size_t>(15); }

}  // namespace

std::vector<std::string> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<std::string> texts;
  if (!handle) return texts;
  for (SQLSMALLINT rec = 1; rec <= 3; ++rec) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {0};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, rec, state, &native, text, sizeof text, &len))) break;
    texts.emplace_back(reinterpret_cast<char*>(text));
  }
  return texts;
}

FetchAhead::FetchAhead(SQLHSTMT statement, std::vector<Column> columns, Translator translate, long maxRows)
    : statement_(statement), columns_(std::move(columns)), translate_(std::move(translate)), maxRows_(maxRows) {
  size_t rowBytes = 0;
  for (const Column& c : columns_)
    rowBytes += static_cast<size_t>(c.size) + sizeof(SQLLEN) + c.outSize + sizeof(uint32_t) + sizeof(int32_t);
  size_t want = std::clamp<size_t>(kBlockBytes / std::max<size_t>(rowBytes, 1), 1, kMostRowsPerBlock);
  if (maxRows_ > 0) want = std::min(want, static_cast<size_t>(maxRows_));
  // A driver without row arrays, or with a smaller limit, fetches as many as it can.
  if (want > 1) {
    SQLRETURN rc = SQLSetStmtAttr(statement_, SQL_ATTR_ROW_ARRAY_SIZE,
                                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(want)), 0);
    SQLULEN got = 1;
    if (SQL_SUCCEEDED(rc) &&
        SQL_SUCCEEDED(SQLGetStmtAttr(statement_, SQL_ATTR_ROW_ARRAY_SIZE, &got, 0, nullptr)) && got >= 1 &&
        got <= want) {
      want = got;
    } else {
      // Never more rows a fetch than the blocks hold.
      SQLSetStmtAttr(statement_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)), 0);
      want = 1;
    }
  }
  if (want > 1 && !SQL_SUCCEEDED(SQLSetStmtAttr(statement_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0))) {
    SQLSetStmtAttr(statement_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)), 0);
    want = 1;
  }
  rowsPerBlock_ = want;
  if (want > 1) {
    fetchStatus_.assign(want, SQL_ROW_SUCCESS);
    haveStatus_ = SQL_SUCCEEDED(SQLSetStmtAttr(statement_, SQL_ATTR_ROW_STATUS_PTR, fetchStatus_.data(), 0));
  }
  for (const Column& c : columns_) {
    valueAt_.push_back(blockBytes_);
    blockBytes_ += RoundUp(static_cast<size_t>(c.size) * rowsPerBlock_);
    indicatorAt_.push_back(blockBytes_);
    blockBytes_ += RoundUp(sizeof(SQLLEN) * rowsPerBlock_);
    outAt_.push_back(blockBytes_);
    blockBytes_ += RoundUp(c.outSize * rowsPerBlock_);
    writtenAt_.push_back(blockBytes_);
    blockBytes_ += RoundUp(sizeof(uint32_t) * rowsPerBlock_);
    cellAt_.push_back(blockBytes_);
    blockBytes_ += RoundUp(sizeof(int32_t) * rowsPerBlock_);
  }
  for (size_t i = 0; i < kBlocks; ++i) {
    blocks_.push_back(std::make_unique<Block>());
    blocks_.back()->bytes.assign(blockBytes_, 0);
    free_.push_back(blocks_.back().get());
  }
  translateApart_ = rowsPerBlock_ >= kTranslateApart;
  if (translateApart_) translator_ = std::thread([this] { Translate(); });
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    EndThread();  // a thread left running would end the program
    throw;
  }
}

// Leaves the statement alone: it is being freed, perhaps as the process ends.
FetchAhead::~FetchAhead() { EndThread(); }

bool FetchAhead::BindTo(Block& block) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const Column& c = columns_[i];
    char* base = block.bytes.data();
    if (!SQL_SUCCEEDED(SQLBindCol(statement_, c.number, c.cType, base + valueAt_[i], c.size,
                                  reinterpret_cast<SQLLEN*>(base + indicatorAt_[i]))))
      return false;
  }
  return true;
}

void FetchAhead::TranslateRows(Block& block) {
  char* base = block.bytes.data();
  for (size_t r = 0; r < block.rows; ++r) {
    if (r < block.status.size() && block.status[r] == SQL_ROW_ERROR) continue;
    for (size_t i = 0; i < columns_.size(); ++i) {
      const Column& c = columns_[i];
      SQLLEN indicator;
      std::memcpy(&indicator, base + indicatorAt_[i] + r * sizeof(SQLLEN), sizeof indicator);
      int32_t cell = 0;
      const uint32_t written = static_cast<uint32_t>(translate_(
          i, base + valueAt_[i] + r * static_cast<size_t>(c.size), indicator, base + outAt_[i] + r * c.outSize, &cell));
      std::memcpy(base + writtenAt_[i] + r * sizeof(uint32_t), &written, sizeof written);
      std::memcpy(base + cellAt_[i] + r * sizeof(int32_t), &cell, sizeof cell);
    }
  }
}

void FetchAhead::Deliver(Block* block) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    ready_.push_back(block);
  }
  readyChanged_.notify_one();
}

void FetchAhead::Run() {
  long delivered = 0;
  for (;;) {
    Block* block;
    {
      std::unique_lock<std::mutex> hold(lock_);
      freeChanged_.wait(hold, [this] { return stopping_ || !free_.empty(); });
      if (stopping_) break;
      block = free_.back();
      free_.pop_back();
    }
    block->rows = 0;
    block->status.clear();
    block->end = SQL_SUCCESS;
    block->diagnostics.clear();
    bool last = false;
    if (maxRows_ > 0 && delivered >= maxRows_) {
      block->end = SQL_NO_DATA;
      last = true;
    } else if (!BindTo(*block)) {
      block->end = SQL_ERROR;
      block->diagnostics = ReadDiagnostics(SQL_HANDLE_STMT, statement_);
      last = true;
    } else {
      fetched_ = 0;
      std::fill(fetchStatus_.begin(), fetchStatus_.end(), static_cast<SQLUSMALLINT>(SQL_ROW_SUCCESS));
      const SQLRETURN rc = SQLFetch(statement_);
      SQLULEN rows = 0;
      if (rowsPerBlock_ == 1)
        rows = rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? 1 : 0;
      else if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR)
        rows = std::min<SQLULEN>(fetched_, rowsPerBlock_);  // a failing block may still hold rows before it
      if (maxRows_ > 0) rows = std::min<SQLULEN>(rows, static_cast<SQLULEN>(maxRows_ - delivered));
      block->rows = rows;
      delivered += static_cast<long>(rows);
      if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) {
        if (haveStatus_) block->status.assign(fetchStatus_.begin(), fetchStatus_.begin() + rows);
        block->diagnostics = ReadDiagnostics(SQL_HANDLE_STMT, statement_);
      }
      if (rc == SQL_ERROR) {
        block->end = SQL_ERROR;  // the driver goes on after it, as it would for the next single fetch
      } else if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        block->end = rc;
        last = true;
      } else if (rows == 0) {
        block->end = SQL_NO_DATA;
        last = true;
      }
    }
    if (translateApart_) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        fetchedRaw_.push_back(block);
      }
      rawChanged_.notify_one();
    } else {
      TranslateRows(*block);
      Deliver(block);
    }
    if (last) break;
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    fetchDone_ = true;
    if (!translateApart_) finished_ = true;
  }
  rawChanged_.notify_one();
  readyChanged_.notify_one();
}

void FetchAhead::Translate() {
  for (;;) {
    Block* block;
    {
      std::unique_lock<std::mutex> hold(lock_);
      rawChanged_.wait(hold, [this] { return stopping_ || !fetchedRaw_.empty() || fetchDone_; });
      if (stopping_) return;
      if (fetchedRaw_.empty()) {
        finished_ = true;
        break;
      }
      block = fetchedRaw_.front();
      fetchedRaw_.pop_front();
    }
    TranslateRows(*block);
    Deliver(block);
  }
  readyChanged_.notify_one();
}

SQLRETURN FetchAhead::Next() {
  for (;;) {
    if (current_ != nullptr) {
      if (next_ < current_->rows) {
        row_ = next_++;
        if (row_ < current_->status.size() && current_->status[row_] == SQL_ROW_ERROR) return SQL_ERROR;
        return SQL_SUCCESS;
      }
      if (current_->end != SQL_SUCCESS && !endGiven_) {
        endGiven_ = true;
        return current_->end;
      }
    }
    std::unique_lock<std::mutex> hold(lock_);
    if (current_ != nullptr) free_.push_back(current_);
    current_ = nullptr;
    freeChanged_.notify_one();
    if (stopping_) return SQL_NO_DATA;
    readyChanged_.wait(hold, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) return SQL_NO_DATA;  // past the end the driver says the same again
    current_ = ready_.front();
    ready_.pop_front();
    next_ = 0;
    endGiven_ = false;
  }
}

const std::vector<std::string>& FetchAhead::Diagnostics() const {
  static const std::vector<std::string> none;
  return current_ != nullptr ? current_->diagnostics : none;
}

bool FetchAhead::EndThread() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_) return false;
    stopping_ = true;
  }
  freeChanged_.notify_all();
  rawChanged_.notify_all();
  readyChanged_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (translator_.joinable()) translator_.join();
  return true;
}

void FetchAhead::Stop() {
  if (!EndThread()) return;
  SQLFreeStmt(statement_, SQL_UNBIND);
  SQLSetStmtAttr(statement_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  SQLSetStmtAttr(statement_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  SQLSetStmtAttr(statement_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)), 0);
}

}  // namespace qe_ahead
