#include "model/group_levels.h"

#include "model/composite.h"
#include "model/engine_errors.h"
#include "model/fields.h"

#include <cstring>

namespace {

constexpr uint32_t kUnsupportedTotalsSortBit = 2;  // flags2
constexpr int kMaxRefHops = 64;

bool IsTotal(const FieldDef* f) { return (f->totalFlags & kTotalIsTotal) != 0; }
bool TotalLike(const FieldDef* f) { return IsTotal(f) || (f->flags & kFieldTotalRelated); }

int Fail(CKmComposite* m, int32_t code) {
  m->lastEngineError = code;
  return 1;
}

}  // namespace

FieldDef* RootTotal(CKmComposite* m, FieldDef* f) {
  // Bounded: a reference cycle must not hang the check.
  for (int hop = 0; f != nullptr && hop < kMaxRefHops; ++hop) {
    if (IsTotal(f)) return f;
    FieldDef* to = m->GetFieldAt(f->refField);
    if (to == f) return nullptr;
    f = to;
  }
  return nullptr;
}

int CheckSortAndGroupFields(CKmComposite* m, GroupSetup& s, FieldDef* keys[kKeyLevels], uint32_t kinds[kKeyLevels]) {
  for (int i = 0; i < kMaxGroupLevels && s.sortFields[i] != kNoField; ++i) {
    FieldDef* f = m->GetFieldAt(s.sortFields[i]);
    if (f != nullptr && TotalLike(f)) {
      FieldDef* root = RootTotal(m, f);
      if (root == nullptr || !(root->totalFlags & kTotalPreprocessed)) return Fail(m, kEngineSortRunningTotal);
    }
  }
  for (int i = 0; i < kMaxGroupLevels && s.levels[i].field != kNoField; ++i) {
    FieldDef* f = m->GetFieldAt(s.levels[i].field);
    if (f != nullptr && TotalLike(f)) {
      FieldDef* root = RootTotal(m, f);
      if (root == nullptr || !(root->totalFlags & kTotalPreprocessed)) return Fail(m, kEngineSortRunningTotal2);
    }
  }
  for (int i = 0; i < kKeyLevels; ++i) keys[i] = nullptr, kinds[i] = 0;
  int n = 0;
  s.totalsSorted = 0;
  for (int i = 0; i < kMaxGroupLevels && s.sortFields[i] != kNoField; ++i) {
    FieldDef* f = m->GetFieldAt(s.sortFields[i]);
    if (f == nullptr) continue;
    if (!TotalLike(f)) {
      keys[n] = f;
      kinds[n++] = s.directions[i];
      continue;
    }
    s.totalsSorted = 1;
    if (f->flags2 & kUnsupportedTotalsSortBit) return Fail(m, kEngineUnsupportedTotalsSort);
    FieldDef* root = RootTotal(m, f);
    if (root == nullptr) continue;
    const int level = root->totalLevel;
    if (level < kMaxGroupLevels && s.levels[level].field != kNoField) {
      keys[n] = m->GetFieldAt(s.levels[level].field);
      if (keys[n] != nullptr) kinds[n++] = 1;
    }
  }
  if (s.totalsSorted) {
    if (n == 0) return -1;
    // Later duplicates go; the rest move to the front.
    int packed = 0;
    for (int i = 0; i < n; ++i) {
      bool dup = false;
      for (int j = 0; j < packed; ++j) dup = dup || keys[j] == keys[i];
      if (!dup) keys[packed] = keys[i], kinds[packed++] = kinds[i];
    }
    for (int i = packed; i < n; ++i) keys[i] = nullptr, kinds[i] = 0;
    n = packed;
    int lastKey = -1;
    for (int g = 0; g < kMaxGroupLevels && s.levels[g].field != kNoField; ++g) {
      FieldDef* gf = m->GetFieldAt(s.levels[g].field);
      if (gf == nullptr) continue;
      int at = -1;
      for (int j = 0; j < n; ++j)
        if (keys[j] == gf) at = j;
      if (at >= 0) {
        if (at < lastKey) return Fail(m, kEngineSortGroupOutOfSynch);
        lastKey = at;
      } else if (!(gf->totalFlags & kTotalPreprocessed) && n < kKeyLevels - 1) {
        keys[n] = gf;
        kinds[n] = 1;
        lastKey = n++;
      }
    }
  }
  bool inProgram = false;
  for (int i = 0; i < n; ++i) {
    const FieldDef* k = keys[i];
    if ((k->flags & kFieldCalculation) && k->sqlText == nullptr && !(k->flags2 & kField2ValueSetElsewhere))
      inProgram = true;
  }
  if (s.alwaysPreFetch || (n > 0 && s.recordLimit)) inProgram = true;
  return inProgram ? -2 : -1;
}

bool NeedsTotalsSort(CKmComposite* m, GroupSetup& s) {
  FieldDef* keys[kKeyLevels];
  uint32_t kinds[kKeyLevels];
  if (CheckSortAndGroupFields(m, s, keys, kinds) == -2) return true;
  for (int i = 0; i < kMaxGroupLevels && s.sortFields[i] != kNoField; ++i) {
    const FieldDef* f = m->GetFieldAt(s.sortFields[i]);
    if (f != nullptr && IsTotal(f)) return true;
  }
  return false;
}

int64_t NextGroupField(CKmComposite* m, GroupSetup& s) {
  if (s.groupIterator++ == 0) return -1;
  for (int i = 0; i < kMaxGroupLevels; ++i) {
    if (s.levels[i].field == kNoField) return -1;
    if (s.levels[i].flags & 1) return m->groupFields[i];
  }
  return -1;
}
