#include "engine/sort_pass_link.h"

#include "engine/calc_pass.h"
#include "core/composite.h"
#include "model/record_pass.h"
#include "model/sort_pass.h"

int SortPassTotalsPrepass(CKmComposite* m, int progressArg1, int progressArg2, TotalsPrepassResult* out) {
  int reopen = 0;
  const int r = RunTotalsPrepass(m, progressArg1, progressArg2, &reopen);
  out->needsReopen = reopen;
  if (r != 0) return r;
  // Totals the pre-pass wants ordered but did not index itself are sorted
  // by the sort pass.
  RecordPassState* st = GetRecordPassState(m);
  out->sortTotals = st->totalsSorted && st->totalsFile.IsOpen() && !st->indexFile.IsOpen() ? 1 : 0;
  return 0;
}

