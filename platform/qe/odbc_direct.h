// The few ODBC and ODBC-installer calls the connection layer makes itself,
// beside the database library. Text is in the program's code page.
// Fixed-width types only, as in qe.h.
#pragma once

#include <cstdint>

#include <string>

// ODBC results as the callers test them.
enum : int {
  ODBC_OK = 0,
  ODBC_OK_WITH_INFO = 1,
  ODBC_NO_DATA = 100,
  ODBC_FAILED = -1,
  ODBC_BAD_HANDLE = -2,
};

// Information types asked for.
enum : uint16_t {
  ODBC_INFO_DRIVER_NAME = 6,
  ODBC_INFO_DATABASE_NAME = 16,
  ODBC_INFO_DBMS_NAME = 17,
  ODBC_INFO_DBMS_VER = 18,
  ODBC_INFO_EXPRESSIONS_IN_ORDERBY = 27,
  ODBC_INFO_IDENTIFIER_CASE = 28,
  ODBC_INFO_IDENTIFIER_QUOTE_CHAR = 29,
  ODBC_INFO_MAX_OWNER_NAME_LEN = 32,
  ODBC_INFO_OUTER_JOINS = 38,
  ODBC_INFO_QUALIFIER_NAME_SEPARATOR = 41,
  ODBC_INFO_FILE_USAGE = 84,
  ODBC_INFO_MAX_CHAR_LITERAL_LEN = 108,
  ODBC_INFO_CATALOG_NAME = 10003,
};

// Installer requests.
enum : uint16_t { ODBC_ADD_DSN = 1, ODBC_CONFIG_DSN = 2 };

int OdbcAllocConnect(void* henv, void** hdbc);
// Connects without any driver dialog (there is no window to own one): a
// connect that needs more than the text gives fails with the driver's
// message. The whole completed connect string is returned, however long.
int OdbcDriverConnect(void* hdbc, const char* connectText, std::string* completed);
int OdbcDisconnect(void* hdbc);
int OdbcFreeConnect(void* hdbc);
// The first diagnostic of the handle: state (6 bytes), native code and text
// (at most textSize bytes with the NUL).
int OdbcError(void* hdbc, char* state, long* native, char* text, int textSize);
// Text information into buf (at most size bytes with the NUL).
int OdbcGetInfoText(void* hdbc, uint16_t type, char* buf, int size);
// Numeric information, whatever its width for that type.
int OdbcGetInfoNumber(void* hdbc, uint16_t type, uint32_t* value);
// The current catalog (database) of the connection.
int OdbcGetCurrentQualifier(void* hdbc, char* buf, int size);
// Asks the driver to refuse every change of data on the connection; drivers
// that cannot answer with a note or an error, and change nothing.
int OdbcSetReadOnly(void* hdbc);

// The ODBC private-profile files, read through the installer so that the
// user's and the system's files (and ODBCINI, ODBCSYSINI) are honoured. The
// installer keeps no "ODBC Data Sources" list: a data source looked up there
// answers with its own Driver entry. Returns the length copied.
int OdbcGetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buf,
                                int size, const char* file);
int OdbcWritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);
// ODBC_ADD_DSN writes the data source (attributes "KEY=value" each ended by
// a NUL, the list by a second NUL, one of them DSN=) into the user's odbc.ini;
// ODBC_CONFIG_DSN hands the request to the driver's set-up library.
int OdbcConfigDataSource(void* window, uint16_t request, const char* driver, const char* attributes);
