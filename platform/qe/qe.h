// The database library: connections, statements, fetch, column information,
// table and data-source lists and value conversions, over ODBC.
//
// Handles are small numbers (0 = none). Text crossing these calls is in the
// program's code page (Windows-1252); the layer converts to and from the
// drivers' UTF-8. The layer never writes past a buffer whose size the caller
// gave or that is documented here.
// Only fixed-width types here: the ODBC headers, which the layer includes,
// define Win32 type names of their own.
#pragma once

#include <cstdint>
#include <string>

using QEHANDLE = uint16_t;

// Result codes of qeErr().
enum : int {
  QE_OK = 0,
  QE_WARNING = 1,        // the call worked with a note (not produced by fetches: cells tell truncation)
  QE_END_OF_DATA = -5,   // no more rows
  QE_CANCELLED = 2101,   // a connect dialog was cancelled
  QE_ERROR = 10001,      // the driver or the driver manager refused
  QE_BAD_HANDLE = 10002, // a handle the layer does not know
  QE_NO_MEMORY = 10003,
  QE_NOT_STARTED = 10004,
  QE_BAD_ARGUMENT = 10005,
};

// Column kinds of qeColType.
enum : int {
  QE_TYPE_NONE = 0,      // not supported by the layer
  QE_TYPE_CHAR = 1,      // text, NUL-terminated
  QE_TYPE_DECIMAL = 3,   // packed decimal, see qeDecimalToDouble
  QE_TYPE_LONG = 4,      // 32-bit integer
  QE_TYPE_SHORT = 5,     // 16-bit integer (also logical, database type QE_DB_BIT)
  QE_TYPE_FLOAT = 6,     // single-precision float
  QE_TYPE_DOUBLE = 7,    // double (also 64-bit integers)
  QE_TYPE_DATETIME = 8,  // text "yyyy-mm-dd", "hh:mm:ss.ffffff" or both joined by a blank
};

// The layer's own database type numbers (qeColDBType).
enum : long {
  QE_DB_CHAR = 1,
  QE_DB_VARCHAR = 2,
  QE_DB_DECIMAL = 3,
  QE_DB_INTEGER = 4,
  QE_DB_SMALLINT = 5,
  QE_DB_REAL = 6,
  QE_DB_DOUBLE = 7,
  QE_DB_TIMESTAMP = 8,
  QE_DB_MEMO = 100,
  QE_DB_BINARY = 101,
  QE_DB_VARBINARY = 102,
  QE_DB_LONGBINARY = 103,
  QE_DB_TINYINT = 109,
  QE_DB_BIT = 110,
  QE_DB_DATE = 111,
  QE_DB_TIME = 112,
  QE_DB_BIGINT = 120,
  QE_DB_NUMERIC = 121,
  QE_DB_FLOAT = 122,
  QE_DB_OTHER = 199,
};

// Length cell values after a fetch.
enum : int32_t { QE_LEN_TRUNCATED = -1, QE_LEN_NULL = -2 };

// Longest message text qeErrMsgBuf writes, the NUL included.
constexpr int QE_ERRMSG_MAX = 560;
// Longest column name qeColNameBuf and qeColAliasBuf write, the NUL included.
constexpr int QE_COLNAME_MAX = 130;

// Library start and end.
int qeLibInit();
int qeLibTerm();
int qeSetTraceOptions(uint16_t options);
int qeTraceOn(const char* file);
int qeTraceOff();
const char* qeVerNum();

// Connections. The connect text may hold "DLG=n"; the layer has no driver
// dialogs, so a connect that needs one fails with the driver's message.
QEHANDLE qeConnect(const char* connectText);
QEHANDLE qeSetODBCHdbc(void* hdbc);
void* qeGetODBCHdbc(QEHANDLE conn);
void* qeGetODBCHenv();
uint32_t qeGetODBCInfoLong(QEHANDLE conn, uint16_t infoType);
int qeDisconnect(QEHANDLE conn);
int qeSetDB(QEHANDLE conn, const char* database);

// Catalog lists: rows served like a statement. qeSources: column 1 the data
// source name, column 2 its driver. qeTables: column 1 qualifier, 2 owner,
// 3 table name, 4 "1" for a system table else "0". Options: 0x01 tables,
// 0x02 views, 0x08 system tables, 0x10 aliases and synonyms.
QEHANDLE qeSources(int kind);
QEHANDLE qeTables(QEHANDLE conn, const char* ownerPattern, const char* namePattern,
                  const char* qualifierPattern, long options);

// Statements. qeExecSQL with an empty text runs the text last given to
// qeSetSQL on that connection.
int qeSetSQL(QEHANDLE conn, const char* sql);
QEHANDLE qeExecSQL(QEHANDLE conn, const char* sql);
int qeEndSQL(QEHANDLE stmt);
int qeFetchNext(QEHANDLE stmt);
// Says the statement's columns are bound and its rows will be read in turn:
// a forward-only result whose every column is bound is then fetched ahead
// from here on, rather than from the first qeFetchNext.
int qeReadAhead(QEHANDLE stmt);
int qeFetchRandom(QEHANDLE stmt, long row);
// Options: bit 2 asks for a scrollable result on later statements.
int qeSetSelectOptions(QEHANDLE conn, long options);
int qeSetMaxRows(QEHANDLE conn, long rows);
int qeSetQueryTimeout(QEHANDLE conn, long seconds);

// Errors: the code and text of the last call.
int qeErr();
const char* qeErrMsg();
// Copies the last message, at most QE_ERRMSG_MAX bytes with the NUL; returns its length.
int qeErrMsgBuf(char* buf);

// Result description (columns from 1).
int qeNumCols(QEHANDLE stmt);
int qeColType(QEHANDLE stmt, int col);
long qeColDBType(QEHANDLE stmt, int col);
// The driver's name of the column's type (empty when it gives none), at most
// size bytes with the NUL; returns its length.
int qeColTypeNameBuf(QEHANDLE stmt, char* buf, int size, int col);
// 1 when the driver reports that the column holds no NULL, else 0.
int qeColNeverNull(QEHANDLE stmt, int col);
long qeColWidth(QEHANDLE stmt, int col);
long qeColPrecision(QEHANDLE stmt, int col);
long qeColScale(QEHANDLE stmt, int col);
// Character positions of a date-time column inside "yyyy-mm-dd hh:mm:ss.ffffff".
int qeColDateStart(QEHANDLE stmt, int col);
int qeColDateEnd(QEHANDLE stmt, int col);
// Write at most QE_COLNAME_MAX bytes with the NUL.
int qeColAliasBuf(QEHANDLE stmt, char* buf, int col);
int qeColNameBuf(QEHANDLE stmt, char* buf, int col);

// Values of the current row as text. qeValMultiChar joins columns first..last
// with the separator in one text owned by the layer (valid until the next call).
const char* qeValMultiChar(QEHANDLE stmt, int first, int last, const char* prefix,
                           const char* suffix, const char* separator);
// Writes at most size bytes with the NUL.
int qeValCharBuf(QEHANDLE stmt, char* buf, int col, const char* format, int size);

// Binds a column to the caller's buffer; *lengthCell holds the buffer's size
// at the call and the fetched length after each fetch (QE_LEN_NULL for null,
// QE_LEN_TRUNCATED when the value did not fit). A value whose native form does
// not fit the buffer is not written.
int qeBindCol(QEHANDLE stmt, int col, void* buffer, int32_t* lengthCell);

// For a text column bound to the caller: whether the current row's value
// lost characters to the code page (they came as '?'); 1 with what each '?'
// stands for in lost (qe_text::LostCharacters), else 0 with lost emptied.
int qeColLostChars(QEHANDLE stmt, int col, std::string* lost);

// Converters of bound values.
double qeDecimalToDouble(const void* buffer, int precision, int scale);
double qeLongToDouble(const void* buffer);
double qeIntToDouble(const void* buffer);
double qeFloatToDouble(const void* buffer);

// Packs a decimal text ("-123.45") into the bound form for the given
// precision and scale: a sign nibble (0xC plus, 0xD minus) and precision
// digits, high nibble first, in (precision + 2) / 2 bytes. False when the
// value needs more digits or the text is not a number.
bool qePackDecimal(const char* text, int precision, int scale, unsigned char* out, int outSize);
