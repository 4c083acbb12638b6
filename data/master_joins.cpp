#include "data/master_joins.h"

#include <cstring>

#include "foundation/heap_strings.h"

#include "expr/collation.h"
#include "model/calc_fields.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/field_dependencies.h"
#include "core/fields.h"
#include "data/data_access.h"
#include "data/open_tables.h"
#include "data/sql_names.h"
#include "model/relation_wording.h"
#include "data/replace_table.h"
#include "data/master_statement.h"
#include "data/reportview.h"
#include "foundation/text_helpers.h"

namespace {

int SlotIndex(CKmComposite* m, const TableSlot* t) {
  for (int i = 0; i < kMaxTables; ++i)
    if (m->tableSlots[i] == t) return i;
  return -1;
}

}  // namespace

bool IsSqlReport(const CKmComposite* m) { return m->statementText != nullptr; }

int CompareMasterSource(const CKmComposite* m, const MasterSourceRequest& request) {
  if (IsSqlReport(m)) return EqualNoCase(m->statementText, request.statement ? request.statement : "") ? 0 : 1;
  const TableSlot* master = m->tableSlots[0];
  return master && EqualNoCase(master->path, request.path ? request.path : "") ? 0 : 1;
}

int CheckTableAlias(CKmComposite* m, const char* alias, int exceptSlot, bool checkForm, int firstSlot,
                    const char* derivedAlias) {
  if (!alias) alias = "";
  if (checkForm && !SqlAliasUsable(alias)) return kEngineInvalidAlias;
  for (int s = firstSlot; s < kMaxTables; ++s) {
    if (s == exceptSlot || !m->tableSlots[s]) continue;
    if (EqualNoCase(m->tableSlots[s]->alias, alias)) return kEngineDuplicateAlias;
  }
  if (derivedAlias && EqualNoCase(derivedAlias, alias)) return kEngineDuplicateAlias;
  return 0;
}

uint8_t RelationBitsFor(uint8_t approximate, uint8_t rule) {
  uint8_t bits = rule == 1 ? 0x40 : rule == 2 ? 0x60 : 0x20;
  if (approximate == 1) bits |= kRelationApproxNext;
  else if (approximate == 2) bits |= kRelationApproxPrev;
  return bits;
}

int CountJoinFields(CKmComposite* m, int number) {
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 0;
  int count = 0;
  for (const JoinLink* l = &t->link; l; l = l->next)
    for (int i = 0; i < 5; ++i) {
      if (l->pairs[i][0] == kNoField) return count;
      ++count;
    }
  return count;
}

int GetJoinInfo(CKmComposite* m, JoinRequest* r, int number, JoinInfoStorage* st) {
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 1;
  st->path = t->path;
  st->alias = t->alias;
  st->links.clear();
  st->columns.clear();
  std::vector<std::pair<FieldDef*, FieldDef*>> pairs;
  bool done = false;
  for (const JoinLink* l = &t->link; l && !done; l = l->next)
    for (int i = 0; i < 5; ++i) {
      if (l->pairs[i][0] == kNoField) { done = true; break; }
      pairs.push_back({m->GetFieldAt(l->pairs[i][0]), m->GetFieldAt(l->pairs[i][1])});
    }
  st->columns.reserve(pairs.size());
  for (auto& p : pairs) st->columns.push_back(p.second ? p.second->name : "");
  for (size_t i = 0; i < pairs.size(); ++i) {
    JoinLinkEntry e;
    e.field = pairs[i].first;
    e.column = st->columns[i].c_str();
    e.notInTable = pairs[i].second && (pairs[i].second->flags2 & kField2NotInTable) ? 1 : 0;
    st->links.push_back(e);
  }
  st->links.push_back(JoinLinkEntry{});
  r->links = st->links.data();
  r->path = st->path.c_str();
  r->alias = st->alias.c_str();
  r->approximate = (t->relationBits & kRelationApproxPrev) ? 2 : (t->relationBits & kRelationApproxNext) ? 1 : 0;
  const uint8_t rule = t->relationBits & 0x60;
  r->rule = rule == 0x20 ? 0 : rule == 0x40 ? 1 : 2;
  return 0;
}

int IsJoinUnchanged(CKmComposite* m, const JoinRequest& r, int number) {
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 0;
  const uint8_t want = RelationBitsFor(r.approximate, r.rule);
  if ((t->relationBits & 0x66) != (want & 0x66)) return 1;
  if (!EqualNoCase(t->path, r.path ? r.path : "")) return 1;
  const JoinLinkEntry* e = r.links;
  for (const JoinLink* l = &t->link; l; l = l->next)
    for (int i = 0; i < 5; ++i) {
      if (l->pairs[i][0] == kNoField) return e && e->field ? 1 : 0;
      if (!e || !e->field) return 1;
      FieldDef* lookup = m->GetFieldAt(l->pairs[i][1]);
      if (m->GetFieldAt(l->pairs[i][0]) != e->field || !lookup || !EqualNoCase(lookup->name, e->column))
        return 1;
      ++e;
    }
  return e && e->field ? 1 : 0;
}

int FindJoinUsers(CKmComposite* m, int number, uint32_t* count, JoinRemoval* pending) {
  *count = 0;
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 1;
  const int slot = SlotIndex(m, t);
  // The in-use marks as the report would stand without this join: its own
  // linking fields are no use of the table.
  const uint32_t firstLink = t->link.pairs[0][0];
  JoinLink* const moreLinks = t->link.next;
  t->link.pairs[0][0] = kNoField;
  t->link.next = nullptr;
  if (m->rebuildRunLists) m->rebuildRunLists(m);
  // The record sort reads its fields as well (its ORDER BY), totals sorted or not.
  for (uint32_t id : m->sortFields) {
    if (id == kNoField) break;
    if (FieldDef* f = m->GetFieldAt(id)) f->flags |= kFieldNeeded;
  }
  t->link.pairs[0][0] = firstLink;
  t->link.next = moreLinks;
  ClearFieldMarks(m, false);
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    f->needsPrevious = 0;
    if (f->table == slot) f->flags |= kFieldRemoveMark;
  }
  for (int guard = 0; guard <= static_cast<int>(m->fieldCount); ++guard) {
    FieldDef* user = FindFieldUsingTable(m, slot);
    if (!user) break;
    user->flags |= kFieldRemoveMark;
  }
  const int rc = CheckRemoval(m);
  if (rc) {
    ClearFieldMarks(m, false);
    return rc;
  }
  // Columns of the table that nothing shows or uses go unnoticed.
  *count = static_cast<uint32_t>(CountFieldsAffected(m));
  pending->slot = slot;
  return 0;
}

void RemoveJoin(CKmComposite* m, JoinRemoval* pending) {
  if (pending->slot < 0) return;
  const int slot = pending->slot;
  pending->slot = -1;
  DeleteMarkedFields(m);
  RemoveTable(m, slot, true);
  m->ComputeTableOrder();
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
}

void CancelJoinRemoval(CKmComposite* m, JoinRemoval* pending) {
  pending->slot = -1;
  ClearFieldMarks(m, false);
}

void DeriveMasterAlias(CKmComposite* m, const TableOverrideContext& ctx) {
  TableSlot* master = m->tableSlots[0];
  if (master == nullptr || master->alias[0] != 0 || master->path[0] == 0 || IsSqlReport(m)) return;
  std::string reference = master->path, alias, message;
  ApplyDataSourceOverride(ctx, &reference, &alias, &message);
  std::snprintf(master->alias, sizeof master->alias, "%s", alias.c_str());
  MakeTableAliasUnique(m, 0);
}

int AddJoin(CKmComposite* m, JoinRequest* r, const TableOverrideContext& ctx, const char* derivedAlias) {
  r->focus = 0;
  // A joined table's field of the same name as a master's is told apart by
  // the master's alias: a master kept without one takes its own now.
  DeriveMasterAlias(m, ctx);
  int rc = CheckTableAlias(m, r->alias, -1, true, 0, derivedAlias);
  if (rc) {
    r->focus = kJoinFocusAlias;
    return rc;
  }
  for (FieldDef* f = m->fieldList; f; f = f->next) f->needsPrevious = 0;
  uint32_t slot = 0;
  rc = OpenTable(m, r->path, &slot, true, nullptr, nullptr, r->alias, ctx);
  if (rc) {
    r->focus = kJoinFocusTable;
    return rc;
  }
  std::snprintf(m->tableSlots[slot]->alias, sizeof m->tableSlots[slot]->alias, "%s", r->alias);
  // The joined table's columns are offered for placing, not placed.
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == slot && !(f->flags & kFieldAlias)) MarkFieldUnplaced(f);
  std::vector<uint32_t> pairs;
  for (const JoinLinkEntry* e = r->links; e && e->field; ++e) {
    uint32_t key = kNoField, n = 0;
    for (FieldDef* f = m->fieldList; f; f = f->next, ++n)
      if (f->table == slot && !(f->flags & kFieldAlias) && EqualNoCase(f->name, e->column)) {
        key = n;
        break;
      }
    const uint32_t parent = m->GetFieldIndex(e->field);
    if (key == kNoField || parent == kNoField) {
      AbandonTable(m, slot, true);
      r->focus = kJoinFocusLinks;
      return -1;
    }
    pairs.push_back(parent);
    pairs.push_back(key);
  }
  pairs.push_back(kNoField);
  pairs.push_back(kNoField);
  const uint8_t bits = RelationBitsFor(r->approximate, r->rule);
  rc = m->SetRelation(slot, r->approximate, bits & 0x60, pairs.data());
  if (rc) {
    AbandonTable(m, slot, true);
    r->focus = kJoinFocusLinks;
    return rc;
  }
  for (size_t i = 0; i + 1 < pairs.size() && pairs[i] != kNoField; i += 2)
    if (FieldDef* f = m->GetFieldAt(pairs[i])) f->flags |= kFieldJoin;
  RenameDuplicateFields(m, static_cast<int>(slot));
  m->ComputeTableOrder();
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  return 0;
}

int ChangeMasterTable(CKmComposite* m, MasterSourceRequest* r, const TableOverrideContext& ctx,
                      const char* derivedAlias, MasterChange* pending) {
  BeginReplaceTable(m, &pending->replacement);
  r->result = 0;
  const bool changed = CompareMasterSource(m, *r) != 0;
  // A statement's result table has no alias of the user's to check.
  int rc = IsSqlReport(m) ? 0 : CheckTableAlias(m, r->alias, 0, true, 1, derivedAlias);
  if (rc) {
    r->result = 2;
    return rc;
  }
  TableSlot* master = m->tableSlots[0];
  if (!master) return 1;
  if (IsSqlReport(m)) {
    if (!changed) return 0;
    rc = TakePendingStatement(m, r->statement, pending);
    if (rc) return rc;
  } else if (!changed && EqualNoCase(master->alias, r->alias ? r->alias : "")) {
    return 0;
  }
  ClearFieldMarks(m, false);
  if (pending->statementPending)
    rc = ReplaceTable(m, &pending->replacement, 0, m->reportViewName.c_str(),
                      pending->statement.c_str() + m->statementOffset, ReportViewNames(m), nullptr, ctx);
  else
    rc = ReplaceTable(m, &pending->replacement, 0, r->path, nullptr, nullptr, r->alias, ctx);
  if (rc) {
    DiscardPendingStatement(m, pending);
    if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
    r->result = 1;
    return rc;
  }
  uint32_t count = 0;
  rc = FinishReplaceTable(m, &pending->replacement, false, &count);
  if (rc) {
    CancelReplaceTable(m, &pending->replacement);
    DiscardPendingStatement(m, pending);
    return rc;
  }
  pending->changed = changed;
  if (count) r->result = 1;
  return 0;
}

bool CommitMasterChange(CKmComposite* m, MasterSourceRequest* r, MasterChange* pending) {
  const bool changed = pending->changed;
  pending->changed = false;
  TableReplacement* replacement = &pending->replacement;
  if (TableSlot* master = m->tableSlots[0]) {
    // The alias changes through the replacement so that expressions follow it.
    if (r->alias && replacement->active) std::snprintf(master->alias, sizeof master->alias, "%s", r->alias);
  }
  uint32_t count = 0;
  ClearFieldMarks(m, false);
  if (replacement->active) FinishReplaceTable(m, replacement, true, &count);
  CommitPendingStatement(m, pending);
  m->ComputeTableOrder();
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  if (m->translateToSql)
    for (FieldDef* f = m->fieldList; f; f = f->next)
      if ((f->flags & kFieldCalculation) && f->code) {
        if (f->sqlText) HeapFreeBlock(f->sqlText);
        f->sqlText = m->translateToSql(m, f);
      }
  return changed;
}

void CancelMasterChange(CKmComposite* m, MasterChange* pending) {
  pending->changed = false;
  ClearFieldMarks(m, false);
  DiscardPendingStatement(m, pending);
  CancelReplaceTable(m, &pending->replacement);
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
}

int ChangeJoin(CKmComposite* m, JoinRequest* r, int number, uint32_t* count, const TableOverrideContext& ctx,
               RelationChange* pending) {
  *count = 0;
  r->focus = 0;
  TableSlot* t = GetTableByNumber(m, number);
  if (!t) return 1;
  const int slot = SlotIndex(m, t);
  RelationChange change;
  change.slot = static_cast<uint32_t>(slot);
  change.changed = IsJoinUnchanged(m, *r, number) != 0;
  TableReplacement* replacement = &pending->replacement;
  int rc = CheckTableAlias(m, r->alias, slot, false, 0, nullptr);
  if (rc) {
    r->focus = kJoinFocusAlias;
    return rc;
  }
  BeginReplaceTable(m, replacement);
  ClearFieldMarks(m, false);
  rc = ReplaceTable(m, replacement, change.slot, r->path, nullptr, nullptr, r->alias, ctx);
  if (rc) {
    r->focus = kJoinFocusTable;
    return rc;
  }
  for (const JoinLinkEntry* e = r->links; e && e->field; ++e) {
    FieldDef* key = nullptr;
    for (FieldDef* f = m->fieldList; f && !key; f = f->next)
      if (f->table == slot && !(f->flags & kFieldAlias) && EqualNoCase(f->name, e->column)) key = f;
    if (!key) {
      CancelReplaceTable(m, replacement);
      r->focus = kJoinFocusLinks;
      return -1;
    }
    change.links.push_back({e->field, key});
  }
  rc = FinishReplaceTable(m, replacement, false, count);
  if (rc) {
    CancelReplaceTable(m, replacement);
    return rc;
  }
  change.active = true;
  change.replacement = std::move(*replacement);
  *pending = std::move(change);
  return 0;
}

bool ChangeJoinTable(CKmComposite* m, JoinRequest* r, RelationChange* pending) {
  if (!pending->active) return false;
  RelationChange change = std::move(*pending);
  *pending = RelationChange();
  TableSlot* t = m->tableSlots[change.slot];
  ClearFieldMarks(m, false);
  if (t && r->alias) std::snprintf(t->alias, sizeof t->alias, "%s", r->alias);
  uint32_t count = 0;
  if (change.replacement.active) FinishReplaceTable(m, &change.replacement, true, &count);
  std::vector<uint32_t> pairs;
  for (auto& l : change.links) {
    const uint32_t parent = m->GetFieldIndex(l.first), key = m->GetFieldIndex(l.second);
    if (parent == kNoField || key == kNoField) continue;
    pairs.push_back(parent);
    pairs.push_back(key);
    l.first->flags |= kFieldJoin;
  }
  pairs.push_back(kNoField);
  pairs.push_back(kNoField);
  const uint8_t bits = RelationBitsFor(r->approximate, r->rule);
  if (t) {
    t->relationBits &= static_cast<uint8_t>(~0x66);
    m->SetRelation(change.slot, r->approximate, bits & 0x60, pairs.data());
  }
  m->ComputeTableOrder();
  if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  return change.changed;
}

void CancelRelationChange(CKmComposite* m, RelationChange* pending) {
  TableReplacement replacement = std::move(pending->replacement);
  *pending = RelationChange();
  CancelReplaceTable(m, &replacement);
  ClearFieldMarks(m, false);
}

namespace {
bool AliasTaken(CKmComposite* m, int slot, const std::string& alias) {
  for (int s = 0; s < kMaxTables; ++s)
    if (s != slot && m->tableSlots[s] && EqualNoCase(m->tableSlots[s]->alias, alias.c_str())) return true;
  return false;
}
}  // namespace

bool MakeTableAliasUnique(CKmComposite* m, int slot) {
  if (slot < 0 || slot >= kMaxTables || !m->tableSlots[slot]) return false;
  TableSlot* t = m->tableSlots[slot];
  std::string alias = t->alias;
  if (!AliasTaken(m, slot, alias)) return true;
  constexpr size_t kAliasLength = sizeof(t->alias) - 1;
  // Short aliases grow by "_" first.
  while (alias.size() < kAliasLength) {
    alias += '_';
    if (!AliasTaken(m, slot, alias)) {
      std::snprintf(t->alias, sizeof t->alias, "%s", alias.c_str());
      return true;
    }
  }
  for (size_t pos = kAliasLength; pos >= 2; --pos)
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      if (alias[pos - 1] == letter) continue;
      std::string candidate = alias;
      candidate[pos - 1] = letter;
      if (!AliasTaken(m, slot, candidate)) {
        std::snprintf(t->alias, sizeof t->alias, "%s", candidate.c_str());
        return true;
      }
    }
  return false;
}

void MakeMasterAliasUnique(CKmComposite* m) {
  if (m->tableSlots[0]) MakeTableAliasUnique(m, 0);
}

FieldDef* FindConditionDependency(CKmComposite* m) {
  const bool connected = GetDataAccess(m)->Current() != nullptr;
  for (int s = 1; s < kMaxTables; ++s) {
    if (m->tableSlots[s] == nullptr) continue;
    bool ended = false;
    for (const JoinLink* b = &m->tableSlots[s]->link; b != nullptr && !ended; b = b->next)
      for (const auto& pair : b->pairs) {
        // An all-ones pair ends the list.
        if (pair[0] == kNoField) {
          ended = true;
          break;
        }
        for (uint32_t v : pair) {
          FieldDef* f = m->GetFieldAt(v);
          if (f == nullptr) continue;
          if (f->flags2 & kField2NotInTable) return f;
          if (connected && (f->flags & kFieldCalculation) && f->code != nullptr && f->sqlText == nullptr) return f;
        }
      }
  }
  return nullptr;
}
