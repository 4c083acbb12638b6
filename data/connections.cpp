// Connections: library start and end, connecting by data-source name, the
// 100 connection slots with one current, data-source entries, installed data
// sources, connect overrides, database switches and error reports.
#include "data/data_access.h"

#include "data/db_errors.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "platform/qe/odbc_direct.h"
#include "platform/qe/qe.h"
#include "platform/win/wsprintf.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

bool g_libraryStarted = false;

const char kDbAccess[] = "DB access: ";

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// Whether a connect text already names an attribute (ignoring case).
bool HasAttribute(const std::string& text, const char* name) {
  std::string up = Upper(text);
  std::string key = std::string(name) + "=";
  size_t at = 0;
  while ((at = up.find(key, at)) != std::string::npos) {
    size_t b = at;
    while (b > 0 && (up[b - 1] == ' ' || up[b - 1] == '\t')) --b;
    if (b == 0 || up[b - 1] == ';') return true;
    at += key.size();
  }
  return false;
}

// The driver library's file name as drivers report it: no folder, no "lib" prefix, any case.
std::string DriverFileKey(const char* path) {
  const char* p = path;
  for (const char* q = path; *q; ++q)
    if (*q == '/' || *q == '\\') p = q + 1;
  std::string s = p;
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s.compare(0, 3, "lib") == 0) s.erase(0, 3);
  return s;
}

// Whether the driver refused the connect for want of a user or a password.
bool NeedsLogon(void* hdbc) {
  char state[6] = {}, text[600] = {};
  long native = 0;
  if (OdbcError(hdbc, state, &native, text, sizeof text) != ODBC_OK) return false;
  if (std::strncmp(state, "28", 2) == 0) return true;
  std::string lower = text;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("password") != std::string::npos || lower.find("authentication") != std::string::npos;
}

// The connect text with the user and password the logon gave, replacing any it named.
std::string WithLogon(const std::string& text, const std::string& user, const std::string& password) {
  std::string out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t semi = text.find(';', at);
    std::string part = text.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
    std::string key = Upper(Trimmed(part.substr(0, part.find('='))));
    if (!part.empty() && key != "UID" && key != "PWD") out += (out.empty() ? "" : ";") + part;
    if (semi == std::string::npos) break;
    at = semi + 1;
  }
  // Values in braces keep a ";" of a password from ending it.
  return out + ";UID={" + user + "};PWD={" + password + "}";
}

// A data source or database name that could read as connect-text syntax
// is refused, with its message, before anything is connected with it.
void RefuseName(unsigned id, const char* name) {
  char text[700];
  std::snprintf(text, sizeof text, GetResString(id, 1), name);
  DbErrorBox(text);
}
constexpr unsigned kIdBadSourceName = 62312;
constexpr unsigned kIdBadDatabaseName = 62313;
constexpr unsigned kIdEncodingRefused = 62381, kIdDriverOnlyReads = 62384;

}  // namespace

std::string ConnectValue(const std::string& value) {
  // Drivers differ in whether they take braces at all: a value that needs
  // none goes as it is. Inside braces a ";" or "=" is part of the value; a
  // "}" is doubled.
  const bool plain = value.find_first_of(";{}=") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

bool IsValidDataSourceName(const char* name) {
  if (name == nullptr || *name == '\0' || std::strlen(name) > 32) return false;
  for (const char* p = name; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || std::strchr("[]{}(),;?*=!@\\", *p) != nullptr) return false;
  return true;
}

bool IsValidLogonValue(const char* value) {
  // Drivers that split the text at every ";" read no braces.
  return value == nullptr || std::strpbrk(value, ";{}") == nullptr;
}

namespace {

// The keys a connect text from a file may always give: the data source and
// what a user logs on with.
const char* const kLogonKeys[] = {"DSN",      "UID", "PWD",    "USER",       "USERNAME", "PASSWORD",
                                  "DATABASE", "DB",  "SERVER", "SERVERNAME", "HOST",     "PORT"};
constexpr unsigned kIdConnectKey = 62379, kIdConnectValue = 62380, kIdConnectTwice = 62383;

// Beyond those, the keys of the data source's own driver that only tune how
// it talks to its server, as the driver writes them back when it completes a
// connect text. Every other key, a short form too, may load code, run
// statements (the SQLite driver's pragmas, psqlODBC's ConnSettings and
// pqopt), name or write files or change the read-only state: refused.
// values: null for any value, else the values taken, "|" between them (an
// empty one is the driver's "not set"), each only as written: to the driver
// a blank is a value, a file or library of that name.
struct TuningKey {
  const char* name;
  const char* values;
};
const TuningKey kSqlite3Keys[] = {
    {"StepAPI", nullptr},  {"Timeout", nullptr},     {"NoTXN", nullptr},   {"ShortNames", nullptr},
    {"LongNames", nullptr}, {"NoWCHAR", nullptr},    {"FKSupport", nullptr}, {"BigInt", nullptr},
    {"JDConv", nullptr},   {"OEMCP", nullptr},
    // The program sets NoCreat=1 ahead of the text's own (ConnectDataSource).
    {"NoCreat", nullptr},
    // Their values go into PRAGMA statements, name a file or a library.
    {"SyncPragma", "|off|normal|full|extra|0|1|2|3"}, {"JournalMode", ""}, {"Tracefile", ""}, {"LoadExt", ""},
};
const TuningKey kPsqlodbcKeys[] = {
    {"Description", nullptr}, {"SSLmode", nullptr}, {"Protocol", nullptr}, {"FakeOidIndex", nullptr},
    {"ShowOidColumn", nullptr}, {"RowVersioning", nullptr}, {"ShowSystemTables", nullptr}, {"Fetch", nullptr},
    {"Socket", nullptr}, {"UnknownSizes", nullptr}, {"MaxVarcharSize", nullptr}, {"MaxLongVarcharSize", nullptr},
    {"UseDeclareFetch", nullptr}, {"TextAsLongVarchar", nullptr}, {"UnknownsAsLongVarchar", nullptr},
    {"BoolsAsChar", nullptr}, {"Parse", nullptr}, {"ExtraSysTablePrefixes", nullptr}, {"LFConversion", nullptr},
    {"UpdatableCursors", nullptr}, {"TrueIsMinus1", nullptr}, {"BI", nullptr}, {"ByteaAsLongVarBinary", nullptr},
    {"UseServerSidePrepare", nullptr}, {"LowerCaseIdentifier", nullptr}, {"NumericAs", nullptr},
    {"D6", nullptr},  // NumericAs, in the short form the driver writes back
    {"OptionalErrors", nullptr}, {"FetchRefcursors", nullptr}, {"KeepaliveTime", nullptr},
    {"KeepaliveInterval", nullptr}, {"BatchSize", nullptr}, {"UniqueIndex", nullptr},
    // Set, they write log files.
    {"Debug", "|0"}, {"CommLog", "|0"},
    // Only ever to read-only, or as the data source has it (below).
    {"ReadOnly", "1"},
};

// The driver library a data source names, through the installer's name.
std::string DriverLibraryOf(const char* dsn) {
  char driver[261] = {};
  OdbcGetPrivateProfileString(dsn, "Driver", "", driver, sizeof driver, "odbc.ini");
  if (driver[0] && !std::strchr(driver, '/')) {
    char path[261];
    if (OdbcGetPrivateProfileString(driver, "Driver", "", path, sizeof path, "odbcinst.ini") > 0)
      CopyBounded(driver, sizeof driver, path);
  }
  return driver;
}

bool ValueAmong(const std::string& value, const char* values) {
  const std::string v = Upper(value);
  for (const char* p = values;;) {
    const char* bar = std::strchr(p, '|');
    const size_t n = bar ? static_cast<size_t>(bar - p) : std::strlen(p);
    if (Upper(std::string(p, n)) == v) return true;
    if (!bar) return false;
    p = bar + 1;
  }
}

struct ConnectItem {
  std::string written, key, value;  // key: upper case
  bool hasValue = false;
  bool blankAfterKey = false;
};

std::vector<ConnectItem> ConnectItems(const std::string& text) {
  std::vector<ConnectItem> items;
  for (size_t at = 0;;) {
    const size_t semi = text.find(';', at);
    const std::string part = text.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
    if (!Trimmed(part).empty()) {
      const size_t eq = part.find('=');
      ConnectItem item;
      item.written = Trimmed(part.substr(0, eq));
      item.key = Upper(item.written);
      item.blankAfterKey = eq != std::string::npos && eq > 0 && (part[eq - 1] == ' ' || part[eq - 1] == '\t');
      item.hasValue = eq != std::string::npos;
      if (item.hasValue) item.value = part.substr(eq + 1);
      items.push_back(item);
    }
    if (semi == std::string::npos) return items;
    at = semi + 1;
  }
}

// Whether psqlODBC was set to read only: as its completed connect text
// says, else as its data source does.
bool DriverOnlyReads(const DataSourceSettings& record) {
  for (const ConnectItem& i : ConnectItems(record.completedConnect))
    if (i.key == "READONLY") return std::atoi(i.value.c_str()) != 0;
  char own[16] = {};
  OdbcGetPrivateProfileString(record.name, "ReadOnly", "0", own, sizeof own, "odbc.ini");
  return std::atoi(own) != 0;
}

}  // namespace

bool ReadFileConnectText(const std::string& text, std::string* why) {
  const std::vector<ConnectItem> items = ConnectItems(text);
  // The keys the driver of the data source the text names takes (the
  // driver manager's default source when it names none).
  std::string dsn = "Default";
  for (const ConnectItem& i : items)
    if (i.key == "DSN") {
      if (i.hasValue && IsValidDataSourceName(i.value.c_str())) dsn = i.value;
      break;
    }
  const std::string library = DriverFileKey(DriverLibraryOf(dsn.c_str()).c_str());
  const TuningKey* tuning = nullptr;
  size_t tuningCount = 0;
  if (library.compare(0, 11, "sqlite3odbc") == 0) {
    tuning = kSqlite3Keys;
    tuningCount = sizeof kSqlite3Keys / sizeof kSqlite3Keys[0];
  } else if (library.compare(0, 8, "psqlodbc") == 0) {
    tuning = kPsqlodbcKeys;
    tuningCount = sizeof kPsqlodbcKeys / sizeof kPsqlodbcKeys[0];
  }
  size_t sources = 0;
  for (const ConnectItem& i : items) {
    // The driver manager connects with the last DSN, the check read the
    // first (DRIVER is refused wherever it stands).
    if (i.key == "DSN" && ++sources > 1) {
      *why = FilledSqlMessage(kIdConnectTwice, i.written.substr(0, 60));
      return false;
    }
    bool known = false;
    for (const char* k : kLogonKeys) known = known || i.key == k;
    for (size_t t = 0; !known && t < tuningCount; ++t) {
      if (i.key != Upper(tuning[t].name) || !i.hasValue) continue;
      known = tuning[t].values == nullptr || ValueAmong(i.value, tuning[t].values);
      // A read-only setting the data source has already is no change.
      if (!known && i.key == "READONLY") {
        char own[16] = {};
        OdbcGetPrivateProfileString(dsn.c_str(), "ReadOnly", "0", own, sizeof own, "odbc.ini");
        known = Trimmed(i.value) == Trimmed(own);
      }
    }
    if (!i.hasValue || !known) {
      *why = FilledSqlMessage(kIdConnectKey, i.written.substr(0, 60));
      return false;
    }
    // Drivers that split the text at every ";" read no braces; an SQLite
    // database named as an address may be made or opened for writing.
    bool usable = true;
    for (unsigned char c : i.value) usable = usable && c >= 0x20 && c != 0x7F && c != '{' && c != '}';
    if ((i.key == "DATABASE" || i.key == "DB") && strncasecmp(Trimmed(i.value).c_str(), "file:", 5) == 0)
      usable = false;
    // The driver manager reads the source's name as written, and no key
    // with a blank before its "=" as DSN.
    if (i.key == "DSN" &&
        (i.blankAfterKey || i.value != Trimmed(i.value) || !IsValidDataSourceName(i.value.c_str())))
      usable = false;
    if (!usable) {
      *why = FilledSqlMessage(kIdConnectValue, i.written.substr(0, 60));
      return false;
    }
  }
  return true;
}

bool IsValidDatabaseName(const char* name) {
  if (name == nullptr) return false;
  for (const char* p = name; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F || std::strchr(";{}=", *p) != nullptr) return false;
  return true;
}

DataAccess::DataAccess() = default;

DataAccess::~DataAccess() {
  TermDatabaseLibrary();
  FreeConnectOverrides();
  Keep(dataSourceOverride_, nullptr);
  Keep(extraConnectText_, nullptr);
  for (void*& block : cachedLists) {
    if (block) HeapFreeBlock(block);
    block = nullptr;
  }
}

void DataAccess::Keep(char*& slot, const char* text) {
  if (slot) HeapFreeBlock(slot);
  slot = nullptr;
  if (!text) return;
  size_t n = std::strlen(text);
  slot = static_cast<char*>(HeapAllocZero(0, static_cast<uint32_t>(n + 1)));
  if (slot) std::memcpy(slot, text, n);
}

void DataAccess::FreeConnectOverrides() {
  Keep(password_, nullptr);
  Keep(userName_, nullptr);
  Keep(reportDatabase_, nullptr);
}

// ---------------------------------------------------------------- library

bool DataAccess::StartLibrary() {
  if (g_libraryStarted) return true;
  if (qeLibInit() != 0) {
    ReportLastDbError();
    return false;
  }
  if (!ini.qeTraceFile.empty() &&
      (qeSetTraceOptions(ini.qeTraceOptions) != 0 || qeTraceOn(ini.qeTraceFile.c_str()) != 0)) {
    ReportLastDbError();
    return false;
  }
  g_libraryStarted = true;
  return true;
}

bool DataAccess::InitDatabaseLibrary() {
  if (!StartLibrary()) return false;
  if (sourcesHandle_) qeEndSQL(sourcesHandle_);
  sourcesHandle_ = qeSources(1);
  if (qeErr() == 0 && sourcesHandle_) return true;
  ReportLastDbError();
  sourcesHandle_ = 0;
  return false;
}

void DataAccess::TermDatabaseLibrary() {
  EndStatement();
  if (sourcesHandle_) qeEndSQL(sourcesHandle_);
  sourcesHandle_ = 0;
  RewindConnections();
  // Every connection is ended even when one of them fails to disconnect.
  for (DataSourceSettings* rec; (rec = NextConnection()) != nullptr;) {
    FreeDataSourceEntries();
    if (rec->libConnection && qeDisconnect(rec->libConnection) != 0) ReportDbError(nullptr, 0, rec);
    rec->libConnection = 0;
    RemoveConnection(rec);
    --connectionCount_;
  }
  FreeDataSourceEntries();
  current_ = nullptr;
  if (g_libraryStarted && !ini.qeTraceFile.empty() && qeTraceOff() != 0) ReportLastDbError();
  // The library itself stays started for the process: other models may hold
  // connections, and the SQLite driver's memory outlives an unload.
}

const char* DataAccess::GetLibraryVersion() {
  CopyBounded(versionText_, sizeof versionText_, qeVerNum());
  return versionText_;
}

uint32_t DataAccess::GetOdbcInfoLong(uint16_t infoType) {
  if (!current_ || !current_->hdbc) return 0;
  return qeGetODBCInfoLong(current_->libConnection, infoType);
}

// ---------------------------------------------------------------- connect

void DataAccess::AppendConnectText(std::string& text, const char* addition) {
  if (!addition || !*addition) return;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (addition[0] == ';') {
    if (!text.empty() && text.back() == ';') text.pop_back();
  } else if (!text.empty() && text.back() != ';') {
    text += ';';
  }
  text += addition;
}

void DataAccess::FreeRecord(DataSourceSettings* record) { delete record; }

int DataAccess::ConnectDataSource(const char* name, bool allowPrompt, bool reportErrors, const char* connectText) {
  std::string why;
  if (connectText != nullptr && !ReadFileConnectText(connectText, &why)) {
    if (reportErrors) DbErrorBox(why.c_str());
    return 0;
  }
  if (connectText == nullptr) return Connect(name, allowPrompt, reportErrors, nullptr);
  // No database file is made, whether the text or its data source names
  // it: the SQLite driver takes a key's first setting, so the program's
  // goes first (other drivers pass over a key they do not know).
  return Connect(name, allowPrompt, reportErrors, ("NoCreat=1;" + std::string(connectText)).c_str());
}

int DataAccess::Connect(const char* name, bool allowPrompt, bool reportErrors, const char* connectText) {
  bool named = name && *name;
  const char* effective = named ? name : "Default";
  const char* kept = extraConnectText_ ? extraConnectText_ : "";
  bool replace = false;
  if (named && !connectText && !IsValidDataSourceName(name)) {
    if (reportErrors) RefuseName(kIdBadSourceName, name);
    return 0;
  }
  if (named) {
    if (IsConnectedWith(name, kept)) return 1;
    replace = IsConnected(name);
  }
  if (!StartLibrary()) return 0;
  auto* record = new (std::nothrow) DataSourceSettings();
  if (!record) {
    DbErrorBox(GetResString(619, 1));
    return 0;
  }
  std::string text;
  int promptMode = -1;
  if (connectText) {
    text = connectText;
  } else if (!commandLineSid_) {
    text = std::string("DSN=") + effective;
    promptMode = allowPrompt ? 2 : 0;
  } else {
    text = std::string("DSN=") + effective + ";SID=" + commandLineSid_;
  }
  // The start file's user name and password go in when the text names none.
  if (!connectText) {
    if (userName_ && *userName_ && !HasAttribute(text, "UID"))
      AppendConnectText(text, ("UID=" + ConnectValue(userName_)).c_str());
    if (password_ && *password_ && !HasAttribute(text, "PWD"))
      AppendConnectText(text, ("PWD=" + ConnectValue(password_)).c_str());
  }
  AppendConnectText(text, kept);
  AppendConnectText(text, appConnectText.c_str());

  void* hdbc = nullptr;
  if (ini.useQeConnect == 0) {
    if (OdbcAllocConnect(qeGetODBCHenv(), &hdbc) != ODBC_OK) {
      FreeRecord(record);
      return 0;
    }
    int r = OdbcDriverConnect(hdbc, text.c_str(), &record->completedConnect);
    // A driver that wants a user and password gets them from the logon prompt
    // and is asked again; a cancelled prompt is a cancelled connect.
    for (int tries = 0; promptMode == 2 && logonPrompt && tries < 3 && r != ODBC_OK && r != ODBC_OK_WITH_INFO &&
                        NeedsLogon(hdbc);
         ++tries) {
      std::string user = userName_ ? userName_ : "", password;
      if (!logonPrompt(logonContext, effective, &user, &password)) {
        OdbcFreeConnect(hdbc);
        FreeRecord(record);
        return -1;
      }
      r = OdbcDriverConnect(hdbc, WithLogon(text, user, password).c_str(), &record->completedConnect);
    }
    if (r != ODBC_OK && r != ODBC_OK_WITH_INFO) {
      if (reportErrors && r != ODBC_NO_DATA) ReportConnectError(nullptr, 0, hdbc);
      OdbcFreeConnect(hdbc);
      FreeRecord(record);
      return r == ODBC_NO_DATA ? -1 : 0;
    }
    record->libConnection = qeSetODBCHdbc(hdbc);
  } else {
    if (promptMode >= 0) {
      while (!text.empty() && text.back() == ' ') text.pop_back();
      if (text.empty() || text.back() != ';') text += ';';
      text += "DLG=" + std::to_string(promptMode);
    }
    record->completedConnect = text;
    record->libConnection = qeConnect(text.c_str());
  }
  CopyBounded(record->name, sizeof record->name, effective);
  int err = qeErr();
  if (err != 0 || !record->libConnection) {
    if (reportErrors && err != -4 && err != QE_CANCELLED) ReportDbError(nullptr, 0, record);
    if (hdbc && !record->libConnection) {
      // The library refused the connection it was handed: end it here.
      OdbcDisconnect(hdbc);
      OdbcFreeConnect(hdbc);
    }
    FreeRecord(record);
    return (err == QE_CANCELLED || (err == -4 && allowPrompt)) ? -1 : 0;
  }
  record->hdbc = ini.useQeConnect == 0 ? hdbc : qeGetODBCHdbc(record->libConnection);
  record->henv = qeGetODBCHenv();
  record->extraConnect = kept;
  if (LoadDataSourceSettings(record) != 0) {
    qeDisconnect(record->libConnection);
    FreeRecord(record);
    return 0;
  }
  if (!MakeReadOnly(record, reportErrors)) {
    qeDisconnect(record->libConnection);
    FreeRecord(record);
    return 0;
  }
  if (replace) {
    current_ = nullptr;
    DisconnectDataSource(name);
  }
  if (!AddConnection(record)) {
    qeDisconnect(record->libConnection);
    FreeRecord(record);
    return 0;
  }
  ++connectionCount_;
  return 1;
}

bool DataAccess::ConnectOtherDatabase(const char* database, const char* newName, DataSourceSettings** out) {
  if (out) *out = nullptr;
  if (!current_ || !database) return false;
  if (!IsValidDatabaseName(database)) {
    RefuseName(kIdBadDatabaseName, database);
    return false;
  }
  char termName[31];
  GetDataSourceDBTerm(termName, sizeof termName);
  std::string term = std::string(";") + termName + "=";
  const std::string& cs = current_->completedConnect;
  std::string text;
  std::string upper = Upper(cs);
  size_t at = upper.find(Upper(term));
  if (at != std::string::npos) {
    size_t valueAt = at + term.size();
    size_t semi = cs.find(';', valueAt);
    text = cs.substr(0, at) + term + ConnectValue(database) +
           (semi == std::string::npos ? std::string() : cs.substr(semi));
  } else {
    text = cs + term + ConnectValue(database);
  }
  auto* record = new (std::nothrow) DataSourceSettings();
  if (!record) {
    DbErrorBox(GetResString(619, 1));
    return false;
  }
  record->libConnection = qeConnect(text.c_str());
  CopyBounded(record->name, sizeof record->name, newName ? newName : "");
  int err = qeErr();
  if (err != 0 || !record->libConnection) {
    if (err != -4 && err != QE_CANCELLED) ReportDbError(nullptr, 0, record);
    FreeRecord(record);
    return false;
  }
  record->completedConnect = text;
  record->hdbc = qeGetODBCHdbc(record->libConnection);
  record->henv = qeGetODBCHenv();
  LoadDataSourceSettings(record);
  if (!MakeReadOnly(record, true) || !AddConnection(record)) {
    qeDisconnect(record->libConnection);
    FreeRecord(record);
    return false;
  }
  ++connectionCount_;
  if (out) *out = record;
  return true;
}

bool DataAccess::MakeReadOnly(DataSourceSettings* record, bool reportErrors) {
  // A report writer only reads: the driver is asked to refuse changes where
  // it can (neither the SQLite nor the PostgreSQL driver does), and the
  // platform's own statement for it runs first thing on the connection:
  // kmwsql.ini's, else SQLite's own. PostgreSQL's statements run in
  // read-only transactions of their own (see ExecSql).
  OdbcSetReadOnly(record->hdbc);
  // psqlODBC's own ReadOnly lets only SELECT statements through: the
  // session's settings and each statement's read-only transaction would be
  // refused one by one, the first of them named as something else.
  if (strcasecmp(record->dbmsName, "PostgreSQL") == 0 && DriverOnlyReads(*record)) {
    if (reportErrors) DbErrorBox(GetResString(kIdDriverOnlyReads, 1));
    return false;
  }
  if (!LoadReadingRules(record)) {
    if (reportErrors) DbErrorBox(GetResString(kIdEncodingRefused, 1));
    return false;
  }
  const char* section = record->platform[0] ? record->platform : record->dbmsName;
  const char* builtIn = strcasecmp(record->dbmsName, "SQLite") == 0 ? "pragma query_only = 1" : "";
  const std::string statement = section[0] ? SqlIniString(section, "ReadOnlyStatement", builtIn, 256) : std::string();
  record->readOnlyStatement = statement;
  if (statement.empty()) return true;
  const QEHANDLE done = qeExecSQL(record->libConnection, statement.c_str());
  const int err = qeErr();
  if (done != 0) qeEndSQL(done);
  if (err == 0 && done != 0) return true;
  if (reportErrors) ReportDbError(nullptr, 0, record);
  return false;
}

bool DataAccess::DisconnectDataSource(const char* name) {
  if (!IsConnected(name)) return false;
  DataSourceSettings* rec = FindConnection(name);
  RemoveDataSourceEntry(name);
  if (rec == current_) EndStatement();
  if (qeDisconnect(rec->libConnection) != 0) {
    ReportDbError(nullptr, 0, rec);
    return false;
  }
  if (rec == current_) current_ = nullptr;
  RemoveConnection(rec);
  --connectionCount_;
  return true;
}

bool DataAccess::IsConnected(const char* name) {
  DataSourceSettings* rec = FindConnection(name);
  return rec && rec->libConnection != 0;
}

bool DataAccess::IsConnectedWith(const char* name, const char* text) {
  DataSourceSettings* rec = FindConnection(name);
  return rec && rec->libConnection != 0 && rec->extraConnect == (text ? text : "");
}

// ---------------------------------------------------------------- slots

bool DataAccess::AddConnection(DataSourceSettings* record) {
  for (auto& slot : slots_)
    if (!slot) {
      slot = record;
      return true;
    }
  DbErrorBox("Program error: too many connections");
  return false;
}

void DataAccess::RemoveConnection(DataSourceSettings* record) {
  for (auto& slot : slots_)
    if (slot && slot == record) {
      if (current_ == record) current_ = nullptr;
      FreeRecord(record);
      slot = nullptr;
      return;
    }
  DbErrorBox("Program error: data source pointer not found");
}

DataSourceSettings* DataAccess::FindConnection(const char* name) {
  if (!name) return nullptr;
  for (auto* slot : slots_)
    if (slot && std::strcmp(slot->name, name) == 0) return slot;
  return nullptr;
}

DataSourceSettings* DataAccess::NextConnection() {
  while (cursor_ < kMaxConnections) {
    DataSourceSettings* rec = slots_[cursor_++];
    if (rec) return rec;
  }
  return nullptr;
}

void DataAccess::SelectDataSource(const char* name) {
  if (name && current_ && std::strcmp(name, current_->name) == 0) return;
  if (!name) {
    current_ = nullptr;
  } else if (DataSourceSettings* rec = FindConnection(name)) {
    current_ = rec;
  }
  if (name && !FindDataSourceEntryByName(name) && std::strcmp(name, "KM EDIT JOIN") != 0 &&
      std::strcmp(name, "KM SET JOIN") != 0) {
    auto* entry = new (std::nothrow) DataSourceEntry();
    if (!entry) {
      DbErrorBox(GetResString(619, 1));
      return;
    }
    CopyBounded(entry->name, sizeof entry->name, name);
    GetDatabaseName(entry->databaseName, sizeof entry->databaseName);
    if (!AddDataSourceEntry(entry)) delete entry;
  }
  listReloadFlag = 1;
  cachedNameByte = 0;
  for (void*& block : cachedLists) {
    if (block) HeapFreeBlock(block);
    block = nullptr;
  }
  dbAnsi = current_ && (current_->flags & DS_DB_ANSI) ? 1 : 0;
}

const char* DataAccess::GetCurrentDataSourceName() const { return current_ ? current_->name : nullptr; }

const char* DataAccess::GetConnectString() const { return current_ ? current_->completedConnect.c_str() : nullptr; }

const char* DataAccess::GetDataSourceInfoText(int code) const {
  if (!current_) return nullptr;
  switch (code) {
    case 1: return current_->driverName;
    case 2: return current_->dbmsName;
    case 3: return current_->dbmsVersion;
    default: return nullptr;
  }
}

void DataAccess::ClearConnectionMarks() {
  for (auto* slot : slots_)
    if (slot) slot->flags &= ~DS_CONNECTION_MARK;
}

void DataAccess::MarkConnection(const char* name) {
  if (DataSourceSettings* rec = FindConnection(name)) rec->flags |= DS_CONNECTION_MARK;
}

bool DataAccess::IsConnectionMarked(const char* name) {
  DataSourceSettings* rec = FindConnection(name);
  return rec && (rec->flags & DS_CONNECTION_MARK);
}

// ---------------------------------------------------------------- entries

bool DataAccess::AddDataSourceEntry(DataSourceEntry* entry) {
  for (auto& slot : entries_)
    if (!slot) {
      slot = entry;
      return true;
    }
  DbErrorBox("Program error: too many connections");
  return false;
}

DataSourceEntry* DataAccess::GetDataSourceEntry(int n) const {
  return n >= 0 && n < kMaxDataSourceEntries ? entries_[n] : nullptr;
}

void DataAccess::CopyDataSourceEntry(int n, char* nameBuf, int nameLen, char* dbBuf, int dbLen) const {
  const DataSourceEntry* e = GetDataSourceEntry(n);
  if (!e) return;
  if (nameBuf && nameLen > 0) CopyBounded(nameBuf, nameLen, e->name);
  if (dbBuf && dbLen > 0) CopyBounded(dbBuf, dbLen, e->databaseName);
}

DataSourceEntry* DataAccess::FindDataSourceEntryByName(const char* name) const {
  int index = 0;
  return FindDataSourceEntry(name, &index) ? entries_[index] : nullptr;
}

int DataAccess::FindDataSourceEntry(const char* name, int* index) const {
  if (index) *index = 0;
  if (!name) return 0;
  for (int i = 0; i < kMaxDataSourceEntries; ++i)
    if (entries_[i] && std::strcmp(entries_[i]->name, name) == 0) {
      if (index) *index = i;
      return 1;
    }
  return 0;
}

void DataAccess::RemoveDataSourceEntry(const char* name) {
  int index = 0;
  if (!FindDataSourceEntry(name, &index)) return;
  delete entries_[index];
  entries_[index] = nullptr;
}

void DataAccess::FreeDataSourceEntries() {
  for (auto& e : entries_) {
    delete e;
    e = nullptr;
  }
}

bool DataAccess::QueryDatabaseName(const char* name, char* buf, int len, bool keepConnected) {
  if (!buf || len <= 0) return false;
  if (DataSourceEntry* e = FindDataSourceEntryByName(name)) {
    CopyBounded(buf, len, e->databaseName);
    return true;
  }
  bool connectedHere = false;
  if (!IsConnected(name)) {
    if (ConnectDataSource(name, false, false, nullptr) != 1) return false;
    connectedHere = true;
  }
  DataSourceSettings* rec = FindConnection(name);
  bool ok = rec && OdbcGetInfoText(rec->hdbc, ODBC_INFO_DATABASE_NAME, buf, len) == ODBC_OK;
  // Disconnecting drops the source's entry, so the new entry is kept after it.
  if (connectedHere && !keepConnected) DisconnectDataSource(name);
  if (ok) {
    auto* entry = new (std::nothrow) DataSourceEntry();
    if (!entry) {
      DbErrorBox(GetResString(619, 1));
      ok = false;
    } else {
      CopyBounded(entry->name, sizeof entry->name, name);
      CopyBounded(entry->databaseName, sizeof entry->databaseName, buf);
      if (!AddDataSourceEntry(entry)) delete entry;
    }
  }
  return ok;
}

bool DataAccess::GetDatabaseName(char* buf, int len) {
  if (!buf || len <= 0) return false;
  buf[0] = '\0';
  if (!current_ || !current_->hdbc) return false;
  return OdbcGetInfoText(current_->hdbc, ODBC_INFO_DATABASE_NAME, buf, len) == ODBC_OK;
}

// ---------------------------------------------------------------- installed sources

const char* DataAccess::NextDataSourceName() {
  if (!sourcesHandle_) return nullptr;
  if (qeFetchNext(sourcesHandle_) == 0) {
    qeValCharBuf(sourcesHandle_, sourceName_, 1, "", sizeof sourceName_);
    return sourceName_;
  }
  if (qeErr() != QE_END_OF_DATA) ReportLastDbError();
  qeEndSQL(sourcesHandle_);
  sourcesHandle_ = 0;
  return nullptr;
}

int DataAccess::CountDataSources() {
  if (!InitDatabaseLibrary()) return 0;
  int n = 0;
  while (qeFetchNext(sourcesHandle_) == 0) ++n;
  if (qeErr() != QE_END_OF_DATA) ReportLastDbError();  // before the end call replaces the text
  qeEndSQL(sourcesHandle_);
  sourcesHandle_ = 0;
  return n;
}

bool DataAccess::CheckDataSourceExists(const char* dsn, const char* attributes, const char* driver) {
  char buf[256];
  if (OdbcGetPrivateProfileString("ODBC Data Sources", dsn, "", buf, sizeof buf, "odbc.ini") > 0) return true;
  if (!attributes || !*attributes || !driver || !*driver) return true;
  char question[512];
  std::snprintf(question, sizeof question, GetResString(3275, 1), dsn ? dsn : "");
  if (!DbAskOkCancel(question)) return true;
  std::string list = std::string(attributes) + ";;";
  for (auto& c : list)
    if (c == ';') c = '\0';
  return OdbcConfigDataSource(ownerWindow, ODBC_ADD_DSN, driver, list.c_str()) != 0;
}

int DataAccess::ConfigureDataSource(const char* name) {
  if (!current_) return 0;
  char driver[513];
  std::string attributes;
  if (OdbcGetPrivateProfileString("ODBC Data Sources", name, "", driver, 128, "odbc.ini") == 0) {
    if (OdbcGetPrivateProfileString("Default", "Driver", "", driver, sizeof driver, "odbcinst.ini") == 0) return 0;
    attributes = "DSN=Default";
  } else {
    attributes = std::string("DSN=") + (name ? name : "");
  }
  attributes.push_back('\0');
  return OdbcConfigDataSource(ownerWindow, ODBC_CONFIG_DSN, driver, attributes.c_str());
}

bool DataAccess::GetDataSourceDriver(char* buf, int len) {
  if (!buf || len <= 0) return false;
  buf[0] = '\0';
  if (!current_) return false;
  if (OdbcGetPrivateProfileString("ODBC Data Sources", current_->name, "", buf, len, "odbc.ini") > 0) return true;
  return OdbcGetPrivateProfileString("Default", "Driver", "", buf, len, "odbcinst.ini") > 0;
}

bool DataAccess::IsSameDriverAsCurrent(const char* dsn) {
  if (!current_ || !dsn) return false;
  if (strcasecmp(dsn, current_->name) == 0) return true;
  std::string section = current_->platform[0] ? current_->platform : current_->dbmsName;
  std::string driverId = section.empty() ? std::string() : SqlIniString(section.c_str(), "DataSourceDriverID", "", 31);
  if (DriverFileKey(DriverLibraryOf(dsn).c_str()) != DriverFileKey(current_->driverName)) return false;
  if (driverId.empty()) return true;
  char mine[33], theirs[33];
  OdbcGetPrivateProfileString(current_->name, driverId.c_str(), "", mine, sizeof mine, "odbc.ini");
  OdbcGetPrivateProfileString(dsn, driverId.c_str(), "", theirs, sizeof theirs, "odbc.ini");
  if (!mine[0]) return false;
  return strcasecmp(mine, theirs) == 0;
}

// ---------------------------------------------------------------- databases

int DataAccess::UseReportDatabase() { return reportDatabase_ ? SetDatabase(reportDatabase_) : 0; }

int DataAccess::SetDatabase(const char* name) {
  EndStatement();
  if (!name || !current_) return 0;
  if (qeSetDB(current_->libConnection, name) != 0) {
    ReportLastDbError();
    return 1;
  }
  return 0;
}

bool DataAccess::DatabaseIsFile() {
  if (IsFileDataSource()) return true;
  if (current_ == nullptr || current_->hdbc == nullptr) return false;
  // A driver without catalogs cannot change its database: what the data
  // source names is its one database, however its name is written.
  char catalogs[8] = {};
  if (OdbcGetInfoText(current_->hdbc, ODBC_INFO_CATALOG_NAME, catalogs, sizeof catalogs) != ODBC_OK ||
      (catalogs[0] != 'Y' && catalogs[0] != 'y'))
    return true;
  char database[261];
  return GetDatabaseName(database, sizeof database) && std::strpbrk(database, "/\\:") != nullptr;
}

bool DataAccess::SwitchDatabase(const char* name) {
  if (name == nullptr || *name == '\0') return true;
  if (current_ == nullptr) return false;
  if (!IsValidDatabaseName(name)) {
    RefuseName(kIdBadDatabaseName, name);
    return false;
  }
  // The source's file is its database: another name is not a file to open.
  if (DatabaseIsFile()) return true;
  char now[261];
  // The driver's own word, not a query only one kind of server understands.
  if (GetDatabaseName(now, sizeof now) && std::strcmp(now, name) == 0) return true;
  EndStatement();
  if (qeSetDB(current_->libConnection, name) == 0 && GetDatabaseName(now, sizeof now) && std::strcmp(now, name) == 0)
    return true;
  // Connected again under the same name, the database in the connect text.
  const std::string source = current_->name;
  const std::string before = current_->completedConnect;
  const int suppress = suppressFlag;  // this switch's failures are shown
  ReplaceConnectDatabase(name);
  suppressFlag = suppress;
  const std::string text = current_->completedConnect;
  DisconnectDataSource(source.c_str());
  // The driver's own completed text, with a database name checked above.
  if (Connect(source.c_str(), false, true, text.c_str()) != 1) {
    // The source stays connected as it was: what uses it later meets the
    // database that is not there, not a connection that is gone.
    if (Connect(source.c_str(), false, false, before.c_str()) == 1) SelectDataSource(source.c_str());
    return false;
  }
  SelectDataSource(source.c_str());
  return GetDatabaseName(now, sizeof now) && std::strcmp(now, name) == 0;
}

const char* DataAccess::GetDatabaseListSql() { return GetResString(3244, 1); }

void DataAccess::ReplaceConnectDatabase(const char* database) {
  suppressFlag = 1;
  if (!current_ || !database) return;
  std::string& cs = current_->completedConnect;
  std::string upper = Upper(cs);
  size_t at = std::string::npos;
  for (size_t from = 0; (from = upper.find("DATABASE=", from)) != std::string::npos; from += 9)
    if (from == 0 || upper[from - 1] == ';' || upper[from - 1] == ' ') {
      at = from;
      break;
    }
  if (at == std::string::npos) {
    // No database attribute yet: add one.
    AppendConnectText(cs, ("DATABASE=" + ConnectValue(database)).c_str());
    return;
  }
  size_t valueAt = at + 9;
  size_t semi = cs.find(';', valueAt);
  cs = cs.substr(0, valueAt) + ConnectValue(database) +
       (semi == std::string::npos ? std::string() : cs.substr(semi));
}

int DataAccess::GetConnectStringWithoutLogin(char* out, int size) {
  if (!out || size <= 0) return 0;
  out[0] = '\0';
  if (!current_) return 0;
  std::string result;
  const std::string& cs = current_->completedConnect;
  size_t at = 0;
  while (at < cs.size()) {
    size_t semi = cs.find(';', at);
    std::string item = cs.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
    if (item.empty()) break;
    size_t eq = item.find('=');
    std::string key = Upper(Trimmed(item.substr(0, eq)));
    if (key != "UID" && key != "PWD") {
      if (!result.empty()) result += ';';
      result += item;
    }
    if (semi == std::string::npos) break;
    at = semi + 1;
  }
  CopyBounded(out, size, result.c_str());
  return static_cast<int>(std::strlen(out));
}

// ---------------------------------------------------------------- errors

void DataAccess::ReportDbError(char* outBuf, int outSize, const DataSourceSettings* record) {
  char msg[QE_ERRMSG_MAX];
  qeErrMsgBuf(msg);
  if (outBuf) {
    if (outSize > 0) CopyBounded(outBuf, outSize, (std::string(kDbAccess) + msg).c_str());
    return;
  }
  std::string text = kDbAccess;
  if (record) text += std::string(record->name) + ": ";
  text += msg;
  if (!msg[0] && !record) text = "Database error (no message from database)";
  DbErrorBox(text.c_str());
}

void DataAccess::ReportConnectError(char* outBuf, int outSize, void* hdbc) {
  char state[6] = {0};
  long native = 0;
  char msg[512] = {0};
  OdbcError(hdbc, state, &native, msg, sizeof msg);
  std::string text = std::string(kDbAccess) + msg;
  if (outBuf) {
    if (outSize > 0) CopyBounded(outBuf, outSize, text.c_str());
    return;
  }
  DbErrorBox(msg[0] ? text.c_str() : "Database error (no message from database)");
}

// ---------------------------------------------------------------- model

DataAccess* GetDataAccess(CKmComposite* model) {
  if (!model) return nullptr;
  DataAccess* da = model->GetAttachment<DataAccess>();
  if (da != nullptr && model->nullsCompareAsValues == nullptr) {
    model->nullsCompareAsValues = [](const CKmComposite* m) {
      const DataAccess* access = m->FindAttachment<DataAccess>();
      return access != nullptr && access->IsNetWareSql() && !access->QSwitch();
    };
  }
  return da;
}
