#include "model/field_dependencies.h"
#include "model/filter_spec.h"

#include "core/condition_code.h"

#include "expr/code_walks.h"
#include "expr/scanner.h"
#include "foundation/heap_strings.h"
#include "core/composite.h"
#include "core/engine_errors.h"
#include "model/group_levels.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

constexpr uint32_t kLevelBits = kFieldPreviousRelated | kFieldTotalRelated | kFieldRecordNumber | kFieldPageNumber;
constexpr uint32_t kMarks = kFieldRemoveMark | kFieldRemovePropagated;

DependencyWarningHook g_warningHook = nullptr;

// The calculation bit on a field that is not an alias (totals not excluded).
bool IsCalcNotAlias(const FieldDef* f) { return (f->flags & kFieldCalculation) && !IsAlias(f); }
bool IsData(const FieldDef* f) { return !IsAlias(f) && !IsCalcNotAlias(f) && !IsTotal(f); }
bool Marked(const FieldDef* f) { return f->flags & kFieldRemoveMark; }

uint32_t NumberOf(const CKmComposite* m, const FieldDef* f) {
  uint32_t n = 0;
  for (const FieldDef* g = m->fieldList; g; g = g->next, ++n)
    if (g == f) return n;
  return kNoField;
}

uint8_t LevelOfScan(uint8_t tableLevel) {
  if (tableLevel == 0xFF) return kTableNone;
  if (tableLevel == 0xFE) return kTablePerRecord;
  return tableLevel;
}

int LevelClass(const FieldDef* f) {
  if (IsTotal(f) || (f->flags & kFieldTotalRelated) || f->table < kMaxTables) return kTablePerRecord;
  if (f->table >= 100 && f->table <= 254) return f->table;
  return kTableNone;
}

// The group levels of the totals a field rests on, through calculations.
void TotalLevels(CKmComposite* m, const FieldDef* f, std::set<int>& out, int depth) {
  if (!f || depth > 64) return;
  if (IsTotal(f)) {
    out.insert(f->totalLevel);
    return;
  }
  size_t len = 0;
  const uint8_t* code = FieldCode(f, &len);
  ForEachFieldReference(code, len, [&](uint32_t n, bool) {
    FieldDef* g = FieldAtNumber(m, n);
    if (g && g != f && (IsTotal(g) || (g->flags & kFieldTotalRelated))) TotalLevels(m, g, out, depth + 1);
  });
}

// level: -1 the prefetch list, -2 the record list, else a group level chain.
bool Ready(CKmComposite* m, FieldDef* f, int level) {
  if (Marked(f) || f->table == kTableBeingReplaced) return false;
  int cls = LevelClass(f);
  if (level == -1 && cls != kTableNone) return false;
  if (level == -2 && cls != kTablePerRecord && cls != kTableDerivedColumn) return false;
  if (level >= 0) {
    if (IsTotal(f)) {
      int chainLevel = f->totalLevel < 8 ? f->totalLevel : (f->totalLevel == 255 ? 255 : 254);
      if (chainLevel != level) return false;
    } else if (IsCalcNotAlias(f) && (f->flags & kFieldTotalRelated)) {
      std::set<int> levels;
      TotalLevels(m, f, levels, 0);
      bool match = false;
      for (int l : levels) match = match || (l < 8 ? l : (l == 255 ? 255 : 254)) == level;
      if (!match) return false;
    } else {
      return false;
    }
  }
  if (IsAlias(f)) {
    FieldDef* to = FieldAtNumber(m, f->refField);
    return to && Marked(to);
  }
  if (IsTotal(f)) {
    FieldDef* to = FieldAtNumber(m, f->refField);
    if (to && !Marked(to)) return false;
    return !f->conditionCode || CheckFieldReferences(m, f);
  }
  if (IsCalcNotAlias(f)) return f->code && CheckFieldReferences(m, f);
  return true;  // a data field: its table is read with the record
}

void Take(CKmComposite* m, FieldDef* f) {
  f->flags |= kFieldRemoveMark;
  if (IsData(f))
    for (FieldDef* g = m->fieldList; g; g = g->next)
      if (IsData(g) && g->table == f->table) g->flags |= kFieldRemoveMark;
}

FieldDef* BuildChain(CKmComposite* m, int level) {
  FieldDef* head = nullptr;
  FieldDef** tail = &head;
  for (;;) {
    FieldDef* pick = nullptr;
    for (FieldDef* f = m->fieldList; f; f = f->next) {
      if (!Ready(m, f, level)) continue;
      if (f->flags2 & kField2UsedByFilter) {
        pick = f;
        break;
      }
      if (!pick) pick = f;
    }
    if (!pick) break;
    Take(m, pick);
    pick->orderNext = nullptr;
    *tail = pick;
    tail = &pick->orderNext;
  }
  return head;
}

}  // namespace

FieldDef* PropagateFieldDependencies(CKmComposite* m) {
  // A reference cycle may keep levels moving; the sweeps are bounded and what
  // cannot be ordered is reported below.
  const uint32_t maxSweeps = m->fieldCount + 2;
  for (uint32_t sweep = 0; sweep < maxSweeps; ++sweep) {
    bool changed = false;
    for (FieldDef* f = m->fieldList; f; f = f->next) {
      if (f->table == kTableBeingReplaced) continue;
      const uint32_t needed = f->flags & kFieldNeeded;
      const uint32_t oldFlags = f->flags, oldFlags2 = f->flags2, oldRef = f->refField;
      const uint8_t oldTable = f->table, oldTotalFlags = f->totalFlags;
      f->flags &= ~kFieldNeeded;
      if (IsAlias(f)) {
        FieldDef* to = FieldAtNumber(m, f->refField);
        if (to && to != f && to->table != kTableBeingReplaced) {
          f->table = to->table;
          // A copy placed on the layout stays an item whether or not its field is.
          f->flags = (f->flags & ~0x32fcdu) | (f->flags & kFieldItem) | (to->flags & 0x32fcdu & ~kFieldItem) | kFieldAlias;
        }
      } else if (IsCalcNotAlias(f)) {
        if (f->code) {
          DependencyScan d;
          ScanExpressionDependencies(m, f->code, f->codeLength, &d, f, false, 0);
          f->table = LevelOfScan(d.tableLevel);
          f->flags = (f->flags & ~kLevelBits) | (d.typeFlags & kLevelBits);
          uint32_t ref = kNoField;
          if (d.groupField) ref = NumberOf(m, d.groupField);
          else ForEachFieldReference(f->code, f->codeLength, [&](uint32_t n, bool) { if (ref == kNoField) ref = n; });
          if (!(f->flags2 & kField2KeepRefNumber)) f->refField = ref;
        } else {
          f->flags &= ~kFieldTotalRelated;
        }
      } else if (IsTotal(f)) {
        FieldDef* to = FieldAtNumber(m, f->refField);
        if (to) {
          f->flags = (f->flags & ~kLevelBits) | (to->flags & kLevelBits);
          if (IsTotal(to)) f->flags |= kFieldTotalRelated;
          f->table = (to->table < kTableNone && to->table != kTableDerivedColumn) ? to->table : kTablePerRecord;
        }
        if (f->conditionCode) {
          DependencyScan d;
          ScanExpressionDependencies(m, f->conditionCode, f->conditionLength, &d, f, false, 0);
          f->table = LevelOfScan(d.tableLevel);
          f->flags = (f->flags & ~kLevelBits) | (d.typeFlags & kLevelBits);
        }
      }
      f->flags |= needed;
      if (f->flags != oldFlags || f->flags2 != oldFlags2 || f->refField != oldRef || f->table != oldTable ||
          f->totalFlags != oldTotalFlags)
        changed = true;
    }
    if (!changed) break;
  }

  for (FieldDef* f = m->fieldList; f; f = f->next) {
    f->flags &= ~kFieldRemoveMark;
    f->orderNext = nullptr;
    if (f->table == kTableBeingReplaced || (IsData(f) && f->table == kTableDerivedColumn) ||
        (IsData(f) && !(f->flags & kFieldItem)))
      f->flags |= kFieldRemoveMark;
  }
  m->prefetchCalcList = BuildChain(m, -1);
  m->calcOrderList = BuildChain(m, -2);
  for (int level = 7; level >= 0; --level) m->levelTotalChains[level] = BuildChain(m, level);
  m->levelTotalChains[8] = BuildChain(m, 254);
  m->levelTotalChains[9] = BuildChain(m, 255);

  FieldDef* head = nullptr;
  FieldDef** tail = &head;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!(f->flags & kFieldItem) || Marked(f) || f->table == kTableBeingReplaced) continue;
    if (IsCalcNotAlias(f) && !f->code) continue;
    *tail = f;
    tail = &f->orderNext;
  }
  for (FieldDef* f = m->fieldList; f; f = f->next) f->flags &= ~kFieldRemoveMark;
  return head;
}

std::string FormatEvaluationOrderError(const FieldDef* f) {
  UINT kind = IsTotal(f) ? 1152 : IsCalcNotAlias(f) ? 1153 : 1154;
  std::string s = GetResString(kind, 0);
  s += " '";
  s += f->name;
  s += "' ";
  s += GetResString(1155, 0);
  return s;
}

void ReportEvaluationOrderError(CKmComposite* m, FieldDef* field) {
  if (!field) return;
  std::string text = FormatEvaluationOrderError(field);
  std::snprintf(m->engineMessage, sizeof m->engineMessage, "%s", text.c_str());
  DependencyWarning w;
  w.text = text;
  if (g_warningHook) g_warningHook(m, w);
}

int GetLowestPreTotalLevel(CKmComposite* m) {
  int lowest = -1;
  // A total's group level is the level it starts again at (its reset); where
  // it accumulates (every record, a page) does not group it.
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!IsTotal(f) || !(f->totalFlags & kTotalPreprocessed)) continue;
    if (f->totalReset == 255) return 255;
    if (lowest < 0 || f->totalReset < lowest) lowest = f->totalReset;
  }
  return lowest;
}

namespace {

enum RemovalVariant { kRefuseJoin, kFollowTables, kMarksOnly };

bool MarkForRemoval(FieldDef* f) {
  if (f->flags & kMarks) return false;
  f->flags |= kFieldRemoveMark;
  return true;
}

int PropagateRemovalMarks(CKmComposite* m, RemovalVariant variant) {
  for (bool again = true; again;) {
    again = false;
    uint32_t n = 0;
    for (FieldDef* f = m->fieldList; f; f = f->next, ++n) {
      if (!(f->flags & kFieldRemoveMark)) continue;
      f->flags = (f->flags & ~kFieldRemoveMark) | kFieldRemovePropagated;
      again = true;
      if (f->flags & kFieldJoin) {
        if (variant == kRefuseJoin) {
          m->errorField = f;
          std::snprintf(m->errorName, sizeof m->errorName, "%s", f->name);
          ClearFieldMarks(m, false);
          return kEngineDeleteJoinField;
        }
        if (variant == kFollowTables) {
          for (int s = 1; s < kMaxTables; ++s) {
            TableSlot* t = m->tableSlots[s];
            if (!t) continue;
            bool links = false;
            for (const JoinLink* b = &t->link; b && !links; b = b->next)
              for (const auto& pair : b->pairs) links = links || pair[0] == n;
            if (!links) continue;
            for (FieldDef* g = m->fieldList; g; g = g->next) {
              size_t len = 0;
              const uint8_t* code = FieldCode(g, &len);
              bool refers = g->table == s;
              if (!refers && code) {
                CodeReader r(code, len);
                Instruction in;
                while (!refers && r.Next(&in) && in.op != OP_END) {
                  if (in.op == OP_TABLE) refers = static_cast<int>(in.u32) == s;
                  if (in.op == OP_FIELD || in.op == OP_FIELD_PREV) {
                    FieldDef* h = FieldAtNumber(m, in.u32);
                    refers = h && h->table == s;
                  }
                }
              }
              if (refers) MarkForRemoval(g);
            }
          }
        }
      }
      for (FieldDef* g = m->fieldList; g; g = g->next) {
        if ((IsAlias(g) || IsTotal(g)) && g->refField == n) MarkForRemoval(g);
        size_t len = 0;
        const uint8_t* code = FieldCode(g, &len);
        if (code && !IsAlias(g) && ExpressionReferencesField(code, len, n)) MarkForRemoval(g);
      }
    }
  }
  return 0;
}

}  // namespace

int CheckRemoval(CKmComposite* m) { return PropagateRemovalMarks(m, kRefuseJoin); }
void PropagateRemoval(CKmComposite* m, bool withTables) {
  PropagateRemovalMarks(m, withTables ? kFollowTables : kMarksOnly);
}
void PropagateRemovalMarksOnly(CKmComposite* m) { PropagateRemovalMarks(m, kMarksOnly); }

void ClearFieldMarks(CKmComposite* m, bool secondList) {
  for (FieldDef* f = m->fieldList; f; f = f->next) f->flags &= ~kMarks;
  if (secondList)
    for (FieldDef* f = m->dialogFieldList; f; f = f->next) f->flags &= ~kMarks;
}

void DeleteMarkedFields(CKmComposite* m) {
  std::vector<FieldDef*> doomed;
  bool reorder = false;
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (f->flags & kFieldRemovePropagated) {
      doomed.push_back(f);
      reorder = reorder || IsAlias(f) || (f->flags & kFieldItem);
    } else {
      f->flags &= ~kMarks;
    }
  }
  // From the back, so that the numbers still to be deleted do not move.
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) m->DeleteField(*it, 0);
  if (reorder && m->fieldRemovedHook) {
    if (FieldDef* bad = PropagateFieldDependencies(m)) ReportEvaluationOrderError(m, bad);
  }
}

int CountFieldsToRemove(CKmComposite* m) {
  bool pre = GetLowestPreTotalLevel(m) >= 0;
  int count = 0;
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (!IsAlias(f) && (f->flags & kFieldRemovePropagated) && (pre || IsData(f) || (f->flags & kFieldItem))) ++count;
  return count;
}

bool CheckFieldRemoval(CKmComposite* m, FieldDef* field) {
  // The in-use marks must be current before they are asked.
  if (m->rebuildRunLists) m->rebuildRunLists(m);
  ClearFieldMarks(m, false);
  field->flags |= kFieldRemoveMark;
  PropagateRemovalMarksOnly(m);
  bool touches = false;
  if (field->flags & kFieldNeeded) {
    uint32_t n = 0;
    for (FieldDef* f = m->fieldList; f && !touches; f = f->next, ++n) {
      if (IsAlias(f) || !(f->flags & kFieldRemovePropagated)) continue;
      bool grouped = false;
      for (uint32_t g : m->groupFields) grouped = grouped || g == n;
      for (uint32_t s : m->sortFields) grouped = grouped || s == n;
      touches = (IsTotal(f) && (f->totalFlags & kTotalPreprocessed)) || grouped ||
                (f->flags2 & kField2UsedByFilter);
    }
  }
  if (touches) m->preprocessedTotalDeleted = 1;
  ClearFieldMarks(m, false);
  return touches;
}

void RemoveTable(CKmComposite* m, int slot, bool freeSlot) {
  if (slot < 0 || slot >= kMaxTables) return;
  if (freeSlot) m->FreeTableSlot(static_cast<uint32_t>(slot));
  ClearFieldMarks(m, false);
  for (FieldDef* f = m->fieldList; f; f = f->next)
    if (f->table == slot && (freeSlot || (!IsAlias(f) && !(f->flags & kFieldItem)) || IsData(f)))
      f->flags |= kFieldRemoveMark;
  PropagateRemoval(m, true);
  DeleteMarkedFields(m);
}

void SetDependencyWarningHook(DependencyWarningHook hook) { g_warningHook = hook; }
DependencyWarningHook GetDependencyWarningHook() { return g_warningHook; }

namespace {

// A field that goes and that the user would miss: on the layout or in use,
// or any field while totals are pre-processed.
bool Affected(const FieldDef* f, bool pre) {
  if (IsAlias(f) || !(f->flags & kFieldRemovePropagated)) return false;
  return pre || (f->flags & (kFieldItem | kFieldNeeded)) != 0;
}

DependencyWarning BuildWarning(CKmComposite* m, const std::string& text, const FieldDef* except) {
  DependencyWarning w;
  w.text = text;
  bool pre = GetLowestPreTotalLevel(m) >= 0;
  std::vector<const FieldDef*> users;
  for (const FieldDef* f = m->fieldList; f; f = f->next) {
    if (f == except || !Affected(f, pre)) continue;
    users.push_back(f);
    if (f->flags2 & kField2UsedByChart) w.chartUsesField = true;
  }
  // A shell sort by name, halving the gap.
  for (size_t gap = users.size() / 2; gap > 0; gap /= 2)
    for (size_t i = gap; i < users.size(); ++i)
      for (size_t j = i; j >= gap && std::strcmp(users[j - gap]->name, users[j]->name) > 0; j -= gap)
        std::swap(users[j - gap], users[j]);
  for (const FieldDef* f : users) {
    std::string line = f->name;
    if (IsCalcNotAlias(f) || IsTotal(f)) line += GetResString(1358, 0);
    line += " / ";
    line += GetResString(IsTotal(f) ? 1360 : IsCalcNotAlias(f) ? 1359 : 1361, 0);
    w.lines.push_back(line);
  }
  if (w.chartUsesField) w.text += GetResString(1650, 0);
  return w;
}

std::string Format1(UINT id, const char* arg) {
  char buf[600];
  std::snprintf(buf, sizeof buf, GetResString(id, 0), arg ? arg : "");
  return buf;
}

}  // namespace

int CountFieldsAffected(CKmComposite* m) {
  const bool pre = GetLowestPreTotalLevel(m) >= 0;
  int count = 0;
  for (const FieldDef* f = m->fieldList; f; f = f->next) count += Affected(f, pre) ? 1 : 0;
  return count;
}

DependencyWarning BuildRemoveUsersWarning(CKmComposite* m, const char* action, const FieldDef* except) {
  return BuildWarning(m, Format1(1353, action), except);
}

DependencyWarning BuildEditUsersWarning(CKmComposite* m, const char* name, const FieldDef* except) {
  return BuildWarning(m, Format1(1355, name), except);
}

bool ConfirmRemoveUsers(CKmComposite* m, const char* action) {
  DependencyWarning w = BuildRemoveUsersWarning(m, action, nullptr);
  return g_warningHook ? g_warningHook(m, w) : true;
}

bool ConfirmEditUsers(CKmComposite* m, const char* name, const FieldDef* field) {
  DependencyWarning w = BuildEditUsersWarning(m, name, field);
  return g_warningHook ? g_warningHook(m, w) : true;
}

int CheckPreprocessedTotals(CKmComposite* m) {
  auto rank = [](int level) { return level == 255 ? 0 : level == 253 ? 9 : level + 1; };
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!IsTotal(f) || !(f->totalFlags & kTotalPreprocessed)) continue;
    std::set<int> levels;
    FieldDef* to = FieldAtNumber(m, f->refField);
    if (to) TotalLevels(m, to, levels, 0);
    for (int l : levels)
      if (rank(l) > rank(f->totalLevel)) return kEngineUnsupportedPreTotals;
  }
  for (FieldDef* f = m->fieldList; f; f = f->next) {
    if (!IsTotal(f) || !(f->totalFlags & kTotalPreprocessed)) continue;
    for (uint8_t level : {f->totalReset, f->totalLevel}) {
      if (level >= 8) continue;
      uint32_t g = m->groupFields[level];
      if (g == kNoField) return kEnginePreTotalUnassigned;
      FieldDef* gf = FieldAtNumber(m, g);
      if (gf && IsTotal(gf) && (gf->totalFlags & kTotalPreprocessed)) return kEnginePreTotalTotalRelated;
    }
  }
  return 0;
}

int CheckTotalsConsistency(CKmComposite* m, GroupSetup& setup, void* ownerWindow, bool show,
                           const uint8_t* condition, size_t conditionLength) {
  int result = 0;
  const int lowest = GetLowestPreTotalLevel(m);
  if (lowest >= 0 && condition && conditionLength) {
    // A running total cannot be filtered on when the others are computed ahead.
    if (CodeUsesUnprocessedTotal(m, condition, conditionLength)) result = kEngineFilterRunningTotal;
    if (!result)
      ForEachConditionField(condition, conditionLength, [&](const uint8_t* token) {
        const FieldDef* f = FieldAtNumber(m, ConditionFieldNumber(token));
        if (result || !f) return;
        if (IsTotal(f) && (f->totalFlags & kTotalPreprocessed) && f->totalReset != lowest)
          result = kEngineFilterHighestOnly;
      });
  }
  if (!result) {
    const int combination = CheckPreprocessedTotals(m);
    if (combination == kEngineUnsupportedPreTotals) result = combination;
  }
  if (!result) {
    FieldDef* keys[kKeyLevels];
    uint32_t kinds[kKeyLevels];
    if (CheckSortAndGroupFields(m, setup, keys, kinds) == 1) result = m->lastEngineError;
  }
  if (!result) result = CheckPreprocessedTotals(m);
  if (result && show) m->ShowEngineErrorFor(ownerWindow, result);
  return result;
}

int CheckTotalsSetup(CKmComposite* m, GroupSetup& setup, void* ownerWindow, bool show) {
  return CheckTotalsConsistency(m, setup, ownerWindow, show, m->conditionCode, m->conditionLength);
}

