// The report dictionary's table, memo file and index, and the merge of its
// entries into the fields of a table that has just been opened.
#include "data/report_dictionary.h"
#include "model/field_compile.h"
#include "model/field_dependencies.h"
#include "expr/type_eval.h"

#include "core/compiled_code.h"
#include "core/composite.h"
#include "data/db_errors.h"
#include "data/sql_literals.h"
#include "data/xbase_index.h"
#include "expr/compiler.h"
#include "foundation/byte_order.h"
#include "foundation/doc_base.h"
#include "foundation/heap_strings.h"
#include "foundation/settings.h"
#include "foundation/startup.h"
#include "platform/win/codepage.h"
#include "platform/win/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Message ids of the string table.
constexpr UINT kOpenError = 3570;
constexpr UINT kReadError = 3571;
constexpr UINT kFormatError = 3572;
constexpr UINT kIndexError = 3574;

const char* const kDefaultRoles[kDictRoleCount] = {"TABLE_NAME", "FIELD_NAME", "SECURITY",   "COMMENT",  "EXTENDED",
                                                   "FORMULA",    "FIELD_HIDE", "FILTR_HIDE", "INST_HIDE"};

// One open dictionary: the table and memo files and the column layout.
struct ReportDictionary {
  ~ReportDictionary() { Close(); }
  void Close() {
    if (table >= 0) CloseFileHandle(table);
    if (memo >= 0) CloseFileHandle(memo);
    table = memo = -1;
  }
  int table = -1, memo = -1;
  uint8_t header[16] = {};
  uint32_t headerLength = 0, recordLength = 0;
  uint32_t offset[kDictRoleCount] = {};
  uint32_t width[kDictRoleCount] = {};
  bool present[kDictRoleCount] = {};
  bool hasMemo = false;
  int memoKind = 0;  // 0 dBASE III memo, 1 dBASE IV memo, 2 FoxPro memo
  uint32_t blockSize = 512;
  std::vector<uint8_t> record;
};

const char* RoleName(CKmComposite* m, int role) {
  if (m->owner != nullptr && m->owner->m_settings.dictColumn[role][0] != 0) return m->owner->m_settings.dictColumn[role];
  return kDefaultRoles[role];
}

std::string DirText(int entry) {
  const char* t = DirBlockEntryText(entry);
  return t != nullptr ? t : "";
}

void ShowDictionaryError(CKmComposite* m, UINT id, const char* argument = nullptr) {
  std::string text = GetResString(id, 0);
  const size_t at = text.find("%s");
  if (argument != nullptr && at != std::string::npos) text.replace(at, 2, argument);
  ReportDictionarySwitches& s = DictionarySwitches();
  if (s.messageShown) return;
  s.messageShown = true;
  // The data layer's error display: the program's error box, or standard
  // error in an unattended run. Shown as text: a path may hold a "%".
  DbErrorBox(text.c_str());
}

bool EqualNoCase(const char* a, const char* b) { return CompareAnsiNoCase(a, b) == 0; }

char* HeapText(const std::string& text) {
  auto* copy = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(text.size() + 1)));
  if (copy != nullptr) std::memcpy(copy, text.data(), text.size());
  return copy;
}

std::string ReplaceExtensionOf(const std::string& path, const char* extension) {
  const size_t sep = path.find_last_of("\\/:");
  const size_t dot = path.find_last_of('.');
  const bool hasDot = dot != std::string::npos && (sep == std::string::npos || dot > sep + 1) && dot != 0;
  return (hasDot ? path.substr(0, dot) : path) + extension;
}

// The file name without its directory and extension: the tag name of the table.
std::string BaseName(const std::string& path) {
  const size_t sep = path.find_last_of("\\/:");
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// Opens the table and memo file and learns the column layout; 0 or 1 (shown).
int OpenReportDictionary(CKmComposite* m, ReportDictionary& d, const std::string& path) {
  int error = 0;
  d.table = OpenExistingFile(path, kFileRead | kFileAnyCase, &error);
  if (d.table < 0) {
    if (error != kFileErrAccess) ShowDictionaryError(m, kOpenError);
    return 1;
  }
  if (!ReadFileAt(d.table, 0, d.header, 16) || d.header[14] != 0 || d.header[15] != 0) {
    d.Close();
    ShowDictionaryError(m, kReadError);
    return 1;
  }
  d.headerLength = GetU16(d.header + 8);
  d.recordLength = GetU16(d.header + 10);
  const uint8_t version = d.header[0];
  if (version == 0xF5) {
    d.hasMemo = true;
    d.memoKind = 2;
  } else if (version & 0x80) {
    d.hasMemo = true;
    d.memoKind = (version & 0x8F) == 0x8B ? 1 : 0;
  }
  if (d.hasMemo) {
    d.memo = OpenExistingFile(ReplaceExtensionOf(path, d.memoKind == 2 ? ".FPT" : ".DBT"), kFileRead | kFileAnyCase);
    if (d.memo < 0 && d.memoKind != 2) {
      d.memo = OpenExistingFile(ReplaceExtensionOf(path, ".FPT"), kFileRead | kFileAnyCase);
      if (d.memo >= 0) d.memoKind = 2;
    }
    if (d.memo < 0) d.hasMemo = false;
  }
  if (d.memo >= 0) {
    uint8_t b[2];
    if (d.memoKind == 2) {
      if (ReadFileAt(d.memo, 6, b, 2)) d.blockSize = static_cast<uint32_t>(b[0] << 8 | b[1]);
      else d.hasMemo = false;
    } else if (d.memoKind == 1) {
      if (ReadFileAt(d.memo, 20, b, 2)) d.blockSize = GetU16(b);
      else d.hasMemo = false;
    }
  }
  // Match the column descriptors against the role names.
  uint32_t running = 1;
  int matched = 0;
  for (uint32_t at = 32; at < d.headerLength && matched < kDictRoleCount; at += 32) {
    uint8_t desc[18];
    if (!ReadFileAt(d.table, at, desc, sizeof desc)) {
      d.Close();
      ShowDictionaryError(m, kReadError);
      return 1;
    }
    if (desc[0] == 0x0D) break;  // the descriptors' end mark
    char name[12] = {};
    std::memcpy(name, desc, 11);
    if (char* blank = std::strchr(name, ' ')) *blank = 0;
    const char type = static_cast<char>(desc[11]);
    const uint32_t w = desc[16];
    static const struct {
      int role;
      char type;
    } kOrder[] = {{kDictTableName, 'C'}, {kDictFieldName, 'C'}, {kDictComment, 'C'},     {kDictExtended, 'L'},
                  {kDictFieldHide, 'L'}, {kDictFilterHide, 'L'}, {kDictInsertHide, 'L'}, {kDictSecurity, 'C'},
                  {kDictSecurity, 'N'},  {kDictFormula, 'M'}};
    for (const auto& o : kOrder) {
      if (!EqualNoCase(name, RoleName(m, o.role)) || type != o.type) continue;
      if (o.role == kDictSecurity && type == 'N' && desc[17] != 0) continue;
      if (d.present[o.role]) continue;
      d.present[o.role] = true;
      d.offset[o.role] = running;
      d.width[o.role] = o.role == kDictComment ? std::min<uint32_t>(w, 80)
                        : o.role == kDictSecurity ? std::min<uint32_t>(w, 5)
                                                  : w;
      ++matched;
      break;
    }
    running += w;
  }
  // A column outside the record would read past it: the layout is unusable.
  bool inside = true;
  for (int r = 0; r < kDictRoleCount; ++r)
    if (d.present[r] && d.offset[r] + (d.width[r] ? d.width[r] : 1) > d.recordLength) inside = false;
  if (!d.present[kDictTableName] || !d.present[kDictFieldName] || !d.present[kDictComment] ||
      d.width[kDictTableName] == 0 || d.width[kDictFieldName] == 0 || d.width[kDictComment] == 0 || !inside) {
    d.Close();
    ShowDictionaryError(m, kFormatError);
    return 1;
  }
  if (!d.present[kDictFormula]) d.hasMemo = false;
  d.record.assign(d.recordLength, 0);
  return 0;
}

std::string Column(const ReportDictionary& d, int role) {
  if (!d.present[role]) return "";
  return std::string(reinterpret_cast<const char*>(d.record.data() + d.offset[role]), d.width[role]);
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == 0)) s.pop_back();
  return s;
}

bool Logical(const ReportDictionary& d, int role) {
  if (!d.present[role]) return false;
  const char c = static_cast<char>(d.record[d.offset[role]]);
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

// 0, or 1 when the record cannot be read or is deleted.
int ReadDictionaryRecord(ReportDictionary& d, uint32_t recordNumber, DictionaryEntry* out) {
  if (recordNumber == 0) return 1;
  const uint64_t at = d.headerLength + static_cast<uint64_t>(recordNumber - 1) * d.recordLength;
  if (!ReadFileAt(d.table, at, d.record.data(), d.record.size()) || d.record[0] == '*') return 1;
  *out = DictionaryEntry{};
  out->comment = TrimRight(Column(d, kDictComment));
  out->fieldPart = Column(d, kDictFieldName).substr(0, 11);
  out->extended = Logical(d, kDictExtended);
  out->fieldHide = Logical(d, kDictFieldHide);
  out->filterHide = Logical(d, kDictFilterHide);
  out->insertHide = Logical(d, kDictInsertHide);
  if (d.present[kDictSecurity]) {
    out->security = std::atoi(Column(d, kDictSecurity).c_str());
    if (out->security != 0)
      for (unsigned char c : TrimRight(out->fieldPart)) out->security -= c - 32;
  }
  if (d.hasMemo) out->formulaBlock = static_cast<uint32_t>(std::strtoul(Column(d, kDictFormula).c_str(), nullptr, 10));
  return 0;
}

// The formula text of a memo block, without line ends and control bytes.
std::string ReadMemoText(const ReportDictionary& d, uint32_t block) {
  std::string text;
  if (d.memo < 0 || d.blockSize == 0) return text;
  FileInfo info;
  if (!GetFileInfoByHandle(d.memo, &info)) return text;
  const uint64_t start = static_cast<uint64_t>(block) * d.blockSize;
  if (start >= info.size) return text;
  uint64_t end = info.size;
  uint64_t from = start;
  uint8_t head[8];
  if (ReadFileAt(d.memo, start, head, 2) && (GetU16(head) == 0 || GetU16(head) == 0xFFFF) &&
      ReadFileAt(d.memo, start, head, 8)) {
    from = start + 8;
    if (d.memoKind == 2) {
      const uint32_t length = static_cast<uint32_t>(head[4]) << 24 | head[5] << 16 | head[6] << 8 | head[7];
      end = std::min<uint64_t>(end, from + length);
    } else {
      end = std::min<uint64_t>(end, start + GetU32(head + 4));
    }
  }
  if (end <= from) return text;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(end - from, 1u << 20)));
  if (bytes.empty() || !ReadFileAt(d.memo, from, bytes.data(), bytes.size())) return text;
  for (uint8_t b : bytes) {
    if (b == 0x1A) break;
    if (b < 0x20 || b == 0x8D) continue;
    text.push_back(static_cast<char>(b));
  }
  // Memo text is OEM unless both character-set switches say otherwise.
  if (!text.empty()) OemToCharBuffA(text.c_str(), &text[0], static_cast<DWORD>(text.size()));
  return text;
}

uint32_t InstructionLength(const uint8_t* code, size_t at, size_t length) {
  switch (code[at]) {
    case 8: return 0;
    case 9: return 10;
    case 10: case 11: case 33: case 39: case 40: case 41: return 5;
    case 12: case 36: return 6;
    case 27: return at + 5 <= length ? 5 + GetU32(code + at + 1) : 0;
    case 42: return 13;
    case 43: return 9;
    case 44: return 3;
    default: return 1;
  }
}

// The formulas were compiled against the table's own list: their field
// numbers count from its head, the model's from its own.
void RebaseDictionaryFieldRefs(CKmComposite* m, FieldDef* listHead) {
  uint32_t k = 0;
  for (FieldDef* f = m->fieldList; f != nullptr && f != listHead; f = f->next) ++k;
  if (k == 0) return;
  for (FieldDef* f = listHead; f != nullptr; f = f->next) {
    if (!IsCalc(f) || IsAlias(f) || f->code == nullptr || !(f->dictFlags & kFieldDictFormula)) continue;
    for (size_t at = 0; at < f->codeLength;) {
      const uint32_t n = InstructionLength(f->code, at, f->codeLength);
      if (n == 0 || at + n > f->codeLength) break;
      if (f->code[at] == 10 || f->code[at] == 33) PutU32(f->code + at + 1, GetU32(f->code + at + 1) + k);
      at += n;
    }
  }
}

// A table's formula must stay within that table; a global one may name no table.
bool FormulaInScope(const FieldDef* f, bool global) {
  return global ? f->table == kTableNone : (f->table & 0x80) == 0;
}

// One calculated field from a formula entry. A formula that names another
// formula of the dictionary not made yet keeps its text for the second
// compile (CompileDictionaryFormulas).
void AddDictionaryFormula(CKmComposite* m, const ReportDictionary& d, const DictionaryEntry& entry, FieldDef** listHead,
                          bool global) {
  if (entry.formulaBlock == 0) return;
  const std::string text = ReadMemoText(d, entry.formulaBlock);
  const std::string name = TrimRight(entry.fieldPart);
  if (text.empty() || name.empty()) return;
  FieldDef* f = CompileField(m, name.c_str(), text.c_str(), true, *listHead);
  if (f == nullptr) return;
  if (*listHead == nullptr) *listHead = f;
  if (f->code != nullptr && !FormulaInScope(f, global)) {
    if (*listHead == f) *listHead = f->next;
    m->DeleteField(f, 0);
    return;
  }
  f->flags |= kFieldCalculation | kFieldItem | kFieldNeeded;
  if (global) f->table = kTableNone;
  f->head.bandLine = 0;
  f->head.column = 0;
  f->head.width = 0;
  f->head.flags &= ~kItemKindField;  // not placed on the layout
  f->totalFlags |= kTotalHidden;      // nor when the report is read back
  f->dictFlags = kFieldDictFormula | (entry.filterHide ? kFieldDictFilterHidden : 0) |
                 (entry.insertHide ? kFieldDictInsertHidden : 0);
  if (!entry.comment.empty() && f->text == nullptr) f->text = HeapText(entry.comment);
}

// The second compile: formulas that named formulas made after them. One that
// still does not compile, or leaves its scope, is deleted.
void CompileDictionaryFormulas(CKmComposite* m, FieldDef** listHead, bool global) {
  for (FieldDef* f = *listHead; f != nullptr;) {
    FieldDef* next = f->next;
    if (!IsCalc(f) || IsAlias(f) || !(f->dictFlags & kFieldDictFormula) || f->code != nullptr || f->exprText == nullptr) {
      f = next;
      continue;
    }
    // The compiler sees the table's list, as at the first compile.
    FieldDef* const ownList = m->fieldList;
    const uint32_t ownCount = m->fieldCount;
    m->FreeFieldIndex();
    m->fieldList = *listHead;
    m->fieldCount = 0;
    for (FieldDef* g = *listHead; g != nullptr; g = g->next) ++m->fieldCount;
    uint32_t position = 0;
    CompileOutput out;
    const int rc = CompileExpression(m, f->exprText, &position, &out, f, nullptr, 1);
    m->FreeFieldIndex();
    m->fieldList = ownList;
    m->fieldCount = ownCount;
    uint8_t* code = rc == 0 ? static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size()))) : nullptr;
    if (code != nullptr) {
      std::memcpy(code, out.code.data(), out.code.size());
      f->code = code;
      f->codeLength = static_cast<uint32_t>(out.code.size());
      f->flags = (out.typeFlags & kFieldKindMask) | kFieldCalculation | kFieldItem | kFieldNeeded;
      f->table = global ? kTableNone : out.tableLevel;
      InferExpressionType(m, f->code, f);
      if (m->translateToSql != nullptr) f->sqlText = m->translateToSql(m, f);
    }
    if (code == nullptr || !FormulaInScope(f, global) || (global && out.tableLevel != kTableNone)) {
      if (*listHead == f) *listHead = next;
      m->DeleteField(f, 0);
    }
    f = next;
  }
}

// Steps through the entries whose table part is tablePart, from the seek's position.
void AddFormulaEntries(CKmComposite* m, ReportDictionary& d, IndexCursor* index, const std::string& tablePart,
                       int32_t len1, int32_t len2, FieldDef** listHead, bool global) {
  std::string key = tablePart + std::string(static_cast<size_t>(len2), ' ');
  uint32_t record = 0;
  const int r = SeekKey(m, index, key.c_str(), &record);
  if (r != kIndexKeyFound && r != kIndexGreater) return;
  uint8_t found[kIndexKeyBuffer] = {};
  if (r == kIndexGreater && GetCurrentKey(m, index, found, &record) != kIndexKeyFound) return;
  bool first = r == kIndexKeyFound;  // the table's own entry is no formula
  // Every step moves forward through a finite index; the count bounds a damaged one too.
  for (int guard = 0; guard < 1000000; ++guard) {
    if (!first) {
      if (std::memcmp(found, tablePart.data(), static_cast<size_t>(len1)) != 0) break;
      DictionaryEntry entry;
      if (ReadDictionaryRecord(d, record, &entry) == 0) AddDictionaryFormula(m, d, entry, listHead, global);
    }
    first = false;
    if (NextKey(m, index, found, &record) != kIndexKeyFound) break;
  }
  CompileDictionaryFormulas(m, listHead, global);
}

void Upper(std::string& s) {
  for (char& c : s) c = static_cast<char>(AnsiUpper(static_cast<unsigned char>(c)));
}

}  // namespace

ReportDictionarySwitches& DictionarySwitches() {
  static ReportDictionarySwitches switches;  // one per program run
  return switches;
}

const char* GetFieldDescription(const FieldDef* field) {
  return field != nullptr && field->text != nullptr ? field->text : "";
}

std::string BuildDictionaryKey(CKmComposite* m, int32_t slotNumber, const char* fieldPart, const char* tableText,
                               int32_t len1, int32_t len2) {
  std::string table;
  if (tableText != nullptr) table = tableText;
  else if (slotNumber >= 0 && slotNumber < kMaxTables && m->tableSlots[slotNumber] != nullptr)
    table = StripTablePath(m, m->tableSlots[slotNumber]->path);
  table.resize(static_cast<size_t>(len1), ' ');
  for (char& c : table)
    if (c == 0) c = ' ';
  std::string field = fieldPart != nullptr ? fieldPart : "";
  field.resize(static_cast<size_t>(len2), ' ');
  for (char& c : field)
    if (c == 0) c = ' ';
  std::string key = table + field;
  Upper(key);
  return key;
}

int ReadReportDictionary(CKmComposite* m, FieldDef** listHead, const char* tableName, uint32_t slotNumber,
                         bool reading) {
  const ReportDictionarySwitches& s = DictionarySwitches();
  if (s.suspended || (*listHead == nullptr && slotNumber != 0)) return 0;
  const std::string tablePath = DirText(kDirDictTable);
  if (tablePath.empty()) return 0;
  ReportDictionary d;
  if (OpenReportDictionary(m, d, tablePath) != 0) return 1;

  const std::string indexPath = DirText(kDirDictIndex);
  IndexCursor* index = nullptr;
  const uint32_t savedMode = IndexOpenMode(m);
  SetIndexOpenMode(m, 0x40);
  const bool failed = indexPath.empty() || OpenIndex(m, indexPath.c_str(), &index, BaseName(tablePath).c_str());
  SetIndexOpenMode(m, savedMode);
  if (failed) {
    ShowDictionaryError(m, kIndexError, indexPath.c_str());
    return 1;
  }
  if (index->kind == kIndexIdx || index->kind == kIndexCompactIdx || index->kind == kIndexCdx) index->keyType = 'C';
  BeginIndexUse(m, &index, 1);
  const int32_t len1 = static_cast<int32_t>(d.width[kDictTableName]);
  const int32_t len2 = static_cast<int32_t>(d.width[kDictFieldName]);
  int result = 0;
  if (index->keyLength != len1 + len2) {
    result = 1;
  } else {
    int counted = 0;
    for (FieldDef* f = *listHead; f != nullptr;) {
      FieldDef* next = f->next;
      const bool takesPart = !IsAlias(f) && f->text == nullptr && (!IsCalc(f) || (f->dictFlags & kFieldDictFormula)) &&
                             f->table < 128;
      if (!takesPart) {
        f = next;
        continue;
      }
      const std::string key = BuildDictionaryKey(m, f->table, f->name, nullptr, len1, len2);
      uint32_t record = 0;
      DictionaryEntry entry;
      if (SeekKey(m, index, key.c_str(), &record) == kIndexKeyFound && ReadDictionaryRecord(d, record, &entry) == 0) {
        f->extended = entry.extended ? 1 : 0;
        f->security = entry.security;
        if (entry.fieldHide) {
          if (*listHead == f) *listHead = next;
          m->DeleteField(f, 0);
          f = next;
          continue;
        }
        ++counted;
        if (!entry.comment.empty()) f->text = HeapText(entry.comment);
        if (entry.filterHide) f->dictFlags |= kFieldDictFilterHidden;
        if (entry.insertHide) f->dictFlags |= kFieldDictInsertHidden;
      } else {
        f->extended = 1;
        f->security = 0;
        ++counted;
      }
      f = next;
    }
    if (*listHead != nullptr) {
      const std::string tablePart = BuildDictionaryKey(m, (*listHead)->table, "", nullptr, len1, 0);
      AddFormulaEntries(m, d, index, tablePart, len1, len2, listHead, false);
    }
    if (slotNumber == 0 && !s.globalsSuppressed)
      AddFormulaEntries(m, d, index, std::string(static_cast<size_t>(len1), ' '), len1, len2, listHead, true);
    RebaseDictionaryFieldRefs(m, *listHead);
    if (counted == 0) *listHead = nullptr;
  }
  EndIndexUse(m, &index, 1);
  CloseIndex(m, index);
  if (!reading) PropagateFieldDependencies(m);
  return result;
}
