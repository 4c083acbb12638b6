#include "data/reportview.h"
#include "data/table_fields.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "data/data_access.h"
#include "data/open_tables.h"
#include "data/user_statement.h"

namespace {

constexpr size_t kMaxWord = 200;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

uint32_t SkipBlanks(const char* text, uint32_t pos) {
  while (text[pos] && IsBlank(text[pos])) ++pos;
  return pos;
}

// Skips blanks and takes up to 200 non-blank characters; false when none.
bool ReadWord(const char* text, uint32_t* pos, std::string* word, uint32_t* start) {
  uint32_t p = SkipBlanks(text, *pos);
  *start = p;
  word->clear();
  while (text[p] && !IsBlank(text[p]) && word->size() < kMaxWord) word->push_back(text[p++]);
  *pos = p;
  return !word->empty();
}

bool Is(const std::string& word, const char* keyword) {
  if (word.size() != std::strlen(keyword)) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != keyword[i]) return false;
  }
  return true;
}

void KeepNameUnlessSet(CKmComposite* m, const char* name) {
  if (m->reportViewName.empty()) m->reportViewName = name;
}

// "(name, name ...)": the names, each without its trailing blanks.
int ReadNameList(const char* text, uint32_t* pos, std::vector<std::string>* names) {
  uint32_t p = SkipBlanks(text, *pos);
  if (text[p] != '(') {
    *pos = text[p] ? p + 1 : p;
    return kEngineInvalidViewNames;
  }
  ++p;
  const uint32_t listStart = p;
  p = SkipBlanks(text, p);
  if (text[p] != ')') {
    for (;;) {
      p = SkipBlanks(text, p);
      std::string name;
      while (text[p] && text[p] != ',' && text[p] != ')') name.push_back(text[p++]);
      if (!text[p]) {
        *pos = listStart;
        return kEngineInvalidViewNames;
      }
      while (!name.empty() && IsBlank(name.back())) name.pop_back();
      names->push_back(name);
      if (text[p++] == ')') break;
    }
  } else {
    ++p;
  }
  *pos = p;
  return 0;
}

// The names in one heap block of pointers followed by the names.
int KeepNameList(CKmComposite* m, const std::vector<std::string>& names) {
  size_t bytes = (names.size() + 1) * sizeof(char*);
  for (const std::string& n : names) bytes += n.size() + 1;
  auto* block = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(bytes)));
  if (!block) return kEngineNoMemory;
  char** pointers = reinterpret_cast<char**>(block);
  char* out = reinterpret_cast<char*>(block + (names.size() + 1) * sizeof(char*));
  for (size_t i = 0; i < names.size(); ++i) {
    pointers[i] = out;
    std::memcpy(out, names[i].c_str(), names[i].size() + 1);
    out += names[i].size() + 1;
  }
  pointers[names.size()] = nullptr;
  m->reportViewNames.reset(pointers);
  return 0;
}

}  // namespace

const char* const* ReportViewNames(const CKmComposite* m) { return m->reportViewNames.get(); }

void FreeReportViewNames(CKmComposite* m) { m->reportViewNames.reset(); }

int ReadStatementShape(const char* text, uint32_t* position, bool passExec, StatementShape* shape) {
  *shape = StatementShape();
  if (!text) text = "";
  const size_t length = std::strlen(text);
  uint32_t pos = *position <= length ? *position : static_cast<uint32_t>(length);
  std::string word;
  uint32_t start = 0;
  if (!ReadWord(text, &pos, &word, &start)) return kEngineEmptyStatement;

  if (Is(word, "define")) {
    uint32_t s = 0;
    if (!ReadWord(text, &pos, &word, &s) || !Is(word, "reportview")) {
      *position = s;
      return kEngine3235;
    }
    if (!ReadWord(text, &pos, &word, &s)) {
      *position = s;
      return kEngineMissingViewName;
    }
    // The name may run straight into its list.
    const size_t paren = word.find('(');
    if (paren != std::string::npos && paren > 0) {
      pos = s + static_cast<uint32_t>(paren);
      word.resize(paren);
    }
    shape->form = StatementShape::kDefinition;
    shape->name = word;
    if (int rc = ReadNameList(text, &pos, &shape->names)) {
      *position = pos;
      return rc;
    }
    if (!ReadWord(text, &pos, &word, &s) || !Is(word, "as")) {
      *position = s;
      return kEngineMissingAs;
    }
    const uint32_t query = SkipBlanks(text, pos);
    if (!ReadWord(text, &pos, &word, &s) || !Is(word, "select")) {
      *position = s;
      return kEngineMissingSelect;
    }
    shape->queryOffset = query;
    *position = pos;
    return 0;
  }
  if (Is(word, "exec")) {
    const uint32_t after = SkipBlanks(text, pos);
    uint32_t s = 0;
    std::string proc;
    if (!ReadWord(text, &pos, &proc, &s)) {
      *position = s;
      return kEngineMissingProcedure;
    }
    shape->form = StatementShape::kExec;
    shape->name = proc;
    shape->queryOffset = passExec ? start : after;
    *position = pos;
    return 0;
  }
  // A SELECT, or any other statement, is sent from its first character.
  shape->queryOffset = start;
  *position = pos;
  return 0;
}

namespace {

int ParseStatementShape(CKmComposite* m, const char* text, uint32_t* position, bool passExec) {
  StatementShape shape;
  const int rc = ReadStatementShape(text, position, passExec, &shape);
  if (rc != 0) return rc;
  m->statementOffset = shape.queryOffset;
  FreeReportViewNames(m);
  if (shape.form == StatementShape::kDefinition) {
    m->reportViewName = shape.name;
    if (int kept = KeepNameList(m, shape.names)) {
      *position = 0;
      return kept;
    }
    return 0;
  }
  KeepNameUnlessSet(m, shape.form == StatementShape::kExec ? shape.name.c_str() : "RESULT");
  return 0;
}

}  // namespace

int ParseReportViewStatement(CKmComposite* m, const char* text, uint32_t* position, bool passExec) {
  const std::string name = m->reportViewName;
  const uint32_t offset = m->statementOffset;
  const uint32_t from = *position;
  const int rc = ParseStatementShape(m, text, position, passExec);
  if (rc != 0) return rc;
  // Nothing that would change the data source is ever taken for a report.
  SqlCheckRules rules = GetDataAccess(m)->SqlRules();
  rules.passExec = passExec;
  const SqlReading reading = ReadReportStatement(text + std::min<size_t>(from, std::strlen(text)), rules);
  m->statementRefusal = reading.ok ? std::string() : reading.why;
  if (reading.ok) return 0;
  FreeReportViewNames(m);
  m->reportViewName = name;
  m->statementOffset = offset;
  *position = from;
  return kEngineChangingStatement;
}

void FreeSqlMaster(CKmComposite* m) {
  if (m->statementText) HeapFreeBlock(m->statementText);
  m->statementText = nullptr;
  FreeReportViewNames(m);
}

int SetupSqlMaster(CKmComposite* m, const char* statement, bool passExec, const TableOverrideContext& ctx) {
  FreeReportViewNames(m);
  if (!statement || !*statement) return kEngineEmptyStatement;
  uint32_t position = 0;
  int rc = ParseReportViewStatement(m, statement, &position, passExec);
  if (rc) return rc;
  const bool newSlot = m->tableSlots[0] == nullptr;
  if (newSlot && m->AddTableSlot("", "", 0, 0, nullptr) != 0) {
    FreeReportViewNames(m);
    return kEngineNoMemory;
  }
  const size_t length = std::strlen(statement);
  char* copy = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(length + 1)));
  if (!copy) {
    FreeReportViewNames(m);
    if (newSlot) FreeTableSlotAndState(m, 0);
    return kEngineNoMemory;
  }
  std::memcpy(copy, statement, length + 1);
  uint32_t slot = 0;
  rc = OpenTable(m, m->reportViewName.c_str(), &slot, false, copy + m->statementOffset, ReportViewNames(m), nullptr,
                 ctx);
  if (rc) {
    HeapFreeBlock(copy);
    FreeReportViewNames(m);
    if (newSlot) FreeTableSlotAndState(m, 0);
    return rc;
  }
  if (m->statementText) HeapFreeBlock(m->statementText);
  m->statementText = copy;
  return 0;
}
