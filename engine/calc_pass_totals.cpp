#include "engine/calc_pass.h"

#include "model/composite.h"
#include "model/group_levels.h"
#include "model/record_pass.h"
#include "model/work_files.h"

#include <cstring>

// The pre-pass's own work: the totals file it writes and the level table
// that the totals read-back uses during the run.
struct TotalsWork {
  WorkFile file;
  std::string name;
  SortKeyTable* table = nullptr;
};

namespace {

void FreeLevelTable(SortKeyTable* t) {
  if (t == nullptr) return;
  for (auto& e : t->entries) {
    for (TotalNode* n = e.chain; n != nullptr;) {
      TotalNode* next = n->next;
      delete n;
      n = next;
    }
    e.chain = nullptr;
  }
  delete t;
}

}  // namespace

void ReleaseTotalsWork(CKmComposite* m) {
  RunCalcState* c = RunCalcOf(m);
  if (c == nullptr || c->totalsWork == nullptr) return;
  TotalsWork* w = c->totalsWork;
  w->file.Close();
  if (m->sortKeyTable == w->table) m->sortKeyTable = nullptr;
  FreeLevelTable(w->table);
  delete w;
  c->totalsWork = nullptr;
}
