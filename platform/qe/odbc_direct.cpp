#include "platform/qe/odbc_direct.h"

#include "platform/qe/cursor_fetch.h"
#include "platform/qe/qe_text.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

int Result(SQLRETURN rc) {
  switch (rc) {
    case SQL_SUCCESS: return ODBC_OK;
    case SQL_SUCCESS_WITH_INFO: return ODBC_OK_WITH_INFO;
    case SQL_NO_DATA: return ODBC_NO_DATA;
    case SQL_INVALID_HANDLE: return ODBC_BAD_HANDLE;
    default: return ODBC_FAILED;
  }
}

void CopyOut(const std::string& text, char* buf, int size) {
  if (!buf || size <= 0) return;
  size_t n = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
}

std::string Ansi(const char* utf8) { return qe_text::Utf8ToAnsi(utf8, std::strlen(utf8)); }

}  // namespace

int OdbcAllocConnect(void* henv, void** hdbc) {
  if (!hdbc) return ODBC_FAILED;
  *hdbc = nullptr;
  SQLHDBC h = SQL_NULL_HDBC;
  int r = Result(SQLAllocHandle(SQL_HANDLE_DBC, static_cast<SQLHENV>(henv), &h));
  if (r == ODBC_OK || r == ODBC_OK_WITH_INFO) *hdbc = h;
  return r;
}

int OdbcDriverConnect(void* hdbc, const char* connectText, std::string* completed) {
  std::string in = qe_text::AnsiToUtf8(qe_cursor::WithCursorFetch(connectText ? connectText : "").c_str());
  // The largest buffer the call can describe, so that a long completed string is kept whole.
  std::vector<SQLCHAR> out(32767, 0);
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnect(static_cast<SQLHDBC>(hdbc), nullptr, reinterpret_cast<SQLCHAR*>(&in[0]),
                                  static_cast<SQLSMALLINT>(in.size()), out.data(),
                                  static_cast<SQLSMALLINT>(out.size() - 1), &outLen, SQL_DRIVER_NOPROMPT);
  if (completed && SQL_SUCCEEDED(rc)) *completed = Ansi(reinterpret_cast<char*>(out.data()));
  return Result(rc);
}

int OdbcDisconnect(void* hdbc) { return Result(SQLDisconnect(static_cast<SQLHDBC>(hdbc))); }

int OdbcFreeConnect(void* hdbc) { return Result(SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(hdbc))); }

int OdbcError(void* hdbc, char* state, long* native, char* text, int textSize) {
  SQLCHAR st[6] = {0};
  SQLINTEGER nat = 0;
  SQLCHAR msg[1024] = {0};
  SQLSMALLINT len = 0;
  if (text && textSize > 0) text[0] = '\0';
  if (!hdbc) return ODBC_NO_DATA;
  SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_DBC, static_cast<SQLHDBC>(hdbc), 1, st, &nat, msg, sizeof msg, &len);
  if (!SQL_SUCCEEDED(rc)) return Result(rc);
  if (state) std::memcpy(state, st, 6);
  if (native) *native = nat;
  CopyOut(Ansi(reinterpret_cast<char*>(msg)), text, textSize);
  return ODBC_OK;
}

int OdbcGetInfoText(void* hdbc, uint16_t type, char* buf, int size) {
  if (!buf || size <= 0) return ODBC_FAILED;
  buf[0] = '\0';
  char tmp[1024] = {0};
  SQLSMALLINT len = 0;
  SQLRETURN rc = SQLGetInfo(static_cast<SQLHDBC>(hdbc), type, tmp, sizeof tmp - 1, &len);
  if (SQL_SUCCEEDED(rc)) CopyOut(Ansi(tmp), buf, size);
  return Result(rc);
}

int OdbcGetInfoNumber(void* hdbc, uint16_t type, uint32_t* value) {
  if (!value) return ODBC_FAILED;
  *value = 0;
  bool small = type == ODBC_INFO_IDENTIFIER_CASE || type == ODBC_INFO_MAX_OWNER_NAME_LEN ||
               type == ODBC_INFO_FILE_USAGE;
  if (small) {
    SQLUSMALLINT v = 0;
    SQLRETURN rc = SQLGetInfo(static_cast<SQLHDBC>(hdbc), type, &v, sizeof v, nullptr);
    if (SQL_SUCCEEDED(rc)) *value = v;
    return Result(rc);
  }
  SQLUINTEGER v = 0;
  SQLRETURN rc = SQLGetInfo(static_cast<SQLHDBC>(hdbc), type, &v, sizeof v, nullptr);
  if (SQL_SUCCEEDED(rc)) *value = v;
  return Result(rc);
}

int OdbcGetCurrentQualifier(void* hdbc, char* buf, int size) {
  if (!buf || size <= 0) return ODBC_FAILED;
  buf[0] = '\0';
  char tmp[1024] = {0};
  SQLINTEGER len = 0;
  SQLRETURN rc = SQLGetConnectAttr(static_cast<SQLHDBC>(hdbc), SQL_ATTR_CURRENT_CATALOG, tmp, sizeof tmp - 1, &len);
  if (SQL_SUCCEEDED(rc)) CopyOut(Ansi(tmp), buf, size);
  return Result(rc);
}

int OdbcSetReadOnly(void* hdbc) {
  return Result(SQLSetConnectAttr(static_cast<SQLHDBC>(hdbc), SQL_ATTR_ACCESS_MODE,
                                  reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_MODE_READ_ONLY)), 0));
}

int OdbcGetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buf,
                                int size, const char* file) {
  if (!buf || size <= 0) return 0;
  buf[0] = '\0';
  std::string sec = section ? section : "";
  std::string k = key ? key : "";
  if (section && key && strcasecmp(section, "ODBC Data Sources") == 0) {
    sec = k;
    k = "Driver";
  }
  std::string s8 = qe_text::AnsiToUtf8(sec.c_str());
  std::string k8 = qe_text::AnsiToUtf8(k.c_str());
  std::string d8 = qe_text::AnsiToUtf8(defaultText ? defaultText : "");
  std::vector<char> tmp(4096, '\0');
  int n = SQLGetPrivateProfileString(s8.c_str(), key ? k8.c_str() : nullptr, d8.c_str(), tmp.data(),
                                     static_cast<int>(tmp.size()) - 1, file ? file : "odbc.ini");
  if (n < 0) n = 0;
  if (!key) {
    // A key list: NUL-separated names ending with a second NUL, copied as bytes.
    int m = n < size - 1 ? n : size - 1;
    std::memcpy(buf, tmp.data(), m);
    buf[m] = '\0';
    if (m + 1 < size) buf[m + 1] = '\0';
    return m;
  }
  CopyOut(Ansi(tmp.data()), buf, size);
  return static_cast<int>(std::strlen(buf));
}

int OdbcWritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
  std::string s8 = qe_text::AnsiToUtf8(section);
  std::string k8 = qe_text::AnsiToUtf8(key);
  std::string v8 = qe_text::AnsiToUtf8(value);
  return SQLWritePrivateProfileString(s8.c_str(), key ? k8.c_str() : nullptr, value ? v8.c_str() : nullptr,
                                      file ? file : "odbc.ini")
             ? 1
             : 0;
}

int OdbcConfigDataSource(void* window, uint16_t request, const char* driver, const char* attributes) {
  if (!driver || !attributes) return 0;
  if (request != ODBC_ADD_DSN) {
    std::string d8 = qe_text::AnsiToUtf8(driver);
    std::string a8;
    for (const char* p = attributes; *p; p += std::strlen(p) + 1) {
      qe_text::AnsiToUtf8(p, std::strlen(p), a8);
      a8.push_back('\0');
    }
    a8.push_back('\0');
    return SQLConfigDataSource(nullptr, request, d8.c_str(), a8.c_str()) ? 1 : 0;
  }
  (void)window;
  // Adding needs no driver set-up library: the entries are written directly.
  std::string dsn;
  std::vector<std::pair<std::string, std::string>> items;
  for (const char* p = attributes; *p; p += std::strlen(p) + 1) {
    const char* eq = std::strchr(p, '=');
    if (!eq) continue;
    std::string k(p, eq - p), v(eq + 1);
    if (strcasecmp(k.c_str(), "DSN") == 0) dsn = v;
    else items.emplace_back(k, v);
  }
  if (dsn.empty()) return 0;
  std::string dsn8 = qe_text::AnsiToUtf8(dsn.c_str());
  std::string drv8 = qe_text::AnsiToUtf8(driver);
  if (!SQLWriteDSNToIni(dsn8.c_str(), drv8.c_str())) return 0;
  for (auto& kv : items)
    if (!OdbcWritePrivateProfileString(dsn.c_str(), kv.first.c_str(), kv.second.c_str(), "odbc.ini")) return 0;
  return 1;
}
