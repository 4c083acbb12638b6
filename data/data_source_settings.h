// One record per open connection: who the data source is and the SQL dialect
// it speaks; and one entry per data source a report has used. In memory only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Dialect flags (flags).
enum : uint32_t {
  DS_KIND_DBASE = 0x1,
  DS_KIND_NETWARE = 0x2,
  DS_KIND_SQLSERVER = 0x4,
  DS_KIND_BTRIEVE = 0x8,
  DS_KIND_ORACLE = 0x10,
  DS_KIND_PARADOX = 0x20,
  DS_KIND_EXCEL = 0x40,
  DS_KIND_ACCESS = 0x80,
  DS_KIND_MASK = 0xFF,
  DS_OUTER_JOIN_STYLE_MASK = 0x700,  // bits 8-10
  DS_OUTER_JOINS = 0x800,
  DS_IDENTIFIER_CASE_MASK = 0x3000,  // bits 12-13: identifier case - 1
  DS_EXPRESSIONS_IN_ORDER_BY = 0x4000,
  DS_ALWAYS_QUALIFY_COL_LIST = 0x8000,
  DS_ALWAYS_USE_TABLE_ALIAS = 0x10000,
  DS_ALWAYS_QUALIFY_SORT_LIST = 0x20000,
  DS_ADD_WHERE_FALSE = 0x40000,
  DS_ALWAYS_ENGINE_EVAL = 0x80000,
  DS_QSWITCH = 0x100000,
  DS_OWNER_NAMES = 0x200000,
  DS_USE_FILE_EXT = 0x800000,
  DS_SUPPORTS_MAX_ROWS = 0x1000000,
  DS_APPROX = 0x2000000,
  DS_MODIFY_SELECT = 0x4000000,
  DS_USES_DIR_PREFIX = 0x8000000,
  DS_USES_DOS_FILE = 0x10000000,
  DS_LIKE_WITH_EXPRESSION = 0x20000000,
  DS_CONNECTION_MARK = 0x40000000,
  DS_DB_ANSI = 0x80000000u,
};

// More dialect flags (flags2).
enum : uint32_t {
  DS2_SELECT_SORT_FIELDS = 0x1,
  DS2_JET_DB_FILTER = 0x2,
  DS2_PASS_EXEC = 0x4,
  DS2_LIST_SYSTEM_TABLES = 0x8,
  DS2_ALWAYS_PREFETCH = 0x10,
};

struct DataSourceSettings {
  char name[33] = {};
  char dbmsName[33] = {};
  char dbmsVersion[21] = {};
  char platform[81] = {};
  char driverName[21] = {};
  char currentQualifier[261] = {};
  // Kept whole: a driver's completed string can be longer than 255 characters.
  std::string completedConnect;
  std::string extraConnect;
  char procVerb[21] = {};
  char driverDescription[81] = {};
  uint16_t libConnection = 0;
  uint16_t statement = 0;
  void* hdbc = nullptr;
  void* henv = nullptr;
  uint32_t reserved = 0;
  uint32_t flags = 0;
  uint32_t flags2 = 0;
  uint32_t maxLiteralLength = 0;
  char identifierQuote[11] = {};
  char qualifierSeparator[11] = {};
  // Other database files this connection has attached, in attach order: the
  // n-th is read through the schema "km_place<n+1>".
  std::vector<std::string> attachedPlaces;
  // How the server reads SQL text: whether a backslash in a plain '...'
  // literal escapes (1), stands for itself (0) or is not known (-1); and the
  // functions no report may call on it (lower case, "name*" for a prefix).
  int backslashInStrings = -1;
  std::vector<std::string> refusedFunctions;
  // The transaction the open statement runs in: 0 none, 1 a read-only one
  // (it ends in ROLLBACK), 2 a procedure's own (the server's, committed as
  // the call returns; a COMMIT ends whatever the driver kept open).
  int statementTransaction = 0;
  // The platform's statement that makes the session read-only (kmwsql.ini
  // ReadOnlyStatement, or the built-in one), run again after a procedure.
  std::string readOnlyStatement;
  // PostgreSQL: after a procedure the session could not be made read-only
  // and UTF8 again: nothing more is sent on it.
  bool sessionLost = false;
  // PostgreSQL: the query time-out in seconds, set inside each statement's
  // transaction (the driver's own setting would be undone by its ROLLBACK).
  long transactionTimeout = 0;
};

struct DataSourceEntry {
  char name[33] = {};
  char databaseName[261] = {};
};

