#include "model/sort_pass.h"

#include <string>

#include "core/composite.h"
#include "model/group_levels.h"
#include "model/record_pass.h"
#include "model/totals_readback.h"

int RunSortPass(CKmComposite* m, int progressArg1, int progressArg2, int* needsReopen) {
  if (needsReopen != nullptr) *needsReopen = 0;
  TotalsPrepassResult result;
  // Without the engine there is no pre-pass to run (and nothing to sort).
  const RecordPassHooks& hooks = GetRecordPassHooks();
  int r = hooks.totalsPrepass != nullptr ? hooks.totalsPrepass(m, progressArg1, progressArg2, &result) : 0;
  if (r != 0) return r;
  if (needsReopen != nullptr) *needsReopen = result.needsReopen;
  if (result.sortTotals) {
    RecordPassState* st = GetRecordPassState(m);
    ShowProgressPhase(m, 1, m->sortFields[0] != kNoField);
    std::string index;
    r = SortTotals(m, result.haveDirections ? result.ascending : nullptr, &index);
    if (r != 0) return r;
    if (!index.empty()) {
      // The file is read back through its new index from here on.
      const std::string totals = st->totalsFile.Path();
      r = OpenTotalsFiles(m, totals, index);
      if (r != 0) return r;
    }
  }
  m->preprocessedTotalDeleted = 0;
  return 0;
}
