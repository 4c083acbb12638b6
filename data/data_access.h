// The report model's way to its data sources: up to 100 open connections with
// one current, the SQL dialect of each, and the one statement of the current
// connection with its fetch and column information. One per report model
// (see GetDataAccess); GUI thread only.
#pragma once

#include "data/data_source_settings.h"
#include "data/user_statement.h"
#include "core/model_attachment.h"

#include <cstdint>
#include <string>

class CKmComposite;

constexpr int kMaxConnections = 100;
constexpr int kMaxDataSourceEntries = 100;

// kmw.ini [Database] values the data layer works with, filled at start-up.
struct DatabaseIniSettings {
  int useQeConnect = 0;
  std::string qeTraceFile;
  uint16_t qeTraceOptions = 3;
  int useDefaultDatabase = 0;
  int alwaysLocalLog = 0;
  long queryTimeout = 0;
};

// A fetched date, time or timestamp as parsed from the library's text.
struct DateTimeParts {
  int32_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t unused = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  int32_t fraction = 0;
};

// Outer-join styles of GetOuterJoinStyle.
enum : int { OJ_STAR_EQUALS = 1, OJ_PLUS_MARKER = 2, OJ_ESCAPE = 6, OJ_NONE = 7 };

class DataAccess : public ModelAttachment {
 public:
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kDataAccess;
  DataAccess();
  ~DataAccess() override;
  DataAccess(const DataAccess&) = delete;
  DataAccess& operator=(const DataAccess&) = delete;

  // ---- Set up by the application.
  DatabaseIniSettings ini;
  std::string sqlIniPath;      // kmwsql.ini; empty: every dialect key takes its default
  std::string appConnectText;  // the /E text of the command line
  void* ownerWindow = nullptr;

  // Asks for a user name and password when a driver refuses a connect that
  // may prompt for want of them; false when the user cancels. Set by the
  // dialogs; without it such a connect fails with the driver's message.
  bool (*logonPrompt)(void* context, const char* dataSource, std::string* user, std::string* password) = nullptr;
  void* logonContext = nullptr;

  // ---- Library start and end.
  bool InitDatabaseLibrary();
  void TermDatabaseLibrary();
  const char* GetLibraryVersion();
  uint32_t GetOdbcInfoLong(uint16_t infoType);

  // ---- Connect and disconnect. ConnectDataSource: 1 connected, 0 failed, -1 cancelled.
  // A connect text given is one from outside: read by ReadFileConnectText
  // and refused with its reason unless it passes.
  int ConnectDataSource(const char* name, bool allowPrompt, bool reportErrors, const char* connectText);
  bool ConnectOtherDatabase(const char* database, const char* newName, DataSourceSettings** out);
  bool DisconnectDataSource(const char* name);
  bool IsConnected(const char* name);
  bool IsConnectedWith(const char* name, const char* text);
  int GetConnectionCount() const { return connectionCount_; }

  // ---- Slots and the current connection.
  bool AddConnection(DataSourceSettings* record);
  void RemoveConnection(DataSourceSettings* record);
  DataSourceSettings* FindConnection(const char* name);
  void RewindConnections() { cursor_ = 0; }
  DataSourceSettings* NextConnection();
  void SelectDataSource(const char* name);
  void ReselectDataSource(const char* name) { SelectDataSource(name); }
  DataSourceSettings* Current() const { return current_; }
  const char* GetCurrentDataSourceName() const;
  const char* GetConnectString() const;
  const char* GetDataSourceInfoText(int code) const;
  void ClearConnectionMarks();
  void MarkConnection(const char* name);
  bool IsConnectionMarked(const char* name);

  // ---- Data-source entries.
  bool AddDataSourceEntry(DataSourceEntry* entry);
  DataSourceEntry* GetDataSourceEntry(int n) const;
  void CopyDataSourceEntry(int n, char* nameBuf, int nameLen, char* dbBuf, int dbLen) const;
  DataSourceEntry* FindDataSourceEntryByName(const char* name) const;
  // 1 with the slot in index when found, 0 when not (slot 0 is a real slot,
  // so the result and the index are kept apart).
  int FindDataSourceEntry(const char* name, int* index) const;
  void RemoveDataSourceEntry(const char* name);
  void FreeDataSourceEntries();
  bool QueryDatabaseName(const char* name, char* buf, int len, bool keepConnected);
  bool GetDatabaseName(char* buf, int len);

  // ---- Installed data sources.
  const char* NextDataSourceName();
  int CountDataSources();
  bool CheckDataSourceExists(const char* dsn, const char* attributes, const char* driver);
  int ConfigureDataSource(const char* name);
  bool GetDataSourceDriver(char* buf, int len);
  bool IsSameDriverAsCurrent(const char* dsn);

  // ---- Overrides from the start file and the command line.
  void SetPassword(const char* text) { Keep(password_, text); }
  void SetUserName(const char* text) { Keep(userName_, text); }
  void SetDataSourceOverride(const char* text) { Keep(dataSourceOverride_, text); }
  void SetReportDatabase(const char* text) { Keep(reportDatabase_, text); }
  void SetConnectText(const char* text) { Keep(extraConnectText_, text); }
  const char* GetPassword() const { return password_; }
  const char* GetUserName() const { return userName_; }
  const char* GetDataSourceOverride() const { return dataSourceOverride_; }
  const char* GetReportDatabase() const { return reportDatabase_; }
  const char* GetConnectText() const { return extraConnectText_; }
  void FreeConnectOverrides();
  void SetCommandLineSid(const char* text) { commandLineSid_ = text; }
  void ClearCommandLineSid() { commandLineSid_ = nullptr; }
  int UseReportDatabase();

  // ---- Databases.
  int SetDatabase(const char* name);
  // Makes the named database current on the current connection unless it
  // already is; true then, and for an empty name. A driver that cannot change
  // the database of an open connection is connected again with the database
  // in its connect text. False after the driver's message.
  bool SwitchDatabase(const char* name);
  // Whether the current source's database is a file (a file data source, a
  // driver that knows no catalogs, or a database named by its path): another
  // database name means nothing there, and is never opened.
  bool DatabaseIsFile();
  const char* GetDatabaseListSql();
  void ReplaceConnectDatabase(const char* database);
  // Writes at most size - 1 characters; returns the length written.
  int GetConnectStringWithoutLogin(char* out, int size);

  // ---- Errors: "DB access: " and the library's or the driver's text, into
  // outBuf (at most outSize bytes with the NUL) when given, else shown once.
  void ReportDbError(char* outBuf, int outSize, const DataSourceSettings* record);
  void ReportLastDbError() { ReportDbError(nullptr, 0, nullptr); }
  void ReportConnectError(char* outBuf, int outSize, void* hdbc);

  // ---- Dialect (filled right after a connect).
  int LoadDataSourceSettings(DataSourceSettings* record);
  int IsDBase() const { return Kind(DS_KIND_DBASE); }
  int IsParadox() const { return Kind(DS_KIND_PARADOX); }
  int IsSqlServer() const { return Kind(DS_KIND_SQLSERVER); }
  int IsNetWareSql() const { return Kind(DS_KIND_NETWARE); }
  int IsBtrieve() const { return Kind(DS_KIND_BTRIEVE); }
  int IsOracle() const { return Kind(DS_KIND_ORACLE); }
  int IsExcel() const { return Kind(DS_KIND_EXCEL); }
  int IsAccess() const { return Kind(DS_KIND_ACCESS); }
  int IsFileDataSource() const { return IsParadox() || IsDBase(); }
  int SupportsMaxRows() const { return Flag(DS_SUPPORTS_MAX_ROWS); }
  int UseApprox() const { return Flag(DS_APPROX); }
  int CanModifySelect() const { return Flag(DS_MODIFY_SELECT); }
  int UsePassExec() const { return Flag2(DS2_PASS_EXEC); }
  int LikeWithExpression() const { return Flag(DS_LIKE_WITH_EXPRESSION); }
  int UsesDirPrefix() const { return Flag(DS_USES_DIR_PREFIX); }
  int UsesDosFile() const { return Flag(DS_USES_DOS_FILE); }
  int ExpressionsInOrderBy() const { return Flag(DS_EXPRESSIONS_IN_ORDER_BY); }
  int SupportsOwnerNames() const { return Flag(DS_OWNER_NAMES); }
  int AlwaysQualifyColList() const { return Flag(DS_ALWAYS_QUALIFY_COL_LIST); }
  int AlwaysUseTableAlias() const { return Flag(DS_ALWAYS_USE_TABLE_ALIAS); }
  int AlwaysQualifySortList() const { return Flag(DS_ALWAYS_QUALIFY_SORT_LIST); }
  int AddWhereFalse() const { return Flag(DS_ADD_WHERE_FALSE); }
  int UseFileExt() const { return Flag(DS_USE_FILE_EXT); }
  int AlwaysEngineEval() const { return Flag(DS_ALWAYS_ENGINE_EVAL); }
  int QSwitch() const { return Flag(DS_QSWITCH); }
  int SelectSortFields() const { return Flag2(DS2_SELECT_SORT_FIELDS); }
  int AlwaysPreFetch() const { return Flag2(DS2_ALWAYS_PREFETCH); }
  int ListSystemTables() const { return Flag2(DS2_LIST_SYSTEM_TABLES); }
  int JetDBFilter() const { return Flag2(DS2_JET_DB_FILTER); }
  int GetOuterJoinStyle() const;
  int GetIdentifierCase() const;
  // buf holds at least 11 bytes.
  void GetIdentifierQuote(char* buf) const;
  const char* GetProcVerb() const;
  const char* GetCurrentQualifier() const;
  const char* GetDriverName() const;
  const char* GetDriverDescription() const;
  const char* GetDbmsName() const;
  const char* GetPlatformName() const;
  uint32_t GetMaxLiteralLength() const;
  void GetDataSourceDBTerm(char* buf, int len) const;
  int JoinAcrossDir() const;
  int GetTableFileFilterId() const;
  const char* GetTableFileExtension() const;
  const char* GetFileDbmsName() const;
  bool UsesFileTables();
  uint32_t GetDatabaseDriveBit();
  std::string QuoteTablePath(const char* path) const;
  // A table of another database file of the same driver ("file\table"): the
  // name the current connection reads it by. A data source whose settings
  // give an AttachDatabase statement attaches the file once per connection
  // and names the table through it; a place that is the connection's own
  // database gives the bare table; anything else stays as it is.
  std::string SqlNameOfPlace(const char* reference);
  static bool TextIsEight(const char* text);

  // ---- Statements on the current connection.
  void SetOemConversion(bool on) { oemConversion_ = on; }
  void EndStatement();
  // True while a statement's rows may still be read on the current connection.
  bool StatementOpen() const { return CurrentStatement() != 0; }
  // What a statement given to ExecSql is. kQuery: one reading statement or
  // procedure call; kReportStatement: the same, or, where the data source
  // takes an exec statement without its "exec", a procedure's name and its
  // arguments; kOwn: one of the program's own settings (kmwsql.ini), sent
  // as it stands.
  enum class SqlUse { kQuery, kReportStatement, kOwn };
  // 0 success, 1 failure (the message into errBuf when given, else shown).
  // Any but the program's own statement is read by the server's rules first
  // and refused with its reason unless it only reads; on PostgreSQL a
  // reading statement runs in a read-only transaction ended with the
  // statement, and a procedure call's work is committed.
  int ExecSql(const char* sql, char* errBuf = nullptr, int errSize = 0, SqlUse use = SqlUse::kQuery);
  // ExecSql under kmw.ini's QueryTimeout: what a report sends to learn its
  // columns or read its rows.
  int ExecReportSql(const char* sql, char* errBuf, int errSize, SqlUse use);
  // The current connection's rules for reading SQL text (with none: the
  // strictest).
  SqlCheckRules SqlRules() const;
  SqlServer Server() const;
  // Every row of the statement was read and is kept elsewhere: the
  // transaction it runs in ends now, not with the statement, so a run that
  // waits on its reader (a preview) holds nothing on the server.
  void EndTransactionOfReadRows() { EndStatementTransaction(); }
  // 0 a row, 1 the end, -1 an error.
  int FetchNext();
  // The bound result is read in turn from here on (see qeReadAhead).
  void ReadAhead();
  int FetchRandom(long row);
  bool SetSelectOptions();
  const char* GetColumnText(int first, int last, char separator);
  int GetColumnCount();
  int GetColumnType(int column);
  long GetColumnDbType(int column);
  bool IsMemoColumn(int column);
  // The driver's name of the column's type ("" when it gives none).
  std::string ColumnTypeName(int column);
  // Whether the server keeps the column's values in a type of its own that
  // the driver hands over as a number or a text (PostgreSQL's money, inet,
  // an enum): such a value neither meets 0 or '' in SQL nor orders as the
  // program's numbers and texts.
  bool ColumnTypeIsServersOwn(int column);
  // A type of the server's own that it cannot order (PostgreSQL's json):
  // the server orders its text.
  bool ColumnOrdersAsText(int column);
  // The driver reports that the column holds no missing value.
  bool ColumnNeverMissing(int column);
  // buf holds at least 130 bytes. 0 or -1.
  int GetColumnName(char* buf, int column);
  long GetColumnWidth(int column);
  long GetColumnPrecision(int column);
  long GetColumnScale(int column);
  int BindColumn(int column, void* buffer, int32_t length, int32_t* lengthCell);
  // Whether the current row's value of a bound text column lost characters
  // to the code page; lost then holds what each '?' of it stands for.
  bool ColumnLostChars(int column, std::string* lost);
  bool GetColumnDateRange(int column);
  bool IsTimeColumn(int column);
  bool ListTables(const char* pattern);
  int SetMaxRows(long n);
  void SetQueryTimeout(long seconds);
  static void ParseDateText(const char* text, DateTimeParts* value);
  static void ParseTimeOfDayText(const char* text, DateTimeParts* time);
  static void ParseTimestampText(const char* text, DateTimeParts* value);

  // ---- State read by other parts of the data layer.
  int suppressFlag = 0;    // set by a database switch: failures are not shown
  int openQuery = 0;       // cleared by EndStatement
  int dbAnsi = 1;          // 0: fetched text is OEM
  int listReloadFlag = 0;  // the table dialogs reload their lists
  char cachedNameByte = 0;
  void* cachedLists[3] = {nullptr, nullptr, nullptr};  // heap blocks of the table dialogs
  // The database library's revision; 2 here (revision-1 type codes never occur).
  static constexpr int kLibraryRevision = 2;

 private:
  static void Keep(char*& slot, const char* text);
  bool StartLibrary();
  int Kind(uint32_t bit) const { return current_ && (current_->flags & bit) ? 1 : 0; }
  int Flag(uint32_t bit) const { return current_ && (current_->flags & bit) ? 1 : 0; }
  int Flag2(uint32_t bit) const { return current_ && (current_->flags2 & bit) ? 1 : 0; }
  void FreeRecord(DataSourceSettings* record);
  // ConnectDataSource with a text the program trusts (the driver's own).
  int Connect(const char* name, bool allowPrompt, bool reportErrors, const char* connectText);
  // Makes a new connection read-only where its driver or platform can; false
  // (after the message when asked) when the platform's statement for it fails.
  bool MakeReadOnly(DataSourceSettings* record, bool reportErrors);
  // How the new connection's server reads SQL text (and which functions
  // are refused on it), from the server and kmwsql.ini.
  // False when the server cannot be made to read text as the check does.
  bool LoadReadingRules(DataSourceSettings* record);
  // Opens the transaction a statement runs in where the server needs one
  // (PostgreSQL); false after the message.
  bool BeginStatementTransaction(bool procedure, char* errBuf, int errSize);
  void EndStatementTransaction();
  void AppendConnectText(std::string& text, const char* addition);
  std::string SqlIniString(const char* section, const char* key, const char* def, int size) const;
  int SqlIniInt(const char* section, const char* key, int def) const;
  uint16_t CurrentStatement() const { return current_ ? current_->statement : 0; }

  DataSourceSettings* slots_[kMaxConnections] = {};
  int connectionCount_ = 0;
  int cursor_ = 0;
  DataSourceSettings* current_ = nullptr;
  DataSourceEntry* entries_[kMaxDataSourceEntries] = {};
  uint16_t sourcesHandle_ = 0;
  char* password_ = nullptr;
  char* userName_ = nullptr;
  char* dataSourceOverride_ = nullptr;
  char* reportDatabase_ = nullptr;
  char* extraConnectText_ = nullptr;
  const char* commandLineSid_ = nullptr;
  bool oemConversion_ = false;
  char versionText_[128] = {};
  char sourceName_[33] = {};
  std::string sentSql_;  // the text as sent, when it differs from the one given
};

// The data access of a report model, made on first use; it ends its
// connections when it goes with the model.
DataAccess* GetDataAccess(CKmComposite* model);

// A value for a connect text: as it is when nothing in it could read as
// another attribute, else in braces with "}" doubled.
std::string ConnectValue(const std::string& value);
// What a data source may be called: 1 to 32 characters, no control
// characters and none of []{}(),;?*=!@ or a backslash.
bool IsValidDataSourceName(const char* name);
// A database name with no ";", "{", "}", "=" or control characters.
bool IsValidDatabaseName(const char* name);
// A user name or password that can go into a connect text: none of ";",
// "{" or "}" (a null one too).
bool IsValidLogonValue(const char* value);
// Whether a connect text that came from outside (a query file, a report, a
// start file) only names a data source, the keys a user logs on with and
// keys of that source's driver that only tune how it talks to its server
// (as the driver completes a connect text), each value free of braces and
// control characters; else false with the one reason in *why, before
// anything connects with it.
bool ReadFileConnectText(const std::string& text, std::string* why);
