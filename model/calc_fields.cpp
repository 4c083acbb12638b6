#include "model/calc_fields.h"
#include "expr/type_eval.h"

#include <cstring>
#include <string>
#include <vector>

#include "expr/code_walks.h"
#include "expr/collation.h"
#include "expr/compiler.h"
#include "expr/compiler_state.h"
#include "expr/udf.h"
#include "expr/udf_library.h"
#include "foundation/band_lines.h"
#include "foundation/doc_base.h"
#include "foundation/message_dialog.h"
#include "foundation/startup.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "model/field_checks.h"
#include "model/field_dependencies.h"
#include "model/record_filter.h"
#include "foundation/text_helpers.h"

namespace {

constexpr uint32_t kMarkCompiles = kFieldRemoveMark;       // 0x10
constexpr uint32_t kMarkBroken = kFieldRemovePropagated;   // 0x20
constexpr uint32_t kCalcFlagMask = 0x32F44;


using Pending = PendingCalcDefinition::Field;
using PendingFunction = PendingCalcDefinition::Function;

std::string TrimRight(const char* s) {
  std::string t = s ? s : "";
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
  return t;
}

char* CopyPadded(const std::string& text, size_t size) {
  char* p = static_cast<char*>(HeapAllocZero(0, static_cast<DWORD>(size)));
  if (!p) return nullptr;
  std::memset(p, ' ', size - 1);
  std::memcpy(p, text.data(), text.size());
  p[size - 1] = '\0';
  return p;
}

// The filter's condition code references field n.
bool FilterReferences(CKmComposite* m, uint32_t n) {
  return m->conditionCode && ConditionReferencesField(m->conditionCode, m->conditionLength, n);
}

bool IsTotaled(CKmComposite* m, uint32_t n) {
  for (FieldDef* g = m->fieldList; g; g = g->next)
    if ((g->totalFlags & kTotalIsTotal) && !(g->flags & kFieldAlias) && g->refField == n) return true;
  return false;
}

bool ReferencedByAny(CKmComposite* m, FieldDef* f, uint32_t n) {
  for (FieldDef* g = m->fieldList; g; g = g->next) {
    if (g == f) continue;
    size_t len = 0;
    const uint8_t* code = FieldCode(g, &len);
    if (code && ExpressionReferencesField(code, len, n)) return true;
  }
  return false;
}

void SetAliasTables(CKmComposite* m, uint32_t n, uint8_t table) {
  for (FieldDef* g = m->fieldList; g; g = g->next)
    if ((g->flags & kFieldAlias) && g->refField == n) g->table = table;
}

void Recompute(CKmComposite* m) {
  PropagateFieldDependencies(m);
}

// Compiles a field's text again (its calculation, or its condition) into
// out; 1 with nothing to compile, 0 compiled, -1 refused.
int CompileFieldAgain(CKmComposite* m, FieldDef* g, CompileOutput* out) {
  const bool calc = g->flags & kFieldCalculation;
  const char* text = calc ? g->exprText : g->conditionText;
  if (!text) return 1;
  std::string t = TrimRight(text);
  uint32_t pos = 0;
  return CompileExpression(m, t.c_str(), &pos, out, calc ? g : nullptr, nullptr, 2) == 0 ? 0 : -1;
}

// Recompiles a field without keeping the code: true when it still compiles to the same type.
bool StillCompiles(CKmComposite* m, FieldDef* g) {
  CompileOutput out;
  const int r = CompileFieldAgain(m, g, &out);
  if (r != 0) return r > 0;
  return !(g->flags & kFieldCalculation) || (out.typeFlags & kFieldKindMask) == (g->flags & kFieldKindMask);
}

// Recompiles a field and keeps the new code; false on failure.
bool RecompileAndStore(CKmComposite* m, FieldDef* g) {
  const bool calc = g->flags & kFieldCalculation;
  CompileOutput out;
  const int r = CompileFieldAgain(m, g, &out);
  if (r != 0) return r > 0;
  auto* block = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size())));
  if (!block) return false;
  std::memcpy(block, out.code.data(), out.code.size());
  if (calc) {
    if (g->code) HeapFreeBlock(g->code);
    g->code = block;
    g->codeLength = static_cast<uint32_t>(out.code.size());
    g->flags = (g->flags & ~kCalcFlagMask) | (out.typeFlags & kCalcFlagMask) | kFieldCalculation | kFieldItem;
    g->table = out.tableLevel;
  } else {
    if (g->conditionCode) HeapFreeBlock(g->conditionCode);
    g->conditionCode = block;
    g->conditionLength = static_cast<uint32_t>(out.code.size());
  }
  return true;
}

// Puts the saved definition back and frees what the check phase made.
void Restore(CKmComposite* m, Pending& p) {
  FieldDef* f = p.field;
  if (p.kind == kCalcKindCondition) {
    if (f->conditionCode != p.old.code && f->conditionCode) HeapFreeBlock(f->conditionCode);
    if (f->conditionText != p.old.text && f->conditionText) HeapFreeBlock(f->conditionText);
    f->conditionCode = p.old.code;
    f->conditionLength = p.old.codeLength;
    f->conditionText = p.old.text;
  } else {
    if (f->code != p.old.code && f->code) HeapFreeBlock(f->code);
    if (f->exprText != p.old.text && f->exprText) HeapFreeBlock(f->exprText);
    f->code = p.old.code;
    f->codeLength = p.old.codeLength;
    f->exprText = p.old.text;
    f->flags = p.old.flags;
    for (const auto& k : p.marks) {
      k.field->flags2 = k.flags2;
      k.field->totalFlags = k.totalFlags;
    }
    f->refField = p.old.refField;
    f->table = p.old.table;
    std::memcpy(f->name, p.old.name, sizeof f->name);
    SetAliasTables(m, p.index, p.old.table);
  }
  if (p.sqlText) HeapFreeBlock(p.sqlText);
  p.sqlText = nullptr;
  p.tableChanges.clear();
  p.marks.clear();
}

// Drops the provisional change: a changed field gets its old definition, and
// a new one goes, leaving nothing behind. False when nothing was pending.
bool DropPending(CKmComposite* m, PendingCalcDefinition* pending) {
  if (!pending->field) return false;
  Pending& p = *pending->field;
  if (p.mode == 1) {
    Restore(m, p);
  } else {
    if (p.sqlText) HeapFreeBlock(p.sqlText);
    m->DeleteField(p.field, 2 | 4);
  }
  pending->field.reset();
  return true;
}

// Undoes a refused check.
int Refuse(CKmComposite* m, CalcDefRequest* r, int code, PendingCalcDefinition* pending) {
  DropPending(m, pending);
  ClearCalcMarks(m);
  Recompute(m);
  r->status = kCalcStatusErrorPosition;
  return code;
}

// The fields that the last walk over the callers marked (0x10).
std::vector<FieldDef*> MarkedFields(CKmComposite* m) {
  std::vector<FieldDef*> fields;
  for (FieldDef* g = m->fieldList; g; g = g->next)
    if (g->flags & kFieldRemoveMark) fields.push_back(g);
  return fields;
}

int DefineFunction(CKmComposite* m, CalcDefRequest* r, uint32_t* count, PendingCalcDefinition* pending) {
  r->culprit = nullptr;
  PendingFunction p;
  p.node = r->function;
  if (r->function && r->function->name) p.oldName = r->function->name;
  ClearCalcMarks(m);
  if (r->status & 1) {
    // Removing: every function calling it, directly or through others, and
    // every field calling any of them goes too, unless a field links a table.
    p.removal = true;
    static std::string culprit;
    if (r->function && MarkFunctionUsers(m, r->function->id)) {
      p.callers = MarkedFields(m);
      for (UdfNode* n = m->udfList; n; n = n->next)
        if (n->flags & kUdfMarkBroken) p.callingFunctions.push_back(n);
    }
    ClearCalcMarks(m);
    for (FieldDef* g : p.callers) g->flags |= kFieldRemoveMark;
    if (CheckRemoval(m)) {
      culprit = m->errorField ? m->errorField->name : "";
      r->culprit = culprit.c_str();
      ClearFieldMarks(m, false);
      return kCalcUdfUsedInLink;
    }
    if (count) *count = p.callers.empty() && p.callingFunctions.empty() ? 0 : 1;
    pending->function = std::move(p);
    return 0;
  }
  if (r->function && IsFunctionUsed(m, r->function->id)) p.callers = MarkedFields(m);
  ClearCalcMarks(m);
  r->status = kCalcStatusAccepted;
  std::string heading = r->name ? r->name : "";
  while (!heading.empty() && heading.back() == ' ') heading.pop_back();
  r->errorPosition = static_cast<uint32_t>(heading.size());
  const std::string body = TrimRight(r->text);
  int32_t pos = 0;
  const int rc = DefineUdf(m, r->function, heading.c_str(), body.c_str(), &pos);
  if (rc) {
    r->status = kCalcStatusErrorPosition;
    r->errorPosition = static_cast<uint32_t>(pos);
    if (rc >= 100) {
      const int mapped = MapUdfParseError(rc - 100);
      return mapped >= 0 ? mapped : kCalcUdfUsedInLink;
    }
    return rc;
  }
  if (count) *count = 0;
  pending->function = std::move(p);
  return 0;
}

// A change that reaches a sort field, the filter or a linking field makes the
// run's pending file stale.
void FlushIfRunReached(uint32_t status) {
  KmDocBase* doc = GetActiveDocBase();
  if ((status & kCalcStatusReachesRun) && doc) FlushPendingFileName(*doc);
}

// A library failure while committing is told and the commit goes on.
void WarnUdfLibrary(CKmComposite* m, int code) {
  // Shown even without a frame: a function the user thinks is saved must not be lost quietly.
  if (KmDocBase* doc = GetActiveDocBase())
    doc->ShowMessageDialog(doc->GetOwnerWindow(), UdfLibraryErrorText(m, code), doc->GetAppCaption(), kMsgWarning);
}

void CommitFunction(CKmComposite* m, CalcDefRequest* r, PendingCalcDefinition* pending) {
  if (!pending->function) return;
  PendingFunction p = std::move(*pending->function);
  pending->function.reset();
  r->status = 0;
  // The library is open while the function list edits (LoadUserFunctions);
  // the change goes to its member as it is committed.
  const bool libraryOpen = UdfLibraryHandle(m) != nullptr;
  if (p.removal) {
    ClearFieldMarks(m, false);
    for (FieldDef* g : p.callers) g->flags |= kFieldRemoveMark;
    PropagateRemoval(m, false);
    DeleteMarkedFields(m);
    p.callingFunctions.insert(p.callingFunctions.begin(), p.node);
    for (UdfNode* node : p.callingFunctions) {
      if (!node) continue;
      if (libraryOpen && DeleteUdfFromLibrary(m, node) != 0) {
        // Still in the library, so it stays in the list too.
        WarnUdfLibrary(m, kUdfLibDeleteError);
        continue;
      }
      DeleteUdf(m, node);
      if (node == r->function) r->function = nullptr;
    }
    ClearFieldMarks(m, false);
    return;
  }
  UdfNode* node = CommitUdfDefinition(m);
  r->function = node;
  if (node && libraryOpen && SaveUdf(m, node, p.oldName.empty() ? nullptr : p.oldName.c_str()) != 0)
    WarnUdfLibrary(m, kUdfLibWriteError);
  // Callers compile again against the new definition; those that no longer compile lose their code.
  for (FieldDef* g : p.callers) {
    if (!RecompileAndStore(m, g) && (g->flags & kFieldCalculation) && g->code) {
      HeapFreeBlock(g->code);
      g->code = nullptr;
      g->codeLength = 0;
    }
    if (!p.callers.empty()) r->status |= kCalcStatusReachesRun * ((g->flags & kFieldJoin) != 0);
  }
  FlushIfRunReached(r->status);
}

}  // namespace


int RecompileFieldExpression(CKmComposite* m, FieldDef* field, bool store) {
  if (!StillCompiles(m, field)) return 1;
  return !store || RecompileAndStore(m, field) ? 0 : 1;
}

int LoadUserFunctions(CKmComposite* m) { return OpenUdfLibrary(m, true); }

void SaveUserFunctions(CKmComposite* m) { CloseUdfLibrary(m); }

bool HasPendingCalcDefinition(const PendingCalcDefinition& pending) {
  return pending.field.has_value() || pending.function.has_value();
}

int CheckCalcFieldName(CKmComposite* m, const char* name, const FieldDef* field) {
  if (!name) return kCalcBadName;
  if (field && EqualNoCase(name, field->name)) return 0;
  if (!name[0] || !IsCharAlphaByte(static_cast<unsigned char>(name[0]))) return kCalcBadName;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (!IsCharAlphaByte(c) && !(c >= '0' && c <= '9') && c != '_') return kCalcBadName;
  }
  static const char* const kReserved[] = {".F.", "TRUE", "YES", "ON", "FALSE", "NO", "OFF", "AND", "OR"};
  for (const char* r : kReserved)
    if (EqualNoCase(name, r)) return kCalcBadName;
  for (FieldDef* g = m->fieldList; g; g = g->next)
    if (g != field && !(g->flags & kFieldAlias) && EqualNoCase(g->name, name)) return kCalcNameUsed;
  return 0;
}

int MapUdfParseError(int code) {
  static const int kMap[] = {-1, 46, 47, 48, 49, 50, 51, 24, 52, 53};
  return code >= 1 && code <= 9 ? kMap[code] : -1;
}

int MapFunctionUseError(int code) { return code == 3126 ? kCalcUdfUsedInLink : -1; }

void ClearCalcMarks(CKmComposite* m) {
  for (FieldDef* g = m->fieldList; g; g = g->next) g->flags &= ~(kMarkCompiles | kMarkBroken);
  for (UdfNode* n = m->udfList; n; n = n->next) n->flags &= ~(kUdfMarkCompiles | kUdfMarkBroken);
}

bool LinkFieldsAreValid(CKmComposite* m) {
  for (int s = 1; s < kMaxTables; ++s) {
    TableSlot* t = m->tableSlots[s];
    if (!t) continue;
    for (const JoinLink* l = &t->link; l; l = l->next) {
      for (int i = 0; i < 5; ++i) {
        if (l->pairs[i][0] == kNoField) { l = nullptr; break; }
        for (int side = 0; side < 2; ++side) {
          FieldDef* f = m->GetFieldAt(l->pairs[i][side]);
          if (f && (f->flags & (kFieldPageNumber | kFieldRecordNumber | kFieldMemo))) return false;
        }
      }
      if (!l) break;
    }
  }
  return true;
}

bool IsCircularThroughLink(CKmComposite* m, FieldDef* field, uint32_t index) {
  if (!(field->flags & kFieldJoin)) return false;
  // The lookup tables this field links.
  std::vector<int> tables;
  for (int s = 1; s < kMaxTables; ++s) {
    TableSlot* t = m->tableSlots[s];
    if (!t) continue;
    bool links = false;
    for (const JoinLink* l = &t->link; l && !links; l = l->next)
      for (int i = 0; i < 5 && l->pairs[i][0] != kNoField; ++i)
        if (l->pairs[i][0] == index) links = true;
    if (links) tables.push_back(s);
  }
  if (tables.empty()) return false;
  // Everything the field depends on, directly or through other fields.
  std::vector<uint32_t> todo{index};
  std::vector<bool> seen(m->fieldCount + 1, false);
  while (!todo.empty()) {
    uint32_t n = todo.back();
    todo.pop_back();
    FieldDef* g = m->GetFieldAt(n);
    if (!g || n >= seen.size() || seen[n]) continue;
    seen[n] = true;
    if (n != index && !(g->flags & (kFieldCalculation | kFieldAlias)))
      for (int s : tables)
        if (g->table == s) return true;
    size_t len = 0;
    const uint8_t* code = FieldCode(g, &len);
    ForEachFieldReference(code, len, [&](uint32_t r, bool) { todo.push_back(r); });
  }
  return false;
}

int DefineCalcField(CKmComposite* m, CalcDefRequest* r, uint32_t* count, PendingCalcDefinition* pending) {
  if (count) *count = 0;
  if (r->kind != kCalcKindField && r->kind != kCalcKindCondition) return DefineFunction(m, r, count, pending);
  if (pending->field) CancelCalcDefinition(m, r, pending);
  r->culprit = nullptr;
  ClearCalcMarks(m);
  r->status = kCalcStatusAccepted;
  const bool calc = r->kind == kCalcKindField;
  if (calc && r->name) {
    int rc = CheckCalcFieldName(m, r->name, r->field);
    if (rc) { r->status = kCalcStatusErrorPosition; return rc; }
  }
  if (!calc && !r->field) return -1;
  std::string text = TrimRight(r->text);
  m->compileWord = 1;

  Pending p;
  p.kind = r->kind;
  if (r->field) {
    FieldDef* f = r->field;
    p.mode = 1;
    p.field = f;
    p.index = m->GetFieldIndex(f);
    if (calc) {
      std::memcpy(p.old.name, f->name, sizeof f->name);
      p.old.code = f->code;
      p.old.codeLength = f->codeLength;
      p.old.text = f->exprText;
      p.old.flags = f->flags;
      for (FieldDef* g = m->fieldList; g; g = g->next) p.marks.push_back({g, g->flags2, g->totalFlags});
      p.old.refField = f->refField;
      p.old.table = f->table;
      p.referenced = ReferencedByAny(m, f, p.index);
      p.wasLinking = f->flags & kFieldJoin;
    } else {
      p.old.code = f->conditionCode;
      p.old.codeLength = f->conditionLength;
      p.old.text = f->conditionText;
    }
  } else {
    FieldDef* f = m->AddField(kFieldItem);
    if (!f) { r->status = kCalcStatusNoMemory; return kCalcNoMemory; }
    f->flags |= kFieldCalculation;
    p.field = f;
    p.index = m->GetFieldIndex(f);
    p.old.flags = f->flags;
    p.old.table = f->table;
  }
  FieldDef* f = p.field;
  const bool filterUses = calc && FilterReferences(m, p.index);
  const bool totaled = calc && IsTotaled(m, p.index);
  const bool used = filterUses || p.wasLinking || totaled;
  pending->field = p;
  Pending& pp = *pending->field;

  if (calc && r->name) std::snprintf(f->name, sizeof f->name, "%s", r->name);
  if (!calc && text.empty()) {
    pp.conditionRemoval = true;
    return 0;
  }

  CompileOutput out;
  uint32_t pos = 0;
  int rc = CompileExpression(m, text.c_str(), &pos, &out, calc ? f : nullptr, nullptr, p.mode == 1 ? 2 : 1);
  r->errorPosition = pos;
  if (rc) return Refuse(m, r, rc, pending);
  const size_t size = text.size() + m->compileExtraLength1 + m->compileExtraLength2 + 1;
  if (size > kMaxExpressionBuffer) return Refuse(m, r, kCalcBufferOverflow, pending);
  char* newText = CopyPadded(text, size);
  auto* newCode = static_cast<uint8_t*>(HeapAllocZero(0, static_cast<DWORD>(out.code.size())));
  if (!newText || !newCode) {
    if (newText) HeapFreeBlock(newText);
    if (newCode) HeapFreeBlock(newCode);
    int code = Refuse(m, r, kCalcNoMemory, pending);
    r->status = kCalcStatusNoMemory;
    return code;
  }
  std::memcpy(newCode, out.code.data(), out.code.size());

  if (!calc) {
    // A condition may not rest on a total nor be a long text.
    f->conditionCode = newCode;
    f->conditionLength = static_cast<uint32_t>(out.code.size());
    f->conditionText = newText;
    if (out.typeFlags & kFieldTotalRelated) return Refuse(m, r, kCalcConditionOnTotal, pending);
    if (out.typeFlags & kFieldMemo) return Refuse(m, r, kCalcConditionMemo, pending);
    return 0;
  }

  pp.typeChanged = p.mode == 1 && (out.typeFlags & kFieldKindMask) != (p.old.flags & kFieldKindMask);
  f->code = newCode;
  f->codeLength = static_cast<uint32_t>(out.code.size());
  f->exprText = newText;
  f->flags = (f->flags & ~kCalcFlagMask) | (out.typeFlags & kCalcFlagMask) | kFieldCalculation | kFieldItem;
  f->table = out.tableLevel;
  if (out.groupField) f->refField = m->GetFieldIndex(out.groupField);
  SetAliasTables(m, p.index, f->table);
  ClearCalcMarks(m);

  // Dependents that no longer compile under the new type.
  std::vector<std::pair<FieldDef*, uint8_t*>> broken;
  if (pp.typeChanged && pp.referenced) {
    f->flags |= kMarkBroken;
    for (FieldDef* g = m->fieldList; g; g = g->next) {
      if (g == f) continue;
      size_t len = 0;
      const uint8_t* code = FieldCode(g, &len);
      if (!code || !ExpressionReferencesField(code, len, p.index)) continue;
      if (StillCompiles(m, g)) {
        g->flags |= kMarkCompiles;
      } else {
        if (FilterReferences(m, m->GetFieldIndex(g))) {
          for (auto& b : broken) b.first->code = b.second;
          return Refuse(m, r, kCalcUsedInFilter, pending);
        }
        g->flags |= kMarkBroken;
        if (g->flags & kFieldCalculation) {
          broken.push_back({g, g->code});
          g->code = nullptr;
        }
      }
    }
  }
  pp.tableChanged = f->table != p.old.table;
  if (pp.tableChanged && p.mode == 1) pp.tableChanges.push_back({f, p.old.table});

  FieldDef* cycle = PropagateFieldDependencies(m);
  const bool linked = !LinkFieldsAreValid(m);
  const bool sorted = ValidateSlotTables(*m) == 0;
  KmDocBase* doc = GetActiveDocBase();
  const bool lineControl = doc != nullptr && doc->m_bandLines.lines != nullptr &&
                           ValidateBandLineObjects(doc->m_bandLines) == 0;
  uint32_t filterFlags = 0;
  for (FieldDef* g = m->fieldList; g; g = g->next)
    if (FilterReferences(m, m->GetFieldIndex(g))) filterFlags |= g->flags;
  const bool filterOnThis = FilterReferences(m, p.index);

  int refusal = 0;
  const uint32_t fl = f->flags;
  if (fl & kFieldTotalRelated) {
    if (!(f->totalFlags & kTotalPreprocessed)) {
      FieldDef* t = f;
      for (int guard = 0; t && !(t->totalFlags & kTotalIsTotal) && guard < 1000; ++guard)
        t = t->refField != kNoField && t->refField != f->refField ? m->GetFieldAt(t->refField) : nullptr;
      if (!t) t = m->GetFieldAt(f->refField);
      const bool grandCountOrSum = t && t->totalReset == 255 && (t->totalFunction == 1 || t->totalFunction == 0);
      if (!grandCountOrSum && filterOnThis) refusal = kCalcRunningTotalFilter;
    }
    if (!refusal && lineControl) refusal = kCalcPageTotalLineControl;
    if (!refusal && sorted)
      refusal = (f->totalFlags & kTotalPreprocessed) && (f->flags2 & 2) ? kCalcTotalsSort : kCalcRunningTotalSort;
  }
  if (!refusal && (fl & kFieldPageNumber)) {
    if (sorted) refusal = kCalcPageNumberSort;
    else if (linked) refusal = kCalcPageNumberLink;
    else if (filterFlags & kFieldPageNumber) refusal = kCalcPageNumberFilter;
  }
  if (!refusal && (fl & kFieldRecordNumber)) {
    if (linked) refusal = kCalcRecordNumberLink;
    else if (filterFlags & kFieldRecordNumber) refusal = kCalcRecordNumberFilter;
    else if (sorted) refusal = kCalcRecordNumberSort;
  }
  if (!refusal && (fl & kFieldMemo)) {
    if (sorted) refusal = kCalcMemoSort;
    else if (linked) refusal = kCalcMemoLink;
  }
  if (!refusal && (fl & kFieldPreviousRelated) && sorted) refusal = kCalcPreviousSort;
  if (!refusal && (f->totalFlags & kTotalLevelZero) && sorted) refusal = kCalcSelfReferenceSort;
  if (!refusal && pp.typeChanged && used)
    refusal = filterUses ? kCalcUsedInFilter : p.wasLinking ? kCalcIsLinkingField : kCalcIsTotaled;
  static std::string culprit;
  if (!refusal && cycle) {
    FieldDef* c = cycle == f && cycle->orderNext ? cycle->orderNext : cycle;
    culprit = c ? c->name : (r->name ? r->name : "");
    r->culprit = culprit.c_str();
    refusal = kCalcCircular;
  }
  if (!refusal && IsCircularThroughLink(m, f, p.index)) {
    culprit = f->name;
    r->culprit = culprit.c_str();
    refusal = kCalcCircular;
  }
  for (auto& b : broken) b.first->code = b.second;
  if (count) *count = static_cast<uint32_t>(broken.size());
  if (!refusal && m->translateToSql) {
    pp.sqlText = m->translateToSql(m, f);
    if (!pp.sqlText && p.mode == 1 && (f->flags & kFieldJoin) && !(f->flags2 & kField2ValueSetElsewhere))
      refusal = kCalcJoinUntranslatable;
  }
  if (refusal) {
    if (count) *count = 0;
    return Refuse(m, r, refusal, pending);
  }
  // Broken dependents keep their 0x20 mark for the caller's list; the rest lose theirs.
  for (FieldDef* g = m->fieldList; g; g = g->next) g->flags &= ~kMarkCompiles;
  f->flags &= ~kMarkBroken;
  return 0;
}

void CommitCalcDefinition(CKmComposite* m, void* /*ownerWindow*/, CalcDefRequest* r,
                          PendingCalcDefinition* pending) {
  if (r->kind != kCalcKindField && r->kind != kCalcKindCondition) {
    CommitFunction(m, r, pending);
    return;
  }
  if (!pending->field) return;
  Pending p = std::move(*pending->field);
  pending->field.reset();
  FieldDef* f = p.field;
  r->status = 0;

  if (p.kind == kCalcKindCondition) {
    if (p.conditionRemoval) {
      if (f->conditionCode) HeapFreeBlock(f->conditionCode);
      if (f->conditionText) HeapFreeBlock(f->conditionText);
      f->conditionCode = nullptr;
      f->conditionText = nullptr;
      f->conditionLength = 0;
    } else {
      if (p.old.code && p.old.code != f->conditionCode) HeapFreeBlock(p.old.code);
      if (p.old.text && p.old.text != f->conditionText) HeapFreeBlock(p.old.text);
    }
    ClearCalcMarks(m);
    return;
  }

  // Fields that moved to another table: their qualified references follow.
  for (auto& c : p.tableChanges)
    if (c.first->table < 128 && c.second < 128 && m->tableSlots[c.second] && m->tableSlots[c.first->table])
      RenameInCompiledCode(m, kRenameTable, m->GetFieldIndex(c.first), c.second,
                           m->tableSlots[c.first->table]->alias, m->tableSlots[c.second]->alias);

  // Users broken by a type change lose their code; the rest are recompiled.
  if (p.mode == 1 && (p.typeChanged || p.tableChanged)) {
    for (FieldDef* g = m->fieldList; g; g = g->next) {
      if (g == f) continue;
      if (g->flags & kMarkBroken) {
        if ((g->flags & kFieldCalculation) && g->code) {
          HeapFreeBlock(g->code);
          g->code = nullptr;
          g->codeLength = 0;
        }
        continue;
      }
      size_t len = 0;
      const uint8_t* code = FieldCode(g, &len);
      if ((code && ExpressionReferencesField(code, len, p.index)) || ((g->flags & kFieldCalculation) && !g->code))
        RecompileAndStore(m, g);
    }
  }

  const bool codeChanged = p.old.codeLength != f->codeLength ||
                           (p.old.code && std::memcmp(p.old.code, f->code, f->codeLength) != 0) || !p.old.code;
  if (p.old.code && p.old.code != f->code) HeapFreeBlock(p.old.code);
  if (p.old.text && p.old.text != f->exprText) HeapFreeBlock(p.old.text);

  if (p.mode == 0 || p.typeChanged) {
    const uint32_t kind = f->flags & kFieldKindMask;
    f->timeFormat = 0;
    if (kind == kFieldLogical) f->formatCode = 0x11;
    else if (kind == kFieldNumeric) f->formatCode = 0x3005;
    else if (kind == kFieldMemo) f->formatCode = 0x41;
    else if (kind == kFieldDate) f->formatCode = 0xA100;
    else if (kind == kFieldDateTime) { f->formatCode = 0xA100; f->timeFormat = 0x8030; }
    else if (kind == kFieldTime) { f->formatCode = 0x100; f->timeFormat = 0x8000; }
    else f->formatCode = 0x11;
    if (f->code) InferExpressionType(m, f->code, f);
    if (p.mode == 1)
      for (FieldDef* g = m->fieldList; g; g = g->next)
        if ((g->flags & kFieldAlias) && g->refField == p.index) {
          g->formatCode = f->formatCode;
          g->timeFormat = f->timeFormat;
          g->displayWidth = f->displayWidth;
          g->displayDecimals = f->displayDecimals;
        }
  } else if (!(f->flags & kFieldKindMask)) {
    // A changed text field may change length: it and its users measure
    // their values again, while the field keeps the display set for it.
    const uint32_t formatCode = f->formatCode, timeFormat = f->timeFormat, width = f->displayWidth;
    const uint8_t decimals = f->displayDecimals;
    ClearCalcMarks(m);
    f->flags |= kFieldRemoveMark;
    PropagateRemovalMarksOnly(m);
    for (FieldDef* g = m->fieldList; g; g = g->next)
      if ((g->flags & (kFieldRemoveMark | kFieldRemovePropagated)) && (g->flags & kFieldCalculation) &&
          !(g->flags & kFieldAlias) && g->code)
        InferExpressionType(m, g->code, g);
    ClearCalcMarks(m);
    f->formatCode = formatCode;
    f->timeFormat = timeFormat;
    f->displayWidth = width;
    f->displayDecimals = decimals;
  }
  if (p.mode == 1 && !EqualNoCase(p.old.name, f->name)) {
    // The rename walks texts under the old name, so it runs before the new one stands.
    char newName[sizeof f->name];
    std::memcpy(newName, f->name, sizeof newName);
    std::memcpy(f->name, p.old.name, sizeof f->name);
    RenameInCompiledCode(m, kRenameField, p.index, -1, newName, p.old.name);
    std::memcpy(f->name, newName, sizeof f->name);
    m->SyncAliasNames();
  }
  if (p.mode == 0) f->totalFlags |= kTotalHidden;
  ClearCalcMarks(m);
  PropagateFieldDependencies(m);

  if (codeChanged) {
    f->flags |= kFieldRemoveMark;
    PropagateRemovalMarksOnly(m);
    for (FieldDef* g = m->fieldList; g; g = g->next) {
      if (!(g->flags & (kFieldRemoveMark | kFieldRemovePropagated))) continue;
      const bool sortField = IsSortSlotField(*m, m->GetFieldIndex(g));
      if (sortField || (g->flags & kFieldJoin) || FilterReferences(m, m->GetFieldIndex(g)))
        r->status |= kCalcStatusReachesRun;
    }
    ClearCalcMarks(m);
  }
  if (p.mode == 1) {
    // A changed field may break a pre-processed total or the filter's use of one.
    CheckPreprocessedTotals(m);
    ClearFieldMarks(m, false);
    CheckFieldRemoval(m, f);
    ClearFieldMarks(m, false);
  }
  if (p.mode == 0) r->field = f;
  if (f->sqlText) HeapFreeBlock(f->sqlText);
  f->sqlText = p.sqlText;
  if (p.mode == 1 && m->translateToSql)
    for (FieldDef* g = m->fieldList; g; g = g->next) {
      size_t len = 0;
      const uint8_t* code = FieldCode(g, &len);
      if (g != f && (g->flags & kFieldCalculation) && code && ExpressionReferencesField(code, len, p.index)) {
        if (g->sqlText) HeapFreeBlock(g->sqlText);
        g->sqlText = m->translateToSql(m, g);
      }
    }
  FlushIfRunReached(r->status);
}

void CancelCalcDefinition(CKmComposite* m, CalcDefRequest* /*request*/, PendingCalcDefinition* pending) {
  if (pending->function) {
    if (!pending->function->removal) CancelUdfDefinition(m);
    pending->function.reset();
  }
  if (DropPending(m, pending)) Recompute(m);
  ClearCalcMarks(m);
}

int TrialCompileCalcField(CKmComposite* m, CalcDefRequest* r) {
  if (r->kind != kCalcKindField && r->kind != kCalcKindCondition) return -1;
  m->compileWord = 1;
  r->status = kCalcStatusAccepted;
  if (r->kind == kCalcKindField && r->name) {
    int rc = CheckCalcFieldName(m, r->name, r->field);
    if (rc) { r->status = kCalcStatusErrorPosition; return rc; }
  }
  std::string text = TrimRight(r->text);
  FieldDef scratch;
  scratch.flags = kFieldCalculation | kFieldItem;
  if (r->field) std::memcpy(scratch.name, r->field->name, sizeof scratch.name);
  CompileOutput out;
  uint32_t pos = 0;
  // The copy is checked as the field it stands for (who uses it, the filter).
  CompilerState* st = GetCompilerState(m);
  FieldDef* const before = st->trialOf;
  st->trialOf = r->kind == kCalcKindField ? r->field : nullptr;
  int rc = CompileExpression(m, text.c_str(), &pos, &out, r->kind == kCalcKindField ? &scratch : nullptr,
                             nullptr, 2);
  st->trialOf = before;
  r->errorPosition = pos;
  if (rc) { r->status = kCalcStatusErrorPosition; return rc; }
  if (r->kind == kCalcKindCondition) {
    if (out.typeFlags & kFieldTotalRelated) return kCalcConditionOnTotal;
    if (out.typeFlags & kFieldMemo) return kCalcConditionMemo;
  }
  return 0;
}

void RenameDuplicateFields(CKmComposite* m, int table) {
  std::vector<uint32_t> qualify;
  uint32_t n = 0;
  for (FieldDef* g = m->fieldList; g; g = g->next, ++n) {
    if ((g->flags & kFieldAlias) || g->table == table || g->table >= kMaxTables || !m->tableSlots[g->table]) continue;
    if (g->flags & kFieldCalculation) continue;
    for (FieldDef* f = m->fieldList; f; f = f->next)
      if (f->table == table && !(f->flags & kFieldAlias) && EqualNoCase(f->name, g->name)) {
        qualify.push_back(n);
        break;
      }
  }
  // The texts were written while the names were unique: the new table's
  // fields stay out of sight while they are read again.
  std::vector<std::pair<FieldDef*, std::string>> hidden;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == table && !(f->flags & kFieldAlias)) {
      hidden.push_back({f, f->name});
      f->name[0] = '\0';
    }
  for (uint32_t q : qualify) {
    FieldDef* g = m->GetFieldAt(q);
    RenameInCompiledCode(m, kRenameField, q, g->table, nullptr, nullptr);
  }
  for (auto& h : hidden) std::snprintf(h.first->name, sizeof h.first->name, "%s", h.second.c_str());
}
