#include "app/output_checks.h"

#include "app/document.h"
#include "core/composite.h"
#include "engine/output_messages.h"

#include <cctype>
#include <cstring>
#include <strings.h>

namespace {
ChartCheck g_chartCheck;
constexpr unsigned kTotalConditionMustBeEdited = 778;
constexpr unsigned kCalcFieldMustBeEdited = 728;
}  // namespace

void SetChartCheck(ChartCheck check) { g_chartCheck = std::move(check); }

bool CheckChartsBeforeOutput(CKmDoc& doc) {
  if (g_chartCheck && !g_chartCheck(doc)) return false;
  return CheckCalculationsCompile(doc);
}

bool CheckCalculationsCompile(CKmDoc& doc) {
  CKmComposite* m = doc.m_pModel;
  if (m == nullptr) return true;
  for (FieldDef* f = m->fieldList; f != nullptr; f = f->next) {
    if (IsAlias(f)) continue;
    if (IsTotal(f)) {
      if (f->conditionText != nullptr && f->conditionText[0] != '\0' && f->conditionCode == nullptr) {
        ShowOutputError(OutputMessageText(kTotalConditionMustBeEdited, f->name));
        return false;
      }
    } else if (IsCalc(f) && f->exprText != nullptr && f->exprText[0] != '\0' && f->code == nullptr) {
      ShowOutputError(OutputMessageText(kCalcFieldMustBeEdited, f->name));
      return false;
    }
  }
  return true;
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
