// Result columns become report fields; fetched buffers become field values.
#include "data/table_fields.h"
#include "data/select_builder.h"
#include "data/memo_sources.h"
#include "data/db_errors.h"
#include "data/sql_names.h"

#include "foundation/settings.h"

#include "data/data_access.h"
#include "data/record_cache.h"
#include "data/reportview.h"
#include "data/select_params.h"
#include "data/user_statement.h"
#include "expr/calendar.h"
#include "foundation/byte_order.h"
#include "foundation/heap_strings.h"
#include "foundation/text_helpers.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "platform/qe/qe.h"
#include "platform/win/codepage.h"
#include "platform/win/wsprintf.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

namespace {

constexpr int kDescribeWhereFalseId = 3204;
constexpr int kDescribeId = 3272;
constexpr int kSlowDescribeId = 674;
constexpr int kColumnNameId = 1143;
constexpr const char* kUnsupportedType = "Select statement would return unsupported data type";
constexpr const char* kNoFieldMemory = "Insufficient memory for field list";
constexpr const char* kProcedureDescribe = "select * from KMW_%s";

void (*g_sink)(const char*, bool) = nullptr;

void ReleaseBinding(CKmComposite*, FieldDef* field) {
  FreeFieldValueBuffer(field);
  delete field->dataBinding;
  field->dataBinding = nullptr;
}

std::string Res(int id) { return GetResString(id, 0); }

// Integer digits a floating-point column shows before its decimals.
constexpr int kFloatIntegerDigits = 7;

bool StartsWithNoCase(const char* text, const char* word) {
  for (; *word; ++word, ++text)
    if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*word)))
      return false;
  return true;
}

}  // namespace

void SetNumericFieldKind(FieldDef* f, int type, uint32_t p, uint32_t s, bool floating) {
  f->flags |= kFieldNumeric;
  f->displayWidth = 6;
  f->displayDecimals = 0;
  f->formatCode = 0x3005;
  if (floating && (type == 6 || type == 7)) {
    // A floating-point column keeps its fraction: the scale the driver gives,
    // else two decimals, with room for seven integer digits.
    const int decimals = s > 0 ? static_cast<int>(std::min<uint32_t>(s, 15)) : 2;
    f->displayDecimals = static_cast<uint8_t>(decimals);
    f->displayWidth = static_cast<uint32_t>(std::min(19, kFloatIntegerDigits + decimals));
    return;
  }
  if (type != 3 && type != 10) return;
  uint32_t display = std::min<uint32_t>(p, 19);
  int decimals;
  if (p <= 19) {
    decimals = static_cast<int>(s);
  } else {
    decimals = 19 - (static_cast<int>(p) - static_cast<int>(s));
    if (decimals < 0) decimals = 0;
  }
  if (decimals > 15) {
    display -= static_cast<uint32_t>(decimals - 15);
    decimals = 15;
  }
  f->displayWidth = display;
  f->displayDecimals = static_cast<uint8_t>(decimals);
  if (type == 10) f->formatCode = 0x3006;
}

namespace {

// Whether a column of numeric type 6 or 7 holds floating-point numbers (a
// 64-bit integer column comes as type 7 too).
bool IsFloatingColumn(long dbType) { return dbType == QE_DB_REAL || dbType == QE_DB_DOUBLE || dbType == QE_DB_FLOAT; }

void SetNumberKind(FieldDef* f, const FieldBinding* b, int type) {
  SetNumericFieldKind(f, type, b->precision, b->scale, IsFloatingColumn(b->dbType));
}

void SetDecimalStorage(FieldDef* f, FieldBinding* b, int type, DataAccess* da, int column) {
  if ((type == 6 || type == 7) && IsFloatingColumn(b->dbType)) {
    b->precision = static_cast<uint32_t>(std::max<long>(0, da->GetColumnPrecision(column)));
    b->scale = static_cast<uint32_t>(std::max<long>(0, da->GetColumnScale(column)));
    return;
  }
  if (type != 3 && type != 10) return;
  b->precision = static_cast<uint32_t>(std::max<long>(0, da->GetColumnPrecision(column)));
  b->scale = static_cast<uint32_t>(std::max<long>(0, da->GetColumnScale(column)));
  f->width = b->precision + 1;
}

// What the driver tells of the column's type beside its kind.
void NoteColumnType(DataAccess* da, FieldBinding* b, int column) {
  b->dbType = da->GetColumnDbType(column);
  b->serversOwnType = da->ColumnTypeIsServersOwn(column);
  b->ordersAsText = da->ColumnOrdersAsText(column);
  b->neverMissing = da->ColumnNeverMissing(column);
}

void DescribeComputedColumn(DataAccess* da, FieldBinding* b, int column) {
  const int type = da->GetColumnType(column);
  b->columnType = static_cast<uint8_t>(type > 0 ? type : 1);
  NoteColumnType(da, b, column);
  if (type == 3 || type == 10 || ((type == 6 || type == 7) && IsFloatingColumn(b->dbType))) {
    b->precision = static_cast<uint32_t>(std::max<long>(0, da->GetColumnPrecision(column)));
    b->scale = static_cast<uint32_t>(std::max<long>(0, da->GetColumnScale(column)));
  }
}

void SetCharWidth(FieldDef* f, uint32_t n) { f->head.width = static_cast<uint8_t>(std::min<uint32_t>(n, 254)); }

// The fetched text as the field's value: line breaks folded, control
// characters dropped; out holds cap bytes with the NUL.
void FoldText(const SqlRunState* st, const char* in, size_t len, char* out, size_t cap) {
  if (cap == 0) return;
  size_t o = 0;
  auto put = [&](char c) {
    if (o + 1 < cap) out[o++] = c;
  };
  // A value without control characters (most are) is copied as it is.
  size_t plain = 0;
  if (!st->charRaw) {
    // Only bytes below 32 change a value: 0xEC and 0x8D are dropped only
    // before a line break, which is one of them.
    plain = ControlFreeLength(in, len);
  }
  if (st->charRaw || plain == len) {
    size_t n = std::min(len, cap - 1);
    std::memcpy(out, in, n);
    out[n] = 0;
    return;
  }
  size_t i = 0;
  while (i < len) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c == '\r' || c == '\n') {
      int breaks = 0;
      while (i < len && (in[i] == '\r' || in[i] == '\n')) {
        char first = in[i++];
        if (i < len && (in[i] == '\r' || in[i] == '\n') && in[i] != first) ++i;
        ++breaks;
      }
      if (st->asciiEditor && breaks == 1) {
        put(' ');
      } else {
        for (int k = 0; k < breaks; ++k) put('\n');
      }
      continue;
    }
    ++i;
    if (!st->asciiEditor && (c == 0xEC || c == 0x8D) && i < len && (in[i] == '\r' || in[i] == '\n')) continue;
    if (c == '\t') {
      put(' ');
    } else if (c >= 32) {
      put(static_cast<char>(c));
    }
  }
  out[o] = 0;
}

void SetDate(uint8_t* v, uint32_t day) { PutU32(v, day); }
void SetTime(uint8_t* v, double micros) { std::memcpy(v + 4, &micros, 8); }

bool ToDayNumber(const DateTimeParts& p, uint32_t* day) {
  if (p.year < 1) return false;
  DateParts d;
  d.year = p.year;
  d.month = p.month;
  d.day = p.day;
  DayNumber n = 0;
  if (YMDToJulian(d, n) != 0 || !IsRealDay(n)) return false;
  *day = static_cast<uint32_t>(n);
  return true;
}

double ToMicros(const DateTimeParts& p, const char* text) {
  TimeParts t;
  t.hours = p.hour;
  t.minutes = p.minute;
  t.seconds = p.second;
  const char* dot = std::strchr(text, '.');
  t.microseconds = dot ? FractionToMicroseconds(dot + 1) : 0;
  double out = 0;
  TimeToMicroseconds(t, out);
  return out;
}

// The buffer of a computed number or date: its text at full precision.
constexpr uint32_t kComputedValueText = 64;

// Every bound field in binding order: the query tables' fetched fields, then
// the server-computed and translated calculations.
// kSizes false: the fields only (n 0), for a walk on every row.
template <bool kSizes = true, typename Fn>
int WalkBoundFields(CKmComposite* model, Fn fn) {
  SqlRunState* st = GetSqlRunState(model);
  DataAccess* da = GetDataAccess(model);
  for (int q = 0; q < st->queryTableCount && q < kMaxTables; ++q) {
    uint8_t t = st->queryTables[q];
    if (t >= kMaxTables || model->tableSlots[t] == nullptr) break;
    TableSlot* slot = model->tableSlots[t];
    FieldDef* f = slot->firstField;
    for (uint32_t k = 0; k < slot->fieldCount && f != nullptr; ++k, f = f->next) {
      if (f->value == nullptr || (f->flags & st->fetchMask) == 0) continue;
      uint32_t n = 0;
      if (kSizes) {
        n = std::min(f->width, st->longestValue) + 1;
        // A long text is fetched whole: it prints and exports whole.
        if (IsLongTextColumn(f)) n = kMemoFetchBytes;
      }
      if (int r = fn(f, n)) return r;
    }
  }
  // Both kinds are needed calculations, not aliases: one test passes over
  // every other field.
  const bool engineEval = da != nullptr && da->AlwaysEngineEval() != 0;
  for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) {
    if ((f->flags & (kFieldNeeded | kFieldCalculation | kFieldAlias)) != (kFieldNeeded | kFieldCalculation)) continue;
    bool server = IsServerComputed(f);
    bool translated = engineEval && (f->flags & (kFieldCalculation | kFieldAlias)) == kFieldCalculation &&
                      f->sqlText != nullptr;
    if (!server && !translated) continue;
    uint32_t n = std::max<uint32_t>(1, std::min(f->width + 1, st->longestValue));
    // A calculation's width is not its column's: room for its whole text, or
    // for a number or a date as text where the database gives it so.
    if (!server && kSizes)
      n = std::max<uint32_t>(n, FieldKind(f) == 0 ? model->GetFieldStorageSize(f) : kComputedValueText);
    if (int r = fn(f, n)) return r;
  }
  return 0;
}

}  // namespace

SqlRunState::SqlRunState() { std::fill(std::begin(queryTables), std::end(queryTables), 255); }

void ApplySqlColumnLimits(CKmComposite* model, const DocSettings& s) {
  SqlRunState* st = GetSqlRunState(model);
  // A limit of 0 or less keeps the built-in one.
  if (s.longCharLimit > 0) st->longCharLimit = static_cast<uint32_t>(s.longCharLimit);
  if (s.memoLimit > 0) st->memoLimit = static_cast<uint32_t>(s.memoLimit);
  st->longCharWrap = s.longCharWrap;
  st->memoWrap = s.memoWrap;
  st->charRaw = s.charRaw;
  st->asciiEditor = s.asciiEditor;
}

// A slot's per-table state is freed with the slot, by whatever frees it.
void ReleaseTableState(TableSlot* table) {
  delete table->dataState;
  table->dataState = nullptr;
}

SqlRunState* GetSqlRunState(CKmComposite* model) {
  // Bindings made from here on go with the model's field state.
  model->GetAttachment<SqlFieldState>();
  if (SqlRunState* st = model->FindAttachment<SqlRunState>()) return st;
  SqlRunState* st = model->GetAttachment<SqlRunState>();
  if (model->releaseFieldData == nullptr) model->releaseFieldData = ReleaseBinding;
  if (model->releaseTableData == nullptr) model->releaseTableData = ReleaseTableState;
  return st;
}

FieldBinding* GetFieldBinding(FieldDef* field, bool create) {
  if (field->dataBinding == nullptr && create) field->dataBinding = new (std::nothrow) FieldBinding;
  return field->dataBinding;
}

TableSqlState* GetTableSqlState(TableSlot* table, bool create) {
  if (table->dataState == nullptr && create) table->dataState = new (std::nothrow) TableSqlState;
  return table->dataState;
}

void FreeTableSlotAndState(CKmComposite* model, uint32_t slot) {
  if (slot < static_cast<uint32_t>(kMaxTables) && model->tableSlots[slot] != nullptr) {
    delete model->tableSlots[slot]->dataState;
    model->tableSlots[slot]->dataState = nullptr;
  }
  model->FreeTableSlot(slot);
}

SqlFieldState::~SqlFieldState() {
  for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) ReleaseBinding(model, f);
  for (TableSlot* t : model->tableSlots) {
    if (t == nullptr) continue;
    delete t->dataState;
    t->dataState = nullptr;
  }
}

void SetSqlMessageSink(void (*sink)(const char*, bool)) { g_sink = sink; }
void ShowSqlMessage(const char* text, bool warning) {
  if (g_sink) g_sink(text, warning);
}

uint32_t FractionToMicroseconds(const char* digits) {
  uint32_t value = 0;
  int n = 0;
  for (; n < 6 && std::isdigit(static_cast<unsigned char>(digits[n])); ++n) value = value * 10 + (digits[n] - '0');
  for (int k = n; k < 6; ++k) value *= 10;
  return value;
}

namespace {

// The name of result column c: the one given for it, else the column's own,
// else "Col<c>".
std::string ResultColumnName(DataAccess* da, const char* given, int c) {
  char name[132] = {};
  if (given) {
    CopyBounded(name, sizeof name, given);
  } else if (da->GetColumnName(name, c) != 0) {
    name[0] = 0;
  }
  if (name[0] == 0) std::snprintf(name, sizeof name, Res(kColumnNameId).c_str(), c);
  return name;
}

// The kind a field takes from result column c of the given type.
uint32_t ResultColumnKind(DataAccess* da, int type, int c) {
  if (type == 8) return da->GetColumnDateRange(c) ? kFieldDate : da->IsTimeColumn(c) ? kFieldTime : kFieldDateTime;
  if (type == 9) return kFieldLogical;
  if ((type >= 3 && type <= 7) || type == 10) return kFieldNumeric;
  return 0;
}

}  // namespace

int BuildSqlFieldList(CKmComposite* model, uint32_t table, const char* userSql, const char* substitutions,
                      const char* const* columnNames, bool quiet, char* errBuf, int errSize) {
  if (table >= kMaxTables || model->tableSlots[table] == nullptr) return 1;
  TableSlot* slot = model->tableSlots[table];
  SqlRunState* st = GetSqlRunState(model);
  DataAccess* da = GetDataAccess(model);
  char local[512];
  if (userSql == nullptr) {
    std::string name = da->SqlNameOfPlace(slot->path);
    if (!da->UseFileExt()) {
      char quote[11] = {};
      da->GetIdentifierQuote(quote);
      size_t dot = name.rfind('.');
      if (dot != std::string::npos) {
        bool quoted = quote[0] && !name.empty() && name.back() == quote[0];
        name.erase(dot);
        if (quoted) name += quote[0];
      }
      if (da->IsBtrieve() && quote[0] && !name.empty() && name.back() == quote[0]) {
        size_t first = name.find(quote[0]);
        if (first != std::string::npos && first > 0) {
          name.erase(first, 1);
          name.insert(name.begin(), quote[0]);
        }
      }
    }
    // The name came from a file: it goes in as names or not at all.
    std::string quoted;
    char quote[11] = {};
    da->GetIdentifierQuote(quote);
    if (quote[0] == ' ') quote[0] = 0;
    if (!SqlNameUsable(slot->path) || (!da->IsFileDataSource() && !QuoteSqlNameParts(name, quote, &quoted))) {
      if (errBuf != nullptr && errSize > 0) std::snprintf(errBuf, static_cast<size_t>(errSize), "%s", RefusedSqlNameText(slot->path).c_str());
      if (!quiet) DbErrorBox(RefusedSqlNameText(slot->path).c_str());
      return 1;
    }
    if (!da->IsFileDataSource()) name = quoted;
    std::string fmt = Res(da->AddWhereFalse() ? kDescribeWhereFalseId : kDescribeId);
    std::vector<char> sql(fmt.size() + name.size() + 1);
    std::snprintf(sql.data(), sql.size(), fmt.c_str(), name.c_str());
    if (da->ExecReportSql(sql.data(), errBuf, errSize, DataAccess::SqlUse::kQuery) != 0) return 1;
  } else {
    constexpr DataAccess::SqlUse kUserStatement = DataAccess::SqlUse::kReportStatement;
    char* substituted = SubstituteSelectParameters(userSql, substitutions);
    if (substituted == nullptr) return 1;
    std::string text = substituted;
    HeapFreeBlock(substituted);
    if (StartsWithNoCase(text.c_str(), "select")) {
      std::string probe;
      if (da->AddWhereFalse()) {
        MakeLayoutOnlySelectAll(probe, text.c_str(), da->SqlRules().lex);
      } else {
        probe = text;
      }
      if (da->ExecReportSql(probe.c_str(), local, sizeof local, kUserStatement) != 0) {
        if (da->ExecReportSql(text.c_str(), errBuf, errSize, kUserStatement) != 0) return 1;
        if (!quiet) ShowSqlMessage(Res(kSlowDescribeId).c_str(), true);
      }
    } else if (!IsProcedureStatement(da, text.c_str())) {
      // A WITH list, a comment or a bracket first: the statement describes itself.
      if (da->ExecReportSql(text.c_str(), errBuf, errSize, kUserStatement) != 0) return 1;
    } else {
      bool described = false;
      if (text.size() < 512) {
        const char* delims = " \t\n";
        std::string work = text;
        char* save = nullptr;
        char* word = strtok_r(&work[0], delims, &save);
        if (word && strcasecmp(word, da->GetProcVerb()) == 0) word = strtok_r(nullptr, delims, &save);
        if (word == nullptr) return 1;
        std::string sql = std::string("select * from KMW_") + word;
        described = da->ExecReportSql(sql.c_str(), local, sizeof local, DataAccess::SqlUse::kQuery) == 0;
      }
      if (!described && da->ExecReportSql(text.c_str(), errBuf, errSize, kUserStatement) != 0) return 1;
    }
  }

  TableSqlState* ts = GetTableSqlState(slot, true);
  slot->fieldCount = 0;
  if (ts) ts->flags |= kTableAllColumnsSupported;
  bool namesLeft = columnNames != nullptr;
  const int columns = da->GetColumnCount();
  for (int c = 1; c <= columns; ++c) {
    const char* given = nullptr;
    if (namesLeft) {
      given = columnNames[c - 1];
      if (given == nullptr) namesLeft = false;
    }
    int type = da->GetColumnType(c);
    if (type <= 0) {
      if (userSql != nullptr) {
        ShowSqlMessage(kUnsupportedType, false);
        da->EndStatement();
        return 1;
      }
      if (ts) ts->flags &= ~kTableAllColumnsSupported;
      continue;
    }
    FieldDef* f = model->AddField(kFieldNeeded);
    FieldBinding* b = f ? GetFieldBinding(f, true) : nullptr;
    if (b == nullptr) {
      ShowSqlMessage(kNoFieldMemory, false);
      da->EndStatement();
      return 1;
    }
    f->table = static_cast<uint8_t>(table);
    if (slot->fieldCount == 0) slot->firstField = f;
    ++slot->fieldCount;
    CopyBounded(f->name, sizeof f->name, ResultColumnName(da, given, c).c_str());
    b->columnType = static_cast<uint8_t>(type);
    NoteColumnType(da, b, c);
    f->width = static_cast<uint32_t>(std::max<long>(1, da->GetColumnWidth(c)));
    f->flags2 |= kField2SqlCondition;
    switch (type) {
      case 3: case 4: case 5: case 6: case 7: case 10:
        SetDecimalStorage(f, b, type, da, c);
        SetNumberKind(f, b, type);
        break;
      case 8:
        f->flags2 &= ~kField2SqlCondition;
        if (da->GetColumnDateRange(c)) {
          f->flags |= kFieldDate;
          f->displayWidth = 8;
          f->formatCode = 0xA100;
        } else if (da->IsTimeColumn(c)) {
          f->flags |= kFieldTime;
          f->displayWidth = 13;
          f->formatCode = 0x100;
          f->timeFormat = 0x8000;
        } else {
          f->flags |= kFieldDateTime;
          f->displayWidth = 24;
          f->formatCode = 0xA100;
          f->timeFormat = 0x8030;
        }
        break;
      case 9:
        f->flags |= kFieldLogical;
        f->displayWidth = 1;
        f->formatCode = 0x11;
        break;
      default: {
        if (type == 2) f->flags2 &= ~kField2SqlCondition;
        if (da->IsMemoColumn(c)) {
          f->flags2 &= ~kField2SqlCondition;
          SetCharWidth(f, st->memoLimit);
          f->formatCode = st->memoWrap ? 0x140 : 0x11;
        } else if (f->width - 1 > st->longCharLimit) {
          SetCharWidth(f, st->longCharLimit);
          f->formatCode = st->longCharWrap ? 0x140 : 0x11;
        } else {
          f->formatCode = 0x11;
          SetCharWidth(f, f->width - 1);
        }
        f->width -= 1;
        break;
      }
    }
  }
  da->EndStatement();
  return 0;
}

int ReadColumnInfo(CKmComposite* model, const char* sql, FieldDef* field, int setType, bool reportErrors) {
  model->GetAttachment<SqlFieldState>();
  DataAccess* da = GetDataAccess(model);
  char local[512];
  if (da->ExecReportSql(sql, reportErrors ? nullptr : local, reportErrors ? 0 : static_cast<int>(sizeof local),
                        DataAccess::SqlUse::kQuery) != 0)
    return 1;
  int type = da->GetColumnCount() == 1 ? da->GetColumnType(1) : -1;
  FieldBinding* b = type > 0 ? GetFieldBinding(field, true) : nullptr;
  if (b == nullptr) {
    da->EndStatement();
    return 1;
  }
  b->columnType = static_cast<uint8_t>(type);
  b->storageSize = 0;  // the field's kind and width may change here
  NoteColumnType(da, b, 1);
  field->width = static_cast<uint32_t>(std::max<long>(1, da->GetColumnWidth(1)));
  const uint32_t want = ResultColumnKind(da, type, 1);
  bool ok = true;
  if (setType == 1) {
    field->flags &= ~kFieldKindMask;
    field->flags |= want;
    field->timeFormat = 0;
    if (want == kFieldNumeric) {
      b->precision = b->scale = 0;
      SetDecimalStorage(field, b, type, da, 1);
      SetNumberKind(field, b, type);
    } else if (want == kFieldDate) {
      field->displayWidth = 8;
      field->formatCode = 0xA100;
    } else if (want == kFieldTime) {
      field->displayWidth = 15;
      field->formatCode = 0x100;
    } else if (want == kFieldDateTime) {
      field->displayWidth = 24;
      field->formatCode = 0xA100;
    } else if (want == kFieldLogical) {
      field->displayWidth = 1;
      field->formatCode = 0x11;
    } else {
      field->formatCode = 0x11;
      field->displayWidth = std::min<uint32_t>(field->width - 1, 254);
    }
  } else {
    ok = FieldKind(field) == want;
    if (ok) SetDecimalStorage(field, b, type, da, 1);
  }
  if (ok && want == 0) field->width -= 1;
  da->EndStatement();
  return ok ? 0 : 1;
}

namespace {

// A user's reading statement is sent as it stands (whatever its first word:
// a WITH list, a comment, a bracket): its columns come in its own order,
// which is not the stored fields' once the table or view behind it changed.
// Each field of its master reads the column of its name and kind.
class StatementColumns {
 public:
  StatementColumns(CKmComposite* model, DataAccess* da) : model_(model), da_(da) {
    const char* text = model->statementText;
    if (text == nullptr || text[0] == 0) return;
    // A procedure's columns were named by its description table, not by
    // what it returns: they stay in their places.
    if (IsProcedureStatement(da, text)) return;
    byName_ = true;
    const char* const* given = ReportViewNames(model);
    const int count = da->GetColumnCount();
    for (int c = 1; c <= count; ++c) {
      const char* g = given != nullptr ? given[0] : nullptr;
      if (g == nullptr) given = nullptr;
      else ++given;
      names_.push_back(ResultColumnName(da, g, c));
    }
  }
  bool ByName(const FieldDef* f) const { return byName_ && f->table == 0 && !(f->flags & kFieldCalculation); }
  // The field's column; 0 when the result has none of its name and kind
  // (warned once), -1 when two of its name (refused).
  int ColumnOf(const FieldDef* f, bool warn) {
    int at = 0;
    for (size_t i = 0; i < names_.size(); ++i) {
      if (!EqualNoCase(names_[i].c_str(), f->name)) continue;
      if (at != 0) {
        std::snprintf(model_->errorName, sizeof model_->errorName, "%s", f->name);
        model_->ShowEngineError(kEngineDuplicateResultName);
        return -1;
      }
      at = static_cast<int>(i) + 1;
    }
    const int type = at != 0 ? da_->GetColumnType(at) : 0;
    const uint32_t have = f->flags & kStoredKindMask, want = type > 0 ? ResultColumnKind(da_, type, at) : 0;
    if (at != 0 && type > 0 && (have == want || (have == kFieldDate && want == kFieldDateTime))) return at;
    if (warn) {
      const TableSlot* t = model_->tableSlots[0];
      ShowSqlMessage(FieldGoneFromTableText(f->flags, f->name, t != nullptr ? t->path : "").c_str(), true);
    }
    return 0;
  }

 private:
  static constexpr uint32_t kStoredKindMask = kFieldNumeric | kFieldLogical | kFieldDate | kFieldDateTime | kFieldTime;
  CKmComposite* model_;
  DataAccess* da_;
  bool byName_ = false;
  std::vector<std::string> names_;
};

}  // namespace

int BindResultColumns(CKmComposite* model, bool allocate, int leadingColumns) {
  SqlRunState* st = GetSqlRunState(model);
  DataAccess* da = GetDataAccess(model);
  int column = 1;
  for (; column <= leadingColumns; ++column)
    if (da->BindColumn(column, st->dummy, sizeof st->dummy, &st->dummyLength) != 0) return 1;
  StatementColumns statement(model, da);
  const int failed = WalkBoundFields(model, [&](FieldDef* f, uint32_t n) -> int {
    FieldBinding* b = GetFieldBinding(f, true);
    if (b == nullptr) return 1;
    b->storageSize = model->GetFieldStorageSize(f);
    int at = column++;
    if (statement.ByName(f)) {
      at = statement.ColumnOf(f, allocate);
      if (at < 0) return 1;
    }
    // A calculation the SELECT computes has no column of a table, and a
    // statement's column is as the statement gives it now: its type is the
    // result's, read as the rows are.
    if (at > 0 && (statement.ByName(f) || ((f->flags & kFieldCalculation) && !IsServerComputed(f))))
      DescribeComputedColumn(da, b, at);
    b->column = at;
    b->keepsLostChars = IsGroupOrSortKey(model, f);
    // A field without its column is never filled from another: it reads as missing.
    auto bind = [&](uint8_t* buffer, uint32_t size) {
      if (at > 0) return da->BindColumn(at, buffer, static_cast<int32_t>(size), &b->fetchedLength);
      b->fetchedLength = QE_LEN_NULL;
      return 0;
    };
    if (!allocate) {
      if (b->fetchBuffer == nullptr) return 1;
      return bind(b->fetchBuffer, b->fetchSize);
    }
    // The new buffer is bound before the old one goes: binding stops and
    // drains the reading ahead, which may still hand rows to the old one.
    uint8_t* fresh = static_cast<uint8_t*>(std::calloc(n, 1));
    if (fresh == nullptr) return 1;
    const int rc = bind(fresh, n);
    FreeFieldValueBuffer(f);
    b->fetchBuffer = fresh;
    b->fetchSize = n;
    return rc;
  });
  if (failed) return failed;
  // The ranks follow the fields.
  MarkServerRankedKeys(model);
  for (FieldDef* f : GetSelectResult(model)->rankedKeys) {
    FieldBinding* b = GetFieldBinding(f, true);
    if (b == nullptr || da->BindColumn(column++, b->rankBuffer, sizeof b->rankBuffer, &b->rankLength) != 0) return 1;
  }
  // The rows are on their way while the run gets ready for the first.
  da->ReadAhead();
  return 0;
}

void MarkServerRankedKeys(CKmComposite* model) {
  for (FieldDef* f = model->fieldList; f != nullptr; f = f->next) {
    f->serverRanked = false;
    if (f->dataBinding != nullptr) f->dataBinding->ranked = false;
  }
  for (FieldDef* f : GetSelectResult(model)->rankedKeys) {
    FieldBinding* b = GetFieldBinding(f, true);
    if (b == nullptr) continue;
    b->ranked = f->serverRanked = true;
    b->rankLength = QE_LEN_NULL;
  }
}

namespace {
void ConvertValue(CKmComposite* model, DataAccess* da, SqlRunState* st, FieldDef* field);
}  // namespace

int ConvertFetchedRow(CKmComposite* model) {
  // Once a row, not once a field: the model's state is looked up by kind.
  DataAccess* da = GetDataAccess(model);
  SqlRunState* st = GetSqlRunState(model);
  WalkBoundFields<false>(model, [&](FieldDef* f, uint32_t) -> int {
    ConvertValue(model, da, st, f);
    return 0;
  });
  return 1;
}

bool IsGroupOrSortKey(CKmComposite* model, const FieldDef* field) {
  for (int i = 0; i < 8; ++i)
    for (uint32_t key : {model->groupFields[i], model->sortFields[i]}) {
      const FieldDef* k = key != kNoField ? model->GetFieldAt(key) : nullptr;
      if (k != nullptr && (k == field || model->AliasedField(k) == field)) return true;
    }
  return false;
}

void ConvertFetchedValue(CKmComposite* model, FieldDef* field) {
  ConvertValue(model, GetDataAccess(model), GetSqlRunState(model), field);
}

namespace {

// The field's storage size as its binding kept it.
uint32_t BoundStorageSize(CKmComposite* model, const FieldBinding* b, const FieldDef* field) {
  return b->storageSize != 0 ? b->storageSize : model->GetFieldStorageSize(field);
}

void ConvertValue(CKmComposite* model, DataAccess* da, SqlRunState* st, FieldDef* field) {
  FieldBinding* b = GetFieldBinding(field, false);
  uint8_t* v = field->value;
  if (b == nullptr || b->fetchBuffer == nullptr || v == nullptr) return;
  if (b->ranked) {
    double rank = 0;
    if (b->rankLength != QE_LEN_NULL) std::memcpy(&rank, b->rankBuffer, sizeof rank);
    field->serverRank = rank;
  }
  const uint32_t kind = FieldKind(field);
  auto clear = [&]() {
    if (kind & kFieldNumeric) {
      std::memcpy(v, &kNullNumber, 8);
    } else if (kind & (kFieldDate | kFieldDateTime | kFieldTime)) {
      PutU32(v, EmptyDate);
      std::memcpy(v + 4, &kNullNumber, 8);
    } else if (kind & kFieldLogical) {
      v[0] = v[1] = 0;
    } else {
      v[0] = 0;
    }
  };
  if (b->fetchedLength == QE_LEN_NULL) {
    uint32_t cap = BoundStorageSize(model, b, field);
    if (da->IsFileDataSource() && b->columnType == 1 && kind == 0 && cap > 0) {
      uint32_t n = std::min(field->width, cap - 1);
      std::memset(v, ' ', n);
      v[n] = 0;
    } else {
      clear();
    }
    field->totalFlags |= kTotalNullValue;
    return;
  }
  field->totalFlags &= static_cast<uint8_t>(~kTotalNullValue);
  const uint8_t* buf = b->fetchBuffer;
  double d = 0;
  int type = b->columnType;
  // A computed column may come as text where the database gives expressions
  // no type: the text is read as the field's kind, never copied into a number.
  if (!(type >= 3 && type <= 10)) {
    if (kind & kFieldNumeric) {
      const char* text = reinterpret_cast<const char*>(buf);
      const char* end = text + strnlen(text, b->fetchSize);
      while (text < end && (*text == ' ' || *text == '+')) ++text;
      if (std::from_chars(text, end, d).ec != std::errc()) {
        clear();
        field->totalFlags |= kTotalNullValue;
        return;
      }
      std::memcpy(v, &d, 8);
      return;
    }
    if (kind & (kFieldDate | kFieldDateTime | kFieldTime)) type = 8;
  }
  switch (type) {
    case 3: case 10: d = qeDecimalToDouble(buf, static_cast<int>(b->precision), static_cast<int>(b->scale)); break;
    case 4: d = qeLongToDouble(buf); break;
    case 5: d = qeIntToDouble(buf); break;
    case 6: d = qeFloatToDouble(buf); break;
    case 7: std::memcpy(&d, buf, 8); break;
    case 9: std::memcpy(v, buf, 2); return;
    case 8: {
      char text[40] = {};
      const size_t n = strnlen(reinterpret_cast<const char*>(buf), std::min<size_t>(sizeof text - 1, b->fetchSize));
      std::memcpy(text, buf, n);
      DateTimeParts p;
      if (kind & kFieldTime) {
        DataAccess::ParseTimeOfDayText(text, &p);
        PutU32(v, EmptyDate);
        SetTime(v, ToMicros(p, text));
        return;
      }
      if (da->IsNetWareSql() && std::strncmp(text, "0000-00-00", 10) == 0) {
        clear();
        field->totalFlags |= kTotalNullValue;
        return;
      }
      uint32_t day = 0;
      if (kind & kFieldDateTime) {
        DataAccess::ParseTimestampText(text, &p);
        if (!ToDayNumber(p, &day)) {
          clear();
          return;
        }
        SetDate(v, day);
        SetTime(v, ToMicros(p, std::strchr(text, ' ') ? std::strchr(text, ' ') : text));
      } else {
        // Rows mostly come in runs of one date: its text is read once.
        if (b->lastDateLength != 0 && b->lastDateLength == n && std::memcmp(b->lastDateText, text, n) == 0) {
          SetDate(v, b->lastDay);
          SetTime(v, 0.0);
          return;
        }
        DataAccess::ParseDateText(text, &p);
        if (!ToDayNumber(p, &day)) {
          clear();
          return;
        }
        SetDate(v, day);
        SetTime(v, 0.0);
        std::memcpy(b->lastDateText, text, n);
        b->lastDateLength = static_cast<uint8_t>(n);
        b->lastDay = day;
      }
      return;
    }
    default: {
      size_t len = strnlen(reinterpret_cast<const char*>(buf), b->fetchSize ? b->fetchSize - 1 : 0);
      if (b->fetchedLength == QE_LEN_TRUNCATED) len = std::min<size_t>(len, std::min(field->width, st->longestValue));
      if (da->IsNetWareSql() && len == 0) field->totalFlags |= kTotalNullValue;
      uint32_t cap = BoundStorageSize(model, b, field);
      FoldText(st, reinterpret_cast<const char*>(buf), len, reinterpret_cast<char*>(v), cap);
      if (!da->dbAnsi) {
        char* t = reinterpret_cast<char*>(v);
        OemToCharBuffA(t, t, static_cast<DWORD>(std::strlen(t)));
      }
      // Characters the code page lacks came as '?': the field keeps what
      // they were, from the row the database or the record cache gave.
      if (b->keepsLostChars && std::memchr(buf, '?', len) != nullptr) {
        if (RowFromRecordCache(model)) field->lostChars = b->lostChars;
        else da->ColumnLostChars(b->column, &field->lostChars);
      } else if (!field->lostChars.empty()) {
        field->lostChars.clear();
      }
      return;
    }
  }
  if (kind & kFieldLogical) {  // a computed truth value may come as a number: one byte
    v[0] = d != 0 ? 1 : 0;
    v[1] = 0;
    return;
  }
  std::memcpy(v, &d, 8);
}

}  // namespace

bool FetchedColumnText(CKmComposite* model, FieldDef* field, size_t limit, std::string* text) {
  const FieldBinding* b = field != nullptr ? field->dataBinding : nullptr;
  if (model == nullptr || b == nullptr || b->fetchBuffer == nullptr || b->fetchSize == 0 || FieldKind(field) != 0 ||
      (field->flags & (kFieldCalculation | kFieldAlias)) != 0 || b->fetchedLength == QE_LEN_NULL)
    return false;
  const char* buf = reinterpret_cast<const char*>(b->fetchBuffer);
  text->assign(buf, strnlen(buf, std::min<size_t>(b->fetchSize - 1, limit)));
  if (!GetDataAccess(model)->dbAnsi && !text->empty())
    OemToCharBuffA(&(*text)[0], &(*text)[0], static_cast<DWORD>(text->size()));
  return true;
}

void FreeFieldValueBuffer(FieldDef* field) {
  FieldBinding* b = GetFieldBinding(field, false);
  if (b == nullptr) return;
  std::free(b->fetchBuffer);
  b->fetchBuffer = nullptr;
  b->fetchSize = 0;
}

namespace {
struct TypeName {
  long type;
  const char* name;
};
const TypeName kDbaseTypes[] = {{1, "Char"}, {2, "CharExpression"}, {3, "Numeric"}, {7, "NumericExpression"},
                                {100, "Memo"}, {110, "Logical"}, {111, "Date"}, {1000, "Float"}, {0, nullptr}};
const TypeName kSqlServerTypes[] = {{2, "Char"}, {4, "Int"}, {5, "SmallInt"}, {6, "Real"}, {7, "Float"},
                                    {8, "DateTime"}, {100, "Text"}, {101, "Binary"}, {103, "Picture"},
                                    {109, "TinyInt"}, {110, "Bit"}, {114, "TimeStamp"}, {116, "Money"},
                                    {1001, "SmallMoney"}, {1002, "SmallDateTime"}, {0, nullptr}};
const TypeName kNetWareTypes[] = {{1, "Char"}, {2, "LString"}, {3, "Decimal"}, {4, "Int"}, {5, "Int"},
                                  {6, "Float"}, {7, "Float"}, {100, "Note"}, {109, "Int"}, {110, "Logical"},
                                  {111, "Date"}, {112, "Time"}, {116, "Money"}, {1001, "ZString"},
                                  {1003, "Bit"}, {1004, "BFloat"}, {1005, "BFloat"}, {1006, "Numeric"},
                                  {1007, "Autoinc"}, {1008, "Autoinc"}, {1009, "LVar"}, {1010, "NumericSTS"},
                                  {0, nullptr}};
const TypeName kOracleTypes[] = {{2, "Char"}, {3, "Number"}, {8, "Date"}, {100, "Long"}, {101, "Raw"},
                                 {103, "LongRaw"}, {107, "Number"}, {114, "ROWID"}, {0, nullptr}};
}  // namespace

const char* GetFieldTypeText(CKmComposite* model, FieldDef* field) {
  if ((field->flags & (kFieldAlias | kFieldItem | kFieldMemo)) != 0) return "";
  SqlRunState* st = GetSqlRunState(model);
  DataAccess* da = GetDataAccess(model);
  FieldBinding* b = GetFieldBinding(field, false);
  long type = b ? b->dbType : 0;
  const TypeName* table = da->IsDBase()                         ? kDbaseTypes
                          : da->IsSqlServer()                   ? kSqlServerTypes
                          : (da->IsNetWareSql() || da->IsBtrieve()) ? kNetWareTypes
                          : da->IsOracle()                      ? kOracleTypes
                                                                : nullptr;
  for (const TypeName* t = table; t && t->name; ++t)
    if (t->type == type) return (st->typeText = t->name).c_str();
  char text[32];
  std::snprintf(text, sizeof text, "code %ld", type);
  return (st->typeText = text).c_str();
}

int ForEachBoundField(CKmComposite* model, const std::function<int(FieldDef*, uint32_t)>& fn) {
  return WalkBoundFields(model, fn);
}
