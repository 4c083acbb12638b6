// The one statement of the current connection: execution, fetch, column
// information, binding, table lists, row limit and time-out, and the parsers
// of the date-time texts the library delivers.
#include "data/data_access.h"

#include "data/db_errors.h"
#include "platform/win/wsprintf.h"
#include "platform/qe/qe.h"
#include "platform/win/codepage.h"

#include <cstring>

namespace {

// Reads an unsigned decimal from [p, e); stops at the first other character.
long ReadNumber(const char* p, const char* e) {
  long v = 0;
  for (; p < e && *p >= '0' && *p <= '9'; ++p) v = v * 10 + (*p - '0');
  return v;
}

}  // namespace

void DataAccess::EndStatement() {
  if (current_ && current_->statement) {
    qeEndSQL(current_->statement);
    current_->statement = 0;
  }
  EndStatementTransaction();
  openQuery = 0;
}

int DataAccess::ExecSql(const char* sql, char* errBuf, int errSize, SqlUse use) {
  EndStatement();
  if (!sql) return 1;
  const char* text = sql;
  if (oemConversion_) {
    sentSql_.assign(std::strlen(sql) + 1, '\0');
    CharToOemA(sql, &sentSql_[0]);
    text = sentSql_.c_str();
  }
  // A driver may send words of its own after the text (a cursor's fetch):
  // a "--" comment on the text's last line would take them in.
  const char* lastLine = std::strrchr(text, '\n');
  if (std::strstr(lastLine != nullptr ? lastLine : text, "--") != nullptr) {
    if (text == sentSql_.c_str()) sentSql_.resize(std::strlen(text));
    else sentSql_ = text;
    sentSql_ += '\n';
    text = sentSql_.c_str();
  }
  // What is judged is what goes: the text after any conversion. Without a
  // connection the library refuses the text and says so.
  bool procedure = false;
  if (current_ && use != SqlUse::kOwn) {
    const SqlReading reading = ReadSentStatement(text, SqlRules(), use == SqlUse::kReportStatement);
    if (!reading.ok) {
      if (errBuf != nullptr && errSize > 0) CopyBounded(errBuf, static_cast<size_t>(errSize), reading.why.c_str());
      else DbErrorBox(reading.why.c_str());
      return 1;
    }
    procedure = reading.procedure;
  }
  // The transaction's own statement goes first: the library keeps one text
  // per connection.
  if (use != SqlUse::kOwn && !BeginStatementTransaction(procedure, errBuf, errSize)) return 1;
  if (qeSetSQL(current_ ? current_->libConnection : 0, text) != 0 || !current_) {
    ReportDbError(errBuf, errSize, nullptr);
    EndStatementTransaction();
    return 1;
  }
  current_->statement = qeExecSQL(current_->libConnection, "");
  if (qeErr() != 0 || current_->statement == 0) {
    // After a database switch the message is kept back, but a failure stays a failure.
    if (!suppressFlag || errBuf) ReportDbError(errBuf, errSize, nullptr);
    if (current_->statement) qeEndSQL(current_->statement);
    current_->statement = 0;
    EndStatementTransaction();
    return 1;
  }
  return 0;
}

int DataAccess::ExecReportSql(const char* sql, char* errBuf, int errSize, SqlUse use) {
  if (ini.queryTimeout == 0) return ExecSql(sql, errBuf, errSize, use);
  SetQueryTimeout(ini.queryTimeout);
  const int r = ExecSql(sql, errBuf, errSize, use);
  SetQueryTimeout(0);
  return r;
}

int DataAccess::FetchNext() {
  if (!CurrentStatement()) return -1;
  if (qeFetchNext(current_->statement) == 0) return 0;
  int e = qeErr();
  if (e == QE_END_OF_DATA || e == 2) return 1;
  if (e == -1 || e == -2 || e == QE_WARNING) return 0;
  ReportLastDbError();
  return -1;
}

void DataAccess::ReadAhead() {
  if (CurrentStatement()) qeReadAhead(current_->statement);
}

int DataAccess::FetchRandom(long row) {
  if (!CurrentStatement()) return -1;
  if (qeFetchRandom(current_->statement, row) == 0) return 0;
  int e = qeErr();
  if (e == QE_END_OF_DATA || e == 2) return 1;
  if (e == -1 || e == -2 || e == QE_WARNING) return 0;
  ReportLastDbError();
  return -1;
}

bool DataAccess::SetSelectOptions() {
  if (!current_) return true;
  return qeSetSelectOptions(current_->libConnection, ini.alwaysLocalLog ? 18 : 10) != 0;
}

const char* DataAccess::GetColumnText(int first, int last, char separator) {
  if (!CurrentStatement()) return "";
  if (last < 0) last = qeNumCols(current_->statement);
  char sep[2] = {separator, '\0'};
  const char* t = qeValMultiChar(current_->statement, first, last, "", "", sep);
  if (t && separator && t[0] == separator) ++t;
  return t ? t : "";
}

int DataAccess::GetColumnCount() {
  if (!CurrentStatement()) return 0;
  int n = qeNumCols(current_->statement);
  if (qeErr() != 0) {
    ReportLastDbError();
    return 0;
  }
  return n;
}

int DataAccess::GetColumnType(int column) {
  uint16_t s = CurrentStatement();
  int t = qeColType(s, column);
  if (t < 1 || t > 8) return -1;
  if (qeErr() != 0) {
    ReportLastDbError();
    return 0;
  }
  long d = qeColDBType(s, column);
  if (qeErr() != 0) {
    ReportLastDbError();
    return 0;
  }
  bool sqlServer = IsSqlServer() != 0;
  bool rev1 = kLibraryRevision == 1;
  if ((t == 1 || t == 2) && (d == 101 || d == 102 || d == 103 || (d == 114 && sqlServer))) return -1;
  if (t == 3 && (d == 116 || (d == 1001 && sqlServer && rev1))) return 10;
  if (t == 5 && (d == 110 || (d == 1003 && IsNetWareSql() && rev1))) return 9;
  return t;
}

long DataAccess::GetColumnDbType(int column) { return qeColDBType(CurrentStatement(), column); }

bool DataAccess::IsMemoColumn(int column) {
  long d = GetColumnDbType(column);
  return d == 100 || (d == 1009 && kLibraryRevision == 1);
}

std::string DataAccess::ColumnTypeName(int column) {
  char name[64] = {};
  qeColTypeNameBuf(CurrentStatement(), name, sizeof name, column);
  return name;
}

bool DataAccess::ColumnTypeIsServersOwn(int column) {
  // Only PostgreSQL's driver hands such types over as numbers or texts; a
  // SQLite column takes any value.
  if (Server() != SqlServer::kPostgres) return false;
  const int kind = qeColType(CurrentStatement(), column);
  if (kind == QE_TYPE_NONE || kind == QE_TYPE_DATETIME) return false;
  static const char* const kPlainTypes[] = {"int2", "int4",   "int8", "numeric", "float4", "float8",
                                            "bool", "text",   "varchar", "bpchar", "char", "name"};
  const std::string name = ColumnTypeName(column);
  for (const char* plain : kPlainTypes)
    if (name == plain) return false;
  return true;
}

bool DataAccess::ColumnOrdersAsText(int column) {
  return ColumnTypeIsServersOwn(column) && ColumnTypeName(column) == "json";
}

bool DataAccess::ColumnNeverMissing(int column) { return qeColNeverNull(CurrentStatement(), column) == 1; }

int DataAccess::GetColumnName(char* buf, int column) {
  if (!buf) return -1;
  uint16_t s = CurrentStatement();
  int r = qeColAliasBuf(s, buf, column);
  if (buf[0] == '\0') r = qeColNameBuf(s, buf, column);
  if (r != 0 && qeErr() != 0) {
    ReportLastDbError();
    return -1;
  }
  return 0;
}

long DataAccess::GetColumnWidth(int column) {
  long v = qeColWidth(CurrentStatement(), column);
  if (qeErr() != 0) {
    ReportLastDbError();
    return 0;
  }
  return v;
}

long DataAccess::GetColumnPrecision(int column) {
  long v = qeColPrecision(CurrentStatement(), column);
  if (qeErr() != 0) {
    ReportLastDbError();
    return 0;
  }
  return v;
}

long DataAccess::GetColumnScale(int column) {
  long v = qeColScale(CurrentStatement(), column);
  if (qeErr() != 0) {
    ReportLastDbError();
    return 0;
  }
  return v;
}

int DataAccess::BindColumn(int column, void* buffer, int32_t length, int32_t* lengthCell) {
  if (!CurrentStatement() || !lengthCell) return 1;
  int32_t previous = *lengthCell;
  *lengthCell = length;
  int r = qeBindCol(current_->statement, column, buffer, lengthCell);
  *lengthCell = previous;
  if (r != 0) {
    ReportLastDbError();
    return 1;
  }
  return 0;
}

bool DataAccess::ColumnLostChars(int column, std::string* lost) {
  lost->clear();
  return CurrentStatement() && qeColLostChars(current_->statement, column, lost) == 1;
}

bool DataAccess::GetColumnDateRange(int column) {
  uint16_t s = CurrentStatement();
  int start = qeColDateStart(s, column);
  int end = qeColDateEnd(s, column);
  if (qeErr() != 0) {
    ReportLastDbError();
    return false;
  }
  return start == 0 && end == 9;
}

bool DataAccess::IsTimeColumn(int column) {
  int start = qeColDateStart(CurrentStatement(), column);
  if (qeErr() != 0) {
    ReportLastDbError();
    return false;
  }
  return start == 11;
}

bool DataAccess::ListTables(const char* pattern) {
  if (!current_) return true;
  EndStatement();  // the list replaces the statement; the old one is ended first
  long options = 0x13 | (ListSystemTables() ? 0x08 : 0);
  current_->statement = qeTables(current_->libConnection, "%", pattern && *pattern ? pattern : "%", "%", options);
  if (!current_->statement) {
    ReportLastDbError();
    return true;
  }
  return false;
}

int DataAccess::SetMaxRows(long n) {
  if (!current_ || !SupportsMaxRows()) return 0;
  return qeSetMaxRows(current_->libConnection, n);
}

void DataAccess::SetQueryTimeout(long seconds) {
  if (!current_) return;
  // The longest a server takes (PostgreSQL counts milliseconds in 32 bits):
  // a larger setting waits as long as it can, rather than failing every
  // statement.
  constexpr long kLongestTimeout = 2147483;
  seconds = seconds < 0 ? 0 : seconds > kLongestTimeout ? kLongestTimeout : seconds;
  if (Server() == SqlServer::kPostgres) current_->transactionTimeout = seconds;
  else qeSetQueryTimeout(current_->libConnection, seconds);
}

void DataAccess::ParseDateText(const char* text, DateTimeParts* value) {
  if (!text || !value) return;
  const char* first = std::strchr(text, '-');
  const char* second = first ? std::strchr(first + 1, '-') : nullptr;
  const char* end = text + std::strlen(text);
  value->year = static_cast<int32_t>(ReadNumber(text, end));
  if (!second) {
    value->month = value->day = 0;
    return;
  }
  const char* dayEnd = second + 1;
  for (int i = 0; i < 2 && *dayEnd; ++i) ++dayEnd;
  value->day = static_cast<uint8_t>(ReadNumber(second + 1, dayEnd));
  const char* monthAt = second - text >= 2 ? second - 2 : text;
  value->month = static_cast<uint8_t>(ReadNumber(monthAt, second));
}

void DataAccess::ParseTimeOfDayText(const char* text, DateTimeParts* time) {
  if (!text || !time) return;
  size_t len = std::strlen(text);
  const char* dot = std::strchr(text, '.');
  time->fraction = dot ? static_cast<int32_t>(ReadNumber(dot + 1, text + len)) : 0;
  // Fields of two digits, going back from the point (or, without a fraction,
  // from the end); a field before the start of the text is 0.
  size_t at = dot ? static_cast<size_t>(dot - text) : len;
  uint8_t* parts[3] = {&time->second, &time->minute, &time->hour};
  for (uint8_t* part : parts) {
    if (at == 0) {
      *part = 0;
      continue;
    }
    size_t from = at >= 2 ? at - 2 : 0;
    *part = static_cast<uint8_t>(ReadNumber(text + from, text + at));
    at = from >= 1 ? from - 1 : 0;
    if (from == 0) at = 0;
  }
}

void DataAccess::ParseTimestampText(const char* text, DateTimeParts* value) {
  if (!text || !value) return;
  ParseTimeOfDayText(text, value);
  ParseDateText(text, value);
}
