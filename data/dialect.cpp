// The SQL dialect of a connection: what the driver says of itself and what
// kmwsql.ini says of the database platform, and the queries over it.
#include "data/data_access.h"
#include "data/sql_names.h"

#include "data/db_errors.h"
#include "foundation/heap_strings.h"
#include "platform/qe/odbc_direct.h"
#include "platform/win/profile.h"
#include "platform/win/wsprintf.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

struct KindName {
  const char* name;
  uint32_t bit;
};

const KindName kKinds[] = {
    {"NetWare SQL", DS_KIND_NETWARE}, {"dBASE", DS_KIND_DBASE},   {"SQL Server", DS_KIND_SQLSERVER},
    {"Btrieve", DS_KIND_BTRIEVE},     {"Oracle", DS_KIND_ORACLE}, {"Paradox", DS_KIND_PARADOX},
    {"Excel", DS_KIND_EXCEL},         {"Access", DS_KIND_ACCESS}, {"Text", DS_LIKE_WITH_EXPRESSION},
};

struct SettingKey {
  const char* key;  // null: the key text is string 1185
  int def;
  bool second;  // flags2
  uint32_t bit;
};

const SettingKey kSettings[] = {
    {"AlwaysQualifyColList", 0, false, DS_ALWAYS_QUALIFY_COL_LIST},
    {"AlwaysUseTableAlias", 0, false, DS_ALWAYS_USE_TABLE_ALIAS},
    {"AlwaysQualifySortList", 0, false, DS_ALWAYS_QUALIFY_SORT_LIST},
    {"AddWhereFalse", 1, false, DS_ADD_WHERE_FALSE},
    {"UseFileExt", 1, false, DS_USE_FILE_EXT},
    {"AlwaysEngineEval", 0, false, DS_ALWAYS_ENGINE_EVAL},
    {"QSwitch", 0, false, DS_QSWITCH},
    {"DataSourceSupportsMaxRows", 1, false, DS_SUPPORTS_MAX_ROWS},
    {"DataSourceApprox", 1, false, DS_APPROX},
    {"DataSourceModifySelect", 1, false, DS_MODIFY_SELECT},
    {"DataSourceLikeWithExpression", 1, false, DS_LIKE_WITH_EXPRESSION},
    {"DBAnsi", 1, false, DS_DB_ANSI},
    {"DataSourceUsesDirPrefix", 0, false, DS_USES_DIR_PREFIX},
    {"DataSourceUsesDOSFile", 0, false, DS_USES_DOS_FILE},
    {"SelectSortFields", 0, true, DS2_SELECT_SORT_FIELDS},
    {"JetDBFilter", 0, true, DS2_JET_DB_FILTER},
    {"PassExec", 1, true, DS2_PASS_EXEC},
    {"ListSystemTables", 1, true, DS2_LIST_SYSTEM_TABLES},
    {nullptr, 0, true, DS2_ALWAYS_PREFETCH},
};

// Whether a ":"-separated list of alternatives is empty or holds the value (ignoring case).
bool ListMatches(const std::string& list, const char* value) {
  if (list.empty()) return true;
  size_t at = 0;
  for (;;) {
    size_t colon = list.find(':', at);
    std::string alt = list.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
    if (strcasecmp(alt.c_str(), value) == 0) return true;
    if (colon == std::string::npos) return false;
    at = colon + 1;
  }
}

bool FirstCharIn(const char* text, const char* set) {
  return text[0] && std::strchr(set, std::toupper(static_cast<unsigned char>(text[0])));
}

// Info text into a buffer of size bytes; every blank becomes the end.
void InfoNoBlanks(void* hdbc, uint16_t type, char* buf, int size) {
  if (OdbcGetInfoText(hdbc, type, buf, size) != ODBC_OK && buf[0] == '\0') return;
  for (char* p = buf; *p; ++p)
    if (*p == ' ') *p = '\0';
}

}  // namespace

std::string DataAccess::SqlIniString(const char* section, const char* key, const char* def, int size) const {
  if (sqlIniPath.empty() || !section || !*section || size <= 0) return def ? def : "";
  std::vector<char> buf(size + 2, '\0');
  GetPrivateProfileStringA(section, key, def ? def : "", buf.data(), static_cast<uint32_t>(size), sqlIniPath.c_str());
  return std::string(buf.data());
}

int DataAccess::SqlIniInt(const char* section, const char* key, int def) const {
  if (sqlIniPath.empty() || !section || !*section) return def;
  return static_cast<int>(GetPrivateProfileIntA(section, key, def, sqlIniPath.c_str()));
}

int DataAccess::LoadDataSourceSettings(DataSourceSettings* rec) {
  if (!rec) return 1;
  void* h = rec->hdbc;
  rec->dbmsName[0] = rec->dbmsVersion[0] = rec->driverName[0] = '\0';
  OdbcGetInfoText(h, ODBC_INFO_DBMS_NAME, rec->dbmsName, 33);
  OdbcGetInfoText(h, ODBC_INFO_DBMS_VER, rec->dbmsVersion, 21);
  OdbcGetInfoText(h, ODBC_INFO_DRIVER_NAME, rec->driverName, 21);
  char text[64];
  if (OdbcGetInfoText(h, ODBC_INFO_EXPRESSIONS_IN_ORDERBY, text, sizeof text) != ODBC_OK) CopyBounded(text, 2, "N");
  if (FirstCharIn(text, "Y")) rec->flags |= DS_EXPRESSIONS_IN_ORDER_BY;
  uint32_t v = 0;
  rec->maxLiteralLength = OdbcGetInfoNumber(h, ODBC_INFO_MAX_CHAR_LITERAL_LEN, &v) == ODBC_OK ? v : 0;
  if (OdbcGetInfoNumber(h, ODBC_INFO_MAX_OWNER_NAME_LEN, &v) == ODBC_OK && v != 0) rec->flags |= DS_OWNER_NAMES;
  if (OdbcGetInfoText(h, ODBC_INFO_OUTER_JOINS, text, sizeof text) != ODBC_OK) CopyBounded(text, 2, "N");
  if (FirstCharIn(text, "YFP")) rec->flags |= DS_OUTER_JOINS;
  if (OdbcGetInfoNumber(h, ODBC_INFO_IDENTIFIER_CASE, &v) != ODBC_OK || v < 1 || v > 4) v = 4;
  rec->flags = (rec->flags & ~DS_IDENTIFIER_CASE_MASK) | ((v - 1) << 12);
  InfoNoBlanks(h, ODBC_INFO_IDENTIFIER_QUOTE_CHAR, rec->identifierQuote, 11);
  InfoNoBlanks(h, ODBC_INFO_QUALIFIER_NAME_SEPARATOR, rec->qualifierSeparator, 11);

  // The platform: the first [Platforms] section whose matching keys fit.
  rec->platform[0] = '\0';
  std::vector<char> keys(2000, '\0');
  if (!sqlIniPath.empty())
    GetPrivateProfileStringA("Platforms", nullptr, "", keys.data(), static_cast<uint32_t>(keys.size()),
                             sqlIniPath.c_str());
  for (const char* key = keys.data(); *key && key < keys.data() + keys.size(); key += std::strlen(key) + 1) {
    std::string kind = SqlIniString("Platforms", key, "", 80);
    std::string dbms = SqlIniString(key, "DataSourceDBMS", "", 128);
    std::string version = SqlIniString(key, "DataSourceDBMSVersion", "", 128);
    std::string driver = SqlIniString(key, "DataSourceDriver", "", 128);
    bool match = (dbms.empty() && driver.empty() && strcasecmp(key, rec->dbmsName) == 0) ||
                 (ListMatches(driver, rec->driverName) && ListMatches(dbms, rec->dbmsName) &&
                  ListMatches(version, rec->dbmsVersion));
    if (!match) continue;
    CopyBounded(rec->platform, sizeof rec->platform, key);
    for (const KindName& k : kKinds)
      if (strcasecmp(kind.c_str(), k.name) == 0) {
        rec->flags &= ~(DS_KIND_MASK | DS_LIKE_WITH_EXPRESSION);
        rec->flags |= k.bit;
      }
    break;
  }

  const char* section = rec->platform[0] ? rec->platform : rec->dbmsName;
  int style = section[0] ? SqlIniInt(section, "DataSourceOuterJoinStyle", 0) : 0;
  if (style < 0 || style > 2) style = 0;
  rec->flags = (rec->flags & ~DS_OUTER_JOIN_STYLE_MASK) | (static_cast<uint32_t>(style) << 8);
  for (const SettingKey& s : kSettings) {
    const char* key = s.key ? s.key : GetResString(1185, 1);
    uint32_t& word = s.second ? rec->flags2 : rec->flags;
    if (SqlIniInt(section, key, s.def) != 0) word |= s.bit;
    else word &= ~s.bit;
  }
  CopyBounded(rec->procVerb, sizeof rec->procVerb, SqlIniString(section, "DataSourceProcVerb", "", 21).c_str());

  // File-based text drivers of the old platform need a data-dictionary switch in their entry.
  if (SqlIniInt(section, "ErrorOnMissingQEDDE", 1) != 0 &&
      (strcasecmp(rec->driverName, "SIMBA.DLL") == 0 || strcasecmp(rec->driverName, "ODBCJT16.DLL") == 0 ||
       strcasecmp(rec->driverName, "ODBCJT32.DLL") == 0)) {
    bool simba = strcasecmp(rec->driverName, "SIMBA.DLL") == 0;
    char fileType[19];
    OdbcGetPrivateProfileString(rec->name, simba ? "FileType" : "FIL", "", fileType, sizeof fileType, "odbc.ini");
    char ext[19];
    OdbcGetPrivateProfileString(rec->name, "QEDATADICTEXTENSIONS", "", ext, sizeof ext, "odbc.ini");
    if (strcasecmp(fileType, simba ? "text" : "text;") == 0 && std::atoi(ext) != 1) {
      if (DbAskOkCancel("This data source's section of the Windows Registry should include a string value named "
                        "QEDATADICTEXTENSIONS with data '1'.\n\nAdd Registry string?")) {
        OdbcWritePrivateProfileString(rec->name, "QEDATADICTEXTENSIONS", "1", "odbc.ini");
        DbErrorBox("You can now connect by reselecting this data source");
      }
      return 1;
    }
  }

  OdbcGetPrivateProfileString("ODBC Data Sources", rec->name, "", rec->driverDescription, 81, "odbc.ini");
  rec->currentQualifier[0] = '\0';
  if (ini.useDefaultDatabase && (rec->flags & DS_KIND_SQLSERVER)) {
    if (OdbcGetCurrentQualifier(h, rec->currentQualifier, sizeof rec->currentQualifier) == ODBC_FAILED)
      rec->currentQualifier[0] = '\0';
  }
  return 0;
}

int DataAccess::GetOuterJoinStyle() const {
  if (!current_) return OJ_NONE;
  int style = static_cast<int>((current_->flags & DS_OUTER_JOIN_STYLE_MASK) >> 8);
  if (style == 1 || style == 2) return style;
  return (current_->flags & DS_OUTER_JOINS) ? OJ_ESCAPE : OJ_NONE;
}

int DataAccess::GetIdentifierCase() const {
  if (!current_) return 0;
  switch (((current_->flags & DS_IDENTIFIER_CASE_MASK) >> 12) + 1) {
    case 1: return 3;  // upper
    case 2: return 2;  // lower
    default: return 1; // sensitive or mixed
  }
}

void DataAccess::GetIdentifierQuote(char* buf) const {
  if (!buf) return;
  CopyBounded(buf, 11, current_ ? current_->identifierQuote : "");
}

const char* DataAccess::GetProcVerb() const { return current_ ? current_->procVerb : ""; }
const char* DataAccess::GetCurrentQualifier() const { return current_ ? current_->currentQualifier : ""; }
const char* DataAccess::GetDriverName() const { return current_ ? current_->driverName : nullptr; }
const char* DataAccess::GetDriverDescription() const { return current_ ? current_->driverDescription : ""; }
const char* DataAccess::GetDbmsName() const { return current_ ? current_->dbmsName : ""; }

const char* DataAccess::GetPlatformName() const {
  if (!current_) return "";
  return current_->platform[0] ? current_->platform : current_->dbmsName;
}

uint32_t DataAccess::GetMaxLiteralLength() const { return current_ ? current_->maxLiteralLength : 0; }

void DataAccess::GetDataSourceDBTerm(char* buf, int len) const {
  if (!buf || len <= 0) return;
  CopyBounded(buf, len, SqlIniString(GetPlatformName(), "DataSourceDBTerm", "", len).c_str());
}

int DataAccess::JoinAcrossDir() const {
  if (!current_) return 0;
  return SqlIniInt(GetPlatformName(), "JoinAcrossDir", 0);
}

int DataAccess::GetTableFileFilterId() const {
  if (IsParadox()) return 1135;
  if (IsDBase()) return 206;
  if (IsBtrieve()) return 291;
  if (IsExcel()) return 293;
  if (IsAccess()) return 292;
  return 294;
}

const char* DataAccess::GetTableFileExtension() const {
  if (IsParadox()) return "DB";
  if (IsDBase()) return "DBF";
  if (IsBtrieve()) return "DDF";
  if (IsExcel()) return "XLS";
  if (IsAccess()) return "MDB";
  return "";
}

const char* DataAccess::GetFileDbmsName() const {
  if (IsParadox()) return "Paradox";
  if (IsDBase()) return "dBASE";
  return "";
}

bool DataAccess::UsesFileTables() {
  if (!current_ || !current_->hdbc) return false;
  uint32_t v = 0;
  return OdbcGetInfoNumber(current_->hdbc, ODBC_INFO_FILE_USAGE, &v) == ODBC_OK && (v == 1 || v == 2);
}

uint32_t DataAccess::GetDatabaseDriveBit() {
  if (!current_ || !current_->hdbc) return 0;
  char name[261];
  if (OdbcGetInfoText(current_->hdbc, ODBC_INFO_DATABASE_NAME, name, sizeof name) != ODBC_OK) return 0;
  unsigned char c = static_cast<unsigned char>(name[0]);
  if (!std::isalpha(c) || name[1] != ':') return 0;
  return 1u << (std::toupper(c) - 'A');
}

std::string DataAccess::QuoteTablePath(const char* path) const {
  std::string p = path ? path : "";
  if (!current_ || std::strcmp(current_->qualifierSeparator, "\\") != 0 || !current_->identifierQuote[0]) return p;
  const std::string q = current_->identifierQuote;
  auto endsWithQuote = [&](const std::string& s) { return s.size() >= q.size() && s.compare(s.size() - q.size(), q.size(), q) == 0; };
  // The part between a closing quote at the end and the quote before it; a
  // closing quote without an opening one is taken as part of the name.
  auto quotedTail = [&](const std::string& s, std::string& inner, std::string& before) {
    size_t open = s.size() > q.size() ? s.rfind(q, s.size() - q.size() - 1) : std::string::npos;
    if (!endsWithQuote(s) || open == std::string::npos) return false;
    inner = s.substr(open + q.size(), s.size() - q.size() - open - q.size());
    before = s.substr(0, open);
    return true;
  };
  std::string table, rest;
  if (!quotedTail(p, table, rest)) {
    size_t slash = p.rfind('\\');
    table = slash == std::string::npos ? p : p.substr(slash + 1);
    rest = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  }
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  std::string dir, ignored;
  if (!quotedTail(rest, dir, ignored)) dir = rest;
  std::string out;
  if (!dir.empty()) out = QuoteSqlIdentifier(dir, q) + "\\";
  return out + QuoteSqlIdentifier(table, q);
}

bool DataAccess::TextIsEight(const char* text) { return text && std::atoi(text) == 8; }
