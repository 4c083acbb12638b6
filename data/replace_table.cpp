#include "data/replace_table.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "expr/code_walks.h"
#include "core/composite.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "data/open_tables.h"
#include "foundation/text_helpers.h"

namespace {

struct Replacement {
  uint32_t slot = 0;
  std::string oldName, oldAlias;
  std::vector<FieldDef*> parked;
};
std::map<const CKmComposite*, Replacement> g_replacing;

bool IsDataField(const FieldDef* f) {
  return !(f->flags & (kFieldCalculation | kFieldAlias)) && !(f->totalFlags & kTotalIsTotal);
}

void Unpark(CKmComposite* m, Replacement& r) {
  for (FieldDef* f = m->fieldList; f;) {
    FieldDef* next = f->next;
    if (f->table == r.slot && IsDataField(f)) m->DeleteField(f, 2 | 4);
    f = next;
  }
  for (FieldDef* f : r.parked) f->table = static_cast<uint8_t>(r.slot);
  if (TableSlot* t = m->tableSlots[r.slot]) {
    std::snprintf(t->path, sizeof t->path, "%s", r.oldName.c_str());
    std::snprintf(t->alias, sizeof t->alias, "%s", r.oldAlias.c_str());
  }
}

}  // namespace

bool IsReplacingTable(const CKmComposite* m) { return g_replacing.count(m) != 0; }

int ReplaceTable(CKmComposite* m, uint32_t slot, const char* name, const char* queryText, const char* const* names,
                 const char* alias, const TableOverrideContext& ctx) {
  if (slot >= static_cast<uint32_t>(kMaxTables) || !m->tableSlots[slot]) return 1;
  TableSlot* t = m->tableSlots[slot];
  auto it = g_replacing.find(m);
  if (it == g_replacing.end()) {
    if (!queryText && name && EqualNoCase(name, t->path)) return 0;
    Replacement r;
    r.slot = slot;
    r.oldName = t->path;
    r.oldAlias = t->alias;
    for (FieldDef* f = m->fieldList; f; f = f->next)
      if (f->table == slot && IsDataField(f)) {
        f->table = kTableBeingReplaced;
        r.parked.push_back(f);
      }
    it = g_replacing.emplace(m, r).first;
  } else {
    // Fields of an earlier attempt go first.
    for (FieldDef* f = m->fieldList; f;) {
      FieldDef* next = f->next;
      if (f->table == slot && IsDataField(f)) m->DeleteField(f, 2 | 4);
      f = next;
    }
  }
  uint32_t s = slot;
  const int rc = OpenTable(m, name, &s, false, queryText, names, alias, ctx);
  if (rc) {
    Unpark(m, it->second);
    g_replacing.erase(it);
    return rc;
  }
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == slot && IsDataField(f)) f->totalFlags |= kTotalTableOpened;
  return 0;
}

FieldDef* FindMatchingField(CKmComposite* m, const FieldDef* oldField) {
  auto it = g_replacing.find(m);
  if (it == g_replacing.end()) return nullptr;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f->table != it->second.slot || f == oldField) continue;
    if ((f->flags & 0x32306) != (oldField->flags & 0x32306)) continue;
    if ((f->flags & kFieldCalculation) && !(f->totalFlags & kTotalTableOpened)) continue;
    if (EqualNoCase(f->name, oldField->name)) return f;
  }
  return nullptr;
}

int FinishReplaceTable(CKmComposite* m, bool commit, uint32_t* count) {
  *count = 0;
  auto it = g_replacing.find(m);
  if (it == g_replacing.end()) return 0;
  Replacement& r = it->second;
  ClearFieldMarks(m, false);
  std::vector<std::pair<FieldDef*, FieldDef*>> matches;
  for (FieldDef* f : r.parked) {
    FieldDef* match = FindMatchingField(m, f);
    if (match) matches.push_back({f, match});
    else f->flags |= kFieldRemoveMark;
  }
  const int rc = CheckRemoval(m);
  if (rc) {
    ClearFieldMarks(m, false);
    return rc;
  }
  *count = static_cast<uint32_t>(CountFieldsToRemove(m));
  if (!commit) {
    ClearFieldMarks(m, false);
    return 0;
  }
  for (auto& mm : matches) {
    m->SwapFieldRecords(mm.first, mm.second);
    mm.first->flags |= kFieldRemoveMark | kFieldRemovePropagated;
  }
  PropagateRemoval(m, true);
  DeleteMarkedFields(m);
  TableSlot* t = m->tableSlots[r.slot];
  if (t && !r.oldAlias.empty() && !EqualNoCase(r.oldAlias.c_str(), t->alias))
    RenameInCompiledCode(m, kRenameTable, kNoField, static_cast<int>(r.slot), t->alias, r.oldAlias.c_str());
  g_replacing.erase(it);
  ClearFieldMarks(m, false);
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  return 0;
}

void CancelReplaceTable(CKmComposite* m) {
  auto it = g_replacing.find(m);
  if (it == g_replacing.end()) return;
  Unpark(m, it->second);
  g_replacing.erase(it);
  ClearFieldMarks(m, false);
}
