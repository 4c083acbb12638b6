// The database library over ODBC (unixODBC). One environment for the process,
// small-number handles for connections and statements, and bound columns
// translated after every fetch into the caller's buffers and 32-bit cells.
#include "platform/qe/qe.h"

#include "platform/qe/cursor_fetch.h"
#include "platform/qe/fetch_ahead.h"
#include "platform/qe/qe_text.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ColInfo {
  SQLSMALLINT sqlType = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  std::string name;
  std::string label;
  std::string typeName;  // the driver's name of the column's type
  bool neverNull = false;  // the driver says the column holds no NULL
  int qeType = QE_TYPE_NONE;
  long dbType = QE_DB_OTHER;
  long width = 0;
};

enum class BindKind { Text, Native, Decimal, Date, Time, Timestamp, Skip };

struct BoundCol {
  int col = 0;
  BindKind kind = BindKind::Skip;
  char* user = nullptr;
  int32_t* cell = nullptr;
  int32_t userLen = 0;
  int32_t nativeSize = 0;
  int precision = 0;
  int scale = 0;
  SQLLEN ind = 0;
  // Where a single-row fetch puts the value (kept to bind it again).
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLPOINTER target = nullptr;
  SQLLEN targetLen = 0;
  std::vector<char> internal;
  union {
    SQL_DATE_STRUCT date;
    SQL_TIME_STRUCT time;
    SQL_TIMESTAMP_STRUCT stamp;
    double d;
  } value{};
};

struct Conn {
  SQLHDBC hdbc = SQL_NULL_HDBC;
  std::string sql;
  long maxRows = 0;
  long timeout = 0;
  long selectOptions = 0;
};

struct Stmt {
  QEHANDLE conn = 0;
  SQLHSTMT hstmt = SQL_NULL_HSTMT;
  bool pseudo = false;
  std::vector<std::vector<std::string>> rows;  // pseudo rows, program code page
  long rowPos = -1;
  bool described = false;
  std::vector<ColInfo> cols;
  std::vector<std::unique_ptr<BoundCol>> binds;
  bool scrollable = false;
  long currentRow = 0;
  long maxRows = 0;  // also kept here: not every driver honours the statement attribute
  std::string sql;  // UTF-8, for re-running a forward-only result
  std::string multi;
  // Text of the current row's unbound columns, read once in column order
  // (drivers give a column's data only once).
  bool rowRead = false;
  std::vector<std::string> rowText;
  // A forward-only result whose every column is bound is read ahead on a
  // thread of its own from the first fetch on; see UnpackAheadRow.
  std::unique_ptr<qe_ahead::FetchAhead> ahead;
  std::vector<BoundCol*> aheadCols;  // in the order given to the reader
  bool aheadTried = false;
};

SQLHENV g_env = SQL_NULL_HENV;
std::vector<std::unique_ptr<Conn>> g_conns(1);
std::vector<std::unique_ptr<Stmt>> g_stmts(1);
int g_err = 0;
std::string g_msg;
FILE* g_trace = nullptr;
uint16_t g_traceOptions = 3;

void Trace(const char* what, long a = 0, const char* text = nullptr) {
  if (!g_trace) return;
  std::fprintf(g_trace, "%s(%ld)%s%s -> %d\n", what, a, text ? " " : "", text ? text : "", g_err);
  std::fflush(g_trace);
}

void SetErr(int code, const char* msg = "") {
  g_err = code;
  g_msg = msg ? msg : "";
}

// Keeps the first diagnostic records of a failed call as the message text.
void TakeDiagTexts(const std::vector<std::string>& texts) {
  g_msg.clear();
  for (const std::string& text : texts) {
    if (!g_msg.empty()) g_msg += "\n";
    g_msg += qe_text::Utf8ToAnsi(text.data(), text.size());
  }
  if (g_msg.size() >= static_cast<size_t>(QE_ERRMSG_MAX)) g_msg.resize(QE_ERRMSG_MAX - 1);
}

// Maps an ODBC result to the layer's code; warnings on anything but a fetch
// count as done. A failure's message comes from diagnostics().
template <class Diagnostics>
int Result(SQLRETURN rc, const Diagnostics& diagnostics) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    SetErr(QE_OK);
    return QE_OK;
  }
  if (rc == SQL_NO_DATA) {
    SetErr(QE_END_OF_DATA);
    return QE_END_OF_DATA;
  }
  if (rc == SQL_INVALID_HANDLE) {
    SetErr(QE_BAD_HANDLE, "Invalid handle");
    return QE_BAD_HANDLE;
  }
  g_err = QE_ERROR;
  TakeDiagTexts(diagnostics());
  return QE_ERROR;
}

int Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h) {
  return Result(rc, [type, h] { return qe_ahead::ReadDiagnostics(type, h); });
}

Conn* GetConn(QEHANDLE h) {
  if (h == 0 || h >= g_conns.size() || !g_conns[h]) {
    SetErr(QE_BAD_HANDLE, "Invalid connection handle");
    return nullptr;
  }
  return g_conns[h].get();
}

Stmt* GetStmt(QEHANDLE h) {
  if (h == 0 || h >= g_stmts.size() || !g_stmts[h]) {
    SetErr(QE_BAD_HANDLE, "Invalid statement handle");
    return nullptr;
  }
  return g_stmts[h].get();
}

// Handles are handed out round the table, so that a handle just ended is not
// at once another statement's.
template <class T>
QEHANDLE Store(std::vector<std::unique_ptr<T>>& table, std::unique_ptr<T> item) {
  if (table.size() <= 0xFFFF && table.size() < 1024) {
    table.push_back(std::move(item));
    return static_cast<QEHANDLE>(table.size() - 1);
  }
  static size_t next = 1;
  for (size_t n = 1; n < table.size(); ++n) {
    size_t i = 1 + (next - 1 + n) % (table.size() - 1);
    if (!table[i]) {
      table[i] = std::move(item);
      next = i;
      return static_cast<QEHANDLE>(i);
    }
  }
  if (table.size() > 0xFFFF) {
    SetErr(QE_NO_MEMORY, "Too many handles");
    return 0;
  }
  table.push_back(std::move(item));
  return static_cast<QEHANDLE>(table.size() - 1);
}

void FreeStmt(QEHANDLE h) {
  Stmt* s = g_stmts[h].get();
  s->ahead.reset();  // its thread ends before the statement does
  if (s->hstmt) SQLFreeHandle(SQL_HANDLE_STMT, s->hstmt);
  g_stmts[h].reset();
}

void ClassifyColumn(ColInfo& c) {
  SQLULEN size = c.size;
  if (size > 65534) size = 65534;
  switch (c.sqlType) {
    case SQL_CHAR:
    case SQL_WCHAR:
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_CHAR, c.width = static_cast<long>(size) + 1;
      break;
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_VARCHAR, c.width = static_cast<long>(size) + 1;
      break;
    case SQL_GUID:  // read as its text, 36 characters
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_VARCHAR, c.width = 37;
      break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_MEMO, c.width = static_cast<long>(size) + 1;
      break;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      c.qeType = QE_TYPE_DECIMAL;
      c.dbType = c.sqlType == SQL_DECIMAL ? QE_DB_DECIMAL : QE_DB_NUMERIC;
      if (size == 0 || size > 38) size = 38;
      c.size = size;
      c.width = static_cast<long>(size) + 2;
      break;
    case SQL_INTEGER:
      c.qeType = QE_TYPE_LONG, c.dbType = QE_DB_INTEGER, c.width = 11;
      break;
    case SQL_SMALLINT:
      c.qeType = QE_TYPE_SHORT, c.dbType = QE_DB_SMALLINT, c.width = 6;
      break;
    case SQL_TINYINT:
      c.qeType = QE_TYPE_SHORT, c.dbType = QE_DB_TINYINT, c.width = 4;
      break;
    case SQL_BIT:
      c.qeType = QE_TYPE_SHORT, c.dbType = QE_DB_BIT, c.width = 1;
      break;
    case SQL_REAL:
      c.qeType = QE_TYPE_FLOAT, c.dbType = QE_DB_REAL, c.width = 13;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      c.qeType = QE_TYPE_DOUBLE, c.dbType = c.sqlType == SQL_FLOAT ? QE_DB_FLOAT : QE_DB_DOUBLE;
      c.width = 22;
      break;
    case SQL_BIGINT:
      c.qeType = QE_TYPE_DOUBLE, c.dbType = QE_DB_BIGINT, c.width = 20;
      break;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      c.qeType = QE_TYPE_DATETIME, c.dbType = QE_DB_DATE, c.width = 10;
      break;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      c.qeType = QE_TYPE_DATETIME, c.dbType = QE_DB_TIME, c.width = 15;
      break;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      c.qeType = QE_TYPE_DATETIME, c.dbType = QE_DB_TIMESTAMP, c.width = 26;
      break;
    case SQL_BINARY:
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_BINARY, c.width = static_cast<long>(size) + 1;
      break;
    case SQL_VARBINARY:
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_VARBINARY, c.width = static_cast<long>(size) + 1;
      break;
    case SQL_LONGVARBINARY:
      c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_LONGBINARY, c.width = static_cast<long>(size) + 1;
      break;
    default:
      c.qeType = QE_TYPE_NONE, c.dbType = QE_DB_OTHER, c.width = 0;
      break;
  }
}

// The catalog's name of the type of a result column read straight from a
// table, for a driver that names it "unknown" in the result's description
// (PostgreSQL's json and jsonb alike); empty when the catalog does not say.
std::string CatalogTypeName(Stmt* s, SQLSMALLINT col) {
  SQLCHAR table[256] = {0}, column[256] = {0};
  SQLSMALLINT n = 0;
  const Conn* conn = GetConn(s->conn);
  if (conn == nullptr ||
      !SQL_SUCCEEDED(SQLColAttribute(s->hstmt, col, SQL_DESC_BASE_TABLE_NAME, table, sizeof table, &n, nullptr)) ||
      !SQL_SUCCEEDED(SQLColAttribute(s->hstmt, col, SQL_DESC_BASE_COLUMN_NAME, column, sizeof column, &n, nullptr)) ||
      table[0] == 0 || column[0] == 0)
    return std::string();
  SQLHSTMT h = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, conn->hdbc, &h))) return std::string();
  std::string name;
  if (SQL_SUCCEEDED(SQLColumns(h, nullptr, 0, nullptr, 0, table, SQL_NTS, column, SQL_NTS))) {
    // The names are patterns: the row of this very table and column.
    while (name.empty() && SQL_SUCCEEDED(SQLFetch(h))) {
      char t[256] = {0}, c[256] = {0}, type[128] = {0};
      SQLLEN got = 0;
      if (SQL_SUCCEEDED(SQLGetData(h, 3, SQL_C_CHAR, t, sizeof t, &got)) &&
          SQL_SUCCEEDED(SQLGetData(h, 4, SQL_C_CHAR, c, sizeof c, &got)) &&
          SQL_SUCCEEDED(SQLGetData(h, 6, SQL_C_CHAR, type, sizeof type, &got)) &&
          std::strcmp(t, reinterpret_cast<char*>(table)) == 0 && std::strcmp(c, reinterpret_cast<char*>(column)) == 0)
        name = type;
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return name;
}

bool Describe(Stmt* s) {
  if (s->described) return true;
  s->described = true;
  if (s->pseudo) {
    size_t n = s->rows.empty() ? (s->cols.size()) : s->rows[0].size();
    s->cols.resize(n);
    return true;
  }
  SQLSMALLINT n = 0;
  if (Check(SQLNumResultCols(s->hstmt, &n), SQL_HANDLE_STMT, s->hstmt) != QE_OK) return false;
  s->cols.assign(n > 0 ? n : 0, ColInfo());
  for (SQLSMALLINT i = 1; i <= n; ++i) {
    ColInfo& c = s->cols[i - 1];
    SQLCHAR name[512] = {0};
    SQLSMALLINT nameLen = 0, nullable = 0;
    SQLRETURN rc = SQLDescribeCol(s->hstmt, i, name, sizeof name, &nameLen, &c.sqlType, &c.size,
                                  &c.digits, &nullable);
    if (!SQL_SUCCEEDED(rc)) {
      Check(rc, SQL_HANDLE_STMT, s->hstmt);
      return false;
    }
    c.name = qe_text::Utf8ToAnsi(reinterpret_cast<char*>(name), std::strlen(reinterpret_cast<char*>(name)));
    c.neverNull = nullable == SQL_NO_NULLS;
    SQLCHAR label[512] = {0};
    SQLSMALLINT labelLen = 0;
    if (SQL_SUCCEEDED(SQLColAttribute(s->hstmt, i, SQL_DESC_LABEL, label, sizeof label, &labelLen, nullptr)))
      c.label = qe_text::Utf8ToAnsi(reinterpret_cast<char*>(label), std::strlen(reinterpret_cast<char*>(label)));
    SQLCHAR typeName[128] = {0};
    if (SQL_SUCCEEDED(SQLColAttribute(s->hstmt, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &labelLen, nullptr)))
      c.typeName.assign(reinterpret_cast<char*>(typeName), strnlen(reinterpret_cast<char*>(typeName), sizeof typeName));
    if (c.typeName == "unknown") {
      const std::string named = CatalogTypeName(s, i);
      if (!named.empty()) c.typeName = named;
    }
    ClassifyColumn(c);
  }
  SetErr(QE_OK);
  return true;
}

const ColInfo* Column(QEHANDLE stmt, int col) {
  Stmt* s = GetStmt(stmt);
  if (!s || !Describe(s)) return nullptr;
  if (col < 1 || col > static_cast<int>(s->cols.size())) {
    SetErr(QE_BAD_ARGUMENT, "Column number out of range");
    return nullptr;
  }
  SetErr(QE_OK);
  return &s->cols[col - 1];
}

void CopyName(const std::string& name, char* buf) {
  size_t n = name.size() < static_cast<size_t>(QE_COLNAME_MAX - 1) ? name.size() : QE_COLNAME_MAX - 1;
  std::memcpy(buf, name.data(), n);
  buf[n] = '\0';
}

// Writes a date-time value as text into the caller's buffer; returns the
// bytes written.
size_t PutText(const BoundCol& b, char* user, int32_t* cell, const char* text, int len) {
  if (b.userLen <= 0) {
    *cell = QE_LEN_TRUNCATED;
    return 0;
  }
  int room = b.userLen - 1;
  int n = len < room ? len : room;
  std::memcpy(user, text, n);
  user[n] = '\0';
  *cell = len <= room ? len : QE_LEN_TRUNCATED;
  return static_cast<size_t>(n) + 1;
}

// n as exactly width decimal digits, zeros in front (n fits them).
void Digits(char* out, unsigned n, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + n % 10);
    n /= 10;
  }
}

// The length of a fetched text in a buffer of room bytes: the indicator when
// it fits, else up to the driver's end mark, never past the buffer.
size_t TextValueLength(const char* src, SQLLEN ind, size_t room) {
  return ind >= 0 && static_cast<size_t>(ind) < room ? static_cast<size_t>(ind) : strnlen(src, room);
}

// One fetched value (src as the binding's target holds it, ind its
// indicator) into the caller's buffer `user` and length cell, as the layer
// delivers it. Returns how many bytes from user's start it wrote. Reads only
// what binding fixed, so the reading-ahead thread runs it as well.
size_t TranslateValue(const BoundCol& b, const char* src, SQLLEN ind, char* user, int32_t* cell) {
  if (b.kind == BindKind::Skip) return 0;
  if (ind == SQL_NULL_DATA) {
    *cell = QE_LEN_NULL;
    if (b.kind != BindKind::Native && b.userLen > 0) {
      user[0] = '\0';
      return 1;
    }
    return 0;
  }
  switch (b.kind) {
    case BindKind::Native:
      if (b.internal.empty()) {
        if (src != user) std::memcpy(user, src, static_cast<size_t>(b.nativeSize));
        *cell = b.nativeSize;
        return static_cast<size_t>(b.nativeSize);
      }
      *cell = QE_LEN_TRUNCATED;  // the buffer is smaller than the value
      return 0;
    case BindKind::Text: {
      size_t have = static_cast<size_t>(b.targetLen) - 1;
      bool cut = ind == SQL_NO_TOTAL || ind < 0 || static_cast<size_t>(ind) > have;
      size_t len = TextValueLength(src, ind, static_cast<size_t>(b.targetLen));
      size_t need, wrote;
      // Plain ASCII, the common case, is copied as it stands.
      size_t i = qe_text::AsciiRun(src, len);
      size_t room = static_cast<size_t>(b.userLen) - 1;
      if (i == len) {
        size_t n = len < room ? len : room;
        std::memcpy(user, src, n);
        user[n] = '\0';
        need = len;
        wrote = n + 1;
      } else {
        // The ASCII start as it stands, the rest decoded after it.
        const size_t head = i < room ? i : room;
        std::memcpy(user, src, head);
        need = i + qe_text::Utf8ToAnsi(src + i, len - i, user + head, static_cast<size_t>(b.userLen) - head);
        wrote = (need < room ? need : room) + 1;
      }
      *cell = (cut || need >= static_cast<size_t>(b.userLen)) ? QE_LEN_TRUNCATED : static_cast<int32_t>(need);
      return wrote;
    }
    case BindKind::Decimal:
      std::memset(user, 0, b.userLen);
      if (qePackDecimal(src, b.precision, b.scale, reinterpret_cast<unsigned char*>(user), b.userLen))
        *cell = (b.precision + 2) / 2;
      else
        *cell = QE_LEN_TRUNCATED;
      return static_cast<size_t>(b.userLen);
    case BindKind::Date: {
      // Every row of a date column: digits written out, not through printf.
      SQL_DATE_STRUCT date;
      std::memcpy(&date, src, sizeof date);
      char t[16];
      const int year = date.year;
      if (year >= 0 && year <= 9999 && date.month <= 99 && date.day <= 99) {
        Digits(t, year, 4);
        t[4] = '-';
        Digits(t + 5, date.month, 2);
        t[7] = '-';
        Digits(t + 8, date.day, 2);
        t[10] = 0;
        return PutText(b, user, cell, t, 10);
      }
      int n = std::snprintf(t, sizeof t, "%04d-%02u-%02u", year, date.month, date.day);
      return PutText(b, user, cell, t, n);
    }
    case BindKind::Time: {
      SQL_TIME_STRUCT time;
      std::memcpy(&time, src, sizeof time);
      char t[24];
      int n = std::snprintf(t, sizeof t, "%02u:%02u:%02u.000000", time.hour, time.minute, time.second);
      return PutText(b, user, cell, t, n);
    }
    case BindKind::Timestamp: {
      SQL_TIMESTAMP_STRUCT v;
      std::memcpy(&v, src, sizeof v);
      char t[40];
      int n = std::snprintf(t, sizeof t, "%04d-%02u-%02u %02u:%02u:%02u.%06lu", static_cast<int>(v.year),
                            v.month, v.day, v.hour, v.minute, v.second,
                            static_cast<unsigned long>(v.fraction / 1000) % 1000000UL);
      return PutText(b, user, cell, t, n);
    }
    case BindKind::Skip:
      break;
  }
  return 0;
}

void Translate(Stmt* s) {
  for (auto& bp : s->binds) {
    BoundCol& b = *bp;
    if (b.kind == BindKind::Skip) continue;
    TranslateValue(b, static_cast<const char*>(b.target), b.ind, b.user, b.cell);
  }
}

int FetchRaw(Stmt* s, SQLSMALLINT orientation, SQLLEN row) {
  s->rowRead = false;
  SQLRETURN rc = orientation == SQL_FETCH_NEXT ? SQLFetch(s->hstmt) : SQLFetchScroll(s->hstmt, orientation, row);
  // A driver's note (a value cut to its buffer and such) still gives the row;
  // what matters of it is already in the length cells.
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    g_err = QE_OK;
    Translate(s);
    return QE_OK;
  }
  return Check(rc, SQL_HANDLE_STMT, s->hstmt);
}

// Reading ahead needs a forward-only result whose every column has a binding
// of its own: nothing then asks the statement for the current row's data.
void StartAhead(Stmt* s) {
  s->aheadTried = true;
  if (s->pseudo || s->scrollable || s->currentRow != 0 || !s->described || s->cols.empty()) return;
  std::vector<qe_ahead::Column> cols;
  std::vector<BoundCol*> order;
  for (size_t c = 1; c <= s->cols.size(); ++c) {
    BoundCol* found = nullptr;
    for (auto& b : s->binds)
      if (b->col == static_cast<int>(c) && b->kind != BindKind::Skip) found = b.get();
    if (!found) return;
    cols.push_back({static_cast<SQLUSMALLINT>(c), found->cType, found->targetLen,
                    static_cast<size_t>(std::max<int32_t>(found->userLen, found->nativeSize))});
    order.push_back(found);
  }
  s->aheadCols = order;
  // The values are put in the callers' form on the fetching thread too.
  auto translate = [order](size_t i, const char* value, SQLLEN ind, char* out, int32_t* cell) {
    return TranslateValue(*order[i], value, ind, out, cell);
  };
  s->ahead = std::make_unique<qe_ahead::FetchAhead>(s->hstmt, std::move(cols), translate, s->maxRows);
}

// Hands the reader's row, already in the callers' form, to their buffers.
// A fetched value into its bound buffer (the two never overlap): most are a
// few bytes, copied in words without a call.
void CopyValue(void* to, const void* from, size_t n) {
  char* t = static_cast<char*>(to);
  const char* f = static_cast<const char*>(from);
  uint64_t a, b, c, d;
  if (n >= 8 && n <= 16) {
    std::memcpy(&a, f, 8);
    std::memcpy(&b, f + n - 8, 8);
    std::memcpy(t, &a, 8);
    std::memcpy(t + n - 8, &b, 8);
  } else if (n >= 4 && n < 8) {
    uint32_t e, g;
    std::memcpy(&e, f, 4);
    std::memcpy(&g, f + n - 4, 4);
    std::memcpy(t, &e, 4);
    std::memcpy(t + n - 4, &g, 4);
  } else if (n > 16 && n <= 32) {
    std::memcpy(&a, f, 8);
    std::memcpy(&b, f + 8, 8);
    std::memcpy(&c, f + n - 16, 8);
    std::memcpy(&d, f + n - 8, 8);
    std::memcpy(t, &a, 8);
    std::memcpy(t + 8, &b, 8);
    std::memcpy(t + n - 16, &c, 8);
    std::memcpy(t + n - 8, &d, 8);
  } else {
    std::memcpy(t, f, n);
  }
}

void UnpackAheadRow(Stmt* s) {
  for (size_t i = 0; i < s->aheadCols.size(); ++i) {
    BoundCol& b = *s->aheadCols[i];
    CopyValue(b.user, s->ahead->Out(i), s->ahead->Written(i));
    *b.cell = s->ahead->Cell(i);
  }
}

// Ends reading ahead and binds the columns as for single-row fetches again.
// True when it ran: the cursor then stands past the current row.
bool StopAhead(Stmt* s) {
  if (!s->ahead) return false;
  s->ahead->Stop();
  s->ahead.reset();
  s->aheadCols.clear();
  for (auto& b : s->binds)
    if (b->kind != BindKind::Skip)
      SQLBindCol(s->hstmt, static_cast<SQLUSMALLINT>(b->col), b->cType, b->target, b->targetLen, &b->ind);
  return true;
}

int FetchAheadRow(Stmt* s) {
  s->rowRead = false;
  SQLRETURN rc = s->ahead->Next();
  if (rc == SQL_SUCCESS) {
    g_err = QE_OK;
    UnpackAheadRow(s);
    return QE_OK;
  }
  return Result(rc, [s] { return s->ahead->Diagnostics(); });
}

// A forward-only result read on up to the given row.
int ReadOnTo(Stmt* s, long row) {
  int r = QE_OK;
  while (s->currentRow < row) {
    r = FetchRaw(s, SQL_FETCH_NEXT, 0);
    if (r != QE_OK && r != QE_WARNING) return r;
    ++s->currentRow;
  }
  return r;
}

// A forward-only result run again and read up to the given row.
int RunAgainTo(Stmt* s, long row) {
  SQLCloseCursor(s->hstmt);
  SQLRETURN rc = SQLExecDirect(s->hstmt, reinterpret_cast<SQLCHAR*>(&s->sql[0]), static_cast<SQLINTEGER>(s->sql.size()));
  if (Check(rc, SQL_HANDLE_STMT, s->hstmt) != QE_OK) return g_err;
  s->currentRow = 0;
  return ReadOnTo(s, row);
}

std::string GetDataText(Stmt* s, int col) {
  std::string utf8;
  char chunk[1024];
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(s->hstmt, static_cast<SQLUSMALLINT>(col), SQL_C_CHAR, chunk, sizeof chunk, &ind);
    if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc) || ind == SQL_NULL_DATA) break;
    size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof chunk)) ? sizeof chunk - 1
                                                                                   : static_cast<size_t>(ind);
    utf8.append(chunk, got);
    if (rc == SQL_SUCCESS) break;
  }
  return qe_text::Utf8ToAnsi(utf8);
}

std::string CellText(Stmt* s, int col) {
  if (s->pseudo) {
    if (s->rowPos < 0 || s->rowPos >= static_cast<long>(s->rows.size())) return std::string();
    const auto& row = s->rows[s->rowPos];
    return col >= 1 && col <= static_cast<int>(row.size()) ? row[col - 1] : std::string();
  }
  if (s->currentRow == 0 || !Describe(s)) return std::string();
  if (!s->rowRead) {
    s->rowRead = true;
    s->rowText.assign(s->cols.size(), std::string());
    for (size_t c = 1; c <= s->cols.size(); ++c) {
      bool bound = false;
      for (auto& b : s->binds) bound = bound || (b->col == static_cast<int>(c) && b->kind != BindKind::Skip);
      if (!bound) s->rowText[c - 1] = GetDataText(s, static_cast<int>(c));
    }
  }
  return col >= 1 && col <= static_cast<int>(s->rowText.size()) ? s->rowText[col - 1] : std::string();
}

QEHANDLE NewPseudo(QEHANDLE conn, std::vector<std::vector<std::string>> rows, size_t cols) {
  auto s = std::make_unique<Stmt>();
  s->conn = conn;
  s->pseudo = true;
  s->rows = std::move(rows);
  s->cols.resize(cols);
  for (auto& c : s->cols) c.qeType = QE_TYPE_CHAR, c.dbType = QE_DB_VARCHAR, c.width = 129;
  s->described = true;
  QEHANDLE h = Store(g_stmts, std::move(s));
  if (h) SetErr(QE_OK);
  return h;
}

}  // namespace

int qeLibInit() {
  if (g_env) return SetErr(QE_OK), QE_OK;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &g_env))) {
    g_env = SQL_NULL_HENV;
    SetErr(QE_ERROR, "Cannot start the ODBC driver manager");
    return QE_ERROR;
  }
  SQLSetEnvAttr(g_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SetErr(QE_OK);
  return QE_OK;
}

int qeLibTerm() {
  for (size_t i = 1; i < g_stmts.size(); ++i)
    if (g_stmts[i]) FreeStmt(static_cast<QEHANDLE>(i));
  for (size_t i = 1; i < g_conns.size(); ++i)
    if (g_conns[i]) qeDisconnect(static_cast<QEHANDLE>(i));
  if (g_env) SQLFreeHandle(SQL_HANDLE_ENV, g_env);
  g_env = SQL_NULL_HENV;
  SetErr(QE_OK);
  return QE_OK;
}

int qeSetTraceOptions(uint16_t options) {
  g_traceOptions = options;
  SetErr(QE_OK);
  return QE_OK;
}

int qeTraceOn(const char* file) {
  qeTraceOff();
  g_trace = file && *file ? std::fopen(file, "a") : nullptr;
  if (!g_trace) {
    SetErr(QE_ERROR, "Cannot open the trace file");
    return QE_ERROR;
  }
  SetErr(QE_OK);
  Trace("qeTraceOn", g_traceOptions);
  return QE_OK;
}

int qeTraceOff() {
  if (g_trace) std::fclose(g_trace);
  g_trace = nullptr;
  SetErr(QE_OK);
  return QE_OK;
}

const char* qeVerNum() { return "VORTELLE database library 1.0 (ODBC 3)"; }

QEHANDLE qeConnect(const char* connectText) {
  if (!g_env && qeLibInit() != QE_OK) return 0;
  // The layer has no driver dialogs: "DLG=n" is dropped and every connect is quiet.
  std::string text;
  const char* p = connectText ? connectText : "";
  while (*p) {
    const char* end = std::strchr(p, ';');
    size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
    std::string item(p, len);
    size_t a = item.find_first_not_of(" \t");
    bool dlg = a != std::string::npos && item.size() >= a + 4 && strncasecmp(item.c_str() + a, "DLG=", 4) == 0;
    if (!dlg && len > 0) {
      if (!text.empty()) text += ';';
      text += item;
    }
    p += len;
    if (*p == ';') ++p;
  }
  SQLHDBC hdbc = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, g_env, &hdbc))) {
    Check(SQL_ERROR, SQL_HANDLE_ENV, g_env);
    return 0;
  }
  std::string utf8 = qe_text::AnsiToUtf8(qe_cursor::WithCursorFetch(text).c_str());
  SQLCHAR out[1024];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(&utf8[0]),
                                  static_cast<SQLSMALLINT>(utf8.size()), out, sizeof out, &outLen,
                                  SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    if (rc == SQL_NO_DATA) {
      SetErr(QE_CANCELLED, "Cancelled");
    } else {
      Check(rc, SQL_HANDLE_DBC, hdbc);
      if (g_msg.empty()) g_msg = "Cannot connect";
    }
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
    Trace("qeConnect", 0, text.c_str());
    return 0;
  }
  auto c = std::make_unique<Conn>();
  c->hdbc = hdbc;
  QEHANDLE h = Store(g_conns, std::move(c));
  if (!h) {
    SQLDisconnect(hdbc);
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
    return 0;
  }
  SetErr(QE_OK);
  Trace("qeConnect", h);
  return h;
}

QEHANDLE qeSetODBCHdbc(void* hdbc) {
  if (!hdbc) {
    SetErr(QE_BAD_ARGUMENT, "No ODBC connection");
    return 0;
  }
  auto c = std::make_unique<Conn>();
  c->hdbc = static_cast<SQLHDBC>(hdbc);
  QEHANDLE h = Store(g_conns, std::move(c));
  if (h) SetErr(QE_OK);
  return h;
}

void* qeGetODBCHdbc(QEHANDLE conn) {
  Conn* c = GetConn(conn);
  if (!c) return nullptr;
  SetErr(QE_OK);
  return c->hdbc;
}

void* qeGetODBCHenv() {
  if (!g_env) qeLibInit();
  return g_env;
}

uint32_t qeGetODBCInfoLong(QEHANDLE conn, uint16_t infoType) {
  Conn* c = GetConn(conn);
  if (!c) return 0;
  SQLUINTEGER v = 0;
  if (Check(SQLGetInfo(c->hdbc, infoType, &v, sizeof v, nullptr), SQL_HANDLE_DBC, c->hdbc) != QE_OK) return 0;
  return v;
}

int qeDisconnect(QEHANDLE conn) {
  Conn* c = GetConn(conn);
  if (!c) return g_err;
  for (size_t i = 1; i < g_stmts.size(); ++i)
    if (g_stmts[i] && g_stmts[i]->conn == conn) FreeStmt(static_cast<QEHANDLE>(i));
  SQLRETURN rc = SQLDisconnect(c->hdbc);
  int r = Check(rc, SQL_HANDLE_DBC, c->hdbc);
  SQLFreeHandle(SQL_HANDLE_DBC, c->hdbc);
  g_conns[conn].reset();
  Trace("qeDisconnect", conn);
  return r == QE_END_OF_DATA ? QE_OK : r;
}

int qeSetDB(QEHANDLE conn, const char* database) {
  Conn* c = GetConn(conn);
  if (!c) return g_err;
  std::string utf8 = qe_text::AnsiToUtf8(database);
  return Check(SQLSetConnectAttr(c->hdbc, SQL_ATTR_CURRENT_CATALOG, reinterpret_cast<SQLPOINTER>(&utf8[0]),
                                 static_cast<SQLINTEGER>(utf8.size())),
               SQL_HANDLE_DBC, c->hdbc);
}

QEHANDLE qeSources(int kind) {
  if (!g_env && qeLibInit() != QE_OK) return 0;
  std::vector<std::vector<std::string>> rows;
  SQLUSMALLINT dir = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[256], desc[512];
    SQLSMALLINT nl = 0, dl = 0;
    SQLRETURN rc = SQLDataSources(g_env, dir, name, sizeof name, &nl, desc, sizeof desc, &dl);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) {
      Check(rc, SQL_HANDLE_ENV, g_env);
      return 0;
    }
    dir = SQL_FETCH_NEXT;
    std::string n = qe_text::Utf8ToAnsi(reinterpret_cast<char*>(name), std::strlen(reinterpret_cast<char*>(name)));
    // A source in both the user's and the system's file is one source (the user's).
    bool seen = false;
    for (const auto& r : rows) seen = seen || r[0] == n;
    if (!seen)
      rows.push_back({n, qe_text::Utf8ToAnsi(reinterpret_cast<char*>(desc), std::strlen(reinterpret_cast<char*>(desc)))});
  }
  return NewPseudo(0, std::move(rows), 2);
}

QEHANDLE qeTables(QEHANDLE conn, const char* ownerPattern, const char* namePattern, const char* qualifierPattern,
                  long options) {
  Conn* c = GetConn(conn);
  if (!c) return 0;
  std::string types;
  auto add = [&](const char* t) {
    if (!types.empty()) types += ',';
    types += t;
  };
  if (options & 0x01) add("TABLE");
  if (options & 0x02) add("VIEW");
  if (options & 0x08) add("SYSTEM TABLE");
  if (options & 0x10) add("ALIAS,SYNONYM");
  SQLHSTMT h = SQL_NULL_HSTMT;
  if (Check(SQLAllocHandle(SQL_HANDLE_STMT, c->hdbc, &h), SQL_HANDLE_DBC, c->hdbc) != QE_OK) return 0;
  std::string owner = qe_text::AnsiToUtf8(ownerPattern && *ownerPattern ? ownerPattern : "%");
  std::string name = qe_text::AnsiToUtf8(namePattern && *namePattern ? namePattern : "%");
  (void)qualifierPattern;  // every qualifier is listed; the caller filters by database
  SQLRETURN rc = SQLTables(h, nullptr, 0, reinterpret_cast<SQLCHAR*>(&owner[0]), SQL_NTS,
                           reinterpret_cast<SQLCHAR*>(&name[0]), SQL_NTS,
                           types.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(&types[0]),
                           types.empty() ? 0 : SQL_NTS);
  if (Check(rc, SQL_HANDLE_STMT, h) != QE_OK) {
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return 0;
  }
  Stmt tmp;
  tmp.hstmt = h;
  std::vector<std::vector<std::string>> rows;
  while ((rc = SQLFetch(h)) != SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(rc)) {
      Check(rc, SQL_HANDLE_STMT, h);
      SQLFreeHandle(SQL_HANDLE_STMT, h);
      return 0;
    }
    std::string cat = GetDataText(&tmp, 1), owner = GetDataText(&tmp, 2), table = GetDataText(&tmp, 3);
    std::string type = GetDataText(&tmp, 4);
    rows.push_back({cat, owner, table,
                    strcasecmp(type.c_str(), "SYSTEM TABLE") == 0 ? "1" : "0"});
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return NewPseudo(conn, std::move(rows), 4);
}

int qeSetSQL(QEHANDLE conn, const char* sql) {
  Conn* c = GetConn(conn);
  if (!c) return g_err;
  c->sql = qe_text::AnsiToUtf8(sql);
  SetErr(QE_OK);
  return QE_OK;
}

QEHANDLE qeExecSQL(QEHANDLE conn, const char* sql) {
  Conn* c = GetConn(conn);
  if (!c) return 0;
  if (sql && *sql) c->sql = qe_text::AnsiToUtf8(sql);
  if (c->sql.empty()) {
    SetErr(QE_BAD_ARGUMENT, "No SQL statement");
    return 0;
  }
  auto s = std::make_unique<Stmt>();
  s->conn = conn;
  s->sql = c->sql;
  s->maxRows = c->maxRows;
  if (Check(SQLAllocHandle(SQL_HANDLE_STMT, c->hdbc, &s->hstmt), SQL_HANDLE_DBC, c->hdbc) != QE_OK) return 0;
  if (c->maxRows > 0)
    SQLSetStmtAttr(s->hstmt, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(c->maxRows)), 0);
  if (c->timeout > 0)
    SQLSetStmtAttr(s->hstmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(c->timeout)),
                   0);
  if (c->selectOptions & 2) {
    s->scrollable = SQL_SUCCEEDED(SQLSetStmtAttr(s->hstmt, SQL_ATTR_CURSOR_TYPE,
                                                 reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
  }
  SQLRETURN rc = SQLExecDirect(s->hstmt, reinterpret_cast<SQLCHAR*>(&s->sql[0]), static_cast<SQLINTEGER>(s->sql.size()));
  // A statement that touches no row ends with "no data"; it still ran.
  if (rc != SQL_NO_DATA && Check(rc, SQL_HANDLE_STMT, s->hstmt) != QE_OK) {
    Trace("qeExecSQL", conn, c->sql.c_str());
    SQLFreeHandle(SQL_HANDLE_STMT, s->hstmt);
    return 0;
  }
  QEHANDLE h = Store(g_stmts, std::move(s));
  if (!h) return 0;
  SetErr(QE_OK);
  Trace("qeExecSQL", h, c->sql.c_str());
  return h;
}

int qeEndSQL(QEHANDLE stmt) {
  if (!GetStmt(stmt)) return g_err;
  FreeStmt(stmt);
  SetErr(QE_OK);
  return QE_OK;
}

int qeFetchNext(QEHANDLE stmt) {
  Stmt* s = GetStmt(stmt);
  if (!s) return g_err;
  if (s->pseudo) {
    if (s->rowPos + 1 >= static_cast<long>(s->rows.size())) {
      s->rowPos = static_cast<long>(s->rows.size());
      SetErr(QE_END_OF_DATA);
      return QE_END_OF_DATA;
    }
    ++s->rowPos;
    SetErr(QE_OK);
    return QE_OK;
  }
  if (s->maxRows > 0 && s->currentRow >= s->maxRows) {
    SetErr(QE_END_OF_DATA);
    return QE_END_OF_DATA;
  }
  if (!s->aheadTried) StartAhead(s);
  int r = s->ahead ? FetchAheadRow(s) : FetchRaw(s, SQL_FETCH_NEXT, 0);
  if (r == QE_OK || r == QE_WARNING) ++s->currentRow;
  return r;
}

int qeReadAhead(QEHANDLE stmt) {
  Stmt* s = GetStmt(stmt);
  if (!s) return g_err;
  if (!s->aheadTried) StartAhead(s);
  SetErr(QE_OK);
  return QE_OK;
}

int qeFetchRandom(QEHANDLE stmt, long row) {
  Stmt* s = GetStmt(stmt);
  if (!s) return g_err;
  if (row < 1 || (s->maxRows > 0 && row > s->maxRows)) {
    SetErr(QE_END_OF_DATA);
    return QE_END_OF_DATA;
  }
  if (s->pseudo) {
    s->rowPos = row - 1;
    if (s->rowPos >= static_cast<long>(s->rows.size())) {
      SetErr(QE_END_OF_DATA);
      return QE_END_OF_DATA;
    }
    SetErr(QE_OK);
    return QE_OK;
  }
  // A row further on is read from the rows fetched ahead.
  if (s->ahead && row > s->currentRow) {
    int r = QE_OK;
    while (s->currentRow < row) {
      r = FetchAheadRow(s);
      if (r != QE_OK && r != QE_WARNING) return r;
      ++s->currentRow;
    }
    return r;
  }
  const bool past = StopAhead(s);
  if (s->scrollable) {
    int r = FetchRaw(s, SQL_FETCH_ABSOLUTE, row);
    if (r == QE_OK || r == QE_WARNING) s->currentRow = row;
    return r;
  }
  // A forward-only result is run again when the row lies behind it (or the
  // cursor, read ahead, stands past it).
  if (row <= s->currentRow || past) return RunAgainTo(s, row);
  return ReadOnTo(s, row);
}

int qeSetSelectOptions(QEHANDLE conn, long options) {
  Conn* c = GetConn(conn);
  if (!c) return g_err;
  c->selectOptions = options;
  SetErr(QE_OK);
  return QE_OK;
}

int qeSetMaxRows(QEHANDLE conn, long rows) {
  Conn* c = GetConn(conn);
  if (!c) return g_err;
  c->maxRows = rows < 0 ? 0 : rows;
  SetErr(QE_OK);
  return QE_OK;
}

int qeSetQueryTimeout(QEHANDLE conn, long seconds) {
  Conn* c = GetConn(conn);
  if (!c) return g_err;
  c->timeout = seconds < 0 ? 0 : seconds;
  SetErr(QE_OK);
  return QE_OK;
}

int qeErr() { return g_err; }

const char* qeErrMsg() { return g_msg.c_str(); }

int qeErrMsgBuf(char* buf) {
  if (!buf) return 0;
  size_t n = g_msg.size() < static_cast<size_t>(QE_ERRMSG_MAX - 1) ? g_msg.size() : QE_ERRMSG_MAX - 1;
  std::memcpy(buf, g_msg.data(), n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

int qeNumCols(QEHANDLE stmt) {
  Stmt* s = GetStmt(stmt);
  if (!s || !Describe(s)) return 0;
  SetErr(QE_OK);
  return static_cast<int>(s->cols.size());
}

int qeColType(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  return c ? c->qeType : QE_TYPE_NONE;
}

long qeColDBType(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  return c ? c->dbType : 0;
}

int qeColTypeNameBuf(QEHANDLE stmt, char* buf, int size, int col) {
  if (buf == nullptr || size <= 0) return 0;
  const ColInfo* c = Column(stmt, col);
  const std::string name = c ? c->typeName : std::string();
  const size_t n = std::min(name.size(), static_cast<size_t>(size - 1));
  std::memcpy(buf, name.data(), n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

int qeColNeverNull(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  return c != nullptr && c->neverNull ? 1 : 0;
}

long qeColWidth(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  return c ? c->width : 0;
}

long qeColPrecision(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  return c ? static_cast<long>(c->size) : 0;
}

long qeColScale(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  return c ? c->digits : 0;
}

int qeColDateStart(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  if (!c || c->qeType != QE_TYPE_DATETIME) return -1;
  return c->dbType == QE_DB_TIME ? 11 : 0;
}

int qeColDateEnd(QEHANDLE stmt, int col) {
  const ColInfo* c = Column(stmt, col);
  if (!c || c->qeType != QE_TYPE_DATETIME) return -1;
  return c->dbType == QE_DB_DATE ? 9 : 25;
}

int qeColAliasBuf(QEHANDLE stmt, char* buf, int col) {
  const ColInfo* c = Column(stmt, col);
  if (!buf) return QE_BAD_ARGUMENT;
  buf[0] = '\0';
  if (!c) return g_err;
  CopyName(c->label, buf);
  return QE_OK;
}

int qeColNameBuf(QEHANDLE stmt, char* buf, int col) {
  const ColInfo* c = Column(stmt, col);
  if (!buf) return QE_BAD_ARGUMENT;
  buf[0] = '\0';
  if (!c) return g_err;
  CopyName(c->name, buf);
  return QE_OK;
}

const char* qeValMultiChar(QEHANDLE stmt, int first, int last, const char* prefix, const char* suffix,
                           const char* separator) {
  Stmt* s = GetStmt(stmt);
  if (!s || !Describe(s)) return "";
  int n = static_cast<int>(s->cols.size());
  if (last < 0 || last > n) last = n;
  if (first < 1) first = 1;
  s->multi.clear();
  for (int col = first; col <= last; ++col) {
    if (col > first && separator) s->multi += separator;
    if (prefix) s->multi += prefix;
    s->multi += CellText(s, col);
    if (suffix) s->multi += suffix;
  }
  SetErr(QE_OK);
  return s->multi.c_str();
}

int qeValCharBuf(QEHANDLE stmt, char* buf, int col, const char* format, int size) {
  (void)format;
  if (!buf || size <= 0) return SetErr(QE_BAD_ARGUMENT, "No buffer"), QE_BAD_ARGUMENT;
  buf[0] = '\0';
  Stmt* s = GetStmt(stmt);
  if (!s) return g_err;
  std::string t = CellText(s, col);
  size_t n = t.size() < static_cast<size_t>(size - 1) ? t.size() : static_cast<size_t>(size - 1);
  std::memcpy(buf, t.data(), n);
  buf[n] = '\0';
  SetErr(QE_OK);
  return QE_OK;
}

int qeBindCol(QEHANDLE stmt, int col, void* buffer, int32_t* lengthCell) {
  const ColInfo* c = Column(stmt, col);
  if (!c) return g_err;
  Stmt* s = GetStmt(stmt);
  if (!buffer || !lengthCell || *lengthCell < 0) {
    SetErr(QE_BAD_ARGUMENT, "No buffer to bind");
    return QE_BAD_ARGUMENT;
  }
  if (s->pseudo) {
    SetErr(QE_BAD_ARGUMENT, "A list cannot be bound");
    return QE_BAD_ARGUMENT;
  }
  auto b = std::make_unique<BoundCol>();
  b->col = col;
  b->user = static_cast<char*>(buffer);
  b->cell = lengthCell;
  b->userLen = *lengthCell;
  b->precision = static_cast<int>(c->size);
  b->scale = c->digits;
  SQLSMALLINT ctype = SQL_C_CHAR;
  SQLPOINTER target = nullptr;
  SQLLEN targetLen = 0;
  switch (c->qeType) {
    case QE_TYPE_LONG:
    case QE_TYPE_SHORT:
    case QE_TYPE_FLOAT:
    case QE_TYPE_DOUBLE: {
      b->kind = BindKind::Native;
      ctype = c->qeType == QE_TYPE_LONG    ? SQL_C_SLONG
              : c->qeType == QE_TYPE_SHORT ? SQL_C_SSHORT
              : c->qeType == QE_TYPE_FLOAT ? SQL_C_FLOAT
                                           : SQL_C_DOUBLE;
      b->nativeSize = c->qeType == QE_TYPE_LONG ? 4 : c->qeType == QE_TYPE_SHORT ? 2 : c->qeType == QE_TYPE_FLOAT ? 4 : 8;
      if (b->userLen >= b->nativeSize) {
        target = buffer;  // the value goes straight into the caller's buffer
      } else {
        b->internal.assign(8, 0);
        target = b->internal.data();
      }
      targetLen = b->nativeSize;
      break;
    }
    case QE_TYPE_DECIMAL:
      b->kind = BindKind::Decimal;
      b->internal.assign(80, 0);
      target = b->internal.data();
      targetLen = static_cast<SQLLEN>(b->internal.size());
      if (b->userLen < (b->precision + 2) / 2) b->kind = BindKind::Skip, *lengthCell = QE_LEN_TRUNCATED;
      break;
    case QE_TYPE_DATETIME:
      if (c->dbType == QE_DB_DATE) {
        b->kind = BindKind::Date, ctype = SQL_C_TYPE_DATE, targetLen = sizeof(SQL_DATE_STRUCT);
      } else if (c->dbType == QE_DB_TIME) {
        b->kind = BindKind::Time, ctype = SQL_C_TYPE_TIME, targetLen = sizeof(SQL_TIME_STRUCT);
      } else {
        b->kind = BindKind::Timestamp, ctype = SQL_C_TYPE_TIMESTAMP, targetLen = sizeof(SQL_TIMESTAMP_STRUCT);
      }
      target = &b->value;
      break;
    case QE_TYPE_CHAR: {
      b->kind = BindKind::Text;
      // Room for the UTF-8 form of as many characters as the caller can take.
      size_t chars = b->userLen > 0 ? static_cast<size_t>(b->userLen) - 1 : 0;
      b->internal.assign(chars * 3 + 1, 0);
      target = b->internal.data();
      targetLen = static_cast<SQLLEN>(b->internal.size());
      if (b->userLen <= 0) b->kind = BindKind::Skip;
      break;
    }
    default:
      SetErr(QE_BAD_ARGUMENT, "Column type cannot be bound");
      return QE_BAD_ARGUMENT;
  }
  if (b->kind == BindKind::Skip) {
    s->binds.push_back(std::move(b));
    SetErr(QE_OK);
    return QE_OK;
  }
  const bool past = StopAhead(s);
  b->cType = ctype;
  b->target = target;
  b->targetLen = targetLen;
  SQLRETURN rc = SQLBindCol(s->hstmt, static_cast<SQLUSMALLINT>(col), ctype, target, targetLen, &b->ind);
  if (Check(rc, SQL_HANDLE_STMT, s->hstmt) != QE_OK) return g_err;
  for (auto& old : s->binds)
    if (old->col == col) old->kind = BindKind::Skip;  // the new binding replaces it
  s->binds.push_back(std::move(b));
  // Bound while reading ahead: back to the current row (or the start), read
  // the plain way.
  if (past) return RunAgainTo(s, s->currentRow);
  return QE_OK;
}

int qeColLostChars(QEHANDLE stmt, int col, std::string* lost) {
  lost->clear();
  Stmt* s = GetStmt(stmt);
  if (!s || s->pseudo) return 0;
  const BoundCol* b = nullptr;
  for (const auto& bp : s->binds)
    if (bp->col == col && bp->kind == BindKind::Text) b = bp.get();
  if (b == nullptr) return 0;
  // The value as the driver gave it: in the block read ahead, or where the
  // single-row fetch put it.
  const char* raw = static_cast<const char*>(b->target);
  SQLLEN ind = b->ind;
  size_t room = static_cast<size_t>(b->targetLen);
  if (s->ahead) {
    const auto at = std::find(s->aheadCols.begin(), s->aheadCols.end(), b);
    if (at == s->aheadCols.end()) return 0;
    const size_t i = static_cast<size_t>(at - s->aheadCols.begin());
    raw = s->ahead->Raw(i, &ind);
    room = static_cast<size_t>(s->ahead->RawSize(i));
  }
  if (raw == nullptr || ind == SQL_NULL_DATA || room == 0) return 0;
  const size_t len = TextValueLength(raw, ind, room);
  return qe_text::LostCharacters(raw, len, lost) ? 1 : 0;
}

double qeDecimalToDouble(const void* buffer, int precision, int scale) {
  if (!buffer || precision <= 0) return 0.0;
  const auto* p = static_cast<const unsigned char*>(buffer);
  double v = 0.0;
  for (int i = 1; i <= precision; ++i) {
    unsigned nib = (i % 2 == 0) ? (p[i / 2] >> 4) : (p[i / 2] & 0x0F);
    v = v * 10.0 + (nib > 9 ? 0 : nib);
  }
  v /= std::pow(10.0, scale);
  return (p[0] >> 4) == 0xD ? -v : v;
}

double qeLongToDouble(const void* buffer) {
  int32_t v;
  std::memcpy(&v, buffer, 4);
  return v;
}

double qeIntToDouble(const void* buffer) {
  int16_t v;
  std::memcpy(&v, buffer, 2);
  return v;
}

double qeFloatToDouble(const void* buffer) {
  float v;
  std::memcpy(&v, buffer, 4);
  return v;
}

bool qePackDecimal(const char* text, int precision, int scale, unsigned char* out, int outSize) {
  if (!text || !out || precision <= 0 || scale < 0 || scale > precision) return false;
  int bytes = (precision + 2) / 2;
  if (outSize < bytes) return false;
  while (*text == ' ') ++text;
  bool neg = false;
  if (*text == '-' || *text == '+') neg = *text++ == '-';
  std::string intPart, frac;
  while (*text >= '0' && *text <= '9') intPart += *text++;
  if (*text == '.') {
    ++text;
    while (*text >= '0' && *text <= '9') frac += *text++;
  }
  while (*text == ' ') ++text;
  if (*text || (intPart.empty() && frac.empty())) return false;
  // Round the fraction to the scale, half away from zero.
  bool roundUp = static_cast<int>(frac.size()) > scale && frac[scale] >= '5';
  frac.resize(scale, '0');
  std::string digits = intPart + frac;
  size_t nz = digits.find_first_not_of('0');
  digits = nz == std::string::npos ? std::string("0") : digits.substr(nz);
  if (roundUp) {
    int i = static_cast<int>(digits.size()) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) digits.insert(digits.begin(), '1');
    else ++digits[i];
  }
  if (static_cast<int>(digits.size()) > precision) return false;
  digits.insert(0, precision - digits.size(), '0');
  std::memset(out, 0, bytes);
  bool allZero = digits.find_first_not_of('0') == std::string::npos;
  out[0] = static_cast<unsigned char>(((neg && !allZero) ? 0xD : 0xC) << 4);
  for (int i = 1; i <= precision; ++i) {
    unsigned d = static_cast<unsigned>(digits[i - 1] - '0');
    if (i % 2 == 0) out[i / 2] |= static_cast<unsigned char>(d << 4);
    else out[i / 2] |= static_cast<unsigned char>(d);
  }
  return true;
}
