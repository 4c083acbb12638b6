#include "data/open_tables.h"

#include "data/report_dictionary.h"
#include "data/sql_names.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "data/table_fields.h"
#include "data/data_access.h"
#include "data/db_errors.h"
#include "foundation/doc_base.h"
#include "expr/collation.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "core/fields.h"
#include "platform/win/fileio.h"
#include "platform/win/profile.h"
#include "foundation/text_helpers.h"

namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

TableOverrideContext ReadTableOverride(const char* iniPath, char quote, bool ownerNames) {
  TableOverrideContext ctx;
  ctx.quote = quote;
  ctx.ownerNames = ownerNames;
  char buf[128] = {};
  GetPrivateProfileStringA("Oracle", "OWNER", "1", buf, sizeof buf, iniPath);
  if (std::strcmp(buf, "1") != 0) ctx.owner = buf;
  GetPrivateProfileStringA("Oracle", "DEBUG", "1", buf, sizeof buf, iniPath);
  ctx.debug = std::strcmp(buf, "1") != 0 && EqualNoCase(buf, "yes");
  return ctx;
}

std::string ReplaceOwner(const std::string& reference, const std::string& owner) {
  const size_t last = reference.rfind('.');
  if (last == std::string::npos) return reference;
  const size_t before = last == 0 ? std::string::npos : reference.rfind('.', last - 1);
  const std::string head = before == std::string::npos ? std::string() : reference.substr(0, before + 1);
  return head + owner + reference.substr(last);
}

bool ApplyDataSourceOverride(const TableOverrideContext& ctx, std::string* reference, std::string* alias,
                             std::string* message) {
  std::string& ref = *reference;
  if (ctx.quote && ref.size() >= 2 && ref.back() == ctx.quote) {
    ref.pop_back();
    const size_t first = ref.find(ctx.quote);
    if (first != std::string::npos) ref.erase(first, 1);
  }
  std::string aliasText;
  bool changed = false;
  if (!ctx.ownerNames) {
    char base[kTablePathSize];
    MakeUpperBaseName(ref.c_str(), base, sizeof base);
    aliasText = base;
    const size_t dot = aliasText.find('.');
    if (dot != std::string::npos) aliasText.resize(dot);
  } else {
    const size_t last = ref.rfind('.');
    aliasText = last == std::string::npos ? ref : ref.substr(last + 1);
    if (aliasText.size() > kTablePathSize - 1) aliasText.resize(kTablePathSize - 1);
    if (!ctx.owner.empty() && ctx.owner != "1") {
      std::string replaced = ReplaceOwner(ref, ctx.owner);
      if (replaced != ref) {
        if (message) *message = "Orig data source: " + ref + "\r New data source: " + replaced;
        ref = replaced;
        changed = true;
      }
    }
  }
  if (aliasText.size() > 8) aliasText.resize(8);
  if (alias) *alias = MakeTableAlias(aliasText.c_str());
  return changed;
}

std::string MakeTableAlias(const char* text) {
  const char* p = text;
  while (*p && !IsCharAlphaByte(static_cast<unsigned char>(*p))) ++p;
  if (!*p) return "KMTABLE";
  std::string out;
  for (; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    out.push_back(IsCharAlphaByte(c) || IsDigit(c) ? static_cast<char>(c) : '_');
  }
  return out;
}

std::string ReplaceExtension(const char* path, const char* extension) {
  std::string s = path ? path : "";
  size_t nameStart = s.find_last_of("\\:/");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  const size_t dot = s.rfind('.');
  if (dot != std::string::npos && dot > nameStart) s.resize(dot);
  return s + (extension ? extension : "");
}

int ReadTextTableLayout(const uint8_t* data, size_t size, const char* tableName, std::vector<TextSection>* out) {
  out->clear();
  size_t end = 0;
  while (end < size && data[end] != 26) ++end;
  auto lineEnd = [&](size_t p) {  // length of the line end at p, 0 when none
    if (p >= end) return size_t{0};
    if (data[p] == '\r') return size_t(p + 1 < end && data[p + 1] == '\n' ? 2 : 1);
    if (data[p] == '\n') return size_t(p + 1 < end && data[p + 1] == '\r' ? 2 : 1);
    return size_t{0};
  };
  auto skipSpace = [&](size_t p) {
    for (;;) {
      size_t n = lineEnd(p);
      if (n) { p += n; continue; }
      if (p < end && (data[p] == ' ' || data[p] == '\t')) { ++p; continue; }
      return p;
    }
  };
  static const char kReplaced[] = ": .#+-/*^%(),=<>$!\"'[{";
  size_t p = 0;
  for (;;) {
    const size_t lineStart = out->empty() ? p : skipSpace(p);
    if (lineStart >= end) break;
    if (data[lineStart] != '.') {
      if (out->empty()) break;
      out->clear();
      return kEngineCannotReadMemo;
    }
    TextSection s;
    size_t q = lineStart + 1;
    while (q < end && !lineEnd(q)) {
      if (s.name.size() < 128) {
        char c = static_cast<char>(data[q]);
        s.name.push_back(std::strchr(kReplaced, c) && c ? '_' : c);
      }
      ++q;
    }
    q += lineEnd(q);
    if (q >= end || data[q] != '{') {
      out->clear();
      if (lineStart == 0) break;  // no sections after all: the whole file
      return kEngineCannotReadMemo;
    }
    s.start = static_cast<uint32_t>(q + 1);
    size_t close = q + 1;
    while (close < end && data[close] != '}') ++close;
    if (close >= end) {
      out->clear();
      return kEngineCannotReadMemo;
    }
    s.length = static_cast<uint32_t>(close - s.start);
    out->push_back(s);
    p = close + 1;
    // The rest of the closing line belongs to nothing.
    while (p < end && !lineEnd(p) && (data[p] == ' ' || data[p] == '\t')) ++p;
  }
  if (out->empty()) {
    TextSection whole;
    whole.name = tableName ? tableName : "";
    whole.start = 0;
    whole.length = static_cast<uint32_t>(end);
    out->push_back(whole);
  }
  return 0;
}

bool RewriteBtrieveReference(const std::string& reference, char quote, std::string* out) {
  static const char kMark[] = "(TABLENAME='";
  const size_t at = reference.find(kMark);
  if (at == std::string::npos) return false;
  const size_t nameStart = at + sizeof kMark - 1;
  const size_t nameEnd = reference.find('\'', nameStart);
  if (nameEnd == std::string::npos) return false;
  std::string before = reference.substr(0, at);
  while (!before.empty() && before.back() == ' ') before.pop_back();
  const size_t cut = before.find_last_of("\\:");
  before = cut == std::string::npos ? std::string() : before.substr(0, cut + 1);
  *out = before + QuoteSqlIdentifier(reference.substr(nameStart, nameEnd - nameStart),
                                     quote ? std::string(1, quote) : std::string());
  return true;
}

void AbandonTable(CKmComposite* m, uint32_t slot, bool newSlot) {
  for (FieldDef* f = m->fieldList; f;) {
    FieldDef* next = f->next;
    if (f->table == slot && !(f->flags & (kFieldCalculation | kFieldAlias)) && !(f->totalFlags & kTotalIsTotal))
      m->DeleteField(f, 2 | 4);
    f = next;
  }
  if (newSlot) FreeTableSlotAndState(m, slot);
}

int CheckResultFieldNames(CKmComposite* m, uint32_t slot, size_t before) {
  // The result's own columns are checked: the fields the report already
  // has in the slot (a placed field's copy, one held by the designer's
  // clipboard) share their names with the columns they stand for.
  std::vector<FieldDef*> fields;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == slot) fields.push_back(f);
  for (size_t i = before; i < fields.size(); ++i) {
    if (!fields[i]->name[0]) return kEngineMissingResultName;
    for (size_t j = before; j < i; ++j)
      if (EqualNoCase(fields[i]->name, fields[j]->name)) {
        std::snprintf(m->errorName, sizeof m->errorName, "%s", fields[i]->name);
        return kEngineDuplicateResultName;
      }
  }
  return 0;
}

int OpenTable(CKmComposite* m, const char* reference, uint32_t* slot, bool newSlot, const char* queryText,
              const char* const* names, const char* alias, const TableOverrideContext& ctx) {
  uint32_t s = *slot;
  if (newSlot) {
    s = m->AddTableSlot("", "", 255, 0, nullptr);
    if (s == kNoField) return kEngineNoMemory;
  }
  if (s >= static_cast<uint32_t>(kMaxTables) || !m->tableSlots[s]) return kEngineNoMemory;
  TableSlot* t = m->tableSlots[s];
  std::string ref = reference ? reference : "";
  DataAccess* da = GetDataAccess(m);
  if (TableSqlState* state = GetTableSqlState(t, false)) state->flags &= ~kTableBtrieveName;
  std::string rebuilt;
  if (da->IsBtrieve() && RewriteBtrieveReference(ref, ctx.quote, &rebuilt)) {
    ref = rebuilt;
    if (TableSqlState* state = GetTableSqlState(t, true)) state->flags |= kTableBtrieveName;
  }
  std::string derived, message;
  if (ApplyDataSourceOverride(ctx, &ref, &derived, &message) && ctx.debug) DbErrorBox(message.c_str());
  // Sources that separate qualifiers with "\" take the name quoted.
  ref = da->QuoteTablePath(ref.c_str());
  std::snprintf(t->path, sizeof t->path, "%s", ref.c_str());
  if (s == 0 && m->owner != nullptr)
    std::snprintf(m->owner->m_files.masterTable, sizeof m->owner->m_files.masterTable, "%s", t->path);

  // Fields already in the slot stay; only what this open adds counts.
  uint32_t before = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == s) ++before;
  char err[256] = {};
  if (BuildSqlFieldList(m, s, queryText, nullptr, names, true, err, sizeof err) != 0) {
    AbandonTable(m, s, newSlot);
    return kEngineCannotOpenTable;
  }
  std::vector<FieldDef*> added;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == s) added.push_back(f);
  if (added.size() <= before) {
    AbandonTable(m, s, newSlot);
    return kEngineNoSupportedFields;
  }
  if (queryText) {
    if (const int rc = CheckResultFieldNames(m, s, before)) {
      AbandonTable(m, s, newSlot);
      return rc;
    }
  }
  const std::string chosen = s == 0 || !alias || !alias[0] ? derived : alias;
  std::snprintf(t->alias, sizeof t->alias, "%s", chosen.c_str());
  // The dictionary's descriptions, switches and formulas join the new fields;
  // the table stays open whatever the dictionary's state.
  FieldDef* firstNew = added[before];
  if (queryText != nullptr && s == 0) LoadReportDictionary(m, false);
  else ReadReportDictionary(m, &firstNew, t->alias, s, false);
  *slot = s;
  return 0;
}

namespace {
// The text file open as a table of the model.
struct TextTable : ModelAttachment {
  static constexpr AttachmentSlot kSlot = AttachmentSlot::kTextTable;
  std::string path;
  std::string name;
};
}  // namespace

const char* TextTablePath(const CKmComposite* m) {
  const TextTable* t = m->FindAttachment<TextTable>();
  return t == nullptr ? "" : t->path.c_str();
}

const char* TextTableName(const CKmComposite* m) {
  const TextTable* t = m->FindAttachment<TextTable>();
  return t == nullptr ? "" : t->name.c_str();
}

void CloseTextTable(CKmComposite* m) { m->DropAttachment(AttachmentSlot::kTextTable); }

int OpenTextTable(CKmComposite* m, const char* path, const char* tableName) {
  // Read whole, so only a regular file of a size a report's text can have:
  // a pipe or a device would never end.
  constexpr uint64_t kTextTableLimit = uint64_t{64} << 20;
  std::string bytes;
  if (!path || !ReadRegularFile(path, kTextTableLimit, bytes)) return kEngineCannotOpenText;
  std::vector<TextSection> sections;
  const int rc = ReadTextTableLayout(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), tableName, &sections);
  if (rc) {
    m->lastEngineError = rc;
    return rc;
  }
  std::vector<FieldDef*> made;
  for (const TextSection& s : sections) {
    FieldDef* f = m->AddField(kFieldMemo);
    if (!f) {
      for (FieldDef* g : made) m->DeleteField(g, 2 | 4);
      return kEngineNoMemory;
    }
    std::snprintf(f->name, sizeof f->name, "%s", s.name.c_str());
    f->table = kTableDerivedColumn;
    f->formatCode = 0x41;  // a memo wraps
    f->displayWidth = 30;
    f->memoPosition1 = s.start;
    f->memoPosition2 = s.length;
    made.push_back(f);
  }
  TextTable* t = m->GetAttachment<TextTable>();
  if (!t) {
    for (FieldDef* g : made) m->DeleteField(g, 2 | 4);
    return kEngineNoMemory;
  }
  t->path = path;
  t->name = tableName ? tableName : "";
  return 0;
}
