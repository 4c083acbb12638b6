#include "data/sql_literals.h"

#include "foundation/doc_base.h"

#include "data/data_access.h"
#include "data/expr_to_sql.h"
#include "data/select_builder.h"
#include "data/table_fields.h"
#include "expr/calendar.h"
#include "core/composite.h"
#include "platform/win/profile.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

constexpr int kTemplateMax = 4000;

std::string ReadIni(const std::string& file, const char* section, const char* key) {
  if (file.empty() || section == nullptr || *section == 0) return std::string();
  std::string buf(kTemplateMax + 1, '\0');
  DWORD n = GetPrivateProfileStringA(section, key, "", &buf[0], kTemplateMax + 1, file.c_str());
  buf.resize(n);
  return buf;
}

bool CodeAt(const char* p, const char* code) { return strncasecmp(p, code, std::strlen(code)) == 0; }

void SplitDay(int32_t day, DateParts* d) {
  if (JulianToYMD(day, *d) != 0) *d = DateParts();
}

void SplitTime(double time, TimeParts* t) {
  if (!(time >= 0) || time >= 86400e6) time = 0;  // a null or out-of-range time writes midnight
  MicrosecondsToTime(time, *t);
}

}  // namespace

std::string ReadSqlTemplate(CKmComposite* model, const char* key) {
  DataAccess* da = GetDataAccess(model);
  std::string v = ReadIni(da->sqlIniPath, da->GetPlatformName(), key);
  if (v.empty()) v = ReadIni(da->sqlIniPath, "Common", key);
  return v;
}

std::string ExpandLiteralTemplate(const char* format, int year, int month, int day, int hours, int minutes,
                                  int seconds) {
  std::string out;
  char num[16];
  for (const char* p = format; *p;) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    const char* c = p + 1;
    int value = -1, digits = 2, used = 0;
    if (CodeAt(c, "yyyy")) {
      value = year, digits = 4, used = 4;
    } else if (CodeAt(c, "yy")) {
      value = ((year % 100) + 100) % 100, used = 2;
    } else if (CodeAt(c, "mm")) {
      value = month, used = 2;
    } else if (CodeAt(c, "dd")) {
      value = day, used = 2;
    } else if (CodeAt(c, "h")) {
      value = hours, used = 1;
    } else if (CodeAt(c, "m")) {
      value = minutes, used = 1;
    } else if (CodeAt(c, "s")) {
      value = seconds, used = 1;
    }
    if (used == 0) {
      out += '%';
      ++p;
      continue;
    }
    std::snprintf(num, sizeof num, "%0*d", digits, value);
    out += num;
    p = c + used;
  }
  return out;
}

void FormatSqlDateLiteral(CKmComposite* model, int32_t day, std::string* out) {
  DateParts d;
  SplitDay(day, &d);
  std::string fmt = ReadSqlTemplate(model, "DateFormat");
  if (!fmt.empty()) {
    *out = ExpandLiteralTemplate(fmt.c_str(), d.year, d.month, d.day, 0, 0, 0);
    return;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "[d'%04d-%02d-%02d 00:00:00.000000']", d.year, d.month, d.day);
  *out = buf;
}

void FormatSqlTimeLiteral(CKmComposite* model, double time, std::string* out) {
  TimeParts t;
  SplitTime(time, &t);
  std::string fmt = ReadSqlTemplate(model, "TimeFormat");
  if (!fmt.empty()) {
    *out = ExpandLiteralTemplate(fmt.c_str(), 0, 0, 0, t.hours, t.minutes, t.seconds);
    return;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "[t'0000-00-00 %02d:%02d:%02d.%06u']", t.hours, t.minutes, t.seconds,
                t.microseconds);
  *out = buf;
}

void FormatSqlTimestampLiteral(CKmComposite* model, int32_t day, double time, std::string* out) {
  DateParts d;
  SplitDay(day, &d);
  TimeParts t;
  SplitTime(time, &t);
  std::string fmt = ReadSqlTemplate(model, "DatetimeFormat");
  if (!fmt.empty()) {
    *out = ExpandLiteralTemplate(fmt.c_str(), d.year, d.month, d.day, t.hours, t.minutes, t.seconds);
    return;
  }
  char buf[80];
  std::snprintf(buf, sizeof buf, "[dt'%04d-%02d-%02d %02d:%02d:%02d.%06u']", d.year, d.month, d.day, t.hours,
                t.minutes, t.seconds, t.microseconds);
  *out = buf;
}

TextLiteralForm TextLiteralFormOf(CKmComposite* model) {
  DataAccess* da = GetDataAccess(model);
  if (da->Server() == SqlServer::kPostgres) return TextLiteralForm::kEscapeString;
  if (da->Current() != nullptr && da->Current()->backslashInStrings == 1) return TextLiteralForm::kBackslashes;
  return TextLiteralForm::kStandard;
}

std::string TidiedTextSql(CKmComposite* model, const std::string& sql) {
  std::string pad;
  const char padText[2] = {static_cast<char>(model->SpaceDotChar), 0};
  AppendSqlTextLiteral(&pad, padText, TextLiteralFormOf(model));
  return "rtrim(replace(" + sql + ", " + pad + ", ' '))";
}

void AppendSqlTextLiteral(std::string* out, const char* text, TextLiteralForm form) {
  if (form == TextLiteralForm::kEscapeString) *out += 'E';
  *out += '\'';
  for (const char* p = text; *p; ++p) {
    // A quote is doubled, never escaped: the quotes still pair up for
    // whoever reads the statement without knowing the form.
    if (*p == '\'') *out += '\'';
    if (*p == '\\' && form != TextLiteralForm::kStandard) *out += '\\';
    *out += *p;
  }
  *out += '\'';
}

std::string FormatSqlNumber(double value) {
  if (!std::isfinite(value)) return "0";
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*G", digits, value);
    if (std::strtod(buf, nullptr) == value) break;
  }
  return buf;
}

int ExecuteSelect(CKmComposite* model, const char* sql, int /*option*/, int sortColumns, bool engineSort) {
  DataAccess* da = GetDataAccess(model);
  SqlRunState* st = GetSqlRunState(model);
  if (da->SetMaxRows(st->recordLimit) != 0) return 1;
  st->sortColumnCount = sortColumns;
  if (engineSort) da->SetSelectOptions();
  const bool userStatement = model->statementText != nullptr && model->statementText[0] != 0;
  if (da->ExecReportSql(sql, nullptr, 0,
                        userStatement ? DataAccess::SqlUse::kReportStatement : DataAccess::SqlUse::kQuery) != 0)
    return 1;
  return BindResultColumns(model, true, sortColumns);
}

int ExecSqlWithWait(CKmComposite* model, const char* sql, char* message, int messageSize) {
  KmDocBase* doc = GetActiveDocBase();
  if (doc != nullptr) doc->SetWaitCursor(1);
  DataAccess* da = GetDataAccess(model);
  const bool userStatement = model->statementText != nullptr && model->statementText[0] != 0;
  const int r = da->ExecReportSql(sql, message, messageSize,
                            userStatement ? DataAccess::SqlUse::kReportStatement : DataAccess::SqlUse::kQuery);
  da->EndStatement();
  if (doc != nullptr) doc->SetWaitCursor(0);
  return r;
}

int FetchNextRow(CKmComposite* model) { return GetDataAccess(model)->FetchNext(); }
int FetchRow(CKmComposite* model, long row) { return GetDataAccess(model)->FetchRandom(row); }

void EndSelect(CKmComposite* model) {
  DataAccess* da = GetDataAccess(model);
  da->EndStatement();
  da->SetMaxRows(0);
}

void SetRecordLimit(CKmComposite* model, long n) { GetSqlRunState(model)->recordLimit = n < 0 ? 0 : n; }
long GetRecordLimit(CKmComposite* model) { return GetSqlRunState(model)->recordLimit; }

std::string StripTablePath(CKmComposite* model, const char* name) {
  DataAccess* da = GetDataAccess(model);
  char quote[11] = {};
  da->GetIdentifierQuote(quote);
  const char q = quote[0] == ' ' ? 0 : quote[0];
  std::string out = name;
  if (da->UsesDirPrefix()) {
    if (q && !out.empty() && out.back() == q) {
      out.pop_back();
      size_t open = out.rfind(q);
      if (open != std::string::npos) out.erase(0, open + 1);
    } else {
      size_t slash = out.rfind('\\');
      if (slash != std::string::npos) out.erase(0, slash + 1);
    }
    if (da->UsesDosFile()) {
      size_t dot = out.rfind('.');
      if (dot != std::string::npos) out.erase(dot);
    }
  } else if (q) {
    std::string kept;
    for (char c : out)
      if (c != q) kept += c;
    out = kept;
  }
  return out;
}

uint32_t GetTableDriveMask(CKmComposite* model) {
  DataAccess* da = GetDataAccess(model);
  uint32_t usage = da->GetOdbcInfoLong(84);
  if (usage != 1 && usage != 2) return 0;
  auto driveBit = [](const char* path) -> uint32_t {
    if (path && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
      return 1u << (std::toupper(static_cast<unsigned char>(path[0])) - 'A');
    return 0;
  };
  char db[261] = {};
  uint32_t def = da->GetDatabaseName(db, sizeof db) ? driveBit(db) : 0;
  if (model->statementText != nullptr && model->statementText[0]) return def;
  uint32_t mask = 0;
  for (TableSlot* t : model->tableSlots) {
    if (t == nullptr) continue;
    uint32_t bit = driveBit(t->path);
    mask |= bit ? bit : def;
  }
  return mask;
}

const char* GetDatabaseLibraryVersion(CKmComposite* model) { return GetDataAccess(model)->GetLibraryVersion(); }

int SqlRowSource::FetchNextRow() { return GetDataAccess(model_)->FetchNext(); }
int SqlRowSource::FetchRow(uint32_t recordNumber) {
  return GetDataAccess(model_)->FetchRandom(static_cast<long>(recordNumber));
}
void SqlRowSource::ConvertFetchedRow(CKmComposite* model) { ::ConvertFetchedRow(model); }
