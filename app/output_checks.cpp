#include "app/output_checks.h"

#include "app/document.h"
#include "core/composite.h"
#include "core/condition_code.h"
#include "data/master_joins.h"
#include "engine/doc_upkeep.h"
#include "engine/output_messages.h"
#include "expr/scanner.h"
#include "expr/code_walks.h"
#include "expr/udf.h"
#include "model/field_dependencies.h"
#include "model/group_levels.h"
#include "platform/win/resources.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {
constexpr unsigned kTotalConditionMustBeEdited = 778;
constexpr unsigned kCalcFieldMustBeEdited = 728;
constexpr unsigned kUserFunctionMustBeEdited = 605;
constexpr unsigned kFilterFieldsDeleted = 607;
constexpr unsigned kCalcJoinNotTranslatable = 928;
constexpr unsigned kJoinFieldGone = 2553;
constexpr unsigned kJoinMustBeEdited = 2551;

}  // namespace

bool CheckChartsBeforeOutput(CKmDoc& doc) {
  if (CKmComposite* m = doc.m_pModel) {
    // A test whose field was deleted would filter on nothing.
    if (m->conditionCode != nullptr && ConditionReferencesField(m->conditionCode, m->conditionLength, kNoField)) {
      ShowOutputError(OutputMessageText(kFilterFieldsDeleted));
      return false;
    }
    // A function whose body no longer compiles would give every call an empty
    // value; a formula that calls one by name may itself have failed to compile.
    UdfNode* broken = FindUncompiledUdf(m, true);
    for (UdfNode* n = m->udfList; n != nullptr && broken == nullptr; n = n->next) {
      if (n->code != nullptr || n->name == nullptr) continue;
      for (FieldDef* f = m->fieldList; f != nullptr && broken == nullptr; f = f->next)
        if (!IsAlias(f) && (FormulaCalls(f->exprText, n->name) || FormulaCalls(f->conditionText, n->name))) broken = n;
    }
    if (broken != nullptr) {
      ShowOutputError(OutputMessageText(kUserFunctionMustBeEdited, broken->name != nullptr ? broken->name : ""));
      return false;
    }
  }
  if (!CheckCalculationsCompile(doc)) return false;
  return CheckTotalsBeforeOutput(doc);
}

bool CheckTotalsBeforeOutput(CKmDoc& doc) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr) return true;
  GroupSetup setup = ModelGroupSetup(m);
  const int code = CheckTotalsSetup(m, setup, nullptr, false);
  if (code == 0) return true;
  ShowOutputError(m->GetEngineErrorText(code));
  return false;
}

std::string FieldTypeName(const FieldDef* f) { return LoadResString(static_cast<UINT>(ObjectKindCode(f->flags))); }

FieldDef* FindBrokenJoinField(CKmDoc& doc) {
  return doc.m_pModel != nullptr ? FindConditionDependency(doc.m_pModel) : nullptr;
}

bool CheckJoinFields(CKmDoc& doc) {
  const FieldDef* f = FindBrokenJoinField(doc);
  if (f == nullptr) return true;
  char text[800];
  if ((f->flags2 & kField2NotInTable) == 0) {  // a calculation the source cannot take
    std::snprintf(text, sizeof text, LoadResString(kCalcJoinNotTranslatable).c_str(), f->name);
  } else {
    // The stand-in carries "?_" before the name the user knows.
    const char* name = std::strncmp(f->name, "?_", 2) == 0 ? f->name + 2 : f->name;
    const TableSlot* t = f->table < kMaxTables ? doc.m_pModel->tableSlots[f->table] : nullptr;
    std::snprintf(text, sizeof text, LoadResString(kJoinFieldGone).c_str(), FieldTypeName(f).c_str(), name,
                  t != nullptr ? t->path : "");
  }
  ShowOutputError(std::string(text) + "\n" + LoadResString(kJoinMustBeEdited));
  return false;
}

bool CheckCalculationsCompile(CKmDoc& doc) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr) return true;
  // Only what the report uses must compile: the run lists say which.
  RebuildRunLists(&doc, 1, false);
  const FieldDef* f = FindUncompiledField(m);
  if (f == nullptr) return true;
  const bool condition = f->conditionText != nullptr && f->conditionText[0] != '\0' && f->conditionCode == nullptr;
  ShowOutputError(OutputMessageText(condition ? kTotalConditionMustBeEdited : kCalcFieldMustBeEdited, f->name));
  return false;
}

bool FormulaCalls(const char* text, const char* function) {
  if (text == nullptr || function == nullptr) return false;
  const size_t n = std::strlen(function);
  bool quoted = false;
  char quote = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (quoted) {
      if (*p == quote) quoted = false;
      continue;
    }
    if (*p == '"' || *p == '\'') {
      quoted = true;
      quote = *p;
      continue;
    }
    const bool startsWord = p == text || !(std::isalnum(static_cast<unsigned char>(p[-1])) || p[-1] == '_');
    if (!startsWord || strncasecmp(p, function, n) != 0) continue;
    const char* after = p + n;
    while (*after == ' ' || *after == '\t') ++after;
    if (*after == '(') return true;
  }
  return false;
}

bool UsesCopyFunction(CKmDoc& doc) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr) return false;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next)
    if (!IsAlias(f) && (FormulaCalls(f->exprText, "COPY") || FormulaCalls(f->conditionText, "COPY"))) return true;
  return false;
}
