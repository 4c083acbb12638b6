#include "data/replace_table.h"
#include "expr/type_eval.h"
#include "data/report_dictionary.h"

#include <cstring>
#include <string>
#include <vector>

#include "expr/code_walks.h"
#include "core/composite.h"
#include "model/calc_fields.h"
#include "model/field_dependencies.h"
#include "expr/udf.h"
#include "core/fields.h"
#include "data/open_tables.h"
#include "foundation/text_helpers.h"

namespace {

bool IsDataField(const FieldDef* f) {
  return !(f->flags & (kFieldCalculation | kFieldAlias)) && !(f->totalFlags & kTotalIsTotal);
}

void Unpark(CKmComposite* m, TableReplacement& r) {
  for (FieldDef* f = m->fieldList; f;) {
    FieldDef* next = f->next;
    if (f->table == r.slot && IsDataField(f)) m->DeleteField(f, 2 | 4);
    f = next;
  }
  for (FieldDef* f : r.parked) f->table = static_cast<uint8_t>(r.slot);
  if (TableSlot* t = m->tableSlots[r.slot]) {
    std::snprintf(t->path, sizeof t->path, "%s", r.oldName.c_str());
    std::snprintf(t->alias, sizeof t->alias, "%s", r.oldAlias.c_str());
    // The new table's open made its own run of fields the slot's; the old
    // run, untouched in the list, is the slot's again.
    t->firstField = r.oldFirst;
    t->fieldCount = r.oldCount;
  }
}

void EndReplacement(TableReplacement* r) { *r = TableReplacement(); }

}  // namespace

int BeginReplaceTable(CKmComposite* m, TableReplacement* pending) {
  for (FieldDef* f = m->fieldList; f; f = f->next) f->needsPrevious = 0;
  for (UdfNode* u = m->udfList; u; u = u->next) u->flags &= ~(kUdfMarkCompiles | kUdfMarkBroken);
  if (!pending->active) *pending = TableReplacement();
  return 0;
}

void RecheckAfterReplace(CKmComposite* m, uint32_t slot) {
  ClearFieldMarks(m, false);
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == slot && IsDataField(f)) f->flags |= kFieldRemoveMark;
  PropagateRemovalMarksOnly(m);
  // The matches may differ from the old columns in width or type: the users
  // compile again against them (one that no longer does keeps its code and
  // is reported by the run) and their outputs are described again.
  for (FieldDef* g = m->fieldList; g; g = g->next) {
    if (!(g->flags & (kFieldRemoveMark | kFieldRemovePropagated)) || !(g->flags & kFieldCalculation) ||
        (g->flags & kFieldAlias) || !g->exprText)
      continue;
    RecompileFieldExpression(m, g, true);
    if (g->code) InferExpressionType(m, g->code, g);
  }
  ClearFieldMarks(m, false);
}

int ReplaceTable(CKmComposite* m, TableReplacement* pending, uint32_t slot, const char* name, const char* queryText,
                 const char* const* names, const char* alias, const TableOverrideContext& ctx) {
  if (slot >= static_cast<uint32_t>(kMaxTables) || !m->tableSlots[slot]) return 1;
  TableSlot* t = m->tableSlots[slot];
  if (!pending->active) {
    if (!queryText && name && EqualNoCase(name, t->path)) return 0;
    TableReplacement& r = *pending;
    r.active = true;
    r.slot = slot;
    r.oldName = t->path;
    r.oldAlias = t->alias;
    r.oldFirst = t->firstField;
    r.oldCount = t->fieldCount;
    r.parked.clear();
    for (FieldDef* f = m->fieldList; f; f = f->next)
      if (f->table == slot && IsDataField(f)) {
        f->table = kTableBeingReplaced;
        r.parked.push_back(f);
      }
  } else {
    // Fields of an earlier attempt go first.
    for (FieldDef* f = m->fieldList; f;) {
      FieldDef* next = f->next;
      if (f->table == slot && IsDataField(f)) m->DeleteField(f, 2 | 4);
      f = next;
    }
  }
  uint32_t s = slot;
  // The report holds the dictionary's global formulas already.
  DictionarySwitches().globalsSuppressed = true;
  const int rc = OpenTable(m, name, &s, false, queryText, names, alias, ctx);
  DictionarySwitches().globalsSuppressed = false;
  if (rc) {
    Unpark(m, *pending);
    EndReplacement(pending);
    return rc;
  }
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == slot && IsDataField(f)) f->totalFlags |= kTotalHidden;
  return 0;
}

FieldDef* FindMatchingField(CKmComposite* m, const TableReplacement& pending, const FieldDef* oldField) {
  if (!pending.active) return nullptr;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f->table != pending.slot || f == oldField) continue;
    if ((f->flags & 0x32306) != (oldField->flags & 0x32306)) continue;
    if ((f->flags & kFieldCalculation) && !(f->totalFlags & kTotalHidden)) continue;
    if (EqualNoCase(f->name, oldField->name)) return f;
  }
  return nullptr;
}

int FinishReplaceTable(CKmComposite* m, TableReplacement* pending, bool commit, uint32_t* count) {
  *count = 0;
  if (!pending->active) return 0;
  TableReplacement& r = *pending;
  ClearFieldMarks(m, false);
  std::vector<std::pair<FieldDef*, FieldDef*>> matches;
  for (FieldDef* f : r.parked) {
    FieldDef* match = FindMatchingField(m, r, f);
    if (match) matches.push_back({f, match});
    else f->flags |= kFieldRemoveMark;
  }
  const int rc = CheckRemoval(m);
  if (rc) {
    ClearFieldMarks(m, false);
    return rc;
  }
  *count = static_cast<uint32_t>(CountFieldsToRemove(m));
  // The check leaves the marks for the warning that lists what would go;
  // the commit and the cancel clear them first.
  if (!commit) return 0;
  for (auto& mm : matches) {
    m->SwapFieldRecords(mm.first, mm.second);
    mm.first->flags |= kFieldRemoveMark | kFieldRemovePropagated;
  }
  PropagateRemoval(m, true);
  DeleteMarkedFields(m);
  TableSlot* t = m->tableSlots[r.slot];
  if (t && !r.oldAlias.empty() && !EqualNoCase(r.oldAlias.c_str(), t->alias))
    RenameInCompiledCode(m, kRenameTable, kNoField, static_cast<int>(r.slot), t->alias, r.oldAlias.c_str());
  const uint32_t slot = r.slot;
  EndReplacement(pending);
  ClearFieldMarks(m, false);
  RecheckAfterReplace(m, slot);
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  return 0;
}

void CancelReplaceTable(CKmComposite* m, TableReplacement* pending) {
  if (!pending->active) return;
  Unpark(m, *pending);
  EndReplacement(pending);
  ClearFieldMarks(m, false);
}
